// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

namespace kestrova::ui {

// Layouts are given in twips: 1440 to the inch, 15 to a logical pixel at 96 dots per inch.
// Logical pixels scale with the screen, so a high-DPI display shows the same layout larger.
constexpr int twipsToPixels(int twips)
{
    return (twips + 7) / 15;
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

} // namespace kestrova::ui
