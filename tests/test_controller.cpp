// SPDX-License-Identifier: GPL-3.0-or-later
// The controller without a window: what the line, the desktop and the user are told of each
// action, on fakes of the ports, a store in memory and private D-Bus daemons with fake desktop
// services.
#include "config/Messages.h"
#include "control/Messages.h"
#include "fakes/FakeDesktop.h"
#include "fakes/FakeGuider.h"
#include "fakes/FakeSerialPorts.h"
#include "journal/JournalFiles.h"
#include "support/ControllerRig.h"
#include "system/DBusDesktop.h"

#include <QtDBus>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace kestrova;
using namespace kestrova::test;
using Stored = QMap<QString, QString>; // "Section/Key" -> text

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
class BusDesktop : public QDBusVirtualObject {
public:
    explicit BusDesktop(const QStringList& offered) : offered_(offered)
    {
        for (const QString& kind : offered)
            if (!bus(kind).registerService(ServiceNames[kind.section(' ', -1)]))
                qFatal("cannot offer %s", qPrintable(kind));
        session_.registerVirtualObject("/org", this, QDBusConnection::SubPath);
        system_.registerVirtualObject("/org", this, QDBusConnection::SubPath);
    }
    ~BusDesktop() override
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

// The rows of tonight's journal in that folder as written, each without its time, which must
// be UTC, and its measured times, the empty columns left out and the detail last.
QStringList journalRows(const QString& folder)
{
    QStringList rows;
    for (JournalRow row :
         readJournalFile(nightFilePath(folder, nightOf(QDateTime::currentDateTime())))
             .parsed.rows) {
        row.offsetMs.reset();
        row.measuredMs.reset();
        const QString detail = std::exchange(row.detail, {});
        rows << (QString(row.toCsvLine())
                     .remove(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT[\\d:.]+Z,"))
                     .replace(QRegularExpression(",+"), " ")
                     .trimmed() +
                 ' ' + detail)
                    .trimmed();
    }
    return rows;
}

} // namespace

class TestController : public QObject {
    Q_OBJECT
private slots:
    // The first desktop service that answers keeps the computer awake while a sequence runs or
    // the shutter is open by hand, and is let go however that ends. The end of the program ends
    // a sequence as Cancel does and leaves a shutter open by hand as it is. The script's first
    // part ends where the computer is held.
    void desktop_data()
    {
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("way");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("shown");
        const QStringList all = {"portal", "logind", "screensaver"};
        const QStringList tells = {"portal", "notifications"};
        const QStringList awake = {PortalInhibit, PortalClose};
        const QString unplugged = "The parallel port LPT1 (0x378) is not available";
        const QString idle = "00:00:00 0 0 closed idle";
        const QString cancelled = "00:00:04 0 0 closed idle";
        // clang-format off
        const QString notify = "Notify(Kestrova, 0, org.kestrova.Kestrova, %1, %2, [], {desktop-entry=org.kestrova.Kestrova, urgency=byte %3}, -1)"; // summary, body, urgency
        QTest::newRow("portal first") << all << "cmdConnect | cmdConnect" << "portal" << awake << idle;
        QTest::newRow("portal refuses: logind") << QStringList{"refusing portal", "logind", "screensaver"} << "cmdConnect | cmdConnect" << "logind" << QStringList{PortalInhibit, LogindInhibit} << idle;
        QTest::newRow("portal's Response refuses: logind") << QStringList{"grudging portal", "logind"} << "cmdConnect | cmdConnect" << "logind" << QStringList{PortalInhibit, LogindInhibit} << idle;
        QTest::newRow("portal too slow: logind") << QStringList{"silent portal", "logind"} << "cmdConnect | cmdConnect" << "logind" << QStringList{PortalInhibit, PortalClose, LogindInhibit} << idle;
        QTest::newRow("screen saver last") << QStringList{"screensaver"} << "cmdConnect | cmdConnect" << "screen saver" << QStringList{"Inhibit(Kestrova, Exposure sequence running)", "UnInhibit(7)"} << idle;
        QTest::newRow("nothing answers") << QStringList{} << "cmdConnect | cmdConnect" << "" << QStringList{} << idle;
        QTest::newRow("no bus at all") << all + QStringList{"no bus"} << "cmdConnect | cmdConnect" << "" << QStringList{} << idle;
        QTest::newRow("completed") << tells << "3,2,1 | run" << "portal" << awake + QStringList{notify.arg("Sequence complete: 3 exposures of 2 s", "").arg(1)} << "00:00:00 0 3 closed idle";
        QTest::newRow("opened by hand, cancelled") << tells << "cmdConnect 2,2,1 tick | cmdCancel" << "portal" << awake << cancelled;
        QTest::newRow("line failure") << tells << "2,1,1 | fail tick" << "portal" << awake + QStringList{notify.arg(unplugged, "unplugged\n\nThe sequence has been stopped.").arg(2)} << "00:00:02 0 1 open idle | " + unplugged;
        QTest::newRow("failed start keeps nothing awake") << tells << "fail 1,1,0 |" << "" << QStringList{} << "00:00:01 0 0 closed idle | " + unplugged;
        QTest::newRow("failed toggles: a message each") << tells << "fail cmdConnect cmdConnect |" << "" << QStringList{} << "00:00:00 0 0 closed idle | " + unplugged + " | " + unplugged;
        QTest::newRow("the program ends during an exposure: cancelled") << tells << "2,2,1 tick | unload" << "portal" << awake << cancelled;
        QTest::newRow("the program ends, shutter open by hand: left open") << tells << "cmdConnect | unload" << "portal" << awake << "00:00:00 0 0 open idle";
        // clang-format on
    }
    void desktop()
    {
        QFETCH(QStringList, offered);
        QFETCH(QString, script);
        QFETCH(QString, way);
        QFETCH(QStringList, calls);
        const bool noBus = offered.removeAll("no bus") > 0;
        BusDesktop desktop(offered);
        const QDBusConnection session =
            noBus ? QDBusConnection::connectToBus("unix:path=/none", "none")
                  : QDBusConnection::sessionBus();
        if (way.isEmpty() && script.startsWith("cmdConnect")) // asked, and nothing answered
            QTest::ignoreMessage(
                QtWarningMsg,
                QRegularExpression("^The computer may suspend .+\\(desktop portal: "
                                   ".+; systemd-logind: .+; screen saver: .+\\)\\.$"));
        DBusSleepInhibitor inhibitor(session, noBus ? session : QDBusConnection::systemBus());
        if (offered.contains("silent portal"))
            inhibitor.calls().setAnswerTimeout(300); // a busy machine answers well within that
        DBusNotifier notifier(session);
        ControllerRig rig;
        rig.make().setDesktop(inhibitor, notifier);
        rig.controller->load();

        rig.play(script.section('|', 0, 0));
        QTRY_COMPARE(inhibitor.calls().outstanding(), 0);
        // The portal grants with its request's Response, a signal that may follow the reply.
        QTRY_COMPARE(inhibitor.holder(), way);
        QCOMPARE(desktop.lock(), way == "logind" ? "held" : "none");
        rig.play(script.section('|', 1));
        QTRY_COMPARE(inhibitor.calls().outstanding(), 0);
        QCOMPARE(inhibitor.holder(), QString());
        QTRY_COMPARE(desktop.lock(), way == "logind" ? "closed" : "none");
        QTRY_COMPARE(desktop.calls(), calls);
        // The read-outs, the line (LPT1 bit D1, set when closed), whether a sequence runs, and
        // each message told.
        QStringList shown{rig.readouts(), rig.parallel.bitSet(888, 1) ? "closed" : "open",
                          rig.controller->running() ? "running" : "idle"};
        for (const Failure& message : rig.messages)
            shown << "| " + message.text;
        QTEST(shown.join(' '), "shown");
    }

