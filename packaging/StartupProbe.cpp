// SPDX-License-Identifier: GPL-3.0-or-later
// Loaded with LD_PRELOAD into the installed program by scripts/check-package.sh. Once the event
// loop runs it reports the main window, checks again after a while that it is still up, then
// closes it as a user would, so the script sees the program come up and end by itself. A
// message box at start-up would wait for a person forever; the probe fails with its text.
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {

int holdMilliseconds()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("KESTROVA_PROBE_HOLD_MS", &ok);
    return ok && ms >= 0 ? ms : 3000;
}

[[noreturn]] void fail(const char* why)
{
    std::printf("probe: FAILED: %s\n", why);
    std::fflush(stdout);
    std::_Exit(3);
}

QWidget* mainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("frmMain"))
            return widget;
    return nullptr;
}

void failOnMessageBoxes()
{
    bool shown = false;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible()) {
            std::printf("probe: message box: %s / %s\n", qPrintable(box->text()),
                        qPrintable(box->informativeText()));
            shown = true;
        }
    }
    if (shown)
        fail("a message box waits for a person");
}

QWidget* checkMainWindow()
{
    failOnMessageBoxes();
    QWidget* window = mainWindow();
    if (!window)
        fail("there is no main window frmMain");
    if (!window->isVisible())
        fail("the main window frmMain is not shown");
    return window;
}

void reportMainWindow(const QWidget* window)
{
    QStringList menus;
    if (const auto* bar = window->findChild<QMenuBar*>())
        for (const QAction* action : bar->actions())
            menus << action->text();
    std::printf("probe: main window %s shown: title \"%s\", %dx%d, menus: %s\n",
                qPrintable(window->objectName()), qPrintable(window->windowTitle()),
                window->width(), window->height(), qPrintable(menus.join(QLatin1String(", "))));
    std::printf("probe: desktop file name: %s\n", qPrintable(QGuiApplication::desktopFileName()));
    std::fflush(stdout);
}

void arm()
{
    // Runs while the application object is being built; the checks wait for the event loop.
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        reportMainWindow(checkMainWindow());
        const int hold = holdMilliseconds();
        QTimer::singleShot(hold, QCoreApplication::instance(), [hold] {
            QWidget* window = checkMainWindow();
            std::printf("probe: still up after %d ms; closing the main window\n", hold);
            std::fflush(stdout);
            window->close();
        });
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(arm)
