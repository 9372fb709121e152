// SPDX-License-Identifier: GPL-3.0-or-later
#include "guider/GuiderConnection.h"
#include "guider/Messages.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <limits>
#include <utility>

namespace kestrova {

namespace {
// The guider's lines are a few hundred bytes; a line without end past this is no message and
// would otherwise grow without bound.
constexpr qsizetype LongestLine = 1 << 20;
} // namespace

GuiderConnection::GuiderConnection(QObject* parent) : QObject(parent) {}

GuiderConnection::~GuiderConnection()
{
    closeSocket();
}

void GuiderConnection::connectToGuider(const GuiderAddress& address)
{
    disconnectFromGuider();
    address_ = address;
    auto* socket = new QTcpSocket(this);
    socket_ = socket;
    // The guider is on this computer or the local network; a proxy set for the desktop's web
    // traffic has no business here.
    socket->setProxy(QNetworkProxy::NoProxy);
    connect(socket, &QTcpSocket::connected, this,
            [socket] { socket->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
    connect(socket, &QTcpSocket::readyRead, this, &GuiderConnection::readLines);
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket] { fail(socket->errorString()); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this] { fail(QLatin1String(messages::GuiderClosedConnection)); });
    socket->connectToHost(address.host, address.port);
}

void GuiderConnection::disconnectFromGuider()
{
    if (!socket_)
        return;
    closeSocket();
    failPending(QLatin1String(messages::ClosedByKestrova));
}

bool GuiderConnection::isConnected() const
{
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

int GuiderConnection::call(const QString& method, const QJsonValue& params, ReplyHandler onReply)
{
    if (!isConnected()) {
        QMetaObject::invokeMethod(
            this,
            [onReply = std::move(onReply)] {
                if (onReply)
                    onReply({GuiderReply::Status::ConnectionLost,
                             {},
                             0,
                             QLatin1String(messages::NotConnected)});
            },
            Qt::QueuedConnection);
        return 0;
    }
    const int id = nextId_;
    nextId_ = nextId_ == std::numeric_limits<int>::max() ? 1 : nextId_ + 1;
    QJsonObject request{{QStringLiteral("method"), method}, {QStringLiteral("id"), id}};
    if (!params.isNull() && !params.isUndefined())
        request.insert(QStringLiteral("params"), params);
    pending_[id] = std::move(onReply);
    socket_->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + "\r\n");
    return id;
}

void GuiderConnection::readLines()
{
    if (!socket_)
        return;
    buffer_ += socket_->readAll();
    const quint64 closed = closed_;
    qsizetype start = 0;
    for (qsizetype end; (end = buffer_.indexOf('\n', start)) >= 0; start = end + 1) {
        QByteArray line = buffer_.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        handleLine(line);
        // Whoever was told may have closed the connection: its buffer has gone with it.
        if (closed != closed_)
            return;
    }
    buffer_.remove(0, start);
    if (buffer_.size() > LongestLine) {
        buffer_.clear();
        emit lineSkipped(messages::overlongLine(LongestLine));
    }
}

void GuiderConnection::handleLine(const QByteArray& line)
{
    ++linesReceived_;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    const QJsonObject message = document.object();
    const QJsonValue name = message.value(QLatin1String("Event"));
    if (error.error == QJsonParseError::NoError && name.isString()) {
        const quint64 closed = closed_;
        if (name.toString() == QLatin1String("Version"))
            version_ = message.value(QLatin1String("PHDVersion")).toString();
        const bool appState = name.toString() == QLatin1String("AppState");
        if (appState)
            appState_ = message.value(QLatin1String("State")).toString();
        emit event(message);
        if (appState && !ready_ && closed == closed_) {
            ready_ = true;
            emit ready();
        }
        return;
    }
    const bool answer =
        message.contains(QLatin1String("id")) &&
        (message.contains(QLatin1String("result")) || message.contains(QLatin1String("error")));
    if (error.error == QJsonParseError::NoError && answer) {
        handleReply(message);
        return;
    }
    emit lineSkipped(messages::skippedLine(line));
}

void GuiderConnection::handleReply(const QJsonObject& reply)
{
    // An answer to nothing asked on this connection is dropped.
    const auto waiting = pending_.find(reply.value(QLatin1String("id")).toInt(0));
    if (waiting == pending_.end())
        return;
    const ReplyHandler handler = std::move(waiting->second);
    pending_.erase(waiting);

    GuiderReply answer;
    const QJsonValue error = reply.value(QLatin1String("error"));
    if (error.isObject()) {
        answer.status = GuiderReply::Status::Error;
        answer.errorCode = error.toObject().value(QLatin1String("code")).toInt();
        answer.message = error.toObject().value(QLatin1String("message")).toString();
    } else if (!error.isNull() && !error.isUndefined()) {
        // Not the object JSON-RPC asks for, but an error all the same; keep what it says.
        answer.status = GuiderReply::Status::Error;
        answer.message = error.toVariant().toString();
    } else {
        answer.status = GuiderReply::Status::Result;
        answer.result = reply.value(QLatin1String("result"));
    }
    if (handler)
        handler(answer);
}

void GuiderConnection::fail(const QString& reason)
{
    if (!socket_)
        return;
    closeSocket();
    failPending(reason);
    emit lost(reason);
}

void GuiderConnection::closeSocket()
{
    if (!socket_)
        return;
    ++closed_;
    QTcpSocket* socket = std::exchange(socket_, nullptr);
    socket->disconnect(this);
    socket->abort();
    // This may run inside one of the socket's own signals.
    socket->deleteLater();
    buffer_.clear();
    ready_ = false;
    version_.clear();
    appState_.clear();
}

void GuiderConnection::failPending(const QString& reason)
{
    // Taken out first: a handler may call again or close.
    const std::map<int, ReplyHandler> pending = std::exchange(pending_, {});
    for (const auto& [id, handler] : pending) {
        if (handler)
            handler({GuiderReply::Status::ConnectionLost, {}, 0, reason});
    }
}

} // namespace kestrova
