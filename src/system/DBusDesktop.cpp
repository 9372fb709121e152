// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/DBusDesktop.h"

#include "control/Messages.h"
#include "core/AppInfo.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QTimer>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace kestrova {

namespace {

// A desktop service that answers at all answers within this; one that does not is passed over.
constexpr int AnswerTimeoutMilliseconds = 5000;
// At exit no sequence runs any more: the desktop is given this long to hear the release.
constexpr int ExitWaitMilliseconds = 1000;

constexpr uint PortalInhibitSuspend = 4;
constexpr uint PortalInhibitIdle = 8;

using Way = DBusSleepInhibitor::Way;

// The ways to keep the computer awake, in the order they are tried.
struct InhibitStep {
    Way way;
    bool onSystemBus;
    const char* service;
    const char* path;
    const char* interface;
    const char* name; // as told on standard error
};
const InhibitStep InhibitSteps[] = {
    {Way::Portal, false, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
     "org.freedesktop.portal.Inhibit", "desktop portal"},
    {Way::Logind, true, "org.freedesktop.login1", "/org/freedesktop/login1",
     "org.freedesktop.login1.Manager", "systemd-logind"},
    {Way::ScreenSaver, false, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
     "org.freedesktop.ScreenSaver", "screen saver"},
};
constexpr int InhibitStepCount = int(std::size(InhibitSteps));

QString appTitle()
{
    return QString::fromLatin1(appinfo::Title);
}

QDBusMessage callTo(const InhibitStep& step, const QString& path, const char* interface,
                    const char* method)
{
    return QDBusMessage::createMethodCall(QLatin1String(step.service), path,
                                          QLatin1String(interface), QLatin1String(method));
}

template <typename T> bool singleArgument(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
           reply.arguments().constFirst().metaType() == QMetaType::fromType<T>();
}

} // namespace

DBusCalls::DBusCalls(QObject* parent) : QObject(parent), answerTimeout_(AnswerTimeoutMilliseconds)
{
}

void DBusCalls::send(const QDBusConnection& bus, const QDBusMessage& message,
                     std::function<void(const QDBusMessage& reply)> onReply)
{
    ++outstanding_;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, answerTimeout_), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, onReply = std::move(onReply)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                // A follow-up call made here is counted before this one is let go.
                if (onReply)
                    onReply(finished->reply());
                if (--outstanding_ == 0)
                    emit settled();
            });
}

void DBusCalls::deliver(const QDBusMessage& signal)
{
    if (signalHandler_)
        signalHandler_(signal);
}

