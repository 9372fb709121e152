// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kestrova {

// The settings the program keeps, one row per key: where it lives and its text when absent.
struct SettingKey {
    const char* section;
    const char* key;
    const char* defaultText;
};

namespace settings {
inline constexpr char ParallelSection[] = "Parallel Options";
inline constexpr char SerialSection[] = "Serial Options";

// Com1..Com16, stored as the serial PortIndex 0..15.
inline constexpr int ComPortCount = 16;

inline constexpr SettingKey ParallelControl{ParallelSection, "Parallel Control", "1"};
inline constexpr SettingKey ParallelPortIndex{ParallelSection, "PortIndex", "0"};
inline constexpr SettingKey ParallelPortBit{ParallelSection, "PortBit", "1"};
inline constexpr SettingKey ParallelActiveLogic{ParallelSection, "ActiveLogic", "0"};
inline constexpr SettingKey SerialControl{SerialSection, "Serial Control", "0"};
inline constexpr SettingKey SerialPortIndex{SerialSection, "PortIndex", "0"};
inline constexpr SettingKey SerialControlLine{SerialSection, "Control Line", "0"};
inline constexpr SettingKey SerialActiveLogic{SerialSection, "ActiveLogic", "1"};

inline constexpr SettingKey All[] = {ParallelControl,     ParallelPortIndex, ParallelPortBit,
                                     ParallelActiveLogic, SerialControl,     SerialPortIndex,
                                     SerialControlLine,   SerialActiveLogic};

// Optional: "Com<N> Device" in the serial section points Com number N at any device file.
// The program writes it for a serial adapter seen for the first time; the user may write it
// too. Without it Com<N> is /dev/ttyS<N-1>.
QString comDeviceKey(int commPortNumber);
QString defaultComDevice(int commPortNumber);
} // namespace settings

} // namespace kestrova
