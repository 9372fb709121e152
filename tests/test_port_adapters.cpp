// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/SettingsSchema.h"
#include "fakes/NoRawIo.h"
#include "shutter/Ieee1284Port.h"
#include "shutter/LineFailure.h"
#include "shutter/QtSerialLine.h"
#include "support/PseudoTerminal.h"

#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace kestrova;
using kestrova::test::PseudoTerminal;

namespace {

QtSerialLine lineOn(const QString& device)
{
    return QtSerialLine([device](int) { return device; });
}

} // namespace

class TestPortAdapters : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kestrova::test::dropRawIo(); }
    void serialOpensPseudoTerminalAt9600_8N1_data();
    void serialOpensPseudoTerminalAt9600_8N1();
    void serialSwitchRefusedByPseudoTerminalIsAFailure();
    void serialMissingDeviceIsReported();
    void serialBusyDeviceIsReported();
    void serialStoredLevelsWhileClosed();
    void comNumbersMapToDevices();
    void parallelPortMissingIsReported();
};

void TestPortAdapters::serialOpensPseudoTerminalAt9600_8N1_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("the device itself") << false;
    // As an adapter is stored: by its name under /dev/serial/by-id, a link to the device.
    QTest::newRow("a stable name linking to the device") << true;
}

void TestPortAdapters::serialOpensPseudoTerminalAt9600_8N1()
{
    QFETCH(bool, throughLink);
    PseudoTerminal pty;
    QVERIFY(!pty.path().isEmpty());
    const QTemporaryDir byId;
    const QString link =
        byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    QVERIFY(QFile::link(pty.path(), link));
    const QString device = throughLink ? link : pty.path();
    QtSerialLine line([&](int commPortNumber) { return commPortNumber == 4 ? device : QString(); });
    line.open(4);
    QVERIFY(line.isOpen());
    QCOMPARE(line.deviceName(), device);

    termios settings{};
    QVERIFY(pty.readSettings(settings));
    QCOMPARE(cfgetospeed(&settings), speed_t(B9600));
    QCOMPARE(cfgetispeed(&settings), speed_t(B9600));
    QCOMPARE(settings.c_cflag & CSIZE, tcflag_t(CS8));
    QVERIFY(!(settings.c_cflag & PARENB));
    QVERIFY(!(settings.c_cflag & CSTOPB));
    QVERIFY(!(settings.c_cflag & CRTSCTS));
    QVERIFY(!(settings.c_iflag & (IXON | IXOFF)));

    line.close();
    QVERIFY(!line.isOpen());
}

void TestPortAdapters::serialSwitchRefusedByPseudoTerminalIsAFailure()
{
    PseudoTerminal pty;
    QtSerialLine line = lineOn(pty.path());
    line.setDtrEnable(true);
    line.open(1); // the stored levels are applied and refused quietly: the open itself holds
    QVERIFY(line.isOpen());
    try {
        line.setRtsEnable(true);
        QFAIL("a refused RTS switch must be reported");
    } catch (const LineFailure& failure) {
        QCOMPARE(failure.text(), QStringLiteral("The Com port selected is not available"));
        QVERIFY2(failure.detail().contains(pty.path()), qPrintable(failure.detail()));
        QVERIFY2(failure.detail().contains(QStringLiteral("RTS")), qPrintable(failure.detail()));
    }
    QVERIFY_THROWS_EXCEPTION(LineFailure, line.setDtrEnable(false));
    // A refused switch keeps the level stored before, which the next open applies: a failed
    // "Open Shutter" must not open the shutter when the port comes back.
    QVERIFY(!line.rtsEnable());
    QVERIFY(line.dtrEnable());
}

void TestPortAdapters::serialMissingDeviceIsReported()
{
    const QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("ttyUSB9"));
    QtSerialLine line = lineOn(missing);
    try {
        line.open(3);
        QFAIL("opening a missing device must fail");
    } catch (const LineFailure& failure) {
        QCOMPARE(failure.text(), QStringLiteral("The Com port selected is not available"));
        QVERIFY2(failure.detail().contains(missing), qPrintable(failure.detail()));
        QVERIFY2(failure.detail().contains(QStringLiteral("Com3")), qPrintable(failure.detail()));
    }
    QVERIFY(!line.isOpen());

    QtSerialLine unmapped = lineOn(QString());
    QVERIFY_THROWS_EXCEPTION(LineFailure, unmapped.open(0));
}

void TestPortAdapters::serialBusyDeviceIsReported()
{
    PseudoTerminal pty;
    QtSerialLine first = lineOn(pty.path());
    first.open(1);
    QtSerialLine second = lineOn(pty.path());
    try {
        second.open(1);
        QFAIL("a port held by another program must not open twice");
    } catch (const LineFailure& failure) {
        QCOMPARE(failure.text(), QStringLiteral("The Com port selected is not available"));
        QVERIFY2(failure.detail().contains(pty.path()), qPrintable(failure.detail()));
    }
    QVERIFY(!second.isOpen());
    QVERIFY(first.isOpen());
}

void TestPortAdapters::serialStoredLevelsWhileClosed()
{
    QtSerialLine line = lineOn(QString());
    QVERIFY(!line.rtsEnable());
    QVERIFY(!line.dtrEnable());
    line.setRtsEnable(true); // closed: only stored, nothing to refuse it
    line.setDtrEnable(true);
    QVERIFY(line.rtsEnable());
    QVERIFY(line.dtrEnable());
}

void TestPortAdapters::comNumbersMapToDevices()
{
    QCOMPARE(settings::defaultComDevice(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(settings::defaultComDevice(16), QStringLiteral("/dev/ttyS15"));
    QVERIFY(settings::defaultComDevice(0).isEmpty());
    QCOMPARE(settings::comDeviceKey(1), QStringLiteral("Com1 Device"));
}

void TestPortAdapters::parallelPortMissingIsReported()
{
    if (kestrova::test::hasParallelPort())
        QSKIP("this machine has a parallel port, which no test may write to");
    Ieee1284Port port;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            port.setPortBit(0x378, 1);
            QFAIL("a missing port must be reported");
        } catch (const LineFailure& failure) {
            QCOMPARE(failure.text(),
                     QStringLiteral("The parallel port LPT1 (0x378) is not available"));
            QVERIFY2(failure.detail().contains(QStringLiteral("ppdev")),
                     qPrintable(failure.detail()));
            QVERIFY2(failure.detail().contains(QStringLiteral("\"lp\"")),
                     qPrintable(failure.detail()));
        }
    }
    QVERIFY_THROWS_EXCEPTION(LineFailure, port.clrPortBit(0x278, 0));
}

QTEST_GUILESS_MAIN(TestPortAdapters)
#include "test_port_adapters.moc"
