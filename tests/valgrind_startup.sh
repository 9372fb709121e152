#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the program under valgrind on the offscreen platform with a settings store of its own,
# waits until it is up, closes it with SIGTERM as a logout would, and fails on any memory error
# or definite leak. The store selects the parallel interface on a port index that has no address,
# so start-up reports it in a message box without any port I/O; no serial device is reachable.
#
# usage: valgrind_startup.sh PROGRAM [LONGEST_START_SECONDS]
#
# "Up" is the main thread waiting in an event loop with the window shown: asleep in poll, as
# the kernel names where it waits (/proc/PID/wchan). Under valgrind start-up takes seconds on an
# idle machine and far longer on a loaded one, so the wait is for that state, not for a fixed
# time; where the kernel does not tell the place, the main thread asleep with no CPU time used
# for two seconds is taken instead. The main thread's id is the process id.
set -uo pipefail
program=$1
longest_start=${2:-240}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.config/Kestrova"
printf '[Parallel%%20Options]\nParallel%%20Control=1\nPortIndex=3\n[Serial%%20Options]\nSerial%%20Control=0\n' \
    >"$home/.config/Kestrova/Kestrova.conf"

HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=offscreen \
    valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
    --log-file="$home/valgrind.log" "$program" &
pid=$!

# Prints the main thread's state letter and the process's CPU time in clock ticks. The command
# name, in parentheses, may hold blanks: the fields are counted after its closing parenthesis.
state_and_cpu() {
    local stat state utime stime
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    read -r state _ _ _ _ _ _ _ _ _ _ utime stime _ <<<"$stat"
    echo "$state $((utime + stime))"
}

waiting_in_poll=0
idle_samples=0
last_cpu=-1
up=no
ended=no
deadline=$((SECONDS + longest_start))
while [ "$SECONDS" -lt "$deadline" ]; do
    sleep 0.5
    if ! read -r state cpu < <(state_and_cpu) || [ "$state" = Z ] || [ "$state" = X ]; then
        ended=yes
        break
    fi
    wchan=$(cat "/proc/$pid/task/$pid/wchan" 2>/dev/null || true)
    if [ "$state" = S ] && [[ $wchan == *poll* ]]; then
        waiting_in_poll=$((waiting_in_poll + 1))
    else
        waiting_in_poll=0
    fi
    if [ "$state" = S ] && [ "$cpu" = "$last_cpu" ]; then
        idle_samples=$((idle_samples + 1))
    else
        idle_samples=0
    fi
    last_cpu=$cpu
    if [ "$waiting_in_poll" -ge 2 ] || [ "$idle_samples" -ge 4 ]; then
        up=yes
        break
    fi
done
if [ "$up" = yes ]; then
    echo "up after ${SECONDS} s"
    kill -TERM "$pid"
elif [ "$ended" = yes ]; then
    echo "the program ended by itself before it was closed" >&2
else
    echo "the program did not come up within $longest_start s" >&2
    kill -KILL "$pid" 2>/dev/null
fi
wait "$pid"
status=$?
grep -E 'ERROR SUMMARY|definitely lost' "$home/valgrind.log"
if [ "$up" != yes ] || [ "$status" -ne 0 ]; then
    cat "$home/valgrind.log"
    echo "valgrind: exit status $status" >&2
    exit 1
fi
