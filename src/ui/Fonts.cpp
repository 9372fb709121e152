// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Fonts.h"

namespace kestrova::ui {

namespace {
QFont sansFont(qreal points)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}
} // namespace

QFont dialogFont()
{
    return sansFont(8.25);
}
QFont largeFont()
{
    return sansFont(13.5);
}

} // namespace kestrova::ui
