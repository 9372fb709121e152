// SPDX-License-Identifier: GPL-3.0-or-later
// The modem line shim under the real serial adapter: pseudo-terminals get RTS and DTR that Linux
// would give a serial port, and every edge is recorded. The program runs with the shim preloaded
// (tests/CMakeLists.txt); "--adapter DEVICE KEEP" makes it another program that opens the adapter
// with RTS stored set and DTR clear, sets both, and holds it open until its standard input closes.
#include "shutter/LineFailure.h"
#include "support/ModemLines.h"
#include "support/PseudoTerminal.h"
#include "system/QtSerialLine.h"

#include <QSerialPort>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>

using namespace kestrova;
using namespace kestrova::test;

namespace {

int holdAdapter(const QString& device, bool keepLevels)
{
    QtSerialLine serial([&device](int) { return ComDevice{device, {}}; });
    serial.setKeepLevelsOnRelease(keepLevels);
    // RTS stored while the port is closed; set again once open, it makes no edge.
    if (serial.setRtsEnable(true) || serial.open(1) || serial.setRtsEnable(true) ||
        serial.setDtrEnable(true))
        return 1;
    std::puts("open");
    std::fflush(stdout);
    for (char line[16]; std::fgets(line, sizeof line, stdin);) {
    }
    serial.close();
    return 0;
}

// The adapter held by another program, under the shim recording into lines.
bool startAdapter(QProcess& holder, const QString& device, bool keepLevels, const ModemLines& lines)
{
    holder.setProcessEnvironment(lines.environment());
    holder.start(QCoreApplication::applicationFilePath(),
                 {"--adapter", device, QString::number(keepLevels)});
    return holder.waitForReadyRead(30000) && holder.readAll().startsWith("open");
}

} // namespace

class TestModemLines : public QObject {
    Q_OBJECT
private slots:
    // The adapter as a program drives it: the open raises both lines, the adapter puts them at
    // its stored levels at once, and each switch that changes a level is an edge. Killed, the
    // program leaves the release to the system, which drops both only when the port hangs up on
    // close; the next program opens the port all the same. (A release by closing the port is
    // below.)
    void adapterOpenedSwitchedKilled_data()
    {
        QTest::addColumn<bool>("keepLevels");
        QTest::newRow("hang-up on close: both dropped") << false;
        QTest::newRow("levels kept: both stay set") << true;
    }
    void adapterOpenedSwitchedKilled()
    {
        QFETCH(bool, keepLevels);
        PseudoTerminal terminal;
        termios settings{};
        QVERIFY(terminal.readSettings(settings, 1)); // a serial port's hang-up flag
        ModemLines lines;
        QProcess holder;
        QVERIFY(startAdapter(holder, terminal.path(), keepLevels, lines));
        const qint64 pid = holder.processId();
        const QStringList edges{"RTS=1 open", "DTR=1 open", "DTR=0 ioctl", "DTR=1 ioctl"};
        QCOMPARE(lines.edgeTexts(terminal.path()), edges);
        holder.kill();
        QVERIFY(holder.waitForFinished(30000));
        QVERIFY(lines.settle());
        const QStringList dropped{"RTS=0 close", "DTR=0 close"};
        QCOMPARE(lines.edgeTexts(terminal.path()), keepLevels ? edges : edges + dropped);
        QCOMPARE(lines.edges(terminal.path()).constLast().pid, pid);
        QSerialPort next(terminal.path()); // a killed program's lock file is stale to Qt
        QVERIFY(next.open(QIODevice::ReadWrite));
    }

    // The kernel's rules for the descriptors of one device: every open raises both lines, and a
    // duplicate or another process's descriptor keeps the device from being released; the release
    // is the close of the last one, in whichever process. Each edge is stamped when it was made,
    // by the process that made it.
    void descriptorsOfOneDevice()
    {
        PseudoTerminal terminal;
        termios settings{};
        QVERIFY(terminal.readSettings(settings, 1));
        ModemLines lines;
        QVERIFY2(lines.recordHere(), "start with LD_PRELOAD naming the shim (ctest does)");
        const QString device = terminal.path();
        const auto open = [&device] {
            return ::open(QFile::encodeName(device), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        };
        const qint64 startedNs = QDateTime::currentMSecsSinceEpoch() * 1000000;
        const int first = open();
        int bits = TIOCM_DTR;
        QCOMPARE(::ioctl(first, TIOCMSET, &bits), 0);
        const int second = open();
        QCOMPARE(::ioctl(second, TIOCMGET, &bits), 0);
        QCOMPARE(bits, TIOCM_RTS | TIOCM_DTR);
        // Closes the second descriptor, now a duplicate of the first, then the first: neither is
        // the last. None may pass to the program started below, which would hold the device too.
        QCOMPARE(::dup3(first, second, O_CLOEXEC), second);
        QCOMPARE(::close(first), 0);
        QProcess holder;
        QVERIFY(startAdapter(holder, device, false, lines));
        const qint64 holderPid = holder.processId();
        QCOMPARE(::close(second), 0);
        const QStringList edges{"RTS=1 open", "DTR=1 open",  "RTS=0 ioctl",
                                "RTS=1 open", "DTR=0 ioctl", "DTR=1 ioctl"};
        QCOMPARE(lines.edgeTexts(device), edges); // the other program holds it still

        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(30000));
        QCOMPARE(lines.edgeTexts(device), (edges + QStringList{"RTS=0 close", "DTR=0 close"}));
        const QList<LineEdge> stamped = lines.edges(device);
        QCOMPARE(stamped.constFirst().pid, qApp->applicationPid());
        QCOMPARE(stamped.constLast().pid, holderPid);
        QVERIFY(stamped.constFirst().realtimeNs >= startedNs);
        QVERIFY(std::is_sorted(stamped.begin(), stamped.end(),
                               [](auto& a, auto& b) { return a.monotonicNs < b.monotonicNs; }));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--adapter") == 0)
        return holdAdapter(QString::fromLocal8Bit(argv[2]), qstrcmp(argv[3], "1") == 0);
    TestModemLines test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_modem_lines.moc"
