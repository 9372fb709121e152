// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/SettingsStore.h"
#include "shutter/ShutterConfig.h"

#include <QStringList>
#include <functional>

namespace kestrova {

// The two check marks of the Interface menu, which hold the selected interface.
class InterfaceSelection {
public:
    virtual ~InterfaceSelection() = default;
    virtual void setParallelChecked(bool checked) = 0;
    virtual bool parallelChecked() const = 0;
    virtual void setSerialChecked(bool checked) = 0;
    virtual bool serialChecked() const = 0;
};

// Rebuilds the active configuration from the store: sets the check marks from the stored
// interface choice, reads them back to decide which interface to use, and calls openSerialPort
// when the serial interface is selected. A stored value that does not convert is taken as its
// key's default; the keys concerned are returned ("Section/Key"). Drives no line.
QStringList loadActiveConfiguration(const SettingsStore& store, InterfaceSelection& menu,
                                    ShutterConfig& config,
                                    const std::function<void()>& openSerialPort);

// The Interface menu commands: store the choice in both keys, leaving the check marks to the
// next loadActiveConfiguration. False when the store could not write either key.
bool saveInterfaceChoice(SettingsStore& store, bool serial);

} // namespace kestrova
