// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <stdexcept>

// Whole numbers as the program keeps them: counters and indices are signed 16-bit, and every
// arithmetic step on them is checked, so a result outside -32768..32767 raises OverflowError
// instead of wrapping around in the middle of a night's sequence.

namespace kestrova {

using Int16 = std::int16_t;

class OverflowError : public std::runtime_error {
public:
    OverflowError();
};

// Checked 16-bit arithmetic; each throws OverflowError when the exact result does not fit.
Int16 add16(Int16 a, Int16 b);
Int16 sub16(Int16 a, Int16 b);
Int16 mul16(Int16 a, Int16 b);

} // namespace kestrova
