#include "app/MainWindow.h"
#include "config/OptionsDialog.h"
#include "fakes/FakePorts.h"
#include "fakes/MemoryStore.h"
#include "ui/Fonts.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using namespace kestrova;
using test::MemoryStore;

namespace {

const QString P = QStringLiteral("Parallel Options/");
const QString S = QStringLiteral("Serial Options/");

// The six keys as a save of the unchanged defaults writes them, in order.
QStringList defaultSaves()
{
    return {P + "PortIndex=0", P + "PortBit=1",      P + "ActiveLogic=0",
            S + "PortIndex=0", S + "Control Line=0", S + "ActiveLogic=1"};
}

template <typename T> T* child(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

int position(QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void clickItem(QListWidget* list, int row, Qt::KeyboardModifiers modifiers = {})
{
    QListWidgetItem* item = list->item(row);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualItemRect(item).center());
}

void clickTab(QWidget* window, int index)
{
    auto* bar = child<QTabWidget>(window, "tabOptions")->findChild<QTabBar*>();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

void click(QWidget* window, const char* name)
{
    QAbstractButton* button = child<QAbstractButton>(window, name);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// A rectangle of a control as seen from the given ancestor.
QRect rectIn(QWidget* control, QWidget* ancestor)
{
    return QRect(control->mapTo(ancestor, QPoint(0, 0)), control->size());
}

QList<QWidget*> topLevelOptions()
{
    QList<QWidget*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String("frmOptions"))
            found << window;
    return found;
}

} // namespace

class TestOptionsDialog : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void emptyStoreShowsTheDefaults();
    void windowIsAnOrdinaryFixedTopLevelWindow();
    void layoutFollowsTheTwipsTable_data();
    void layoutFollowsTheTwipsTable();
    void eachTabShowsItsControlsAndTheButtons();
    void focusMovesInTheTableOrder_data();
    void focusMovesInTheTableOrder();
    void noButtonAnswersEnterOrEscape();

    void everySettingControlEnablesApply_data();
    void everySettingControlEnablesApply();
    void keyboardSelectionIsAnEditToo();
    void userClicksNeverGreyTheCheckBox();
    void okWithoutChangeWritesNothing();
    void bitFiveThenApply();
    void com16AndDtrThenOk();
    void cancelPutsTheStoredValuesBack();
    void closeBoxUnloadsWithoutSaving();
    void hiddenDialogKeepsItsTab_data();
    void hiddenDialogKeepsItsTab();
    void storedNoSelectionIsWrittenBack();
    void deselectedListIsStoredAsNoSelection();
    void storedValuesThatDoNotFitShowTheDefault_data();
    void storedValuesThatDoNotFitShowTheDefault();
    void greyedStoredStateIsShownAndKept();
    void refusedWriteIsReportedAndKeepsTheEdit();
    void refusedWriteOnOkKeepsTheDialogOpen();

    void optionsTwiceShowsTheSameInstance();
    void closeBoxThenOptionsRebuildsFromTheStore();
    void closingTheMainWindowUnloadsTheDialog();
    void applyTakesEffectInTheMainWindowAtOnce();
    void unavailableComPortIsReportedOnceAndValuesStaySaved_data();
    void unavailableComPortIsReportedOnceAndValuesStaySaved();

private:
    OptionsDialog* open();
    QPushButton* apply() { return child<QPushButton>(dialog_, "cmdOptionsApply"); }

    MemoryStore store_;
    int setDefaultsCalls_ = 0;
    QList<int> savesSeenBySetDefaults_;
    QList<ui::Message> messages_;
    QPointer<OptionsDialog> dialog_;
};

void TestOptionsDialog::init()
{
    store_ = MemoryStore();
    setDefaultsCalls_ = 0;
    savesSeenBySetDefaults_.clear();
    messages_.clear();
    ui::setMessageHandler([this](const ui::Message& message) { messages_ << message; });
}

void TestOptionsDialog::cleanup()
{
    delete dialog_;
    ui::setMessageHandler(nullptr);
    QCOMPARE(topLevelOptions().size(), 0);
}

OptionsDialog* TestOptionsDialog::open()
{
    dialog_ = new OptionsDialog(store_, [this] {
        ++setDefaultsCalls_;
        savesSeenBySetDefaults_ << int(store_.saves.size());
    });
    dialog_->show();
    if (!QTest::qWaitForWindowExposed(dialog_))
        qFatal("the options dialog was not shown");
    return dialog_;
}

void TestOptionsDialog::emptyStoreShowsTheDefaults()
{
    OptionsDialog* dlg = open();
    auto* tabs = child<QTabWidget>(dlg, "tabOptions");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Parallel"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Serial"));
    QCOMPARE(tabs->currentIndex(), 0);

    QCOMPARE(position(child<QListWidget>(dlg, "lstPPort")), 0);
    QCOMPARE(position(child<QListWidget>(dlg, "lstPBit")), 1);
    QCOMPARE(child<QCheckBox>(dlg, "chkPActiveLogic")->checkState(), Qt::Unchecked);
    QCOMPARE(position(child<QListWidget>(dlg, "lstSPort")), 0);
    QCOMPARE(position(child<QListWidget>(dlg, "lstControlLine")), 0);
    QCOMPARE(child<QCheckBox>(dlg, "chkSActiveLogic")->checkState(), Qt::Checked);
    QVERIFY(!apply()->isEnabled());

    // Opening reads the store and writes nothing.
    QVERIFY(store_.saves.isEmpty());
    QCOMPARE(setDefaultsCalls_, 0);

    const auto items = [dlg](const char* name) {
        QStringList texts;
        auto* list = child<QListWidget>(dlg, name);
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    };
    QCOMPARE(items("lstPPort"), QStringList({"LPT1", "LPT2", "LPT3"}));
    QCOMPARE(items("lstPBit"), QStringList({"D0", "D1", "D2", "D3", "D4", "D5", "D6", "D7"}));
    QCOMPARE(items("lstSPort"),
             QStringList({"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7", "Com8", "Com9",
                          "Com10", "Com11", "Com12", "Com13", "Com14", "Com15", "Com16"}));
    QCOMPARE(items("lstControlLine"), QStringList({"RTS", "DTR"}));
    QCOMPARE(child<QCheckBox>(dlg, "chkPActiveLogic")->text(), QStringLiteral("Active Logic"));
    QCOMPARE(child<QCheckBox>(dlg, "chkSActiveLogic")->text(), QStringLiteral("Active Logic"));
    QCOMPARE(child<QPushButton>(dlg, "cmdOptionsOK")->text(), QStringLiteral("OK"));
    QCOMPARE(apply()->text(), QStringLiteral("Apply"));
    QCOMPARE(child<QPushButton>(dlg, "cmdOptionsCancel")->text(), QStringLiteral("Cancel"));
}

