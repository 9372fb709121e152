// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Int16.h"

#include <cstdint>
#include <iterator>

namespace kestrova {

// The parallel ports the program can use, in the order of the options list and of the stored
// port index.
struct LptPort {
    const char* name;
    int address; // I/O base address of the data register
};
inline constexpr LptPort LptPorts[] = {{"LPT1", 0x378}, {"LPT2", 0x278}, {"LPT3", 0x3BC}};

// The data register's bits D0..D7.
inline constexpr std::uint8_t HighestDataBit = 7;

// The port whose line works the shutter.
enum class Interface { None, Parallel, Serial };

// The serial port's line that works the shutter.
enum class ControlLine { Rts, Dtr };

// The I/O base address of the LPT port at a stored port index; 0 for any other index.
constexpr int parallelPortAddress(int portIndex)
{
    return portIndex >= 0 && portIndex < int(std::size(LptPorts)) ? LptPorts[portIndex].address : 0;
}

// The active output configuration: which line works the shutter and with which polarity.
struct ShutterConfig {
    Interface Use = Interface::None;
    Int16 ParallelPortIndex = 0; // 0 LPT1, 1 LPT2, 2 LPT3
    std::uint8_t PortBit = 0;    // data bit D0..D7
    Int16 SerialPortIndex = 0;   // 0 Com1 .. 15 Com16
    kestrova::ControlLine ControlLine = kestrova::ControlLine::Rts;
    bool ActiveLogic = false; // true: the line is set while the shutter is open

    // The I/O address of the LPT port at ParallelPortIndex, 0 for none.
    int portAddress() const { return parallelPortAddress(ParallelPortIndex); }
    int commPortNumber() const { return SerialPortIndex + 1; }
};

} // namespace kestrova
