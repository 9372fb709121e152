#include "about/AboutDialog.h"
#include "app/MainWindow.h"
#include "fakes/FakePorts.h"
#include "fakes/FakeSysInfo.h"
#include "fakes/MemoryStore.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

using namespace kestrova;
using kestrova::test::FakeFileProbe;
using kestrova::test::FakeRegistry;
using kestrova::test::FakeStarter;

namespace {

const QString Tool = QStringLiteral("/usr/bin/sysinfo-tool");

// A platform whose registry names Tool, installed or not.
struct FakePlatform {
    explicit FakePlatform(bool toolInstalled)
    {
        registry.setText(QString::fromLatin1(about::ToolPathKey),
                         QString::fromLatin1(about::ToolPathValue), Tool);
        if (toolInstalled)
            starter.programs.insert(Tool);
    }
    about::SysInfoPlatform platform() { return {registry, files, starter}; }

    FakeRegistry registry;
    FakeFileProbe files;
    FakeStarter starter;
};

template <typename Widget> Widget* child(QWidget* parent, const char* name)
{
    return parent->findChild<Widget*>(QLatin1String(name));
}

void deleteClosedWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QList<QWidget*> visibleWindows()
{
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible())
            windows << widget;
    return windows;
}

} // namespace

class AboutDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void loadSetsTitleAndVersion();
    void labelsWrapAndTakeNoFocus();
    void frameIsAFixedDialogAtItsPlace();
    void layout_data();
    void layout();
    void focusStartsOnOkAndStopsAtTheButtons();
    void closes_data();
    void closes();
    void altSStartsTheToolOnEveryPress();
    void unavailableToolShowsTheMessageAndKeepsTheDialog();
    void aboutCommandShowsTheSingleInstance();
    void aboutBoxOutlivesTheMainWindow();

private:
    QStringList messages_;
};

void AboutDialogTest::init()
{
    messages_.clear();
    ui::setMessageHandler([this](const ui::Message& message) { messages_ << message.text; });
}

void AboutDialogTest::cleanup()
{
    ui::setMessageHandler(nullptr);
    for (QWidget* widget : QApplication::topLevelWidgets())
        widget->close();
    deleteClosedWindows();
}

void AboutDialogTest::loadSetsTitleAndVersion()
{
    FakePlatform fake(true);
    AboutDialog dialog(fake.platform());
    QCOMPARE(dialog.objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Kestrova"));
    QCOMPARE(child<QLabel>(&dialog, "lblTitle")->text(), QStringLiteral("Kestrova"));
    QCOMPARE(child<QLabel>(&dialog, "lblVersion")->text(), QStringLiteral("Version 1.0.1"));
    QCOMPARE(child<QPushButton>(&dialog, "cmdOK")->text(), QStringLiteral("OK"));
    QCOMPARE(child<QPushButton>(&dialog, "cmdSysInfo")->text(), QStringLiteral("&System Info..."));
    QVERIFY(child<QLabel>(&dialog, "lblDisclaimer")
                ->text()
                .contains(QStringLiteral("https://example.org/")));
    QCOMPARE(child<QLabel>(&dialog, "picIcon")->pixmap().size(), QSize(32, 32));
}

void AboutDialogTest::labelsWrapAndTakeNoFocus()
{
    FakePlatform fake(true);
    AboutDialog dialog(fake.platform());
    for (const char* name : {"lblTitle", "lblVersion", "lblDescription", "lblDisclaimer"}) {
        auto* label = child<QLabel>(&dialog, name);
        QVERIFY2(label, name);
        QVERIFY2(label->wordWrap(), name);
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        QVERIFY2(!label->text().isEmpty(), name);
        // Everything the label holds fits its fixed box.
        QVERIFY2(label->heightForWidth(label->width()) <= label->height(), name);
    }
    // The description is two sentences.
    QCOMPARE(child<QLabel>(&dialog, "lblDescription")->text().count(QLatin1Char('.')), 2);
}

void AboutDialogTest::frameIsAFixedDialogAtItsPlace()
{
    FakePlatform fake(true);
    AboutDialog dialog(fake.platform());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    const Qt::WindowFlags flags = dialog.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!dialog.parentWidget());
    QVERIFY(!dialog.isModal());

    const QSize client(382, 237); // 5730 x 3555 twips
    QCOMPARE(dialog.size(), client);
    QCOMPARE(dialog.minimumSize(), client);
    QCOMPARE(dialog.maximumSize(), client);
    const QPoint screenOrigin = QGuiApplication::primaryScreen()->geometry().topLeft();
    QCOMPARE(dialog.geometry().topLeft(), screenOrigin + QPoint(156, 129)); // 2340, 1935 twips
}

