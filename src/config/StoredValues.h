// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Int16.h"
#include "shutter/ShutterConfig.h"

#include <QString>
#include <cstdint>
#include <optional>

// How each stored text is read: the one reading that drives the line, which the options dialog
// shows too. A text that cannot be read gives nothing; the caller takes the key's default then
// and tells the user. An absent text is nothing too (a key that holds a list, written by hand).

namespace kestrova::stored {

// "Parallel Control", "Serial Control", "ActiveLogic": a number is false when zero and true
// otherwise; the words True and False are read too.
std::optional<bool> flag(const std::optional<QString>& text);
// The parallel "PortIndex": any 16-bit number; only 0 to 2 name a port.
std::optional<Int16> portIndex(const std::optional<QString>& text);
// The serial "PortIndex" as the Com number it stands for: the index plus one.
std::optional<Int16> comPortNumber(const std::optional<QString>& text);
// "PortBit": D0 to D7 only; a larger bit number could never reach the cable.
std::optional<std::uint8_t> dataBit(const std::optional<QString>& text);
// "Control Line": only the exact text "0" is RTS, as the options list stores it; any other
// text is DTR.
std::optional<ControlLine> controlLine(const std::optional<QString>& text);

} // namespace kestrova::stored
