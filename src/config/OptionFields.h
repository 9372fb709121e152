// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/Conversions.h"
#include "config/SettingsSchema.h"
#include "shutter/ShutterConfig.h"

#include <QString>
#include <iterator>

namespace kestrova {

// One setting of the options dialog: its key and the values its control can show. A list shows
// a position from -1 (no selection) to its last item; a check box shows 0 unchecked, 1 checked
// or 2 greyed.
struct OptionField {
    SettingKey setting;
    Int16 lowest;
    Int16 highest;
};

namespace options {
inline constexpr Int16 NoSelection = -1;
inline constexpr Int16 Unchecked = 0;
inline constexpr Int16 Checked = 1;
inline constexpr Int16 Greyed = 2;

inline constexpr OptionField ParallelPort{settings::ParallelPortIndex, NoSelection,
                                          Int16(std::size(LptPorts) - 1)};
inline constexpr OptionField ParallelBit{settings::ParallelPortBit, NoSelection, HighestDataBit};
inline constexpr OptionField ParallelLogic{settings::ParallelActiveLogic, Unchecked, Greyed};
inline constexpr OptionField SerialPort{settings::SerialPortIndex, NoSelection,
                                        Int16(settings::ComPortCount - 1)};
inline constexpr OptionField SerialLine{settings::SerialControlLine, NoSelection, 1};
inline constexpr OptionField SerialLogic{settings::SerialActiveLogic, Unchecked, Greyed};

// The order in which the dialog loads and saves them.
inline constexpr OptionField All[] = {ParallelPort, ParallelBit, ParallelLogic,
                                      SerialPort,   SerialLine,  SerialLogic};

// The value a control shows for the stored text: the text as a 16-bit integer, or the key's
// default when the text does not convert or the control cannot show it.
Int16 shownValue(const OptionField& field, const QString& storedText);

// The text a control's value is stored as: plain decimal, a minus sign for -1.
QString storedText(Int16 value);
} // namespace options

} // namespace kestrova
