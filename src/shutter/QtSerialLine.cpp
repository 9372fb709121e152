#include "shutter/QtSerialLine.h"

#include "shutter/LineFailure.h"

#include <QFile>
#include <QSerialPort>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace kestrova {

namespace {

QString openFailureReason(const QSerialPort& port, const QString& device)
{
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral(
                   "%1 does not exist. For a USB serial adapter, point the Com number "
                   "at its device with the setting \"Com<N> Device\" (see \"man kestrova\").")
            .arg(device);
    case QSerialPort::PermissionError:
        return QStringLiteral("Permission to open %1 was denied, or another program is using it. "
                              "Serial ports need membership of the \"dialout\" group: "
                              "\"sudo adduser $USER dialout\", then log in again.")
            .arg(device);
    default:
        return QStringLiteral("%1 could not be opened: %2.").arg(device, port.errorString());
    }
}

// Linux drops RTS and DTR when the last descriptor of a terminal closes, if its HUPCL flag is
// set. QSerialPort puts back at its close the terminal settings it found at its open, so the
// flag must be on the device before QSerialPort opens it. This descriptor sets it and is held
// until the port's levels are applied: its own close is then never the last one, so it drops
// nothing and raises nothing again. A device that cannot be opened here is left as it is;
// QSerialPort's open then says why.
class HangupOnClose {
public:
    HangupOnClose(const QString& device, bool hangup)
        : fd_(::open(QFile::encodeName(device).constData(),
                     O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC))
    {
        termios settings = {};
        if (fd_ < 0 || ::tcgetattr(fd_, &settings) != 0)
            return;
        const tcflag_t flags = hangup ? settings.c_cflag | HUPCL : settings.c_cflag & ~HUPCL;
        if (flags == settings.c_cflag)
            return;
        settings.c_cflag = flags;
        ::tcsetattr(fd_, TCSANOW, &settings);
    }
    ~HangupOnClose()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    HangupOnClose(const HangupOnClose&) = delete;
    HangupOnClose& operator=(const HangupOnClose&) = delete;

private:
    int fd_;
};

} // namespace

struct QtSerialLine::Impl {
    DeviceResolver deviceForPort;
    QSerialPort port;
    bool rts = false;
    bool dtr = false;
    bool keepLevelsOnRelease = false;
    QString device;
};

QtSerialLine::QtSerialLine(DeviceResolver deviceForPort) : d_(std::make_unique<Impl>())
{
    d_->deviceForPort = std::move(deviceForPort);
}

QtSerialLine::~QtSerialLine() = default;

bool QtSerialLine::isOpen() const
{
    return d_->port.isOpen();
}

void QtSerialLine::open(int commPortNumber)
{
    close();
    const QString device = d_->deviceForPort(commPortNumber);
    if (device.isEmpty())
        throw LineFailure(QString::fromLatin1(messages::ComPortNotAvailable),
                          QStringLiteral("There is no device for Com%1.").arg(commPortNumber));
    QSerialPort& port = d_->port;
    d_->device = device;
    port.setPortName(device);
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    const HangupOnClose hangup(device, !d_->keepLevelsOnRelease);
    if (!port.open(QIODevice::ReadWrite)) {
        const QString reason = openFailureReason(port, device);
        port.clearError();
        throw LineFailure(QString::fromLatin1(messages::ComPortNotAvailable),
                          QStringLiteral("Com%1: %2").arg(commPortNumber).arg(reason));
    }
    // Opening raises RTS and DTR; put them back at the levels last set, at once, before
    // anything else. A device without modem lines (a pseudo-terminal) refuses; the next
    // shutter command reports that.
    port.setRequestToSend(d_->rts);
    port.setDataTerminalReady(d_->dtr);
    port.clearError();
}

void QtSerialLine::close()
{
    if (d_->port.isOpen())
        d_->port.close();
}

void QtSerialLine::setKeepLevelsOnRelease(bool keep)
{
    d_->keepLevelsOnRelease = keep;
}

namespace {
void switchLine(QSerialPort& port, const QString& device, const char* line, bool on,
                bool (QSerialPort::*set)(bool))
{
    if (!port.isOpen())
        return;
    if (!(port.*set)(on)) {
        const QString reason = port.errorString();
        port.clearError();
        throw LineFailure(QString::fromLatin1(messages::ComPortNotAvailable),
                          QStringLiteral("%1 could not be switched %2 on %3: %4. Check that the "
                                         "cable or USB adapter is plugged in.")
                              .arg(QLatin1String(line),
                                   on ? QStringLiteral("on") : QStringLiteral("off"), device,
                                   reason));
    }
}
} // namespace

// A level is stored only once the line has taken it: a switch that failed must not come back
// at the next open of the port.
void QtSerialLine::setRtsEnable(bool on)
{
    switchLine(d_->port, d_->device, "RTS", on, &QSerialPort::setRequestToSend);
    d_->rts = on;
}

void QtSerialLine::setDtrEnable(bool on)
{
    switchLine(d_->port, d_->device, "DTR", on, &QSerialPort::setDataTerminalReady);
    d_->dtr = on;
}

bool QtSerialLine::rtsEnable() const
{
    return d_->rts;
}
bool QtSerialLine::dtrEnable() const
{
    return d_->dtr;
}
QString QtSerialLine::deviceName() const
{
    return d_->device;
}

} // namespace kestrova
