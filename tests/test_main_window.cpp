// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/AboutDialog.h"
#include "about/AboutText.h"
#include "app/DBusDesktop.h"
#include "app/DesktopSession.h"
#include "app/TerminationSignals.h"
#include "support/WindowRig.h"

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace kestrova;
using namespace kestrova::test;

namespace {

// Starts a dbus-daemon of the test's own and gives its address. The daemon asks for SIGTERM at
// the test's end, however it ends.
QByteArray startPrivateBus(QProcess& daemon)
{
    daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon.start(QStringLiteral("dbus-daemon"),
                 {"--config-file=" KESTROVA_TEST_BUS_CONFIG, "--nofork", "--print-address"});
    while (!daemon.canReadLine())
        if (!daemon.waitForReadyRead(10000))
            qFatal("dbus-daemon did not start (Debian package dbus): %s",
                   qPrintable(daemon.errorString()));
    return daemon.readLine().trimmed();
}

QString describe(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QStringList>())
        return '[' + value.toStringList().join(", ") + ']';
    if (value.metaType() == QMetaType::fromType<uchar>())
        return QStringLiteral("byte %1").arg(value.value<uchar>());
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return value.toString();
    QStringList items;
    const auto map = qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    for (auto item = map.begin(); item != map.end(); ++item)
        items << item.key() + '=' + describe(item.value());
    return '{' + items.join(", ") + '}';
}

const QString PortalInhibit =
    "Inhibit(, 12, {handle_token=kestrova1, reason=Exposure sequence running})";
const QString PortalClose = "Close() on /org/freedesktop/portal/desktop/request/caller/kestrova1";
const QString LogindInhibit = "Inhibit(sleep:idle, Kestrova, Exposure sequence running, block)";

const QMap<QString, QString> ServiceNames = {{"portal", "org.freedesktop.portal.Desktop"},
                                             {"logind", "org.freedesktop.login1"},
                                             {"screensaver", "org.freedesktop.ScreenSaver"},
                                             {"notifications", "org.freedesktop.Notifications"}};

// The desktop services a test offers, by name: "portal", "silent portal" (never answers),
// "refusing portal" (an error), "grudging portal" (its request's Response says no), "logind" (on
// the system bus), "screensaver", "notifications". A portal answers with the request object that
// its handle_token names, then sends that request's Response. It keeps the
// calls each bus carries as "Member(arguments)", with " on <path>" for a portal request. Each
// Inhibit of logind hands out the write end of a fresh pipe, whose read end sees end-of-file
// once every copy of it, the program's too, is closed.
class FakeDesktop : public QDBusVirtualObject {
public:
    explicit FakeDesktop(const QStringList& offered) : offered_(offered)
    {
        for (const QString& kind : offered)
            if (!bus(kind).registerService(ServiceNames[kind.section(' ', -1)]))
                qFatal("cannot offer %s", qPrintable(kind));
        session_.registerVirtualObject("/org", this, QDBusConnection::SubPath);
        system_.registerVirtualObject("/org", this, QDBusConnection::SubPath);
    }
    ~FakeDesktop() override
    {
        for (const QString& kind : offered_) // given back before the next test looks for it
            bus(kind).unregisterService(ServiceNames[kind.section(' ', -1)]);
        QDBusConnection::disconnectFromBus("session");
        QDBusConnection::disconnectFromBus("system");
        if (lockReadEnd_ >= 0)
            ::close(lockReadEnd_);
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override
    {
        QStringList arguments;
        for (const QVariant& argument : call.arguments())
            arguments << describe(argument);
        // A request object is named after its caller's unique name, written here as "caller".
        const QString path =
            QString(call.path()).replace(call.service().mid(1).replace('.', '_'), "caller");
        calls_[bus.name()] << call.member() + '(' + arguments.join(", ") + ')' +
                                  (path.contains("/request/") ? " on " + path : "");
        const bool portal = call.path().endsWith("/desktop") && call.member() == "Inhibit";
        if (portal && offered_.contains("silent portal"))
            return true;
        const QDBusMessage reply = answer(call, portal);
        bus.send(reply);
        if (portal && reply.type() == QDBusMessage::ReplyMessage)
            bus.send(QDBusMessage::createSignal(
                         reply.arguments().constFirst().value<QDBusObjectPath>().path(),
                         "org.freedesktop.portal.Request", "Response")
                     << uint(offered_.contains("grudging portal") ? 2 : 0) << QVariantMap());
        return true;
    }
    // Each bus's calls, the session bus's first.
    QStringList calls() const { return calls_["session"] + calls_["system"]; }
    // "held" while some copy of logind's last lock is open, "closed" after, "none" before any.
    QString lock() const
    {
        char byte;
        return lockReadEnd_ < 0 ? "none" : ::read(lockReadEnd_, &byte, 1) == 0 ? "closed" : "held";
    }

private:
    QDBusConnection& bus(const QString& kind) { return kind == "logind" ? system_ : session_; }
    QDBusMessage answer(const QDBusMessage& call, bool portal)
    {
        if (portal) {
            const QString token =
                qdbus_cast<QVariantMap>(call.arguments().at(2).value<QDBusArgument>())
                    .value("handle_token")
                    .toString();
            const QString request = "/org/freedesktop/portal/desktop/request/" +
                                    call.service().mid(1).replace('.', '_') + '/' + token;
            return offered_.contains("refusing portal")
                       ? call.createErrorReply("org.freedesktop.portal.Error.Failed", "no")
                       : call.createReply(QVariant::fromValue(QDBusObjectPath(request)));
        }
        if (call.member() != "Inhibit")
            return call.createReply();
        if (call.path().endsWith("ScreenSaver"))
            return call.createReply(7u);
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            qFatal("no pipe");
        if (lockReadEnd_ >= 0)
            ::close(lockReadEnd_);
        lockReadEnd_ = ends[0];
        const QDBusUnixFileDescriptor lock(ends[1]); // a copy of its own
        ::close(ends[1]);
        return call.createReply(QVariant::fromValue(lock));
    }

    QStringList offered_;
    QDBusConnection session_ =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "session");
    QDBusConnection system_ = QDBusConnection::connectToBus(QDBusConnection::SystemBus, "system");
    QMap<QString, QStringList> calls_;
    int lockReadEnd_ = -1;
};

