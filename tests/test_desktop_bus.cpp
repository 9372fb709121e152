// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DBusDesktop.h"
#include "app/DesktopSession.h"
#include "support/WindowRig.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

using namespace kestrova;
using namespace kestrova::test;

namespace {

// A dbus-daemon of the test's own on a socket in a folder of its own. It ends with the test,
// also when the test crashes.
class PrivateBus {
public:
    PrivateBus()
    {
        QFile config(folder_.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(config.fileName()));
        // A session bus for one user; anyone may own any name and watch all traffic.
        config.write(QStringLiteral("<busconfig>\n"
                                    "  <type>session</type>\n"
                                    "  <listen>unix:dir=%1</listen>\n"
                                    "  <auth>EXTERNAL</auth>\n"
                                    "  <policy context=\"default\">\n"
                                    "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                                    "    <allow eavesdrop=\"true\"/>\n"
                                    "    <allow own=\"*\"/>\n"
                                    "  </policy>\n"
                                    "</busconfig>\n")
                         .arg(folder_.path())
                         .toUtf8());
        config.close();
        daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--config-file=") + config.fileName(),
                       QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        while (!daemon_.canReadLine())
            if (!daemon_.waitForReadyRead(10000))
                qFatal("dbus-daemon did not start (Debian package dbus): %s",
                       qPrintable(daemon_.errorString()));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000))
            daemon_.kill();
        daemon_.waitForFinished();
    }

    QString address() const { return address_; }

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
};

QString describe(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QStringList>())
        return '[' + value.toStringList().join(", ") + ']';
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        QStringList items;
        const auto map = qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
        for (auto item = map.begin(); item != map.end(); ++item)
            items << item.key() + '=' + describe(item.value());
        return '{' + items.join(", ") + '}';
    }
    if (value.metaType() == QMetaType::fromType<uchar>())
        return QStringLiteral("byte %1").arg(value.value<uchar>());
    return value.toString();
}

// One desktop service on a connection of its own. It keeps each call it gets as
// "Member(arguments)", with " on <path>" when made on an object below its own, and answers with
// what its answer function makes; with holdAnswers set it answers only on answerHeld().
class FakeService : public QDBusVirtualObject {
public:
    using Answer = std::function<QDBusMessage(const QDBusMessage& call)>;

    FakeService(const QString& address, const QString& service, const QString& path, Answer answer)
        : bus_(QDBusConnection::connectToBus(address, service + "-fake")), service_(service),
          path_(path), answer_(std::move(answer))
    {
        if (!bus_.registerVirtualObject(path, this, QDBusConnection::SubPath) ||
            !bus_.registerService(service))
            qFatal("cannot offer %s: %s", qPrintable(service),
                   qPrintable(bus_.lastError().message()));
    }
    ~FakeService() override
    {
        // The name is given back before the next test looks for it.
        bus_.unregisterService(service_);
        bus_.unregisterObject(path_, QDBusConnection::UnregisterTree);
        QDBusConnection::disconnectFromBus(bus_.name());
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection&) override
    {
        QStringList arguments;
        for (const QVariant& argument : call.arguments())
            arguments << describe(argument);
        calls << call.member() + '(' + arguments.join(", ") + ')' +
                     (call.path() == path_ ? QString() : " on " + call.path());
        if (holdAnswers)
            held_ << call;
        else
            bus_.send(answer_(call));
        return true;
    }
    void answerHeld()
    {
        holdAnswers = false;
        for (const QDBusMessage& call : std::exchange(held_, {}))
            bus_.send(answer_(call));
    }

    QStringList calls;
    bool holdAnswers = false;

private:
    QDBusConnection bus_;
    QString service_;
    QString path_;
    Answer answer_;
    QList<QDBusMessage> held_;
};

const QString Reason = QString::fromLatin1(messages::KeepAwakeReason);
const QString PortalRequest = QStringLiteral("/org/freedesktop/portal/desktop/request/1_1/t1");

// The desktop services a test offers, named in a list: "portal", "silent portal" (it never
// answers), "refusing portal", "logind", "screensaver", "notifications". Each Inhibit of the
// fake logind hands out the write end of a fresh pipe, whose read end sees end-of-file once
// every copy of it, the program's too, is closed.
struct FakeDesktop {
    std::unique_ptr<FakeService> portal, logind, screenSaver, notifications;
    int lockReadEnd = -1;

