// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "guider/DitherOutcome.h"
#include "guider/GuiderConnection.h"
#include "guider/GuidingSettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <optional>

namespace kestrova {

// The dithering of a night through the guider: at Start a probe that the guider answers, after
// each Kth exposure a dither and its outcome, and in between a connection kept up in the
// background. Nothing waits on the event loop; every signal comes from it, never from within a
// call.
class DitherCoordinator : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultProbeTimeoutMs = 5000;
    static constexpr int DefaultReconnectIntervalMs = 5000;

    explicit DitherCoordinator(QObject* parent = nullptr);

    // At Start: connects to the guider and waits at most timeoutMs for its greeting to end with
    // AppState; probed() tells how it went. A connection already ready at that address is taken
    // as it is. From a good probe until stop(), a lost connection is made again in the
    // background every reconnect interval, each try given timeoutMs to be greeted.
    void probe(const GuiderAddress& address, int timeoutMs = DefaultProbeTimeoutMs);

    // After an exposure's closing edge: asks the guider to dither and settle. finished() follows
    // exactly once for each call: when the guider reports settling done or failed, refuses the
    // dither, or the connection is lost, and at the latest the settle timeout after this call.
    // Without a ready connection, or while the previous dither still settles, it follows at
    // once (ConnectionLost, Refused).
    void dither(const DitherParameters& parameters);

    // At the end of the night: closes the connection and stops reconnecting. A probe or dither
    // under way is dropped: no probed() or finished() follows for it.
    void stop();

    bool isDithering() const { return active_; }
    bool isConnected() const { return connection_.isReady(); }
    GuiderAddress address() const { return address_; }

    // How long after a lost connection, or a failed try, the next try starts.
    void setReconnectInterval(int milliseconds) { reconnectIntervalMs_ = milliseconds; }

signals:
    // ok: the guider answered; text: who answered, or which address did not and what to do.
    void probed(bool ok, const QString& text);
    // The guider's answer to a dither request, before its outcome; guiderText: its refusal.
    void replied(bool accepted, const QString& guiderText);
    void finished(const kestrova::DitherOutcome& outcome);
    // The guider lost its star, at any time while connected: the exposure in progress suffers.
    void starLost(const QString& details);
    // A ready connection was lost during the night, and when it is back.
    void connectionLost(const QString& text);
    void reconnected(const QString& text);

private:
    void onReady();
    void onLost(const QString& reason);
    void onEvent(const QJsonObject& message);
    void onDitherReply(quint64 dither, const GuiderReply& reply);
    void onGreetingOverdue();
    void onSettleOverdue();
    void reconnect();
    // Ends the dither under way and gives its outcome.
    DitherOutcome conclude(DitherOutcome::Kind kind, const QString& text);
    void finish(DitherOutcome::Kind kind, const QString& text);
    // From the event loop, for a call that must not answer from within itself.
    void finishLater(const DitherOutcome& outcome);

    GuiderConnection connection_;
    GuiderAddress address_;
    int greetingTimeoutMs_ = DefaultProbeTimeoutMs;
    int reconnectIntervalMs_ = DefaultReconnectIntervalMs;
    bool probing_ = false;       // a probe waits for the greeting
    bool keepConnected_ = false; // from a good probe to stop()
    bool wasReady_ = false;      // the connection that ends now had been ready
    QTimer greetingGuard_;       // a probe's or a reconnection's wait for AppState
    QTimer reconnectTimer_;

    // The dither under way.
    bool active_ = false;
    bool accepted_ = false; // the guider has answered the request without an error
    quint64 dither_ = 0;    // counts the dithers sent: an answer to an earlier one is dropped
    int settleTimeoutSeconds_ = 0;
    quint64 linesAtRequest_ = 0;
    std::optional<double> lastDistance_; // from the last Settling event
    DitherOutcome outcome_;
    QElapsedTimer sinceRequest_;
    QTimer settleGuard_;
};

} // namespace kestrova