    // A change by Interface or a save of the settings while the shutter is closed and no sequence
    // runs puts the new line at its closed level at once; otherwise the line that opened the
    // shutter closes it as it was opened, then the new one is closed, and a serial port holding it
    // is kept open. Each action tells what failed once, and the stored values taken as defaults.
    void configurationChanges_data()
    {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<QString>("refused"); // "port": opening; "store": writing
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("driven");
        QTest::addColumn<QStringList>("told");
        // clang-format off
        const Stored serial{{"Serial Options/Serial Control", "1"}, {"Parallel Options/Parallel Control", "0"}};
        const Stored unreadable{{"Parallel Options/PortBit", "D9"}, {"Serial Options/Serial Control", "D9"}};
        const QString present = messages::serialPortsPresent("Com1: built-in serial port, /dev/ttyS0\nCom2: USB Serial, /dev/ttyUSB0");
        QTest::newRow("Interface, Parallel: a fallback told again") << Stored{{"Serial Options/Serial Control", "1"}, {"Parallel Options/Parallel Control", "0"}, {"Parallel Options/PortBit", "D9"}} << "" << "mnuParallel" << QStringList{"set 888 1"} << QStringList{messages::SettingsUnreadable, messages::unreadableSettings({"Parallel Options/PortBit"})};
        QTest::newRow("a missing Com port told instead of a fallback") << unreadable << "port" << "mnuSerial" << QStringList{"RTS off", "open 1", "RTS off"} << QStringList{messages::ComPortNotAvailable, "Com1: no such device\n\n" + present};
        QTest::newRow("a missing Com port told once at a save") << serial << "port" << "Serial_Options/PortIndex=2" << QStringList{"RTS off", "open 3", "RTS off"} << QStringList{messages::ComPortNotAvailable, "Com3: no such device\n\n" + present};
        QTest::newRow("a refused write told once, not the missing port too") << serial << "port store" << "Parallel_Options/PortBit=5" << QStringList{"RTS off", "open 1", "RTS off"} << QStringList{messages::SettingsNotSaved, "disk full"};
        QTest::newRow("a refused Interface choice told, naming it") << Stored{} << "store" << "mnuSerial" << QStringList{"RTS off", "open 1", "RTS off"} << QStringList{messages::SettingsNotSaved, messages::interfaceChoiceNotSaved("Serial") + " disk full"};
        QTest::newRow("a save during a sequence: the exposure's end closes D1 as opened, then D5") << Stored{} << "" << "2,2,1 Parallel_Options/PortBit=5;Parallel_Options/ActiveLogic=1 tick tick tick" << QStringList{"clr 888 1", "set 888 1", "clr 888 5", "set 888 5"} << QStringList{};
        QTest::newRow("open by hand: Close Shutter closes D1 as opened, then D5") << Stored{} << "" << "cmdConnect Parallel_Options/PortBit=5 cmdConnect" << QStringList{"clr 888 1", "set 888 1", "set 888 5"} << QStringList{};
        QTest::newRow("a serial line holding the shutter: Interface, Parallel keeps it open until Close Shutter") << serial << "" << "cmdConnect mnuParallel cmdConnect" << QStringList{"set 888 1", "RTS on", "RTS off"} << QStringList{};
        QTest::newRow("a save during a serial exposure keeps the port open") << serial << "" << "2,2,1 Parallel_Options/PortBit=5 tick tick" << QStringList{"RTS on", "RTS off"} << QStringList{};
        QTest::newRow("a serial line moved to Com3 mid-exposure: reopened once closed") << serial << "" << "2,2,1 Serial_Options/PortIndex=2 tick tick" << QStringList{"RTS on", "RTS off", "close", "RTS off", "open 3", "RTS off"} << QStringList{};
        // clang-format on
    }
    void configurationChanges()
    {
        QFETCH(Stored, stored);
        QFETCH(QString, refused);
        QFETCH(QString, script);
        FakeSerialPorts ports;
        ports.plug(QStringLiteral("S0 ch340@ttyUSB0"));
        ControllerRig rig;
        rig.store.values = stored;
        rig.serial.refuseOpen = refused.contains("port");
        rig.open(nullptr, &ports);
        rig.messages.clear(); // the start-up's own
        rig.driven();
        rig.store.refuseWrites = refused.contains("store");
        rig.play(script);
        QTEST(rig.driven(), "driven");
        QStringList told;
        for (const Failure& message : rig.messages)
            told << message.text << message.detail;
        QTEST(told, "told");
    }

