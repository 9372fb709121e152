#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a configured build folder and checks it as a user would meet
# it: the control data, the desktop entry, the AppStream metainfo, the manual page, the icons,
# the copyright and changelog, Debian's own package checker lintian, an install into a
# throwaway root and back out, and the installed program starting on the offscreen platform
# with its main window up and no message waiting.
#
# usage: scripts/check-package.sh [BUILD_DIR]    (default: build, as ./build.sh leaves it)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
build=$(cd "$build" 2>/dev/null && pwd) || {
    echo "No build folder ${1:-build}: run ./build.sh test first." >&2
    exit 2
}
if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "$build is not a configured build folder: run ./build.sh test first." >&2
    exit 2
fi

app_id=org.kestrova.Kestrova
# The sizes the program draws its icon at, as the build renders them.
read -ra icon_sizes < <(sed -n 's/.*AppIconSizes\[\] = {\(.*\)};.*/\1/p' src/ui/AppIcon.h | tr -d ',') || true
if [ ${#icon_sizes[@]} -eq 0 ]; then
    echo "No AppIconSizes in src/ui/AppIcon.h." >&2
    exit 2
fi

# dpkg-shlibdeps (with file, which CPack needs beside it) computes the dependencies; the
# validators check the desktop files; man checks the manual page; lintian checks the package as
# Debian does.
scripts/install-packages.sh dpkg-dev file desktop-file-utils appstream man-db lintian

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
pass() {
    echo "ok: $1"
    passed=$((passed + 1))
}
fail() {
    echo "FAILED: $1"
    failed=$((failed + 1))
}
# Runs a command quietly; its output is shown only when it fails.
check() {
    local what=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        pass "$what"
    else
        fail "$what"
        sed 's/^/    /' "$work/out"
    fi
}
# verdict PASSED FAILED COMMAND...: counts the command's outcome under one of the two texts.
verdict() {
    local passed_text=$1 failed_text=$2
    shift 2
    if "$@"; then pass "$passed_text"; else fail "$failed_text"; fi
}
finish() {
    echo "package: $passed passed, $failed failed"
    [ "$failed" -eq 0 ] || exit 1
    exit 0
}

# --- Build ------------------------------------------------------------------------------------
cmake --build "$build" -j "$(nproc)" >"$work/build.log" 2>&1 || {
    cat "$work/build.log"
    fail "the build folder builds"
    finish
}
probe=$build/packaging/libkestrova_startup_probe.so
rm -f "$build"/kestrova_*.deb
if ! (cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    fail "cpack builds the package"
    finish
fi
debs=("$build"/kestrova_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "cpack leaves one package kestrova_*.deb (found: ${debs[*]})"
    finish
fi
deb=${debs[0]}
pass "cpack builds $(basename "$deb")"

echo
dpkg-deb --info "$deb"
echo

# --- Control data -----------------------------------------------------------------------------
field() { dpkg-deb --field "$deb" "$1"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
verdict "Version is the project version $version" \
    "Version $(field Version) is not the project version $version" \
    [ "$(field Version)" = "$version" ]
depends=$(field Depends)
depend_names=$(sed 's/ ([^)]*)//g; s/, */\n/g' <<<"$depends")
# Names that only dpkg-shlibdeps finds in the executable prove the list was computed.
missing_depends=()
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 \
    libqt6dbus6 libqt6network6 libexiv2-27 libieee1284-3 fonts-liberation2; do
    grep -qxF "$library" <<<"$depend_names" || missing_depends+=("$library")
done
verdict "Depends holds the libraries of the executable" \
    "Depends lacks ${missing_depends[*]}: $depends" [ ${#missing_depends[@]} -eq 0 ]
empty=()
for name in Maintainer Section Priority Description; do
    [ -n "$(field "$name")" ] || empty+=("$name")
done
verdict "Maintainer, Section, Priority and Description are filled in" \
    "empty control fields: ${empty[*]}" [ ${#empty[@]} -eq 0 ]

# --- Contents ---------------------------------------------------------------------------------
rootfs=$work/root
mkdir -p "$rootfs/var/lib/dpkg/info" "$rootfs/var/lib/dpkg/updates" "$rootfs/var/log"
touch "$rootfs/var/lib/dpkg/status" "$rootfs/var/lib/dpkg/available"
# The throwaway root has no libraries registered, so the dependencies cannot be met there.
check "dpkg installs the package into a throwaway root" \
    dpkg --root="$rootfs" --log="$work/dpkg.log" --force-depends --force-not-root -i "$deb"

docdir=usr/share/doc/kestrova
expected=(usr/bin/kestrova "usr/share/applications/$app_id.desktop"
    "usr/share/metainfo/$app_id.metainfo.xml" usr/share/man/man1/kestrova.1.gz
    "$docdir/copyright" "$docdir/changelog.gz" usr/share/lintian/overrides/kestrova)
for size in "${icon_sizes[@]}"; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
absent=()
for file in "${expected[@]}"; do
    [ -f "$rootfs/$file" ] || absent+=("$file")
done
verdict "the package holds the executable, menu entry, metainfo, manual, copyright, changelog, lintian overrides and ${#icon_sizes[@]} icons" \
    "the package lacks ${absent[*]}" [ ${#absent[@]} -eq 0 ]

# A PNG's width and height are the big-endian words at bytes 16 and 20.
wrong_icons=()
for size in "${icon_sizes[@]}"; do
    png=$rootfs/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    [ -f "$png" ] || continue
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || wrong_icons+=("${size}x${size} is ${width}x${height}")
done
verdict "each icon is as large as its folder says" "icons of the wrong size: ${wrong_icons[*]}" \
    [ ${#wrong_icons[@]} -eq 0 ]

strays=$(find "$rootfs" -path "$rootfs/var" -prune -o -type f -print | sed "s|^$rootfs/||" |
    grep -Ev '^usr/(bin/kestrova|share/(applications|metainfo|man|icons|doc/kestrova|lintian/overrides)/)' ||
    true)
verdict "the package installs nothing else" "unexpected files: $strays" [ -z "$strays" ]

# --- Validators -------------------------------------------------------------------------------
desktop=$rootfs/usr/share/applications/$app_id.desktop
if desktop-file-validate "$desktop" >"$work/desktop.log" 2>&1 &&
    ! grep -Eq ': (error|warning):' "$work/desktop.log"; then
    pass "desktop-file-validate"
else
    fail "desktop-file-validate"
fi
sed 's/^/    /' "$work/desktop.log"

# appstreamcli passes infos such as a missing content rating; only pedantic notes may stand.
appstream_validate() {
    local what=$1 log=$2
    shift 2
    if appstreamcli "$@" >"$log" 2>&1 && ! grep -Eq '^[EWI]: ' "$log"; then
        pass "$what"
    else
        fail "$what"
    fi
    sed 's/^/    /' "$log"
}
echo "    $(appstreamcli --version)"
metainfo=$rootfs/usr/share/metainfo/$app_id.metainfo.xml
appstream_validate "appstreamcli validate" "$work/metainfo.log" validate --no-net "$metainfo"
# The tree check also follows the launchable to the desktop entry and the icon.
appstream_validate "appstreamcli validate-tree" "$work/tree.log" validate-tree --no-net "$rootfs"
lacking=()
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    lacking+=("a launchable naming $app_id.desktop")
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
    lacking+=("the project licence")
grep -q '<content_rating type="oars-' "$metainfo" || lacking+=("a content rating")
grep -q "<release version=\"$version\"" "$metainfo" || lacking+=("a release $version")
verdict "the metainfo has a launchable, the project licence, a content rating and release $version" \
    "the metainfo lacks ${lacking[*]}" [ ${#lacking[@]} -eq 0 ]

LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
    "$rootfs/usr/share/man/man1/kestrova.1.gz" >/dev/null 2>"$work/man.log" || true
sed 's/^/    /' "$work/man.log"
verdict "the manual page formats without warnings" "the manual page gives warnings" \
    [ ! -s "$work/man.log" ]

# --- Licence, changelog and Debian's checks ---------------------------------------------------
changelog=$rootfs/$docdir/changelog.gz
changelog_version=$(gzip -dc "$changelog" 2>/dev/null | dpkg-parsechangelog -l - -S Version 2>/dev/null) || true
verdict "the changelog's latest entry is version $version" \
    "the changelog's latest entry is version '$changelog_version', not $version" \
    [ "$changelog_version" = "$version" ]
copyright_names_gpl3() {
    local copyright=$rootfs/$docdir/copyright
    grep -qxF 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
        "$copyright" && grep -qxF 'License: GPL-3+' "$copyright"
}
verdict "the copyright file is machine-readable and names GPL-3+" \
    "the copyright file is not the machine-readable format naming GPL-3+" copyright_names_gpl3

# No invented web address: a reserved example domain is a placeholder, wherever it stands but
# in the Maintainer's mail address, which Debian requires and the changelog's entries repeat.
# The program's own texts are UTF-16 in the executable.
package_texts() {
    dpkg-deb --field "$deb"
    find "$rootfs/usr" -type f -name '*.gz' -exec zcat {} +
    find "$rootfs/usr" -type f ! -name '*.gz' -exec cat {} +
    find "$rootfs/usr" -type f ! -name '*.gz' -exec strings -a -el {} +
}
placeholders=$(package_texts 2>/dev/null |
    grep -aoE 'https?://([A-Za-z0-9-]+\.)*example\.(org|com|net)[^ "<>]*' | sort -u || true)
verdict "the package names no placeholder web address" "placeholder addresses: $placeholders" \
    [ -z "$placeholders" ]

# lintian's informational notes are shown but pass; an error or a warning fails.
echo "    $(lintian --version)"
status=0
lintian --display-info --pedantic --show-overrides --fail-on error,warning "$deb" \
    >"$work/lintian.log" 2>&1 || status=$?
grep -v '^running with root privileges' "$work/lintian.log" | sed 's/^/    /'
verdict "lintian finds no error and no warning" "lintian finds errors or warnings" [ "$status" -eq 0 ]

check "apt could install it here with its dependencies" \
    apt-get install --simulate --no-install-recommends "$deb"

# --- Start-up ---------------------------------------------------------------------------------
# The store selects neither interface, so the program drives no line and opens no device. It
# must never touch a real tty here: should the serial interface be chosen all the same, every
# Com number leads to a file that does not exist, and the probe fails on the message.
home=$work/home
mkdir -p "$home/config/Kestrova" "$home/runtime"
chmod 700 "$home/runtime"
{
    printf '[Parallel%%20Options]\nParallel%%20Control=0\n\n[Serial%%20Options]\nSerial%%20Control=0\n'
    for com in $(seq 1 16); do
        printf 'Com%d%%20Device=%s/no-such-tty\n' "$com" "$home"
    done
} >"$home/config/Kestrova/Kestrova.conf"
if [ ! -f "$probe" ]; then
    fail "the start-up probe is built (configure with KESTROVA_BUILD_TESTS=ON)"
else
    status=0
    env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$home" XDG_CONFIG_HOME="$home/config" \
        XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen LD_PRELOAD="$probe" \
        KESTROVA_PROBE_HOLD_MS=3000 timeout 60 "$rootfs/usr/bin/kestrova" \
        >"$work/run.log" 2>&1 || status=$?
    sed 's/^/    /' "$work/run.log"
    came_up=no
    if grep -q '^probe: main window frmMain shown: title "Kestrova"' "$work/run.log" &&
        grep -q '^probe: still up after 3000 ms' "$work/run.log" && [ "$status" -eq 0 ]; then
        came_up=yes
    fi
    verdict "the installed program shows its main window, stays up 3 s and ends when closed" \
        "the installed program did not come up and end cleanly (exit status $status)" \
        [ "$came_up" = yes ]
    verdict "the program names its installed desktop entry $app_id.desktop" \
        "the program does not name its desktop entry $app_id.desktop" \
        grep -qx "probe: desktop file name: $app_id" "$work/run.log"
fi

# --- Removal ----------------------------------------------------------------------------------
check "dpkg purges the package" dpkg --root="$rootfs" --log="$work/dpkg.log" --force-not-root \
    --purge kestrova
left=$(find "$rootfs" -path "$rootfs/var" -prune -o ! -type d -print)
verdict "nothing is left behind after the purge" "left behind: $left" [ -z "$left" ]

finish
