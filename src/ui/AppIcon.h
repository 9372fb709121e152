// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kestrova::ui {

// The program's picture: a silver camera with a blue lens, drawn at any size.
QPixmap appPixmap(int size);
// The icon with the usual sizes from 16 to 256 pixels; 32 x 32 is the main picture.
QIcon appIcon();

} // namespace kestrova::ui
