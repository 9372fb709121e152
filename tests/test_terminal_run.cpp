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
#include "terminal/Messages.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace kestrova;
using namespace kestrova::test;

namespace {

const QStringList ClosedAtLoad{"RTS=1 open", "DTR=1 open", "DTR=0 ioctl"}; // RTS set: closed

// One Kestrova started from a command line. Com1 is the given device, the serial interface is
// chosen and Active Logic unchecked (a set RTS keeps the shutter closed), unless settings adds
// other lines to [Serial%20Options].
class Run {
public:
    Run(const ModemLines& lines, const QString& device, const QString& settings = {})
    {
        settingsFile_ = home_.filePath(QStringLiteral("kestrova.conf"));
        QFile file(settingsFile_);
        if (file.open(QIODevice::WriteOnly))
            file.write(QStringLiteral("[Parallel%20Options]\nParallel%20Control=0\n"
                                      "[Serial%20Options]\nSerial%20Control=1\nActiveLogic=0\n"
                                      "Com1%20Device=%1\n%2")
                           .arg(device, settings)
                           .toLocal8Bit());
        QProcessEnvironment environment = lines.environment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
            environment.remove(QLatin1String(name));
        environment.insert("HOME", home_.path());
        environment.insert("XDG_CONFIG_HOME", home_.filePath("config"));
        environment.insert("XDG_STATE_HOME", home_.filePath("state"));
        environment.insert("XDG_RUNTIME_DIR", home_.path());
        // No system bus either: nothing keeps the machine awake, which the program says.
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + home_.filePath("no-bus"));
        process.setProcessEnvironment(environment);
    }
    ~Run()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(30000);
        }
        for (const int fd : {terminal_, stoppedTerminal_})
            if (fd >= 0)
                ::close(fd);
    }

    // Standard output is a pipe, or with onTerminal a pseudo-terminal of 100 columns; stopped,
    // its output is suspended as Ctrl+S suspends it.
    void start(const QStringList& arguments, bool onTerminal = false, bool stopped = false)
    {
        if (onTerminal) {
            terminal_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (terminal_ >= 0 && grantpt(terminal_) == 0 && unlockpt(terminal_) == 0) {
                const QByteArray name = ptsname(terminal_);
                if (stopped) {
                    stoppedTerminal_ = ::open(name.constData(), O_RDWR | O_NOCTTY);
                    ::tcflow(stoppedTerminal_, TCOOFF);
                }
                const winsize size{24, 100, 0, 0};
                process.setChildProcessModifier([name, size] {
                    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY);
                    ::ioctl(fd, TIOCSWINSZ, &size);
                    ::dup2(fd, STDOUT_FILENO);
                });
            }
        }
        process.start(QStringLiteral(KESTROVA_PROGRAM),
                      QStringList{"--settings", settingsFile_} + arguments);
        process.waitForStarted(30000);
    }
    qint64 pid() const { return pid_ ? pid_ : process.processId(); }

    // Until standard output holds text.
    bool waitForOutput(const QString& text)
    {
        pid_ = process.processId();
        while (!out.contains(text)) {
            if (!process.waitForReadyRead(30000))
                return false;
            out += QString::fromLocal8Bit(process.readAllStandardOutput());
        }
        return true;
    }

    // The exit status; -1 for a crash or a program that does not end.
    int finish()
    {
        pid_ = process.processId();
        for (int waited = 0; !process.waitForFinished(100); ++waited) {
            readTerminal();
            if (waited == 1200) // two minutes: the program hangs
                return -1;
        }
        readTerminal();
        out += QString::fromLocal8Bit(process.readAllStandardOutput());
        err = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The newest night file's rows.
    QList<JournalRow> journal() const
    {
        const std::optional<QString> file =
            latestNightFile(home_.filePath(QStringLiteral("state/kestrova")));
        return file ? readJournalFile(*file).parsed.rows : QList<JournalRow>{};
    }
    QString storedText(const QString& key) const
    {
        return QSettings(settingsFile_, QSettings::IniFormat).value(key).toString();
    }

    QProcess process;
    QString out, err;

private:
    void readTerminal()
    {
        char buffer[4096];
        ssize_t got = 0;
        while (terminal_ >= 0 && (got = ::read(terminal_, buffer, sizeof buffer)) > 0)
            out += QString::fromLocal8Bit(buffer, got);
    }

    QTemporaryDir home_;
    QString settingsFile_;
    int terminal_ = -1;
    int stoppedTerminal_ = -1;
    qint64 pid_ = 0;
};