// In the order of DBusSleepInhibitor::Way.
const QStringList Ways = {"none", "portal", "logind", "screensaver"};

// What the window shows: the three read-outs, the line (LPT1 bit D1, set when closed), the
// buttons and timer enabled, the Connect caption, and each message it showed.
QString seen(const WindowRig& rig)
{
    QStringList seen;
    for (const char* label : {"lblTotalTime", "lblExposureTime", "lblExposures"})
        seen << rig.find<QLabel>(label)->text();
    seen << (rig.parallel.bitSet(888, 1) ? "closed" : "open");
    for (const char* name : {"cmdStart", "cmdCancel", "cmdConnect", "tmrMain"})
        if (rig.find<QObject>(name)->property("enabled").toBool())
            seen << name;
    seen << '"' + rig.find<QPushButton>("cmdConnect")->text() + '"';
    for (const ui::Question& question : rig.questions)
        seen << "? " + question.text;
    for (const ui::Message& message : rig.messages)
        seen << "| " + message.text;
    return seen.join(' ');
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        // The one warning a test expects is announced; any other fails it but the offscreen
        // platform's own.
        QTest::failOnWarning(
            QRegularExpression("^(?!This plugin does not support (propagateSize|raise))"));
    }

    // The first desktop service that answers keeps the computer awake while a sequence runs or
    // the shutter is open by hand, and is let go however that ends. Closing the window ends a
    // sequence as Cancel does and leaves a shutter open by hand as it is. The script's first
    // part ends where the computer is held.
    void scripts_data()
    {
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("way");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("shown");
        const QStringList all = {"portal", "logind", "screensaver"};
        const QStringList tells = {"portal", "notifications"};
        const QStringList awake = {PortalInhibit, PortalClose};
        const auto notify = [](const QString& summary, const QString& body, int urgency) {
            return QStringLiteral("Notify(Kestrova, 0, org.kestrova.Kestrova, %1, %2, [], "
                                  "{desktop-entry=org.kestrova.Kestrova, urgency=byte %3}, -1)")
                .arg(summary, body)
                .arg(urgency);
        };
        const QString unplugged = "The parallel port LPT1 (0x378) is not available";
        const QString idle = "00:00:00 0 0 closed cmdStart cmdConnect \"Open Shutter\"";
        const QString cancelled = "00:00:04 0 0 closed cmdStart cmdConnect \"Open Shutter\"";
        // clang-format off
        QTest::newRow("portal first") << all << "cmdConnect | cmdConnect" << "portal" << awake << idle;
        QTest::newRow("portal refuses: logind") << QStringList{"refusing portal", "logind", "screensaver"} << "cmdConnect | cmdConnect" << "logind" << QStringList{PortalInhibit, LogindInhibit} << idle;
        QTest::newRow("portal's Response refuses: logind") << QStringList{"grudging portal", "logind"} << "cmdConnect | cmdConnect" << "logind" << QStringList{PortalInhibit, LogindInhibit} << idle;
        QTest::newRow("portal too slow: logind") << QStringList{"silent portal", "logind"} << "cmdConnect | cmdConnect" << "logind" << QStringList{PortalInhibit, "Close() on /org/freedesktop/portal/desktop/request/caller/kestrova1", LogindInhibit} << idle;
        QTest::newRow("screen saver last") << QStringList{"screensaver"} << "cmdConnect | cmdConnect" << "screensaver" << QStringList{"Inhibit(Kestrova, Exposure sequence running)", "UnInhibit(7)"} << idle;
        QTest::newRow("nothing answers") << QStringList{} << "cmdConnect | cmdConnect" << "none" << QStringList{} << idle;
        QTest::newRow("no bus at all") << all + QStringList{"no bus"} << "cmdConnect | cmdConnect" << "none" << QStringList{} << idle;
        QTest::newRow("completed") << tells << "3,2,1 | run" << "portal" << awake + QStringList{notify("Sequence complete: 3 exposures of 2 s", "", 1)} << "00:00:00 0 3 closed cmdStart cmdConnect \"Open Shutter\"";
        QTest::newRow("opened by hand, cancelled: Connect says Open") << tells << "cmdConnect 2,2,1 tick | cmdCancel" << "portal" << awake << cancelled;
        QTest::newRow("opened by hand, completed: Connect says Open") << tells << "cmdConnect 1,1,0 | run" << "portal" << awake + QStringList{notify("Sequence complete: 1 exposure of 1 s", "", 1)} << "00:00:00 0 1 closed cmdStart cmdConnect \"Open Shutter\"";
        QTest::newRow("line failure") << tells << "2,1,1 | fail tick" << "portal" << awake + QStringList{notify(unplugged, "unplugged\n\nThe sequence has been stopped.", 2)} << "00:00:02 0 1 open cmdStart cmdConnect \"Close Shutter\" | " + unplugged;
        QTest::newRow("failed start keeps nothing awake") << tells << "fail 1,1,0 |" << "none" << QStringList{} << "00:00:01 0 0 closed cmdStart cmdConnect \"Open Shutter\" | " + unplugged;
        QTest::newRow("failed toggles: caption kept, a message each") << tells << "fail cmdConnect cmdConnect |" << "none" << QStringList{} << "00:00:00 0 0 closed cmdStart cmdConnect \"Open Shutter\" | " + unplugged + " | " + unplugged;
        QTest::newRow("close box during an exposure: asked first") << tells << "2,2,1 tick | close" << "portal" << awake << cancelled + " ? A sequence is running.";
        QTest::newRow("File, Exit during a pause: asked first") << tells << "2,2,1 tick tick | mnuExit" << "portal" << awake << "00:00:03 0 1 closed cmdStart cmdConnect \"Open Shutter\" ? A sequence is running.";
        QTest::newRow("Ctrl+X during an exposure, Keep Running: the sequence goes on") << tells << "2,2,1 tick | keep ctrl+x run" << "portal" << awake + QStringList{notify("Sequence complete: 2 exposures of 2 s", "", 1)} << "00:00:00 0 2 closed cmdStart cmdConnect \"Open Shutter\" ? A sequence is running.";
        QTest::newRow("logout signal during an exposure: not asked") << tells << "2,2,1 tick | SIGTERM" << "portal" << awake << cancelled;
        QTest::newRow("close box, shutter open by hand: asked first") << tells << "cmdConnect | close" << "portal" << awake << "00:00:00 0 0 open cmdStart cmdConnect \"Close Shutter\" ? The shutter is open.";
        // clang-format on
    }
    void scripts()
    {
        QFETCH(QStringList, offered);
        QFETCH(QString, script);
        QFETCH(QString, way);
        QFETCH(QStringList, calls);
        const bool noBus = offered.removeAll("no bus") > 0;
        FakeDesktop desktop(offered);
        const QDBusConnection session =
            noBus ? QDBusConnection::connectToBus("unix:path=/none", "none")
                  : QDBusConnection::sessionBus();
        if (way == "none" && script.startsWith("cmdConnect")) // asked, and nothing answered
            QTest::ignoreMessage(
                QtWarningMsg,
                QRegularExpression("^The computer may suspend .+\\(desktop portal: "
                                   ".+; systemd-logind: .+; screen saver: .+\\)\\.$"));
        DBusSleepInhibitor inhibitor(session, noBus ? session : QDBusConnection::systemBus());
        if (offered.contains("silent portal"))
            inhibitor.calls().setAnswerTimeout(300); // a busy machine answers well within that
        DBusNotifier notifier(session);
        DesktopSession desktopSession(inhibitor, notifier);
        TerminationSignals terminationSignals;
        WindowRig rig; // its window goes before the session it tells
        rig.open().setAttribute(Qt::WA_DeleteOnClose, false);
        rig.window->setDesktopSession(&desktopSession);

        rig.play(script.section('|', 0, 0));
        QTRY_COMPARE(inhibitor.calls().outstanding(), 0);
        // The portal grants with its request's Response, a signal that may follow the reply.
        QTRY_COMPARE(Ways.at(int(inhibitor.holding())), way);
        QCOMPARE(desktop.lock(), way == "logind" ? "held" : "none");
        QCOMPARE(rig.find("cmdStart")->isEnabled(), !rig.ticks->isEnabled()); // not while running
        rig.play(script.section('|', 1));
        QTRY_COMPARE(inhibitor.calls().outstanding(), 0);
        QCOMPARE(Ways.at(int(inhibitor.holding())), "none");
        QTRY_COMPARE(desktop.lock(), way == "logind" ? "closed" : "none");
        QTRY_COMPARE(desktop.calls(), calls);
        QTEST(seen(rig), "shown");
    }

    // What cannot be used at start-up is told once the window is on screen. The Interface
    // choice is saved at once and used at the next start; the serial port opens with its line
    // at the closed level, and exit releases it undriven.
    void interfaceChoiceSurvivesRestart()
    {
        WindowRig rig;
        rig.store.save(settings::ParallelPortBit, "D9");
        rig.open();
        QVERIFY(rig.messages.isEmpty());
        QTRY_COMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].text,
                 "Some stored settings could not be read; their defaults are used.");
        QCOMPARE(rig.parallel.writes, QStringList{"set 888 1"}); // D1, the default
        rig.store.save(settings::ParallelPortBit, "1");
        rig.play("mnuSerial");
        rig.play("mnuExit");
        QCOMPARE(rig.serial.calls, (QStringList{"RTS off", "open 1", "RTS off", "close"}));

        rig.serial.refuseOpen = true;
        rig.open();
        QVERIFY(rig.find<QAction>("mnuSerial")->isChecked());
        QTRY_COMPARE(rig.messages.size(), 2);
        QCOMPARE(rig.messages[1].text, "The Com port selected is not available");
        // Reopened at start with its line never at the open level, even for a moment.
        QCOMPARE(rig.serial.calls.mid(4), (QStringList{"RTS off", "open 1", "RTS off"}));
        // The read-outs are larger than the other captions, to be read from afar.
        QCOMPARE_GT(rig.find("lblTotalTime")->font().pointSizeF(),
                    rig.find("Label1")->font().pointSizeF());
    }

    // The other interface is cleared first, so that a store refusing only the chosen key never
    // holds both; that refusal is told, naming the choice, which holds until exit.
    void interfaceSaveFailureIsTold()
    {
        WindowRig rig;
        rig.open();
        for (const QString choice : {"Serial", "Parallel"}) {
            const QString other = choice == "Serial" ? "Parallel" : "Serial";
            rig.messages.clear();
            rig.store.saves.clear();
            rig.store.refusedKeys = {choice + " Options/" + choice + " Control"};
            rig.play("mnu" + choice);
            QCOMPARE(rig.store.saves, (QStringList{other + " Options/" + other + " Control=0",
                                                   choice + " Options/" + choice + " Control=1"}));
            QCOMPARE(rig.messages.size(), 1);
            QCOMPARE(rig.messages[0].text, "The settings could not be saved.");
            QVERIFY(rig.messages[0].informativeText.contains("Interface, " + choice + " was not"));
            QVERIFY(rig.find<QAction>(qPrintable("mnu" + choice))->isChecked());
        }
        QVERIFY(!rig.find<QAction>("mnuSerial")->isChecked());
    }

    // The About command shows the one instance, whose System Info... starts the first system
    // information tool found on the PATH on every click, or says that none is available. Closed,
    // it is unloaded.
    void aboutBox()
    {
        // Beside the test program: a temporary folder may be mounted without the right to run.
        QTemporaryDir tools(QCoreApplication::applicationDirPath() + "/tools-XXXXXX");
        const auto restorePath = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
        qputenv("PATH", QFile::encodeName(tools.path()));
        WindowRig rig;
        rig.open();
        rig.play("mnuAbout mnuAbout");
        QPointer<AboutDialog> about = AboutDialog::instance();
        QVERIFY(about && about->isVisible());
        const QWidgetList windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(windows.begin(), windows.end(),
                               [](QWidget* window) { return qobject_cast<AboutDialog*>(window); }),
                 1);
        QCOMPARE(child<QLabel>(about, "lblVersion")->text(), "Version 1.0.1");
        child<QPushButton>(about, "cmdSysInfo")->click();
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].text, about::SysInfoUnavailable);
        for (const char* name : {"cpu-x", "hardinfo"}) {
            QFile tool(tools.filePath(name));
            QVERIFY(tool.open(QIODevice::WriteOnly) &&
                    tool.write("#!/bin/sh\n: >\"$0.started\"\n") &&
                    tool.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        }
        child<QPushButton>(about, "cmdSysInfo")->click();
        QTRY_VERIFY(QFile::exists(tools.filePath("hardinfo.started")));
        QVERIFY(!QFile::exists(tools.filePath("cpu-x.started")) && rig.messages.size() == 1);
        // Every click starts it anew.
        QVERIFY(QFile::remove(tools.filePath("hardinfo.started")));
        child<QPushButton>(about, "cmdSysInfo")->click();
        QTRY_VERIFY(QFile::exists(tools.filePath("hardinfo.started")));
        about->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(about.isNull());
    }

    // The box a user meets, not the tests' recorder: title, texts, an OK button only and no
    // icon, and OK dismisses it.
    void realMessageBoxHasOkOnly()
    {
        ui::setMessageHandler(nullptr);
        QString shown;
        QTimer::singleShot(0, [&shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            const bool okOnly = box->buttons() == QList{box->button(QMessageBox::Ok)};
            shown = QStringList{box->windowTitle(), box->text(), box->informativeText()}.join('|') +
                    (okOnly && box->icon() == QMessageBox::NoIcon ? "|OK only, no icon" : "");
            box->button(QMessageBox::Ok)->click();
        });
        ui::showMessage("What failed", "What to do");
        QCOMPARE(shown, "Kestrova|What failed|What to do|OK only, no icon");

        // The question before leaving: Keep Running is the default, and Escape chooses it.
        QTimer::singleShot(0, [&shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QStringList buttons;
            for (QAbstractButton* button : box->buttons())
                buttons << button->text();
            buttons.sort();
            shown = buttons.join(',') + '|' + box->defaultButton()->text();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QVERIFY(!ui::ask({"A sequence is running.", "", "Close Kestrova", "Keep Running"}));
        QCOMPARE(shown, "Close Kestrova,Keep Running|Keep Running");
    }
};

// The buses come first: the program's session and system bus addresses must point at them
// before anything reaches for a bus.
int main(int argc, char* argv[])
{
    static auto* const buses = new QProcess[2]; // never ended here: see startPrivateBus()
    qputenv("DBUS_SESSION_BUS_ADDRESS", startPrivateBus(buses[0]));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", startPrivateBus(buses[1]));
    QApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_main_window.moc"
