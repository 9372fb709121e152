// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "control/DesktopServices.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

class QDBusMessage;
class QDBusPendingCall;

namespace kestrova {

// Calls on a bus that never wait on the event thread, and a bounded wait for the calls still
// outstanding, for the moment the program exits.
class DBusCalls : public QObject {
    Q_OBJECT
public:
    explicit DBusCalls(QObject* parent = nullptr);

    // The reply, or the error that stands for it, is handed to onReply on the event thread.
    void send(const QDBusConnection& bus, const QDBusMessage& message,
              std::function<void(const QDBusMessage& reply)> onReply);
    int outstanding() const { return outstanding_; }
    // How long a service has to answer before the call counts as failed.
    void setAnswerTimeout(int milliseconds) { answerTimeout_ = milliseconds; }
    int answerTimeout() const { return answerTimeout_; }
    // Receives the bus signals connected to deliver().
    void setSignalHandler(std::function<void(const QDBusMessage& signal)> handler)
    {
        signalHandler_ = std::move(handler);
    }
    // Runs the event loop until every call sent has its answer or the time is up; true when
    // none is left.
    bool settle(int milliseconds);

public slots:
    void deliver(const QDBusMessage& signal);

signals:
    void settled();

private:
    int outstanding_ = 0;
    int answerTimeout_;
    std::function<void(const QDBusMessage& signal)> signalHandler_;
};

// Keeps the computer awake through the first of these that grants it: the desktop portal's
// Inhibit on the session bus (granted by its request's Response), systemd-logind's Inhibit on the
// system bus (a descriptor held open while inhibiting), the session's ScreenSaver.Inhibit. When
// none answers, one line goes to standard error and nothing else happens.
class DBusSleepInhibitor : public SleepInhibitor {
public:
    enum class Way { None, Portal, Logind, ScreenSaver };

    DBusSleepInhibitor(const QDBusConnection& sessionBus, const QDBusConnection& systemBus);
    // Lets go, and waits a moment for the desktop to hear it.
    ~DBusSleepInhibitor() override;
    DBusSleepInhibitor(const DBusSleepInhibitor&) = delete;
    DBusSleepInhibitor& operator=(const DBusSleepInhibitor&) = delete;

    void inhibit(const QString& reason) override;
    void release() override;
    QString holder() const override;

    // The way the computer is being kept awake; None also while a request is on its way.
    Way holding() const;
    DBusCalls& calls() { return calls_; }

private:
    struct Hold {
        int step = -1;   // the way that answered, none when negative
        QString handle;  // the portal's request object
        int fd = -1;     // logind's inhibitor lock
        uint cookie = 0; // the screen saver's
    };

    struct PortalResponse {
        QString handle;
        uint code = 0;
    };

    void ask(int step);
    void answered(int step, const QDBusMessage& reply);
    void awaitPortalResponse(int step, const QString& handle);
    void watchPortalRequest();
    void portalResponded(const QDBusMessage& signal);
    void granted(const Hold& hold);
    void refused(int step, const QString& answer);
    void letGo(Hold& hold);

    QDBusConnection sessionBus_;
    QDBusConnection systemBus_;
    DBusCalls calls_;
    QString reason_;
    bool wanted_ = false;
    bool asking_ = false;
    bool refused_ = false; // every way refused while wanted
    int portalRequests_ = 0;
    QString portalRequest_;  // the request object the portal makes for the present attempt
    QString watchedRequest_; // the request whose Response is watched
    std::optional<PortalResponse> portalResponse_; // a Response come before the request's reply
    std::function<void(std::optional<uint> response)> portalWaiting_;
    QStringList refusals_; // what each way answered in the present attempt
    Hold hold_;
};

// Desktop notifications through org.freedesktop.Notifications on the session bus.
class DBusNotifier : public Notifier {
public:
    explicit DBusNotifier(const QDBusConnection& sessionBus);
    ~DBusNotifier() override;
    DBusNotifier(const DBusNotifier&) = delete;
    DBusNotifier& operator=(const DBusNotifier&) = delete;

    void notify(const Notification& notification) override;

private:
    QDBusConnection sessionBus_;
    DBusCalls calls_;
};

} // namespace kestrova
