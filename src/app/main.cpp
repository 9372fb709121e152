#include "app/AppInfo.h"
#include "app/DBusDesktop.h"
#include "app/DesktopSession.h"
#include "app/MainWindow.h"
#include "app/TerminationSignals.h"
#include "config/SettingsStore.h"
#include "shutter/Ieee1284Port.h"
#include "shutter/QtSerialLine.h"

#include <QApplication>
#include <QPointer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Lets the desktop match the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kestrova::appinfo::AppId));
    QApplication::setApplicationName(QStringLiteral("Kestrova"));
    QApplication::setOrganizationName(QStringLiteral("Kestrova"));
    QApplication::setApplicationVersion(QString::fromLatin1(kestrova::appinfo::FileVersion));

    // From here on a logout or Ctrl+C closes the program in order, even while it is starting.
    kestrova::TerminationSignals terminationSignals;

    kestrova::QSettingsStore store;
    kestrova::Ieee1284Port parallel;
    kestrova::QtSerialLine serial([&store](int commPortNumber) {
        using namespace kestrova::settings;
        return store.read(QLatin1String(SerialSection), comDeviceKey(commPortNumber),
                          defaultComDevice(commPortNumber));
    });

    // Both buses are reached now, while no sequence runs; every later call waits for nothing.
    kestrova::DBusSleepInhibitor inhibitor(QDBusConnection::sessionBus(),
                                           QDBusConnection::systemBus());
    kestrova::DBusNotifier notifier(QDBusConnection::sessionBus());
    kestrova::DesktopSession desktop(inhibitor, notifier);

    QPointer<kestrova::MainWindow> window = new kestrova::MainWindow(store, parallel, serial);
    window->setDesktopSession(&desktop);
    window->show();
    const int status = app.exec();
    delete window; // closed windows may still wait for their deferred deletion
    return status;
}
