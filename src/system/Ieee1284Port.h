// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/ParallelPort.h"
#include "system/PortLocks.h"

#include <QString>
#include <functional>
#include <memory>

namespace kestrova {

// The parallel port through libieee1284 and the kernel's ppdev driver (/dev/parportN), so no
// root rights and no raw port I/O are needed: membership of the "lp" group is enough. The port's
// lock (PortLocks, in lockFolder) is taken before its device is opened and held until the port is
// closed, so that a second Kestrova leaves it alone.
class Ieee1284Port : public ParallelPort {
public:
    // Why a port's device file cannot be used, empty when it can.
    using DeviceCheck = std::function<QString(const char* fileName)>;

    explicit Ieee1284Port(QString lockFolder = PortLocks::defaultFolder());
    // Checks device files with deviceProblem instead of asking the kernel: for tests.
    explicit Ieee1284Port(DeviceCheck deviceProblem,
                          QString lockFolder = PortLocks::defaultFolder());
    ~Ieee1284Port() override;

    LineResult setPortBit(int address, std::uint8_t bit) override;
    LineResult clrPortBit(int address, std::uint8_t bit) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace kestrova