    // The journal of a night's work: each opening and closing by hand, each sequence with its
    // plan, line, edges, a configuration change while the shutter was open, how it ended and how
    // the computer was kept awake (1: logind).
    void journalOfANight()
    {
        QTemporaryDir dir;
        JournalWriter writer(dir.path());
        FakeDesktop desktop;
        ControllerRig rig;
        rig.make().setDesktop(desktop, desktop);
        rig.controller->setJournal(writer);
        rig.controller->load();
        rig.play("cmdConnect cmdConnect 2,2,1 tick Parallel_Options/PortBit=5 tick tick tick "
                 "cmdCancel 1,2,0 tick fail tick");
        QCOMPARE(journalRows(dir.path()),
                 (QStringList{"manual-open parallel LPT1 D1 0", "manual-close parallel LPT1 D1 0",
                              "sequence-start 1 2 2 1 parallel LPT1 D1 0", "open 1 1 2",
                              QString("config-change 1 parallel LPT1 D5 0 ") +
                                  messages::ChangedWhileOpen,
                              "close 1 1 2", "open 1 2 2", "close 1 2 2 cancelled",
                              "sequence-end 1 1 logind cancelled",
                              "sequence-start 2 1 2 0 parallel LPT1 D5 0", "open 2 1 2",
                              "sequence-end 2 1 logind failed The parallel port LPT1 (0x378) is "
                              "not available"}));
    }

