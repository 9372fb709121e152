// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kestrova {

// Something that failed, as the user is told it: the text first, then a detail that names the
// device or file and the system's reason, with what to do about it. Whatever can fail returns
// std::optional<Failure>: nothing when it did what was asked.
struct Failure {
    QString text;
    QString detail;
};

} // namespace kestrova
