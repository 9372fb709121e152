// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace kestrova {

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
