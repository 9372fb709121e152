// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/StoredValues.h"

#include "core/Conversions.h"

#include <limits>

namespace kestrova::stored {

std::optional<bool> flag(const std::optional<QString>& text)
{
    return text ? toBoolean(*text) : std::nullopt;
}

std::optional<Int16> portIndex(const std::optional<QString>& text)
{
    return text ? toInt16(*text) : std::nullopt;
}

std::optional<Int16> comPortNumber(const std::optional<QString>& text)
{
    const std::optional<Int16> index = portIndex(text);
    if (!index || *index == std::numeric_limits<Int16>::max())
        return std::nullopt;
    return Int16(*index + 1);
}

std::optional<std::uint8_t> dataBit(const std::optional<QString>& text)
{
    const std::optional<std::uint8_t> bit = text ? toByte(*text) : std::nullopt;
    if (!bit || *bit > HighestDataBit)
        return std::nullopt;
    return bit;
}

std::optional<ControlLine> controlLine(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    return *text == QLatin1String("0") ? ControlLine::Rts : ControlLine::Dtr;
}

} // namespace kestrova::stored