void TestOptionsDialog::windowIsAnOrdinaryFixedTopLevelWindow()
{
    OptionsDialog* dlg = open();
    QCOMPARE(dlg->objectName(), QStringLiteral("frmOptions"));
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Options"));
    QVERIFY(dlg->isWindow());
    QVERIFY(!dlg->parentWidget());
    QCOMPARE(dlg->windowFlags() & Qt::WindowType_Mask, Qt::Window);
    QCOMPARE(dlg->windowModality(), Qt::NonModal);
    QCOMPARE(dlg->size(), QSize(ui::twipsToPixels(4380), ui::twipsToPixels(4455)));
    QCOMPARE(dlg->minimumSize(), dlg->maximumSize());
    QCOMPARE(dlg->font(), ui::dialogFont());
    for (QWidget* control : dlg->findChildren<QWidget*>())
        QVERIFY2(!control->testAttribute(Qt::WA_SetFont), qPrintable(control->objectName()));
}

void TestOptionsDialog::layoutFollowsTheTwipsTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("onTab");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("tab control") << "tabOptions" << false << QRect(0, 0, 4365, 4455);
    QTest::newRow("LPT list") << "lstPPort" << true << QRect(2760, 960, 975, 450);
    QTest::newRow("bit list") << "lstPBit" << true << QRect(2760, 1680, 975, 450);
    QTest::newRow("Com list") << "lstSPort" << true << QRect(2760, 960, 975, 450);
    QTest::newRow("line list") << "lstControlLine" << true << QRect(2760, 1680, 975, 450);
    QTest::newRow("OK") << "cmdOptionsOK" << false << QRect(120, 3360, 1215, 495);
    QTest::newRow("Apply") << "cmdOptionsApply" << false << QRect(1560, 3360, 1215, 495);
    QTest::newRow("Cancel") << "cmdOptionsCancel" << false << QRect(3000, 3360, 1215, 495);
    QTest::newRow("parallel logic") << "chkPActiveLogic" << true << QRect(480, 960, 1215, 375);
    QTest::newRow("serial logic") << "chkSActiveLogic" << true << QRect(480, 960, 1215, 375);
}

