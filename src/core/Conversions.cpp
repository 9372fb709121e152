// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Conversions.h"

#include <QRegularExpression>
#include <cmath>

namespace kestrova {

namespace {

// Decimal numbers only: an optional sign, digits with an optional fraction, an optional exponent.
bool parseDecimal(const QString& text, double& value)
{
    static const QRegularExpression number(
        QStringLiteral(R"(\A[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\z)"));
    const QString trimmed = text.trimmed();
    if (!number.match(trimmed).hasMatch())
        return false;
    // QString::toDouble always uses the C locale. Text that overflows a double comes back as
    // an infinity and text that underflows as zero, both flagged as failures; those values are
    // the right ones here: far out of range, or as good as zero.
    value = trimmed.toDouble();
    return true;
}

std::optional<double> roundedNumber(const QString& text)
{
    double value = 0;
    if (!parseDecimal(text, value))
        return std::nullopt;
    return std::nearbyint(value); // the default rounding mode: to nearest, ties to even
}

} // namespace

std::optional<Int16> toInt16(const QString& text)
{
    const std::optional<double> value = roundedNumber(text);
    if (!value || !(*value >= -32768.0 && *value <= 32767.0))
        return std::nullopt;
    return static_cast<Int16>(*value);
}

std::optional<bool> toBoolean(const QString& text)
{
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    double value = 0;
    if (!parseDecimal(text, value))
        return std::nullopt;
    return value != 0.0;
}

std::optional<std::uint8_t> toByte(const QString& text)
{
    const std::optional<double> value = roundedNumber(text);
    if (!value || !(*value >= 0.0 && *value <= 255.0))
        return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

} // namespace kestrova
