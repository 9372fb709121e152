// SPDX-License-Identifier: GPL-3.0-or-later
// The line driver on fakes of both ports, and the parallel port adapter on a fake of libieee1284
// defined here: a program's own definitions of the library's functions take the place of the
// shared library's, so the real adapter runs against the fake and no port hardware is touched.
#include "fakes/FakePorts.h"
#include "shutter/ShutterLine.h"
#include "support/PseudoTerminal.h"
#include "system/Ieee1284Port.h"
#include "system/PortLockMessages.h"
#include "system/QtSerialLine.h"

#include <QtTest>

#include <ieee1284.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace kestrova;
using namespace kestrova::test;

// Two ports, at 0x378 and 0x278, a fault to play, and the calls made to the library in order:
// "open parport0", "write parport0 a7"...
static struct FakeLibrary {
    QString fault; // "no list", "raw I/O only", "not ppdev", "claimed elsewhere", "no read back"
    parport ports[2]{{"0", 0x378, 0, nullptr, "/dev/parport0"},
                     {"1", 0x278, 0, nullptr, "/dev/parport1"}};
    QStringList calls{};

    int log(const char* call, const char* file, int result = E1284_OK, const QString& value = {})
    {
        const QString name = QString::fromLatin1(file).remove(QStringLiteral("/dev/"));
        calls << QStringLiteral("%1 %2 %3").arg(QLatin1String(call), name, value).trimmed();
        return result;
    }
} fake;

// clang-format off
extern "C" {
int ieee1284_find_ports(parport_list* list, int)
{
    static parport* listed[] = {&fake.ports[0], &fake.ports[1]};
    fake.calls << QStringLiteral("find");
    fake.ports[0].filename = fake.fault == u"raw I/O only" ? "/dev/port" : "/dev/parport0";
    *list = {2, listed};
    return fake.fault == u"no list" ? E1284_SYS : E1284_OK;
}
void ieee1284_free_ports(parport_list*) { fake.calls << QStringLiteral("free"); }
int ieee1284_open(parport* port, int, int*) { return fake.log("open", port->filename); }
int ieee1284_close(parport* port) { return fake.log("close", port->filename); }
int ieee1284_claim(parport* port) { return fake.log("claim", port->filename, fake.fault == u"claimed elsewhere" ? E1284_SYS : E1284_OK); }
void ieee1284_release(parport* port) { fake.log("release", port->filename); }
int ieee1284_read_data(parport*) { return fake.fault == u"no read back" ? E1284_NOTAVAIL : 0xA5; }
void ieee1284_write_data(parport* port, unsigned char data) { fake.log("write", port->filename, 0, QString::number(data, 16)); }
} // extern "C"
// clang-format on

