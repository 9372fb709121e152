// SPDX-License-Identifier: GPL-3.0-or-later
// The program on the real serial adapter, whose port is a pseudo-terminal: it has no modem lines,
// so every switch of RTS or DTR fails there as on an adapter pulled out.
#include "config/ComPorts.h"
#include "fakes/FakeSerialPorts.h"
#include "shutter/QtSerialLine.h"
#include "support/PseudoTerminal.h"
#include "support/WindowRig.h"

#include <QtTest>

using namespace kestrova;
using namespace kestrova::test;

class TestPortFaults : public QObject {
    Q_OBJECT
private slots:
    // Linux drops RTS and DTR at the last close of a port whose hang-up on close flag is set.
    // Where "line set" is the shutter-closed level, that drop would open the shutter at every exit
    // and every reopen, so the device must hold the flag clear when the port is released; where
    // "line clear" is closed, the drop is harmless and the flag stays set. QSerialPort puts back
    // at its close the settings it found at its open, so this is what the device keeps afterwards.
    void adapterUnpluggedPluggedBackReleased_data()
    {
        QTest::addColumn<bool>("activeLogic");
        QTest::newRow("Active Logic unchecked: line set is closed, no hang-up") << false;
        QTest::newRow("Active Logic checked: line clear is closed, hang-up kept") << true;
    }

    // An adapter behind a by-id link is refused a switch, unplugged in the middle of an exposure,
    // plugged back in another socket and released at exit: each failure is told once, it opens
    // again under the Com number it had, and the release leaves its line at the closed level.
    void adapterUnpluggedPluggedBackReleased()
    {
        QFETCH(bool, activeLogic);
        MemoryStore store;
        store.save(settings::SerialControl, QStringLiteral("1"));
        store.save(settings::SerialActiveLogic, QString::number(activeLogic));
        QtSerialLine serial([&store](int number) { return comDevice(store, number); });
        FakeSerialPorts ports;
        const QTemporaryDir byId;
        const QString link = byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART-if00-port0"));
        auto terminal = std::make_unique<PseudoTerminal>();
        termios settings{};
        const auto plug = [&] {
            ports.list = {FakeSerialPorts::port(QStringLiteral("ftdi@x"))};
            ports.list[0].devicePath = terminal->path();
            ports.list[0].stableName = link;
            // The hang-up flag the other way round first, so that only the release can set it.
            return QFile::link(terminal->path(), link) &&
                   terminal->readSettings(settings, !activeLogic);
        };
        QVERIFY(plug());
        WindowRig rig(&store);
        rig.open(&serial, &ports);
        QVERIFY(terminal->readSettings(settings));
        QCOMPARE(cfgetospeed(&settings), speed_t(B9600));
        QCOMPARE(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8)); // 8N1
        // A pseudo-terminal has no modem lines: the start-up's closing switch and Open Shutter
        // fail. A refused switch keeps the level stored before, which the next open applies: a
        // failed "Open Shutter" must not open the shutter when the port comes back.
        rig.play("cmdConnect");
        QTRY_COMPARE(rig.messages.size(), 2);
        QCOMPARE(serial.rtsEnable(), !activeLogic);

        rig.play("mnuParallel");
        rig.play("2,3,1");
        QVERIFY(rig.ticks->fire());
        rig.play("mnuSerial"); // reopened while the shutter is open: nothing to tell yet
        terminal.reset();      // unplugged: udev takes the link away
        QFile::remove(link);
        ports.list.clear();
        rig.ticks->fire();
        rig.ticks->fire(); // the exposure ends: the closing switch fails, and the sequence with it
        QCOMPARE(rig.messages.size(), 3);
        QVERIFY(!rig.ticks->isEnabled() && rig.find("cmdStart")->isEnabled());
        rig.play("mnuSerial");
        QCOMPARE(rig.messages.size(), 4);
        QVERIFY(rig.messages[3].informativeText.contains(link));

        terminal = std::make_unique<PseudoTerminal>(); // plugged back, now another device
        QVERIFY(plug());
        rig.play("mnuSerial");
        QVERIFY(serial.isOpen());
        QCOMPARE(comDevice(store, 1).path, link);
        QCOMPARE(comDevice(store, 2).path, QStringLiteral("/dev/ttyS1"));
        QCOMPARE(rig.messages.size(), 4);
        rig.play("mnuExit");
        QVERIFY(!serial.isOpen());
        QVERIFY(terminal->readSettings(settings));
        QCOMPARE(bool(settings.c_cflag & HUPCL), activeLogic);
    }
};

QTEST_MAIN(TestPortFaults)
#include "test_port_faults.moc"
