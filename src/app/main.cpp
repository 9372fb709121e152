// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ComPorts.h"
#include "config/SettingsStore.h"
#include "control/Controller.h"
#include "control/ScheduledTimer.h"
#include "core/AppInfo.h"
#include "journal/JournalCommands.h"
#include "journal/JournalFiles.h"
#include "journal/JournalWriter.h"
#include "system/DBusDesktop.h"
#include "system/Exiv2ImageReader.h"
#include "system/Ieee1284Port.h"
#include "system/QtSerialLine.h"
#include "system/SystemSerialPorts.h"
#include "system/TerminationSignals.h"
#include "windows/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>
#include <QTextStream>

namespace {

// --list-ports: the Com table on standard output. It only looks: no window, no port opened.
int listPorts()
{
    kestrova::QSettingsStore store;
    const kestrova::SystemSerialPorts ports;
    const kestrova::ComPortTable table = kestrova::lookForSerialPorts(store, ports);
    QTextStream(stdout) << kestrova::listPortsText(table);
    if (table.failure) {
        QTextStream(stderr) << table.failure->detail << '\n';
        return 1;
    }
    return 0;
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

    // What needs no window is answered before any display is looked for, so it works in a
    // terminal without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    parser.parse(arguments);
    if (parser.isSet(listPortsOption) || parser.isSet(journalOption) ||
        parser.isSet(matchFramesOption) || parser.isSet(help) || parser.isSet(version) ||
        parser.isSet(QStringLiteral("help-all"))) {
        QCoreApplication app(argc, argv);
        parser.process(app); // --help, --version and unknown options end here
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (parser.isSet(journalOption))
            return kestrova::printJournal(out, err, kestrova::journalFolder());
        if (parser.isSet(matchFramesOption)) {
            const kestrova::Exiv2ImageReader reader;
            return kestrova::matchFrames(
                parser.value(matchFramesOption),
                parser.isSet(nightOption) ? std::optional(parser.value(nightOption)) : std::nullopt,
                kestrova::journalFolder(), reader, out, err);
        }
        return listPorts();
    }

    QApplication app(argc, argv);
    parser.process(app); // the toolkit's own options are gone by now
    // Lets the desktop match the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kestrova::appinfo::AppId));

    // From here on a logout or Ctrl+C closes the program in order, even while it is starting.
    kestrova::TerminationSignals terminationSignals;

    kestrova::QSettingsStore store;
    kestrova::Ieee1284Port parallel;
    kestrova::QtSerialLine serial(
        [&store](int commPortNumber) { return kestrova::comDevice(store, commPortNumber); });
    const kestrova::SystemSerialPorts serialPorts;
    kestrova::ScheduledTimer ticks;

    // Both buses are reached now, while no sequence runs; every later call waits for nothing.
    kestrova::DBusSleepInhibitor inhibitor(QDBusConnection::sessionBus(),
                                           QDBusConnection::systemBus());
    kestrova::DBusNotifier notifier(QDBusConnection::sessionBus());

    kestrova::JournalWriter journal(kestrova::journalFolder());

    kestrova::Controller controller(store, parallel, serial, ticks, &serialPorts);
    controller.setDesktop(inhibitor, notifier);
    controller.setJournal(journal);
    QPointer<kestrova::MainWindow> window = new kestrova::MainWindow(controller, store);
    QObject::connect(&terminationSignals, &kestrova::TerminationSignals::received, window,
                     &kestrova::MainWindow::terminate);
    window->show();
    const int status = app.exec();
    delete window; // closed windows may still wait for their deferred deletion
    return status;
}
