// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/SerialLine.h"
#include "system/PortLocks.h"

#include <QString>

class QSerialPort;
#include <functional>
#include <memory>

namespace kestrova {

// The serial line through QSerialPort. deviceForPort names the device file of Com<N>.
//
// The port's lock (PortLocks, in lockFolder) is taken before the device is opened, so that a
// second Kestrova is refused before its open raises RTS and DTR; it is held until the port is
// released.
class QtSerialLine : public SerialLine {
public:
    using DeviceResolver = std::function<ComDevice(int commPortNumber)>;
    explicit QtSerialLine(DeviceResolver deviceForPort,
                          QString lockFolder = PortLocks::defaultFolder());
    ~QtSerialLine() override;

    bool isOpen() const override;
    LineResult open(int commPortNumber) override;
    void close() override;
    void setKeepLevelsOnRelease(bool keep) override;
    LineResult setRtsEnable(bool on) override;
    LineResult setDtrEnable(bool on) override;
    bool rtsEnable() const override;
    bool dtrEnable() const override;

private:
    void releasePort();
    bool switchLine(const char* line, bool on, bool (QSerialPort::*set)(bool), QString& reason);

    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace kestrova
