// SPDX-License-Identifier: GPL-3.0-or-later
#include "control/ScheduledTimer.h"
#include "support/ControllerRig.h"

#include <QtTest>

using namespace kestrova;
using namespace kestrova::test;

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
        ScheduledTimer timer(waker); // outlives the controller that uses it
        ControllerRig rig;
        rig.open(nullptr, nullptr, &timer);
        // The waker asked for, not a fallback; a coarse Qt timer could wake 50 ms late.
        if (waker == ScheduledTimer::Waker::KernelTimer)
            QVERIFY(timer.findChild<QSocketNotifier*>());
        else
            QCOMPARE(timer.findChild<QTimer*>()->timerType(), Qt::PreciseTimer);

        rig.play("1,1,1");
        QTRY_VERIFY_WITH_TIMEOUT(!rig.controller->running(), 10000);

        // Closed at load, opened by Start, closed again: late on a busy machine, never early.
        QCOMPARE(rig.parallel.writes, QStringList({"set 888 1", "clr 888 1", "set 888 1"}));
        const auto exposure = rig.parallel.times[2] - rig.parallel.times[1];
        QVERIFY2(exposure >= std::chrono::seconds(1),
                 qPrintable(QString::number(exposure.count())));
        QVERIFY(rig.messages.isEmpty());
    }
};

QTEST_MAIN(TestSequenceRealTime)
#include "test_sequence_realtime.moc"
