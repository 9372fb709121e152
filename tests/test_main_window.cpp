// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "fakes/FakePorts.h"
#include "fakes/MemoryStore.h"
#include "fakes/MessageRecorder.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

using namespace kestrova;
using namespace kestrova::test;

namespace {

struct Rig : MessageRecorder {
    MemoryStore store;
    FakeParallelPort parallel;
    FakeSerialLine serial;

    QPointer<MainWindow> open()
    {
        QPointer<MainWindow> window = new MainWindow(store, parallel, serial);
        window->show();
        return window;
    }
};

template <typename T> T* child(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no control named %s", name);
    return found;
}

QAction* action(QWidget* window, const char* name)
{
    return child<QAction>(window, name);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void layoutAndTexts_data();
    void layoutAndTexts();
    void windowAndMenus();
    void captionsFitTheirBoxes();
    void loadClosesTheDefaultLine();
    void manualToggle();
    void failedToggleKeepsCaptionAndShowsOneMessage();
    void interfaceMenuPersistsAcrossRestart();
    void serialPortMissingAtStartShowsOneMessage();
    void interfaceSaveFailureIsReported();
    void unreadableSettingsAreToldAtStartUp();
    void exitReleasesTheSerialPort();
};

// clang-format off
void TestMainWindow::layoutAndTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry"); // in pixels: twips / 15
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("large");
    QTest::newRow("txtNumExposures") << "" << QRect(160, 8, 57, 25) << true << false;
    QTest::newRow("txtLXTime") << "" << QRect(160, 48, 57, 25) << true << false;
    QTest::newRow("txtDelay") << "" << QRect(160, 88, 57, 25) << true << false;
    QTest::newRow("Label1") << "Number of Exposures" << QRect(64, 8, 81, 33) << true << false;
    QTest::newRow("Label2") << "Exposure Time" << QRect(64, 48, 81, 33) << true << false;
    QTest::newRow("Label3") << "Delay Between Exposures" << QRect(64, 88, 81, 33) << true << false;
    QTest::newRow("cmdStart") << "Start" << QRect(112, 136, 81, 41) << true << false;
    QTest::newRow("cmdConnect") << "Open Shutter" << QRect(8, 136, 81, 41) << true << false;
    QTest::newRow("Label4") << "Exposures:" << QRect(72, 192, 105, 25) << true << true;
    QTest::newRow("lblExposures") << "0" << QRect(192, 192, 41, 25) << true << true;
    QTest::newRow("Label5") << "Current Exposure Time:" << QRect(24, 224, 209, 25) << true << true;
    QTest::newRow("lblExposureTime") << "0" << QRect(240, 224, 57, 25) << true << true;
    QTest::newRow("cmdCancel") << "Cancel" << QRect(216, 136, 81, 41) << false << false;
    QTest::newRow("Label6") << "Total Time:" << QRect(48, 280, 113, 25) << true << true;
    QTest::newRow("lblTotalTime") << "00:00:00" << QRect(160, 280, 105, 25) << true << true;
}
// clang-format on

void TestMainWindow::layoutAndTexts()
{
    Rig rig;
    QPointer<MainWindow> window = rig.open();
    QWidget* control = window->findChild<QWidget*>(QLatin1String(QTest::currentDataTag()));
    QVERIFY(control);
    QTEST(control->geometry(), "geometry");
    QTEST(control->isEnabled(), "enabled");
    QVERIFY(control->isVisible());
    QString text;
    if (auto* label = qobject_cast<QLabel*>(control))
        text = label->text();
    else if (auto* button = qobject_cast<QPushButton*>(control))
        text = button->text();
    else
        text = qobject_cast<QLineEdit*>(control)->text();
    QTEST(text, "text");
    QFETCH(bool, large);
    QCOMPARE(control->font().pointSizeF(), large ? 13.5 : 8.25);
    if (auto* button = qobject_cast<QPushButton*>(control))
        QVERIFY(!button->isDefault() && !button->autoDefault());
    delete window;
}

