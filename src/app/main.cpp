// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ComPorts.h"
#include "config/SettingsStore.h"
#include "control/Controller.h"
#include "control/ScheduledTimer.h"
#include "core/AppInfo.h"
#include "system/DBusDesktop.h"
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

    // What needs no window is answered before any display is looked for, so it works in a
    // terminal without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    parser.parse(arguments);
    if (parser.isSet(listPortsOption) || parser.isSet(help) || parser.isSet(version) ||
        parser.isSet(QStringLiteral("help-all"))) {
        QCoreApplication app(argc, argv);
        parser.process(app); // --help, --version and unknown options end here
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

    kestrova::Controller controller(store, parallel, serial, ticks, &serialPorts);
    controller.setDesktop(inhibitor, notifier);
    QPointer<kestrova::MainWindow> window = new kestrova::MainWindow(controller, store);
    QObject::connect(&terminationSignals, &kestrova::TerminationSignals::received, window,
                     &kestrova::MainWindow::terminate);
    window->show();
    const int status = app.exec();
    delete window; // closed windows may still wait for their deferred deletion
    return status;
}
