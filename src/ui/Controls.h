// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QRect>
#include <QString>

namespace kestrova::ui {

// A control at a fixed place, named so that tests and the other windows can find it.
template <typename Widget>
Widget* place(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* widget = new Widget(text, parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

// A label whose caption starts at its top-left corner and wraps at word boundaries.
inline QLabel* wrappedLabel(QWidget* parent, const char* name, const QString& text,
                            const QRect& geometry)
{
    auto* label = place<QLabel>(parent, name, text, geometry);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace kestrova::ui
