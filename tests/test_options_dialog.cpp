// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Messages.h"
#include "config/OptionsDialog.h"
#include "fakes/FakeSerialPorts.h"
#include "support/WindowRig.h"

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace kestrova;
using test::child;
using test::WindowRig;
using Stored = QMap<QString, QString>; // "Section/Key" -> text

namespace {

// The controls of the six settings, in the order the dialog saves them.
const char* const Controls[] = {"lstPPort", "lstPBit",        "chkPActiveLogic",
                                "lstSPort", "lstControlLine", "chkSActiveLogic"};

QString path(const SettingKey& setting)
{
    return QLatin1String(setting.section) + '/' + QLatin1String(setting.key);
}

// A list's selected position or a box's state as stored: 0 unchecked, 1 checked, 2 greyed.
int shown(QWidget* dialog, const QString& name)
{
    if (auto* box = qobject_cast<QCheckBox*>(child(dialog, name)))
        return box->checkState() == Qt::PartiallyChecked ? 2 : int(box->isChecked());
    auto* list = child<QListWidget>(dialog, name);
    return list->selectedItems().isEmpty() ? -1 : list->row(list->selectedItems().first());
}

// The options dialog, opened by the menu; there is never more than one.
OptionsDialog* optionsDialog(const WindowRig& rig)
{
    rig.trigger("mnuOptions");
    QList<OptionsDialog*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<OptionsDialog*>(window))
            found << dialog;
    if (found.size() != 1)
        qFatal("expected one options dialog");
    return found.first();
}

// Acts as a user would: "mnuSerial" and "cmdConnect" on the main window, "lstPBit:5" (the item
// at position 5) and "cmdOptionsOK" on the options dialog, on its tab.
void act(const WindowRig& rig, const QString& steps)
{
    for (const QString& step : steps.split(' ', Qt::SkipEmptyParts)) {
        const QString name = step.section(':', 0, 0);
        if (auto* action = rig.window->findChild<QAction*>(name)) {
            action->trigger();
            continue;
        }
        QWidget* control = rig.window->findChild<QWidget*>(name);
        if (!control) {
            OptionsDialog* dialog = optionsDialog(rig);
            control = child(dialog, name);
            auto* tabs = dialog->findChild<QTabWidget*>();
            if (tabs->indexOf(control->parentWidget()) >= 0)
                tabs->setCurrentWidget(control->parentWidget());
        }
        auto* list = qobject_cast<QListWidget*>(control);
        if (!list) {
            QTest::mouseClick(control, Qt::LeftButton);
            continue;
        }
        QListWidgetItem* item = list->item(step.section(':', 1).toInt());
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(item).center());
    }
}

} // namespace

