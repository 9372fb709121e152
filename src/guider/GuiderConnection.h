// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "guider/GuidingSettings.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <functional>
#include <map>

class QTcpSocket;

namespace kestrova {

// The guider's answer to one request.
struct GuiderReply {
    enum class Status { Result, Error, ConnectionLost };
    Status status = Status::ConnectionLost;
    QJsonValue result; // Result: what the guider returned
    int errorCode = 0; // Error: the guider's code
    QString message;   // Error: the guider's message; ConnectionLost: why
};

// One connection to a guider's event server (PHD2): TCP, one JSON object a line, each ended by
// CR LF. On connecting the guider speaks first: Version, its state, then AppState, after which
// the connection is ready. Events arrive unasked at any time; requests are JSON-RPC calls that
// the guider answers with their id. A line that is neither is skipped and the connection goes
// on. Everything runs on the event loop; nothing waits.
class GuiderConnection : public QObject {
    Q_OBJECT
public:
    using ReplyHandler = std::function<void(const GuiderReply&)>;

    explicit GuiderConnection(QObject* parent = nullptr);
    // Calls still waiting are dropped without their replies: their owners go with this object.
    ~GuiderConnection() override;

    // Starts connecting. A connection already open is closed first, as by disconnectFromGuider.
    void connectToGuider(const GuiderAddress& address);
    // Closes the connection without lost(); calls still waiting get ConnectionLost.
    void disconnectFromGuider();

    GuiderAddress address() const { return address_; }
    bool isConnected() const;                          // the TCP connection is up
    bool isReady() const { return ready_; }            // and AppState has arrived on it
    QString guiderVersion() const { return version_; } // PHDVersion of the Version event
    QString appState() const { return appState_; }     // State of the AppState event
    // Every line received since this object was made, skipped ones included: whether the guider
    // has said anything since some moment.
    quint64 linesReceived() const { return linesReceived_; }

    // Sends {"method":...,"params":...,"id":N} (params left out when null). onReply is called
    // exactly once and never from within call(): with the guider's answer, or with
    // ConnectionLost when the connection closes first or none is open. Returns the request's id,
    // or 0 when nothing was sent.
    int call(const QString& method, const QJsonValue& params, ReplyHandler onReply);

signals:
    void ready();
    // Every event, Version and AppState included, as received.
    void event(const QJsonObject& message);
    // The connection could not be made or has ended; once for each connectToGuider at most.
    void lost(const QString& reason);
    void lineSkipped(const QString& reason);

private:
    void readLines();
    void handleLine(const QByteArray& line);
    void handleReply(const QJsonObject& reply);
    void fail(const QString& reason);
    void closeSocket();
    void failPending(const QString& reason);

    GuiderAddress address_;
    QTcpSocket* socket_ = nullptr;
    QByteArray buffer_; // what has arrived of a line not yet ended
    bool ready_ = false;
    QString version_;
    QString appState_;
    quint64 linesReceived_ = 0;
    // Counts the sockets closed: a read loop whose socket went while it handed a line on stops.
    quint64 closed_ = 0;
    int nextId_ = 1;
    std::map<int, ReplyHandler> pending_;
};

} // namespace kestrova
