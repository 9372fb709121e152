// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

namespace kestrova::ui {

// The windows' default font and the main window's large read-out font. Liberation Sans keeps
// the widths the layouts were drawn for, so every caption fits its fixed box.
QFont dialogFont();
QFont largeFont();

} // namespace kestrova::ui
