// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

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

// One byte-wide parallel port data register, addressed by its I/O base address.
// Both operations change one bit and leave the other seven as they are; they throw LineFailure
// when the port cannot be reached.
class ParallelPort {
public:
    virtual ~ParallelPort() = default;
    virtual void setPortBit(int address, std::uint8_t bit) = 0;
    virtual void clrPortBit(int address, std::uint8_t bit) = 0;
};

} // namespace kestrova
