// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Failure.h"
#include "shutter/Messages.h"

#include <optional>

namespace kestrova {

// A port or line that could not be worked.
using LineFailure = Failure;
// What every operation on a port or line returns: nothing when it did what was asked.
using LineResult = std::optional<LineFailure>;

} // namespace kestrova