    FakeDesktop(const QString& session, const QString& system, const QStringList& offered)
    {
        const auto reply = [](const QVariantList& arguments) {
            return [arguments](const QDBusMessage& call) { return call.createReply(arguments); };
        };
        if (offered.contains("portal") || offered.contains("silent portal"))
            portal = std::make_unique<FakeService>(
                session, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                [](const QDBusMessage& call) {
                    return call.member() == "Inhibit" ? call.createReply(QVariant::fromValue(
                                                            QDBusObjectPath(PortalRequest)))
                                                      : call.createReply();
                });
        if (offered.contains("silent portal"))
            portal->holdAnswers = true;
        if (offered.contains("refusing portal"))
            portal = std::make_unique<FakeService>(
                session, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                [](const QDBusMessage& call) {
                    return call.createErrorReply("org.freedesktop.portal.Error.Failed", "no");
                });
        if (offered.contains("logind"))
            logind = std::make_unique<FakeService>(
                system, "org.freedesktop.login1", "/org/freedesktop/login1",
                [this](const QDBusMessage& call) {
                    int ends[2];
                    if (::pipe2(ends, O_CLOEXEC) != 0)
                        qFatal("no pipe");
                    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
                    if (lockReadEnd >= 0)
                        ::close(lockReadEnd);
                    lockReadEnd = ends[0];
                    const QDBusUnixFileDescriptor lock(ends[1]); // a copy of its own
                    ::close(ends[1]);
                    return call.createReply(QVariant::fromValue(lock));
                });
        if (offered.contains("screensaver"))
            screenSaver =
                std::make_unique<FakeService>(session, "org.freedesktop.ScreenSaver",
                                              "/org/freedesktop/ScreenSaver", reply({7u}));
        if (offered.contains("notifications"))
            notifications =
                std::make_unique<FakeService>(session, "org.freedesktop.Notifications",
                                              "/org/freedesktop/Notifications", reply({1u}));
    }
    ~FakeDesktop()
    {
        if (lockReadEnd >= 0)
            ::close(lockReadEnd);
    }

    // "held" while some copy of logind's last lock is open, "closed" after, "none" before any.
    QString lock() const
    {
        if (lockReadEnd < 0)
            return "none";
        char byte;
        return ::read(lockReadEnd, &byte, 1) == 0 ? "closed" : "held";
    }
    // What each service was asked, the portal's first, then logind's, the screen saver's and
    // the notifications'.
    QStringList calls() const
    {
        QStringList all;
        for (const auto* service : {&portal, &logind, &screenSaver, &notifications})
            if (*service)
                for (const QString& call : (*service)->calls)
                    all << call;
        return all;
    }
};

// In the order of DBusSleepInhibitor::Way.
QString wayName(DBusSleepInhibitor::Way way)
{
    return QStringList{"none", "portal", "logind", "screensaver"}.at(int(way));
}

bool settled(DBusSleepInhibitor& inhibitor)
{
    return QTest::qWaitFor([&] { return inhibitor.calls().outstanding() == 0; });
}

const QString PortalInhibit =
    "Inhibit(, 12, {handle_token=kestrova1, reason=Exposure sequence running})";
const QString PortalClose = "Close() on " + PortalRequest;

// The main window on the stored defaults (LPT1, bit D1) with its timer ticked by hand, telling
// the desktop through the real D-Bus services on the test's buses.
struct Window : WindowRig {
    DBusSleepInhibitor inhibitor{QDBusConnection::sessionBus(), QDBusConnection::systemBus()};
    DBusNotifier notifier{QDBusConnection::sessionBus()};
    DesktopSession desktop{inhibitor, notifier};

    Window()
    {
        showWindow = false;
        open().setAttribute(Qt::WA_DeleteOnClose, false);
        window->setDesktopSession(&desktop);
    }
    ~Window() { delete window; } // while the desktop session is still there

