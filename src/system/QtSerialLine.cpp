// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/QtSerialLine.h"

#include "shutter/LineFailure.h"
#include "system/PortLockMessages.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSerialPort>
#include <QStringList>

#include <optional>
#include <utility>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace kestrova {

namespace {

// QSerialPort's own lock of the device, LCK..<name below /dev, '/' as '_'>, where another serial
// program may hold it: the file and its holder, or nothing when no such lock is there. These
// are the folders QSerialPort looks in, in its order.
std::optional<std::pair<QString, PortHolder>> serialPortLockHolder(const QString& device)
{
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* folder : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                               "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"}) {
        const QString file = QDir(QLatin1String(folder)).filePath(QStringLiteral("LCK..") + name);
        if (!QFileInfo::exists(file))
            continue;
        PortHolder holder;
        QString host;
        if (!QLockFile(file).getLockInfo(&holder.pid, &host, &holder.program))
            holder = {};
        return std::pair(file, holder);
    }
    return std::nullopt;
}

QString openFailureReason(const QSerialPort& port, const QString& device)
{
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return messages::serialDeviceMissing(device);
    case QSerialPort::PermissionError:
        // QSerialPort tells a lock held by another program as a permission error too.
        if (const auto lock = serialPortLockHolder(device))
            return messages::serialPortLockedElsewhere(device, lock->first, lock->second);
        return messages::serialPermissionDenied(device);
    default:
        return messages::serialNotOpened(device, port.errorString());
    }
}

// Linux drops RTS and DTR at the release of a terminal (the close of its last descriptor) when
// its HUPCL flag is set. A device that refuses the flag is left as it is.
void setHangupOnClose(int fd, bool hangup)
{
    termios settings = {};
    if (::tcgetattr(fd, &settings) != 0)
        return;
    const tcflag_t flags = hangup ? settings.c_cflag | HUPCL : settings.c_cflag & ~HUPCL;
    if (flags == settings.c_cflag)
        return;
    settings.c_cflag = flags;
    ::tcsetattr(fd, TCSANOW, &settings);
}

// The receiver off: what arrives on the line is dropped by the system, not buffered for nobody.
void ignoreInput(int fd)
{
    termios settings = {};
    if (::tcgetattr(fd, &settings) != 0 || !(settings.c_cflag & CREAD))
        return;
    settings.c_cflag &= ~CREAD;
    ::tcsetattr(fd, TCSANOW, &settings);
}

// Puts both lines at the given levels; what the port refused, empty when it took both.
QString restoreLevels(QSerialPort& port, const QString& device, bool rts, bool dtr)
{
    QStringList refused;
    if (!port.setRequestToSend(rts))
        refused << messages::lineNotSwitched(QStringLiteral("RTS"), rts, device,
                                             port.errorString());
    port.clearError();
    if (!port.setDataTerminalReady(dtr))
        refused << messages::lineNotSwitched(QStringLiteral("DTR"), dtr, device,
                                             port.errorString());
    port.clearError();
    return refused.join(QLatin1Char(' '));
}

} // namespace

struct QtSerialLine::Impl {
    DeviceResolver deviceForPort;
    QSerialPort port;
    bool rts = false;
    bool dtr = false;
    bool keepLevelsOnRelease = false;
    bool hangupOnRelease = true; // as the port was opened
    QString device;
    PortLocks locks;
    QString lockKey; // the port's lock while it is held

    explicit Impl(QString lockFolder) : locks(std::move(lockFolder)) {}
};

QtSerialLine::QtSerialLine(DeviceResolver deviceForPort, QString lockFolder)
    : d_(std::make_unique<Impl>(std::move(lockFolder)))
{
    d_->deviceForPort = std::move(deviceForPort);
}

QtSerialLine::~QtSerialLine()
{
    close();
}

bool QtSerialLine::isOpen() const
{
    return d_->port.isOpen();
}

