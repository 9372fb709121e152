// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "guider/GuidingSettings.h"

#include <QDateTime>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <utility>
#include <vector>

namespace kestrova::test {

// A guider's event server on a port of 127.0.0.1 that speaks as PHD2 does: one JSON object a
// line, ended by CR LF; on connecting a greeting of Version, the lock position and AppState;
// requests answered by their id with "result" or "error" {code, message}. A dither whose
// parameters PHD2 would take is answered with result 0, then GuidingDithered, SettleBegin,
// Settling and SettleDone follow as scripted; one PHD2 would not take gets error -32602, an
// unknown method -32601. It records every request and counts what it did; tests wait on those
// with QTRY_*. The script's fields are read when a client connects or a request arrives.
class FakeGuider {
public:
    enum class Settle { Done, Failed, Never };

    struct Request {
        QString method;
        QJsonValue params;
    };

    bool greets = true;                        // false: accepts and stays silent
    bool answers = true;                       // false: records requests and never answers them
    QString state = QStringLiteral("Guiding"); // AppState, also answered to get_app_state
    QString refusal; // set: a dither is answered with error code 1 and this message
    Settle settle = Settle::Done;
    int settleAfterMs = 0; // from the dither's answer to its SettleDone
    QString settleError = QStringLiteral("Timed-out waiting for guider to settle");
    double dx = 1.25; // the shift that GuidingDithered reports
    double dy = -0.75;
    bool splitAnswer = false; // the dither's answer written in two parts, 50 ms apart
    bool oneWrite = false;    // the dither's answer and all its settling events in one write
    // Written once just ahead of the next dither's answer, as an event of an earlier dither that
    // ends just then would be.
    QByteArray aheadOfAnswer;

    QList<Request> requests;
    int accepted = 0;        // connections accepted
    int settleDonesSent = 0; // SettleDone events written

    FakeGuider()
    {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
        listen();
    }
    ~FakeGuider() { stopListening(); }
    FakeGuider(const FakeGuider&) = delete;
    FakeGuider& operator=(const FakeGuider&) = delete;

    // On 127.0.0.1; port 0 takes a free one. Again on the same port after stopListening().
    bool listen(quint16 port = 0)
    {
        const bool listening = server_.listen(QHostAddress::LocalHost, port);
        if (listening)
            port_ = server_.serverPort();
        return listening;
    }
    quint16 port() const { return port_; }
    GuiderAddress address() const { return {QStringLiteral("127.0.0.1"), port_}; }

    // The guider gone: no more connections, and those open are dropped.
    void stopListening()
    {
        server_.close();
        dropClients();
    }
    // The connections dropped; new ones are still accepted.
    void dropClients()
    {
        buffers_.clear();
        for (const QPointer<QTcpSocket>& client : std::exchange(clients_, {})) {
            if (!client)
                continue;
            QObject::disconnect(client, nullptr, client, nullptr); // this fake's handlers
            client->disconnectFromHost();
            client->deleteLater();
        }
    }
    int clients() const { return int(clients_.size()); }

    // To every client, exactly as given: for malformed lines and the like.
    void sendRaw(const QByteArray& bytes)
    {
        for (const QPointer<QTcpSocket>& client : clients_) {
            if (client)
                client->write(bytes);
        }
    }
    void sendEvent(const QJsonObject& event) { sendRaw(eventLine(event)); }
    void sendStarLost()
    {
        sendEvent({{"Event", "StarLost"},
                   {"Frame", 812},
                   {"Time", 1234.5},
                   {"StarMass", 410.2},
                   {"SNR", 3.24},
                   {"AvgDist", 0.61},
                   {"ErrorCode", 2},
                   {"Status", "Star lost - low SNR"}});
    }

    // An event with the attributes every event carries, as one line.
    static QByteArray eventLine(QJsonObject event)
    {
        event.insert("Timestamp", QDateTime::currentMSecsSinceEpoch() / 1000.0);
        event.insert("Host", "fakeguider");
        event.insert("Inst", 1);
        return line(event);
    }

private:
    static QByteArray line(const QJsonObject& object)
    {
        return QJsonDocument(object).toJson(QJsonDocument::Compact) + "\r\n";
    }
    static QByteArray answer(const QJsonValue& id, const QJsonValue& result)
    {
        return line({{"jsonrpc", "2.0"}, {"result", result}, {"id", id}});
    }
    static QByteArray error(const QJsonValue& id, int code, const QString& message)
    {
        return line({{"jsonrpc", "2.0"},
                     {"error", QJsonObject{{"code", code}, {"message", message}}},
                     {"id", id}});
    }