// The processes that changed the device's lines.
QSet<qint64> changersOf(const ModemLines& lines, const QString& device)
{
    QSet<qint64> changers;
    for (const LineChange& change : lines.changes())
        if (change.device == device)
            changers.insert(change.pid);
    return changers;
}

} // namespace

class TestTerminalRun : public QObject {
    Q_OBJECT
private slots:
    // Two exposures of 1 s, 1 s apart: the line opens and closes twice, the program exits 0, the
    // journal holds the sequence's end, and the output suits where it goes.
    void sequenceCompletes_data()
    {
        QTest::addColumn<bool>("onTerminal");
        QTest::addColumn<QString>("polarity");
        QTest::addColumn<QStringList>("edges");
        QTest::newRow("in a pipe: one plain line per edge")
            << false << QString()
            << ClosedAtLoad +
                   QStringList{"RTS=0 ioctl", "RTS=1 ioctl", "RTS=0 ioctl", "RTS=1 ioctl"};
        QTest::newRow("on a terminal, active high for this run: one line redrawn in place")
            << true << "--active-high"
            << QStringList{"RTS=1 open",  "DTR=1 open",  "RTS=0 ioctl", "DTR=0 ioctl",
                           "RTS=1 ioctl", "RTS=0 ioctl", "RTS=1 ioctl", "RTS=0 ioctl"};
    }
    void sequenceCompletes()
    {
        QFETCH(bool, onTerminal);
        QFETCH(QString, polarity);
        ModemLines lines;
        const PseudoTerminal port;
        Run run(lines, port.path());
        QStringList arguments{"--exposures", "2", "--exposure-time", "1", "--delay", "1"};
        if (!polarity.isEmpty())
            arguments << polarity;
        run.start(arguments, onTerminal);
        QCOMPARE(run.finish(), 0);
        QTEST(lines.edgeTexts(port.path()), "edges");
        QCOMPARE(changersOf(lines, port.path()), QSet<qint64>{run.pid()});
        QCOMPARE(run.storedText("Serial Options/ActiveLogic"), "0"); // for this run only

        const QString line = polarity.isEmpty() ? "RTS, active low" : "RTS, active high";
        const QString started = QStringLiteral("Sequence of 2 exposures of 1 s, 1 s apart "
                                               "(00:00:03 in all) on Com1 (%1) %2")
                                    .arg(port.path(), line);
        if (onTerminal) {
            QVERIFY2(run.out.startsWith(started + "\r\n\rExposure 1 of 2: 0 of 1 s  [......"),
                     qPrintable(run.out));
            QVERIFY2(run.out.contains("\rPause after 1 of 2: 0 of 1 s  [") &&
                         run.out.contains("]  00:00:01 left\x1b[K"),
                     qPrintable(run.out));
            QVERIFY2(run.out.endsWith("\r\x1b[KSequence complete: 2 exposures of 1 s\r\n"),
                     qPrintable(run.out));
        } else {
            QStringList printed = run.out.split(u'\n', Qt::SkipEmptyParts);
            const QRegularExpression stamp(
                QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "));
            for (QString& text : printed) {
                QVERIFY2(text.contains(stamp), qPrintable(text));
                text.remove(stamp);
            }
            QCOMPARE(printed, (QStringList{started, "Exposure 1 of 2 opened for 1 s",
                                           "Exposure 1 of 2 closed, 00:00:02 left",
                                           "Exposure 2 of 2 opened for 1 s",
                                           "Exposure 2 of 2 closed, 00:00:00 left",
                                           "Sequence complete: 2 exposures of 1 s"}));
        }
        const QList<JournalRow> rows = run.journal();
        QVERIFY(!rows.isEmpty());
        QCOMPARE(rows.last().event, JournalEvent::SequenceEnd);
        QCOMPARE(rows.last().outcome, JournalOutcome::Completed);
        QCOMPARE(rows.last().exposures, 2);
    }

    // A terminal that takes nothing (output stopped with Ctrl+S, an SSH connection stalled)
    // holds up the progress alone: the exposures keep to their time and the run ends as ever.
    void stalledTerminal()
    {
        ModemLines lines;
        const PseudoTerminal port;
        Run run(lines, port.path());
        run.start({"--exposures", "2", "--exposure-time", "1", "--delay", "1"}, true, true);
        QCOMPARE(run.finish(), 0);
        const QStringList edges =
            ClosedAtLoad + QStringList{"RTS=0 ioctl", "RTS=1 ioctl", "RTS=0 ioctl", "RTS=1 ioctl"};
        QCOMPARE(lines.edgeTexts(port.path()), edges);
        QCOMPARE(run.out, QString());
    }

    // What the window refuses is refused with its words, on standard error, with status 2; the
    // line never leaves its closed level, and a bad command line opens no port at all.
    void refusals_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("edges");
        const QString invalid = QLatin1String(messages::InvalidSequenceValues) + u'\n';
        // clang-format off
        QTest::newRow("an exposure time of 0") << "--exposures 2 --exposure-time 0 --delay 1" << invalid + messages::exposureTimeRule() << ClosedAtLoad;
        QTest::newRow("two exposures with no delay") << "--exposures 2 --exposure-time 5" << invalid + messages::delayRule() << ClosedAtLoad;
        QTest::newRow("a count that is no number") << "--exposures many --exposure-time 5" << invalid + messages::countRule() << ClosedAtLoad;
        QTest::newRow("longer than a sequence may last") << "--exposures 100 --exposure-time 300 --delay 30" << invalid + messages::sequenceTooLong() << ClosedAtLoad;
        QTest::newRow("a port that does not exist") << "--exposure-time 5 --port LPT9" << "--port takes LPT1 to LPT3 or Com1 to Com16, not \"LPT9\"." << QStringList();
        QTest::newRow("an unknown option") << "--exposure-time 5 --shutter-speed 5" << "Unknown option 'shutter-speed'." << QStringList();
        // clang-format on
    }
    void refusals()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, message);
        ModemLines lines;
        const PseudoTerminal port;
        Run run(lines, port.path());
        run.start(arguments.split(u' '));
        QCOMPARE(run.finish(), 2);
        QVERIFY2(run.err.contains("kestrova: " + message + u'\n'), qPrintable(run.err));
        QTEST(lines.edgeTexts(port.path()), "edges");
        QVERIFY(run.journal().isEmpty());
    }

    // Ctrl+C, a kill and a dropped connection in the middle of an exposure end the sequence as
    // Cancel does: the line closed, the journal's end written, then the exit status of the signal.
    void terminationSignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("status");
        QTest::newRow("Ctrl+C") << SIGINT << 1 << 130;
        QTest::newRow("Ctrl+C twice: the closing is not cut short") << SIGINT << 2 << 130;
        QTest::newRow("SIGTERM") << SIGTERM << 1 << 143;
        QTest::newRow("SIGHUP: the SSH connection dropped") << SIGHUP << 1 << 129;
    }
    void terminationSignals()
    {
        QFETCH(int, signal);
        QFETCH(int, times);
        ModemLines lines;
        const PseudoTerminal port;
        Run run(lines, port.path());
        run.start({"--exposures", "2", "--exposure-time", "600", "--delay", "10"});
        QVERIFY(run.waitForOutput("Exposure 1 of 2 opened for 600 s\n"));
        for (int i = 0; i < times; ++i)
            ::kill(pid_t(run.pid()), signal);
        QTEST(run.finish(), "status");
        const QStringList edges = ClosedAtLoad + QStringList{"RTS=0 ioctl", "RTS=1 ioctl"};
        QCOMPARE(lines.edgeTexts(port.path()), edges);
        QVERIFY2(run.out.contains("Exposure 1 of 2 closed early: cancelled\n") &&
                     run.out.contains(" Sequence cancelled by SIG") &&
                     run.out.endsWith(" after 0 of 2 exposures; the shutter is closed.\n"),
                 qPrintable(run.out));
        const QList<JournalRow> rows = run.journal();
        QVERIFY(!rows.isEmpty());
        QCOMPARE(rows.last().event, JournalEvent::SequenceEnd);
        QCOMPARE(rows.last().outcome, JournalOutcome::Cancelled);
    }

    // One program at a time on a port: a second one on the same port is refused, naming the
    // first, and moves no line; on another port both run.
    void twoPrograms_data()
    {
        QTest::addColumn<bool>("samePort");
        QTest::newRow("one port: the second refused, and --close too") << true;
        QTest::newRow("two ports, two cameras: both run") << false;
    }
    void twoPrograms()
    {
        QFETCH(bool, samePort);
        ModemLines lines;
        const PseudoTerminal firstPort, secondPort;
        Run first(lines, firstPort.path());
        first.start({"--exposures", "1", "--exposure-time", "600"});
        QVERIFY(first.waitForOutput("opened for 600 s\n"));
        const QString port = samePort ? firstPort.path() : secondPort.path();
        const QStringList sequence{"--exposures", "2", "--exposure-time", "1", "--delay", "1"};
        QSet<qint64> seconds;
        for (const QStringList& arguments : {sequence, QStringList{"--close"}}) {
            Run second(lines, port);
            second.start(arguments);
            QCOMPARE(second.finish(), samePort ? 2 : 0);
            seconds.insert(second.pid());
            if (samePort)
                QVERIFY2(second.err.contains(QStringLiteral("kestrova: %1\nAnother Kestrova "
                                                            "(process %2) is driving Com1 (%3).")
                                                 .arg(QLatin1String(messages::PortInUse))
                                                 .arg(first.pid())
                                                 .arg(port)),
                         qPrintable(second.err));
        }
        QCOMPARE(changersOf(lines, firstPort.path()), QSet<qint64>{first.pid()});
        if (!samePort) {
            QCOMPARE(changersOf(lines, secondPort.path()), seconds);
            const QStringList edges =
                ClosedAtLoad + QStringList{"RTS=0 ioctl", "RTS=1 ioctl", "RTS=0 ioctl",
                                           "RTS=1 ioctl", "DTR=1 open",  "DTR=0 ioctl"};
            QCOMPARE(lines.edgeTexts(secondPort.path()), edges);
        }
        ::kill(pid_t(first.pid()), SIGTERM);
        QCOMPARE(first.finish(), 143);
        QCOMPARE(lines.levels(firstPort.path()), (LineLevels{true, false}));
    }

    // --close puts the line at its closed level and exits, on the stored line or one given for
    // this run only, which is not saved; a port that is not there is a line failure.
    void closeCommand_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("edges");
        QTest::addColumn<QString>("output");
        // clang-format off
        QTest::newRow("the stored line") << "--close" << 0 << ClosedAtLoad << "The shutter is closed: Com1 (%1) RTS, active low is at its closed level.\n";
        QTest::newRow("DTR active high, for this run only") << "--close --line DTR --active-high" << 0 << QStringList{"RTS=1 open", "DTR=1 open", "RTS=0 ioctl", "DTR=0 ioctl"} << "The shutter is closed: Com1 (%1) DTR, active high is at its closed level.\n";
        QTest::newRow("a Com number whose device is gone: 1") << "--close --port Com2" << 1 << QStringList() << "kestrova: The Com port selected is not available\nCom2: %2 does not exist.";
        // clang-format on
    }
    void closeCommand()
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
    }
};

QTEST_GUILESS_MAIN(TestTerminalRun)
#include "test_terminal_run.moc"
