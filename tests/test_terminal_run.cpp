// SPDX-License-Identifier: GPL-3.0-or-later
// The real program run from a command line with no display, its port a pseudo-terminal: the modem
// line shim (support/ModemLinesShim.cpp), preloaded into the program alone, gives the terminal the
// RTS and DTR of a serial port and records every edge with the process that made it. Each run has
// a home, a settings file and a journal of its own; no real serial device is ever named.
#include "control/Messages.h"
#include "journal/JournalFiles.h"
#include "shutter/Messages.h"
#include "support/ModemLines.h"
#include "support/PseudoTerminal.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace kestrova;
using namespace kestrova::test;

namespace {

const QStringList ClosedAtLoad{"RTS=1 open", "DTR=1 open", "DTR=0 ioctl"}; // RTS set: closed
const QStringList TwoExposures{"RTS=0 ioctl", "RTS=1 ioctl", "RTS=0 ioctl", "RTS=1 ioctl"};
const QStringList ShortSequence{"--exposures", "2", "--exposure-time", "1", "--delay", "1"};

// Where standard output goes: a pipe, or a pseudo-terminal of 100 columns, stopped as Ctrl+S or
// a stalled SSH connection stops it.
enum Output { Pipe, Terminal, StoppedTerminal };

// One Kestrova started from a command line. Com1 is the given device, the serial interface is
// chosen and Active Logic unchecked (a set RTS keeps the shutter closed), unless settings adds
// other lines to [Serial%20Options].
class Run {
public:
    Run(const ModemLines& lines, const QString& device, const QString& settings = {})
    {
        QFile file(settingsFile_);
        if (file.open(QIODevice::WriteOnly))
            file.write(QStringLiteral("[Parallel%20Options]\nParallel%20Control=0\n"
                                      "[Serial%20Options]\nSerial%20Control=1\nActiveLogic=0\n"
                                      "Com1%20Device=%1\n%2")
                           .arg(device, settings)
                           .toLocal8Bit());
        QProcessEnvironment environment = lines.environment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                 "DBUS_SESSION_BUS_ADDRESS", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
            environment.remove(name);
        environment.insert("HOME", home_.path());
        environment.insert("XDG_RUNTIME_DIR", home_.path());
        // No system bus either: nothing keeps the machine awake, which the program says.
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + home_.filePath("no-bus"));
        process.setProcessEnvironment(environment);
    }
    ~Run()
    {
        if (terminal_ >= 0)
            ::close(terminal_);
    }

    void start(const QStringList& arguments, Output output = Pipe)
    {
        terminal_ = output == Pipe ? -1 : posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (terminal_ >= 0 && grantpt(terminal_) == 0 && unlockpt(terminal_) == 0)
            process.setChildProcessModifier([name = QByteArray(ptsname(terminal_)), output] {
                const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY);
                const winsize size{24, 100, 0, 0};
                ::ioctl(fd, TIOCSWINSZ, &size);
                if (output == StoppedTerminal)
                    ::tcflow(fd, TCOOFF);
                ::dup2(fd, STDOUT_FILENO);
            });
        process.start(KESTROVA_PROGRAM, QStringList{"--settings", settingsFile_} + arguments);
        if (process.waitForStarted(30000))
            pid = process.processId();
    }

    // The exit status; -1 for a crash or a program that does not end in two minutes. What a
    // terminal was shown waits in it until read, after the end.
    int finish()
    {
        const bool ended = pid != 0 && process.waitForFinished(120000);
        char buffer[4096];
        for (ssize_t got = 0; (got = ::read(terminal_, buffer, sizeof buffer)) > 0;)
            out += QString::fromLocal8Bit(buffer, got);
        out += QString::fromLocal8Bit(process.readAllStandardOutput());
        err = QString::fromLocal8Bit(process.readAllStandardError());
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The last row of the newest night file; without one, a row of no event.
    JournalRow lastJournalRow() const
    {
        const std::optional<QString> night =
            latestNightFile(home_.filePath(".local/state/kestrova"));
        const QList<JournalRow> rows =
            night ? readJournalFile(*night).parsed.rows : QList<JournalRow>();
        return rows.value(rows.size() - 1);
    }
    QString storedText(const QString& key) const
    {
        return QSettings(settingsFile_, QSettings::IniFormat).value(key).toString();
    }

    QProcess process;
    qint64 pid = 0;
    QString out, err;

private:
    QTemporaryDir home_;
    QString settingsFile_ = home_.filePath("kestrova.conf");
    int terminal_ = -1;
};

} // namespace

