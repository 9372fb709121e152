#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the program under valgrind on the offscreen platform with a settings store of its own,
# lets it come up, closes it with SIGTERM as a logout would, and fails on any memory error or
# definite leak. The store selects the parallel interface on a port index that has no address,
# so start-up reports it in a message box without any port I/O; no serial device is reachable.
set -uo pipefail
program=$1
seconds=${2:-20}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.config/Kestrova"
printf '[Parallel%%20Options]\nParallel%%20Control=1\nPortIndex=3\n[Serial%%20Options]\nSerial%%20Control=0\n' \
    >"$home/.config/Kestrova/Kestrova.conf"

HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=offscreen \
    valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
    --log-file="$home/valgrind.log" "$program" &
pid=$!
sleep "$seconds"
kill -TERM "$pid"
wait "$pid"
status=$?
grep -E 'ERROR SUMMARY|definitely lost' "$home/valgrind.log"
if [ "$status" -ne 0 ]; then
    cat "$home/valgrind.log"
    echo "valgrind: exit status $status" >&2
    exit 1
fi
