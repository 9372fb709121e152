#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times a sequence run from the command line, as a user runs it over SSH: the real program on a
pseudo-terminal under the tests' modem line shim, which records every edge of RTS on the
monotonic clock with the process that made it. Each edge's error is its time since the line's
first opening minus its ideal time, as bench/sequence_timing computes it for tmrMain.

    bench/terminal_timing.py PROGRAM SHIM [--exposures N] [--exposure SECONDS]
                             [--delay SECONDS] [--output pipe|terminal]

PROGRAM is build/src/kestrova, SHIM build/tests/libkestrova_modem_lines.so. --output pipe (the
default) reads the program's standard output through a pipe, one line per edge; terminal gives
it a pseudo-terminal, on which it redraws its progress line every second. No real serial device
is opened: Com1 is the pseudo-terminal.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import threading


def drain(fd):
    try:
        while os.read(fd, 4096):
            pass
    except OSError:
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("shim")
    parser.add_argument("--exposures", type=int, default=4)
    parser.add_argument("--exposure", type=int, default=10)
    parser.add_argument("--delay", type=int, default=5)
    parser.add_argument("--output", choices=("pipe", "terminal"), default="pipe")
    options = parser.parse_args()

    port_primary, port = os.openpty()
    port_path = os.ttyname(port)
    os.close(port)
    with tempfile.TemporaryDirectory() as home:
        settings = os.path.join(home, "kestrova.conf")
        with open(settings, "w") as file:
            # Active Logic unchecked: RTS set is the closed level, RTS cleared opens the shutter.
            file.write("[Parallel%%20Options]\nParallel%%20Control=0\n[Serial%%20Options]\n"
                       "Serial%%20Control=1\nActiveLogic=0\nControl%%20Line=0\n"
                       "Com1%%20Device=%s\n" % port_path)
        environment = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config",
                           XDG_STATE_HOME=home + "/state", XDG_RUNTIME_DIR=home,
                           KESTROVA_MODEM_LINES_DIR=home, LD_PRELOAD=options.shim,
                           DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + home + "/no-bus")
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            environment.pop(name, None)
        command = [options.program, "--settings", settings,
                   "--exposures", str(options.exposures),
                   "--exposure-time", str(options.exposure), "--delay", str(options.delay)]
        if options.output == "terminal":
            primary, subsidiary = os.openpty()
            reader = threading.Thread(target=drain, args=(primary,), daemon=True)
            reader.start()
            process = subprocess.Popen(command, env=environment, stdout=subsidiary,
                                       stderr=subprocess.DEVNULL)
            os.close(subsidiary)
        else:
            process = subprocess.Popen(command, env=environment, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL)
            reader = threading.Thread(target=drain, args=(process.stdout.fileno(),),
                                      daemon=True)
            reader.start()
        status = process.wait()
        if status != 0:
            sys.exit("the program ended with status %d" % status)

        edges = []  # (monotonic ns, RTS level) of this program's switches of RTS
        rts = None
        with open(os.path.join(home, "lines.log")) as log:
            for line in log:
                fields = line.split()
                if len(fields) != 7 or int(fields[2]) != process.pid or fields[3] != port_path:
                    continue
                level = fields[4] == "RTS=1"
                if fields[6] == "ioctl" and rts is not None and level != rts:
                    edges.append((int(fields[0]), level))
                rts = level
    os.close(port_primary)

    ideal = []
    for i in range(options.exposures):
        start = i * (options.exposure + options.delay)
        ideal += [start, start + options.exposure]
    if len(edges) != len(ideal) or any(level != (i % 2 == 1) for i, (_, level) in enumerate(edges)):
        sys.exit("expected %d alternating edges, the shim recorded %d" % (len(ideal), len(edges)))
    first = edges[0][0]
    errors = [(t - first) / 1e6 - s * 1000.0 for (t, _), s in zip(edges, ideal)]

    print("%d x %d s, %d s between, output to a %s" % (options.exposures, options.exposure,
                                                      options.delay, options.output))
    print("%5s  %-6s %8s  %10s" % ("edge", "line", "ideal s", "error ms"))
    for i, (error, seconds) in enumerate(zip(errors, ideal)):
        print("%5d  %-6s %8d  %+10.3f" % (i + 1, "open" if i % 2 == 0 else "close", seconds, error))
    later = [abs(error) for error in errors[1:]]
    print("largest error ms %10.3f" % max(later))
    print("mean error ms    %10.3f" % (sum(later) / len(later)))
    print("drift ms         %+10.3f" % (errors[-1] - errors[0]))


if __name__ == "__main__":
    main()
