// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/OptionsDialog.h"

#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <utility>
#include <vector>

namespace kestrova {

namespace {

// A tab page whose controls are placed relative to the tab control's top-left corner, as the
// layout is drawn. The page itself starts below the tab strip, whose height depends on the
// style and font, so the controls are moved again whenever the page is laid out anew.
class TabPage : public QWidget {
public:
    explicit TabPage(QTabWidget* tabs) : tabs_(tabs) {}

    template <typename Control>
    Control* place(Control* control, const char* name, const QRect& onTabControl)
    {
        control->setParent(this);
        control->setObjectName(QLatin1String(name));
        controls_.emplace_back(control, onTabControl);
        moveControl(control, onTabControl);
        return control;
    }

protected:
    void moveEvent(QMoveEvent* event) override
    {
        QWidget::moveEvent(event);
        moveControls();
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        moveControls();
    }

private:
    void moveControls()
    {
        for (const auto& [control, rect] : controls_)
            moveControl(control, rect);
    }
    void moveControl(QWidget* control, const QRect& onTabControl)
    {
        const QPoint origin = tabs_->isAncestorOf(this) ? mapTo(tabs_, QPoint(0, 0)) : QPoint();
        control->setGeometry(onTabControl.translated(-origin));
    }

    QTabWidget* tabs_;
    std::vector<std::pair<QWidget*, QRect>> controls_;
};

// A user's click toggles between unchecked and checked, a greyed box becoming checked; only
// the program shows the greyed state.
class ActiveLogicBox : public QCheckBox {
public:
    explicit ActiveLogicBox(const QString& text) : QCheckBox(text) { setTristate(true); }

protected:
    void nextCheckState() override
    {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
};

// A single-selection list that the user cannot empty: Qt lets Ctrl+click and Ctrl+Space
// deselect the selected item, and an empty list would be saved as no selection, which the
// settings do not mean. Only the program clears it, to show a stored "-1".
class OptionList : public QListWidget {
protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override
    {
        const QItemSelectionModel::SelectionFlags command =
            QListWidget::selectionCommand(index, event);
        return command.testFlag(QItemSelectionModel::Deselect) ? QItemSelectionModel::NoUpdate
                                                               : command;
    }
};

QListWidget* list(const QStringList& items)
{
    auto* lst = new OptionList;
    lst->setSelectionMode(QAbstractItemView::SingleSelection);
    lst->setSortingEnabled(false);
    lst->addItems(items);
    return lst;
}

QStringList numbered(const char* prefix, int first, int last)
{
    QStringList items;
    for (int i = first; i <= last; ++i)
        items << QLatin1String(prefix) + QString::number(i);
    return items;
}

QStringList lptPortNames()
{
    QStringList names;
    for (const LptPort& port : LptPorts)
        names << QLatin1String(port.name);
    return names;
}

} // namespace

OptionsDialog::OptionsDialog(SettingsStore& store) : QWidget(nullptr), store_(store)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setFont(ui::dialogFont());
    // The close box unloads the dialog; OK and Cancel only hide it.
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(ui::twipsToPixels(4380), ui::twipsToPixels(4455));
    createControls();

