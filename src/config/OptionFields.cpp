// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/OptionFields.h"

#include "config/StoredValues.h"
#include "core/Conversions.h"

namespace kestrova::options {

namespace {

template <typename Reading>
auto inForce(Reading reading, const std::optional<QString>& text, const SettingKey& setting,
             Shown& shown)
{
    if (const auto value = reading(text))
        return *value;
    shown.fellBack = true;
    return *reading(QString::fromLatin1(setting.defaultText));
}

} // namespace

Shown shownValue(const OptionField& field, const std::optional<QString>& storedText)
{
    Shown shown;
    switch (field.reading) {
    case Reading::ParallelPort: {
        // An index without a port is shown as no selection: a save keeps it without one.
        const Int16 index = inForce(stored::portIndex, storedText, field.setting, shown);
        shown.value = index >= 0 && index <= field.highest ? index : NoSelection;
        break;
    }
    case Reading::DataBit:
        shown.value = inForce(stored::dataBit, storedText, field.setting, shown);
        break;
    case Reading::Polarity: {
        const bool activeHigh = inForce(stored::flag, storedText, field.setting, shown);
        // A stored greyed state is kept as it is; it is in force as checked.
        const std::optional<Int16> state =
            shown.fellBack ? std::nullopt : toInt16(storedText.value_or(QString()));
        shown.value = activeHigh ? (state == Greyed ? Greyed : Checked) : Unchecked;
        break;
    }
    case Reading::ComPort: {
        const Int16 number = inForce(stored::comPortNumber, storedText, field.setting, shown);
        const int index = number - 1;
        shown.notShowable = index < NoSelection || index > field.highest;
        shown.value = shown.notShowable ? NoSelection : Int16(index);
        break;
    }
    case Reading::ControlLine:
        shown.value =
            inForce(stored::controlLine, storedText, field.setting, shown) == ControlLine::Rts ? 0
                                                                                               : 1;
        break;
    }
    return shown;
}

QString storedText(Int16 value)
{
    return QString::number(value);
}

} // namespace kestrova::options
