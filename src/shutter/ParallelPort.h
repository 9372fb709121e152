// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/LineFailure.h"

#include <cstdint>

namespace kestrova {

// One byte-wide parallel port data register, addressed by its I/O base address.
// Both operations change one bit and leave the other seven as they are; they return the failure
// when the port cannot be reached.
class ParallelPort {
public:
    virtual ~ParallelPort() = default;
    [[nodiscard]] virtual LineResult setPortBit(int address, std::uint8_t bit) = 0;
    [[nodiscard]] virtual LineResult clrPortBit(int address, std::uint8_t bit) = 0;
};

} // namespace kestrova
