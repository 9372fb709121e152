// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/OptionFields.h"
#include "config/SettingsStore.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace kestrova {

// frmOptions: edits the six port settings, the port, data bit and polarity of the parallel
// interface and the port, control line and polarity of the serial one. An enabled Apply button
// marks edits not yet saved; Apply and OK save all six as one change of the store, whose
// listeners take them into use. OK and Cancel hide the window; its close box destroys it.
class OptionsDialog : public QWidget {
    Q_OBJECT
public:
    // The store must outlive the dialog.
    explicit OptionsDialog(SettingsStore& store);

    // What each Com number is now, shown as the tooltips of lstSPort's items; the items keep
    // their captions and positions.
    void setComPortToolTips(const QStringList& toolTips);

    // The keys ("Section/Key") whose stored value the controls could not show as it is in force
    // when they were last loaded: unreadable, shown as the default the program uses, or beyond
    // what the control offers, shown as no selection and kept as it is by a save.
    QStringList keysNotShown() const;

private:
    // A setting control, a list or a check box, and the setting it stands for.
    struct Binding {
        OptionField field;
        QListWidget* list = nullptr;
        QCheckBox* check = nullptr;
        options::Shown loaded; // what LoadOptions found
        QString textToKeep;    // the stored text a save keeps while the control is untouched
    };

    void createControls();
    void LoadOptions();
    bool SaveOptions();
    Int16 value(const Binding& binding) const;
    void setValue(const Binding& binding, Int16 value);

    void settingClicked(Binding& binding);
    void applyClicked();
    void okClicked();
    void cancelClicked();

    SettingsStore& store_;

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
    bool loading_ = false;
};

} // namespace kestrova