    LoadOptions();
    cmdOptionsApply_->setEnabled(false);
}

void OptionsDialog::createControls()
{
    using ui::twipsRect;
    // The controls are created in the focus order; an explicit setTabOrder would have to fight
    // the tab control's focus proxy and the lists' scroll bars for the same result.
    tabOptions_ = new QTabWidget(this);
    tabOptions_->setObjectName(QStringLiteral("tabOptions"));
    tabOptions_->setGeometry(twipsRect(0, 0, 4365, 4455));

    auto* parallel = new TabPage(tabOptions_);
    auto* serial = new TabPage(tabOptions_);
    tabOptions_->addTab(parallel, QStringLiteral("Parallel"));
    tabOptions_->addTab(serial, QStringLiteral("Serial"));
    tabOptions_->setCurrentIndex(0);

    lstPPort_ = parallel->place(list(lptPortNames()), "lstPPort", twipsRect(2760, 960, 975, 450));
    lstPBit_ = parallel->place(list(numbered("D", 0, HighestDataBit)), "lstPBit",
                               twipsRect(2760, 1680, 975, 450));
    lstSPort_ = serial->place(list(numbered("Com", 1, settings::ComPortCount)), "lstSPort",
                              twipsRect(2760, 960, 975, 450));
    lstControlLine_ = serial->place(list({QStringLiteral("RTS"), QStringLiteral("DTR")}),
                                    "lstControlLine", twipsRect(2760, 1680, 975, 450));

    // The buttons belong to the window and lie in front of the tab control.
    cmdOptionsOK_ = ui::place<QPushButton>(this, "cmdOptionsOK", QStringLiteral("OK"),
                                           twipsRect(120, 3360, 1215, 495));
    cmdOptionsApply_ = ui::place<QPushButton>(this, "cmdOptionsApply", QStringLiteral("Apply"),
                                              twipsRect(1560, 3360, 1215, 495));
    cmdOptionsCancel_ = ui::place<QPushButton>(this, "cmdOptionsCancel", QStringLiteral("Cancel"),
                                               twipsRect(3000, 3360, 1215, 495));

    const QString activeLogic = QStringLiteral("Active Logic");
    chkPActiveLogic_ = parallel->place(new ActiveLogicBox(activeLogic), "chkPActiveLogic",
                                       twipsRect(480, 960, 1215, 375));
    chkSActiveLogic_ = serial->place(new ActiveLogicBox(activeLogic), "chkSActiveLogic",
                                     twipsRect(480, 960, 1215, 375));

    bindings_ = {Binding{options::ParallelPort, lstPPort_, nullptr, {}, {}},
                 Binding{options::ParallelBit, lstPBit_, nullptr, {}, {}},
                 Binding{options::ParallelLogic, nullptr, chkPActiveLogic_, {}, {}},
                 Binding{options::SerialPort, lstSPort_, nullptr, {}, {}},
                 Binding{options::SerialLine, lstControlLine_, nullptr, {}, {}},
                 Binding{options::SerialLogic, nullptr, chkSActiveLogic_, {}, {}}};
    for (Binding& binding : bindings_) {
        // A change made by LoadOptions counts as a click too, like one made by the user.
        const auto clicked = [this, &binding] { settingClicked(binding); };
        if (binding.list)
            connect(binding.list, &QListWidget::itemSelectionChanged, this, clicked);
        else
            connect(binding.check, &QCheckBox::stateChanged, this, clicked);
    }

    connect(cmdOptionsApply_, &QPushButton::clicked, this, &OptionsDialog::applyClicked);
    connect(cmdOptionsOK_, &QPushButton::clicked, this, &OptionsDialog::okClicked);
    connect(cmdOptionsCancel_, &QPushButton::clicked, this, &OptionsDialog::cancelClicked);
}

Int16 OptionsDialog::value(const Binding& binding) const
{
    if (binding.check) {
        const Qt::CheckState state = binding.check->checkState();
        return state == Qt::Checked            ? options::Checked
               : state == Qt::PartiallyChecked ? options::Greyed
                                               : options::Unchecked;
    }
    const QList<QListWidgetItem*> selected = binding.list->selectedItems();
    return selected.isEmpty() ? options::NoSelection
                              : static_cast<Int16>(binding.list->row(selected.first()));
}

void OptionsDialog::setValue(const Binding& binding, Int16 value)
{
    if (binding.check) {
        binding.check->setCheckState(value == options::Checked  ? Qt::Checked
                                     : value == options::Greyed ? Qt::PartiallyChecked
                                                                : Qt::Unchecked);
        return;
    }
    if (value == options::NoSelection) {
        binding.list->clearSelection();
        binding.list->setCurrentRow(-1);
    } else {
        binding.list->setCurrentRow(value);
    }
}

void OptionsDialog::setComPortToolTips(const QStringList& toolTips)
{
    for (int row = 0; row < lstSPort_->count(); ++row)
        lstSPort_->item(row)->setToolTip(toolTips.value(row));
}

QStringList OptionsDialog::keysNotShown() const
{
    QStringList keys;
    for (const Binding& binding : bindings_)
        if (binding.loaded.notShowable || binding.loaded.fellBack)
            keys << QStringLiteral("%1/%2").arg(QLatin1String(binding.field.setting.section),
                                                QLatin1String(binding.field.setting.key));
    return keys;
}

// Each control shows the value in force, as the program reads the stored text to drive the line.
void OptionsDialog::LoadOptions()
{
    const QScopedValueRollback<bool> loading(loading_, true);
    for (Binding& binding : bindings_) {
        const std::optional<QString> text = store_.read(binding.field.setting);
        binding.loaded = options::shownValue(binding.field, text);
        binding.textToKeep = binding.loaded.notShowable ? text.value_or(QString()) : QString();
        setValue(binding, binding.loaded.value);
    }
}

bool OptionsDialog::SaveOptions()
{
    QList<StoredSetting> settings;
    for (const Binding& binding : bindings_) {
        // A value the control could not show stays as stored until the user chooses another.
        const QString text =
            binding.textToKeep.isEmpty() ? options::storedText(value(binding)) : binding.textToKeep;
        settings.append({QLatin1String(binding.field.setting.section),
                         QLatin1String(binding.field.setting.key), text});
    }
    // The store's listeners take the values into use and tell what failed, which may wait in a
    // message box while the program is told to close, unloading this dialog: then nothing more
    // is done here.
    cmdOptionsApply_->setEnabled(false);
    const QPointer<OptionsDialog> alive(this);
    const bool saved = !store_.save(settings);
    if (!alive)
        return false;
    // A refused write enables Apply again, so that the edit can be saved once the store is
    // writable.
    cmdOptionsApply_->setEnabled(!saved);
    return saved;
}

void OptionsDialog::settingClicked(Binding& binding)
{
    if (!loading_)
        binding.textToKeep.clear();
    cmdOptionsApply_->setEnabled(true);
}

void OptionsDialog::applyClicked()
{
    SaveOptions();
}

void OptionsDialog::okClicked()
{
    if (cmdOptionsApply_->isEnabled() && !SaveOptions())
        return; // stays open with the edit, which was not saved
    cmdOptionsApply_->setEnabled(false);
    hide();
}

void OptionsDialog::cancelClicked()
{
    // The revert is not an edit: Apply is disabled after the controls have been set back.
    LoadOptions();
    cmdOptionsApply_->setEnabled(false);
    hide();
}

} // namespace kestrova
