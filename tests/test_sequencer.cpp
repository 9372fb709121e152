#include "app/Sequencer.h"
#include "fakes/FakePorts.h"
#include "fakes/FakeSequencer.h"
#include "shutter/ShutterLine.h"

#include <QTest>
#include <functional>

using namespace kestrova;
using namespace kestrova::test;

namespace {

const QString InvalidValues = QString::fromLatin1(messages::InvalidSequenceValues);
const QString PortGone = QStringLiteral("The parallel port LPT1 (0x378) is not available");

// A parallel port whose shutter-open or shutter-closed writes can be made to fail; the rig
// opens the shutter with a set bit.
class BreakablePort : public FakeParallelPort {
public:
    void setPortBit(int address, std::uint8_t bit) override
    {
        if (failOpen)
            throw LineFailure(PortGone, QStringLiteral("LPT1 was unplugged."));
        FakeParallelPort::setPortBit(address, bit);
    }
    void clrPortBit(int address, std::uint8_t bit) override
    {
        if (failClose)
            throw LineFailure(PortGone, QStringLiteral("LPT1 was unplugged."));
        FakeParallelPort::clrPortBit(address, bit);
    }
    bool failOpen = false;
    bool failClose = false;
};

// The sequencer with its controls, its line on bit D1 of LPT1 and a timer ticked by hand.
struct Rig {
    BreakablePort port;
    FakeSerialLine serial;
    ShutterLine line{port, serial};
    FakeTickSource ticks;
    FakeSequencerControls controls{ticks};
    Sequencer sequencer{controls, line, ticks};

    Rig()
    {
        ShutterConfig& config = line.config();
        config.UseParallel = true;
        config.PortAddress = 888;
        config.PortBit = 1;
        config.ActiveLogic = true;
        QObject::connect(&ticks, &TickSource::timeout, &ticks, [this] { sequencer.Tick(); });
    }

    void enter(const QString& count, const QString& exposure, const QString& delay)
    {
        controls.txtNumExposures = count;
        controls.txtLXTime = exposure;
        controls.txtDelay = delay;
    }

    bool lineOpen() const { return port.bitSet(888, 1); }

    // Everything a user can see or measure, in one comparable line.
    QString snapshot() const
    {
        return describe(controls.lblTotalTime, controls.lblExposureTime, controls.lblExposures,
                        lineOpen(), controls.cmdStart, controls.cmdCancel, controls.cmdConnect,
                        ticks.isEnabled(), int(port.writes.size()));
    }

    static QString describe(const QString& total, const QString& exposure, const QString& done,
                            bool open, bool start, bool cancel, bool connect, bool timer,
                            int writes)
    {
        const auto onOff = [](bool on) {
            return on ? QStringLiteral("on") : QStringLiteral("off");
        };
        return QStringLiteral("total=%1 exposure=%2 done=%3 line=%4 start=%5 cancel=%6 "
                              "connect=%7 timer=%8 writes=%9")
            .arg(total, exposure, done, open ? QStringLiteral("open") : QStringLiteral("closed"),
                 onOff(start), onOff(cancel), onOff(connect), onOff(timer))
            .arg(writes);
    }

    // Ticks until the timer stops, at most limit times. observe sees every tick's number,
    // counted over the rig's life, and whether the line changed level on it. Returns the number
    // of ticks delivered in this call.
    int runToEnd(int limit, const std::function<void(int, bool)>& observe = {})
    {
        int delivered = 0;
        while (delivered < limit) {
            const bool wasOpen = lineOpen();
            if (!ticks.fire())
                break;
            ++delivered;
            ++ticksSoFar;
            if (observe)
                observe(ticksSoFar, lineOpen() != wasOpen);
        }
        return delivered;
    }

    int ticksSoFar = 0;

    bool idle() const
    {
        return !sequencer.running() && !ticks.isEnabled() && controls.cmdStart &&
               !controls.cmdCancel && controls.cmdConnect && controls.lblExposureTime == "0";
    }
};

// The tick numbers at which N exposures of E ticks with D ticks between them open and close the
// shutter; the opening at Start is tick 0.
QList<int> edgeTicks(int count, int exposure, int delay)
{
    QList<int> edges;
    for (int i = 0; i < count; ++i) {
        edges << i * (exposure + delay) << i * (exposure + delay) + exposure;
    }
    return edges;
}

} // namespace

class TestSequencer : public QObject {
    Q_OBJECT

private slots:
    void splitTime_data();
    void splitTime();