void AboutDialogTest::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");

    using ui::twipsRect;
    QTest::newRow("cmdOK") << "cmdOK" << QRect(4245, 2625, 1260, 345);
    QTest::newRow("picIcon") << "picIcon" << QRect(240, 240, 540, 540);
    QTest::newRow("cmdSysInfo") << "cmdSysInfo" << QRect(4260, 3075, 1245, 345);
    QTest::newRow("lblDescription") << "lblDescription" << QRect(1050, 1125, 3885, 1170);
    QTest::newRow("lblDisclaimer") << "lblDisclaimer" << QRect(255, 2625, 3870, 825);
    QTest::newRow("lblTitle") << "lblTitle" << QRect(1050, 240, 3885, 480);
    QTest::newRow("lblVersion") << "lblVersion" << QRect(1050, 780, 3885, 225);
    // The rule: grey from (90, 2445), white two pixels wide from (105, 2460), both to 5654.
    QTest::newRow("Line1 index 1") << "Line1_1" << QRect(90, 2445, 5654 - 90, 15);
    QTest::newRow("Line1 index 0") << "Line1_0" << QRect(105, 2460, 5654 - 105, 30);
}

void AboutDialogTest::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    FakePlatform fake(true);
    AboutDialog dialog(fake.platform());
    auto* widget = dialog.findChild<QWidget*>(name);
    QVERIFY(widget);
    const QRect expected = ui::twipsRect(twips.x(), twips.y(), twips.width(), twips.height());
    QCOMPARE(widget->geometry(), expected);
}

void AboutDialogTest::focusStartsOnOkAndStopsAtTheButtons()
{
    FakePlatform fake(true);
    AboutDialog dialog(fake.platform());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* ok = child<QPushButton>(&dialog, "cmdOK");
    auto* sysInfo = child<QPushButton>(&dialog, "cmdSysInfo");
    QCOMPARE(dialog.focusWidget(), ok);
    QVERIFY(ok->isDefault());

    QTest::keyClick(&dialog, Qt::Key_Tab);
    QCOMPARE(dialog.focusWidget(), sysInfo);
    QTest::keyClick(&dialog, Qt::Key_Tab);
    QCOMPARE(dialog.focusWidget(), ok);
}

void AboutDialogTest::closes_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Enter") << "enter";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("Escape with the focus on System Info") << "escape-sysinfo";
    QTest::newRow("a click on OK") << "click";
    QTest::newRow("the close box") << "close";
}

void AboutDialogTest::closes()
{
    QFETCH(QString, how);
    FakePlatform fake(true);
    QPointer<AboutDialog> dialog = new AboutDialog(fake.platform());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog));

    if (how == QLatin1String("enter"))
        QTest::keyClick(dialog, Qt::Key_Return);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(dialog, Qt::Key_Escape);
    else if (how == QLatin1String("escape-sysinfo")) {
        child<QPushButton>(dialog, "cmdSysInfo")->setFocus();
        QTest::keyClick(dialog, Qt::Key_Escape);
    } else if (how == QLatin1String("click"))
        QTest::mouseClick(child<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
    else
        dialog->close();

    deleteClosedWindows();
    QVERIFY2(dialog.isNull(), "the dialog was not unloaded");
    QVERIFY(fake.starter.attempts.isEmpty());
    QCOMPARE(messages_, QStringList());
}

