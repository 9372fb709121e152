// SPDX-License-Identifier: GPL-3.0-or-later
// The program on the real serial adapter, whose port is a pseudo-terminal: the modem line shim,
// preloaded (tests/CMakeLists.txt), gives it the RTS and DTR that Linux gives a serial port and
// records every edge. Closing the pseudo-terminal's other side is an adapter pulled out.
#include "config/ComPorts.h"
#include "fakes/FakeSerialPorts.h"
#include "support/ControllerRig.h"
#include "support/ModemLines.h"
#include "support/PseudoTerminal.h"
#include "system/PortLockMessages.h"
#include "system/QtSerialLine.h"

#include <QtTest>

#include <atomic>
#include <sys/stat.h>
#include <sys/syscall.h>

using namespace kestrova;
using namespace kestrova::test;

// The device whose reads are counted, and the count.
static std::atomic<dev_t> watchedDevice{0};
static std::atomic<int> readsOfWatched{0};

// Every read of this process passes here, the serial port's included, before it goes to the
// system.
extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    struct stat file {};
    if (watchedDevice != 0 && ::fstat(fd, &file) == 0 && S_ISCHR(file.st_mode) &&
        file.st_rdev == watchedDevice)
        ++readsOfWatched;
    return ::syscall(SYS_read, fd, buffer, count);
}

class TestPortFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(ModemLines::loadedHere(), "run with the shim preloaded"); }

    // Linux drops RTS and DTR at the last close of a port whose hang-up on close flag is set.
    // Where "line set" is the shutter-closed level, that drop would open the shutter at every exit
    // and every reopen, so the device must hold the flag clear when the port is released; where
    // "line clear" is closed, the drop is harmless and the flag stays set.
    void adapterUnpluggedPluggedBackReleased_data()
    {
        QTest::addColumn<bool>("activeLogic");
        QTest::newRow("Active Logic unchecked: line set is closed, no hang-up") << false;
        QTest::newRow("Active Logic checked: line clear is closed, hang-up kept") << true;
    }

    // An adapter behind a by-id link opens with its line back at the closed level at once, is
    // unplugged in the middle of an exposure, plugged back in another socket and released at exit:
    // each failure is told once, it opens again under the Com number it had, and neither the open
    // nor the release moves its line from the closed level. Kestrova only switches lines: the port
    // is never read, so the hang-up wakes nothing and is found at the next switch.
    void adapterUnpluggedPluggedBackReleased()
    {
        QFETCH(bool, activeLogic);
        ModemLines lines;
        QVERIFY(lines.recordHere());
        MemoryStore store;
        store.save(settings::SerialControl, QStringLiteral("1"));
        store.save(settings::SerialActiveLogic, QString::number(activeLogic));
        QtSerialLine serial([&store](int number) { return comDevice(store, number); });
        FakeSerialPorts ports;
        const QTemporaryDir byId;
        const QString link = byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART-if00-port0"));
        auto terminal = std::make_unique<PseudoTerminal>();
        auto pluggedBack = std::make_unique<PseudoTerminal>(); // made now: surely another device
        termios settings{};
        const auto plug = [&] {
            ports.plug("ftdi@" + terminal->path().mid(5)); // "/dev/pts/N"
            ports.list[0].stableName = link;
            // A serial port's hang-up flag is set until a program clears it.
            return QFile::link(terminal->path(), link) && terminal->readSettings(settings, 1);
        };
        QVERIFY(plug());
        ControllerRig rig(&store);
        rig.open(&serial, &ports);
        QVERIFY(terminal->readSettings(settings));
        QCOMPARE(cfgetospeed(&settings), speed_t(B9600));
        QCOMPARE(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8)); // 8N1
        // The open raises both lines; the closed level and DTR's stored "off" follow at once.
        QStringList opened{"RTS=1 open", "DTR=1 open", "DTR=0 ioctl"};
        if (activeLogic)
            opened.insert(2, QStringLiteral("RTS=0 ioctl"));
        QCOMPARE(lines.edgeTexts(terminal->path()), opened);

        rig.play("2,3,1");
        QVERIFY(rig.ticks->fire());
        rig.play("mnuSerial"); // while the shutter is open: the port is kept as it is
        QCOMPARE(lines.edgeTexts(terminal->path()),
                 opened + QStringList{QStringLiteral("RTS=%1 ioctl").arg(int(activeLogic))});
        struct stat device {};
        QVERIFY(::stat(QFile::encodeName(terminal->path()).constData(), &device) == 0);
        watchedDevice = device.st_rdev;
        const auto stopWatching = qScopeGuard([] { watchedDevice = 0; });
        terminal = std::move(pluggedBack); // unplugged: udev takes the link away
        QFile::remove(link);
        ports.list.clear();
        QTest::qWait(50); // a port watched for reading would be read without end from now
        QCOMPARE(readsOfWatched.load(), 0);
        rig.ticks->fire();
        rig.ticks->fire(); // the exposure ends: the closing switch fails, and the sequence with it
        QCOMPARE(rig.messages.size(), 1);
        QVERIFY(!rig.ticks->isEnabled() && !rig.controller->running());
        rig.play("mnuSerial");
        QCOMPARE(rig.messages.size(), 2);
        QVERIFY(rig.messages[1].detail.contains(link));

        QVERIFY(plug());
        rig.play("mnuSerial");
        QVERIFY(serial.isOpen());
        QCOMPARE(rig.messages.size(), 2);
        rig.play("unload");
        QVERIFY(!serial.isOpen());
        QCOMPARE(lines.edgeTexts(terminal->path()), opened);
        // Where both lines are clear at the release, only the flag shows whether it drops them.
        QVERIFY(terminal->readSettings(settings));
        QCOMPARE(bool(settings.c_cflag & HUPCL), activeLogic);
    }

    // Another serial program holds QSerialPort's own lock of the device (LCK..pts_N in the
    // system's lock folder), which QSerialPort tells as a permission error: the message names
    // that program and its lock instead of the dialout group, no line moves, and the port's own
    // lock is given back for the next attempt.
    void lockedByAnotherSerialProgram()
    {
        ModemLines lines;
        QVERIFY(lines.recordHere());
        const PseudoTerminal terminal;
        QLockFile other(QStringLiteral("/var/lock/LCK..") +
                        terminal.path().mid(5).replace(u'/', u'_'));
        QVERIFY(other.tryLock(0));
        const QTemporaryDir locks;
        QtSerialLine serial([&](int) { return ComDevice{terminal.path(), {}}; }, locks.path());
        const LineResult failed = serial.open(1);
        QVERIFY(failed);
        QCOMPARE(failed->text, QLatin1String(messages::ComPortNotAvailable));
        const PortHolder self{qApp->applicationPid(), qApp->applicationName()};
        QCOMPARE(failed->detail, "Com1: " + messages::serialPortLockedElsewhere(
                                                terminal.path(), other.fileName(), self));
        QVERIFY(lines.edgeTexts(terminal.path()).isEmpty());
        QCOMPARE(PortLocks(locks.path()).acquire(PortLocks::serialPortKey(terminal.path())).outcome,
                 PortLockOutcome::Acquired);
    }
};

QTEST_MAIN(TestPortFaults)
#include "test_port_faults.moc"
