// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Int16.h"

#include <QString>
#include <cstdint>
#include <optional>

// Settings and typed fields as text to the program's numbers (core/Int16.h).

namespace kestrova {

// Text to a signed 16-bit integer: blanks around the number are allowed, a fraction is rounded
// to the nearest integer with ties to the even one, and text that is empty, not a decimal number
// or outside -32768..32767 after rounding gives nothing. Plain and exponent notation ("12", "+5",
// "2.5", "1e3") are numbers; hexadecimal ("&H10"), "inf" and "nan" are not.
std::optional<Int16> toInt16(const QString& text);

// Text to a boolean: a number is false when zero and true otherwise; the words True and False
// (in any letter case) are accepted too. Anything else gives nothing.
std::optional<bool> toBoolean(const QString& text);

// Text to an unsigned 8-bit integer (0..255), with the rounding rules of toInt16.
std::optional<std::uint8_t> toByte(const QString& text);

} // namespace kestrova
