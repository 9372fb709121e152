#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The command line, run as a user would in a terminal without a display: --list-ports prints
# the Com table and opens no device, --version and --help answer, an unknown option fails, a
# bad option of a run is refused.
set -uo pipefail
program=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" \
        XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home" "$@"
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

run "$program" --list-ports >"$home/out" || fail "--list-ports exit status $?"
# Watched with strace where it can trace: no tty device may be opened. (The leak checker of a
# sanitizer build cannot run under ptrace.)
if strace -f -o /dev/null true 2>/dev/null; then
    ASAN_OPTIONS=detect_leaks=0 run strace -f -e trace=open,openat -o "$home/trace" \
        "$program" --list-ports >/dev/null || fail "--list-ports under strace: exit status $?"
    if grep -E '"/dev/(tty|serial)[^"]*", O_' "$home/trace" | grep -v O_DIRECTORY; then
        fail "--list-ports opened a device"
    fi
fi
head -n 1 "$home/out" | grep -q '^Com  *Device  *Present  *Description$' || fail "no table header"
[ "$(grep -c '^Com[0-9]' "$home/out")" -eq 16 ] || fail "not 16 Com rows"
grep -q '^Com16  ' "$home/out" || fail "no Com16 row"

run "$program" --version | grep -qx 'Kestrova [0-9.]*' || fail "--version"
run "$program" --help >"$home/help"
for option in --list-ports --exposures --exposure-time --delay --interface --port --line \
    --active-high --active-low --quiet --close --settings --journal --match-frames --night \
    --dither-every --dither-pixels --dither-ra-only --settle --guider --guiding; do
    grep -q -- "$option" "$home/help" || fail "--help does not name $option"
done
# A run from the command line refuses a bad option with status 2, before any port is opened.
run "$program" --exposure-time 5 --port LPT9 2>/dev/null
[ $? -eq 2 ] || fail "a bad --port did not end with status 2"
# The guiding options are stored and printed; a value out of range is refused with its range;
# given with a sequence they hold for that run alone.
settings="$home/.config/Kestrova/Kestrova.conf"
run "$program" --dither-every 2 --settle 1,5,30 | grep -q '^Dither Every  *2 ' ||
    fail "--dither-every did not print the stored setting"
grep -qx 'Dither%20Every=2' "$settings" && grep -qx 'Settle%20Timeout=30' "$settings" ||
    fail "--dither-every did not store the settings"
run "$program" --guiding | grep -q '^Settle Time  *5$' || fail "--guiding"
run "$program" --dither-every 1001 2>"$home/err"
[ $? -eq 2 ] && grep -q 'from 0 to 1000' "$home/err" || fail "a bad --dither-every was not refused"
# A parallel port index without an address: the run's line fails at once, without any port I/O.
printf '\n[Parallel%%20Options]\nPortIndex=3\n' >>"$settings"
run "$program" --close --dither-every 5 2>/dev/null
[ $? -eq 1 ] && grep -qx 'Dither%20Every=2' "$settings" || fail "a run's --dither-every was saved"
run "$program" --journal | grep -q 'kestrova' || fail "--journal does not say where the journal is"
if run "$program" --no-such-option >/dev/null 2>&1; then
    fail "an unknown option was accepted"
fi
echo "command line: ok"
