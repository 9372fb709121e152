// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ComPorts.h"
#include "config/OverlayStore.h"
#include "config/SettingsStore.h"
#include "control/Controller.h"
#include "control/ScheduledTimer.h"
#include "core/AppInfo.h"
#include "guider/GuidingCommandLine.h"
#include "journal/JournalCommands.h"
#include "journal/JournalFiles.h"
#include "journal/JournalWriter.h"
#include "system/DBusDesktop.h"
#include "system/Exiv2ImageReader.h"
#include "system/Ieee1284Port.h"
#include "system/QtSerialLine.h"
#include "system/SystemSerialPorts.h"
#include "system/TerminationSignals.h"
#include "terminal/RunOptions.h"
#include "terminal/TerminalOutput.h"
#include "terminal/TerminalRun.h"
#include "windows/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>
#include <QTextStream>

#include <csignal>
#include <memory>

namespace {

// The settings file given by --settings, or the user's own.
std::unique_ptr<kestrova::QSettingsStore> settingsStore(const QString& file)
{
    return file.isEmpty() ? std::make_unique<kestrova::QSettingsStore>()
                          : std::make_unique<kestrova::QSettingsStore>(file);
}

// --list-ports: the Com table on standard output. It only looks: no window, no port opened.
int listPorts(const QString& settingsFile)
{
    const std::unique_ptr<kestrova::QSettingsStore> stored = settingsStore(settingsFile);
    kestrova::SettingsStore& store = *stored;
    const kestrova::SystemSerialPorts ports;
    const kestrova::ComPortTable table = kestrova::lookForSerialPorts(store, ports);
    QTextStream(stdout) << kestrova::listPortsText(table);
    if (table.failure) {
        QTextStream(stderr) << table.failure->detail << '\n';
        return 1;
    }
    return 0;
}

// The controller on this machine's ports, timer, desktop session and journal, the same for the
// window and the terminal. Both buses are reached here, while no sequence runs, so every later
// call waits for nothing; without a session bus (an SSH login) the portal fails at once and
// logind holds.
struct SystemController {
    explicit SystemController(kestrova::SettingsStore& store)
        : serial(
              [&store](int commPortNumber) { return kestrova::comDevice(store, commPortNumber); }),
          inhibitor(QDBusConnection::sessionBus(), QDBusConnection::systemBus()),
          notifier(QDBusConnection::sessionBus()), journal(kestrova::journalFolder()),
          controller(store, parallel, serial, ticks, &serialPorts)
    {
        controller.setDesktop(inhibitor, notifier);
        controller.setJournal(journal);
    }

    kestrova::Ieee1284Port parallel;
    kestrova::QtSerialLine serial;
    const kestrova::SystemSerialPorts serialPorts;
    kestrova::ScheduledTimer ticks;
    kestrova::DBusSleepInhibitor inhibitor;
    kestrova::DBusNotifier notifier;
    kestrova::JournalWriter journal;
    kestrova::Controller controller;
};

// The guiding settings the store holds.
kestrova::GuidingSettings storedGuiding(const kestrova::SettingsStore& store)
{
    return kestrova::readGuidingSettings([&store](const QString& key, const QString& defaultText) {
               return store.read(QLatin1String(kestrova::guiding::Section), key, defaultText)
                   .value_or(QString());
           })
        .settings;
}

QList<kestrova::StoredSetting> guidingTexts(const kestrova::GuidingSettings& settings)
{
    QList<kestrova::StoredSetting> texts;
    for (const kestrova::GuidingSettingText& setting : kestrova::guidingSettingsTexts(settings))
        texts << kestrova::StoredSetting{QLatin1String(kestrova::guiding::Section), setting.key,
                                         setting.text};
    return texts;
}

// --guiding, and the guiding options without a sequence: stores what they change, then prints
// the settings in force.
int guidingCommand(const QCommandLineParser& parser, const kestrova::GuidingCommandLine& guiding,
                   const QString& settingsFile)
{
    const std::unique_ptr<kestrova::QSettingsStore> store = settingsStore(settingsFile);
    kestrova::GuidingSettings settings = storedGuiding(*store);
    if (guiding.changes(parser)) {
        const kestrova::Parsed<kestrova::GuidingSettings> applied = guiding.apply(parser, settings);
        if (!applied) {
            QTextStream(stderr) << "kestrova: " << applied.error << '\n';
            return kestrova::exitstatus::Refused;
        }
        settings = *applied.value;
        if (const std::optional<kestrova::Failure> failure = store->save(guidingTexts(settings))) {
            QTextStream(stderr) << failure->text << ' ' << failure->detail << '\n';
            return kestrova::exitstatus::LineFailed;
        }
    }
    QTextStream(stdout) << kestrova::describeGuidingSettings(settings);
    return 0;
}

// A sequence or --close in this terminal, with no window and no display: the same controller,
// timer, journal, desktop session and Com numbers as the window's, on settings that the options
// override for this run alone.
int runInTerminal(QCoreApplication& app, const kestrova::RunOptions& options,
                  const QString& settingsFile, const QCommandLineParser& parser,
                  const kestrova::GuidingCommandLine& guiding)
{
    // A dropped SSH connection makes standard output fail; the night goes on.
    std::signal(SIGPIPE, SIG_IGN);
    // From here to the end a logout, Ctrl+C or a hang-up cancels the sequence in order.
    kestrova::TerminationSignals terminationSignals;
    kestrova::TerminalOutput output;

    const std::unique_ptr<kestrova::QSettingsStore> stored = settingsStore(settingsFile);
    kestrova::OverlayStore store(*stored);
    for (const kestrova::StoredSetting& setting : kestrova::overriddenSettings(options))
        store.override(setting);
    // The guiding options hold for this run alone too; a value refused starts nothing.
    if (guiding.changes(parser)) {
        const kestrova::Parsed<kestrova::GuidingSettings> applied =
            guiding.apply(parser, storedGuiding(store));
        if (!applied) {
            QTextStream(stderr) << "kestrova: " << applied.error << '\n';
            return kestrova::exitstatus::Refused;
        }
        for (const kestrova::StoredSetting& setting : guidingTexts(*applied.value))
            store.override(setting);
    }
    SystemController system(store);
    kestrova::Controller& controller = system.controller;
    const auto style = options.quiet               ? kestrova::TerminalRun::Style::Quiet
                       : output.outputIsTerminal() ? kestrova::TerminalRun::Style::Redrawn
                                                   : kestrova::TerminalRun::Style::Lines;
    kestrova::TerminalRun run(controller, store, options, output, style);
    QObject::connect(&terminationSignals, &kestrova::TerminationSignals::received, &run,
                     &kestrova::TerminalRun::terminate);
    QObject::connect(&run, &kestrova::TerminalRun::finished, &app, &QCoreApplication::exit);
    QMetaObject::invokeMethod(&run, &kestrova::TerminalRun::begin, Qt::QueuedConnection);
    const int status = app.exec();
    // The line is closed and the port released: a signal now would only cut the program's own
    // tidying short, so any that comes is held until the exit.
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, nullptr);
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Kestrova"));
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrova"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kestrova::appinfo::FileVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Works a camera's shutter through a parallel or serial port line."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption listPortsOption(
        QStringLiteral("list-ports"),
        QStringLiteral("Print the Com numbers, their devices and the serial ports present, with "
                       "a udev rule for each adapter, and exit. Opens no port."));
    parser.addOption(listPortsOption);
    const QCommandLineOption journalOption(
        QStringLiteral("journal"),
        QStringLiteral("Print where the night journal is and the last night's exposures, and "
                       "exit. Opens no port."));
    parser.addOption(journalOption);
    const QCommandLineOption matchFramesOption(
        QStringLiteral("match-frames"),
        QStringLiteral("Pair the camera's image files in DIR with the journal's exposures, write "
                       "DIR/kestrova-frames.csv, and exit. Images are only read."),
        QStringLiteral("DIR"));
    parser.addOption(matchFramesOption);
    const QCommandLineOption nightOption(
        QStringLiteral("night"),
        QStringLiteral("With --match-frames: the night's journal to use, by the date of its "
                       "evening (the newest night otherwise)."),
        QStringLiteral("YYYY-MM-DD"));
    parser.addOption(nightOption);
    const kestrova::RunCommandLine runCommandLine;
    runCommandLine.addTo(parser);
    const kestrova::GuidingCommandLine guidingCommandLine;
    guidingCommandLine.addTo(parser);