void TestOptionsDialog::layoutFollowsTheTwipsTable()
{
    QFETCH(QString, name);
    QFETCH(bool, onTab);
    QFETCH(QRect, twips);
    OptionsDialog* dlg = open();
    auto* tabs = child<QTabWidget>(dlg, "tabOptions");
    // Both pages are laid out, whichever is current.
    for (int tab : {1, 0}) {
        clickTab(dlg, tab);
        auto* control = child<QWidget>(dlg, qPrintable(name));
        const QRect expected = ui::twipsRect(twips.x(), twips.y(), twips.width(), twips.height());
        QCOMPARE(rectIn(control, onTab ? static_cast<QWidget*>(tabs) : dlg), expected);
    }
}

void TestOptionsDialog::eachTabShowsItsControlsAndTheButtons()
{
    OptionsDialog* dlg = open();
    const QStringList parallel = {"lstPPort", "lstPBit", "chkPActiveLogic"};
    const QStringList serial = {"lstSPort", "lstControlLine", "chkSActiveLogic"};
    for (int tab : {1, 0}) {
        clickTab(dlg, tab);
        QCOMPARE(child<QTabWidget>(dlg, "tabOptions")->currentIndex(), tab);
        for (const QString& name : parallel)
            QCOMPARE(child<QWidget>(dlg, qPrintable(name))->isVisible(), tab == 0);
        for (const QString& name : serial)
            QCOMPARE(child<QWidget>(dlg, qPrintable(name))->isVisible(), tab == 1);
        // The buttons belong to the window and lie in front of the tab control.
        for (const char* name : {"cmdOptionsOK", "cmdOptionsApply", "cmdOptionsCancel"}) {
            auto* button = child<QPushButton>(dlg, name);
            QVERIFY(button->isVisible());
            QCOMPARE(dlg->childAt(button->geometry().center()), static_cast<QWidget*>(button));
        }
    }
}

void TestOptionsDialog::focusMovesInTheTableOrder_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<QStringList>("order");
    const QStringList parallel = {"lstPPort", "lstPBit"};
    const QStringList serial = {"lstSPort", "lstControlLine"};
    const QStringList withApply = {"cmdOptionsOK", "cmdOptionsApply", "cmdOptionsCancel"};
    // A disabled button takes no focus.
    const QStringList withoutApply = {"cmdOptionsOK", "cmdOptionsCancel"};
    const QStringList back = {"tabOptions"};
    QTest::newRow("Parallel, nothing edited")
        << 0 << false << parallel + withoutApply + QStringList{"chkPActiveLogic"} + back;
    QTest::newRow("Parallel, edited")
        << 0 << true << parallel + withApply + QStringList{"chkPActiveLogic"} + back;
    QTest::newRow("Serial, edited")
        << 1 << true << serial + withApply + QStringList{"chkSActiveLogic"} + back;
}

