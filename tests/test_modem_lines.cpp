// SPDX-License-Identifier: GPL-3.0-or-later
// The modem line shim under the real serial adapter: pseudo-terminals get RTS and DTR that Linux
// would give a serial port, and every edge is recorded. The program runs with the shim preloaded
// (tests/CMakeLists.txt); "--adapter DEVICE KEEP RTS DTR" makes it another program that holds the
// adapter open until its standard input closes.
#include "shutter/LineFailure.h"
#include "support/ModemLines.h"
#include "support/PseudoTerminal.h"
#include "system/QtSerialLine.h"

#include <QSerialPort>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <time.h>

using namespace kestrova;
using namespace kestrova::test;

namespace {

qint64 nanoseconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

int holdAdapter(const QString& device, bool keepLevels, bool rts, bool dtr)
{
    QtSerialLine serial([&device](int) { return ComDevice{device, {}}; });
    serial.setKeepLevelsOnRelease(keepLevels);
    // Stored while the port is closed: nothing can fail yet.
    [[maybe_unused]] const LineResult rtsStored = serial.setRtsEnable(rts);
    [[maybe_unused]] const LineResult dtrStored = serial.setDtrEnable(dtr);
    if (const LineResult failure = serial.open(1)) {
        std::fprintf(stderr, "%s\n", qPrintable(failure->detail));
        return 1;
    }
    std::puts("open");
    std::fflush(stdout);
    char line[16];
    while (std::fgets(line, sizeof line, stdin)) {
    }
    serial.close();
    return 0;
}

// Another program holding the device through the adapter, stored levels rts and dtr.
bool startAdapter(QProcess& holder, const QString& device, bool keepLevels, bool rts, bool dtr,
                  const QProcessEnvironment& environment)
{
    holder.setProcessEnvironment(environment);
    holder.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--adapter"), device, QString::number(keepLevels),
                  QString::number(rts), QString::number(dtr)});
    while (holder.waitForReadyRead(30000))
        if (holder.readAll().contains("open"))
            return true;
    return false;
}

} // namespace

