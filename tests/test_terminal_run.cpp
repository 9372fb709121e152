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
const QString ShortSequence = "--exposures 2 --exposure-time 1 --delay 1";

// Whether text is pattern, where a '*' stands for any text.
bool matches(const QString& text, const QString& pattern)
{
    QStringList pieces = pattern.split(u'*');
    for (QString& piece : pieces)
        piece = QRegularExpression::escape(piece);
    return QRegularExpression(QRegularExpression::anchoredPattern(pieces.join(".*")),
                              QRegularExpression::DotMatchesEverythingOption)
        .match(text)
        .hasMatch();
}

// Where standard output goes: a pipe, or a pseudo-terminal of 100 columns, stopped as Ctrl+S or
// a stalled SSH connection stops it.
enum Output { Pipe, Terminal, StoppedTerminal };

// One Kestrova started from a command line. Com1 is the given device, the serial interface is
// chosen and Active Logic unchecked (a set RTS keeps the shutter closed).
class Run {
    QTemporaryDir home_;

public:
    const QString settingsFile = home_.filePath("kestrova.conf");
    QProcess process;
    qint64 pid = 0;
    QString out, err;

    Run(const ModemLines& lines, const QString& device)
    {
        QFile file(settingsFile);
        if (file.open(QIODevice::WriteOnly))
            file.write("[Parallel%20Options]\nParallel%20Control=0\n[Serial%20Options]\n"
                       "Serial%20Control=1\nActiveLogic=0\nCom1%20Device=" +
                       QFile::encodeName(device) + '\n');
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
        process.start(KESTROVA_PROGRAM, QStringList{"--settings", settingsFile} + arguments);
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

    // The newest night file's last row, "event outcome exposures"; empty without one.
    QString journalEnd() const
    {
        const QList<JournalRow> rows =
            readJournalFile(latestNightFile(home_.filePath(".local/state/kestrova")).value_or(""))
                .parsed.rows;
        if (rows.isEmpty())
            return {};
        const JournalRow& end = rows.constLast();
        return QStringList{journalEventName(end.event),
                           end.outcome ? journalOutcomeName(*end.outcome) : "-",
                           QString::number(end.exposures.value_or(-1))}
            .join(u' ');
    }

private:
    int terminal_ = -1;
};

} // namespace

