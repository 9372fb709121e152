// SPDX-License-Identifier: GPL-3.0-or-later
// The program on the real serial adapter, whose port is a pseudo-terminal: it has no modem lines,
// so every switch of RTS or DTR fails there as on an adapter pulled out.
#include "config/ComPorts.h"
#include "fakes/FakeSerialPorts.h"
#include "shutter/QtSerialLine.h"
#include "support/PseudoTerminal.h"
#include "support/WindowRig.h"

#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace kestrova;
using namespace kestrova::test;

class TestPortFaults : public QObject {
    Q_OBJECT
private slots:
    void adapterUnpluggedInUseAndPluggedBack();
    void releaseLeavesTheLineClosed_data();
    void releaseLeavesTheLineClosed();
};

// An adapter behind a by-id link is unplugged in the middle of an exposure, then plugged back in
// another socket: each failure is told once, and it opens again under the Com number it had.
void TestPortFaults::adapterUnpluggedInUseAndPluggedBack()
{
    MemoryStore store;
    QtSerialLine serial([&store](int number) { return comDevice(store, number); });
    FakeSerialPorts ports;
    const QTemporaryDir byId;
    const QString link = byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART-if00-port0"));
    auto terminal = std::make_unique<PseudoTerminal>();
    const auto plug = [&] {
        ports.list = {FakeSerialPorts::port(QStringLiteral("ftdi@x"))};
        ports.list[0].devicePath = terminal->path();
        ports.list[0].stableName = link;
        ports.list[0].otherNames = QStringList{link};
        return QFile::link(terminal->path(), link);
    };
    QVERIFY(plug());
    WindowRig rig(&store);
    rig.open(&serial, &ports);
    rig.start("2", "3", "1"); // on the parallel port
    QVERIFY(rig.ticks->fire());
    rig.trigger("mnuSerial"); // opened while the shutter is open: nothing to tell yet
    QCOMPARE(serial.deviceName(), link);
    QVERIFY(rig.messages.isEmpty());

    terminal.reset(); // unplugged: udev takes the link away
    QFile::remove(link);
    ports.list.clear();
    rig.ticks->fire();
    rig.ticks->fire(); // the exposure ends: the closing switch fails, and the sequence with it
    QCOMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text, QStringLiteral("The Com port selected is not available"));
    QVERIFY(!rig.ticks->isEnabled() && rig.find("cmdStart")->isEnabled());
    rig.trigger("mnuSerial");
    QCOMPARE(rig.messages.size(), 2);
    QVERIFY2(rig.messages[1].informativeText.endsWith(
                 QStringLiteral("No serial port is present now. Plug in the serial adapter, then "
                                "choose Interface, Serial.")),
             qPrintable(rig.messages[1].informativeText));
    QVERIFY(!serial.isOpen());

    terminal = std::make_unique<PseudoTerminal>(); // plugged back, now another device
    QVERIFY(plug());
    rig.trigger("mnuSerial");
    QVERIFY(serial.isOpen());
    QCOMPARE(comDevice(store, 1), link);
    QCOMPARE(comDevice(store, 2), QStringLiteral("/dev/ttyS1"));
    QCOMPARE(rig.messages.size(), 2);
    QVERIFY(rig.window->isVisible());
}

// Linux drops RTS and DTR at the last close of a port whose hang-up on close flag is set. Where
// "line set" is the shutter-closed level, that drop would open the shutter at every exit and
// every reopen, so the device must hold the flag clear when the port is released; where "line
// clear" is closed, the drop is harmless and the flag stays set. QSerialPort puts back at its
// close the settings it found at its open, so this is what the device keeps afterwards.
void TestPortFaults::releaseLeavesTheLineClosed_data()
{
    QTest::addColumn<QString>("activeLogic");
    QTest::addColumn<bool>("hangupAfter");
    QTest::newRow("Active Logic unchecked: line set is closed") << "0" << false;
    QTest::newRow("Active Logic checked: line clear is closed") << "1" << true;
}

void TestPortFaults::releaseLeavesTheLineClosed()
{
    QFETCH(QString, activeLogic);
    QFETCH(bool, hangupAfter);
    PseudoTerminal terminal;
    termios settings{};
    QVERIFY(terminal.readSettings(settings, !hangupAfter)); // the other way round first
    QtSerialLine line([&](int) { return terminal.path(); });
    WindowRig rig;
    rig.store.set(settings::SerialControl, QStringLiteral("1"));
    rig.store.set(settings::SerialActiveLogic, activeLogic);
    rig.open(&line);
    QVERIFY(terminal.readSettings(settings));
    QCOMPARE(cfgetospeed(&settings), speed_t(B9600));
    QCOMPARE(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8)); // 8N1
    // A refused switch keeps the level stored before, which the next open applies: a failed
    // "Open Shutter" must not open the shutter when the port comes back.
    rig.click("cmdConnect");
    QTRY_COMPARE(rig.messages.size(), 2); // the closing switch after the start, then this one
    QCOMPARE(line.rtsEnable(), activeLogic == u"0");
    rig.trigger("mnuSerial"); // a reopen releases the port first
    QVERIFY(line.isOpen());
    rig.trigger("mnuExit");
    QVERIFY(!line.isOpen());
    QVERIFY(terminal.readSettings(settings));
    QCOMPARE(bool(settings.c_cflag & HUPCL), hangupAfter);
}

QTEST_MAIN(TestPortFaults)
#include "test_port_faults.moc"
