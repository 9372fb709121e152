// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/FakePorts.h"
#include "shutter/ShutterLine.h"

#include <QtTest>

using namespace kestrova;
using kestrova::test::FakeParallelPort;
using kestrova::test::FakeSerialLine;

class TestShutterLine : public QObject {
    Q_OBJECT
private slots:
    void polarity_data();
    void polarity();
    void unknownParallelPortIsReportedNotWritten();
    void closedSerialPortIsReported();
    void failureKeepsShutterState();
    void openSerialPortReopensAndReportsFailure();
    void serialPortOpensAtTheShutterLevel_data();
    void serialPortOpensAtTheShutterLevel();
};

// clang-format off
void TestShutterLine::polarity_data()
{
    QTest::addColumn<QString>("interface"); // "parallel", "serial" or "none"
    QTest::addColumn<QString>("controlLine");
    QTest::addColumn<bool>("activeLogic");
    QTest::addColumn<QStringList>("afterOpen");
    QTest::addColumn<QStringList>("afterClose");

    QTest::newRow("parallel defaults: active low") << "parallel" << "RTS" << false << QStringList{"clr 888 1"} << QStringList{"set 888 1"};
    QTest::newRow("parallel active high") << "parallel" << "RTS" << true << QStringList{"set 888 1"} << QStringList{"clr 888 1"};
    QTest::newRow("serial RTS active high (serial defaults)") << "serial" << "RTS" << true << QStringList{"RTS on"} << QStringList{"RTS off"};
    QTest::newRow("serial DTR active low") << "serial" << "DTR" << false << QStringList{"DTR off"} << QStringList{"DTR on"};
    QTest::newRow("neither interface") << "none" << "RTS" << true << QStringList{} << QStringList{};
}
// clang-format on

void TestShutterLine::polarity()
{
    QFETCH(QString, interface);
    FakeParallelPort parallel;
    FakeSerialLine serial;
    serial.opened = true;
    ShutterLine line(parallel, serial);
    ShutterConfig& config = line.config();
    config.Use = interface == QLatin1String("parallel") ? Interface::Parallel
                 : interface == QLatin1String("serial") ? Interface::Serial
                                                        : Interface::None;
    config.PortAddress = 888;
    config.PortBit = 1;
    config.CommPortNumber = 1;
    QFETCH(QString, controlLine);
    QFETCH(bool, activeLogic);
    config.ControlLine = controlLine == QLatin1String("DTR") ? ControlLine::Dtr : ControlLine::Rts;
    config.ActiveLogic = activeLogic;

    line.openShutter();
    QVERIFY(line.shutterOpen());
    QTEST(parallel.writes + serial.calls, "afterOpen");
    parallel.writes.clear();
    serial.calls.clear();

    line.closeShutter();
    QVERIFY(!line.shutterOpen());
    QTEST(parallel.writes + serial.calls, "afterClose");

    // Driving twice in a row writes again and does no harm.
    parallel.writes.clear();
    serial.calls.clear();
    line.closeShutter();
    QTEST(parallel.writes + serial.calls, "afterClose");
}

void TestShutterLine::unknownParallelPortIsReportedNotWritten()
{
    FakeParallelPort parallel;
    FakeSerialLine serial;
    ShutterLine line(parallel, serial);
    line.config().Use = Interface::Parallel;
    line.config().ParallelPortIndex = 3;
    line.config().PortAddress = 0;
    QVERIFY_THROWS_EXCEPTION(LineFailure, line.openShutter());
    QVERIFY_THROWS_EXCEPTION(LineFailure, line.closeShutter());
    QVERIFY(parallel.writes.isEmpty());
}

