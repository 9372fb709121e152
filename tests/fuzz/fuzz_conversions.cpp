// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever text a setting holds, reading it never crashes, and the readings agree: a byte is the
// 16-bit reading when that fits a byte, blanks around a text change nothing, and a minus sign
// before an unsigned number negates the rounded value (ties go to even both ways).
#include "core/Conversions.h"

#include <cstdlib>
#include <optional>

using namespace kestrova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto read = [](auto convert, const QString& input) -> std::optional<int> {
        if (const auto value = convert(input))
            return int(*value);
        return std::nullopt; // refused
    };
    read(toBoolean, text);
    const std::optional<int> int16 = read(toInt16, text);
    const QString trimmed = text.trimmed();
    const bool isSigned = trimmed.startsWith('-') || trimmed.startsWith('+');
    if (read(toByte, text) != (int16 && *int16 >= 0 && *int16 <= 255 ? int16 : std::nullopt) ||
        read(toInt16, " \t" + text + "\u00a0") != int16 ||
        (int16 && !isSigned && read(toInt16, '-' + trimmed) != -*int16))
        std::abort();
    return 0;
}