    // What needs no window is answered before any display is looked for, so it works in a
    // terminal without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool parsed = parser.parse(arguments);
    const QString settingsFile = runCommandLine.settingsFile(parser);
    if (runCommandLine.wanted(parser) && !parser.isSet(help) && !parser.isSet(version)) {
        QCoreApplication app(argc, argv);
        if (!parsed) {
            QTextStream(stderr) << "kestrova: " << parser.errorText() << '\n';
            return kestrova::exitstatus::Refused;
        }
        const kestrova::ParsedRun run = runCommandLine.read(parser);
        if (!run.options) {
            QTextStream(stderr) << "kestrova: " << run.error << '\n';
            return kestrova::exitstatus::Refused;
        }
        return runInTerminal(app, *run.options, settingsFile, parser, guidingCommandLine);
    }
    if (parser.isSet(listPortsOption) || parser.isSet(journalOption) ||
        parser.isSet(matchFramesOption) || guidingCommandLine.changes(parser) ||
        guidingCommandLine.printWanted(parser) || parser.isSet(help) || parser.isSet(version) ||
        parser.isSet(QStringLiteral("help-all"))) {
        QCoreApplication app(argc, argv);
        parser.process(app); // --help, --version and unknown options end here
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (parser.isSet(journalOption))
            return kestrova::printJournal(out, err, kestrova::journalFolder());
        if (guidingCommandLine.changes(parser) || guidingCommandLine.printWanted(parser))
            return guidingCommand(parser, guidingCommandLine, settingsFile);
        if (parser.isSet(matchFramesOption)) {
            const kestrova::Exiv2ImageReader reader;
            return kestrova::matchFrames(
                parser.value(matchFramesOption),
                parser.isSet(nightOption) ? std::optional(parser.value(nightOption)) : std::nullopt,
                kestrova::journalFolder(), reader, out, err);
        }
        return listPorts(settingsFile);
    }

    QApplication app(argc, argv);
    parser.process(app); // the toolkit's own options are gone by now
    // Lets the desktop match the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kestrova::appinfo::AppId));

    // From here on a logout or Ctrl+C closes the program in order, even while it is starting.
    kestrova::TerminationSignals terminationSignals;

    const std::unique_ptr<kestrova::QSettingsStore> stored = settingsStore(settingsFile);
    kestrova::QSettingsStore& store = *stored;
    SystemController system(store);
    kestrova::Controller& controller = system.controller;
    QPointer<kestrova::MainWindow> window = new kestrova::MainWindow(controller, store);
    QObject::connect(&terminationSignals, &kestrova::TerminationSignals::received, window,
                     &kestrova::MainWindow::terminate);
    window->show();
    const int status = app.exec();
    delete window; // closed windows may still wait for their deferred deletion
    return status;
}
