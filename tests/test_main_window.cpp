// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/WindowRig.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace kestrova;
using namespace kestrova::test;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void windowControlsAndMenus();
    void captionsFitTheirBoxes();
    void loadClosesTheDefaultLine();
    void manualToggle();
    void failedToggleKeepsCaptionAndShowsOneMessage();
    void interfaceMenuPersistsAcrossRestart();
    void serialPortMissingAtStartShowsOneMessage();
    void interfaceSaveFailureIsReported();
    void unreadableSettingsAreToldAtStartUp();
    void exitReleasesTheSerialPort();
    void realMessageBoxHasOkOnly();
};

// The controls as a user meets them, "name=text", marked when shown large or disabled; no
// button is a default that Enter would press. Then the menus, and the focus order.
void TestMainWindow::windowControlsAndMenus()
{
    WindowRig rig;
    MainWindow& window = rig.open();
    QCOMPARE(window.objectName(), QStringLiteral("frmMain"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Kestrova"));
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.minimumSize(), window.maximumSize());

    QStringList controls;
    for (const char* name :
         {"txtNumExposures", "txtLXTime", "txtDelay", "Label1", "Label2", "Label3", "cmdStart",
          "cmdConnect", "cmdCancel", "Label4", "lblExposures", "Label5", "lblExposureTime",
          "Label6", "lblTotalTime"}) {
        QWidget* control = rig.find(name);
        QVERIFY2(control->isVisible(), name);
        QCOMPARE(control->font().pointSizeF(), control->font().pointSizeF() > 10 ? 13.5 : 8.25);
        controls << QLatin1String(name) + '=' + control->property("text").toString() +
                        (control->font().pointSizeF() > 10 ? " (large)" : "") +
                        (control->isEnabled() ? "" : " (disabled)");
        if (auto* button = qobject_cast<QPushButton*>(control))
            QVERIFY2(!button->isDefault() && !button->autoDefault(), name);
    }
    QCOMPARE(controls.join('|'),
             "txtNumExposures=|txtLXTime=|txtDelay=|Label1=Number of Exposures|"
             "Label2=Exposure Time|Label3=Delay Between Exposures|cmdStart=Start|"
             "cmdConnect=Open Shutter|cmdCancel=Cancel (disabled)|Label4=Exposures: (large)|"
             "lblExposures=0 (large)|Label5=Current Exposure Time: (large)|"
             "lblExposureTime=0 (large)|Label6=Total Time: (large)|lblTotalTime=00:00:00 (large)");

    // The menu bar in order: each menu, its title and its items with their shortcuts.
    QStringList menus;
    for (QAction* entry : window.menuBar()->actions()) {
        QString menu = entry->menu() ? entry->menu()->objectName() + ' ' + entry->menu()->title()
                                     : entry->objectName() + ' ' + entry->text();
        if (entry->menu())
            for (QAction* item : entry->menu()->actions())
                menu += ", " + item->objectName() + ' ' + item->text() +
                        (item->shortcut().isEmpty() ? "" : ' ' + item->shortcut().toString());
        menus << menu;
    }
    QCOMPARE(menus.join('|'), "mnuFile File, mnuExit Exit Ctrl+X|"
                              "mnuInterface Interface, mnuParallel Parallel, mnuSerial Serial|"
                              "mnuOptions Options...|mnuHelp Help, mnuAbout About...");

    // Focus order: the three fields top to bottom, then Start, Open Shutter, Cancel.
    rig.find("cmdCancel")->setEnabled(true);
    QWidget* focus = rig.find("txtNumExposures");
    QStringList order;
    for (int i = 0; i < 6; ++i) {
        order << focus->objectName();
        focus = focus->nextInFocusChain();
        while (focus->focusPolicy() == Qt::NoFocus)
            focus = focus->nextInFocusChain();
    }
    QCOMPARE(order, (QStringList{"txtNumExposures", "txtLXTime", "txtDelay", "cmdStart",
                                 "cmdConnect", "cmdCancel"}));
}

void TestMainWindow::captionsFitTheirBoxes()
{
    WindowRig rig;
    MainWindow* window = &rig.open();
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
}

void TestMainWindow::loadClosesTheDefaultLine()
{
    WindowRig rig;
    MainWindow* window = &rig.open();
    QVERIFY(rig.find<QAction>("mnuParallel")->isChecked());
    QVERIFY(!rig.find<QAction>("mnuSerial")->isChecked());
    QCOMPARE(rig.parallel.writes, (QStringList{"set 888 1"}));
    QVERIFY(rig.serial.calls.isEmpty());
    QVERIFY(rig.messages.isEmpty());
    QVERIFY(!window->shutterLine().shutterOpen());
}

void TestMainWindow::manualToggle()
{
    WindowRig rig;
    MainWindow* window = &rig.open();
    auto* button = rig.find<QPushButton>("cmdConnect");
    rig.parallel.writes.clear();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Close Shutter"));
    QVERIFY(window->shutterLine().shutterOpen());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Open Shutter"));
    QCOMPARE(rig.parallel.writes, (QStringList{"clr 888 1", "set 888 1"}));
}

void TestMainWindow::failedToggleKeepsCaptionAndShowsOneMessage()
{
    WindowRig rig;
    MainWindow* window = &rig.open();
    rig.parallel.fail = true;
    auto* button = rig.find<QPushButton>("cmdConnect");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Open Shutter"));
    QVERIFY(!window->shutterLine().shutterOpen());
    QCOMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text,
             QStringLiteral("The parallel port LPT1 (0x378) is not available"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(rig.messages.size(), 2); // one per click, never a storm
}

void TestMainWindow::interfaceMenuPersistsAcrossRestart()
{
    WindowRig rig;
    MainWindow* window = &rig.open();
    rig.trigger("mnuSerial");
    QCOMPARE(rig.store.get(settings::SerialControl), QStringLiteral("1"));
    QCOMPARE(rig.store.get(settings::ParallelControl), QStringLiteral("0"));
    QVERIFY(rig.find<QAction>("mnuSerial")->isChecked());
    QVERIFY(!rig.find<QAction>("mnuParallel")->isChecked());
    // The port opens with RTS at its closed level (serial polarity defaults to 1), and the
    // line is closed at once.
    QCOMPARE(rig.serial.calls, (QStringList{"RTS off", "open 1", "RTS off"}));
    QVERIFY(window->shutterLine().config().Use == Interface::Serial);

    // Choosing serial again reopens the port.
    rig.serial.calls.clear();
    rig.trigger("mnuSerial");
    QCOMPARE(rig.serial.calls, (QStringList{"close", "RTS off", "open 1", "RTS off"}));
    QVERIFY(rig.find<QAction>("mnuSerial")->isChecked());
    window->close();
    QVERIFY(!rig.serial.isOpen());

    rig.serial.calls.clear();
    MainWindow* restarted = &rig.open();
    QVERIFY(rig.find<QAction>("mnuSerial")->isChecked());
    QVERIFY(!rig.find<QAction>("mnuParallel")->isChecked());
    // Load opens the port and drives RTS to its closed level (serial polarity defaults to 1).
    QCOMPARE(rig.serial.calls, (QStringList{"RTS off", "open 1", "RTS off"}));

    rig.trigger("mnuParallel");
    QVERIFY(rig.find<QAction>("mnuParallel")->isChecked());
    QVERIFY2(rig.serial.isOpen(), "switching to parallel leaves the serial port alone");
    QVERIFY(restarted->shutterLine().config().Use == Interface::Parallel);
    QVERIFY(rig.messages.isEmpty());
}

void TestMainWindow::serialPortMissingAtStartShowsOneMessage()
{
    WindowRig rig;
    rig.store.set(settings::SerialControl, QStringLiteral("1"));
    rig.serial.refuseOpen = true;
    rig.open();
    QVERIFY2(rig.messages.isEmpty(), "told once the window is on screen");
    QTRY_COMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text, QStringLiteral("The Com port selected is not available"));
    QTest::qWait(20);
    QCOMPARE(rig.messages.size(), 1);
    QVERIFY(rig.find<QAction>("mnuSerial")->isChecked());
}

// A refused write is told with the choice that was not saved; like QSettings, the store keeps
// it in memory, and the store and the check marks never show both interfaces.
void TestMainWindow::interfaceSaveFailureIsReported()
{
    WindowRig rig;
    rig.open();
    rig.store.refuseWrites = true;
    for (const char* choice : {"Serial", "Parallel"}) {
        rig.trigger(choice == QLatin1String("Serial") ? "mnuSerial" : "mnuParallel");
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].text, QStringLiteral("The settings could not be saved."));
        QVERIFY2(rig.messages[0].informativeText.contains(QLatin1String("Interface, ") + choice),
                 qPrintable(rig.messages[0].informativeText));
        QVERIFY(rig.messages[0].informativeText.contains(QStringLiteral("disk full")));
        const bool serial = choice == QLatin1String("Serial");
        QCOMPARE(rig.find<QAction>("mnuSerial")->isChecked(), serial);
        QCOMPARE(rig.find<QAction>("mnuParallel")->isChecked(), !serial);
        QCOMPARE(rig.store.get(settings::SerialControl), QLatin1String(serial ? "1" : "0"));
        QCOMPARE(rig.store.get(settings::ParallelControl), QLatin1String(serial ? "0" : "1"));
        rig.messages.clear();
    }
}

