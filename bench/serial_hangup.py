#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# What an unplugged serial adapter costs the real program: Kestrova starts on the serial
# interface with Com1 pointed at a pseudo-terminal (never a real device), the far side sends
# 100 MB, then hangs up as a pulled-out adapter does. Prints the resident memory before and after
# the data, and the CPU time the process uses in the 10 s after the hang-up. Not a test.
#
#   bench/serial_hangup.py build/src/kestrova [MEGABYTES] [SECONDS]
#
# A pseudo-terminal has no modem lines, and Kestrova does not keep a port whose lines it cannot
# put back: run it under the tests' modem line shim, with LD_PRELOAD naming
# build/tests/libkestrova_modem_lines.so and KESTROVA_MODEM_LINES_DIR a folder of your own.
import os
import pty
import subprocess
import sys
import tempfile
import time

program = sys.argv[1]
megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 100
seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 10.0


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


primary, subsidiary = pty.openpty()
device = os.ttyname(subsidiary)
os.close(subsidiary)  # the program opens it by name
with tempfile.TemporaryDirectory() as home:
    config = os.path.join(home, ".config", "Kestrova")
    os.makedirs(config)
    with open(os.path.join(config, "Kestrova.conf"), "w") as settings:
        settings.write("[Parallel%20Options]\nParallel%20Control=0\n\n"
                       f"[Serial%20Options]\nSerial%20Control=1\nCom1%20Device={device}\n")
    environment = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                       XDG_STATE_HOME=os.path.join(home, ".local", "state"),
                       QT_QPA_PLATFORM="offscreen", DBUS_SESSION_BUS_ADDRESS="unix:path=/none",
                       DBUS_SYSTEM_BUS_ADDRESS="unix:path=/none")
    process = subprocess.Popen([program], env=environment, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    time.sleep(3)  # started, port opened
    print(f"resident at start: {resident_kib(process.pid) / 1024:.1f} MB")
    os.set_blocking(primary, False)
    chunk = b"x" * 65536
    sent = 0
    deadline = time.monotonic() + 60
    stalled = time.monotonic()
    # Until all is sent, or the receiver has taken nothing for 3 s.
    while (sent < megabytes * 1024 * 1024 and time.monotonic() < deadline
           and time.monotonic() - stalled < 3):
        try:
            sent += os.write(primary, chunk)
            stalled = time.monotonic()
        except BlockingIOError:
            time.sleep(0.001)  # the receiver does not take more now
    time.sleep(1)
    print(f"sent {sent / 1048576:.3f} MB (the receiver took no more); resident after: "
          f"{resident_kib(process.pid) / 1024:.1f} MB")
    os.close(primary)  # hang-up
    time.sleep(0.5)
    before = cpu_seconds(process.pid)
    time.sleep(seconds)
    used = cpu_seconds(process.pid) - before
    print(f"CPU time in {seconds:.0f} s after the hang-up: {used:.2f} s "
          f"({100 * used / seconds:.0f}% of a core)")
    process.terminate()
    process.wait(timeout=30)
