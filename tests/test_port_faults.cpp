// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ComPorts.h"
#include "fakes/FakeSerialPorts.h"
#include "fakes/NoRawIo.h"
#include "shutter/Ieee1284Port.h"
#include "shutter/QtSerialLine.h"
#include "support/PseudoTerminal.h"
#include "support/WindowRig.h"

#include <QPushButton>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

using namespace kestrova;
using namespace kestrova::test;

namespace {

// The main window with the real serial adapter, whose Com1 is a pseudo-terminal (or nothing),
// and its timer ticked by hand.
struct Rig : WindowRig {
    PseudoTerminal terminal;
    QString device = terminal.path();
    QtSerialLine line{[this](int) { return device; }};

    ~Rig() { delete window; } // while the line is still there
    void open() { WindowRig::open(&line); }
    bool idle() { return find<QPushButton>("cmdStart")->isEnabled() && !ticks->isEnabled(); }

    // The hang-up on close flag as the device holds it ("HUPCL set" or "HUPCL clear"), seen
    // and, when asked, first set through a descriptor of the test's own.
    QString hangupOnClose(int set = -1) const
    {
        termios settings{};
        if (!terminal.readSettings(settings, set))
            return QStringLiteral("unreadable: ") + QString::fromLocal8Bit(strerror(errno));
        return QLatin1String(settings.c_cflag & HUPCL ? "HUPCL set" : "HUPCL clear");
    }
};

} // namespace

class TestPortFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { dropRawIo(); }
    void lineWithoutModemControlStopsStartWithOneMessage();
    void terminalGoneInTheMiddleOfAnExposure();
    void missingParallelPortAtStartUp();
    void adapterPluggedBackKeepsItsComNumber();
    void releaseLeavesTheLineClosed_data();
    void releaseLeavesTheLineClosed();
};

void TestPortFaults::lineWithoutModemControlStopsStartWithOneMessage()
{
    Rig rig;
    QVERIFY(!rig.device.isEmpty());
    rig.store.set(settings::SerialControl, QStringLiteral("1"));
    rig.open();
    // Load opened the port and tried to close the line: a pseudo-terminal has no RTS.
    QTRY_COMPARE(rig.messages.size(), 1);
    QVERIFY(rig.line.isOpen());

    rig.start("2", "3", "1");
    QCOMPARE(rig.messages.size(), 2);
    QCOMPARE(rig.messages[1].text, QStringLiteral("The Com port selected is not available"));
    QVERIFY2(rig.messages[1].informativeText.contains(rig.device),
             qPrintable(rig.messages[1].informativeText));
    QVERIFY(rig.idle());
    QVERIFY(!rig.find<QPushButton>("cmdCancel")->isEnabled());
    QVERIFY(!rig.ticks->fire());
    QCOMPARE(rig.messages.size(), 2);
}

void TestPortFaults::terminalGoneInTheMiddleOfAnExposure()
{
    Rig rig;
    rig.open();
    rig.start("2", "3", "1");
    QVERIFY(rig.ticks->fire());
    QVERIFY(rig.ticks->isEnabled());

    // Mid-exposure the user selects the serial interface; then its other end goes away.
    rig.trigger("mnuSerial");
    QVERIFY(rig.line.isOpen());
    rig.terminal.close();
    const qsizetype before = rig.messages.size();
    rig.ticks->fire();
    rig.ticks->fire(); // the exposure ends: the closing switch fails
    QCOMPARE(rig.messages.size(), before + 1);
    QCOMPARE(rig.messages.last().text, QStringLiteral("The Com port selected is not available"));
    QVERIFY(rig.idle());

    // The program goes on: choosing the interface again reports the vanished device once.
    rig.trigger("mnuSerial");
    QCOMPARE(rig.messages.size(), before + 2);
    QVERIFY(!rig.line.isOpen());
    QVERIFY(rig.window->isVisible());
}

void TestPortFaults::missingParallelPortAtStartUp()
{
    if (hasParallelPort())
        QSKIP("this machine has a parallel port, which no test may write to");
    Ieee1284Port parallel;
    WindowRig rig;
    rig.open(nullptr, nullptr, &parallel);
    QTRY_COMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text,
             QStringLiteral("The parallel port LPT1 (0x378) is not available"));
    rig.start("1", "5", "1");
    QCOMPARE(rig.messages.size(), 2);
    QVERIFY(rig.find("cmdStart")->isEnabled());
}