    void accept()
    {
        while (QTcpSocket* client = server_.nextPendingConnection()) {
            ++accepted;
            clients_ << client;
            QObject::connect(client, &QTcpSocket::readyRead, client,
                             [this, client] { read(client); });
            QObject::connect(client, &QTcpSocket::disconnected, client, [this, client] {
                clients_.removeAll(client);
                buffers_.remove(client);
                client->deleteLater();
            });
            if (greets) {
                client->write(
                    eventLine({{"Event", "Version"},
                               {"PHDVersion", "2.6.13"},
                               {"PHDSubver", ""},
                               {"OverlapSupport", true},
                               {"MsgVersion", 1}}) +
                    eventLine({{"Event", "LockPositionSet"}, {"X", 512.4}, {"Y", 384.9}}) +
                    eventLine({{"Event", "AppState"}, {"State", state}}));
            }
        }
    }

    void read(QTcpSocket* client)
    {
        QByteArray& buffer = buffers_[client];
        buffer += client->readAll();
        for (qsizetype end; (end = buffer.indexOf('\n')) >= 0;) {
            const QJsonObject request = QJsonDocument::fromJson(buffer.left(end)).object();
            buffer.remove(0, end + 1);
            const QString method = request.value("method").toString();
            requests << Request{method, request.value("params")};
            if (answers)
                respond(client, method, request.value("params"), request.value("id"));
        }
    }

    // What PHD2 needs of a dither: the amount and the three settle numbers; raOnly may be left
    // out.
    static bool ditherParamsTaken(const QJsonValue& params)
    {
        const QJsonObject p = params.toObject();
        const QJsonObject settle = p.value("settle").toObject();
        return p.value("amount").isDouble() &&
               (p.value("raOnly").isBool() || p.value("raOnly").isUndefined()) &&
               settle.value("pixels").isDouble() && settle.value("time").isDouble() &&
               settle.value("timeout").isDouble();
    }

    void respond(QTcpSocket* client, const QString& method, const QJsonValue& params,
                 const QJsonValue& id)
    {
        if (method == "get_app_state") {
            client->write(answer(id, state));
        } else if (method != "dither") {
            client->write(error(id, -32601, "method not found"));
        } else if (!ditherParamsTaken(params)) {
            client->write(error(id, -32602, "invalid params"));
        } else if (!refusal.isEmpty()) {
            client->write(error(id, 1, refusal));
        } else {
            dither(client, id, params.toObject().value("settle").toObject());
        }
    }

    struct Write {
        int afterMs;
        QByteArray bytes;
        bool settleDone;
    };

    void dither(QTcpSocket* client, const QJsonValue& id, const QJsonObject& settleParams)
    {
        const QByteArray reply = std::exchange(aheadOfAnswer, {}) + answer(id, 0);
        const QByteArray events =
            eventLine({{"Event", "GuidingDithered"}, {"dx", dx}, {"dy", dy}}) +
            eventLine({{"Event", "SettleBegin"}}) +
            eventLine({{"Event", "Settling"},
                       {"Distance", 2.5},
                       {"Time", 0.0},
                       {"SettleTime", settleParams.value("time")},
                       {"StarLocked", true}});
        QByteArray done;
        if (settle == Settle::Done)
            done = eventLine(
                {{"Event", "SettleDone"}, {"Status", 0}, {"TotalFrames", 6}, {"DroppedFrames", 0}});
        else if (settle == Settle::Failed)
            done = eventLine({{"Event", "SettleDone"},
                              {"Status", 1},
                              {"Error", settleError},
                              {"TotalFrames", 40},
                              {"DroppedFrames", 2}});

        std::vector<Write> writes;
        if (oneWrite) {
            writes.push_back({0, reply + events + done, !done.isEmpty()});
        } else {
            const qsizetype half = reply.size() / 2;
            if (splitAnswer)
                writes.push_back({0, reply.left(half), false});
            writes.push_back({splitAnswer ? 50 : 0, reply.mid(splitAnswer ? half : 0), false});
            writes.push_back({0, events, false});
            if (!done.isEmpty())
                writes.push_back({settleAfterMs, done, true});
        }
        play(client, std::move(writes), 0);
    }

    // Each write after the one before, with its delay; stops with the client.
    void play(QPointer<QTcpSocket> client, std::vector<Write> writes, std::size_t next)
    {
        if (next >= writes.size() || !client)
            return;
        const int afterMs = writes[next].afterMs;
        auto write = [this, client, writes = std::move(writes), next]() mutable {
            if (!client)
                return;
            client->write(writes[next].bytes);
            client->flush();
            settleDonesSent += writes[next].settleDone ? 1 : 0;
            play(client, std::move(writes), next + 1);
        };
        if (afterMs == 0 && next == 0)
            write();
        else
            QTimer::singleShot(afterMs, client, std::move(write));
    }

    QTcpServer server_;
    quint16 port_ = 0;
    QList<QPointer<QTcpSocket>> clients_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

} // namespace kestrova::test
