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
// clear) with its timer ticked by hand, worked through its controls as a user would.
struct Window {
    MemoryStore store;
    FakeParallelPort parallel;
    FakeSerialLine serial;
    FakeTickSource* ticks = new FakeTickSource;
    MainWindow* window = new MainWindow(store, parallel, serial, nullptr, ticks);
    QList<ui::Message> messages;

    Window()
    {
        ui::setMessageHandler([this](const ui::Message& message) { messages << message; });
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->show();
    }
    ~Window()
    {
        ui::setMessageHandler(nullptr);
        delete window;
    }

    template <typename T> T* find(const char* name) const
    {
        auto* child = window->findChild<T*>(QLatin1String(name));
        if (!child)
            qFatal("no control %s", name);
        return child;
    }
    QString caption(const char* label) const { return find<QLabel>(label)->text(); }
    bool enabled(const char* button) const { return find<QPushButton>(button)->isEnabled(); }
    QObject* tmrMain() const { return find<QObject>("tmrMain"); }

    void type(const char* field, const QString& text)
    {
        auto* edit = find<QLineEdit>(field);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    void click(const char* button) { QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton); }
    void enter(const QString& count, const QString& exposure, const QString& delay)
    {
        type("txtNumExposures", count);
        type("txtLXTime", exposure);
        type("txtDelay", delay);
    }

    bool lineOpen() const { return !parallel.bitSet(888, 1); }
    bool idle() const
    {
        return enabled("cmdStart") && !enabled("cmdCancel") && enabled("cmdConnect") &&
               !tmrMain()->property("enabled").toBool() && caption("lblExposureTime") == "0";
    }
};

} // namespace

class TestMainWindowSequence : public QObject {
    Q_OBJECT

private slots:
    void runsASequenceFromTheControls();
    void invalidValuesShowOneMessage();
    void cancelClosesTheShutter();
    void manualButtonAfterASequence();
    void lineLostDuringASequence();
    void closingTheWindowStopsTheTimer();
    void tickDuringAnotherMessageIsReported();
};

void TestMainWindowSequence::runsASequenceFromTheControls()
{
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(w.window));
    QCOMPARE(w.tmrMain()->property("enabled").toBool(), false);
    QVERIFY(!w.lineOpen());

    w.enter("2", "3", "2");
    w.click("cmdStart");
    QCOMPARE(w.caption("lblTotalTime"), "00:00:08");
    QCOMPARE(w.caption("lblExposureTime"), "0");
    QCOMPARE(w.caption("lblExposures"), "0");
    QVERIFY(!w.enabled("cmdStart"));
    QVERIFY(w.enabled("cmdCancel"));
    QVERIFY(!w.enabled("cmdConnect"));
    QCOMPARE(w.tmrMain()->property("enabled").toBool(), true);
    QCOMPARE(w.tmrMain()->property("interval").toInt(), 1000);
    QVERIFY(w.lineOpen());

    QStringList seen;
    while (w.ticks->fire())
        seen << w.caption("lblExposureTime") + "/" + w.caption("lblTotalTime") + "/" +
                    w.caption("lblExposures") + (w.lineOpen() ? "/open" : "/closed");
    QCOMPARE(seen, QStringList({"1/00:00:07/0/open", "2/00:00:06/0/open", "3/00:00:05/1/closed",
                                ".../00:00:04/1/closed", "0/00:00:03/1/open", "1/00:00:02/1/open",
                                "2/00:00:01/1/open", "0/00:00:00/2/closed"}));
    QVERIFY(w.idle());
    QVERIFY(w.messages.isEmpty());
}

void TestMainWindowSequence::invalidValuesShowOneMessage()
{
    Window w;
    w.enter("3", "", "5");
    const QStringList writes = w.parallel.writes;
    w.click("cmdStart");

    QCOMPARE(w.messages.size(), 1);
    QCOMPARE(w.messages[0].text, QString::fromLatin1(messages::InvalidSequenceValues));
    QVERIFY(w.messages[0].informativeText.contains("Exposure Time"));
    QCOMPARE(w.parallel.writes, writes);
    QVERIFY(w.idle());
    QCOMPARE(w.caption("lblTotalTime"), "00:00:00");
}

void TestMainWindowSequence::cancelClosesTheShutter()
{
    Window w;
    w.enter("2", "3", "2");
    w.click("cmdStart");
    w.ticks->fire();
    w.click("cmdCancel");

    QVERIFY(!w.lineOpen());
    QVERIFY(w.idle());
    QCOMPARE(w.caption("lblTotalTime"), "00:00:07");
    QVERIFY(!w.ticks->fire());
}

void TestMainWindowSequence::manualButtonAfterASequence()
{
    Window w;
    w.click("cmdConnect");
    QCOMPARE(w.find<QPushButton>("cmdConnect")->text(), "Close Shutter");
    QVERIFY(w.lineOpen());

    w.enter("1", "1", "1");
    w.click("cmdStart");
    QVERIFY(w.lineOpen());
    w.ticks->fire();
    QVERIFY(!w.lineOpen());
    QVERIFY(w.idle());
    // The sequencer leaves the caption alone; the button goes by the line's state.
    QCOMPARE(w.find<QPushButton>("cmdConnect")->text(), "Close Shutter");

    w.click("cmdConnect");
    QVERIFY(w.lineOpen());
    QCOMPARE(w.find<QPushButton>("cmdConnect")->text(), "Close Shutter");
}

void TestMainWindowSequence::lineLostDuringASequence()
{
    Window w;
    w.enter("2", "2", "1");
    w.click("cmdStart");
    w.ticks->fire();
    w.parallel.fail = true;
    w.ticks->fire();

    QCOMPARE(w.messages.size(), 1);
    QCOMPARE(w.messages[0].text, "The parallel port LPT1 (0x378) is not available");
    QVERIFY(w.idle());
    QVERIFY(!w.ticks->fire());

    w.parallel.fail = false;
    w.click("cmdStart");
    QVERIFY(w.lineOpen());
    QVERIFY(!w.enabled("cmdStart"));
    QCOMPARE(w.messages.size(), 1);
}

void TestMainWindowSequence::closingTheWindowStopsTheTimer()
{
    Window w;
    w.enter("1", "10", "1");
    w.click("cmdStart");
    const QStringList writes = w.parallel.writes;
    w.window->close();

    QCOMPARE(w.tmrMain()->property("enabled").toBool(), false);
    QCOMPARE(w.parallel.writes, writes); // the line is not driven at shut-down
    QVERIFY(w.lineOpen());
}

void TestMainWindowSequence::tickDuringAnotherMessageIsReported()
{
    Window w;
    w.enter("2", "1", "1");
    w.click("cmdStart");
    // Interface, Serial on a port that cannot be opened: while its message is shown, the next
    // tick finds the newly selected line closed and must end the sequence.
    w.serial.refuseOpen = true;
    bool ticked = false;
    ui::setMessageHandler([&](const ui::Message& message) {
        w.messages << message;
        if (!ticked) {
            ticked = true;
            w.ticks->fire();
        }
    });
    w.window->findChild<QAction*>("mnuSerial")->trigger();

    QCOMPARE(w.messages.size(), 2);
    QCOMPARE(w.messages[1].text, QString::fromLatin1(messages::ComPortNotAvailable));
    QVERIFY(w.messages[1].informativeText.contains("stopped"));
    QVERIFY(w.idle());
}

QTEST_MAIN(TestMainWindowSequence)
#include "test_main_window_sequence.moc"
