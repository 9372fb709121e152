// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/Messages.h"
#include "system/PortLocks.h"

#include <QString>

// What the user is told when a port is locked by another Kestrova, or cannot be locked.

namespace kestrova::messages {

// port: how the user knows it, e.g. "Com3 (/dev/ttyUSB0)" or "LPT1 (0x378)". The holder's
// executable is named only when it is not Kestrova's own.
inline QString portDrivenByAnother(const QString& port, const PortHolder& holder)
{
    const QString program =
        holder.program.isEmpty() ||
                holder.program.compare(QLatin1String("kestrova"), Qt::CaseInsensitive) == 0
            ? QString()
            : QStringLiteral(", %1").arg(holder.program);
    return QStringLiteral("Another Kestrova (process %1%2) is driving %3. This one has left the "
                          "port alone, so the camera was not disturbed. Close the other Kestrova, "
                          "or choose another port.")
        .arg(holder.pid)
        .arg(program, port);
}

// QSerialPort takes a lock of its own, LCK..<device name> in the system's lock folder, as other
// serial programs do; a port whose lock another program holds is refused as a permission error,
// which must not send the user to the dialout group. holder: as its lock file says, pid 0 when
// unreadable.
inline QString serialPortLockedElsewhere(const QString& device, const QString& lockFile,
                                         const PortHolder& holder)
{
    const QString who = holder.pid <= 0 ? QStringLiteral("another program")
                        : holder.program.isEmpty()
                            ? QStringLiteral("another program (process %1)").arg(holder.pid)
                            : QStringLiteral("another program (process %1, %2)")
                                  .arg(holder.pid)
                                  .arg(holder.program);
    return QStringLiteral("%1 is in use by %2, which holds its lock file %3. Close that program "
                          "and try again; if none is running, remove the file (\"sudo rm %3\").")
        .arg(device, who, lockFile);
}

// The details of a lock that could not be taken (PortLockOutcome::Unavailable).
inline QString lockFolderUnusable(const QString& folder, const QString& reason)
{
    return QStringLiteral("No lock could be made in %1 (%2), so Kestrova cannot tell whether "
                          "another Kestrova drives this port. Make the folder writable for you.")
        .arg(folder, reason);
}
inline QString lockLeftBehind(const QString& file, qint64 pid)
{
    return QStringLiteral("%1 is a lock left by a Kestrova that has ended (process %2), and it "
                          "could not be removed. Remove that file (\"sudo rm %1\"), or restart "
                          "the computer.")
        .arg(file, QString::number(pid));
}

inline QString lockUnreadable(const QString& file)
{
    return QStringLiteral("%1 is a lock that could neither be read nor removed. Remove that file "
                          "(\"sudo rm %1\"), or restart the computer.")
        .arg(file);
}

} // namespace kestrova::messages