void TestOptionsDialog::focusMovesInTheTableOrder()
{
    QFETCH(int, tab);
    QFETCH(bool, edited);
    QFETCH(QStringList, order);
    OptionsDialog* dlg = open();
    QApplication::setActiveWindow(dlg);
    QVERIFY(QTest::qWaitForWindowActive(dlg));
    auto* tabs = child<QTabWidget>(dlg, "tabOptions");
    clickTab(dlg, tab);
    if (edited) {
        const char* box = tab == 0 ? "chkPActiveLogic" : "chkSActiveLogic";
        click(dlg, box);
        click(dlg, box);
        QVERIFY(apply()->isEnabled());
    }
    tabs->setFocus(Qt::TabFocusReason);

    QStringList visited;
    for (int i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        // The tab strip takes the focus for the tab control.
        while (focused && focused->objectName().isEmpty() && focused != dlg)
            focused = focused->parentWidget();
        visited << (focused && focused->objectName().startsWith("qt_tabwidget")
                        ? QStringLiteral("tabOptions")
                    : focused ? focused->objectName()
                              : QString());
    }
    QCOMPARE(visited, order);
}

void TestOptionsDialog::noButtonAnswersEnterOrEscape()
{
    OptionsDialog* dlg = open();
    for (QPushButton* button : dlg->findChildren<QPushButton*>()) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
    child<QWidget>(dlg, "lstPBit")->setFocus();
    QTest::keyClick(dlg, Qt::Key_Escape);
    QTest::keyClick(dlg, Qt::Key_Return);
    QVERIFY(dlg->isVisible());
    QVERIFY(store_.saves.isEmpty());
}

void TestOptionsDialog::everySettingControlEnablesApply_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row"); // -1 for a check box
    QTest::addColumn<QStringList>("saved");

    QStringList saves = defaultSaves();
    auto with = [](QStringList list, int index, const QString& entry) {
        list[index] = entry;
        return list;
    };
    QTest::newRow("LPT3") << 0 << "lstPPort" << 2 << with(saves, 0, P + "PortIndex=2");
    QTest::newRow("D0") << 0 << "lstPBit" << 0 << with(saves, 1, P + "PortBit=0");
    QTest::newRow("parallel Active Logic")
        << 0 << "chkPActiveLogic" << -1 << with(saves, 2, P + "ActiveLogic=1");
    QTest::newRow("Com2") << 1 << "lstSPort" << 1 << with(saves, 3, S + "PortIndex=1");
    QTest::newRow("DTR") << 1 << "lstControlLine" << 1 << with(saves, 4, S + "Control Line=1");
    QTest::newRow("serial Active Logic")
        << 1 << "chkSActiveLogic" << -1 << with(saves, 5, S + "ActiveLogic=0");
}

void TestOptionsDialog::everySettingControlEnablesApply()
{
    QFETCH(int, tab);
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(QStringList, saved);
    OptionsDialog* dlg = open();
    clickTab(dlg, tab);
    QVERIFY(!apply()->isEnabled());
    if (row >= 0)
        clickItem(child<QListWidget>(dlg, qPrintable(name)), row);
    else
        click(dlg, qPrintable(name));
    QVERIFY(apply()->isEnabled());
    QVERIFY2(store_.saves.isEmpty(), "a click must not write the store");
    QCOMPARE(setDefaultsCalls_, 0);

    click(dlg, "cmdOptionsApply");
    QCOMPARE(store_.saves, saved);
}

void TestOptionsDialog::keyboardSelectionIsAnEditToo()
{
    OptionsDialog* dlg = open();
    auto* bits = child<QListWidget>(dlg, "lstPBit");
    bits->setFocus();
    QTest::keyClick(bits, Qt::Key_Down);
    QCOMPARE(position(bits), 2);
    QVERIFY(apply()->isEnabled());
    click(dlg, "cmdOptionsOK");
    QCOMPARE(store_.get(settings::ParallelPortBit), QStringLiteral("2"));
}