void TestMainWindow::unreadableSettingsAreToldAtStartUp()
{
    WindowRig rig;
    rig.store.set(settings::ParallelPortBit, QStringLiteral("D9"));
    rig.open();
    QTRY_COMPARE(rig.messages.size(), 1);
    QCOMPARE(rig.messages[0].text,
             QStringLiteral("Some stored settings could not be read; their defaults are used."));
    QVERIFY(rig.messages[0].informativeText.contains(QStringLiteral("Parallel Options/PortBit")));
    QCOMPARE(rig.parallel.writes, (QStringList{"set 888 1"}));
}

void TestMainWindow::exitReleasesTheSerialPort()
{
    WindowRig rig;
    rig.store.set(settings::SerialControl, QStringLiteral("1"));
    MainWindow* window = &rig.open();
    QVERIFY(rig.serial.isOpen());
    rig.serial.calls.clear();
    rig.trigger("mnuExit");
    QVERIFY(!window->isVisible());
    QCOMPARE(rig.serial.calls, (QStringList{"close"})); // released, not driven
    QTRY_VERIFY(rig.window.isNull());
}

// The box a user meets, not the tests' recorder: title, texts, an OK button only and no icon,
// and OK dismisses it.
void TestMainWindow::realMessageBoxHasOkOnly()
{
    ui::setMessageHandler(nullptr);
    QString seen;
    QTimer::singleShot(0, [&seen] {
        QMessageBox* box = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* shown = qobject_cast<QMessageBox*>(widget); shown && shown->isVisible())
                box = shown;
        if (!box)
            return;
        const QList<QAbstractButton*> buttons = box->buttons();
        seen =
            QStringLiteral("%1|%2|%3|%4|%5")
                .arg(box->windowTitle(), box->text(), box->informativeText())
                .arg(buttons.size() == 1 && box->standardButton(buttons.first()) == QMessageBox::Ok)
                .arg(box->icon() == QMessageBox::NoIcon);
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    ui::showMessage(QStringLiteral("What failed"), QStringLiteral("What to do"));
    QCOMPARE(seen, QStringLiteral("Kestrova|What failed|What to do|1|1"));
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