    // A program killed in the middle of an exposure leaves its rows on the disk, each there
    // before the next edge. What the next start makes of them is test_journal's and
    // test_main_window's.
    void killedMidExposure()
    {
        QTemporaryDir dir;
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--expose-until-killed"), dir.path()});
        QVERIFY(child.waitForReadyRead(30000));
        child.kill();
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(journalRows(dir.path()), (QStringList{"sequence-start 1 3 2 1 parallel LPT1 D1 0",
                                                       "open 1 1 2", "close 1 1 2", "open 1 2 2"}));
    }

    // Dithering after every Kth exposure but the last: the next exposure opens when both the
    // delay has passed and the guider has settled (at the latest the settle timeout, 1 s here),
    // on the timer's ticks; the time left is not counted while the pause is held. Steps:
    // "N,E,D" starts (after the guider's probe), "tick" or "tick:K", "settled" waits for the
    // dither's outcome, "reconnect" drops the guider's connections and waits for the program's
    // return, "lost" sends StarLost. Edges: "o<tick>"/"c<tick>" for each opening and closing,
    // "held:<Total Time>" at each tick that holds a pause; then the journal's guider rows and the
    // notifications of failed dithers.
    void dithering_data()
    {
        QTest::addColumn<QString>("guider"); // every K, and the fake guider's ways
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("edges");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("notified");
        const QStringList settled = {"dither 1 1", "dither-reply 1 accepted",
                                     "settle 1 settled 1.25 -0.75"};
        // clang-format off
        QTest::newRow("every 1, settling past the pause: held, the time left kept") << "1 slow" << "2,2,1 tick:2 tick:3 settled tick:3" << "o0 c2 held:00:00:02 held:00:00:02 held:00:00:02 o6 c8" << settled << 0;
        QTest::newRow("every 3 of 4: after the third only") << "3" << "4,1,1 tick:5 settled tick:2" << "o0 c1 o2 c3 o4 c5 o6 c7" << QStringList{"dither 1 3", "dither-reply 1 accepted", "settle 1 settled 1.25 -0.75"} << 0;
        QTest::newRow("refused: the pause as planned, notified once") << "1 refusing" << "3,1,1 tick settled tick:2 settled tick:2" << "o0 c1 o2 c3 o4 c5" << QStringList{"dither 1 1", "dither-reply 1 refused not guiding", "settle 1 refused", "dither 1 2", "dither-reply 1 refused not guiding", "settle 1 refused"} << 1;
        QTest::newRow("settle failed, then timed out: a notification each") << "1 failing" << "3,1,1 tick settled tick silent tick settled tick:2" << "o0 c1 o2 c3 o4 c5" << QStringList{"dither 1 1", "dither-reply 1 accepted", "settle 1 settle failed 1.25 -0.75", "dither 1 2", "settle 1 timed out", "guider 1 connection lost"} << 2;
        QTest::newRow("the guider's connection dropped and back") << "1" << "3,1,1 tick settled reconnect tick:2 settled tick:2" << "o0 c1 o2 c3 o4 c5" << settled + QStringList{"guider 1 connection lost", "guider 1 connection back", "dither 1 2", "dither-reply 1 accepted", "settle 1 settled 1.25 -0.75"} << 0;
        QTest::newRow("the guider not answering at Start: nothing starts") << "1 absent" << "2,1,1" << "" << QStringList{} << 0;
        QTest::newRow("a star lost during an exposure is written against it") << "1" << "2,2,1 tick lost tick settled tick:3" << "o0 c2 o3 c5" << QStringList{"star-lost 1 1"} + settled << 0;
        // clang-format on
    }
    void dithering()
    {
        QFETCH(QString, guider);
        QFETCH(QString, script);
        FakeGuider fake;
        if (guider.contains("absent"))
            fake.stopListening();
        fake.settleAfterMs = guider.contains("slow") ? 400 : 0;
        fake.refusal = guider.contains("refusing") ? "not guiding" : QString();
        fake.settle =
            guider.contains("failing") ? FakeGuider::Settle::Failed : FakeGuider::Settle::Done;
        QTemporaryDir dir;
        JournalWriter writer(dir.path());
        FakeDesktop desktop;
        ControllerRig rig;
        QList<StoredSetting> guiding;
        for (const GuidingSettingText& setting : guidingSettingsTexts(
                 {guider.section(' ', 0, 0).toInt(), {5, false, {1.5, 0, 1}}, fake.address()}))
            guiding << StoredSetting{guiding::Section, setting.key, setting.text};
        rig.store.save(guiding);
        Controller& controller = rig.make();
        controller.setDesktop(desktop, desktop);
        controller.setJournal(writer);
        controller.dithering().setReconnectInterval(50);
        controller.load();
        int ticks = 0;
        QStringList edges;
        connect(&controller.sequencer(), &Sequencer::exposureOpened,
                [&] { edges << QString("o%1").arg(ticks); });
        connect(&controller.sequencer(), &Sequencer::exposureClosed,
                [&] { edges << QString("c%1").arg(ticks); });
        for (const QString& word : script.split(' ')) {
            if (word.contains(',')) {
                rig.play(word);
                QTRY_VERIFY(controller.running() || !rig.messages.isEmpty());
            } else if (word.startsWith("tick")) {
                for (int i = qMax(1, word.section(':', 1).toInt()); i > 0; --i) {
                    ++ticks;
                    rig.ticks->fire();
                    if (controller.sequencer().waitingPastPause())
                        edges << "held:" + rig.readouts().section(' ', 0, 0);
                }
            } else if (word == "settled") {
                QTRY_VERIFY(!controller.settling());
            } else if (word == "reconnect") {
                fake.dropClients();
                QTRY_COMPARE(fake.clients(), 0);
                QTRY_COMPARE(fake.clients(), 1);
                QTest::qWait(50); // greeted
            } else if (word == "silent") {
                fake.answers = false;
                fake.settle = FakeGuider::Settle::Never;
            } else if (word == "lost") {
                QSignalSpy lost(&controller.dithering(), &DitherCoordinator::starLost);
                fake.sendStarLost();
                QVERIFY(lost.wait(10000));
            }
        }
        QVERIFY(!controller.running());
        // Only a guider that does not answer is told, with its address and how to go on
        // without it; the line stays closed.
        QVERIFY(guider.contains("absent")
                    ? rig.messages.size() == 1 &&
                          rig.messages[0].text == messages::GuiderDidNotAnswer &&
                          rig.messages[0].detail.contains(fake.address().text()) &&
                          rig.messages[0].detail.contains("kestrova --dither-every 0") &&
                          rig.driven() == QStringList{"set 888 1"}
                    : rig.messages.isEmpty());
        QTEST(edges.join(' '), "edges");
        QStringList rows =
            journalRows(dir.path()).filter(QRegularExpression("^(dither|settle|star-lost|guider)"));
        QTEST(rows.replaceInStrings(QRegularExpression(" (The |Connected |5 px).*"), ""), "rows");
        QTEST(int(desktop.notifications.filter(messages::DitherFailed).size()), "notified");
    }