void TestOptionsDialog::userClicksNeverGreyTheCheckBox()
{
    OptionsDialog* dlg = open();
    auto* box = child<QCheckBox>(dlg, "chkPActiveLogic");
    QList<Qt::CheckState> seen;
    for (int i = 0; i < 4; ++i) {
        click(dlg, "chkPActiveLogic");
        seen << box->checkState();
    }
    QCOMPARE(seen, QList<Qt::CheckState>({Qt::Checked, Qt::Unchecked, Qt::Checked, Qt::Unchecked}));
}

void TestOptionsDialog::okWithoutChangeWritesNothing()
{
    OptionsDialog* dlg = open();
    click(dlg, "cmdOptionsOK");
    QVERIFY(store_.saves.isEmpty());
    QCOMPARE(setDefaultsCalls_, 0);
    QVERIFY(dlg->isHidden());
    QVERIFY2(dialog_, "OK hides the dialog, it does not destroy it");
}

void TestOptionsDialog::bitFiveThenApply()
{
    OptionsDialog* dlg = open();
    clickItem(child<QListWidget>(dlg, "lstPBit"), 5);
    click(dlg, "cmdOptionsApply");

    QStringList expected = defaultSaves();
    expected[1] = P + "PortBit=5";
    QCOMPARE(store_.saves, expected);
    QCOMPARE(setDefaultsCalls_, 1);
    QCOMPARE(savesSeenBySetDefaults_, QList<int>({6}));
    QVERIFY(!apply()->isEnabled());
    QVERIFY(dlg->isVisible());
    QVERIFY(messages_.isEmpty());
    QVERIFY2(!store_.values.contains(P + "Parallel Control") &&
                 !store_.values.contains(S + "Serial Control"),
             "the interface choice is not the dialog's to write");
}

void TestOptionsDialog::com16AndDtrThenOk()
{
    OptionsDialog* dlg = open();
    clickTab(dlg, 1);
    clickItem(child<QListWidget>(dlg, "lstSPort"), 15);
    clickItem(child<QListWidget>(dlg, "lstControlLine"), 1);
    click(dlg, "cmdOptionsOK");

    QStringList expected = defaultSaves();
    expected[3] = S + "PortIndex=15";
    expected[4] = S + "Control Line=1";
    QCOMPARE(store_.saves, expected);
    QCOMPARE(setDefaultsCalls_, 1);
    QCOMPARE(savesSeenBySetDefaults_, QList<int>({6}));
    QVERIFY(dlg->isHidden());
    QVERIFY(!apply()->isEnabled());
}

void TestOptionsDialog::cancelPutsTheStoredValuesBack()
{
    store_.set(settings::ParallelPortBit, QStringLiteral("3"));
    OptionsDialog* dlg = open();
    auto* bits = child<QListWidget>(dlg, "lstPBit");
    clickItem(bits, 5);
    click(dlg, "chkPActiveLogic");
    click(dlg, "cmdOptionsCancel");

    QVERIFY(store_.saves.isEmpty());
    QCOMPARE(setDefaultsCalls_, 0);
    QCOMPARE(position(bits), 3);
    QCOMPARE(child<QCheckBox>(dlg, "chkPActiveLogic")->checkState(), Qt::Unchecked);
    QVERIFY(dlg->isHidden());
    QVERIFY2(!apply()->isEnabled(), "the revert is no edit");

    // Shown again, an OK has nothing to save.
    dlg->show();
    click(dlg, "cmdOptionsOK");
    QVERIFY(store_.saves.isEmpty());
    QCOMPARE(setDefaultsCalls_, 0);
}

void TestOptionsDialog::closeBoxUnloadsWithoutSaving()
{
    OptionsDialog* dlg = open();
    clickItem(child<QListWidget>(dlg, "lstPBit"), 5);
    QVERIFY(dlg->close());
    QTRY_VERIFY(!dialog_);
    QVERIFY(store_.saves.isEmpty());
    QCOMPARE(setDefaultsCalls_, 0);
}

void TestOptionsDialog::hiddenDialogKeepsItsTab_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("OK") << "cmdOptionsOK";
    QTest::newRow("Cancel") << "cmdOptionsCancel";
}

