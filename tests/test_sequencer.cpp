// SPDX-License-Identifier: GPL-3.0-or-later
#include "control/ScheduledTimer.h"
#include "control/Sequencer.h"
#include "fakes/FakePorts.h"
#include "fakes/FakeTickSource.h"
#include "shutter/ShutterLine.h"

#include <QTest>

#include <utility>

using namespace kestrova;
using namespace kestrova::test;

namespace {

// The sequencer driving bit D1 of LPT1, with a timer ticked by hand and its read-outs kept as
// the window shows them. Each message is kept as "text\ndetail", marked when the timer was still
// running.
struct Rig {
    FakeParallelPort port;
    FakeSerialLine serial;
    ShutterLine line{port, serial};
    FakeTickSource ticks;
    QString lblTotalTime = "00:00:00", lblExposureTime = "0", lblExposures = "0";
    bool running = false; // as runningChanged last said, which the buttons follow
    QStringList messages;
    Sequencer sequencer{line, ticks};
    int ticked = 0; // since the last start()

    // Steps are space-separated: "count=..", "exposure=..", "delay=..", "cancel", and "!open"
    // or "!close" for a line that fails to open or to close from then on.
    explicit Rig(const QString& steps)
    {
        line.configure({Interface::Parallel, 0, 1, 0, ControlLine::Rts, true});
        QObject::connect(&ticks, &TickSource::timeout, &ticks, [this] { sequencer.Tick(); });
        QObject::connect(&sequencer, &Sequencer::totalTimeChanged,
                         [this](const QString& caption) { lblTotalTime = caption; });
        QObject::connect(&sequencer, &Sequencer::exposureTimeChanged,
                         [this](const QString& caption) { lblExposureTime = caption; });
        QObject::connect(&sequencer, &Sequencer::exposuresChanged,
                         [this](const QString& caption) { lblExposures = caption; });
        QObject::connect(&sequencer, &Sequencer::runningChanged,
                         [this](bool now) { running = now; });
        QObject::connect(&sequencer, &Sequencer::message, [this](const Failure& failure) {
            messages << (ticks.isEnabled() ? "[timer running] " : "") + failure.text + '\n' +
                            failure.detail;
        });
        apply(steps);
    }
    void apply(const QString& steps)
    {
        for (const QString& step : steps.split(' ', Qt::SkipEmptyParts)) {
            const QString value = step.section('=', 1);
            if (step == "!open")
                port.failSet = true;
            else if (step == "!close")
                port.failClear = true;
            else if (step == "cancel")
                sequencer.Cancel();
            else if (step.startsWith("count="))
                sequencer.setNumExposuresText(value);
            else if (step.startsWith("delay="))
                sequencer.setDelayText(value);
            else
                sequencer.setExposureTimeText(value);
        }
    }

    bool open() const { return port.bitSet(888, 1); }
    // The three read-outs, the line, whether it runs, and the timer when enabled.
    QString snapshot() const
    {
        return QStringList{lblTotalTime, lblExposureTime, lblExposures, open() ? "open" : "closed",
                           running ? "running" : "idle"}
                   .join(' ') +
               (ticks.isEnabled() ? " tmrMain" : "");
    }
    QString start()
    {
        ticked = 0;
        sequencer.Start();
        return snapshot();
    }
    // Ticks until the timer stops, at most limit times; logs "tick: snapshot" after each tick
    // that switched the line, or after every tick.
    QStringList run(int limit, bool everyTick = false)
    {
        QStringList log;
        for (int i = 0; i < limit; ++i) {
            const bool wasOpen = open();
            if (!ticks.fire())
                break;
            ++ticked;
            if (everyTick || open() != wasOpen)
                log << QStringLiteral("%1: %2").arg(ticked).arg(snapshot());
        }
        return log;
    }
};

constexpr qint64 Millisecond = 1'000'000;

// A clock that stands still until the test moves it, logging what the timer asks of it.
class FakeClock : public TickClock {
public:
    explicit FakeClock(int finishWindow) : window(finishWindow * Millisecond) {}
    std::int64_t now() const override { return time; }
    void sleepUntil(std::int64_t deadline) override
    {
        log << QStringLiteral("sleep %1").arg(deadline / Millisecond);
        time = deadline;
    }
    void wakeAt(std::int64_t deadline) override
    {
        log << QStringLiteral("arm %1").arg(deadline / Millisecond);
    }
    void cancelWake() override { log << QStringLiteral("cancel"); }
    std::int64_t finishWindow() const override { return window; }
    // Moves the clock to this many milliseconds and delivers the wake-up.
    void wake(qint64 milliseconds)
    {
        time = milliseconds * Millisecond;
        emit woken();
    }

    std::int64_t window;
    std::int64_t time = 0;
    QStringList log;
};

} // namespace

