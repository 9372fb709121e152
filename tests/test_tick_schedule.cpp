#include "app/TickSchedule.h"

#include <QTest>

using namespace kestrova;

// Ticks fall on a fixed grid from the moment the timer was enabled; a late tick is followed by
// the next slot of that grid, never by a burst of the slots it missed.
class TestTickSchedule : public QObject {
    Q_OBJECT

private slots:
    void deadlinesKeepToTheGrid_data();
    void deadlinesKeepToTheGrid();
    void nextTickAfterADelivery_data();
    void nextTickAfterADelivery();
};

void TestTickSchedule::deadlinesKeepToTheGrid_data()
{
    QTest::addColumn<qint64>("tick");
    QTest::addColumn<qint64>("deadline");

    // Enabled at 5 s, interval 1 s, in nanoseconds.
    QTest::newRow("first tick") << qint64(1) << qint64(6'000'000'000);
    QTest::newRow("second tick") << qint64(2) << qint64(7'000'000'000);
    QTest::newRow("last tick of the longest sequence")
        << qint64(32767) << qint64(32772'000'000'000);
}

void TestTickSchedule::deadlinesKeepToTheGrid()
{
    QFETCH(qint64, tick);
    QFETCH(qint64, deadline);

    const TickSchedule schedule(5'000'000'000, 1'000'000'000);
    QCOMPARE(schedule.deadline(tick), deadline);
}

void TestTickSchedule::nextTickAfterADelivery_data()
{
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("next");

    // Enabled at 5 s, interval 1 s, in nanoseconds.
    QTest::newRow("before the schedule began") << qint64(4'000'000'000) << qint64(1);
    QTest::newRow("just enabled") << qint64(5'000'000'000) << qint64(1);
    QTest::newRow("tick 1 exactly on time") << qint64(6'000'000'000) << qint64(2);
    QTest::newRow("tick 1 a quarter second late") << qint64(6'250'000'000) << qint64(2);
    QTest::newRow("tick 1 a nanosecond before tick 2") << qint64(6'999'999'999) << qint64(2);
    QTest::newRow("tick 1 delivered after a 3.5 s stall") << qint64(9'500'000'000) << qint64(5);
    QTest::newRow("stall ending on a slot") << qint64(9'000'000'000) << qint64(5);
}

void TestTickSchedule::nextTickAfterADelivery()
{
    QFETCH(qint64, now);
    QFETCH(qint64, next);

    const TickSchedule schedule(5'000'000'000, 1'000'000'000);
    QCOMPARE(schedule.firstTickAfter(now), next);
    QVERIFY(schedule.deadline(schedule.firstTickAfter(now)) > now);
}

QTEST_GUILESS_MAIN(TestTickSchedule)
#include "test_tick_schedule.moc"
