// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/OptionsDialog.h"
#include "fakes/FakeSerialPorts.h"
#include "support/WindowRig.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <optional>
#include <tuple>

using namespace kestrova;
using test::child;
using test::MemoryStore;

namespace {

const char* const ComPorts = "Com1 Com2 Com3 Com4 Com5 Com6 Com7 Com8 Com9 Com10 Com11 Com12 "
                             "Com13 Com14 Com15 Com16";

// Each control in the focus order: its tab (-1: on the window, in front of the tab control)
// and its texts.
const std::tuple<const char*, int, const char*> Layout[] = {
    {"tabOptions", -1, "Parallel Serial"},
    {"lstPPort", 0, "LPT1 LPT2 LPT3"},
    {"lstPBit", 0, "D0 D1 D2 D3 D4 D5 D6 D7"},
    {"lstSPort", 1, ComPorts},
    {"lstControlLine", 1, "RTS DTR"},
    {"cmdOptionsOK", -1, "OK"},
    {"cmdOptionsApply", -1, "Apply"},
    {"cmdOptionsCancel", -1, "Cancel"},
    {"chkPActiveLogic", 0, "Active Logic"},
    {"chkSActiveLogic", 1, "Active Logic"}};

// The key of each setting control, in the order saved, and its default.
const char* const Keys[][3] = {{"lstPPort", "Parallel Options/PortIndex", "0"},
                               {"lstPBit", "Parallel Options/PortBit", "1"},
                               {"chkPActiveLogic", "Parallel Options/ActiveLogic", "0"},
                               {"lstSPort", "Serial Options/PortIndex", "0"},
                               {"lstControlLine", "Serial Options/Control Line", "0"},
                               {"chkSActiveLogic", "Serial Options/ActiveLogic", "1"}};

// "lstPBit=5 chkPActiveLogic=1" as control -> text.
QMap<QString, QString> pairs(const QString& text)
{
    QMap<QString, QString> found;
    for (const QString& pair : text.split(' ', Qt::SkipEmptyParts))
        found.insert(pair.section('=', 0, 0), pair.section('=', 1));
    return found;
}

// A list's selected position or a box's state as stored: 0 unchecked, 1 checked, 2 greyed.
int shown(QWidget* window, const QString& name)
{
    if (auto* box = qobject_cast<QCheckBox*>(child(window, name)))
        return box->checkState() == Qt::PartiallyChecked ? 2 : int(box->isChecked());
    const QList<QListWidgetItem*> selected = child<QListWidget>(window, name)->selectedItems();
    return selected.isEmpty() ? -1 : child<QListWidget>(window, name)->row(selected.first());
}

// Clicks a control as a user would, on its tab: "lstPBit:5" clicks the item at position 5.
void click(QWidget* window, const QString& step)
{
    QWidget* control = child(window, step.section(':', 0, 0));
    auto* tabs = window->findChild<QTabWidget*>();
    if (tabs && tabs->indexOf(control->parentWidget()) >= 0)
        tabs->setCurrentWidget(control->parentWidget());
    auto* list = qobject_cast<QListWidget*>(control);
    if (!list)
        return QTest::mouseClick(control, Qt::LeftButton);
    QListWidgetItem* item = list->item(step.section(':', 1).toInt());
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

QList<OptionsDialog*> optionsWindows()
{
    QList<OptionsDialog*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<OptionsDialog*>(window))
            found << dialog;
    return found;
}

// The real main window on the test's store, fakes of both ports and its timer.
struct Rig : test::WindowRig {
    explicit Rig(MemoryStore& store, bool refuseOpen = false,
                 const SerialPortEnumerator* serialPorts = nullptr)
        : WindowRig(&store)
    {
        serial.refuseOpen = refuseOpen;
        open(nullptr, serialPorts);
    }
    OptionsDialog* options()
    {
        trigger("mnuOptions");
        if (optionsWindows().size() != 1)
            qFatal("expected one options dialog");
        return optionsWindows().first();
    }
};

} // namespace

class TestOptionsDialog : public QObject {
    Q_OBJECT

    MemoryStore store_;
    QList<int> savesAtSetDefaults_; // one entry per call
    std::optional<test::MessageRecorder> recorder_;
    QPointer<OptionsDialog> dialog_;

