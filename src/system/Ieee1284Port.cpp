// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/Ieee1284Port.h"

#include "shutter/ShutterConfig.h"
#include "system/PortLockMessages.h"

#include <QString>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ieee1284.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace kestrova {

namespace {

QString portName(int address)
{
    for (const LptPort& port : LptPorts)
        if (port.address == address)
            return QStringLiteral("%1 (0x%2)")
                .arg(QLatin1String(port.name), QString::number(address, 16).toUpper());
    return QStringLiteral("at 0x%1").arg(address, 0, 16);
}

LineFailure failure(int address, const QString& reason)
{
    return {messages::parallelPortNotAvailable(portName(address)),
            reason + QLatin1Char(' ') + QLatin1String(messages::PpdevAdvice)};
}

// Only ports that the kernel offers through a ppdev device file are used. libieee1284 also
// lists ports it guesses at the standard addresses for raw I/O through /dev/port or ioperm;
// writing those needs root and pokes hardware that may not be a parallel port at all.
bool isPpdevPort(const parport* port)
{
    return port->filename && std::strncmp(port->filename, "/dev/parport", 12) == 0;
}

constexpr unsigned PpdevMajor = 99;

// libieee1284 falls back to raw port I/O when it cannot open the ppdev device and the process
// is allowed raw I/O (root). So the device is first opened here: only when that works is the
// library asked to open the port, and it then takes the same ppdev path.
QString ppdevProblem(const char* fileName)
{
    const int fd = ::open(fileName, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return (error == EACCES || error == EPERM)
                   ? messages::openPermissionDenied(QString::fromLocal8Bit(fileName))
                   : messages::notOpened(QString::fromLocal8Bit(fileName),
                                         QString::fromLocal8Bit(std::strerror(error)));
    }
    struct stat status = {};
    const bool ppdev =
        fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && major(status.st_rdev) == PpdevMajor;
    ::close(fd);
    return ppdev ? QString() : messages::notPpdev(QString::fromLocal8Bit(fileName));
}

} // namespace

struct Ieee1284Port::Impl {
    explicit Impl(QString lockFolder) : locks(std::move(lockFolder)) {}

    DeviceCheck deviceProblem;
    PortLocks locks;
    QString lockKey; // the open port's lock
    parport_list ports{};
    bool listed = false;
    parport* open = nullptr;
    int openAddress = 0;
    unsigned char data = 0; // the data register as last written; not every port reads back

    ~Impl()
    {
        closePort();
        if (listed)
            ieee1284_free_ports(&ports);
    }

    void closePort()
    {
        if (!open)
            return;
        ieee1284_release(open);
        ieee1284_close(open);
        open = nullptr;
        releaseLock();
    }

    void releaseLock()
    {
        if (!lockKey.isEmpty())
            locks.release(std::exchange(lockKey, QString()));
    }

    // The listed ppdev port at the address, or why there is none.
    parport* find(int address, LineResult& failed)
    {
        if (!listed) {
            if (ieee1284_find_ports(&ports, 0) != E1284_OK) {
                failed =
                    failure(address, QString::fromLatin1(messages::ParallelPortListUnreadable));
                return nullptr;
            }
            listed = true;
        }
        for (int i = 0; i < ports.portc; ++i) {
            parport* port = ports.portv[i];
            if (isPpdevPort(port) && port->base_addr == static_cast<unsigned long>(address))
                return port;
        }
        failed = failure(address, QString::fromLatin1(messages::NoParallelPortAtAddress));
        return nullptr;
    }

    LineResult ensureOpen(int address)
    {
        if (open && openAddress == address)
            return std::nullopt;
        closePort();
        // Before the device is touched: a port that another Kestrova drives is left alone.
        const QString key = PortLocks::parallelPortKey(address);
        const PortLockResult lock = locks.acquire(key);
        if (lock.outcome == PortLockOutcome::Refused)
            return LineFailure{QString::fromLatin1(messages::PortInUse),
                               messages::portDrivenByAnother(portName(address), lock.holder)};
        if (lock.outcome == PortLockOutcome::Unavailable)
            return failure(address, lock.problem);
        lockKey = key;
        LineResult failed = openLocked(address);
        if (failed)
            releaseLock();
        return failed;
    }

    LineResult openLocked(int address)
    {
        LineResult failed;
        parport* port = find(address, failed);
        if (!port)
            return failed;
        const QString problem = deviceProblem(port->filename);
        if (!problem.isEmpty())
            return failure(address, problem);
        int capabilities = 0;
        errno = 0;
        if (ieee1284_open(port, 0, &capabilities) != E1284_OK)
            return failure(address,
                           messages::notOpened(QString::fromLocal8Bit(port->filename),
                                               QString::fromLocal8Bit(std::strerror(errno))));
        if (ieee1284_claim(port) != E1284_OK) {
            ieee1284_close(port);
            return failure(address,
                           messages::parallelPortInUse(QString::fromLocal8Bit(port->filename)));
        }
        open = port;
        openAddress = address;
        const int current = ieee1284_read_data(port);
        data = current >= 0 ? static_cast<unsigned char>(current) : 0;
        return std::nullopt;
    }

    LineResult write(int address, std::uint8_t bit, bool set)
    {
        if (bit > HighestDataBit)
            return failure(address, messages::dataBitMissing(bit));
        if (LineResult failed = ensureOpen(address))
            return failed;
        const auto mask = static_cast<unsigned char>(1u << bit);
        data = set ? (data | mask) : (data & ~mask);
        ieee1284_write_data(open, data);
        return std::nullopt;
    }
};

Ieee1284Port::Ieee1284Port(QString lockFolder) : Ieee1284Port(ppdevProblem, std::move(lockFolder))
{
}
Ieee1284Port::Ieee1284Port(DeviceCheck deviceProblem, QString lockFolder)
    : d_(std::make_unique<Impl>(std::move(lockFolder)))
{
    d_->deviceProblem = std::move(deviceProblem);
}
Ieee1284Port::~Ieee1284Port() = default;

LineResult Ieee1284Port::setPortBit(int address, std::uint8_t bit)
{
    return d_->write(address, bit, true);
}
LineResult Ieee1284Port::clrPortBit(int address, std::uint8_t bit)
{
    return d_->write(address, bit, false);
}

} // namespace kestrova
