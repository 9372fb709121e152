// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace kestrova::about {

// The system information programs looked for, in order of preference.
QStringList systemInformationTools();

// Starts the first of systemInformationTools() found in the folders of PATH, detached and with
// no arguments; false when none is there or it could not be started. PATH is read afresh on
// every call, so a tool installed meanwhile is found, and a test points the search at folders
// of its own by setting PATH.
bool startSystemInformationTool();

} // namespace kestrova::about