    // The Interface choice, the other interface cleared first, is used at the next start; a
    // stored value that cannot be read is told, and the line starts closed. The end of the
    // program releases the serial port.
    void interfaceChoiceSurvivesRestart()
    {
        ControllerRig rig;
        rig.store.save(settings::ParallelPortBit, "D9");
        rig.open();
        rig.store.saves.clear();
        rig.play("mnuSerial unload");
        QCOMPARE(rig.store.saves, (QStringList{"Parallel Options/Parallel Control=0",
                                               "Serial Options/Serial Control=1"}));
        rig.open();
        // D1, the default; then RTS closed at the change and again at the next start, which
        // chose serial (the menu's check marks are test_main_window's).
        QCOMPARE(rig.driven(), (QStringList{"set 888 1", "RTS off", "open 1", "RTS off", "close",
                                            "RTS off", "open 1", "RTS off"}));
        QCOMPARE(rig.messages.size(), 3); // at each start and at the change
        for (const Failure& message : rig.messages)
            QCOMPARE(message.text, messages::SettingsUnreadable);
    }
};

// The buses come first: the program's session and system bus addresses must point at them
// before anything reaches for a bus.
int main(int argc, char* argv[])
{
    // The program killed in the middle of an exposure: its journal in the folder given.
    if (argc == 3 && qstrcmp(argv[1], "--expose-until-killed") == 0) {
        QCoreApplication app(argc, argv);
        JournalWriter writer(QString::fromLocal8Bit(argv[2]));
        ControllerRig rig;
        rig.make().setJournal(writer);
        rig.controller->load();
        rig.play(QStringLiteral("3,2,1 tick tick tick"));
        std::puts("exposing");
        std::fflush(stdout);
        return app.exec();
    }
    static auto* const buses = new QProcess[2]; // never ended here: see startPrivateBus()
    qputenv("DBUS_SESSION_BUS_ADDRESS", startPrivateBus(buses[0]));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", startPrivateBus(buses[1]));
    QCoreApplication app(argc, argv);
    TestController test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_controller.moc"