class TestSequencer : public QObject {
    Q_OBJECT

private slots:
    // The snapshot at Start, then at every tick that switches the line.
    void runsToTheEnd_data()
    {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QStringList>("log");
        const QString started = QStringLiteral("0 0 open running tmrMain");
        const QString ended = QStringLiteral(": 00:00:00 0 1 closed idle");
        QTest::newRow("one exposure of 2.5 s is 2 s, its delay not counted")
            << "count=1 exposure=2.5 delay=5" << QStringList{"00:00:02 " + started, "2" + ended};
        QTest::newRow("one exposure of 3.5 s is 4 s, no delay needed")
            << "count=1 exposure=3.5 delay=0" << QStringList{"00:00:04 " + started, "4" + ended};
        QTest::newRow("longest sequence")
            << "count=2 exposure=16383 delay=1"
            << QStringList{"09:06:07 " + started, "16383: 04:33:04 16383 1 closed running tmrMain",
                           "16384: 04:33:03 0 1 open running tmrMain",
                           "32767: 00:00:00 0 2 closed idle"};
    }

    void runsToTheEnd()
    {
        QFETCH(QString, fields);
        QFETCH(QStringList, log);
        Rig rig(fields);
        // The schedule starts at the first edge, not after those who hear of it.
        bool timedFromTheEdge = false;
        QObject::connect(&rig.sequencer, &Sequencer::exposureOpened, [&](int exposure) {
            timedFromTheEdge = exposure == 1 && rig.ticks.isEnabled();
        });
        QCOMPARE(rig.start(), log[0]);
        QVERIFY(timedFromTheEdge);
        QCOMPARE(rig.ticks.interval(), 1000);
        QCOMPARE(rig.run(40000), log.mid(1));
        QVERIFY(rig.messages.isEmpty());
    }

    // Edits are read at the phase they govern; a Cancel in a pause closes, and Start starts afresh.
    void editsApplyAtTheNextPhase()
    {
        // 3 x 3 s with 2 s between: 13 s at Start, not corrected for the edits.
        Rig rig("count=3 exposure=3 delay=2");
        rig.start();
        rig.run(1);
        rig.apply("delay=5 count=9"); // the count is read at Start only
        QStringList log = rig.run(2);
        rig.apply("exposure=1"); // during the first pause
        log += rig.run(100);
        QCOMPARE(log, QStringList({"3: 00:00:10 3 1 closed running tmrMain",
                                   "8: 00:00:05 0 1 open running tmrMain",
                                   "9: 00:00:04 1 2 closed running tmrMain",
                                   "14: 00:00:00 0 2 open running tmrMain",
                                   "15: 00:00:00 0 3 closed idle"}));

        rig.apply("count=2 exposure=2 delay=3");
        rig.start();
        rig.run(3);
        rig.apply("cancel");
        QCOMPARE(rig.snapshot(), "00:00:04 0 1 closed idle");
        QCOMPARE(rig.start(), "00:00:07 0 0 open running tmrMain");
        // Each tick counts down the time left and the exposure's seconds; a pause shows dots.
        QCOMPARE(rig.run(3, true), QStringList({"1: 00:00:06 1 0 open running tmrMain",
                                                "2: 00:00:05 2 1 closed running tmrMain",
                                                "3: 00:00:04 ... 1 closed running tmrMain"}));
    }

    // 2 exposures of 2 s with 1 s between (edges at ticks 2, 3 and 5), the shutter opened by hand
    // before Start, refused (at tick -1) or ended early when a field or the line goes wrong; every
    // ending leaves the sequence and the timer idle with one message, told with the timer stopped.
    void refusedOrEndedEarly_data()
    {
        QTest::addColumn<int>("afterTicks");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("detail");
        const QString invalid = messages::InvalidSequenceValues;
        const QString lost = "The parallel port LPT1 (0x378) is not available";
        const QString untouched = "00:00:00 0 0 open";
        // clang-format off
        QTest::newRow("no exposures") << -1 << "count=0" << untouched << invalid << "Number of";
        QTest::newRow("delay above 32767") << -1 << "delay=32768" << untouched << invalid << "Delay Between Exposures must be a whole number of seconds up to 32767,";
        QTest::newRow("no delay between exposures") << -1 << "delay=0" << untouched << invalid << "Delay";
        QTest::newRow("one second over the longest sequence") << -1 << "exposure=16383 delay=2" << untouched << invalid << "at most 32767 seconds (9 hours, 6 minutes and 7 seconds).";
        QTest::newRow("line fails at Start") << -1 << "!open" << "00:00:05 0 0 closed" << lost << "not started";
        QTest::newRow("line lost at Start") << -1 << "!open !close" << "00:00:05 0 0 open" << lost << "not started";
        QTest::newRow("delay no longer a number") << 1 << "delay=soon" << "00:00:03 0 1 closed" << invalid << "Delay";
        QTest::newRow("exposure time made zero") << 2 << "exposure=0" << "00:00:02 0 1 closed" << invalid << "Exposure Time, read again for the next exposure, is not a whole number of seconds from 1 to 32767.";
        QTest::newRow("closing fails after an exposure") << 1 << "!close" << "00:00:03 0 1 open" << lost << "stopped.";
        QTest::newRow("opening fails after a pause") << 2 << "!open" << "00:00:02 0 1 closed" << lost << "stopped.";
        QTest::newRow("closing fails at the end") << 4 << "!close" << "00:00:00 0 2 open" << lost << "still be open";
        QTest::newRow("line lost, then Cancel") << 1 << "!open !close cancel" << "00:00:04 0 0 open" << lost << "still be open";
        QTest::newRow("shutter left open outweighs a bad delay") << 1 << "delay=soon !close" << "00:00:03 0 1 open" << lost << "still be open";
        // clang-format on
    }

