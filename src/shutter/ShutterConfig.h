// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Int16.h"

#include <QString>
#include <cstdint>

namespace kestrova {

// The active output configuration: which line works the shutter and with which polarity.
struct ShutterConfig {
    bool UseParallel = false;
    bool UseSerial = false;
    Int16 ParallelPortIndex = 0;
    Int16 PortAddress = 0;    // 888, 632 or 956 for LPT1..LPT3, 0 for any other index
    std::uint8_t PortBit = 0; // data bit D0..D7
    Int16 SerialPortIndex = 0;
    Int16 CommPortNumber = 0; // SerialPortIndex + 1
    QString ControlLine;      // "RTS" or "DTR"
    bool ActiveLogic = false; // true: the line is set while the shutter is open
};

// The I/O base address of LPT1..LPT3 for a stored port index; 0 for any other index.
Int16 parallelPortAddress(Int16 portIndex);

} // namespace kestrova
