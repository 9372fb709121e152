// SPDX-License-Identifier: GPL-3.0-or-later
#include "guider/DitherCoordinator.h"
#include "guider/Messages.h"

#include <QJsonObject>
#include <algorithm>
#include <utility>

namespace kestrova {

namespace {

QString starLostDetails(const QJsonObject& event)
{
    QStringList facts;
    if (event.contains(QLatin1String("Frame")))
        facts << QStringLiteral("frame %1").arg(event.value(QLatin1String("Frame")).toInteger());
    if (event.contains(QLatin1String("SNR")))
        facts << QStringLiteral("SNR %1").arg(event.value(QLatin1String("SNR")).toDouble(), 0, 'f',
                                              1);
    if (event.contains(QLatin1String("StarMass")))
        facts << QStringLiteral("star mass %1")
                     .arg(event.value(QLatin1String("StarMass")).toDouble(), 0, 'f', 0);
    if (event.contains(QLatin1String("ErrorCode")))
        facts << QStringLiteral("error code %1")
                     .arg(event.value(QLatin1String("ErrorCode")).toInteger());
    return messages::guideStarLost(facts.join(QLatin1String(", ")),
                                   event.value(QLatin1String("Status")).toString());
}

// The outcome of a dither that was never sent.
DitherOutcome unsent(DitherOutcome::Kind kind, const QString& text)
{
    DitherOutcome outcome;
    outcome.kind = kind;
    outcome.text = text;
    return outcome;
}

} // namespace

DitherCoordinator::DitherCoordinator(QObject* parent) : QObject(parent), connection_(this)
{
    qRegisterMetaType<DitherOutcome>();
    greetingGuard_.setSingleShot(true);
    reconnectTimer_.setSingleShot(true);
    settleGuard_.setSingleShot(true);
    // The settle timeout ends the wait for the next exposure: it is kept to the millisecond, not
    // to the few percent a coarse timer allows.
    settleGuard_.setTimerType(Qt::PreciseTimer);
    connect(&greetingGuard_, &QTimer::timeout, this, &DitherCoordinator::onGreetingOverdue);
    connect(&reconnectTimer_, &QTimer::timeout, this, &DitherCoordinator::reconnect);
    connect(&settleGuard_, &QTimer::timeout, this, &DitherCoordinator::onSettleOverdue);
    connect(&connection_, &GuiderConnection::ready, this, &DitherCoordinator::onReady);
    connect(&connection_, &GuiderConnection::lost, this, &DitherCoordinator::onLost);
    connect(&connection_, &GuiderConnection::event, this, &DitherCoordinator::onEvent);
}

void DitherCoordinator::probe(const GuiderAddress& address, int timeoutMs)
{
    if (active_)
        finishLater(conclude(DitherOutcome::Kind::ConnectionLost,
                             messages::ditherConnectionLost(
                                 address_.text(), QLatin1String(messages::ClosedByKestrova))));
    greetingTimeoutMs_ = timeoutMs;
    reconnectTimer_.stop();
    if (connection_.isReady() && connection_.address().host == address.host &&
        connection_.address().port == address.port) {
        address_ = address;
        probing_ = false;
        keepConnected_ = true;
        const QString text = messages::guiderAnswered(address.text(), connection_.guiderVersion(),
                                                      connection_.appState());
        QMetaObject::invokeMethod(
            this, [this, text] { emit probed(true, text); }, Qt::QueuedConnection);
        return;
    }
    address_ = address;
    probing_ = true;
    keepConnected_ = false;
    wasReady_ = false;
    connection_.connectToGuider(address);
    greetingGuard_.start(timeoutMs);
}

void DitherCoordinator::dither(const DitherParameters& parameters)
{
    if (active_) {
        finishLater(
            unsent(DitherOutcome::Kind::Refused, QLatin1String(messages::AlreadyDithering)));
        return;
    }
    if (!connection_.isReady()) {
        finishLater(unsent(DitherOutcome::Kind::ConnectionLost,
                           messages::ditherNotConnected(address_.text())));
        return;
    }
    active_ = true;
    accepted_ = false;
    const quint64 dither = ++dither_;
    settleTimeoutSeconds_ = parameters.settle.timeoutSeconds;
    linesAtRequest_ = connection_.linesReceived();
    lastDistance_.reset();
    outcome_ = {};
    sinceRequest_.start();
    settleGuard_.start(std::max(0, parameters.settle.timeoutSeconds) * 1000);
    const QJsonObject settle{{QStringLiteral("pixels"), parameters.settle.pixels},
                             {QStringLiteral("time"), parameters.settle.seconds},
                             {QStringLiteral("timeout"), parameters.settle.timeoutSeconds}};
    connection_.call(QStringLiteral("dither"),
                     QJsonObject{{QStringLiteral("amount"), parameters.pixels},
                                 {QStringLiteral("raOnly"), parameters.raOnly},
                                 {QStringLiteral("settle"), settle}},
                     [this, dither](const GuiderReply& reply) { onDitherReply(dither, reply); });
}

void DitherCoordinator::stop()
{
    keepConnected_ = false;
    probing_ = false;
    active_ = false;
    wasReady_ = false;
    greetingGuard_.stop();
    reconnectTimer_.stop();
    settleGuard_.stop();
    connection_.disconnectFromGuider();
}

void DitherCoordinator::onReady()
{
    greetingGuard_.stop();
    wasReady_ = true;
    const QString address = address_.text();
    if (probing_) {
        probing_ = false;
        keepConnected_ = true;
        emit probed(true, messages::guiderAnswered(address, connection_.guiderVersion(),
                                                   connection_.appState()));
    } else if (keepConnected_) {
        emit reconnected(messages::guiderReconnected(address));
    }
}

void DitherCoordinator::onLost(const QString& reason)
{
    greetingGuard_.stop();
    const bool wasReady = std::exchange(wasReady_, false);
    if (probing_) {
        probing_ = false;
        emit probed(false, messages::guiderNotAnswering(address_.text(), reason));
        return;
    }
    // A dither waiting for its answer was finished by the reply; one settling ends here.
    if (active_)
        finish(DitherOutcome::Kind::ConnectionLost,
               messages::ditherConnectionLost(address_.text(), reason));
    if (!keepConnected_)
        return;
    reconnectTimer_.start(reconnectIntervalMs_);
    if (wasReady)
        emit connectionLost(messages::guiderConnectionLost(address_.text(), reason));
}

void DitherCoordinator::onEvent(const QJsonObject& message)
{
    const QString name = message.value(QLatin1String("Event")).toString();
    if (name == QLatin1String("StarLost")) {
        emit starLost(starLostDetails(message));
        return;
    }
    if (!active_)
        return;
    if (name == QLatin1String("GuidingDithered")) {
        outcome_.shifted = true;
        outcome_.dx = message.value(QLatin1String("dx")).toDouble();
        outcome_.dy = message.value(QLatin1String("dy")).toDouble();
    } else if (name == QLatin1String("Settling")) {
        const QJsonValue distance = message.value(QLatin1String("Distance"));
        if (distance.isDouble())
            lastDistance_ = distance.toDouble();
    } else if (name == QLatin1String("SettleDone") && accepted_) {
        // Only after the guider took this dither: an earlier one may end just before it.
        if (message.value(QLatin1String("Status")).toInt(-1) == 0) {
            finish(DitherOutcome::Kind::Settled,
                   messages::ditherSettled(sinceRequest_.elapsed() / 1000.0));
        } else {
            const QString error = message.value(QLatin1String("Error")).toString();
            finish(DitherOutcome::Kind::SettleFailed, messages::ditherSettleFailed(error));
        }
    }
}

void DitherCoordinator::onDitherReply(quint64 dither, const GuiderReply& reply)
{
    if (!active_ || dither != dither_)
        return;
    switch (reply.status) {
    case GuiderReply::Status::Result:
        accepted_ = true;
        emit replied(true, {});
        break;
    case GuiderReply::Status::Error: {
        // Concluded before the answer is told, so nothing its listeners do can end it twice.
        const DitherOutcome outcome = conclude(
            DitherOutcome::Kind::Refused, messages::ditherRefused(reply.message, reply.errorCode));
        emit replied(false, reply.message);
        emit finished(outcome);
        break;
    }
    case GuiderReply::Status::ConnectionLost:
        finish(DitherOutcome::Kind::ConnectionLost,
               messages::ditherConnectionLost(address_.text(), reply.message));
        break;
    }
}

void DitherCoordinator::onGreetingOverdue()
{
    const QString reason = messages::noGreeting(greetingTimeoutMs_ / 1000.0);
    connection_.disconnectFromGuider();
    if (probing_) {
        probing_ = false;
        emit probed(false, messages::guiderNotAnswering(address_.text(), reason));
    } else if (keepConnected_) {
        reconnectTimer_.start(reconnectIntervalMs_);
    }
}

void DitherCoordinator::onSettleOverdue()
{
    if (!active_)
        return;
    // Not a line since the request, not even its answer: the link is dead though the socket
    // does not know it yet (a network gone away). Reconnecting makes the next dither work.
    const bool silent = connection_.linesReceived() == linesAtRequest_;
    QString text = messages::ditherTimedOut(settleTimeoutSeconds_);
    if (lastDistance_)
        text += messages::lastDistance(*lastDistance_);
    finish(DitherOutcome::Kind::TimedOut, text);
    if (silent && keepConnected_ && connection_.isConnected()) {
        wasReady_ = false;
        connection_.disconnectFromGuider();
        reconnectTimer_.start(reconnectIntervalMs_);
        emit connectionLost(messages::guiderConnectionLost(
            address_.text(), messages::guiderSilent(settleTimeoutSeconds_)));
    }
}

void DitherCoordinator::reconnect()
{
    if (!keepConnected_)
        return;
    connection_.connectToGuider(address_);
    greetingGuard_.start(greetingTimeoutMs_);
}

DitherOutcome DitherCoordinator::conclude(DitherOutcome::Kind kind, const QString& text)
{
    active_ = false;
    settleGuard_.stop();
    DitherOutcome outcome = outcome_;
    outcome.kind = kind;
    outcome.text = text;
    outcome.settleMs = sinceRequest_.elapsed();
    return outcome;
}

void DitherCoordinator::finish(DitherOutcome::Kind kind, const QString& text)
{
    emit finished(conclude(kind, text));
}

void DitherCoordinator::finishLater(const DitherOutcome& outcome)
{
    QMetaObject::invokeMethod(
        this, [this, outcome] { emit finished(outcome); }, Qt::QueuedConnection);
}

} // namespace kestrova