// An adapter, a pseudo-terminal behind a by-id link, is unplugged and plugged back in another
// socket: the program goes on and opens it again under the Com number it got at start-up.
void TestPortFaults::adapterPluggedBackKeepsItsComNumber()
{
    MemoryStore store;
    store.set(settings::SerialControl, QStringLiteral("1"));
    store.set(settings::ParallelControl, QStringLiteral("0"));
    QtSerialLine serial([&store](int number) { return comDevice(store, number); });
    FakeSerialPorts ports;
    const QTemporaryDir byId;
    const QString link =
        byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    const auto plug = [&](const PseudoTerminal& terminal) {
        QFile::remove(link);
        SerialPortInfo adapter = FakeSerialPorts::port(QStringLiteral("ftdi@x"));
        adapter.devicePath = terminal.path();
        adapter.stableName = link;
        adapter.otherNames = QStringList{link};
        ports.list = {adapter};
        return !terminal.path().isEmpty() && QFile::link(adapter.devicePath, link);
    };
    auto terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(plug(*terminal));

    WindowRig rig(&store);
    rig.open(&serial, &ports);
    QCOMPARE(comDevice(store, 1), link);
    QVERIFY(serial.isOpen());
    QCOMPARE(serial.deviceName(), link);
    QTRY_COMPARE(rig.messages.size(), 1); // a pseudo-terminal has no RTS to close

    // Unplugged: udev takes the link away. Choosing the interface again is told once.
    terminal.reset();
    QFile::remove(link);
    ports.list.clear();
    rig.trigger("mnuSerial");
    QCOMPARE(rig.messages.size(), 2);
    QVERIFY2(rig.messages[1].informativeText.endsWith(
                 QStringLiteral("No serial port is present now. Plug in the serial adapter, then "
                                "choose Interface, Serial.")),
             qPrintable(rig.messages[1].informativeText));
    QVERIFY(!serial.isOpen());

    // Plugged back, now another device: the same Com number opens it.
    terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(plug(*terminal));
    rig.trigger("mnuSerial");
    QVERIFY(serial.isOpen());
    QCOMPARE(serial.deviceName(), link);
    QCOMPARE(comDevice(store, 1), link);
    QCOMPARE(comDevice(store, 2), QStringLiteral("/dev/ttyS1"));
    // The new line is closed at once, which a pseudo-terminal refuses as it did at start-up.
    QCOMPARE(rig.messages.size(), 3);
    QVERIFY(
        rig.messages[2].informativeText.contains(QStringLiteral("RTS could not be switched")));
}

// Linux drops RTS and DTR at the last close of a port whose hang-up on close flag is set. Where
// "line set" is the shutter-closed level, that drop would open the shutter at every exit and
// every reopen, so the device must hold the flag clear when the port is released; where "line
// clear" is closed, the drop is harmless and the flag stays set. QSerialPort puts back at its
// close the settings it found at its open, so this is what the device keeps afterwards.
// clang-format off
void TestPortFaults::releaseLeavesTheLineClosed_data()
{
    QTest::addColumn<QString>("activeLogic");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("afterRelease");
    QTest::newRow("Active Logic unchecked: line set is closed") << "0" << "HUPCL set" << "HUPCL clear";
    QTest::newRow("Active Logic checked: line clear is closed") << "1" << "HUPCL clear" << "HUPCL set";
}
// clang-format on

void TestPortFaults::releaseLeavesTheLineClosed()
{
    QFETCH(QString, activeLogic);
    QFETCH(QString, before);
    Rig rig;
    QVERIFY(!rig.device.isEmpty());
    QCOMPARE(rig.hangupOnClose(before == QLatin1String("HUPCL set") ? 1 : 0), before);
    rig.store.set(settings::SerialControl, QStringLiteral("1"));
    rig.store.set(settings::SerialActiveLogic, activeLogic);
    rig.open();
    QVERIFY(rig.line.isOpen());
    rig.trigger("mnuSerial"); // a reopen releases the port first
    QVERIFY(rig.line.isOpen());
    rig.trigger("mnuExit");
    QVERIFY(!rig.line.isOpen());
    QTEST(rig.hangupOnClose(), "afterRelease");
}

QTEST_MAIN(TestPortFaults)
#include "test_port_faults.moc"
