#pragma once

#include "config/OptionFields.h"
#include "config/SettingsStore.h"

#include <QWidget>
#include <array>
#include <functional>

class QCheckBox;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace kestrova {

// frmOptions: edits the six port settings, the port, data bit and polarity of the parallel
// interface and the port, control line and polarity of the serial one. An enabled Apply button
// marks edits not yet saved; Apply and OK save all six and call setDefaults, the main window's
// SetDefaults. OK and Cancel hide the window; its close box destroys it.
class OptionsDialog : public QWidget {
    Q_OBJECT
public:
    OptionsDialog(SettingsStore& store, std::function<void()> setDefaults);

private:
    // A setting control, a list or a check box, and the setting it stands for.
    struct Binding {
        OptionField field;
        QListWidget* list = nullptr;
        QCheckBox* check = nullptr;
    };

    void createControls();
    void LoadOptions();
    bool SaveOptions();
    Int16 value(const Binding& binding) const;
    void setValue(const Binding& binding, Int16 value);

    void settingClicked();
    void applyClicked();
    void okClicked();
    void cancelClicked();

    SettingsStore& store_;
    std::function<void()> setDefaults_;

    QTabWidget* tabOptions_ = nullptr;
    QListWidget* lstPPort_ = nullptr;
    QListWidget* lstPBit_ = nullptr;
    QListWidget* lstSPort_ = nullptr;
    QListWidget* lstControlLine_ = nullptr;
    QCheckBox* chkPActiveLogic_ = nullptr;
    QCheckBox* chkSActiveLogic_ = nullptr;
    QPushButton* cmdOptionsOK_ = nullptr;
    QPushButton* cmdOptionsApply_ = nullptr;
    QPushButton* cmdOptionsCancel_ = nullptr;
    std::array<Binding, 6> bindings_;
};

} // namespace kestrova
