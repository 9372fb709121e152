// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ScheduledTimer.h"
#include "support/WindowRig.h"

#include <QtTest>

using namespace kestrova;
using namespace kestrova::test;

// Stamps every write on the monotonic clock.
struct StampingPort : FakeParallelPort {
    void setPortBit(int address, std::uint8_t bit) override
    {
        FakeParallelPort::setPortBit(address, bit);
        times << monotonicNanoseconds();
    }
    void clrPortBit(int address, std::uint8_t bit) override
    {
        FakeParallelPort::clrPortBit(address, bit);
        times << monotonicNanoseconds();
    }
    QList<qint64> times;
};

// One exposure of one second through the real tmrMain and event loop, with either waker.
class TestSequenceRealTime : public QObject {
    Q_OBJECT

private slots:
    void oneSecondExposure_data()
    {
        QTest::addColumn<ScheduledTimer::Waker>("waker");
        QTest::newRow("kernel timer") << ScheduledTimer::Waker::KernelTimer;
        QTest::newRow("event-loop timer") << ScheduledTimer::Waker::EventLoopTimer;
    }

    void oneSecondExposure()
    {
        QFETCH(ScheduledTimer::Waker, waker);
        StampingPort parallel;
        WindowRig rig;
        rig.showWindow = false;
        auto* timer = new ScheduledTimer(waker);
        rig.open(nullptr, nullptr, &parallel, timer);
        // The waker asked for, not a fallback; a coarse Qt timer could wake 50 ms late.
        if (waker == ScheduledTimer::Waker::KernelTimer)
            QVERIFY(timer->findChild<QSocketNotifier*>());
        else
            QCOMPARE(timer->findChild<QTimer*>()->timerType(), Qt::PreciseTimer);

        rig.start("1", "1", "1");
        QTRY_VERIFY_WITH_TIMEOUT(rig.find("cmdStart")->isEnabled(), 10000);

        // Closed at load, opened by Start, closed again: late on a busy machine, never early.
        QCOMPARE(parallel.writes, QStringList({"set 888 1", "clr 888 1", "set 888 1"}));
        const qint64 exposure = parallel.times[2] - parallel.times[1];
        QVERIFY2(exposure >= 1'000'000'000, qPrintable(QString::number(exposure)));
        QVERIFY(rig.messages.isEmpty());
    }
};

QTEST_MAIN(TestSequenceRealTime)
#include "test_sequence_realtime.moc"
