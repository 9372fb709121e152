// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppInfo.h"
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
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrova.Kestrova"));
    QApplication::setApplicationName(QStringLiteral("Kestrova"));
    QApplication::setOrganizationName(QStringLiteral("Kestrova"));
    QApplication::setApplicationVersion(QString::fromLatin1(kestrova::appinfo::FileVersion));

    kestrova::QSettingsStore store;
    kestrova::Ieee1284Port parallel;
    kestrova::QtSerialLine serial([&store](int commPortNumber) {
        using namespace kestrova::settings;
        return store.read(QLatin1String(SerialSection), comDeviceKey(commPortNumber),
                          defaultComDevice(commPortNumber));
    });

    kestrova::TerminationSignals terminationSignals;
    QPointer<kestrova::MainWindow> window = new kestrova::MainWindow(store, parallel, serial);
    window->show();
    const int status = app.exec();
    delete window; // closed windows may still wait for their deferred deletion
    return status;
}