bool DBusCalls::settle(int milliseconds)
{
    if (outstanding_ > 0) {
        QEventLoop loop;
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        connect(this, &DBusCalls::settled, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return outstanding_ == 0;
}

DBusSleepInhibitor::DBusSleepInhibitor(const QDBusConnection& sessionBus,
                                       const QDBusConnection& systemBus)
    : sessionBus_(sessionBus), systemBus_(systemBus)
{
    calls_.setSignalHandler([this](const QDBusMessage& signal) { portalResponded(signal); });
}

DBusSleepInhibitor::~DBusSleepInhibitor()
{
    release();
    calls_.settle(ExitWaitMilliseconds);
}

void DBusSleepInhibitor::inhibit(const QString& reason)
{
    wanted_ = true;
    reason_ = reason;
    // Held, on its way, or refused by every way since the last release: nothing new to ask.
    if (hold_.step >= 0 || asking_ || refused_)
        return;
    asking_ = true;
    refusals_.clear();
    ask(0);
}

void DBusSleepInhibitor::release()
{
    // A request on its way is let go when its answer comes.
    wanted_ = false;
    refused_ = false;
    letGo(hold_);
}

void DBusSleepInhibitor::ask(int step)
{
    const InhibitStep& way = InhibitSteps[step];
    const QDBusConnection& bus = way.onSystemBus ? systemBus_ : sessionBus_;
    if (!bus.isConnected()) {
        answered(step, QDBusMessage::createError(bus.lastError()));
        return;
    }
    QDBusMessage message = callTo(way, QLatin1String(way.path), way.interface, "Inhibit");
    switch (way.way) {
    case Way::Portal: {
        // The portal names its request object after the caller and this token, so one that
        // answers too late can still be told to let go.
        const QString token = QStringLiteral("kestrova%1").arg(++portalRequests_);
        portalRequest_ = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                             .arg(sessionBus_.baseService().mid(1).replace('.', '_'), token);
        // Its Response may come before the reply that names the request: watched from now.
        watchPortalRequest();
        message << QString() << (PortalInhibitSuspend | PortalInhibitIdle)
                << QVariantMap{{QStringLiteral("handle_token"), token},
                               {QStringLiteral("reason"), reason_}};
        break;
    }
    case Way::Logind:
        message << QStringLiteral("sleep:idle") << appTitle() << reason_ << QStringLiteral("block");
        break;
    case Way::ScreenSaver:
    case Way::None:
        message << appTitle() << reason_;
        break;
    }
    calls_.send(bus, message, [this, step](const QDBusMessage& reply) { answered(step, reply); });
}

void DBusSleepInhibitor::answered(int step, const QDBusMessage& reply)
{
    Hold hold;
    switch (InhibitSteps[step].way) {
    case Way::Portal:
        // The portal answers at once with its request object; whether it keeps the computer
        // awake comes later, as the request's Response.
        if (singleArgument<QDBusObjectPath>(reply)) {
            awaitPortalResponse(step,
                                reply.arguments().constFirst().value<QDBusObjectPath>().path());
            return;
        }
        break;
    case Way::Logind:
        if (singleArgument<QDBusUnixFileDescriptor>(reply)) {
            const auto lock = reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
            // The reply's own copy closes with it; the lock lasts as long as this one.
            hold.fd = lock.isValid() ? ::fcntl(lock.fileDescriptor(), F_DUPFD_CLOEXEC, 0) : -1;
            if (hold.fd >= 0)
                hold.step = step;
        }
        break;
    case Way::ScreenSaver:
        if (singleArgument<uint>(reply)) {
            hold.step = step;
            hold.cookie = reply.arguments().constFirst().toUInt();
        }
        break;
    case Way::None:
        break;
    }

    if (hold.step >= 0) {
        granted(hold);
        return;
    }
    // A portal that answers after the wait would keep its request: it is closed now.
    if (InhibitSteps[step].way == Way::Portal &&
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")) {
        Hold late{step, portalRequest_};
        letGo(late);
    }
    refused(step, reply.type() == QDBusMessage::ErrorMessage
                      ? reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()
                      : QStringLiteral("unexpected answer"));
}

void DBusSleepInhibitor::awaitPortalResponse(int step, const QString& handle)
{
    const auto decide = [this, step, handle](std::optional<uint> response) {
        portalResponse_.reset();
        if (response == 0u) {
            granted(Hold{step, handle});
            return;
        }
        if (!response) {
            Hold request{step, handle};
            letGo(request); // a request left without an answer is withdrawn
        }
        refused(step, response ? QStringLiteral("refused (response %1)").arg(*response)
                               : QStringLiteral("no response"));
    };
    // The request object may differ from the one foreseen (an older portal); its Response may
    // also have come before this reply.
    if (handle != portalRequest_) {
        portalRequest_ = handle;
        watchPortalRequest();
    } else if (portalResponse_ && portalResponse_->handle == handle) {
        decide(portalResponse_->code);
        return;
    }
    portalWaiting_ = decide;
    QTimer::singleShot(calls_.answerTimeout(), &calls_, [this, attempt = portalRequests_] {
        if (attempt != portalRequests_)
            return; // an earlier request's wait
        if (const auto waiting = std::exchange(portalWaiting_, {}))
            waiting(std::nullopt);
    });
}

void DBusSleepInhibitor::watchPortalRequest()
{
    const QString service = QLatin1String(InhibitSteps[0].service);
    const QString interface = QStringLiteral("org.freedesktop.portal.Request");
    const QString name = QStringLiteral("Response");
    if (!watchedRequest_.isEmpty())
        sessionBus_.disconnect(service, watchedRequest_, interface, name, &calls_,
                               SLOT(deliver(QDBusMessage)));
    watchedRequest_ = portalRequest_;
    portalResponse_.reset();
    sessionBus_.connect(service, watchedRequest_, interface, name, &calls_,
                        SLOT(deliver(QDBusMessage)));
}

void DBusSleepInhibitor::portalResponded(const QDBusMessage& signal)
{
    if (signal.path() != portalRequest_ || signal.arguments().isEmpty())
        return;
    const uint code = signal.arguments().constFirst().toUInt();
    if (const auto waiting = std::exchange(portalWaiting_, {}))
        waiting(code);
    else
        portalResponse_ = PortalResponse{signal.path(), code};
}

void DBusSleepInhibitor::granted(const Hold& hold)
{
    asking_ = false;
    if (wanted_) {
        hold_ = hold;
        return;
    }
    Hold unwanted = hold;
    letGo(unwanted);
}

void DBusSleepInhibitor::refused(int step, const QString& answer)
{
    refusals_ << QStringLiteral("%1: %2").arg(QLatin1String(InhibitSteps[step].name), answer);
    if (wanted_ && step + 1 < InhibitStepCount) {
        ask(step + 1);
        return;
    }
    asking_ = false;
    refused_ = wanted_;
    if (wanted_)
        qWarning("%s", qPrintable(messages::mayNotStayAwake(refusals_)));
}

QString DBusSleepInhibitor::holder() const
{
    switch (holding()) {
    case Way::Portal:
        return QStringLiteral("portal");
    case Way::Logind:
        return QStringLiteral("logind");
    case Way::ScreenSaver:
        return QStringLiteral("screen saver");
    case Way::None:
        break;
    }
    return {};
}

DBusSleepInhibitor::Way DBusSleepInhibitor::holding() const
{
    return hold_.step < 0 ? Way::None : InhibitSteps[hold_.step].way;
}

void DBusSleepInhibitor::letGo(Hold& hold)
{
    if (hold.step < 0)
        return;
    const InhibitStep& way = InhibitSteps[hold.step];
    switch (way.way) {
    case Way::Portal:
        calls_.send(sessionBus_,
                    callTo(way, hold.handle, "org.freedesktop.portal.Request", "Close"), nullptr);
        break;
    case Way::Logind:
        ::close(hold.fd);
        break;
    case Way::ScreenSaver:
        calls_.send(sessionBus_,
                    callTo(way, QLatin1String(way.path), way.interface, "UnInhibit") << hold.cookie,
                    nullptr);
        break;
    case Way::None:
        break;
    }
    hold = Hold{};
}

DBusNotifier::DBusNotifier(const QDBusConnection& sessionBus) : sessionBus_(sessionBus) {}

DBusNotifier::~DBusNotifier()
{
    calls_.settle(ExitWaitMilliseconds);
}

void DBusNotifier::notify(const Notification& notification)
{
    if (!sessionBus_.isConnected())
        return;
    const QString appId = QString::fromLatin1(appinfo::AppId);
    const uchar urgency = notification.urgency == Notification::Urgency::Critical ? 2 : 1;
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    message << appTitle() << uint(0) << appId << notification.summary << notification.body
            << QStringList()
            << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue(urgency)},
                           {QStringLiteral("desktop-entry"), appId}}
            << int(-1);
    // Nobody to show it is no fault of the sequence: the answer is not looked at.
    calls_.send(sessionBus_, message, nullptr);
}

} // namespace kestrova