    // Runs a script of words: "N,E,D" fills the three fields, "connect", "start" and "cancel"
    // click their buttons, "tick" ticks once, "run" ticks until the sequence ends, "fail" makes
    // the line fail, "close" closes the window.
    void play(const QString& script)
    {
        for (const QString& word : script.split(' ')) {
            if (word.contains(',')) {
                const QStringList values = word.split(',');
                enter(values[0], values[1], values[2]);
            } else if (word == "connect" || word == "start" || word == "cancel") {
                click(qPrintable("cmd" + word.left(1).toUpper() + word.mid(1)));
            } else if (word == "tick") {
                ticks->fire();
            } else if (word == "run") {
                while (ticks->fire()) {
                }
            } else if (word == "fail") {
                parallel.fail = true;
            } else if (word == "close") {
                window->close();
            } else {
                qFatal("unknown step %s", qPrintable(word));
            }
        }
    }
};

} // namespace

class TestDesktopBus : public QObject {
    Q_OBJECT
public:
    TestDesktopBus(const PrivateBus& session, const PrivateBus& system)
        : session_(session.address()), system_(system.address())
    {
    }

private slots:
    void init();
    void firstWayThatAnswersKeepsItAwake_data();
    void firstWayThatAnswersKeepsItAwake();
    void answerAfterTheReleaseIsLetGo_data();
    void answerAfterTheReleaseIsLetGo();
    void everyEndLetsGoAndTells_data();
    void everyEndLetsGoAndTells();

private:
    QString session_;
    QString system_;
};

void TestDesktopBus::init()
{
    // The one warning a test expects is announced; any other fails it.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
}

void TestDesktopBus::firstWayThatAnswersKeepsItAwake_data()
{
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<bool>("busReachable");
    QTest::addColumn<QString>("way");
    QTest::addColumn<QStringList>("calls");
    const QString logindInhibit = "Inhibit(sleep:idle, Kestrova, Exposure sequence running, block)";
    const QStringList all = {"portal", "logind", "screensaver"};
    // clang-format off
    QTest::newRow("portal first") << all << true << "portal" << QStringList{PortalInhibit, PortalClose};
    QTest::newRow("portal refuses: logind") << QStringList{"refusing portal", "logind", "screensaver"} << true << "logind" << QStringList{PortalInhibit, logindInhibit};
    QTest::newRow("portal too slow: logind") << QStringList{"silent portal", "logind"} << true << "logind" << QStringList{PortalInhibit, "Close() on /org/freedesktop/portal/desktop/request/" + QDBusConnection::sessionBus().baseService().mid(1).replace('.', '_') + "/kestrova1", logindInhibit};
    QTest::newRow("no portal: logind") << QStringList{"logind", "screensaver"} << true << "logind" << QStringList{logindInhibit};
    QTest::newRow("screen saver last") << QStringList{"screensaver"} << true << "screensaver" << QStringList{"Inhibit(Kestrova, Exposure sequence running)", "UnInhibit(7)"};
    QTest::newRow("nothing answers") << QStringList{} << true << "none" << QStringList{};
    QTest::newRow("no bus at all") << all << false << "none" << QStringList{};
    // clang-format on
}

void TestDesktopBus::firstWayThatAnswersKeepsItAwake()
{
    QFETCH(QStringList, offered);
    QFETCH(bool, busReachable);
    QFETCH(QString, way);
    QFETCH(QStringList, calls);
    FakeDesktop desktop(session_, system_, offered);
    const QDBusConnection nowhere =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "nowhere");
    if (way == "none")
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression("^The computer may suspend or sleep during the sequence: nothing "
                               "on the desktop keeps it awake \\(desktop portal: .+; "
                               "systemd-logind: .+; screen saver: .+\\)\\.$"));

    DBusSleepInhibitor inhibitor(busReachable ? QDBusConnection::sessionBus() : nowhere,
                                 busReachable ? QDBusConnection::systemBus() : nowhere);
    if (offered.contains("silent portal"))
        inhibitor.calls().setAnswerTimeout(300); // a busy machine answers well within the default
    inhibitor.inhibit(Reason);
    inhibitor.inhibit(Reason); // asked again while the first request is on its way
    QVERIFY(settled(inhibitor));
    QCOMPARE(wayName(inhibitor.holding()), way);
    QTest::qWait(50);
    QCOMPARE(desktop.lock(), way == "logind" ? "held" : "none");

    inhibitor.release();
    QVERIFY(settled(inhibitor));
    QCOMPARE(wayName(inhibitor.holding()), "none");
    QTRY_COMPARE(desktop.lock(), way == "logind" ? "closed" : "none");
    QCOMPARE(desktop.calls(), calls);
}

