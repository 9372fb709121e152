// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "app/ScheduledTimer.h"
#include "fakes/FakePorts.h"
#include "fakes/MemoryStore.h"
#include "ui/MessageBox.h"

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
        QStringList shown;
        ui::setMessageHandler([&shown](const ui::Message& message) { shown << message.text; });
        MemoryStore store;
        StampingPort parallel;
        FakeSerialLine serial;
        auto* timer = new ScheduledTimer(waker);
        MainWindow window(store, parallel, serial, nullptr, timer);
        QCOMPARE(window.findChild<ScheduledTimer*>("tmrMain"), timer);
        QCOMPARE(timer->waker(), waker);

        for (const char* field : {"txtNumExposures", "txtLXTime", "txtDelay"})
            window.findChild<QLineEdit*>(field)->setText("1");
        auto* start = window.findChild<QPushButton*>("cmdStart");
        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 10000);

        // Closed at load, opened by Start, closed again: late on a busy machine, never early.
        QCOMPARE(parallel.writes, QStringList({"set 888 1", "clr 888 1", "set 888 1"}));
        const qint64 exposure = parallel.times[2] - parallel.times[1];
        QVERIFY2(exposure >= 1'000'000'000, qPrintable(QString::number(exposure)));
        QVERIFY(shown.isEmpty());
        ui::setMessageHandler(nullptr);
    }
};

QTEST_MAIN(TestSequenceRealTime)
#include "test_sequence_realtime.moc"
