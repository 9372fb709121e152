// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the user is told when a line fails: the text first, then a detail that names the device
// and the system's reason, with what to do about it.

namespace kestrova::messages {

inline const char ComPortNotAvailable[] = "The Com port selected is not available";
// A port that another Kestrova drives: this one leaves it alone (system/PortLocks.h).
inline const char PortInUse[] = "The port selected is in use by another Kestrova";
inline const char SelectedParallelPortNotAvailable[] =
    "The parallel port selected is not available";
// port: "LPT1 (0x378)"
inline QString parallelPortNotAvailable(const QString& port)
{
    return QStringLiteral("The parallel port %1 is not available").arg(port);
}

// The details of the line driver. lptNames: "LPT1, LPT2 or LPT3".
inline QString parallelIndexUnknown(int index, const QString& lptNames)
{
    return QStringLiteral("The stored parallel port (index %1) is not %2. Choose a port under "
                          "Options....")
        .arg(index)
        .arg(lptNames);
}
inline QString comPortNotOpen(int commPortNumber)
{
    return QStringLiteral("Com%1 is not open, so the shutter line was not switched. Choose a port "
                          "under Options... or Interface, Serial to try again.")
        .arg(commPortNumber);
}

// The details of the parallel port, followed by PpdevAdvice.
inline const char PpdevAdvice[] =
    "The parallel port is reached through the ppdev driver: load it with \"sudo modprobe ppdev\", "
    "and make sure you are a member of the \"lp\" group (\"sudo adduser $USER lp\", then log in "
    "again).";
inline const char ParallelPortListUnreadable[] = "The list of parallel ports could not be read.";
inline const char NoParallelPortAtAddress[] = "No parallel port was found at this address.";
inline QString dataBitMissing(int bit)
{
    return QStringLiteral("Data bit D%1 does not exist.").arg(bit);
}
inline QString openPermissionDenied(const QString& file)
{
    return QStringLiteral("Permission to open %1 was denied.").arg(file);
}
inline QString notOpened(const QString& file, const QString& reason)
{
    return QStringLiteral("%1 could not be opened (%2).").arg(file, reason);
}
inline QString notPpdev(const QString& file)
{
    return QStringLiteral("%1 is not a ppdev device.").arg(file);
}
inline QString parallelPortInUse(const QString& file)
{
    return QStringLiteral("%1 is in use by another program.").arg(file);
}

// The details of the serial port.
inline QString noComDevice(int commPortNumber)
{
    return QStringLiteral("There is no device for Com%1.").arg(commPortNumber);
}
inline QString comOpenFailed(int commPortNumber, const QString& reason)
{
    return QStringLiteral("Com%1: %2").arg(commPortNumber).arg(reason);
}
inline QString serialDeviceMissing(const QString& device)
{
    return QStringLiteral("%1 does not exist. Plug the serial adapter in, or choose the Com "
                          "number it has under Options... (see \"man kestrova\").")
        .arg(device);
}
inline QString serialPermissionDenied(const QString& device)
{
    return QStringLiteral("Permission to open %1 was denied, or another program is using it. "
                          "Serial ports need membership of the \"dialout\" group: "
                          "\"sudo adduser $USER dialout\", then log in again.")
        .arg(device);
}
inline QString serialNotOpened(const QString& device, const QString& reason)
{
    return QStringLiteral("%1 could not be opened: %2.").arg(device, reason);
}
// line: "RTS" or "DTR"
inline QString lineNotSwitched(const QString& line, bool on, const QString& device,
                               const QString& reason)
{
    return QStringLiteral("%1 could not be switched %2 on %3: %4. Check that the cable or USB "
                          "adapter is plugged in.")
        .arg(line, on ? QStringLiteral("on") : QStringLiteral("off"), device, reason);
}

} // namespace kestrova::messages