    void walkThroughTwoExposures();
    void singleExposureHasNoPause_data();
    void singleExposureHasNoPause();
    void fractionsRoundToEven_data();
    void fractionsRoundToEven();
    void rejectsValuesThatMakeNoSequence_data();
    void rejectsValuesThatMakeNoSequence();
    void failedStartLeavesLastReadouts();
    void longestSequences_data();
    void longestSequences();

    void editsApplyAtTheNextPhase();
    void lengthenedRunHoldsTotalAtZero();
    void cancelInPauseThenStart();
    void manuallyOpenedShutterIsClosedAtTheEnd();

    void lineFailsAtStart_data();
    void lineFailsAtStart();
    void valueUnusableAtPhaseChange_data();
    void valueUnusableAtPhaseChange();
    void lineFailsDuringSequence_data();
    void lineFailsDuringSequence();
    void shutterLeftOpenOutweighsAnUnusableValue();
};

void TestSequencer::splitTime_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("secs");
    QTest::addColumn<QString>("caption");

    QTest::newRow("nothing left") << 0 << 0 << 0 << 0 << "00:00:00";
    QTest::newRow("just under a minute") << 59 << 0 << 0 << 59 << "00:00:59";
    QTest::newRow("one minute") << 60 << 0 << 1 << 0 << "00:01:00";
    QTest::newRow("just under an hour") << 3599 << 0 << 59 << 59 << "00:59:59";
    QTest::newRow("one hour") << 3600 << 1 << 0 << 0 << "01:00:00";
    QTest::newRow("longest sequence") << 32767 << 9 << 6 << 7 << "09:06:07";
}

void TestSequencer::splitTime()
{
    QFETCH(int, seconds);
    QFETCH(int, hours);
    QFETCH(int, minutes);
    QFETCH(int, secs);
    QFETCH(QString, caption);

    SequenceState state;
    SplitTime(Int16(seconds), state);
    QCOMPARE(int(state.Hours), hours);
    QCOMPARE(int(state.Minutes), minutes);
    QCOMPARE(int(state.Seconds), secs);
    QCOMPARE(timeCaption(state), caption);
}

void TestSequencer::walkThroughTwoExposures()
{
    struct After {
        const char* when;
        const char* total;
        const char* exposure;
        const char* done;
        bool open;
        bool running;
        int writes;
    };
    // N = 2, E = 3, D = 2: 2 x 3 + 1 x 2 = 8 ticks.
    const After rows[] = {
        {"Start", "00:00:08", "0", "0", true, true, 1},
        {"tick 1", "00:00:07", "1", "0", true, true, 1},
        {"tick 2", "00:00:06", "2", "0", true, true, 1},
        {"tick 3 ends the first exposure", "00:00:05", "3", "1", false, true, 2},
        {"tick 4 in the pause", "00:00:04", "...", "1", false, true, 2},
        {"tick 5 ends the pause", "00:00:03", "0", "1", true, true, 3},
        {"tick 6", "00:00:02", "1", "1", true, true, 3},
        {"tick 7", "00:00:01", "2", "1", true, true, 3},
        {"tick 8 ends the sequence", "00:00:00", "0", "2", false, false, 4},
    };

    Rig rig;
    rig.enter("2", "3", "2");
    rig.sequencer.Start();
    QCOMPARE(rig.ticks.interval(), 1000);
    for (const After& row : rows) {
        if (row.when != rows[0].when)
            QVERIFY2(rig.ticks.fire(), row.when);
        const QString expected =
            Rig::describe(row.total, row.exposure, row.done, row.open, !row.running, row.running,
                          !row.running, row.running, row.writes);
        QCOMPARE(rig.snapshot() + " after " + row.when, expected + " after " + row.when);
    }
    QVERIFY(!rig.ticks.fire());
    QCOMPARE(int(rig.sequencer.state().TotalRemaining), 0);
    QCOMPARE(int(rig.sequencer.state().ExposuresDone), 2);
    QVERIFY(rig.controls.messages.isEmpty());
}

void TestSequencer::singleExposureHasNoPause_data()
{
    QTest::addColumn<QString>("delay");

    QTest::newRow("delay given") << "5";
    QTest::newRow("delay zero") << "0";
    QTest::newRow("delay negative") << "-4";
}

