// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsStore.h"
#include "shutter/ShutterConfig.h"

#include <QStringList>

namespace kestrova {

// What loadActiveConfiguration read from the store.
struct LoadedConfiguration {
    ShutterConfig config;
    // The check marks of the Interface menu, as the stored interface choice sets them.
    bool parallelChecked = false;
    bool serialChecked = false;
    // The keys ("Section/Key") whose stored value did not convert and was taken as the default.
    QStringList fallbacks;
};

// Rebuilds the active configuration from the store. The interface follows the check marks:
// serial when it is checked, else parallel when that is, each with its own polarity; with
// neither checked, the interface and polarity of previous stay in force. The serial port is
// opened when serialChecked by whoever applies the result. Drives no line.
LoadedConfiguration loadActiveConfiguration(const SettingsStore& store,
                                            const ShutterConfig& previous);

// The Interface menu commands: store the choice in both keys, leaving the check marks to the
// next loadActiveConfiguration. Returns why the choice could not be saved.
std::optional<Failure> saveInterfaceChoice(SettingsStore& store, Interface chosen);

} // namespace kestrova