void TestOptionsDialog::hiddenDialogKeepsItsTab()
{
    QFETCH(QString, button);
    OptionsDialog* dlg = open();
    clickTab(dlg, 1);
    click(dlg, qPrintable(button));
    QVERIFY(dlg->isHidden());
    dlg->show();
    QCOMPARE(child<QTabWidget>(dlg, "tabOptions")->currentIndex(), 1);
}

void TestOptionsDialog::storedNoSelectionIsWrittenBack()
{
    store_.set(settings::ParallelPortBit, QStringLiteral("-1"));
    OptionsDialog* dlg = open();
    auto* bits = child<QListWidget>(dlg, "lstPBit");
    QCOMPARE(position(bits), -1);
    QVERIFY(bits->selectedItems().isEmpty());
    QVERIFY(!apply()->isEnabled());

    click(dlg, "chkPActiveLogic");
    click(dlg, "cmdOptionsApply");
    QCOMPARE(store_.get(settings::ParallelPortBit), QStringLiteral("-1"));
    QCOMPARE(store_.get(settings::ParallelActiveLogic), QStringLiteral("1"));
}

void TestOptionsDialog::deselectedListIsStoredAsNoSelection()
{
    OptionsDialog* dlg = open();
    auto* ports = child<QListWidget>(dlg, "lstPPort");
    clickItem(ports, 0, Qt::ControlModifier);
    QCOMPARE(position(ports), -1);
    QVERIFY(apply()->isEnabled());
    click(dlg, "cmdOptionsApply");
    QCOMPARE(store_.get(settings::ParallelPortIndex), QStringLiteral("-1"));
}

void TestOptionsDialog::storedValuesThatDoNotFitShowTheDefault_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("shown");

    QTest::newRow("LPT4") << "Parallel Options"
                          << "PortIndex"
                          << "3"
                          << "lstPPort" << 0;
    QTest::newRow("bit 8") << "Parallel Options"
                           << "PortBit"
                           << "8"
                           << "lstPBit" << 1;
    QTest::newRow("bit as a word") << "Parallel Options"
                                   << "PortBit"
                                   << "five"
                                   << "lstPBit" << 1;
    QTest::newRow("position below -1") << "Parallel Options"
                                       << "PortBit"
                                       << "-5"
                                       << "lstPBit" << 1;
    QTest::newRow("check state 3") << "Parallel Options"
                                   << "ActiveLogic"
                                   << "3"
                                   << "chkPActiveLogic" << 0;
    QTest::newRow("check state -1") << "Serial Options"
                                    << "ActiveLogic"
                                    << "-1"
                                    << "chkSActiveLogic" << 1;
    QTest::newRow("Com17") << "Serial Options"
                           << "PortIndex"
                           << "16"
                           << "lstSPort" << 0;
    QTest::newRow("beyond 16 bits") << "Serial Options"
                                    << "PortIndex"
                                    << "99999"
                                    << "lstSPort" << 0;
    QTest::newRow("third control line") << "Serial Options"
                                        << "Control Line"
                                        << "2"
                                        << "lstControlLine" << 0;
    QTest::newRow("empty control line") << "Serial Options"
                                        << "Control Line"
                                        << ""
                                        << "lstControlLine" << 0;
}

void TestOptionsDialog::storedValuesThatDoNotFitShowTheDefault()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, control);
    QFETCH(int, shown);
    store_.values.insert(section + '/' + key, stored);
    OptionsDialog* dlg = open();

    QWidget* widget = child<QWidget>(dlg, qPrintable(control));
    if (auto* list = qobject_cast<QListWidget*>(widget))
        QCOMPARE(position(list), shown);
    else
        QCOMPARE(qobject_cast<QCheckBox*>(widget)->checkState(),
                 shown ? Qt::Checked : Qt::Unchecked);
    QVERIFY(!apply()->isEnabled());
    QVERIFY(store_.saves.isEmpty());
    QVERIFY(messages_.isEmpty());

    // An edit that ends where it started still marks the dialog; Apply saves what it shows.
    click(dlg, "chkPActiveLogic");
    click(dlg, "chkPActiveLogic");
    click(dlg, "cmdOptionsApply");
    QCOMPARE(store_.values.value(section + '/' + key), QString::number(shown));
}