    OptionsDialog* open()
    {
        dialog_ =
            new OptionsDialog(store_, [this](bool) { savesAtSetDefaults_ << store_.saves.size(); });
        dialog_->show();
        if (!QTest::qWaitForWindowExposed(dialog_))
            qFatal("the options dialog was not shown");
        return dialog_;
    }
    QPushButton* apply() { return child<QPushButton>(dialog_, "cmdOptionsApply"); }

private slots:
    void init()
    {
        store_ = MemoryStore();
        savesAtSetDefaults_.clear();
        recorder_.emplace();
    }
    void cleanup()
    {
        delete dialog_;
        recorder_.reset();
        QVERIFY(optionsWindows().isEmpty());
    }

    void layoutAndFocusOrder()
    {
        OptionsDialog* dlg = open();
        QCOMPARE(dlg->maximumSize(), dlg->minimumSize());
        auto* tabs = child<QTabWidget>(dlg, "tabOptions");
        for (const auto& [name, tab, texts] : Layout) {
            QWidget* control = child(dlg, name);
            tabs->setCurrentIndex(tab == 0 ? 1 : 0); // only the current tab's controls show
            QCOMPARE(control->isVisible(), tab < 0);
            tabs->setCurrentIndex(qMax(tab, 0));
            QWidget* hit = dlg->childAt(control->mapTo(dlg, control->rect().center()));
            QVERIFY2(hit == control || control->isAncestorOf(hit), name);
            QStringList seen = {control->property("text").toString()};
            for (int i = 0; i < tabs->count() && control == tabs; ++i)
                seen << tabs->tabText(i);
            if (auto* list = qobject_cast<QListWidget*>(control))
                for (int i = 0; i < list->count(); ++i)
                    seen << list->item(i)->text();
            QCOMPARE(seen.join(' ').trimmed(), QString(texts));
        }

        // From the tab control round to it again over the current tab's controls; an edit
        // enables Apply, which then takes the focus in its turn.
        QApplication::setActiveWindow(dlg);
        QVERIFY(QTest::qWaitForWindowActive(dlg));
        for (const char* edit : {"lstPBit:3", "lstSPort:3"}) {
            click(dlg, edit);
            QStringList expected, visited;
            for (const auto& place : Layout)
                if (std::get<1>(place) == -1 || std::get<1>(place) == tabs->currentIndex())
                    expected << std::get<0>(place);
            expected.move(0, expected.size() - 1);
            tabs->setFocus(Qt::TabFocusReason);
            while (visited.size() < expected.size()) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QWidget* focused = QApplication::focusWidget();
                visited << (focused->parentWidget() == tabs ? "tabOptions" : focused->objectName());
            }
            QCOMPARE(visited, expected);
        }
    }

    // Stored texts, clicks and a button (or none). Afterwards every control shows its value in
    // "after", else its stored text, else its default; a save writes these six in order, then
    // SetDefaults runs once.
    static void row(const char* name, const char* stored, const char* clicks, const char* button,
                    bool saves, const char* after)
    {
        QTest::newRow(name) << QString(stored) << QString(clicks) << QString(button) << saves
                            << QString(after);
    }
    void editAndButton_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("saves");
        QTest::addColumn<QString>("after");
        row("an empty store shows the defaults", "", "", "", false, "");
        row("OK without a change", "", "", "OK", false, "");
        row("LPT3", "", "lstPPort:2", "Apply", true, "lstPPort=2");
        row("D5", "", "lstPBit:5", "Apply", true, "lstPBit=5");
        row("a click never greys a box", "", "chkPActiveLogic", "Apply", true, "chkPActiveLogic=1");
        row("Com2", "", "lstSPort:1", "Apply", true, "lstSPort=1");
        row("DTR", "", "lstControlLine:1", "Apply", true, "lstControlLine=1");
        row("serial Active Logic", "", "chkSActiveLogic", "Apply", true, "chkSActiveLogic=0");
        row("Com16 and DTR then OK", "", "lstSPort:15 lstControlLine:1", "OK", true,
            "lstSPort=15 lstControlLine=1");
        row("Cancel puts the stored values back", "lstPBit=3", "lstPBit:5 chkPActiveLogic",
            "Cancel", false, "lstPBit=3 chkPActiveLogic=0");
        row("no selection and greyed are shown and kept", "lstPBit=-1 chkSActiveLogic=2",
            "chkPActiveLogic", "Apply", true, "lstPBit=-1 chkSActiveLogic=2 chkPActiveLogic=1");
        row("odd stored values show and save the default",
            "lstPPort=3 chkSActiveLogic=-1 lstControlLine=five", "chkPActiveLogic", "Apply", true,
            "lstPPort=0 chkSActiveLogic=1 lstControlLine=0 chkPActiveLogic=1");
    }
    void editAndButton()
    {
        QFETCH(QString, stored);
        QFETCH(QString, clicks);
        QFETCH(QString, button);
        QFETCH(bool, saves);
        QFETCH(QString, after);
        QStringList expected; // the six saves, which show in the controls too
        for (const auto& [control, key, byDefault] : Keys) {
            const QString text = pairs(stored).value(control, byDefault);
            if (pairs(stored).contains(control))
                store_.values.insert(key, text);
            expected << QString(key) + '=' + pairs(after).value(control, text);
        }
        OptionsDialog* dlg = open();
        for (const QString& step : clicks.split(' ', Qt::SkipEmptyParts))
            click(dlg, step);
        QCOMPARE(apply()->isEnabled(), !clicks.isEmpty());
        QVERIFY2(store_.saves.isEmpty(), "only Apply and OK write the store");
        if (!button.isEmpty())
            click(dlg, "cmdOptions" + button);

        QCOMPARE(store_.saves, saves ? expected : QStringList());
        QCOMPARE(savesAtSetDefaults_, saves ? QList<int>{6} : QList<int>());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(shown(dlg, Keys[i][0]), expected[i].section('=', 1).toInt());
        QVERIFY(!apply()->isEnabled());
        QCOMPARE(dlg->isVisible(), button == "Apply" || button.isEmpty());
        QVERIFY(recorder_->messages.isEmpty());
    }

    // One message for the action, even when the serial port then cannot be opened either.
    void refusedWriteIsReportedOnceAndKeepsTheEdit()
    {
        store_.set(settings::SerialControl, QStringLiteral("1"));
        Rig rig(store_, true);
        QCoreApplication::processEvents();
        rig.messages.clear(); // the start-up's own report
        OptionsDialog* dlg = rig.options();
        store_.refuseWrites = true;
        click(dlg, "lstPBit:5");
        click(dlg, "cmdOptionsOK");
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].text, QStringLiteral("The settings could not be saved."));
        QCOMPARE(rig.messages[0].informativeText, QStringLiteral("disk full"));
        QCOMPARE(rig.serial.calls.count(QStringLiteral("open 1")), 2); // SetDefaults still ran
        QVERIFY(child<QPushButton>(dlg, "cmdOptionsApply")->isEnabled());
        QVERIFY(dlg->isVisible());
    }

    // The program told to close while a save's message box waits unloads the dialog under it.
    void closingWhileASaveMessageWaits()
    {
        Rig rig(store_);
        QPointer<OptionsDialog> dlg = rig.options();
        store_.refuseWrites = true;
        ui::setMessageHandler([&](const ui::Message&) { rig.window->close(); });
        click(dlg, "lstPBit:5");
        click(dlg, "cmdOptionsOK");
        QVERIFY(!dlg);
    }

    // One instance, hidden and shown again as it was left; its close box and the main
    // window's closing unload it without saving.
    void optionsMenuLifecycle()
    {
        Rig rig(store_);
        OptionsDialog* first = rig.options();
        QVERIFY(first->isVisible() && !first->parentWidget() && !first->isModal());
        QCOMPARE(first->windowTitle(), QStringLiteral("Options"));
        click(first, "lstSPort:4");
        QCOMPARE(rig.options(), first);
        QCOMPARE(shown(first, "lstSPort"), 4);
        for (const char* button : {"cmdOptionsCancel", "cmdOptionsOK"}) {
            click(first, button);
            QCOMPARE(rig.options(), first);
            QCOMPARE(child<QTabWidget>(first, "tabOptions")->currentIndex(), 1);
        }

        QPointer<OptionsDialog> closed = first;
        click(first, "lstSPort:6");
        closed->close();
        QTRY_VERIFY(!closed);
        store_.set(settings::SerialPortIndex, QStringLiteral("9"));
        QPointer<OptionsDialog> second = rig.options();
        QCOMPARE(child<QTabWidget>(second, "tabOptions")->currentIndex(), 0);
        QCOMPARE(shown(second, "lstSPort"), 9);
        QVERIFY(!child<QPushButton>(second, "cmdOptionsApply")->isEnabled());

        click(second, "lstPBit:6");
        QVERIFY(rig.window->close());
        QVERIFY(!second);
        QVERIFY(store_.saves.isEmpty());
    }

    void unavailableComPortIsReportedOnceAndValuesStaySaved()
    {
        for (const char* button : {"cmdOptionsApply", "cmdOptionsOK"}) {
            store_ = MemoryStore();
            store_.set(settings::SerialControl, QStringLiteral("1"));
            store_.set(settings::ParallelControl, QStringLiteral("0"));
            Rig rig(store_, true);
            QCoreApplication::processEvents();
            rig.messages.clear(); // the start-up's own report

            OptionsDialog* dlg = rig.options();
            click(dlg, "lstSPort:2");
            click(dlg, button);
            QCOMPARE(rig.messages.size(), 1);
            QCOMPARE(rig.messages[0].text, QStringLiteral("The Com port selected is not available"));
            QVERIFY(rig.serial.calls.contains(QStringLiteral("open 3")));
            QVERIFY(!rig.serial.isOpen());
            QCOMPARE(store_.get(settings::SerialPortIndex), QStringLiteral("2"));
            QVERIFY(!child<QPushButton>(dlg, "cmdOptionsApply")->isEnabled());
            QCOMPARE(dlg->isVisible(), button == QLatin1String("cmdOptionsApply"));
        }
    }

    // Adapters are looked for at start-up, each time the dialog is shown and when a Com port
    // cannot be opened; the Com list's tooltips say what each number is now.
    void comNumbersAreLookedForAndShown()
    {
        test::FakeSerialPorts ports;
        ports.plug(QStringLiteral("S0 s1 ftdi@ttyUSB0"));
        Rig rig(store_, false, &ports);
        const QString comKey = QStringLiteral("Serial Options/Com%1 Device");
        QCOMPARE(ports.looks, 1);
        QCOMPARE(store_.values.value(comKey.arg(2)), ports.list[2].stableName);

        const auto toolTip = [&](int row) {
            auto* list = child<QListWidget>(optionsWindows().first(), "lstSPort");
            if (list->item(row)->text() != QStringLiteral("Com%1").arg(row + 1))
                qFatal("the Com list's captions moved");
            return list->item(row)->toolTip();
        };
        OptionsDialog* dlg = rig.options();
        QCOMPARE(toolTip(0), QStringLiteral("Com1: built-in serial port, /dev/ttyS0, present"));
        QCOMPARE(toolTip(1), QStringLiteral("Com2: FT232R USB UART (FTDI, serial A50285BI), "
                                            "/dev/ttyUSB0, plugged in"));
        QCOMPARE(toolTip(2), QStringLiteral("Com3: /dev/ttyS2, not present"));

        // The adapter is unplugged and another is plugged in while the dialog is hidden.
        click(dlg, "cmdOptionsOK");
        ports.plug(QStringLiteral("S0 s1 ch340@ttyUSB0"));
        rig.options();
        QCOMPARE(ports.looks, 3);
        QCOMPARE(toolTip(1), QStringLiteral("Com2: /dev/serial/by-id/"
                                            "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0, "
                                            "not plugged in"));
        QCOMPARE(toolTip(2), QStringLiteral("Com3: USB Serial, /dev/ttyUSB0, plugged in"));
        QVERIFY(store_.saves.last().endsWith(QStringLiteral("Com3 Device=") +
                                             ports.list[2].stableName));

        // Interface, Serial on Com1 fails: the message lists the ports present now.
        rig.serial.refuseOpen = true;
        rig.trigger("mnuSerial");
        QCOMPARE(ports.looks, 4);
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].text, QStringLiteral("The Com port selected is not available"));
        QCOMPARE(rig.messages[0].informativeText,
                 QStringLiteral("Com1: no such device\n\n"
                                "Serial ports present now:\n"
                                "Com1: built-in serial port, /dev/ttyS0\n"
                                "Com3: USB Serial, /dev/ttyUSB0\n"
                                "Choose the Com number under Options..., then Interface, Serial."));
    }

    // The line configured before keeps its level; the new one is driven from the next phase.
    void applyDuringASequenceTakesEffectAtTheNextPhase()
    {
        Rig rig(store_);
        rig.start("2", "2", "1");
        OptionsDialog* dlg = rig.options();
        click(dlg, "lstPBit:5");
        click(dlg, "chkPActiveLogic");
        rig.parallel.writes.clear();
        click(dlg, "cmdOptionsApply");
        rig.ticks->fire();
        QCOMPARE(rig.parallel.writes, QStringList());
        rig.ticks->fire(); // the first exposure ends
        QCOMPARE(rig.parallel.writes, QStringList{"clr 888 5"});
        QVERIFY(!rig.parallel.bitSet(888, 1)); // D1 stays as the exposure left it: open
        QVERIFY(rig.messages.isEmpty());
    }

    // Qt's single-selection lists let Ctrl+click and Ctrl+Space take the selection away, and
    // an empty list would be saved as "-1" (for "Control Line", DTR). Only a stored "-1" shows
    // no selection.
    void userCannotEmptyAList()
    {
        OptionsDialog* dlg = open();
        QStringList lists;
        for (const auto& [control, key, byDefault] : Keys) {
            auto* list = qobject_cast<QListWidget*>(child(dlg, control));
            if (!list)
                continue;
            lists << key;
            click(dlg, QString(control) + ":1");
            const QPoint item = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, item);
            QCOMPARE(shown(dlg, control), 1);
            QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
            QCOMPARE(shown(dlg, control), 1);
        }
        click(dlg, "cmdOptionsApply");
        for (const QString& key : lists)
            QCOMPARE(store_.values.value(key), QStringLiteral("1"));
    }

    // A configuration change while the shutter is closed and no sequence runs puts the newly
    // configured line at its closed level at once; a shutter open by hand keeps its line.
    // clang-format off
    void configurationChangeClosesTheNewLine_data()
    {
        QTest::addColumn<bool>("serialStored");
        QTest::addColumn<bool>("openByHand");
        QTest::addColumn<QString>("steps"); // clicks on the dialog, or an Interface command
        QTest::addColumn<QStringList>("driven");
        QTest::newRow("Apply: new bit") << false << false << "lstPBit:5 cmdOptionsApply"
                                        << QStringList{"set 888 5"};
        QTest::newRow("OK: new polarity") << false << false << "chkPActiveLogic cmdOptionsOK"
                                          << QStringList{"clr 888 1"};
        QTest::newRow("Interface, Serial") << false << false << "mnuSerial"
                                           << QStringList{"RTS off", "open 1", "RTS off"};
        QTest::newRow("Interface, Parallel") << true << false << "mnuParallel"
                                             << QStringList{"set 888 1"};
        QTest::newRow("Apply with the shutter open by hand")
            << false << true << "lstPBit:5 cmdOptionsApply" << QStringList{};
    }
    // clang-format on
    void configurationChangeClosesTheNewLine()
    {
        QFETCH(bool, serialStored);
        QFETCH(bool, openByHand);
        QFETCH(QString, steps);
        if (serialStored) {
            store_.set(settings::SerialControl, QStringLiteral("1"));
            store_.set(settings::ParallelControl, QStringLiteral("0"));
        }
        Rig rig(store_);
        if (openByHand)
            click(rig.window, "cmdConnect");
        rig.parallel.writes.clear();
        rig.serial.calls.clear();
        if (steps.startsWith(QLatin1String("mnu")))
            rig.window->findChild<QAction*>(steps)->trigger();
        else
            for (const QString& step : steps.split(' '))
                click(rig.options(), step);
        QTEST(rig.parallel.writes + rig.serial.calls, "driven");
        QCOMPARE(rig.window->shutterLine().shutterOpen(), openByHand);
        QVERIFY(rig.messages.isEmpty());
    }

    // A stored value taken as its default is told whenever SetDefaults meets it, once per
    // action, and after any other failure of the same action only that one is told.
    // clang-format off
    void fallbacksAreToldAtEachConfigurationChange_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("told");
        const QString fallback = "Some stored settings could not be read; their defaults are used.";
        QTest::newRow("Interface, Parallel") << "Parallel Options/PortBit" << "mnuParallel" << fallback;
        QTest::newRow("Interface, Serial") << "Parallel Options/PortBit" << "mnuSerial" << fallback;
        QTest::newRow("Apply") << "Serial Options/Serial Control" << "lstPBit:5 cmdOptionsApply" << fallback;
        QTest::newRow("OK") << "Serial Options/Serial Control" << "lstPBit:5 cmdOptionsOK" << fallback;
        QTest::newRow("Interface, Serial on a missing port")
            << "Parallel Options/PortBit" << "mnuSerial" << QString(messages::ComPortNotAvailable);
    }
    // clang-format on
    void fallbacksAreToldAtEachConfigurationChange()
    {
        QFETCH(QString, key);
        QFETCH(QString, steps);
        QFETCH(QString, told);
        store_.values.insert(key, QStringLiteral("D9"));
        Rig rig(store_, told == QLatin1String(messages::ComPortNotAvailable));
        QTRY_COMPARE(rig.messages.size(), 1); // at start-up
        rig.messages.clear();
        if (steps.startsWith(QLatin1String("mnu")))
            rig.window->findChild<QAction*>(steps)->trigger();
        else
            for (const QString& step : steps.split(' '))
                click(rig.options(), step);
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].text, told);
        if (told != QLatin1String(messages::ComPortNotAvailable))
            QVERIFY2(rig.messages[0].informativeText.contains(key),
                     qPrintable(rig.messages[0].informativeText));
    }
};

QTEST_MAIN(TestOptionsDialog)
#include "test_options_dialog.moc"