    void refusedOrEndedEarly()
    {
        QFETCH(int, afterTicks);
        QFETCH(QString, steps);
        QFETCH(QString, ending);
        Rig rig("count=2 exposure=2 delay=1");
        QVERIFY(!rig.line.openShutter());
        if (afterTicks < 0)
            rig.apply(steps);
        rig.start();
        rig.run(afterTicks);
        if (afterTicks >= 0)
            rig.apply(steps);
        rig.run(100);

        QCOMPARE(rig.snapshot(), ending + " idle");
        QVERIFY(!rig.sequencer.running());
        QCOMPARE(rig.messages.size(), 1);
        QTEST(rig.messages[0].section('\n', 0, 0), "text");
        QFETCH(QString, detail);
        QVERIFY2(rig.messages[0].section('\n', 1).contains(detail), qPrintable(rig.messages[0]));
    }

    // The timer on a clock the test sets, in milliseconds: enabled at 0 with 1 s between ticks.
    // Steps: "T" wakes the timer at T; "T!U" wakes it at T and, inside the handler of the tick
    // delivered then, at U; "interval N" and "off" at the time of the last wake-up. The log shows
    // each wake-up armed, each sleep to a deadline and each tick delivered, with the clock's time
    // then.
    void timerKeepsItsSchedule_data()
    {
        QTest::addColumn<int>("finishWindow");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("log");
        QTest::newRow("on time") << 0 << "1000 2000"
                                 << "arm 1000, arm 2000, tick 1000, arm 3000, tick 2000";
        QTest::newRow("late: one tick, missed slots dropped")
            << 0 << "3700 4000"
            << "arm 1000, arm 4000, tick 3700, arm 5000, tick 4000";
        QTest::newRow("inside the finish window: sleeps to the deadline")
            << 2 << "999"
            << "arm 1000, sleep 1000, arm 2000, tick 1000";
        QTest::newRow("before the finish window: no tick") << 2 << "997"
                                                           << "arm 1000, arm 1000";
        QTest::newRow("due inside the previous tick's handler: dropped")
            << 0 << "1000!2200 3000"
            << "arm 1000, arm 2000, tick 1000, arm 3000, arm 4000, tick 3000";
        QTest::newRow("new interval restarts from now")
            << 0 << "1000 interval 500 1500"
            << "arm 1000, arm 2000, tick 1000, arm 1500, arm 2000, tick 1500";
        QTest::newRow("disabled: no tick") << 0 << "off 1000"
                                           << "arm 1000, cancel";
    }

    void timerKeepsItsSchedule()
    {
        QFETCH(int, finishWindow);
        QFETCH(QString, steps);
        QFETCH(QString, log);
        auto* clock = new FakeClock(finishWindow);
        ScheduledTimer timer(clock);
        qint64 nested = -1;
        QObject::connect(&timer, &TickSource::timeout, [&] {
            clock->log << QStringLiteral("tick %1").arg(clock->time / Millisecond);
            if (nested >= 0)
                clock->wake(std::exchange(nested, -1));
        });
        timer.setInterval(1000);
        timer.setEnabled(true);
        const QStringList words = steps.split(' ');
        for (int i = 0; i < words.size(); ++i) {
            if (words[i] == "off") {
                timer.setEnabled(false);
            } else if (words[i] == "interval") {
                timer.setInterval(words[++i].toInt());
            } else {
                const QString then = words[i].section('!', 1);
                nested = then.isEmpty() ? -1 : then.toLongLong();
                clock->wake(words[i].section('!', 0, 0).toLongLong());
            }
        }
        QCOMPARE(clock->log.join(", "), log);
    }
};

QTEST_GUILESS_MAIN(TestSequencer)
#include "test_sequencer.moc"