void TestMainWindow::windowAndMenus()
{
    Rig rig;
    QPointer<MainWindow> window = rig.open();
    QCOMPARE(window->objectName(), QStringLiteral("frmMain"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Kestrova"));
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->centralWidget()->size(), QSize(306, 322));
    QCOMPARE(window->minimumSize(), window->maximumSize());

    // The menu bar, in order, and its items.
    QStringList titles;
    for (QAction* entry : window->menuBar()->actions())
        titles << (entry->menu() ? entry->menu()->objectName() : entry->objectName());
    QCOMPARE(titles, (QStringList{"mnuFile", "mnuInterface", "mnuOptions", "mnuHelp"}));
    QCOMPARE(action(window, "mnuExit")->text(), QStringLiteral("Exit"));
    QCOMPARE(action(window, "mnuExit")->shortcut(), QKeySequence(QStringLiteral("Ctrl+X")));
    QCOMPARE(action(window, "mnuParallel")->text(), QStringLiteral("Parallel"));
    QCOMPARE(action(window, "mnuSerial")->text(), QStringLiteral("Serial"));
    QCOMPARE(action(window, "mnuOptions")->text(), QStringLiteral("Options..."));
    QCOMPARE(action(window, "mnuAbout")->text(), QStringLiteral("About..."));
    QCOMPARE(child<QMenu>(window, "mnuFile")->title(), QStringLiteral("File"));
    QCOMPARE(child<QMenu>(window, "mnuInterface")->title(), QStringLiteral("Interface"));
    QCOMPARE(child<QMenu>(window, "mnuHelp")->title(), QStringLiteral("Help"));

    // Focus order: the three fields top to bottom, then Start, Open Shutter, Cancel.
    child<QPushButton>(window, "cmdCancel")->setEnabled(true);
    QWidget* focus = child<QWidget>(window, "txtNumExposures");
    QStringList order;
    for (int i = 0; i < 6; ++i) {
        order << focus->objectName();
        focus = focus->nextInFocusChain();
        while (focus->focusPolicy() == Qt::NoFocus)
            focus = focus->nextInFocusChain();
    }
    QCOMPARE(order, (QStringList{"txtNumExposures", "txtLXTime", "txtDelay", "cmdStart",
                                 "cmdConnect", "cmdCancel"}));
    delete window;
}

void TestMainWindow::captionsFitTheirBoxes()
{
    Rig rig;
    QPointer<MainWindow> window = rig.open();
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    QVERIFY(labels.size() >= 9);
    for (QLabel* label : labels) {
        const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 1000),
                                                               Qt::TextWordWrap, label->text());
        QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
                 qPrintable(label->objectName() + QStringLiteral(" needs ") +
                            QString::number(needed.width()) + QLatin1Char('x') +
                            QString::number(needed.height())));
    }
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        for (const QString& text : {button->text(), QStringLiteral("Close Shutter")})
            QVERIFY2(button->fontMetrics().horizontalAdvance(text) + 8 <= button->width(),
                     qPrintable(button->objectName()));
    }
    delete window;
}

void TestMainWindow::loadClosesTheDefaultLine()
{
    Rig rig;
    QPointer<MainWindow> window = rig.open();
    QVERIFY(action(window, "mnuParallel")->isChecked());
    QVERIFY(!action(window, "mnuSerial")->isChecked());
    QCOMPARE(rig.parallel.writes, (QStringList{"set 888 1"}));
    QVERIFY(rig.serial.calls.isEmpty());
    QVERIFY(rig.messages.isEmpty());
    QVERIFY(!window->shutterLine().shutterOpen());
    delete window;
}

void TestMainWindow::manualToggle()
{
    Rig rig;
    QPointer<MainWindow> window = rig.open();
    auto* button = child<QPushButton>(window, "cmdConnect");
    rig.parallel.writes.clear();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Close Shutter"));
    QVERIFY(window->shutterLine().shutterOpen());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Open Shutter"));
    QCOMPARE(rig.parallel.writes, (QStringList{"clr 888 1", "set 888 1"}));
    delete window;
}

