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
    const QModelIndexList rows = child<QListWidget>(dialog, name)->selectionModel()->selectedRows();
    return QString::number(rows.isEmpty() ? -1 : rows.first().row());
}

// Two clicks on a box that leave it as it was, then a save of every value.
const char* const Untouched = "chkPActiveLogic chkPActiveLogic cmdOptionsApply";

QStringList unreadable(const QString& key)
{
    return {messages::SettingsUnreadable, messages::unreadableSettings({key})};
}

} // namespace

class TestOptionsDialog : public QObject {
    Q_OBJECT

private slots:
    // Each control shows the value in force, as the line reads the stored text; one the list
    // cannot show (Com17) as no selection, told and kept as stored until another is chosen.
    // Apply and OK save what the dialog shows, and a save that changes no value changes nothing in
    // force; Cancel shows the stored values again. A value that cannot be read is told when the
    // dialog shows its default. A refused write keeps the edit for another Apply. Rows: stored
    // settings, what refuses ("store": writes; "close": the window is closed at the message) and
    // the user's clicks ("^": with Ctrl); then the six values the dialog shows and the store
    // holds (none: no dialog is left), and each message told.
    // clang-format off
    void showsAndSaves_data()
    {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QStringList>("told");
        for (const QString logic : {"True", "-1", "5", "0.4"})
            QTest::addRow("Active Logic %s is checked", qPrintable(logic)) << Stored{{"Parallel Options/ActiveLogic", logic}} << "" << Untouched << "0 1 1 0 0 1" << QStringList{};
        for (const QString line : {" 0", "0.0", "+0", "2"})
            QTest::addRow("Control Line '%s' is DTR", qPrintable(line)) << Stored{{"Serial Options/Control Line", line}} << "" << Untouched << "0 1 0 0 1 1" << QStringList{};
        QTest::newRow("LPT2 as 1.0, the tie 2.5 as D2, greyed shown and kept") << Stored{{"Parallel Options/PortIndex", "1.0"}, {"Parallel Options/PortBit", "2.5"}, {"Serial Options/ActiveLogic", "2"}} << "" << Untouched << "1 2 0 0 0 2" << QStringList{};
        QTest::newRow("no parallel port: no selection") << Stored{{"Parallel Options/PortIndex", "3"}} << "" << Untouched << "-1 1 0 0 0 1" << QStringList{messages::SelectedParallelPortNotAvailable, messages::parallelIndexUnknown(-1, "LPT1, LPT2 or LPT3")};
        QTest::newRow("Com17: no selection, told and kept") << Stored{{"Serial Options/PortIndex", "16"}} << "" << Untouched << "0 1 0 -1 0 1" << unreadable("Serial Options/PortIndex");
        QTest::newRow("Com17 gives way to the Com number chosen") << Stored{{"Serial Options/PortIndex", "16"}} << "" << "lstSPort:2 cmdOptionsApply" << "0 1 0 2 0 1" << unreadable("Serial Options/PortIndex");
        QTest::newRow("Apply: new bit, the last items; Ctrl+click does not empty a list") << Stored{} << "" << "lstPBit:5 ^lstPBit:5 ^lstPPort:0 lstSPort:15 lstControlLine:1 cmdOptionsApply" << "0 5 0 15 1 1" << QStringList{};
        QTest::newRow("OK: new polarity, a click never greys a box") << Stored{} << "" << "chkPActiveLogic cmdOptionsOK" << "0 1 1 0 0 1" << QStringList{};
        QTest::newRow("Cancel puts the stored values back, Com17 as no selection") << Stored{{"Parallel Options/PortBit", "7"}, {"Serial Options/PortIndex", "16"}} << "" << "lstPBit:5 chkPActiveLogic lstSPort:2 cmdOptionsCancel" << "0 7 0 -1 0 1" << unreadable("Serial Options/PortIndex");
        QTest::newRow("a fallback told when the dialog shows the default, and again at OK") << Stored{{"Parallel Options/PortBit", "D9"}, {"Serial Options/Serial Control", "D9"}} << "" << "lstPBit:5 cmdOptionsOK" << "0 5 0 0 0 1" << unreadable("Parallel Options/PortBit") + unreadable("Serial Options/Serial Control");
        QTest::newRow("closing while a save's message waits unloads the dialog") << Stored{} << "store close" << "lstPBit:5 cmdOptionsOK" << "" << QStringList{};
        QTest::newRow("a refused write told; the dialog stays open, Apply enabled") << Stored{} << "store" << "lstPBit:5 cmdOptionsOK" << "0 5 0 0 0 1" << QStringList{messages::SettingsNotSaved, "disk full"};
    }
    // clang-format on
    void showsAndSaves()
    {
        QFETCH(Stored, stored);
        QFETCH(QString, refused);
        QFETCH(QString, steps);
        QFETCH(QString, values);
        WindowRig rig;
        rig.store.values = stored;
        rig.open();
        const auto inForce = [&rig] {
            const ShutterConfig& c = rig.controller->line().config();
            return std::tuple(c.Use, c.portAddress(), c.PortBit, c.SerialPortIndex, c.ControlLine,
                              c.ActiveLogic);
        };
        const auto before = inForce();
        QTest::qWait(0);
        rig.messages.clear(); // the start-up's own report
        rig.store.refuseWrites = refused.contains("store");
        if (refused.contains("close"))
            ui::setMessageHandler([&](const ui::Message&) { rig.window->close(); });
        rig.play(steps);
        QStringList told;
        for (const Failure& message : rig.messages)
            told << message.text << message.detail;
        QTEST(told, "told");
        if (steps == Untouched)
            QCOMPARE(inForce(), before);
        OptionsDialog* dialog = rig.optionsDialog();
        QCOMPARE(dialog != nullptr, !values.isEmpty());
        if (!dialog)
            return;
        for (int i = 0; i < 6; ++i) {
            const QString value = values.section(' ', i, i);
            QCOMPARE(shown(dialog, Controls[i]), value);
            // The Com number the list cannot show is kept as stored.
            QCOMPARE(rig.store.read(options::All[i].setting),
                     i == 3 && value == "-1" ? stored.value("Serial Options/PortIndex") : value);
        }
        QCOMPARE(child<QPushButton>(dialog, "cmdOptionsApply")->isEnabled(),
                 rig.store.refuseWrites);
        QCOMPARE(dialog->isVisible(), steps.contains("Apply") || rig.store.refuseWrites);
    }

    // The Com numbers are looked for, and their tooltips told, each time the dialog is shown.
    void comNumbersAreLookedForAndShown()
    {
        FakeSerialPorts ports;
        WindowRig rig;
        rig.open(&ports);
        rig.play("cmdOptionsOK");
        ports.plug(QStringLiteral("ch340@ttyUSB0")); // plugged in while the dialog is hidden
        rig.play("mnuOptions");
        QCOMPARE(child<QListWidget>(rig.optionsDialog(), "lstSPort")->item(0)->toolTip(),
                 QStringLiteral("Com1: USB Serial, /dev/ttyUSB0, plugged in"));
    }
};

QTEST_MAIN(TestOptionsDialog)
#include "test_options_dialog.moc"