class TestModemLines : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(ModemLines::loadedHere(), "start with LD_PRELOAD naming the shim (ctest does)");
    }

    // The adapter as the program drives it: the open raises both lines, the adapter puts them at
    // its stored levels at once, each switch that changes a level is an edge, and the release
    // drops both only when the port hangs up on close.
    void adapterOpenedSwitchedReleased_data()
    {
        QTest::addColumn<bool>("keepLevels");
        QTest::addColumn<QStringList>("releaseEdges");
        QTest::newRow("hang-up on close: the release drops both")
            << false << QStringList{"RTS=0 close", "DTR=0 close"};
        QTest::newRow("levels kept: the release leaves both set") << true << QStringList{};
    }
    void adapterOpenedSwitchedReleased()
    {
        QFETCH(bool, keepLevels);
        QFETCH(QStringList, releaseEdges);
        PseudoTerminal terminal;
        termios settings{};
        QVERIFY(terminal.readSettings(settings, 1)); // a serial port's flag, before recording
        ModemLines lines;
        QVERIFY(lines.recordHere());
        const QString device = terminal.path();
        QtSerialLine serial([&device](int) { return ComDevice{device, {}}; });
        serial.setKeepLevelsOnRelease(keepLevels);
        const qint64 monotonicBefore = nanoseconds(CLOCK_MONOTONIC);
        const qint64 realtimeBefore = nanoseconds(CLOCK_REALTIME);

        QCOMPARE(serial.open(1), std::nullopt);
        QStringList edges{"RTS=1 open", "DTR=1 open", "RTS=0 ioctl", "DTR=0 ioctl"};
        QCOMPARE(lines.edgeTexts(device), edges);
        QCOMPARE(serial.setRtsEnable(true), std::nullopt);
        QCOMPARE(serial.setDtrEnable(true), std::nullopt);
        QCOMPARE(serial.setDtrEnable(true), std::nullopt); // already set: no edge
        edges += QStringList{"RTS=1 ioctl", "DTR=1 ioctl"};
        QCOMPARE(lines.edgeTexts(device), edges);
        serial.close();
        QCOMPARE(lines.edgeTexts(device), edges + releaseEdges);
        QCOMPARE(lines.levels(device), (LineLevels{keepLevels, keepLevels}));

        // Each edge at the time it was made, by this process.
        qint64 monotonic = monotonicBefore;
        for (const LineEdge& edge : lines.edges(device)) {
            QVERIFY(edge.monotonicNs >= monotonic);
            QVERIFY(edge.realtimeNs >= realtimeBefore);
            QCOMPARE(edge.pid, QCoreApplication::applicationPid());
            monotonic = edge.monotonicNs;
        }
        QVERIFY(monotonic <= nanoseconds(CLOCK_MONOTONIC));
        QVERIFY(lines.edges(device).constLast().realtimeNs <= nanoseconds(CLOCK_REALTIME));
    }

    // The kernel's rules for the descriptors of one device: every open raises both lines, and a
    // duplicate or another process's descriptor keeps the device from being released; the release
    // is the close of the last one, in whichever process.
    void descriptorsOfOneDevice()
    {
        PseudoTerminal terminal;
        termios settings{};
        QVERIFY(terminal.readSettings(settings, 1));
        ModemLines lines;
        QVERIFY(lines.recordHere());
        const QString device = terminal.path();
        const QByteArray path = device.toLocal8Bit();

        const int first = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(first >= 0);
        int bits = TIOCM_RTS | TIOCM_DTR;
        QCOMPARE(::ioctl(first, TIOCMBIC, &bits), 0);
        QCOMPARE(::ioctl(first, TIOCMGET, &bits), 0);
        QCOMPARE(bits & (TIOCM_RTS | TIOCM_DTR), 0);
        int duplicate = ::fcntl(first, F_DUPFD_CLOEXEC, 0);
        QCOMPARE(::close(first), 0); // the duplicate holds the device

        const int second = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QCOMPARE(::ioctl(second, TIOCMGET, &bits), 0);
        QCOMPARE(bits & (TIOCM_RTS | TIOCM_DTR), TIOCM_RTS | TIOCM_DTR);
        bits = TIOCM_DTR;
        QCOMPARE(::ioctl(second, TIOCMSET, &bits), 0);
        // Closes the first duplicate, not the last descriptor. No descriptor here may pass to the
        // program started below: a copy there would hold the device as well.
        duplicate = ::dup3(second, duplicate, O_CLOEXEC);
        QVERIFY(duplicate >= 0);
        QStringList edges{"RTS=1 open", "DTR=1 open", "RTS=0 ioctl", "DTR=0 ioctl",
                          "RTS=1 open", "DTR=1 open", "RTS=0 ioctl"};
        QCOMPARE(lines.edgeTexts(device), edges);

        QProcess holder;
        QVERIFY(startAdapter(holder, device, false, true, true, lines.environment()));
        const qint64 holderPid = holder.processId();
        edges << "RTS=1 open";
        QCOMPARE(lines.edgeTexts(device), edges);
        QCOMPARE(::close(second), 0);
        QCOMPARE(::close(duplicate), 0);
        QCOMPARE(lines.edgeTexts(device), edges); // the other program still holds it

        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(30000));
        QCOMPARE(holder.exitCode(), 0);
        QCOMPARE(lines.edgeTexts(device), edges + QStringList({"RTS=0 close", "DTR=0 close"}));
        QCOMPARE(lines.edges(device).constLast().pid, holderPid);
    }

    // A program killed while it holds the port: the system releases the port then, which drops
    // the lines only when the hang-up flag is set, so a line kept set stays set.
    void adapterKilled_data()
    {
        QTest::addColumn<bool>("keepLevels");
        QTest::addColumn<QStringList>("releaseEdges");
        QTest::newRow("hang-up on close: dropped") << false << QStringList{"RTS=0 close"};
        QTest::newRow("levels kept: RTS stays set") << true << QStringList{};
    }
    void adapterKilled()
    {
        QFETCH(bool, keepLevels);
        QFETCH(QStringList, releaseEdges);
        PseudoTerminal terminal;
        termios settings{};
        QVERIFY(terminal.readSettings(settings, 1));
        ModemLines lines;
        QProcess holder;
        QVERIFY(
            startAdapter(holder, terminal.path(), keepLevels, true, false, lines.environment()));
        const QStringList edges{"RTS=1 open", "DTR=1 open", "DTR=0 ioctl"};
        QCOMPARE(lines.edgeTexts(terminal.path()), edges);
        const qint64 pid = holder.processId();
        holder.kill();
        QVERIFY(holder.waitForFinished(30000));
        QVERIFY(lines.settle());
        QCOMPARE(lines.edgeTexts(terminal.path()), edges + releaseEdges);
        QCOMPARE(lines.edges(terminal.path()).constLast().pid, pid);
        // The port opens again: Qt takes the lock file left by the killed program as stale.
        QSerialPort next(terminal.path());
        QVERIFY(next.open(QIODevice::ReadWrite));
    }
};

int main(int argc, char** argv)
{
    if (argc == 6 && qstrcmp(argv[1], "--adapter") == 0) {
        QCoreApplication app(argc, argv);
        return holdAdapter(QString::fromLocal8Bit(argv[2]), qstrcmp(argv[3], "1") == 0,
                           qstrcmp(argv[4], "1") == 0, qstrcmp(argv[5], "1") == 0);
    }
    QCoreApplication app(argc, argv);
    TestModemLines test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_modem_lines.moc"