void TestMainWindow::failedToggleKeepsCaptionAndShowsOneMessage()
{
    Rig rig;
    QPointer<MainWindow> window = rig.open();
    rig.parallel.fail = true;
    auto* button = child<QPushButton>(window, "cmdConnect");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Open Shutter"));
    QVERIFY(!window->shutterLine().shutterOpen());
    QCOMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text,
             QStringLiteral("The parallel port LPT1 (0x378) is not available"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(rig.messages.size(), 2); // one per click, never a storm
    delete window;
}

void TestMainWindow::interfaceMenuPersistsAcrossRestart()
{
    Rig rig;
    QPointer<MainWindow> window = rig.open();
    action(window, "mnuSerial")->trigger();
    QCOMPARE(rig.store.get(settings::SerialControl), QStringLiteral("1"));
    QCOMPARE(rig.store.get(settings::ParallelControl), QStringLiteral("0"));
    QVERIFY(action(window, "mnuSerial")->isChecked());
    QVERIFY(!action(window, "mnuParallel")->isChecked());
    // The port opens with RTS at its closed level (serial polarity defaults to 1), and the
    // line is closed at once.
    QCOMPARE(rig.serial.calls, (QStringList{"RTS off", "open 1", "RTS off"}));
    QVERIFY(window->shutterLine().config().Use == Interface::Serial);

    // Choosing serial again reopens the port.
    rig.serial.calls.clear();
    action(window, "mnuSerial")->trigger();
    QCOMPARE(rig.serial.calls, (QStringList{"close", "RTS off", "open 1", "RTS off"}));
    QVERIFY(action(window, "mnuSerial")->isChecked());
    window->close();
    QVERIFY(!rig.serial.isOpen());

    rig.serial.calls.clear();
    QPointer<MainWindow> restarted = rig.open();
    QVERIFY(action(restarted, "mnuSerial")->isChecked());
    QVERIFY(!action(restarted, "mnuParallel")->isChecked());
    // Load opens the port and drives RTS to its closed level (serial polarity defaults to 1).
    QCOMPARE(rig.serial.calls, (QStringList{"RTS off", "open 1", "RTS off"}));

    action(restarted, "mnuParallel")->trigger();
    QVERIFY(action(restarted, "mnuParallel")->isChecked());
    QVERIFY2(rig.serial.isOpen(), "switching to parallel leaves the serial port alone");
    QVERIFY(restarted->shutterLine().config().Use == Interface::Parallel);
    QVERIFY(rig.messages.isEmpty());
    delete window;
    delete restarted;
}

void TestMainWindow::serialPortMissingAtStartShowsOneMessage()
{
    Rig rig;
    rig.store.set(settings::SerialControl, QStringLiteral("1"));
    rig.serial.refuseOpen = true;
    QPointer<MainWindow> window = rig.open();
    QVERIFY2(rig.messages.isEmpty(), "told once the window is on screen");
    QTRY_COMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text, QStringLiteral("The Com port selected is not available"));
    QTest::qWait(20);
    QCOMPARE(rig.messages.size(), 1);
    QVERIFY(action(window, "mnuSerial")->isChecked());
    delete window;
}

// A refused write is told with the choice that was not saved; like QSettings, the store keeps
// it in memory, and the store and the check marks never show both interfaces.
void TestMainWindow::interfaceSaveFailureIsReported()
{
    Rig rig;
    QPointer<MainWindow> window = rig.open();
    rig.store.refuseWrites = true;
    for (const char* choice : {"Serial", "Parallel"}) {
        action(window, choice == QLatin1String("Serial") ? "mnuSerial" : "mnuParallel")->trigger();
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].text, QStringLiteral("The settings could not be saved."));
        QVERIFY2(rig.messages[0].informativeText.contains(QLatin1String("Interface, ") + choice),
                 qPrintable(rig.messages[0].informativeText));
        QVERIFY(rig.messages[0].informativeText.contains(QStringLiteral("disk full")));
        const bool serial = choice == QLatin1String("Serial");
        QCOMPARE(action(window, "mnuSerial")->isChecked(), serial);
        QCOMPARE(action(window, "mnuParallel")->isChecked(), !serial);
        QCOMPARE(rig.store.get(settings::SerialControl), QLatin1String(serial ? "1" : "0"));
        QCOMPARE(rig.store.get(settings::ParallelControl), QLatin1String(serial ? "0" : "1"));
        rig.messages.clear();
    }
    delete window;
}

void TestMainWindow::unreadableSettingsAreToldAtStartUp()
{
    Rig rig;
    rig.store.set(settings::ParallelPortBit, QStringLiteral("D9"));
    QPointer<MainWindow> window = rig.open();
    QTRY_COMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text,
             QStringLiteral("Some stored settings could not be read; their defaults are used."));
    QVERIFY(rig.messages[0].informativeText.contains(QStringLiteral("Parallel Options/PortBit")));
    QCOMPARE(rig.parallel.writes, (QStringList{"set 888 1"}));
    delete window;
}

void TestMainWindow::exitReleasesTheSerialPort()
{
    Rig rig;
    rig.store.set(settings::SerialControl, QStringLiteral("1"));
    QPointer<MainWindow> window = rig.open();
    QVERIFY(rig.serial.isOpen());
    rig.serial.calls.clear();
    action(window, "mnuExit")->trigger();
    QVERIFY(!window->isVisible());
    QCOMPARE(rig.serial.calls, (QStringList{"close"})); // released, not driven
    QTRY_VERIFY(window.isNull());
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