void TestSequencer::singleExposureHasNoPause()
{
    QFETCH(QString, delay);

    Rig rig;
    rig.enter("1", "2", delay);
    rig.sequencer.Start();
    QCOMPARE(rig.controls.lblTotalTime, "00:00:02");
    QVERIFY(rig.lineOpen());

    QStringList exposureCaptions;
    const int ticks =
        rig.runToEnd(10, [&](int, bool) { exposureCaptions << rig.controls.lblExposureTime; });
    QCOMPARE(ticks, 2);
    QCOMPARE(exposureCaptions, QStringList({"1", "0"}));
    QCOMPARE(rig.controls.lblExposures, "1");
    QVERIFY(!rig.lineOpen());
    QVERIFY(rig.idle());
    QVERIFY(rig.controls.messages.isEmpty());
}

void TestSequencer::fractionsRoundToEven_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("exposure");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QList<int>>("edges");

    QTest::newRow("exposure 2.5 is 2 s") << "1"
                                         << "2.5"
                                         << "00:00:02" << QList<int>{0, 2};
    QTest::newRow("exposure 3.5 is 4 s") << "1"
                                         << "3.5"
                                         << "00:00:04" << QList<int>{0, 4};
    QTest::newRow("count 1.5 is 2 exposures") << "1.5"
                                              << "1"
                                              << "00:00:03" << QList<int>{0, 1, 2, 3};
}

void TestSequencer::fractionsRoundToEven()
{
    QFETCH(QString, count);
    QFETCH(QString, exposure);
    QFETCH(QString, total);
    QFETCH(QList<int>, edges);

    Rig rig;
    rig.enter(count, exposure, "1");
    rig.sequencer.Start();
    QCOMPARE(rig.controls.lblTotalTime, total);
    QList<int> seen{0};
    rig.runToEnd(100, [&](int tick, bool changed) {
        if (changed)
            seen << tick;
    });
    QCOMPARE(seen, edges);
}

void TestSequencer::rejectsValuesThatMakeNoSequence_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("exposure");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<QString>("named");

    QTest::newRow("empty number of exposures") << ""
                                               << "10"
                                               << "5"
                                               << "Number of Exposures";
    QTest::newRow("word as exposure time") << "3"
                                           << "ten"
                                           << "5"
                                           << "Exposure Time";
    QTest::newRow("delay above 32767") << "3"
                                       << "10"
                                       << "32768"
                                       << "Delay Between Exposures";
    QTest::newRow("blank delay") << "3"
                                 << "10"
                                 << "   "
                                 << "Delay Between Exposures";
    QTest::newRow("hexadecimal count") << "&H10"
                                       << "10"
                                       << "5"
                                       << "Number of Exposures";
    QTest::newRow("no exposures") << "0"
                                  << "10"
                                  << "5"
                                  << "Number of Exposures";
    QTest::newRow("negative number of exposures") << "-2"
                                                  << "10"
                                                  << "5"
                                                  << "Number of Exposures";
    QTest::newRow("zero exposure time") << "3"
                                        << "0"
                                        << "5"
                                        << "Exposure Time";
    QTest::newRow("exposure time rounding to zero") << "1"
                                                    << "0.4"
                                                    << "5"
                                                    << "Exposure Time";
    QTest::newRow("negative exposure time") << "1"
                                            << "-1"
                                            << "5"
                                            << "Exposure Time";
    QTest::newRow("no delay between exposures") << "2"
                                                << "10"
                                                << "0"
                                                << "Delay Between Exposures";
    QTest::newRow("negative delay between exposures") << "2"
                                                      << "10"
                                                      << "-5"
                                                      << "Delay Between Exposures";
    QTest::newRow("100 x 300 s with 30 s between") << "100"
                                                   << "300"
                                                   << "30"
                                                   << "32767 seconds";
    QTest::newRow("one second over the longest") << "2"
                                                 << "16383"
                                                 << "2"
                                                 << "32767 seconds";
    QTest::newRow("exposures times seconds overflows") << "32767"
                                                       << "2"
                                                       << "1"
                                                       << "32767 seconds";
}

void TestSequencer::rejectsValuesThatMakeNoSequence()
{
    QFETCH(QString, count);
    QFETCH(QString, exposure);
    QFETCH(QString, delay);
    QFETCH(QString, named);

    Rig rig;
    rig.enter(count, exposure, delay);
    const QString before = rig.snapshot();
    rig.sequencer.Start();

    QCOMPARE(rig.controls.messages.size(), 1);
    QCOMPARE(rig.controls.messages[0].text, InvalidValues);
    QVERIFY2(rig.controls.messages[0].detail.contains(named),
             qPrintable(rig.controls.messages[0].detail));
    QVERIFY(!rig.controls.messages[0].timerEnabled);
    QCOMPARE(rig.snapshot(), before);
    QVERIFY(!rig.sequencer.running());
}