void TestShutterLine::closedSerialPortIsReported()
{
    FakeParallelPort parallel;
    FakeSerialLine serial;
    ShutterLine line(parallel, serial);
    line.config().Use = Interface::Serial;
    line.config().ControlLine = ControlLine::Rts;
    line.config().ActiveLogic = false;
    try {
        line.openShutter();
        QFAIL("a shutter command on a closed port must be reported");
    } catch (const LineFailure& failure) {
        QCOMPARE(failure.text(), QStringLiteral("The Com port selected is not available"));
    }
    QVERIFY(!line.shutterOpen());
    QVERIFY2(!serial.rts && serial.calls.isEmpty(), "an open level that failed is not kept");
    QVERIFY_THROWS_EXCEPTION(LineFailure, line.closeShutter());
    QVERIFY2(serial.rts, "the closed level is kept for the next open");
}

void TestShutterLine::failureKeepsShutterState()
{
    FakeParallelPort parallel;
    FakeSerialLine serial;
    ShutterLine line(parallel, serial);
    line.config().Use = Interface::Parallel;
    line.config().PortAddress = 888;
    line.openShutter();
    parallel.fail = true;
    QVERIFY_THROWS_EXCEPTION(LineFailure, line.closeShutter());
    QVERIFY(line.shutterOpen());
}

void TestShutterLine::openSerialPortReopensAndReportsFailure()
{
    FakeParallelPort parallel;
    FakeSerialLine serial;
    ShutterLine line(parallel, serial);
    line.config().CommPortNumber = 3;
    line.config().ControlLine = ControlLine::Dtr;
    QVERIFY(!line.openSerialPort());
    QVERIFY(!line.openSerialPort());
    QCOMPARE(serial.calls, (QStringList{"DTR on", "open 3", "close", "DTR on", "open 3"}));
    QVERIFY(serial.isOpen());

    serial.refuseOpen = true;
    const auto failure = line.openSerialPort();
    QVERIFY(failure);
    QCOMPARE(failure->text(), QStringLiteral("The Com port selected is not available"));
    QVERIFY(!serial.isOpen());
}

// The port applies its stored levels the moment it opens: the configured line's is the level
// the shutter is at. Only where "line set" is the closed level do the lines outlive the release.
// clang-format off
void TestShutterLine::serialPortOpensAtTheShutterLevel_data()
{
    QTest::addColumn<QString>("controlLine");
    QTest::addColumn<bool>("activeLogic");
    QTest::addColumn<bool>("openByHand");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("keepLevelsOnRelease");

    QTest::newRow("RTS active high, closed") << "RTS" << true << false << QStringList{"RTS off", "open 1"} << false;
    QTest::newRow("RTS active low, closed") << "RTS" << false << false << QStringList{"RTS on", "open 1"} << true;
    QTest::newRow("DTR active low, closed") << "DTR" << false << false << QStringList{"DTR on", "open 1"} << true;
    QTest::newRow("DTR active high, open by hand") << "DTR" << true << true << QStringList{"close", "DTR on", "open 1"} << false;
    QTest::newRow("RTS active low, open by hand") << "RTS" << false << true << QStringList{"close", "RTS off", "open 1"} << true;
}
// clang-format on

void TestShutterLine::serialPortOpensAtTheShutterLevel()
{
    FakeParallelPort parallel;
    FakeSerialLine serial;
    ShutterLine line(parallel, serial);
    line.config().Use = Interface::Serial;
    line.config().CommPortNumber = 1;
    QFETCH(QString, controlLine);
    QFETCH(bool, activeLogic);
    QFETCH(bool, openByHand);
    line.config().ControlLine =
        controlLine == QLatin1String("DTR") ? ControlLine::Dtr : ControlLine::Rts;
    line.config().ActiveLogic = activeLogic;
    if (openByHand) {
        serial.opened = true;
        line.openShutter();
        serial.calls.clear();
    }
    QVERIFY(!line.openSerialPort());
    QTEST(serial.calls, "calls");
    QTEST(serial.keepLevelsOnRelease, "keepLevelsOnRelease");
    QCOMPARE(line.shutterOpen(), openByHand);
}

QTEST_GUILESS_MAIN(TestShutterLine)
#include "test_shutter_line.moc"
