// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsSchema.h"
#include "shutter/ShutterConfig.h"

#include <QString>
#include <iterator>
#include <optional>

namespace kestrova {

// One setting of the options dialog: its key, how the program reads it and the values its control
// can show. A list shows a position from -1 (no selection) to its last item; a check box shows 0
// unchecked, 1 checked or 2 greyed.
struct OptionField {
    enum class Reading { ParallelPort, DataBit, Polarity, ComPort, ControlLine };
    SettingKey setting;
    Reading reading;
    Int16 highest;
};

namespace options {
inline constexpr Int16 NoSelection = -1;
inline constexpr Int16 Unchecked = 0;
inline constexpr Int16 Checked = 1;
inline constexpr Int16 Greyed = 2;

using Reading = OptionField::Reading;
inline constexpr OptionField ParallelPort{settings::ParallelPortIndex, Reading::ParallelPort,
                                          Int16(std::size(LptPorts) - 1)};
inline constexpr OptionField ParallelBit{settings::ParallelPortBit, Reading::DataBit,
                                         HighestDataBit};
inline constexpr OptionField ParallelLogic{settings::ParallelActiveLogic, Reading::Polarity,
                                           Greyed};
inline constexpr OptionField SerialPort{settings::SerialPortIndex, Reading::ComPort,
                                        Int16(settings::ComPortCount - 1)};
inline constexpr OptionField SerialLine{settings::SerialControlLine, Reading::ControlLine, 1};
inline constexpr OptionField SerialLogic{settings::SerialActiveLogic, Reading::Polarity, Greyed};

// The order in which the dialog loads and saves them.
inline constexpr OptionField All[] = {ParallelPort, ParallelBit, ParallelLogic,
                                      SerialPort,   SerialLine,  SerialLogic};

// What a control shows for a stored text: the value in force as the program reads it to drive
// the line (the key's default when the text cannot be read, as the program takes it).
struct Shown {
    Int16 value = 0;
    // The control cannot show the value in force (a Com number beyond the list): it shows no
    // selection, and a save that leaves it untouched must keep the stored text.
    bool notShowable = false;
    // The text could not be read and the default is shown, as the program uses it.
    bool fellBack = false;
};
Shown shownValue(const OptionField& field, const std::optional<QString>& storedText);

// The text a control's value is stored as: plain decimal, a minus sign for -1.
QString storedText(Int16 value);
} // namespace options

} // namespace kestrova
