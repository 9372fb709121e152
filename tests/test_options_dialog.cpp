// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/Messages.h"
#include "control/Messages.h"
#include "fakes/FakeSerialPorts.h"
#include "support/WindowRig.h"
#include "windows/OptionsDialog.h"

#include <QtTest>
#include <QtWidgets>

using namespace kestrova;
using namespace kestrova::test;
using Stored = QMap<QString, QString>; // "Section/Key" -> text

namespace {

// The controls of the six settings, in the order of options::All.
const char* const Controls[] = {"lstPPort", "lstPBit",        "chkPActiveLogic",
                                "lstSPort", "lstControlLine", "chkSActiveLogic"};

// A list's selected position or a box's state as stored: 0 unchecked, 1 checked, 2 greyed.
QString shown(QWidget* dialog, const QString& name)
{
    if (auto* box = qobject_cast<QCheckBox*>(child(dialog, name)))
        return QString::number(box->checkState() == Qt::PartiallyChecked ? 2 : box->isChecked());
    const QList<QListWidgetItem*> selected = child<QListWidget>(dialog, name)->selectedItems();
    return QString::number(
        selected.isEmpty() ? -1 : selected.first()->listWidget()->row(selected.first()));
}

} // namespace

class TestOptionsDialog : public QObject {
    Q_OBJECT

    // Stored settings, what refuses ("port" opens, "store" writes; "close": the window is closed
    // at the message) and the user's clicks ("^": with Ctrl); then the six values the options
    // dialog shows and the store holds (none: no dialog is left), the lines driven and the one
    // message told, text and details.
    static void row(const char* name, const Stored& stored, const char* refused, const char* steps,
                    const char* values, const QStringList& driven, const QStringList& told = {})
    {
        QTest::newRow(name) << stored << QString(refused) << QString(steps) << QString(values)
                            << driven << told;
    }

private slots:
    // A change by Interface, Apply or OK while the shutter is closed and no sequence runs puts the
    // new line at its closed level at once, else from the next phase; it tells what failed once,
    // and each time the stored values taken as their defaults. A refused write keeps the edit for
    // another Apply.
    // clang-format off
    void configurationChangeClosesTheNewLine_data()
    {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QStringList>("driven");
        QTest::addColumn<QStringList>("told");
        const Stored serial{{"Serial Options/Serial Control", "1"}, {"Parallel Options/Parallel Control", "0"}};
        const Stored unreadable{{"Parallel Options/PortBit", "D9"}, {"Serial Options/Serial Control", "D9"}};
        const auto unread = [](const QString& key) { return QStringList{messages::SettingsUnreadable, messages::unreadableSettings({key})}; };
        row("Apply: new bit, the last items; Ctrl+click does not empty a list", {}, "", "lstPBit:5 ^lstPBit:5 ^lstPPort:0 lstSPort:15 lstControlLine:1 cmdOptionsApply", "0 5 0 15 1 1", {"set 888 5"});
        row("OK: new polarity, a click never greys a box", {}, "", "chkPActiveLogic cmdOptionsOK", "0 1 1 0 0 1", {"clr 888 1"});
        row("Cancel puts the stored values back", {{"Parallel Options/PortBit", "7"}}, "", "lstPBit:5 chkPActiveLogic cmdOptionsCancel", "0 7 0 0 0 1", {});
        row("values shown as in force: no port, greyed kept, odd texts as the line reads them", {{"Serial Options/Control Line", "-1"}, {"Serial Options/ActiveLogic", "2"}, {"Parallel Options/PortIndex", "3"}, {"Parallel Options/ActiveLogic", "-1"}, {"Serial Options/PortIndex", "five"}}, "", "lstPBit:2 cmdOptionsApply", "-1 2 1 0 1 2", {}, unread("Serial Options/PortIndex") + QStringList{messages::SelectedParallelPortNotAvailable, messages::parallelIndexUnknown(-1, "LPT1, LPT2 or LPT3")});
        row("a fallback told when the dialog shows the default, and again at OK", unreadable, "", "lstPBit:5 cmdOptionsOK", "0 5 0 0 0 1", {"set 888 5"}, unread("Parallel Options/PortBit") + unread("Serial Options/Serial Control"));
        row("Com17, told and kept while untouched, gives way to the Com number chosen", {{"Serial Options/PortIndex", "16"}}, "", "lstSPort:2 cmdOptionsApply", "0 1 0 2 0 1", {"set 888 1"}, unread("Serial Options/PortIndex"));
        row("closing while a save's message waits unloads the dialog", {}, "store close", "lstPBit:5 cmdOptionsOK", "", {}, {});
        row("a refused write told once, not the missing port too; Apply stays enabled", serial, "port store", "lstPBit:5 cmdOptionsOK", "0 5 0 0 0 1", {"RTS off", "open 1", "RTS off"}, {messages::SettingsNotSaved, "disk full"});
    }
    // clang-format on
    void configurationChangeClosesTheNewLine()
    {
        QFETCH(Stored, stored);
        QFETCH(QString, refused);
        QFETCH(QString, steps);
        QFETCH(QString, values);
        FakeSerialPorts ports;
        ports.plug(QStringLiteral("S0 ch340@ttyUSB0"));
        WindowRig rig;
        rig.store.values = stored;
        rig.serial.refuseOpen = refused.contains("port");
        rig.open(nullptr, &ports);
        QTest::qWait(0);
        rig.messages.clear(); // the start-up's own report
        rig.parallel.writes.clear();
        rig.serial.calls.clear();
        rig.store.refuseWrites = refused.contains("store");
        if (refused.contains("close"))
            ui::setMessageHandler([&](const ui::Message&) { rig.window->close(); });
        rig.play(steps);
        QTEST(rig.parallel.writes + rig.serial.calls, "driven");
        QStringList said;
        for (const Failure& message : rig.messages)
            said << message.text << message.detail;
        QTEST(said, "told");
        if (OptionsDialog* dialog = rig.optionsDialog()) {
            for (int i = 0; i < 6; ++i) {
                QCOMPARE(shown(dialog, Controls[i]), values.section(' ', i, i));
                QCOMPARE(rig.store.read(options::All[i].setting), values.section(' ', i, i));
            }
            QCOMPARE(child<QPushButton>(dialog, "cmdOptionsApply")->isEnabled(),
                     rig.store.refuseWrites);
            QCOMPARE(dialog->isVisible(), steps.contains("Apply") || rig.store.refuseWrites);
        }
    }