class TestTerminalRun : public QObject {
    Q_OBJECT
private slots:
    // A run from its start to its end: the exit status, the line's edges, what standard output
    // and error hold ("@ " standing for a time stamp, '*' for any text) and the journal's last
    // row. Two exposures of 1 s, 1 s apart open and close the line twice, exit 0 and end in the
    // journal, shown as suits where the output goes; a terminal that takes nothing holds up the
    // progress alone. --close puts the line at its closed level, on the stored line or one given
    // for this run. What the window refuses is refused with its words and status 2, as is a
    // guider that does not answer at Start: the line never leaves its closed level and no journal
    // row is written; a command line the parser refuses opens no port at all. No option given
    // for a run reaches the settings file.
    void run_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("edges");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString started = "Sequence of 2 exposures of 1 s, 1 s apart (00:00:03 in all) on "
                                "Com1 (%1) RTS, active ";
        // clang-format off
        QTest::newRow("a sequence in a pipe: one plain line per edge") << ShortSequence << int(Pipe) << 0 << ClosedAtLoad + TwoExposures << "@ " + started + "low\n@ Exposure 1 of 2 opened for 1 s\n@ Exposure 1 of 2 closed, 00:00:02 left\n@ Exposure 2 of 2 opened for 1 s\n@ Exposure 2 of 2 closed, 00:00:00 left\n@ Sequence complete: 2 exposures of 1 s\n" << "*";
        QTest::newRow("on a terminal, active high for this run: one line redrawn in place") << ShortSequence + " --active-high" << int(Terminal) << 0 << QStringList{"RTS=1 open", "DTR=1 open", "RTS=0 ioctl", "DTR=0 ioctl", "RTS=1 ioctl", "RTS=0 ioctl", "RTS=1 ioctl", "RTS=0 ioctl"} << started + "high\r\n\rExposure 1 of 2: 0 of 1 s  [......*\rPause after 1 of 2: 0 of 1 s  [*]  00:00:01 left\x1b[K*\r\x1b[KSequence complete: 2 exposures of 1 s\r\n" << "*";
        QTest::newRow("on a stopped terminal: nothing shown") << ShortSequence << int(StoppedTerminal) << 0 << ClosedAtLoad + TwoExposures << "" << "*";
        QTest::newRow("--close, the stored line") << "--close" << int(Pipe) << 0 << ClosedAtLoad << "@ The shutter is closed: Com1 (%1) RTS, active low is at its closed level.\n" << "";
        QTest::newRow("--close, DTR active high for this run") << "--close --line DTR --active-high" << int(Pipe) << 0 << QStringList{"RTS=1 open", "DTR=1 open", "RTS=0 ioctl", "DTR=0 ioctl"} << "@ The shutter is closed: Com1 (%1) DTR, active high is at its closed level.\n" << "";
        QTest::newRow("refused by the sequencer's rules") << "--exposures 2 --exposure-time 5" << int(Pipe) << 2 << ClosedAtLoad << "" << "kestrova: " + (messages::InvalidSequenceValues + ('\n' + messages::delayRule())) + '\n';
        QTest::newRow("refused: the guider not answering at Start") << "--exposures 2 --exposure-time 5 --dither-every 1 --guider 127.0.0.1:1" << int(Pipe) << 2 << ClosedAtLoad << "" << "kestrova: " + QString::fromLatin1(messages::GuiderDidNotAnswer) + "\n*";
        QTest::newRow("refused by the parser: an unknown option") << "--exposure-time 5 --shutter-speed 5" << int(Pipe) << 2 << QStringList() << "" << "kestrova: Unknown option 'shutter-speed'.\n";
        // clang-format on
    }
    void run()
    {
        QFETCH(QString, arguments);
        QFETCH(int, output);
        QFETCH(QString, out);
        QFETCH(QString, err);
        ModemLines lines;
        const PseudoTerminal port;
        Run run(lines, port.path());
        run.start(arguments.split(u' '), Output(output));
        QTEST(run.finish(), "status");
        QTEST(lines.edgeTexts(port.path()), "edges");
        const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ",
                                       QRegularExpression::MultilineOption);
        QVERIFY2(matches(run.out.replace(stamp, "@ "), out.replace("%1", port.path())),
                 qPrintable(run.out));
        QVERIFY2(matches(run.err, err), qPrintable(run.err));
        const QSettings stored(run.settingsFile, QSettings::IniFormat);
        QCOMPARE(stored.value("Serial Options/ActiveLogic"), QVariant("0"));
        QCOMPARE(run.journalEnd(),
                 arguments.startsWith(ShortSequence) ? "sequence-end completed 2" : "");
    }

    // A program in the middle of an exposure: a second one on its port is refused, naming it, and
    // moves no line, where on another port it runs. Ctrl+C (sent twice: the second, once the line
    // is closed, does not cut the closing short), a kill or a dropped connection then ends the
    // first as Cancel does: the line closed, the journal's end written, then the signal's status.
    void midExposure_data()
    {
        QTest::addColumn<bool>("samePort");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("status");
        // clang-format off
        QTest::newRow("the port refused to a second program; Ctrl+C twice") << true << SIGINT << 130;
        QTest::newRow("another port runs a second program; SIGTERM") << false << SIGTERM << 143;
        QTest::newRow("the port refused to a second program; SIGHUP: the SSH connection dropped") << true << SIGHUP << 129;
        // clang-format on
    }
    void midExposure()
    {
        QFETCH(bool, samePort);
        QFETCH(int, signal);
        ModemLines lines;
        const PseudoTerminal firstPort, secondPort;
        Run first(lines, firstPort.path());
        first.start({"--exposures", "2", "--exposure-time", "600", "--delay", "10"});
        QTRY_COMPARE_WITH_TIMEOUT(lines.edgeTexts(firstPort.path()).size(), 4, 30000); // opened
        Run second(lines, samePort ? firstPort.path() : secondPort.path());
        second.start(ShortSequence.split(u' '));
        QCOMPARE(second.finish(), samePort ? 2 : 0);
        const QString refusal =
            QString("kestrova: %1\nAnother Kestrova (process %2) is driving Com1 (%3).")
                .arg(messages::PortInUse, QString::number(first.pid), firstPort.path());
        QVERIFY2(!samePort || second.err.contains(refusal), qPrintable(second.err));
        QCOMPARE(lines.edgeTexts(secondPort.path()),
                 samePort ? QStringList() : ClosedAtLoad + TwoExposures);

        ::kill(pid_t(first.pid), signal);
        if (signal == SIGINT) { // again once the first has closed the line, while the program ends
            for (QDeadlineTimer limit(30000);
                 lines.edgeTexts(firstPort.path()).size() < 5 && !limit.hasExpired();) {
            }
            ::kill(pid_t(first.pid), signal);
        }
        QTEST(first.finish(), "status");
        QCOMPARE(lines.edgeTexts(firstPort.path()), ClosedAtLoad + TwoExposures.mid(0, 2));
        QVERIFY2(matches(first.out,
                         "*Exposure 1 of 2 closed early: cancelled\n* Sequence cancelled "
                         "by SIG* after 0 of 2 exposures; the shutter is closed.\n"),
                 qPrintable(first.out));
        QCOMPARE(first.journalEnd(), "sequence-end cancelled 0");
    }
};

QTEST_GUILESS_MAIN(TestTerminalRun)
#include "test_terminal_run.moc"