void TestOptionsDialog::greyedStoredStateIsShownAndKept()
{
    store_.set(settings::SerialActiveLogic, QStringLiteral("2"));
    OptionsDialog* dlg = open();
    QCOMPARE(child<QCheckBox>(dlg, "chkSActiveLogic")->checkState(), Qt::PartiallyChecked);
    clickItem(child<QListWidget>(dlg, "lstPBit"), 4);
    click(dlg, "cmdOptionsApply");
    QCOMPARE(store_.get(settings::SerialActiveLogic), QStringLiteral("2"));

    clickTab(dlg, 1);
    click(dlg, "chkSActiveLogic");
    QCOMPARE(child<QCheckBox>(dlg, "chkSActiveLogic")->checkState(), Qt::Checked);
}

void TestOptionsDialog::refusedWriteIsReportedAndKeepsTheEdit()
{
    OptionsDialog* dlg = open();
    store_.refuseWrites = true;
    clickItem(child<QListWidget>(dlg, "lstPBit"), 5);
    click(dlg, "cmdOptionsApply");

    QCOMPARE(messages_.size(), 1);
    QCOMPARE(messages_[0].text, QStringLiteral("The settings could not be saved."));
    QCOMPARE(messages_[0].informativeText, QStringLiteral("disk full"));
    QCOMPARE(store_.saves.size(), 6);
    QVERIFY2(apply()->isEnabled(), "the edit that was not saved stays marked");
    QCOMPARE(setDefaultsCalls_, 1);
    QVERIFY(dlg->isVisible());

    // Once the store takes writes again, Apply saves the edit.
    store_.refuseWrites = false;
    click(dlg, "cmdOptionsApply");
    QCOMPARE(messages_.size(), 1);
    QCOMPARE(store_.get(settings::ParallelPortBit), QStringLiteral("5"));
    QVERIFY(!apply()->isEnabled());
}

void TestOptionsDialog::refusedWriteOnOkKeepsTheDialogOpen()
{
    OptionsDialog* dlg = open();
    store_.refuseWrites = true;
    clickItem(child<QListWidget>(dlg, "lstPBit"), 5);
    click(dlg, "cmdOptionsOK");

    QCOMPARE(messages_.size(), 1);
    QVERIFY(dlg->isVisible());
    QVERIFY(apply()->isEnabled());
    QCOMPARE(position(child<QListWidget>(dlg, "lstPBit")), 5);
}

namespace {

// The real main window on fakes of the store and both ports.
struct MainWindowRig {
    MemoryStore& store;
    test::FakeParallelPort parallel;
    test::FakeSerialLine serial;
    QPointer<MainWindow> window;

    explicit MainWindowRig(MemoryStore& s) : store(s) {}
    ~MainWindowRig() { delete window; }

    void start()
    {
        window = new MainWindow(store, parallel, serial);
        window->show();
    }
    OptionsDialog* options()
    {
        window->findChild<QAction*>(QStringLiteral("mnuOptions"))->trigger();
        const QList<QWidget*> found = topLevelOptions();
        if (found.size() != 1)
            qFatal("expected one options dialog, found %d", int(found.size()));
        return qobject_cast<OptionsDialog*>(found.first());
    }
};

} // namespace

void TestOptionsDialog::optionsTwiceShowsTheSameInstance()
{
    MainWindowRig rig(store_);
    rig.start();
    OptionsDialog* first = rig.options();
    QVERIFY(first->isVisible());
    QVERIFY(!first->parentWidget());
    clickTab(first, 1);
    clickItem(child<QListWidget>(first, "lstSPort"), 4);

    OptionsDialog* second = rig.options();
    QCOMPARE(second, first);
    QCOMPARE(position(child<QListWidget>(second, "lstSPort")), 4);
    QVERIFY(child<QPushButton>(second, "cmdOptionsApply")->isEnabled());

    click(second, "cmdOptionsCancel");
    QVERIFY(second->isHidden());
    QCOMPARE(rig.options(), first);
    QVERIFY(first->isVisible());
    QCOMPARE(child<QTabWidget>(first, "tabOptions")->currentIndex(), 1);
}

