// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/AboutDialog.h"
#include "fakes/FakeSysInfo.h"
#include "support/WindowRig.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QtTest>

using namespace kestrova;

class AboutDialogTest : public QObject {
    Q_OBJECT
private slots:
    void textsAndLayout();
    void keyboard_data();
    void keyboard();
    void singleInstanceOutlivesTheMainWindow();

private:
    test::MessageRecorder recorder_;
};

void AboutDialogTest::textsAndLayout()
{
    test::FakeSystem fake;
    AboutDialog dialog(fake.platform());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Kestrova"));
    QCOMPARE(dialog.findChild<QLabel*>("lblTitle")->text(), QStringLiteral("Kestrova"));
    QCOMPARE(dialog.findChild<QLabel*>("lblVersion")->text(), QStringLiteral("Version 1.0.1"));

    // Everything a label holds fits its fixed box.
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    QVERIFY(labels.size() >= 4);
    for (QLabel* label : labels)
        QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
                 qPrintable(label->objectName()));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
}

void AboutDialogTest::keyboard_data()
{
    QTest::addColumn<int>("closingKey");
    QTest::newRow("Enter with no button focused presses the default OK") << int(Qt::Key_Return);
    QTest::newRow("Escape closes it as the cancel OK does") << int(Qt::Key_Escape);
}

void AboutDialogTest::keyboard()
{
    QFETCH(int, closingKey);
    recorder_.messages.clear();
    const QString tool = QStringLiteral("/usr/bin/sysinfo-tool");
    test::FakeSystem fake;
    fake.keys[about::ToolPathKey][about::ToolPathValue] = {about::registry::RegSz, tool.toUtf8()};
    fake.installed = {tool};
    QPointer<AboutDialog> dialog = new AboutDialog(fake.platform());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QCOMPARE(QApplication::focusWidget(), dialog->findChild<QWidget*>("cmdOK"));

    // Alt+S presses System Info visibly: the click follows a moment later. Every press starts
    // the tool again; a tool that is gone shows the message, and the dialog stays.
    QTest::keyClick(dialog, Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(fake.started, QStringList{tool});
    QTest::keyClick(dialog, Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(fake.started, (QStringList{tool, tool}));
    fake.installed.clear();
    QTest::keyClick(dialog, Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(recorder_.messages.size(), 1);
    QCOMPARE(recorder_.messages[0].text, "System Information Is Unavailable At This Time");
    QVERIFY(dialog->isVisible());

    // With the focus on no button, Enter can only reach the default button.
    dialog->setFocus();
    QTest::keyClick(dialog, Qt::Key(closingKey));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(dialog.isNull(), "the dialog was not unloaded");
}

// The About command shows the one instance. The program ends when its last window closes: an
// open about box keeps it running after the main window is gone. This runs the application's
// own event loop, so it comes last.
void AboutDialogTest::singleInstanceOutlivesTheMainWindow()
{
    test::WindowRig rig;
    QWidget* window = &rig.open();
    QAction* mnuAbout = rig.find<QAction>("mnuAbout");
    mnuAbout->trigger();
    QPointer<AboutDialog> first = AboutDialog::instance();
    QVERIFY(first && first->isVisible());

    // Shown again while loaded: the same window as it was left, its texts not set again.
    first->setWindowTitle(QStringLiteral("left as it was"));
    mnuAbout->trigger();
    QCOMPARE(AboutDialog::instance(), first.data());
    QCOMPARE(first->windowTitle(), QStringLiteral("left as it was"));

    // Closed, it is unloaded; the next showing loads it afresh.
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
    mnuAbout->trigger();
    QCOMPARE(AboutDialog::instance()->windowTitle(), QStringLiteral("About Kestrova"));

    bool aboutClosed = false;
    QObject timers; // ends the timers below with the test
    QTimer::singleShot(0, window, &QWidget::close);
    QTimer::singleShot(100, &timers, [&aboutClosed] {
        aboutClosed = AboutDialog::instance() && AboutDialog::instance()->close();
    });
    QTimer::singleShot(10000, &timers, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY2(aboutClosed, "the program ended with the main window");
}

QTEST_MAIN(AboutDialogTest)
#include "test_about_dialog.moc"
