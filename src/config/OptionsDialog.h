#pragma once

#include "config/SettingsStore.h"

#include <QWidget>
#include <functional>

namespace kestrova {

// frmOptions: edits the six port settings. setDefaults is the main window's SetDefaults.
class OptionsDialog : public QWidget {
    Q_OBJECT
public:
    OptionsDialog(SettingsStore& store, std::function<void()> setDefaults);
};

} // namespace kestrova