void TestOptionsDialog::closeBoxThenOptionsRebuildsFromTheStore()
{
    MainWindowRig rig(store_);
    rig.start();
    QPointer<OptionsDialog> first = rig.options();
    clickTab(first, 1);
    clickItem(child<QListWidget>(first, "lstSPort"), 4);
    first->close();
    QTRY_VERIFY(!first);

    store_.set(settings::SerialPortIndex, QStringLiteral("9"));
    OptionsDialog* second = rig.options();
    QCOMPARE(child<QTabWidget>(second, "tabOptions")->currentIndex(), 0);
    QCOMPARE(position(child<QListWidget>(second, "lstSPort")), 9);
    QVERIFY(!child<QPushButton>(second, "cmdOptionsApply")->isEnabled());
}

void TestOptionsDialog::closingTheMainWindowUnloadsTheDialog()
{
    for (bool hidden : {false, true}) {
        MainWindowRig rig(store_);
        rig.start();
        QPointer<OptionsDialog> dlg = rig.options();
        clickItem(child<QListWidget>(dlg, "lstPBit"), 6);
        if (hidden)
            dlg->hide();
        QVERIFY(rig.window->close());
        QVERIFY2(!dlg, hidden ? "hidden dialog left loaded" : "visible dialog left loaded");
        QVERIFY(store_.saves.isEmpty());
    }
}

void TestOptionsDialog::applyTakesEffectInTheMainWindowAtOnce()
{
    MainWindowRig rig(store_);
    rig.start();
    OptionsDialog* dlg = rig.options();
    clickItem(child<QListWidget>(dlg, "lstPBit"), 5);
    click(dlg, "chkPActiveLogic");
    click(dlg, "cmdOptionsApply");

    const ShutterConfig& config = rig.window->shutterLine().config();
    QCOMPARE(int(config.PortBit), 5);
    QVERIFY(config.ActiveLogic);

    rig.parallel.writes.clear();
    click(rig.window, "cmdConnect");
    QCOMPARE(rig.parallel.writes, QStringList({"set 888 5"}));
}

void TestOptionsDialog::unavailableComPortIsReportedOnceAndValuesStaySaved_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Apply") << "cmdOptionsApply";
    QTest::newRow("OK") << "cmdOptionsOK";
}

void TestOptionsDialog::unavailableComPortIsReportedOnceAndValuesStaySaved()
{
    QFETCH(QString, button);
    store_.set(settings::SerialControl, QStringLiteral("1"));
    store_.set(settings::ParallelControl, QStringLiteral("0"));
    MainWindowRig rig(store_);
    rig.serial.refuseOpen = true;
    rig.start();
    messages_.clear(); // the start-up's own report

    OptionsDialog* dlg = rig.options();
    clickTab(dlg, 1);
    clickItem(child<QListWidget>(dlg, "lstSPort"), 2);
    click(dlg, qPrintable(button));

    QCOMPARE(messages_.size(), 1);
    QCOMPARE(messages_[0].text, QStringLiteral("The Com port selected is not available"));
    QCOMPARE(rig.serial.calls.last(), QStringLiteral("open 3"));
    QCOMPARE(store_.get(settings::SerialPortIndex), QStringLiteral("2"));
    QCOMPARE(store_.saves.size(), 6);
    QVERIFY(!child<QPushButton>(dlg, "cmdOptionsApply")->isEnabled());
    QCOMPARE(dlg->isVisible(), button == QLatin1String("cmdOptionsApply"));
}

QTEST_MAIN(TestOptionsDialog)
#include "test_options_dialog.moc"
