// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/OptionFields.h"

namespace kestrova::options {

namespace {
bool fits(const OptionField& field, const QString& text, Int16& value)
{
    try {
        value = toInt16(text);
    } catch (const ConversionError&) {
        return false;
    }
    return value >= field.lowest && value <= field.highest;
}
} // namespace

Int16 shownValue(const OptionField& field, const QString& storedText)
{
    Int16 value = 0;
    if (fits(field, storedText, value))
        return value;
    // Every default fits its control; a test holds it to that.
    return toInt16(QLatin1String(field.setting.defaultText));
}

QString storedText(Int16 value)
{
    return QString::number(value);
}

} // namespace kestrova::options