void TestSequencer::failedStartLeavesLastReadouts()
{
    Rig rig;
    rig.enter("2", "1", "1");
    rig.sequencer.Start();
    rig.runToEnd(10);
    const QString finished = rig.snapshot();

    rig.controls.txtLXTime = "soon";
    rig.sequencer.Start();
    QCOMPARE(rig.controls.messages.size(), 1);
    QCOMPARE(rig.snapshot(), finished);
}

void TestSequencer::longestSequences_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("exposure");
    QTest::addColumn<int>("delay");

    QTest::newRow("one exposure of 32767 s") << 1 << 32767 << 1;
    QTest::newRow("two exposures of 16383 s, 1 s between") << 2 << 16383 << 1;
    QTest::newRow("16384 exposures of 1 s, 1 s between") << 16384 << 1 << 1;
    QTest::newRow("10922 exposures of 2 s, 1 s between") << 10922 << 2 << 1;
}

void TestSequencer::longestSequences()
{
    QFETCH(int, count);
    QFETCH(int, exposure);
    QFETCH(int, delay);
    const int total = count * exposure + (count - 1) * delay;
    const QList<int> expectedEdges = edgeTicks(count, exposure, delay);

    Rig rig;
    rig.enter(QString::number(count), QString::number(exposure), QString::number(delay));
    rig.sequencer.Start();
    SequenceState split;
    SplitTime(Int16(total), split);
    QCOMPARE(rig.controls.lblTotalTime, timeCaption(split));

    QList<int> edges{0};
    QStringList wrong;
    const int ticks = rig.runToEnd(40000, [&](int tick, bool changed) {
        if (!changed)
            return;
        edges << tick;
        // What the read-outs say at each phase change.
        const int closings = int(edges.size()) / 2;
        const bool closed = edges.size() % 2 == 0;
        const bool last = tick == total;
        const QString exposureCaption =
            closed && !last ? QString::number(exposure) : QStringLiteral("0");
        if (rig.controls.lblExposures != QString::number(closings) ||
            rig.controls.lblExposureTime != exposureCaption ||
            int(rig.sequencer.state().TotalRemaining) != total - tick)
            wrong << QStringLiteral("tick %1: %2").arg(tick).arg(rig.snapshot());
    });

    QCOMPARE(ticks, total);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 3).join('\n')));
    QCOMPARE(edges, expectedEdges);
    QCOMPARE(rig.controls.lblTotalTime, "00:00:00");
    QCOMPARE(rig.controls.lblExposures, QString::number(count));
    QVERIFY(!rig.lineOpen());
    QVERIFY(rig.idle());
    QVERIFY(rig.controls.messages.isEmpty());
}

void TestSequencer::editsApplyAtTheNextPhase()
{
    // 3 x 3 s with 2 s between is 13 s at Start.
    Rig rig;
    rig.enter("3", "3", "2");
    rig.sequencer.Start();
    QList<int> edges{0};
    QStringList totals;
    const auto observe = [&](int tick, bool changed) {
        if (changed)
            edges << tick;
        totals << rig.controls.lblTotalTime;
    };

    rig.runToEnd(1, observe);
    rig.controls.txtDelay = "5";        // the next pauses last 5 s
    rig.controls.txtNumExposures = "9"; // read at Start only
    rig.runToEnd(3, observe);           // first exposure ended at tick 3, pause running
    rig.controls.txtLXTime = "1";       // the next exposures last 1 s
    const int ticks = 4 + rig.runToEnd(100, observe);

    QCOMPARE(edges, QList<int>({0, 3, 8, 9, 14, 15}));
    QCOMPARE(ticks, 15);
    // The total counts down from the value computed at Start, whatever was edited.
    QCOMPARE(totals.mid(0, 4), QStringList({"00:00:12", "00:00:11", "00:00:10", "00:00:09"}));
    QCOMPARE(totals.at(12), "00:00:00");
    QCOMPARE(rig.controls.lblExposures, "3");
    QVERIFY(rig.idle());
}

