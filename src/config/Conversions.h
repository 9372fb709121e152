// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>

// Whole numbers as the program keeps them: counters and indices are signed 16-bit, and every
// arithmetic step on them is checked, so a result outside -32768..32767 raises OverflowError
// instead of wrapping around in the middle of a night's sequence.

namespace kestrova {

using Int16 = std::int16_t;

class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const QString& text);
};

class OverflowError : public std::runtime_error {
public:
    OverflowError();
};

// Text to a signed 16-bit integer: blanks around the number are allowed, a fraction is rounded
// to the nearest integer with ties to the even one, and text that is empty, not a decimal number
// or outside -32768..32767 after rounding throws ConversionError. Plain and exponent notation
// ("12", "+5", "2.5", "1e3") are numbers; hexadecimal ("&H10"), "inf" and "nan" are not.
Int16 toInt16(const QString& text);

// Text to a boolean: a number is false when zero and true otherwise; the words True and False
// (in any letter case) are accepted too. Anything else throws ConversionError.
bool toBoolean(const QString& text);

// Text to an unsigned 8-bit integer (0..255), with the rounding rules of toInt16.
std::uint8_t toByte(const QString& text);

// Checked 16-bit arithmetic; each throws OverflowError when the exact result does not fit.
Int16 add16(Int16 a, Int16 b);
Int16 sub16(Int16 a, Int16 b);
Int16 mul16(Int16 a, Int16 b);

} // namespace kestrova
