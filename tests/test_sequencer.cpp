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
// the window shows them.
struct Rig {
    FakeParallelPort port;
    FakeSerialLine serial;
    ShutterLine line{port, serial};
    FakeTickSource ticks;
    QString lblTotalTime = "00:00:00", lblExposureTime = "0", lblExposures = "0";
    bool running = false; // as runningChanged last said, which the buttons follow
    Sequencer sequencer{line, ticks};
    QStringList log;

    Rig()
    {
        line.configure({Interface::Parallel, 0, 1, 0, ControlLine::Rts, true});
        QObject::connect(&ticks, &TickSource::timeout, &ticks, [this] { sequencer.Tick(); });
        const auto show = [](QString& label) { return [&label](const QString& t) { label = t; }; };
        QObject::connect(&sequencer, &Sequencer::totalTimeChanged, show(lblTotalTime));
        QObject::connect(&sequencer, &Sequencer::exposureTimeChanged, show(lblExposureTime));
        QObject::connect(&sequencer, &Sequencer::exposuresChanged, show(lblExposures));
        QObject::connect(&sequencer, &Sequencer::runningChanged,
                         [this](bool now) { running = now; });
        // The schedule starts at the first edge, not after those who hear of it.
        QObject::connect(&sequencer, &Sequencer::exposureOpened, [this] {
            if (!ticks.isEnabled() || ticks.interval() != 1000)
                log << "opened off the 1 s schedule";
        });
        QObject::connect(&sequencer, &Sequencer::message, [this](const Failure& failure) {
            log << "| " + QString(ticks.isEnabled() ? "[timer running] " : "") + failure.text +
                       " / " + failure.detail.section("\n\n", -1);
        });
    }

    bool open() const { return port.bitSet(888, 1); }
    // The three read-outs, the line, whether a sequence runs, and the timer when enabled.
    QString snapshot() const
    {
        return QStringList{lblTotalTime, lblExposureTime, lblExposures, open() ? "open" : "closed",
                           running ? "running" : "idle"}
                   .join(' ') +
               (ticks.isEnabled() ? " tmrMain" : "");
    }