void TestSequencer::lengthenedRunHoldsTotalAtZero()
{
    // 3 x 1 s with 1 s between is 5 s at Start; the second and third exposures are made
    // 32767 s long, so the sequence runs 65537 ticks.
    Rig rig;
    rig.enter("3", "1", "1");
    rig.sequencer.Start();
    rig.controls.txtLXTime = "32767";
    int lowest = 32767;
    const int ticks = rig.runToEnd(70000, [&](int, bool) {
        lowest = std::min(lowest, int(rig.sequencer.state().TotalRemaining));
    });

    QCOMPARE(ticks, 1 + 1 + 32767 + 1 + 32767);
    QCOMPARE(lowest, 0);
    QCOMPARE(rig.controls.lblTotalTime, "00:00:00");
    QCOMPARE(rig.controls.lblExposures, "3");
    QVERIFY(rig.idle());
    QVERIFY(rig.controls.messages.isEmpty());
}

void TestSequencer::cancelInPauseThenStart()
{
    Rig rig;
    rig.enter("2", "2", "3"); // 7 s
    rig.sequencer.Start();
    rig.runToEnd(3); // the exposure ended at tick 2; tick 3 is in the pause
    QCOMPARE(rig.controls.lblExposureTime, "...");

    rig.sequencer.Cancel();
    QCOMPARE(rig.snapshot(), Rig::describe("00:00:04", "0", "1", false, true, false, true, false,
                                           3)); // Cancel drives the line closed again
    QVERIFY(!rig.ticks.fire());

    rig.sequencer.Start();
    QCOMPARE(rig.snapshot(),
             Rig::describe("00:00:07", "0", "0", true, false, true, false, true, 4));
    QVERIFY(rig.sequencer.state().Exposing);
    QVERIFY(rig.ticks.fire());
    QCOMPARE(rig.snapshot(),
             Rig::describe("00:00:06", "1", "0", true, false, true, false, true, 4));
}

void TestSequencer::manuallyOpenedShutterIsClosedAtTheEnd()
{
    Rig rig;
    rig.line.openShutter(); // by hand
    rig.enter("1", "2", "1");
    rig.sequencer.Start();
    QVERIFY(rig.lineOpen());
    QVERIFY(rig.line.shutterOpen());

    rig.runToEnd(10);
    QVERIFY(!rig.lineOpen());
    QVERIFY(!rig.line.shutterOpen()); // the manual button opens it again on its next click
    QVERIFY(rig.idle());
}

void TestSequencer::lineFailsAtStart_data()
{
    QTest::addColumn<bool>("closeWorks");
    QTest::addColumn<bool>("serial");

    QTest::newRow("open fails, close works") << true << false;
    QTest::newRow("parallel port gone") << false << false;
    QTest::newRow("serial port not open") << false << true;
}

void TestSequencer::lineFailsAtStart()
{
    QFETCH(bool, closeWorks);
    QFETCH(bool, serial);

    Rig rig;
    QString expectedText = PortGone;
    if (serial) {
        rig.line.config().UseParallel = false;
        rig.line.config().UseSerial = true;
        rig.line.config().ControlLine = "RTS";
        rig.line.config().CommPortNumber = 3;
        expectedText = QString::fromLatin1(messages::ComPortNotAvailable);
    } else {
        rig.port.failOpen = true;
        rig.port.failClose = !closeWorks;
    }
    rig.enter("2", "3", "2");
    rig.sequencer.Start();

    QCOMPARE(rig.controls.messages.size(), 1);
    QCOMPARE(rig.controls.messages[0].text, expectedText);
    QVERIFY(!rig.controls.messages[0].timerEnabled);
    QVERIFY(rig.idle());
    QVERIFY(!rig.line.shutterOpen());
    if (closeWorks)
        QCOMPARE(rig.port.writes, QStringList({"clr 888 1"}));

    // Mended, the line works again with the next Start.
    rig.port.failOpen = rig.port.failClose = false;
    rig.line.config().UseParallel = true;
    rig.line.config().UseSerial = false;
    rig.sequencer.Start();
    QVERIFY(rig.sequencer.state().Exposing);
    QVERIFY(rig.lineOpen());
    QCOMPARE(rig.controls.messages.size(), 1);
}

void TestSequencer::valueUnusableAtPhaseChange_data()
{
    QTest::addColumn<bool>("delayField");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("endTick");
    QTest::addColumn<QString>("done");

    // 3 x 2 s with 2 s between: the first exposure ends at tick 2, the pause at tick 4.
    QTest::newRow("delay emptied during an exposure") << true << "" << 2 << "1";
    QTest::newRow("delay made a word") << true << "soon" << 2 << "1";
    QTest::newRow("delay made zero") << true << "0" << 2 << "1";
    QTest::newRow("delay made negative") << true << "-3" << 2 << "1";
    QTest::newRow("exposure time emptied during a pause") << false << "" << 4 << "1";
    QTest::newRow("exposure time above 32767") << false << "40000" << 4 << "1";
    QTest::newRow("exposure time made zero") << false << "0" << 4 << "1";
}

