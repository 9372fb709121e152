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

namespace {
// The device whose reads are counted, and the count.
std::atomic<dev_t> watchedDevice{0};
std::atomic<int> readsOfWatched{0};
} // namespace

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
    // each failure is told once, it opens again under the Com number it had, and the release
    // leaves its line at the closed level.
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
        termios settings{};
        const auto plug = [&] {
            ports.list = {FakeSerialPorts::port(QStringLiteral("ftdi@x"))};
            ports.list[0].devicePath = terminal->path();
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
        const QString closed = QStringLiteral("RTS=%1 ioctl").arg(int(!activeLogic));
        QStringList edges{"RTS=1 open", "DTR=1 open", "DTR=0 ioctl"};
        if (activeLogic)
            edges.insert(2, closed);
        QCOMPARE(lines.edgeTexts(terminal->path()), edges);

        rig.play("2,3,1");
        QVERIFY(rig.ticks->fire());
        rig.play("mnuSerial"); // while the shutter is open: the port is kept as it is
        QCOMPARE(lines.edgeTexts(terminal->path()),
                 edges << QStringLiteral("RTS=%1 ioctl").arg(int(activeLogic)));
        const QString firstDevice = terminal->path();
        terminal.reset(); // unplugged: udev takes the link away
        QFile::remove(link);
        ports.list.clear();
        rig.ticks->fire();
        rig.ticks->fire(); // the exposure ends: the closing switch fails, and the sequence with it
        QCOMPARE(rig.messages.size(), 1);
        QVERIFY(!rig.ticks->isEnabled() && !rig.controller->running());
        rig.play("mnuSerial");
        QCOMPARE(rig.messages.size(), 2);
        QVERIFY(rig.messages[1].detail.contains(link));

        terminal = std::make_unique<PseudoTerminal>(); // plugged back, now another device
        QVERIFY(terminal->path() != firstDevice || lines.changes().size() > 0);
        QVERIFY(plug());
        rig.play("mnuSerial");
        QVERIFY(serial.isOpen());
        QCOMPARE(comDevice(store, 1).path, link);
        QCOMPARE(comDevice(store, 2).path, QStringLiteral("/dev/ttyS1"));
        QCOMPARE(rig.messages.size(), 2);
        rig.play("unload");
        QVERIFY(!serial.isOpen());
        QVERIFY(terminal->readSettings(settings));
        QCOMPARE(bool(settings.c_cflag & HUPCL), activeLogic);
        QCOMPARE(lines.levels(terminal->path()), (LineLevels{!activeLogic, false}));
    }

    // Kestrova only switches lines: bytes arriving on the port are never read, so none are kept,
    // and an adapter pulled out wakes nothing, where a port watched for reading would be read
    // without end once it hangs up.
    void unpluggedAdapterIsNeverRead()
    {
        ModemLines lines;
        QVERIFY(lines.recordHere());
        auto terminal = std::make_unique<PseudoTerminal>();
        MemoryStore store;
        store.save(settings::SerialControl, QStringLiteral("1"));
        store.save({{settings::SerialSection, settings::comDeviceKey(1), terminal->path()}});
        QtSerialLine serial([&store](int number) { return comDevice(store, number); });
        struct stat device {};
        QVERIFY(::stat(QFile::encodeName(terminal->path()).constData(), &device) == 0);
        ControllerRig rig(&store);
        rig.open(&serial);
        QVERIFY(serial.isOpen());
        watchedDevice = device.st_rdev;
        const auto stopWatching = qScopeGuard([] { watchedDevice = 0; });
        const QByteArray bytes(4096, 'x');
        for (int i = 0; i < 16; ++i)
            terminal->send(bytes);
        QTest::qWait(50);
        terminal.reset(); // the far side hangs up
        QTest::qWait(50);
        QCOMPARE(readsOfWatched.load(), 0);
        rig.play("cmdConnect"); // the hang-up is found when the line is next switched
        QTRY_COMPARE(rig.messages.size(), 1);
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
        const PortHolder self{QCoreApplication::applicationPid(),
                              QFileInfo(QCoreApplication::applicationFilePath()).fileName()};
        QCOMPARE(failed->detail, "Com1: " + messages::serialPortLockedElsewhere(
                                                terminal.path(), other.fileName(), self));
        QVERIFY(lines.edgeTexts(terminal.path()).isEmpty());
        QCOMPARE(PortLocks(locks.path()).acquire(PortLocks::serialPortKey(terminal.path())).outcome,
                 PortLockOutcome::Acquired);
        other.unlock();
        QVERIFY(!serial.open(1));
        serial.close();
    }
};

QTEST_MAIN(TestPortFaults)
#include "test_port_faults.moc"