void AboutDialogTest::altSStartsTheToolOnEveryPress()
{
    FakePlatform fake(true);
    AboutDialog dialog(fake.platform());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    // An access key presses the button visibly: the click follows a moment later.
    QTest::keyClick(&dialog, Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(fake.starter.started, QStringList{Tool});
    QTest::keyClick(&dialog, Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(fake.starter.started, (QStringList{Tool, Tool}));
    QCOMPARE(messages_, QStringList());
    QVERIFY(dialog.isVisible());
}

void AboutDialogTest::unavailableToolShowsTheMessageAndKeepsTheDialog()
{
    FakePlatform fake(false);
    AboutDialog dialog(fake.platform());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QTest::mouseClick(child<QPushButton>(&dialog, "cmdSysInfo"), Qt::LeftButton);

    QCOMPARE(messages_,
             QStringList{QStringLiteral("System Information Is Unavailable At This Time")});
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Kestrova"));
}

void AboutDialogTest::aboutCommandShowsTheSingleInstance()
{
    test::MemoryStore store;
    test::FakeParallelPort parallel;
    test::FakeSerialLine serial;
    MainWindow window(store, parallel, serial);
    window.show();
    auto* mnuAbout = window.findChild<QAction*>(QStringLiteral("mnuAbout"));
    QVERIFY(mnuAbout);

    QVERIFY(!AboutDialog::instance());
    mnuAbout->trigger();
    QPointer<AboutDialog> first = AboutDialog::instance();
    QVERIFY(first);
    QVERIFY(first->isVisible());
    QVERIFY(!first->parentWidget());

    // Shown again while loaded: the same window as it was left, its texts not set again.
    first->setWindowTitle(QStringLiteral("left as it was"));
    mnuAbout->trigger();
    QCOMPARE(AboutDialog::instance(), first.data());
    QCOMPARE(first->windowTitle(), QStringLiteral("left as it was"));
    QCOMPARE(window.findChildren<AboutDialog*>().size(), 0);

    // Closed, it is unloaded; the next showing loads it afresh.
    first->close();
    deleteClosedWindows();
    QVERIFY(first.isNull());
    QVERIFY(!AboutDialog::instance());
    mnuAbout->trigger();
    QVERIFY(AboutDialog::instance());
    QCOMPARE(AboutDialog::instance()->windowTitle(), QStringLiteral("About Kestrova"));
    QCOMPARE(messages_, QStringList());
}

// The program ends when its last window closes: an open about box keeps it running after the
// main window is gone. This runs the real event loop, so it comes last.
void AboutDialogTest::aboutBoxOutlivesTheMainWindow()
{
    test::MemoryStore store;
    test::FakeParallelPort parallel;
    test::FakeSerialLine serial;
    QPointer<MainWindow> window = new MainWindow(store, parallel, serial);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QGuiApplication::setQuitOnLastWindowClosed(true);

    bool quitting = false;
    auto connection =
        connect(qApp, &QCoreApplication::aboutToQuit, this, [&quitting] { quitting = true; });
    bool checked = false;
    bool quitWhileAboutOpen = true;
    bool aboutVisible = false;
    QTimer::singleShot(0, this, [&] {
        window->findChild<QAction*>(QStringLiteral("mnuAbout"))->trigger();
        window->close();
        QTimer::singleShot(50, this, [&] {
            checked = true;
            quitWhileAboutOpen = quitting;
            aboutVisible = AboutDialog::instance() && AboutDialog::instance()->isVisible();
            if (AboutDialog::instance())
                AboutDialog::instance()->close();
        });
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    guard.start(10000);

    const int status = QCoreApplication::exec();
    disconnect(connection);
    deleteClosedWindows();

    QVERIFY2(checked, "the program ended when the main window closed");
    QVERIFY(!quitWhileAboutOpen);
    QVERIFY(aboutVisible);
    QCOMPARE(status, 0);
    QVERIFY(quitting);
    QVERIFY(window.isNull());
    QVERIFY(!AboutDialog::instance());
    QCOMPARE(visibleWindows(), QList<QWidget*>());
}

QTEST_MAIN(AboutDialogTest)
#include "AboutDialogTest.moc"