class TestTerminalRun : public QObject {
    Q_OBJECT
private slots:
    // Two exposures of 1 s, 1 s apart: the line opens and closes twice, the program exits 0, the
    // journal holds the sequence's end, and the output suits where it goes. A terminal that takes
    // nothing holds up the progress alone: the run ends as ever.
    void sequenceCompletes_data()
    {
        QTest::addColumn<int>("output");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("edges");
        QTest::newRow("in a pipe: one plain line per edge")
            << int(Pipe) << QStringList() << ClosedAtLoad + TwoExposures;
        QTest::newRow("on a terminal, active high for this run: one line redrawn in place")
            << int(Terminal) << QStringList{"--active-high"}
            << QStringList{"RTS=1 open",  "DTR=1 open",  "RTS=0 ioctl", "DTR=0 ioctl",
                           "RTS=1 ioctl", "RTS=0 ioctl", "RTS=1 ioctl", "RTS=0 ioctl"};
        QTest::newRow("on a stopped terminal: nothing shown")
            << int(StoppedTerminal) << QStringList() << ClosedAtLoad + TwoExposures;
    }
    void sequenceCompletes()
    {
        QFETCH(int, output);
        QFETCH(QStringList, options);
        ModemLines lines;
        const PseudoTerminal port;
        Run run(lines, port.path());
        run.start(ShortSequence + options, Output(output));
        QCOMPARE(run.finish(), 0);
        QTEST(lines.edgeTexts(port.path()), "edges");
        QCOMPARE(run.storedText("Serial Options/ActiveLogic"), "0"); // for this run only
        const JournalRow end = run.lastJournalRow();
        QCOMPARE(end.event, JournalEvent::SequenceEnd);
        QCOMPARE(end.outcome, JournalOutcome::Completed);
        QCOMPARE(end.exposures, 2);

        const QString started = QStringLiteral("Sequence of 2 exposures of 1 s, 1 s apart "
                                               "(00:00:03 in all) on Com1 (%1) RTS, active %2")
                                    .arg(port.path(), options.isEmpty() ? "low" : "high");
        if (output == Pipe) {
            const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ",
                                           QRegularExpression::MultilineOption);
            QCOMPARE(
                run.out.replace(stamp, "@ "),
                "@ " + started +
                    "\n@ Exposure 1 of 2 opened for 1 s\n@ Exposure 1 of 2 closed, 00:00:02 left"
                    "\n@ Exposure 2 of 2 opened for 1 s\n@ Exposure 2 of 2 closed, 00:00:00 left"
                    "\n@ Sequence complete: 2 exposures of 1 s\n");
        } else if (output == Terminal) {
            QVERIFY2(run.out.startsWith(started + "\r\n\rExposure 1 of 2: 0 of 1 s  [......") &&
                         run.out.contains("\rPause after 1 of 2: 0 of 1 s  [") &&
                         run.out.contains("]  00:00:01 left\x1b[K") &&
                         run.out.endsWith("\r\x1b[KSequence complete: 2 exposures of 1 s\r\n"),
                     qPrintable(run.out));
        } else {
            QCOMPARE(run.out, QString());
        }
    }

    // Runs that end at once. --close puts the line at its closed level, on the stored line or one
    // given for this run only, which is not saved; a port that is not there is a line failure.
    // What the window refuses is refused with its words and status 2; the line never leaves its
    // closed level, and a bad command line opens no port at all.
    void endsAtOnce_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("edges");
        QTest::addColumn<QString>("output");
        const QString invalid = messages::InvalidSequenceValues + ('\n' + messages::delayRule());
        // clang-format off
        QTest::newRow("--close, the stored line") << "--close" << 0 << ClosedAtLoad << "The shutter is closed: Com1 (%1) RTS, active low is at its closed level.\n";
        QTest::newRow("--close, DTR active high for this run only") << "--close --line DTR --active-high" << 0 << QStringList{"RTS=1 open", "DTR=1 open", "RTS=0 ioctl", "DTR=0 ioctl"} << "The shutter is closed: Com1 (%1) DTR, active high is at its closed level.\n";
        QTest::newRow("--close, a Com number whose device is gone: 1") << "--close --port Com2" << 1 << QStringList() << "kestrova: The Com port selected is not available\nCom2: %2 does not exist.";
        QTest::newRow("refused by the sequencer's rules") << "--exposures 2 --exposure-time 5" << 2 << ClosedAtLoad << "kestrova: " + invalid + '\n';
        QTest::newRow("refused: a port that does not exist") << "--exposure-time 5 --port LPT9" << 2 << QStringList() << "kestrova: --port takes LPT1 to LPT3 or Com1 to Com16, not \"LPT9\".\n";
        QTest::newRow("refused: an unknown option") << "--exposure-time 5 --shutter-speed 5" << 2 << QStringList() << "kestrova: Unknown option 'shutter-speed'.\n";
        // clang-format on
    }
    void endsAtOnce()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, output);
        ModemLines lines;
        const PseudoTerminal port;
        const QTemporaryDir gone;
        const QString missing = gone.filePath("ttyUSB0");
        Run run(lines, port.path(), "Com2%20Device=" + missing + u'\n');
        run.start(arguments.split(u' '));
        QTEST(run.finish(), "status");
        QTEST(lines.edgeTexts(port.path()), "edges");
        output.replace("%1", port.path()).replace("%2", missing);
        QVERIFY2((run.out + run.err).contains(output), qPrintable(run.out + run.err));
        QCOMPARE(run.storedText("Serial Options/Control Line"), QString());
        QCOMPARE(run.lastJournalRow().event, JournalEvent::Unknown); // no sequence, no row
    }

    // A program in the middle of an exposure: a second one on its port, a sequence or --close, is
    // refused, naming it, and moves no line, where on another port it runs. Ctrl+C, a kill or a
    // dropped connection then ends the first as Cancel does: the line closed, the journal's end
    // written, then the exit status of the signal.
    void midExposure_data()
    {
        QTest::addColumn<bool>("samePort");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("twice");
        QTest::addColumn<int>("status");
        QTest::newRow("the port refused to a second program; Ctrl+C")
            << true << SIGINT << false << 130;
        QTest::newRow(
            "another port runs a second program; Ctrl+C twice: the closing is not cut short")
            << false << SIGINT << true << 130;
        QTest::newRow("the port refused to a second program; SIGTERM")
            << true << SIGTERM << false << 143;
        QTest::newRow("another port runs a second program; SIGHUP: the SSH connection dropped")
            << false << SIGHUP << false << 129;
    }
    void midExposure()
    {
        QFETCH(bool, samePort);
        QFETCH(int, signal);
        QFETCH(bool, twice);
        ModemLines lines;
        const PseudoTerminal firstPort, secondPort;
        Run first(lines, firstPort.path());
        first.start({"--exposures", "2", "--exposure-time", "600", "--delay", "10"});
        QTRY_COMPARE_WITH_TIMEOUT(lines.edgeTexts(firstPort.path()).size(), 4, 30000); // opened
        const QString port = samePort ? firstPort.path() : secondPort.path();
        for (const QStringList& arguments : {ShortSequence, QStringList{"--close"}}) {
            Run second(lines, port);
            second.start(arguments);
            QCOMPARE(second.finish(), samePort ? 2 : 0);
            const QString refusal = QStringLiteral("kestrova: %1\nAnother Kestrova (process %2) is "
                                                   "driving Com1 (%3).")
                                        .arg(QLatin1String(messages::PortInUse))
                                        .arg(first.pid)
                                        .arg(port);
            QVERIFY2(!samePort || second.err.contains(refusal), qPrintable(second.err));
        }
        if (!samePort)
            QCOMPARE(lines.edgeTexts(secondPort.path()),
                     ClosedAtLoad + TwoExposures + QStringList({"DTR=1 open", "DTR=0 ioctl"}));

        ::kill(pid_t(first.pid), signal);
        if (twice) { // again once the first has closed the line, while the program ends
            for (QDeadlineTimer limit(30000);
                 lines.edgeTexts(firstPort.path()).size() < 5 && !limit.hasExpired();) {
            }
            ::kill(pid_t(first.pid), signal);
        }
        QTEST(first.finish(), "status");
        QCOMPARE(lines.edgeTexts(firstPort.path()), ClosedAtLoad + TwoExposures.mid(0, 2));
        for (const LineEdge& edge : lines.edges(firstPort.path()))
            QCOMPARE(edge.pid, first.pid);
        QVERIFY2(first.out.contains("Exposure 1 of 2 closed early: cancelled\n") &&
                     first.out.contains(" Sequence cancelled by SIG") &&
                     first.out.endsWith(" after 0 of 2 exposures; the shutter is closed.\n"),
                 qPrintable(first.out));
        const JournalRow end = first.lastJournalRow();
        QCOMPARE(end.event, JournalEvent::SequenceEnd);
        QCOMPARE(end.outcome, JournalOutcome::Cancelled);
    }
};

QTEST_GUILESS_MAIN(TestTerminalRun)
#include "test_terminal_run.moc"