LineResult QtSerialLine::open(int commPortNumber)
{
    close();
    const ComDevice resolved = d_->deviceForPort(commPortNumber);
    const QString& device = resolved.path;
    if (device.isEmpty())
        return LineFailure{QString::fromLatin1(messages::ComPortNotAvailable),
                           resolved.problem.isEmpty() ? messages::noComDevice(commPortNumber)
                                                      : resolved.problem};
    QSerialPort& port = d_->port;
    d_->device = device;
    // Before the open, which raises RTS and DTR: a port that another Kestrova drives is left
    // alone.
    const QString key = PortLocks::serialPortKey(device);
    const PortLockResult lock = d_->locks.acquire(key);
    if (lock.outcome == PortLockOutcome::Refused)
        return LineFailure{
            QString::fromLatin1(messages::PortInUse),
            messages::portDrivenByAnother(
                QStringLiteral("Com%1 (%2)").arg(commPortNumber).arg(device), lock.holder)};
    if (lock.outcome == PortLockOutcome::Unavailable)
        return LineFailure{QString::fromLatin1(messages::ComPortNotAvailable),
                           messages::comOpenFailed(commPortNumber, lock.problem)};
    d_->lockKey = key;
    port.setPortName(device);
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    // Only the modem lines are used: opened for writing alone, the port is never read, so bytes
    // arriving are not kept and a hang-up (an adapter pulled out) wakes nothing.
    if (!port.open(QIODevice::WriteOnly)) {
        const QString reason = openFailureReason(port, device);
        port.clearError();
        releasePort();
        return LineFailure{QString::fromLatin1(messages::ComPortNotAvailable),
                           messages::comOpenFailed(commPortNumber, reason)};
    }
    // Opening raises RTS and DTR; put them back at the levels last set, at once, before
    // anything else.
    const QString refused = restoreLevels(port, device, d_->rts, d_->dtr);
    // Set on the open port too, so that a release by the system (the program killed) keeps
    // the levels as well; and before a failure's release below, which must not drop a raised
    // line that is the shutter-closed level.
    d_->hangupOnRelease = !d_->keepLevelsOnRelease;
    setHangupOnClose(port.handle(), d_->hangupOnRelease);
    if (!refused.isEmpty()) {
        // A port whose lines stay where the open raised them may hold the shutter open: it is
        // not kept.
        close();
        return LineFailure{QString::fromLatin1(messages::ComPortNotAvailable),
                           messages::comOpenFailed(commPortNumber, refused)};
    }
    ignoreInput(port.handle());
    return std::nullopt;
}

void QtSerialLine::close()
{
    QSerialPort& port = d_->port;
    if (!port.isOpen()) {
        releasePort();
        return;
    }
    // QSerialPort's close puts back the terminal settings it found at its open, HUPCL included,
    // then closes its descriptor. A duplicate of that descriptor keeps the port from being
    // released until the flag is set again as wanted; its close is then the release.
    const int held = ::fcntl(port.handle(), F_DUPFD_CLOEXEC, 0);
    port.close();
    if (held >= 0) {
        setHangupOnClose(held, d_->hangupOnRelease);
        ::close(held);
    }
    releasePort();
}

// The lock goes once the device is released, not before.
void QtSerialLine::releasePort()
{
    if (!d_->lockKey.isEmpty())
        d_->locks.release(std::exchange(d_->lockKey, QString()));
}

void QtSerialLine::setKeepLevelsOnRelease(bool keep)
{
    d_->keepLevelsOnRelease = keep;
}

// Switches a line of the open port; false, with the reason, when the port refused.
bool QtSerialLine::switchLine(const char* line, bool on, bool (QSerialPort::*set)(bool),
                              QString& reason)
{
    QSerialPort& port = d_->port;
    if (!port.isOpen() || (port.*set)(on))
        return true;
    reason = port.errorString();
    // A device that is gone (an adapter pulled out) is released at once: it is never opened for
    // reading, so nothing else would notice, and a port held open by nothing stops a reopen.
    const bool gone = port.error() == QSerialPort::ResourceError;
    port.clearError();
    if (gone)
        close();
    reason = messages::lineNotSwitched(QLatin1String(line), on, d_->device, reason);
    return false;
}

// A level is stored only once the line has taken it: a switch that failed must not come back
// at the next open of the port.
LineResult QtSerialLine::setRtsEnable(bool on)
{
    QString reason;
    if (!switchLine("RTS", on, &QSerialPort::setRequestToSend, reason))
        return LineFailure{QString::fromLatin1(messages::ComPortNotAvailable), reason};
    d_->rts = on;
    return std::nullopt;
}

LineResult QtSerialLine::setDtrEnable(bool on)
{
    QString reason;
    if (!switchLine("DTR", on, &QSerialPort::setDataTerminalReady, reason))
        return LineFailure{QString::fromLatin1(messages::ComPortNotAvailable), reason};
    d_->dtr = on;
    return std::nullopt;
}

bool QtSerialLine::rtsEnable() const
{
    return d_->rts;
}
bool QtSerialLine::dtrEnable() const
{
    return d_->dtr;
}

} // namespace kestrova
