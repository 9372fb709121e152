#include "app/MainWindow.h"
#include "app/ScheduledTimer.h"
#include "fakes/FakePorts.h"
#include "fakes/MemoryStore.h"
#include "ui/MessageBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace kestrova;
using namespace kestrova::test;

namespace {

// Stamps every write on the monotonic clock.
class StampingPort : public FakeParallelPort {
public:
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

} // namespace

// One exposure of one second through the real tmrMain and event loop.
class TestSequenceRealTime : public QObject {
    Q_OBJECT

private slots:
    void oneSecondExposure_data();
    void oneSecondExposure();
};

void TestSequenceRealTime::oneSecondExposure_data()
{
    QTest::addColumn<bool>("eventLoopWaker");

    QTest::newRow("kernel timer") << false;
    QTest::newRow("event-loop timer") << true;
}

void TestSequenceRealTime::oneSecondExposure()
{
    QFETCH(bool, eventLoopWaker);

    QList<ui::Message> shown;
    ui::setMessageHandler([&shown](const ui::Message& message) { shown << message; });
    MemoryStore store;
    StampingPort parallel;
    FakeSerialLine serial;
    auto* timer =
        eventLoopWaker ? new ScheduledTimer(ScheduledTimer::Waker::EventLoopTimer) : nullptr;
    MainWindow window(store, parallel, serial, nullptr, timer);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    const auto* tmrMain = window.findChild<ScheduledTimer*>("tmrMain");
    QVERIFY(tmrMain);
    QCOMPARE(tmrMain->waker(), eventLoopWaker ? ScheduledTimer::Waker::EventLoopTimer
                                              : ScheduledTimer::Waker::KernelTimer);

    for (const char* field : {"txtNumExposures", "txtLXTime", "txtDelay"})
        window.findChild<QLineEdit*>(field)->setText("1");
    auto* start = window.findChild<QPushButton*>("cmdStart");
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(tmrMain->isEnabled());
    QCOMPARE(parallel.writes.size(), 2); // closed at load, opened by Start

    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 10000);
    QCOMPARE(parallel.writes.size(), 3);
    QVERIFY(parallel.bitSet(888, 1)); // closed again
    // The exposure may end late on a busy machine, but never early.
    QVERIFY2(parallel.times[2] - parallel.times[1] >= 1'000'000'000,
             qPrintable(QString::number(parallel.times[2] - parallel.times[1])));
    QVERIFY(!tmrMain->isEnabled());
    QCOMPARE(window.findChild<QLabel*>("lblExposures")->text(), "1");
    QCOMPARE(window.findChild<QLabel*>("lblTotalTime")->text(), "00:00:00");
    QVERIFY(shown.isEmpty());
    ui::setMessageHandler(nullptr);
}

QTEST_MAIN(TestSequenceRealTime)
#include "test_sequence_realtime.moc"