void TestSequencer::valueUnusableAtPhaseChange()
{
    QFETCH(bool, delayField);
    QFETCH(QString, text);
    QFETCH(int, endTick);
    QFETCH(QString, done);

    Rig rig;
    rig.enter("3", "2", "2");
    rig.sequencer.Start();
    rig.runToEnd(delayField ? 1 : 3);
    (delayField ? rig.controls.txtDelay : rig.controls.txtLXTime) = text;
    const int ticks = (delayField ? 1 : 3) + rig.runToEnd(100);

    QCOMPARE(ticks, endTick);
    QVERIFY(!rig.lineOpen());
    QVERIFY(!rig.line.shutterOpen());
    QVERIFY(rig.idle());
    QCOMPARE(rig.controls.lblExposures, done);
    QCOMPARE(rig.controls.messages.size(), 1);
    QCOMPARE(rig.controls.messages[0].text, InvalidValues);
    QVERIFY(!rig.controls.messages[0].timerEnabled);

    // The program goes on: a corrected field starts the next sequence.
    (delayField ? rig.controls.txtDelay : rig.controls.txtLXTime) = "2";
    rig.sequencer.Start();
    QVERIFY(rig.sequencer.state().Exposing);
}

void TestSequencer::lineFailsDuringSequence_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("failBeforeTick");
    QTest::addColumn<int>("endTick");
    QTest::addColumn<QString>("text");

    const QString com = QString::fromLatin1(messages::ComPortNotAvailable);
    // 2 x 2 s with 1 s between: edges at ticks 2, 3 and 5.
    QTest::newRow("close fails at the end of an exposure") << "close" << 2 << 2 << PortGone;
    QTest::newRow("open fails at the end of a pause") << "open" << 3 << 3 << PortGone;
    QTest::newRow("close fails at the end of the sequence") << "close" << 5 << 5 << PortGone;
    QTest::newRow("serial adapter pulled out during an exposure") << "serial" << 1 << 2 << com;
    QTest::newRow("port gone when Cancel is clicked") << "cancel" << 2 << 1 << PortGone;
}

void TestSequencer::lineFailsDuringSequence()
{
    QFETCH(QString, failure);
    QFETCH(int, failBeforeTick);
    QFETCH(int, endTick);
    QFETCH(QString, text);

    Rig rig;
    if (failure == "serial") {
        rig.line.config().UseParallel = false;
        rig.line.config().UseSerial = true;
        rig.line.config().ControlLine = "RTS";
        rig.serial.open(1);
    }
    rig.enter("2", "2", "1");
    rig.sequencer.Start();
    int ticks = rig.runToEnd(failBeforeTick - 1);
    if (failure == "serial") {
        rig.serial.failSwitch = true;
    } else {
        rig.port.failOpen = failure != "close";
        rig.port.failClose = failure != "open";
    }
    if (failure == "cancel")
        rig.sequencer.Cancel();
    ticks += rig.runToEnd(100);

    QCOMPARE(ticks, endTick);
    QVERIFY(rig.idle());
    QCOMPARE(rig.controls.messages.size(), 1);
    QCOMPARE(rig.controls.messages[0].text, text);
    QVERIFY(!rig.controls.messages[0].timerEnabled);
    QVERIFY(!rig.ticks.fire());
}

void TestSequencer::shutterLeftOpenOutweighsAnUnusableValue()
{
    Rig rig;
    rig.enter("2", "2", "2");
    rig.sequencer.Start();
    rig.runToEnd(1);
    rig.controls.txtDelay = "soon";
    rig.port.failClose = true;
    rig.runToEnd(100);

    QVERIFY(rig.idle());
    QVERIFY(rig.lineOpen());
    QCOMPARE(rig.controls.messages.size(), 1);
    QCOMPARE(rig.controls.messages[0].text, PortGone);
    QVERIFY(rig.controls.messages[0].detail.contains("may still be open"));
    QVERIFY(!rig.controls.messages[0].timerEnabled);
}

QTEST_GUILESS_MAIN(TestSequencer)
#include "test_sequencer.moc"