void TestDesktopBus::answerAfterTheReleaseIsLetGo_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<bool>("exit");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("portal, released")
        << "portal" << false << QStringList{PortalInhibit, PortalClose};
    QTest::newRow("portal, at exit") << "portal" << true << QStringList{PortalInhibit, PortalClose};
    QTest::newRow("logind, at exit")
        << "logind" << true
        << QStringList{"Inhibit(sleep:idle, Kestrova, Exposure sequence running, block)"};
}

void TestDesktopBus::answerAfterTheReleaseIsLetGo()
{
    QFETCH(QString, offered);
    QFETCH(bool, exit);
    QFETCH(QStringList, calls);
    FakeDesktop desktop(session_, system_, {offered});
    FakeService& service = *(desktop.portal ? desktop.portal : desktop.logind);
    service.holdAnswers = true;

    auto inhibitor = std::make_unique<DBusSleepInhibitor>(QDBusConnection::sessionBus(),
                                                          QDBusConnection::systemBus());
    inhibitor->inhibit(Reason);
    QTRY_COMPARE(service.calls.size(), 1);
    if (exit) {
        // The answer comes while the program waits for its calls at exit.
        QTimer::singleShot(100, [&] { service.answerHeld(); });
        inhibitor.reset();
    } else {
        inhibitor->release();
        service.answerHeld();
        QVERIFY(settled(*inhibitor));
    }
    QTRY_COMPARE(desktop.calls(), calls);
    QTRY_COMPARE(desktop.lock(), offered == "logind" ? "closed" : "none");
}

void TestDesktopBus::everyEndLetsGoAndTells_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("calls");
    const auto notify = [](const QString& summary, const QString& body, int urgency) {
        return QStringLiteral("Notify(Kestrova, 0, org.kestrova.Kestrova, %1, %2, [], "
                              "{desktop-entry=org.kestrova.Kestrova, urgency=byte %3}, -1)")
            .arg(summary, body)
            .arg(urgency);
    };
    const QStringList keptAwake = {PortalInhibit, PortalClose};
    // clang-format off
    QTest::newRow("completed") << "3,2,1 start run" << keptAwake + QStringList{notify("Sequence complete: 3 exposures of 2 s", "", 1)};
    QTest::newRow("completed, one exposure") << "1,5,0 start run" << keptAwake + QStringList{notify("Sequence complete: 1 exposure of 5 s", "", 1)};
    QTest::newRow("cancelled") << "2,2,1 start tick cancel" << keptAwake;
    QTest::newRow("line failure") << "2,1,1 start fail tick" << keptAwake + QStringList{notify("The parallel port LPT1 (0x378) is not available", "unplugged\n\nThe sequence has been stopped.", 2)};
    QTest::newRow("window closed") << "2,2,1 start tick close" << keptAwake;
    QTest::newRow("shutter opened and closed by hand") << "connect connect" << keptAwake;
    QTest::newRow("open by hand, then a sequence") << "connect 1,1,0 start run" << keptAwake + QStringList{notify("Sequence complete: 1 exposure of 1 s", "", 1)};
    QTest::newRow("open by hand, window closed") << "connect close" << keptAwake;
    QTest::newRow("failed start keeps nothing awake") << "1,1,0 fail start" << QStringList{};
    // clang-format on
}

void TestDesktopBus::everyEndLetsGoAndTells()
{
    QFETCH(QString, script);
    QFETCH(QStringList, calls);
    FakeDesktop desktop(session_, system_, {"portal", "notifications"});
    Window w;
    w.play(script);
    QVERIFY(settled(w.inhibitor));
    QTRY_COMPARE(desktop.calls(), calls);
    QCOMPARE(wayName(w.inhibitor.holding()), "none");
}

// The buses come first: the program's session and system bus addresses must point at them
// before anything reaches for a bus.
int main(int argc, char* argv[])
{
    const PrivateBus session;
    const PrivateBus system;
    qputenv("DBUS_SESSION_BUS_ADDRESS", session.address().toUtf8());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", system.address().toUtf8());
    QApplication app(argc, argv);
    TestDesktopBus test(session, system);
    return QTest::qExec(&test, argc, argv);
}

#include "test_desktop_bus.moc"
