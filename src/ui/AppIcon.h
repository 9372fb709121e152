// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kestrova::ui {

// The sizes the icon is drawn at, for the windows and for the desktop's icon theme. The build
// (data/CMakeLists.txt) and scripts/check-package.sh read them from this line.
inline constexpr int AppIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The program's picture: a silver camera with a blue lens, drawn at any size.
QPixmap appPixmap(int size);
// The icon at each of AppIconSizes; 32 x 32 is the main picture.
QIcon appIcon();

} // namespace kestrova::ui
