// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shutter/Messages.h"

#include <QString>
#include <stdexcept>

namespace kestrova {

// A port or line that could not be worked. text is what the user is told first; detail names
// the device and the system's reason, with what to do about it.
class LineFailure : public std::runtime_error {
public:
    LineFailure(QString text, QString detail)
        : std::runtime_error(text.toStdString()), text_(std::move(text)), detail_(std::move(detail))
    {
    }
    const QString& text() const { return text_; }
    const QString& detail() const { return detail_; }

private:
    QString text_;
    QString detail_;
};

} // namespace kestrova
