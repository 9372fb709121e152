// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "fakes/FakePorts.h"
#include "fakes/FakeSequencer.h"
#include "fakes/MemoryStore.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace kestrova;
using namespace kestrova::test;

namespace {

// The main window on the stored defaults (LPT1, bit D1, the shutter open while the bit is
// clear) with its timer ticked by hand; only the wiring is checked here.
struct Window {
    MemoryStore store;
    FakeParallelPort parallel;
    FakeSerialLine serial;
    FakeTickSource* ticks = new FakeTickSource;
    MainWindow window{store, parallel, serial, nullptr, ticks};
    QStringList messages;

    Window()
    {
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        ui::setMessageHandler([this](const ui::Message& message) {
            messages << message.text + '\n' + message.informativeText;
        });
    }
    ~Window() { ui::setMessageHandler(nullptr); }

    template <typename T> T* find(const char* name) const { return window.findChild<T*>(name); }
    void click(const char* button) { find<QPushButton>(button)->click(); }
    void enter(const QString& count, const QString& exposure, const QString& delay)
    {
        find<QLineEdit>("txtNumExposures")->setText(count);
        find<QLineEdit>("txtLXTime")->setText(exposure);
        find<QLineEdit>("txtDelay")->setText(delay);
    }
    bool lineOpen() const { return !parallel.bitSet(888, 1); }

    // The three read-outs, the line, then the buttons and the timer that are enabled.
    QString snapshot() const
    {
        QString seen;
        for (const char* label : {"lblTotalTime", "lblExposureTime", "lblExposures"})
            seen += find<QLabel>(label)->text() + ' ';
        seen += lineOpen() ? "open" : "closed";
        for (const char* name : {"cmdStart", "cmdCancel", "cmdConnect", "tmrMain"})
            if (find<QObject>(name)->property("enabled").toBool())
                seen += QString(' ') + name;
        return seen;
    }
};

} // namespace

class TestMainWindowSequence : public QObject {
    Q_OBJECT

private slots:
    void controlsDriveTheSequencer();
    void eachActionShowsItsOwnMessage();
    void tickDuringAnotherMessageIsReported();
};

void TestMainWindowSequence::controlsDriveTheSequencer()
{
    Window w;
    w.click("cmdConnect"); // opened by hand
    w.enter("2", "2", "1");
    w.click("cmdStart");
    QCOMPARE(w.snapshot(), "00:00:05 0 0 open cmdCancel tmrMain");
    QCOMPARE(w.find<QObject>("tmrMain"), w.ticks);
    QCOMPARE(w.ticks->interval(), 1000);
    QVERIFY(w.ticks->fire());
    QCOMPARE(w.snapshot(), "00:00:04 1 0 open cmdCancel tmrMain");
    w.click("cmdCancel");
    QCOMPARE(w.snapshot(), "00:00:04 0 0 closed cmdStart cmdConnect");
    // The sequencer leaves the manual button's caption alone; the button goes by the line.
    QCOMPARE(w.find<QPushButton>("cmdConnect")->text(), "Close Shutter");
    w.click("cmdConnect");
    QVERIFY(w.lineOpen());

    // Closing the window stops the timer and leaves the line as it is.
    w.click("cmdStart");
    const QStringList writes = w.parallel.writes;
    w.window.close();
    QVERIFY(!w.ticks->isEnabled());
    QCOMPARE(w.parallel.writes, writes);
    QVERIFY(w.messages.isEmpty());
}

void TestMainWindowSequence::eachActionShowsItsOwnMessage()
{
    Window w;
    w.parallel.fail = true;
    w.enter("2", "1", "1");
    w.click("cmdStart");
    w.enter("2", "", "1");
    w.click("cmdStart");

    QCOMPARE(w.messages.size(), 2);
    QVERIFY(w.messages[0].startsWith("The parallel port LPT1 (0x378) is not available\n"));
    QVERIFY(w.messages[0].contains("not started"));
    QVERIFY(w.messages[1].startsWith(messages::InvalidSequenceValues));
}

void TestMainWindowSequence::tickDuringAnotherMessageIsReported()
{
    Window w;
    w.enter("2", "1", "1");
    w.click("cmdStart");
    // Interface, Serial on a port that cannot be opened: while its message is shown, the next
    // tick finds the newly selected line closed and must end the sequence with its own message.
    w.serial.refuseOpen = true;
    ui::setMessageHandler([&](const ui::Message& message) {
        w.messages << message.text;
        if (w.messages.size() == 1)
            w.ticks->fire();
    });
    w.find<QAction>("mnuSerial")->trigger();

    QCOMPARE(w.messages, QStringList(2, messages::ComPortNotAvailable));
    QVERIFY2(w.snapshot().endsWith(" cmdStart cmdConnect"), qPrintable(w.snapshot()));
}

QTEST_MAIN(TestMainWindowSequence)
#include "test_main_window_sequence.moc"