    // A save after touching only another interface's box changes nothing in force, whatever
    // text a value is stored as; a value the dialog cannot show is told and kept as it is.
    void untouchedValuesKeepWhatIsInForce_data()
    {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<QStringList>("told");
        const Stored serial{{"Serial Options/Serial Control", "1"},
                            {"Parallel Options/Parallel Control", "0"}};
        for (const QString logic : {"True", "-1", "5", "0.4", "2", "False", "-0"}) {
            QTest::addRow("parallel Active Logic %s", qPrintable(logic))
                << Stored{{"Parallel Options/ActiveLogic", logic}} << QStringList{};
            Stored serialLogic = serial;
            serialLogic.insert("Serial Options/ActiveLogic", logic);
            QTest::addRow("serial Active Logic %s", qPrintable(logic))
                << serialLogic << QStringList{};
        }
        for (const QString line : {" 0", "0.0", "+0", "2", "-1", "0"}) {
            Stored controlLine = serial;
            controlLine.insert("Serial Options/Control Line", line);
            QTest::addRow("Control Line '%s'", qPrintable(line)) << controlLine << QStringList{};
        }
        Stored com17 = serial;
        com17.insert("Serial Options/PortIndex", "16");
        QTest::newRow("Com17, beyond the list: told and kept")
            << com17
            << QStringList{messages::SettingsUnreadable,
                           messages::unreadableSettings({"Serial Options/PortIndex"})};
        QTest::newRow("PortBit 2.5 and LPT2 as 1.0")
            << Stored{{"Parallel Options/PortBit", "2.5"}, {"Parallel Options/PortIndex", "1.0"}}
            << QStringList{};
    }
    void untouchedValuesKeepWhatIsInForce()
    {
        QFETCH(Stored, stored);
        WindowRig rig;
        rig.store.values = stored;
        rig.open();
        const auto inForce = [&rig] {
            const ShutterConfig& c = rig.controller->line().config();
            return QStringList{
                QString::number(int(c.Use)),         QString::number(c.portAddress()),
                QString::number(c.PortBit),          QString::number(c.commPortNumber()),
                QString::number(int(c.ControlLine)), QString::number(c.ActiveLogic)};
        };
        const QStringList before = inForce();
        const bool serialInUse = stored.contains("Serial Options/Serial Control");
        QTest::qWait(0);
        rig.messages.clear(); // the start-up's own report
        rig.play(serialInUse ? "chkPActiveLogic chkPActiveLogic cmdOptionsOK"
                             : "chkSActiveLogic chkSActiveLogic cmdOptionsOK");
        QCOMPARE(inForce(), before);
        QStringList said;
        for (const Failure& message : rig.messages)
            said << message.text << message.detail;
        QTEST(said, "told");
        QVERIFY(!rig.controller->shutterOpen());
        if (stored.value("Serial Options/PortIndex") == "16")
            QCOMPARE(rig.store.values.value("Serial Options/PortIndex"), "16");
    }

    // The Com numbers are looked for, and their tooltips told, each time the dialog is shown.
    void comNumbersAreLookedForAndShown()
    {
        FakeSerialPorts ports;
        ports.plug(QStringLiteral("S0 s1"));
        WindowRig rig;
        rig.open(nullptr, &ports);
        rig.play("cmdOptionsOK");
        ports.plug(QStringLiteral("S0 s1 ch340@ttyUSB0")); // plugged in while the dialog is hidden
        rig.play("mnuOptions");
        QCOMPARE(child<QListWidget>(rig.optionsDialog(), "lstSPort")->item(1)->toolTip(),
                 QStringLiteral("Com2: USB Serial, /dev/ttyUSB0, plugged in"));
    }
};

QTEST_MAIN(TestOptionsDialog)
#include "test_options_dialog.moc"