    // Steps are space-separated: "count=..", "exposure=..", "delay=..", "!open" or "!close" for a
    // line that fails to open or to close from then on, "hand" opens the shutter by hand,
    // "start", "cancel", "tick:N" ticks N times ("tick" once), "run" until the timer stops and
    // "each:N" logs every tick. The log has each message as "| text / the detail's last part",
    // and "<step>: snapshot" after Start, Cancel and each tick that moved the line or ended the
    // sequence, a tick numbered from the last Start or Cancel.
    QStringList play(const QString& steps)
    {
        int ticked = 0;
        for (const QString& step : steps.split(' ')) {
            const QString value = step.section(QRegularExpression("[=:]"), 1);
            if (step.startsWith('!')) {
                (step == "!open" ? port.failSet : port.failClear) = true;
            } else if (step == "hand") {
                if (line.openShutter())
                    log << "not opened by hand";
            } else if (step == "start" || step == "cancel") {
                ticked = 0;
                step == "start" ? sequencer.Start() : sequencer.Cancel();
                log << step + ": " + snapshot();
            } else if (step.startsWith("count=")) {
                sequencer.setNumExposuresText(value);
            } else if (step.startsWith("delay=")) {
                sequencer.setDelayText(value);
            } else if (step.startsWith("exposure=")) {
                sequencer.setExposureTimeText(value);
            } else {
                for (int i = step == "run" ? 40000 : qMax(1, value.toInt()); i > 0; --i) {
                    const bool wasOpen = open(), wasRunning = running;
                    if (!ticks.fire())
                        break;
                    ++ticked;
                    if (step.startsWith("each") || open() != wasOpen || running != wasRunning)
                        log << QStringLiteral("%1: %2").arg(ticked).arg(snapshot());
                }
            }
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
    void cancelWake() override { log << "cancel"; }
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
    // A sequence's read-outs and edges; edits read at the phase they govern; the fields refused
    // at Start, or a field or the line gone wrong later: every ending leaves the sequence and the
    // timer idle with one message, told with the timer stopped.
    void sequences_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("log");
        // clang-format off
        const QString invalid = QString("| ") + messages::InvalidSequenceValues + " / ";
        const QString delay = invalid + "Delay Between Exposures must be a whole number of seconds up to 32767, and at least 1 when more than one exposure is taken.";
        const QString lost = "| The parallel port LPT1 (0x378) is not available / ";
        const QString mayBeOpen = lost + "The sequence has ended, but the shutter may still be open.";
        // 2 exposures of 2 s with 1 s between (edges at ticks 2, 3 and 5), opened by hand before.
        const QString planned = "hand count=2 exposure=2 delay=1 ";
        const QString started = "start: 00:00:05 0 0 open running tmrMain";
        const QString untouched = "start: 00:00:00 0 0 open idle";
        QTest::newRow("one exposure of 2.5 s is 2 s, its delay not counted") << "count=1 exposure=2.5 delay=5 start run" << QStringList{"start: 00:00:02 0 0 open running tmrMain", "2: 00:00:00 0 1 closed idle"};
        QTest::newRow("one exposure of 3.5 s is 4 s, no delay needed") << "count=1 exposure=3.5 delay=0 start run" << QStringList{"start: 00:00:04 0 0 open running tmrMain", "4: 00:00:00 0 1 closed idle"};
        QTest::newRow("longest sequence") << "count=2 exposure=16383 delay=1 start run" << QStringList{"start: 09:06:07 0 0 open running tmrMain", "16383: 04:33:04 16383 1 closed running tmrMain", "16384: 04:33:03 0 1 open running tmrMain", "32767: 00:00:00 0 2 closed idle"};
        QTest::newRow("edits: the count at Start, the delay at a pause, the time at an exposure; the total not corrected") << "count=3 exposure=3 delay=2 start tick delay=5 count=9 tick:2 exposure=1 run" << QStringList{"start: 00:00:13 0 0 open running tmrMain", "3: 00:00:10 3 1 closed running tmrMain", "8: 00:00:05 0 1 open running tmrMain", "9: 00:00:04 1 2 closed running tmrMain", "14: 00:00:00 0 2 open running tmrMain", "15: 00:00:00 0 3 closed idle"};
        QTest::newRow("Cancel in a pause; Start afresh, each tick counting down, a pause in dots") << "count=2 exposure=2 delay=3 start tick:3 cancel start each:3" << QStringList{"start: 00:00:07 0 0 open running tmrMain", "2: 00:00:05 2 1 closed running tmrMain", "cancel: 00:00:04 0 1 closed idle", "start: 00:00:07 0 0 open running tmrMain", "1: 00:00:06 1 0 open running tmrMain", "2: 00:00:05 2 1 closed running tmrMain", "3: 00:00:04 ... 1 closed running tmrMain"};
        QTest::newRow("no exposures") << planned + "count=0 start run" << QStringList{invalid + "Number of Exposures must be a whole number from 1 to 32767.", untouched};
        QTest::newRow("delay above 32767") << planned + "delay=32768 start run" << QStringList{delay, untouched};
        QTest::newRow("no delay between exposures") << planned + "delay=0 start run" << QStringList{delay, untouched};
        QTest::newRow("one second over the longest sequence") << planned + "exposure=16383 delay=2 start run" << QStringList{invalid + "The whole sequence may last at most 32767 seconds (9 hours, 6 minutes and 7 seconds). Take fewer or shorter exposures, or shorten the delay.", untouched};
        QTest::newRow("line fails at Start") << planned + "!open start run" << QStringList{lost + "The sequence was not started.", "start: 00:00:05 0 0 closed idle"};
        QTest::newRow("line lost at Start") << planned + "!open !close start run" << QStringList{lost + "The sequence was not started.", "start: 00:00:05 0 0 open idle"};
        QTest::newRow("delay no longer a number") << planned + "start tick delay=soon run" << QStringList{started, invalid + "The sequence has been stopped with the shutter closed: Delay Between Exposures, read again for the next pause, is not a whole number of seconds from 1 to 32767.", "2: 00:00:03 0 1 closed idle"};
        QTest::newRow("exposure time made zero") << planned + "start tick:2 exposure=0 run" << QStringList{started, "2: 00:00:03 2 1 closed running tmrMain", invalid + "The sequence has been stopped with the shutter closed: Exposure Time, read again for the next exposure, is not a whole number of seconds from 1 to 32767.", "3: 00:00:02 0 1 closed idle"};
        QTest::newRow("opening fails after a pause") << planned + "start tick:2 !open run" << QStringList{started, "2: 00:00:03 2 1 closed running tmrMain", lost + "The sequence has been stopped.", "3: 00:00:02 0 1 closed idle"};
        QTest::newRow("closing fails at the end") << planned + "start tick:4 !close run" << QStringList{started, "2: 00:00:03 2 1 closed running tmrMain", "3: 00:00:02 0 1 open running tmrMain", mayBeOpen, "5: 00:00:00 0 2 open idle"};
        QTest::newRow("line lost, then Cancel") << planned + "start tick !open !close cancel run" << QStringList{started, mayBeOpen, "cancel: 00:00:04 0 0 open idle"};
        QTest::newRow("shutter left open outweighs a bad delay") << planned + "start tick delay=soon !close run" << QStringList{started, mayBeOpen, "2: 00:00:03 0 1 open idle"};
        // clang-format on
    }

    void sequences()
    {
        QFETCH(QString, steps);
        Rig rig;
        QTEST(rig.play(steps), "log");
        QCOMPARE(rig.sequencer.running(), rig.running);
    }

    // The timer on a clock the test sets, in milliseconds: enabled at 0 with 1 s between ticks.
    // Steps: "T" wakes the timer at T; "T!U" wakes it at T and, inside the handler of the tick
    // delivered then, at U; "interval:N" and "off" at the time of the last wake-up. The log shows
    // each wake-up armed, each sleep to a deadline and each tick delivered, with the clock's time
    // then.
    void timerKeepsItsSchedule_data()
    {
        QTest::addColumn<int>("finishWindow");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("log");
        // clang-format off
        QTest::newRow("on time") << 0 << "1000 2000" << "arm 1000, arm 2000, tick 1000, arm 3000, tick 2000";
        QTest::newRow("late: one tick, missed slots dropped") << 0 << "3700 4000" << "arm 1000, arm 4000, tick 3700, arm 5000, tick 4000";
        QTest::newRow("at the finish window: sleeps to the deadline") << 2 << "998" << "arm 1000, sleep 1000, arm 2000, tick 1000";
        QTest::newRow("before the finish window: no tick") << 2 << "997" << "arm 1000, arm 1000";
        QTest::newRow("due inside the previous tick's handler: dropped") << 0 << "1000!2200 3000" << "arm 1000, arm 2000, tick 1000, arm 3000, arm 4000, tick 3000";
        QTest::newRow("new interval restarts from now") << 0 << "1000 interval:500 1500" << "arm 1000, arm 2000, tick 1000, arm 1500, arm 2000, tick 1500";
        QTest::newRow("disabled: no tick") << 0 << "off 1000" << "arm 1000, cancel";
        // clang-format on
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
        for (const QString& word : steps.split(' ')) {
            if (word == "off") {
                timer.setEnabled(false);
            } else if (word.startsWith("interval:")) {
                timer.setInterval(word.section(':', 1).toInt());
            } else {
                nested = word.contains('!') ? word.section('!', 1).toLongLong() : -1;
                clock->wake(word.section('!', 0, 0).toLongLong());
            }
        }
        QCOMPARE(clock->log.join(", "), log);
    }
};

QTEST_GUILESS_MAIN(TestSequencer)
#include "test_sequencer.moc"