class TestOptionsDialog : public QObject {
    Q_OBJECT
private slots:
    // Stored texts by control, clicks and a button; "after": the six values then shown and, when
    // the button saves, written in that order.
    void editAndButton_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("saves");
        QTest::addColumn<QString>("after");
        QTest::newRow("OK without a change saves nothing")
            << ""
            << "cmdOptionsOK" << false << "0 1 0 0 0 1";
        QTest::newRow("the last items, and a box a click checks, never greys")
            << ""
            << "lstSPort:15 lstControlLine:1 chkPActiveLogic cmdOptionsOK" << true
            << "0 1 1 15 1 1";
        QTest::newRow("Cancel puts the stored values back")
            << "lstPBit=3"
            << "lstPBit:5 chkPActiveLogic cmdOptionsCancel" << false << "0 3 0 0 0 1";
        QTest::newRow("no selection and greyed are shown and kept")
            << "lstPBit=-1 chkSActiveLogic=2"
            << "chkPActiveLogic cmdOptionsApply" << true << "0 -1 1 0 0 2";
        QTest::newRow("odd stored values show and save the default")
            << "lstPPort=3 chkSActiveLogic=-1 lstControlLine=five"
            << "lstPBit:7 cmdOptionsApply" << true << "0 7 0 0 0 1";
    }
    void editAndButton()
    {
        QFETCH(QString, stored);
        QFETCH(QString, steps);
        QFETCH(bool, saves);
        QFETCH(QString, after);
        WindowRig rig;
        for (const QString& pair : stored.split(' ', Qt::SkipEmptyParts)) {
            const int control = QStringList(std::begin(Controls), std::end(Controls))
                                    .indexOf(pair.section('=', 0, 0));
            rig.store.set(options::All[control].setting, pair.section('=', 1));
        }
        rig.open();
        act(rig, steps.section(' ', 0, -2));
        OptionsDialog* dialog = optionsDialog(rig);
        QCOMPARE(child<QPushButton>(dialog, "cmdOptionsApply")->isEnabled(), steps.contains(' '));
        QVERIFY2(rig.store.saves.isEmpty(), "only Apply and OK write the store");
        act(rig, steps.section(' ', -1));

        QStringList written;
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(shown(dialog, Controls[i]), after.section(' ', i, i).toInt());
            written << path(options::All[i].setting) + '=' + after.section(' ', i, i);
        }
        QCOMPARE(rig.store.saves, saves ? written : QStringList());
        QVERIFY(!child<QPushButton>(dialog, "cmdOptionsApply")->isEnabled());
        QCOMPARE(dialog->isVisible(), steps.endsWith("Apply"));
    }

    // One instance, shown again as it was left; its close box and the main window's closing
    // unload it without saving, and one shown anew reads the store again.
    void optionsMenuLifecycle()
    {
        WindowRig rig;
        rig.open();
        QPointer<OptionsDialog> first = optionsDialog(rig);
        QVERIFY(!first->parentWidget() && !first->isModal());
        act(rig, "lstSPort:4");
        QCOMPARE(optionsDialog(rig), first);
        QCOMPARE(shown(first, "lstSPort"), 4);
        act(rig, "cmdOptionsCancel");
        QCOMPARE(optionsDialog(rig), first);
        QCOMPARE(child<QTabWidget>(first, "tabOptions")->currentIndex(), 1);
        act(rig, "lstSPort:6");
        first->close();
        QTRY_VERIFY(!first);
        rig.store.set(settings::SerialPortIndex, QStringLiteral("9"));
        QPointer<OptionsDialog> second = optionsDialog(rig);
        QCOMPARE(shown(second, "lstSPort"), 9);
        act(rig, "lstPBit:6");
        QVERIFY(rig.window->close());
        QVERIFY(!second);
        QVERIFY(rig.store.saves.isEmpty());
    }

    // The program told to close while a save's message box waits unloads the dialog under it.
    void closingWhileASaveMessageWaits()
    {
        WindowRig rig;
        rig.open();
        QPointer<OptionsDialog> dialog = optionsDialog(rig);
        rig.store.refuseWrites = true;
        ui::setMessageHandler([&](const ui::Message&) { rig.window->close(); });
        act(rig, "lstPBit:5 cmdOptionsOK");
        QVERIFY(!dialog);
    }

    // Qt's single-selection lists let Ctrl+click and Ctrl+Space take the selection away, and
    // an empty list would be saved as no selection.
    void userCannotEmptyAList()
    {
        WindowRig rig;
        rig.open();
        for (const char* name : {"lstPPort", "lstPBit", "lstSPort", "lstControlLine"}) {
            act(rig, QString(name) + ":1");
            auto* list = child<QListWidget>(optionsDialog(rig), name);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              list->visualItemRect(list->item(1)).center());
            QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
            QCOMPARE(shown(optionsDialog(rig), name), 1);
        }
    }

    // The Com list's tooltips say what each number is each time the dialog is shown; a port
    // that cannot be opened is told with the ports present now.
    void comNumbersAreLookedForAndShown()
    {
        test::FakeSerialPorts ports;
        ports.plug(QStringLiteral("S0 s1 ftdi@ttyUSB0"));
        WindowRig rig;
        rig.open(nullptr, &ports);
        const auto toolTip = [&](int row) {
            return child<QListWidget>(optionsDialog(rig), "lstSPort")->item(row)->toolTip();
        };
        QCOMPARE(toolTip(0), QStringLiteral("Com1: built-in serial port, /dev/ttyS0, present"));
        QCOMPARE(toolTip(1), QStringLiteral("Com2: FT232R USB UART (FTDI, serial A50285BI), "
                                            "/dev/ttyUSB0, plugged in"));
        QCOMPARE(toolTip(2), QStringLiteral("Com3: /dev/ttyS2, not present"));

        act(rig, "cmdOptionsOK"); // another adapter replaces it while the dialog is hidden
        ports.plug(QStringLiteral("S0 s1 ch340@ttyUSB0"));
        QCOMPARE(toolTip(1), QStringLiteral("Com2: /dev/serial/by-id/"
                                            "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0, "
                                            "not plugged in"));
        QCOMPARE(toolTip(2), QStringLiteral("Com3: USB Serial, /dev/ttyUSB0, plugged in"));
        QCOMPARE(rig.store.values.value(QStringLiteral("Serial Options/Com3 Device")),
                 ports.list[2].stableName);

        rig.serial.refuseOpen = true;
        rig.trigger("mnuSerial");
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].text, QLatin1String(messages::ComPortNotAvailable));
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
        WindowRig rig;
        rig.open();
        rig.start("2", "2", "1");
        act(rig, "lstPBit:5 chkPActiveLogic");
        rig.parallel.writes.clear();
        act(rig, "cmdOptionsApply");
        rig.ticks->fire();
        QCOMPARE(rig.parallel.writes, QStringList());
        rig.ticks->fire(); // the first exposure ends
        QCOMPARE(rig.parallel.writes, QStringList{"clr 888 5"});
        QVERIFY(!rig.parallel.bitSet(888, 1)); // D1 stays as the exposure left it: open
        QVERIFY(rig.messages.isEmpty());
    }

    // A change by Interface, Apply or OK while the shutter is closed puts the new line at its
    // closed level at once; it tells what failed once, and the stored values it had to take as
    // their defaults each time. A refused write keeps the edit for another Apply.
    void configurationChangeClosesTheNewLine_data()
    {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<QString>("refused"); // serial port opens, store writes
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("driven");
        QTest::addColumn<QStringList>("told"); // a message's text and part of its details
        const Stored serial{{"Serial Options/Serial Control", "1"},
                            {"Parallel Options/Parallel Control", "0"}};
        const Stored unreadable{{"Parallel Options/PortBit", "D9"},
                                {"Serial Options/Serial Control", "D9"}};
        const auto told = [](const char* key) {
            return QStringList{messages::SettingsUnreadable, key};
        };
        QTest::newRow("Apply: new bit")
            << Stored{} << ""
            << "lstPBit:5 cmdOptionsApply" << QStringList{"set 888 5"} << QStringList{};
        QTest::newRow("OK: new polarity")
            << Stored{} << ""
            << "chkPActiveLogic cmdOptionsOK" << QStringList{"clr 888 1"} << QStringList{};
        QTest::newRow("Interface, Serial")
            << Stored{} << ""
            << "mnuSerial" << QStringList{"RTS off", "open 1", "RTS off"} << QStringList{};
        QTest::newRow("Interface, Parallel")
            << serial << ""
            << "mnuParallel" << QStringList{"set 888 1"} << QStringList{};
        QTest::newRow("shutter open by hand: only the opening is driven")
            << Stored{} << ""
            << "cmdConnect lstPBit:5 cmdOptionsApply" << QStringList{"clr 888 1"} << QStringList{};
        QTest::newRow("a fallback told again at Interface, Parallel")
            << unreadable << ""
            << "mnuParallel" << QStringList{"set 888 1"} << told("Parallel Options/PortBit");
        QTest::newRow("a fallback told again at OK")
            << unreadable << ""
            << "lstPBit:5 cmdOptionsOK" << QStringList{"set 888 5"}
            << told("Serial Options/Serial Control");
        QTest::newRow("a missing Com port told once at Apply")
            << serial << "port"
            << "lstSPort:2 cmdOptionsApply" << QStringList{"RTS off", "open 3", "RTS off"}
            << QStringList{messages::ComPortNotAvailable, "Com3"};
        QTest::newRow("a missing Com port told instead of a fallback")
            << unreadable << "port"
            << "mnuSerial" << QStringList{"RTS off", "open 1", "RTS off"}
            << QStringList{messages::ComPortNotAvailable, "Com1"};
        QTest::newRow("a refused write told once, not the missing port too")
            << serial << "port store"
            << "lstPBit:5 cmdOptionsOK" << QStringList{"RTS off", "open 1", "RTS off"}
            << QStringList{messages::SettingsNotSaved, "disk full"};
    }
    void configurationChangeClosesTheNewLine()
    {
        QFETCH(Stored, stored);
        QFETCH(QString, refused);
        QFETCH(QStringList, told);
        WindowRig rig;
        rig.store.values = stored;
        rig.serial.refuseOpen = refused.contains("port");
        rig.open();
        QTest::qWait(0);
        rig.messages.clear(); // the start-up's own report
        rig.parallel.writes.clear();
        rig.serial.calls.clear();
        rig.store.refuseWrites = refused.contains("store");
        QFETCH(QString, steps);
        act(rig, steps);
        QTEST(rig.parallel.writes + rig.serial.calls, "driven");
        QCOMPARE(rig.messages.size(), told.isEmpty() ? 0 : 1);
        for (const ui::Message& message : rig.messages) {
            QCOMPARE(message.text, told[0]);
            QVERIFY2(message.informativeText.contains(told[1]),
                     qPrintable(message.informativeText));
        }
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<OptionsDialog*>(window)) {
                QCOMPARE(child<QPushButton>(dialog, "cmdOptionsApply")->isEnabled(),
                         rig.store.refuseWrites);
                QCOMPARE(dialog->isVisible(), steps.endsWith("Apply") || rig.store.refuseWrites);
            }
    }
};

QTEST_MAIN(TestOptionsDialog)
#include "test_options_dialog.moc"
