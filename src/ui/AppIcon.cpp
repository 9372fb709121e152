// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace kestrova::ui {

QPixmap appPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0); // drawn on a 32 x 32 grid

    const QColor outline(70, 74, 82);
    QLinearGradient silver(0, 8, 0, 28);
    silver.setColorAt(0.0, QColor(242, 244, 247));
    silver.setColorAt(0.45, QColor(196, 200, 207));
    silver.setColorAt(1.0, QColor(140, 145, 153));

    // Prism housing on top, then the shutter button, then the body.
    QPainterPath prism;
    prism.moveTo(11, 10);
    prism.lineTo(13, 5.5);
    prism.lineTo(21, 5.5);
    prism.lineTo(23, 10);
    prism.closeSubpath();
    p.setPen(QPen(outline, 1));
    p.setBrush(silver);
    p.drawPath(prism);
    p.drawRoundedRect(QRectF(4.5, 7.5, 5, 2.5), 1, 1);
    p.drawRoundedRect(QRectF(1.5, 9.5, 29, 18), 3, 3);

    // A dark grip band behind the lens.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(96, 100, 108));
    p.drawRect(QRectF(2, 15, 28, 5));

    // The lens: dark barrel, blue glass, a highlight.
    p.setPen(QPen(outline, 1));
    p.setBrush(QColor(54, 58, 66));
    p.drawEllipse(QPointF(16, 18.5), 8, 8);
    QRadialGradient glass(QPointF(14, 16.5), 7);
    glass.setColorAt(0.0, QColor(140, 200, 255));
    glass.setColorAt(0.5, QColor(30, 110, 220));
    glass.setColorAt(1.0, QColor(10, 40, 120));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(QPointF(16, 18.5), 5.5, 5.5);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QPointF(13.8, 16.2), 1.6, 1.2);

    // The flash window, top right.
    p.setPen(QPen(outline, 0.8));
    p.setBrush(QColor(250, 250, 235));
    p.drawRect(QRectF(24, 11.5, 4, 2.5));
    return pixmap;
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : AppIconSizes)
        icon.addPixmap(appPixmap(size));
    return icon;
}

} // namespace kestrova::ui
