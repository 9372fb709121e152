// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TerminationSignals.h"
#include "support/WindowRig.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <csignal>

using namespace kestrova;
using namespace kestrova::test;

namespace {

// The main window runs on the stored defaults (LPT1, bit D1, the shutter open while the bit is
// clear) with its timer ticked by hand; only the wiring is checked here.
bool lineOpen(const WindowRig& rig)
{
    return !rig.parallel.bitSet(888, 1);
}

// The three read-outs, the line, then the buttons and the timer that are enabled.
QString snapshot(const WindowRig& rig)
{
    QString seen;
    for (const char* label : {"lblTotalTime", "lblExposureTime", "lblExposures"})
        seen += rig.find<QLabel>(label)->text() + ' ';
    seen += lineOpen(rig) ? "open" : "closed";
    for (const char* name : {"cmdStart", "cmdCancel", "cmdConnect", "tmrMain"})
        if (rig.find<QObject>(name)->property("enabled").toBool())
            seen += QString(' ') + name;
    return seen;
}

} // namespace

class TestMainWindowSequence : public QObject {
    Q_OBJECT

private slots:
    void controlsDriveTheSequencer();
    void closingTheWindowEndsTheSequence_data();
    void closingTheWindowEndsTheSequence();
    void eachActionShowsItsOwnMessage();
    void tickDuringAnotherMessageIsReported();
};

void TestMainWindowSequence::controlsDriveTheSequencer()
{
    WindowRig w;
    w.open();
    w.click("cmdConnect"); // opened by hand
    w.enter("2", "2", "1");
    w.click("cmdStart");
    QCOMPARE(snapshot(w), "00:00:05 0 0 open cmdCancel tmrMain");
    QCOMPARE(w.find<QObject>("tmrMain"), w.ticks);
    QCOMPARE(w.ticks->interval(), 1000);
    QVERIFY(w.ticks->fire());
    QCOMPARE(snapshot(w), "00:00:04 1 0 open cmdCancel tmrMain");
    w.click("cmdCancel");
    QCOMPARE(snapshot(w), "00:00:04 0 0 closed cmdStart cmdConnect");
    // The manual button, enabled again, says what it will do: the sequence closed the shutter.
    auto* connect = w.find<QPushButton>("cmdConnect");
    QCOMPARE(connect->text(), "Open Shutter");
    w.click("cmdConnect");
    QVERIFY(lineOpen(w));
    QCOMPARE(connect->text(), "Close Shutter");

    // A sequence started with the shutter open by hand, ended by itself: the same.
    w.enter("1", "1", "1");
    w.click("cmdStart");
    QVERIFY(w.ticks->fire());
    QCOMPARE(snapshot(w), "00:00:00 0 1 closed cmdStart cmdConnect");
    QCOMPARE(connect->text(), "Open Shutter");
    QVERIFY(w.messages.isEmpty());
}

// Nothing would ever end an exposure left running by a closed window: whichever way the window
// closes, the sequence ends as Cancel ends it. A shutter opened by hand is left as it is.
// clang-format off
void TestMainWindowSequence::closingTheWindowEndsTheSequence_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("sequence");
    QTest::addColumn<QStringList>("writesAtClose");
    QTest::newRow("close box during an exposure") << "close box" << true << QStringList{"set 888 1"};
    QTest::newRow("File, Exit during a pause") << "File, Exit" << true << QStringList{"set 888 1"};
    QTest::newRow("close box, shutter open by hand") << "close box" << false << QStringList{};
    QTest::newRow("logout signal during an exposure") << "SIGTERM" << true << QStringList{"set 888 1"};
}
// clang-format on

void TestMainWindowSequence::closingTheWindowEndsTheSequence()
{
    QFETCH(QString, how);
    QFETCH(bool, sequence);
    WindowRig w;
    w.open();
    w.window->setAttribute(Qt::WA_DeleteOnClose, false);
    if (sequence) {
        w.enter("2", "2", "1");
        w.click("cmdStart");
        if (how == "File, Exit")
            for (int tick = 0; tick < 2; ++tick)
                QVERIFY(w.ticks->fire());
    } else {
        w.click("cmdConnect");
    }
    QCOMPARE(lineOpen(w), how != "File, Exit");
    w.parallel.writes.clear();

    TerminationSignals terminationSignals;
    if (how == "close box")
        w.window->close();
    else if (how == "File, Exit")
        w.trigger("mnuExit");
    else
        ::raise(SIGTERM);
    QTRY_VERIFY(!w.window->isVisible());
    QTEST(w.parallel.writes, "writesAtClose");
    QCOMPARE(lineOpen(w), !sequence);
    QVERIFY(!w.ticks->isEnabled());
    QVERIFY(w.messages.isEmpty());
}

void TestMainWindowSequence::eachActionShowsItsOwnMessage()
{
    WindowRig w;
    w.open();
    w.parallel.fail = true;
    w.enter("2", "1", "1");
    w.click("cmdStart");
    w.enter("2", "", "1");
    w.click("cmdStart");

    QCOMPARE(w.messages.size(), 2);
    QCOMPARE(w.messages[0].text, "The parallel port LPT1 (0x378) is not available");
    QVERIFY(w.messages[0].informativeText.contains("not started"));
    QCOMPARE(w.messages[1].text, messages::InvalidSequenceValues);
}

void TestMainWindowSequence::tickDuringAnotherMessageIsReported()
{
    WindowRig w;
    w.open();
    w.enter("2", "1", "1");
    w.click("cmdStart");
    // Interface, Serial on a port that cannot be opened: while its message is shown, the next
    // tick finds the newly selected line closed and must end the sequence with its own message.
    w.serial.refuseOpen = true;
    ui::setMessageHandler([&](const ui::Message& message) {
        w.messages << message;
        if (w.messages.size() == 1)
            w.ticks->fire();
    });
    w.trigger("mnuSerial");

    QCOMPARE(w.messages.size(), 2);
    for (const ui::Message& message : w.messages)
        QCOMPARE(message.text, messages::ComPortNotAvailable);
    QVERIFY2(snapshot(w).endsWith(" cmdStart cmdConnect"), qPrintable(snapshot(w)));
}

QTEST_MAIN(TestMainWindowSequence)
#include "test_main_window_sequence.moc"