class TestShutterLine : public QObject {
    Q_OBJECT
private slots:
    // Takes raw I/O port access away from this process, should anything reach past the fake to
    // the real library: no test may touch real port hardware.
    void initTestCase()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        QVERIFY(syscall(SYS_capget, &header, data) == 0);
        for (auto* set : {&data[0].effective, &data[0].permitted, &data[0].inheritable})
            *set &= ~(1u << CAP_SYS_RAWIO);
        QVERIFY(syscall(SYS_capset, &header, data) == 0);
    }

    // The driver on fakes, at data bit D0 of 888 or a line of Com1, takes the commands in turn;
    // each shows the writes to the parallel port, then the calls to the serial one, and the
    // shutter state after it. "flip" and "serial" reconfigure without driving: the line that
    // opened the shutter closes it as it was opened, then the new one is closed. Another bit, port
    // or interface while open, the active high levels and the end of the program are pinned end to
    // end in the controller's and the window's tests.
    // clang-format off
    void drivesTheLine_data()
    {
        QTest::addColumn<QString>("setup"); // the wiring, then the fault if any
        QTest::addColumn<QString>("commands");
        QTest::addColumn<QString>("trace");
        QTest::newRow("parallel defaults, active low: a failure keeps the shutter state") << "parallel, active low, fails once open" << "close open close" << "close(set 888 0) closed; open(clr 888 0) open; close(failed) open";
        QTest::newRow("DTR active low: no reopen while it holds the shutter open") << "DTR, active low" << "reopen open reopen close" << "reopen(DTR on, open 1) closed; open(DTR off) open; reopen() open; close(DTR on) closed";
        QTest::newRow("unplugged: only the closed level is kept for the open, which is refused") << "RTS, active low, unplugged" << "close open reopen" << "close(RTS on, failed) closed; open(failed) closed; reopen(RTS on, open 1, failed) closed";
        QTest::newRow("polarity flipped while open: closed as opened, then at the new closed level") << "parallel, active low" << "open flip close" << "open(clr 888 0) open; flip() open; close(set 888 0, clr 888 0) closed";
        QTest::newRow("serial while D0 holds it open: the port opens closed and reopens, D0 closed at the end") << "parallel, active low" << "open serial reopen reopen close" << "open(clr 888 0) open; serial() open; reopen(RTS on, open 1) open; reopen(close, RTS on, open 1) open; close(set 888 0, RTS on) closed";
    }
    // clang-format on

    void drivesTheLine()
    {
        QFETCH(QString, setup);
        QFETCH(QString, commands);
        FakeParallelPort parallel;
        FakeSerialLine serial;
        ShutterLine line(parallel, serial);
        ShutterConfig config;
        config.Use = setup.startsWith(u"parallel") ? Interface::Parallel : Interface::Serial;
        config.ControlLine = setup.startsWith(u"DTR") ? ControlLine::Dtr : ControlLine::Rts;
        line.configure(config);
        serial.refuseOpen = setup.endsWith(u"unplugged");
        QStringList trace;
        for (const QString& command : commands.split(u' ')) {
            parallel.fail = setup.endsWith(u"fails once open") && line.shutterOpen();
            const LineResult failed = command == u"open"     ? line.openShutter()
                                      : command == u"close"  ? line.closeShutter()
                                      : command == u"reopen" ? line.openSerialPort()
                                                             : std::nullopt;
            QStringList calls =
                std::exchange(parallel.writes, {}) + std::exchange(serial.calls, {});
            if (failed)
                calls << QStringLiteral("failed");
            if (command == u"flip")
                config.ActiveLogic = !config.ActiveLogic;
            else if (command == u"serial")
                config.Use = Interface::Serial;
            line.configure(config);
            trace << QStringLiteral("%1(%2) %3")
                         .arg(command, calls.join(u", "), line.shutterOpen() ? u"open" : u"closed");
        }
        QTEST(trace.join(u"; "), "trace");
    }

    // A port whose lines cannot be put back right after the open (a pseudo-terminal has no modem
    // lines) would hold them where the open raised them, the open level with Active Logic checked:
    // it is closed again and told as the failed open it is. Its release drops the raised lines
    // only where they are the open level.
    void serialPortWithoutLinesIsNotKept_data()
    {
        QTest::addColumn<bool>("activeLogic");
        QTest::newRow("Active Logic unchecked: raised is closed, kept") << false;
        QTest::newRow("Active Logic checked: raised is open, dropped") << true;
    }
    void serialPortWithoutLinesIsNotKept()
    {
        QFETCH(bool, activeLogic);
        PseudoTerminal terminal;
        termios settings{};
        QVERIFY(terminal.readSettings(settings, !activeLogic)); // the other way round first
        QtSerialLine serial([&terminal](int) { return ComDevice{terminal.path(), {}}; });
        serial.setKeepLevelsOnRelease(!activeLogic); // as the line driver asks
        const LineResult failure = serial.open(1);
        QVERIFY(failure && !serial.isOpen());
        QCOMPARE(failure->text, messages::ComPortNotAvailable);
        QVERIFY2(failure->detail.startsWith("Com1: RTS could not be switched"),
                 qPrintable(failure->detail));
        QVERIFY(terminal.readSettings(settings));
        QCOMPARE(bool(settings.c_cflag & HUPCL), activeLogic);
    }

    // Each step sets or clears a data bit at an address; the calls show a failure as it is told,
    // with the advice on ppdev. The data register reads back 0xA5 unless it does not at all.
    // clang-format off
    void parallelAdapter_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("calls");
        const auto failed = [](const QString& why) { return messages::parallelPortNotAvailable(QStringLiteral("LPT1 (0x378)")) + ": " + why + ' ' + QLatin1String(messages::PpdevAdvice); };
        QTest::newRow("the register reads back: the other seven bits kept; a port at each address, the first released and closed for the second") << "" << "set 378 1, clr 378 0, set 378 7, clr 378 5, set 278 1" << "find, check parport0, open parport0, claim parport0, write parport0 a7, write parport0 a6, write parport0 a6, write parport0 86, release parport0, close parport0, check parport1, open parport1, claim parport1, write parport1 a7, release parport1, close parport1, free";
        QTest::newRow("the register does not read back: from zero") << "no read back" << "set 378 1, set 378 7" << "find, check parport0, open parport0, claim parport0, write parport0 2, write parport0 82, release parport0, close parport0, free";
        QTest::newRow("the list cannot be read") << "no list" << "set 378 1" << "find, " + failed(messages::ParallelPortListUnreadable);
        QTest::newRow("a port listed only for raw I/O is not used") << "raw I/O only" << "set 378 1" << "find, " + failed(messages::NoParallelPortAtAddress) + ", free";
        QTest::newRow("a device file that is not ppdev: the library never asked to open it") << "not ppdev" << "set 378 1" << "find, check parport0, " + failed("not ppdev") + ", free";
        QTest::newRow("a port claimed by another program is closed again") << "claimed elsewhere" << "set 378 1" << "find, check parport0, open parport0, claim parport0, close parport0, " + failed(messages::parallelPortInUse(QStringLiteral("/dev/parport0"))) + ", free";
        QTest::newRow("a data bit that does not exist, from a hand-edited setting") << "" << "set 378 8" << failed("Data bit D8 does not exist.");
        const PortHolder self{QCoreApplication::applicationPid(), QFileInfo(QCoreApplication::applicationFilePath()).fileName()};
        QTest::newRow("a port another Kestrova drives: the device is never touched, the other port is") << "driven by another" << "set 378 1, set 278 1" << QLatin1String(messages::PortInUse) + ": " + messages::portDrivenByAnother(QStringLiteral("LPT1 (0x378)"), self) + ", find, check parport1, open parport1, claim parport1, write parport1 a7, release parport1, close parport1, free";
    }
    // clang-format on

    void parallelAdapter()
    {
        QFETCH(QString, fault);
        QFETCH(QString, steps);
        fake = {fault};
        const QTemporaryDir locks;
        PortLocks otherKestrova(locks.path());
        if (fault == u"driven by another")
            QCOMPARE(otherKestrova.acquire(PortLocks::parallelPortKey(0x378)).outcome,
                     PortLockOutcome::Acquired);
        auto port = std::make_unique<Ieee1284Port>(
            [](const char* file) {
                fake.log("check", file);
                return fake.fault == u"not ppdev" ? fake.fault : QString();
            },
            locks.path());
        for (const QString& step : steps.split(QStringLiteral(", "))) {
            const int address = step.section(u' ', 1, 1).toInt(nullptr, 16);
            const auto bit = std::uint8_t(step.section(u' ', 2).toInt());
            if (const LineResult failure = step.startsWith(u"set") ? port->setPortBit(address, bit)
                                                                   : port->clrPortBit(address, bit))
                fake.calls << failure->text + ": " + failure->detail;
        }
        port.reset(); // the adapter gone: what it held is released, closed and freed
        QTEST(fake.calls.join(u", "), "calls");
    }
};

QTEST_GUILESS_MAIN(TestShutterLine)
#include "test_shutter_line.moc"
