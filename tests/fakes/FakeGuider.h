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

    bool greets = true;  // false: accepts and stays silent
    bool answers = true; // false: records requests and never answers them
    QString refusal;     // set: a dither is answered with error code 1 and this message
    Settle settle = Settle::Done;
    int settleAfterMs = 0; // from the dither's answer to its SettleDone
    QString settleError = QStringLiteral("Timed-out waiting for guider to settle");
    bool splitAnswer = false; // the dither's answer written in two parts, 50 ms apart
    bool oneWrite = false;    // the dither's answer and all its settling events in one write
    // Written once just ahead of the next dither's answer, as an event of an earlier dither that
    // ends just then would be.
    QByteArray aheadOfAnswer;

    QList<QJsonObject> requests; // as they came
    int accepted = 0;            // connections accepted
    int settleDonesSent = 0;     // SettleDone events written

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
        port_ = listening ? server_.serverPort() : port_;
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
        for (const QPointer<QTcpSocket>& client : std::exchange(clients_, {})) {
            if (client) {
                QObject::disconnect(client, nullptr, client, nullptr); // this fake's handlers
                client->disconnectFromHost();
                client->deleteLater();
            }
        }
    }
    int clients() const { return int(clients_.size()); }

    // To every client, exactly as given: for malformed lines and the like.
    void sendRaw(const QByteArray& bytes)
    {
        for (const QPointer<QTcpSocket>& client : clients_)
            if (client)
                client->write(bytes);
    }
    void sendStarLost()
    {
        sendRaw(
            event(R"({"Event":"StarLost","Frame":812,"Time":1234.5,"StarMass":410.2,)"
                  R"("SNR":3.24,"AvgDist":0.61,"ErrorCode":2,"Status":"Star lost - low SNR"})"));
    }

    // An event, given as JSON or as an object, with the attributes every event carries, as one
    // line.
    static QByteArray event(const char* json)
    {
        return event(QJsonDocument::fromJson(json).object());
    }
    static QByteArray event(QJsonObject event)
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
    static QByteArray answer(const QJsonValue& id, const QString& key, const QJsonValue& value)
    {
        return line({{"jsonrpc", "2.0"}, {key, value}, {"id", id}});
    }
    static QByteArray error(const QJsonValue& id, int code, const QString& message)
    {
        return answer(id, "error", QJsonObject{{"code", code}, {"message", message}});
    }

    void accept()
    {
        while (QTcpSocket* client = server_.nextPendingConnection()) {
            ++accepted;
            clients_ << client;
            QObject::connect(client, &QTcpSocket::readyRead, client, [this, client] {
                while (client->canReadLine())
                    request(client, QJsonDocument::fromJson(client->readLine()).object());
            });
            QObject::connect(client, &QTcpSocket::disconnected, client, [this, client] {
                clients_.removeAll(client);
                client->deleteLater();
            });
            if (greets)
                client->write(event(R"({"Event":"Version","PHDVersion":"2.6.13","PHDSubver":"",)"
                                    R"("OverlapSupport":true,"MsgVersion":1})") +
                              event(R"({"Event":"LockPositionSet","X":512.4,"Y":384.9})") +
                              event(R"({"Event":"AppState","State":"Guiding"})"));
        }
    }

    void request(QTcpSocket* client, const QJsonObject& request)
    {
        const QJsonValue id = request.value("id");
        const QJsonObject params = request.value("params").toObject();
        requests << request;
        // What PHD2 needs of a dither: the amount and the three settle numbers; raOnly may be
        // left out.
        const QJsonObject settle = params.value("settle").toObject();
        const bool taken = params.value("amount").isDouble() &&
                           (params.value("raOnly").isBool() || !params.contains("raOnly")) &&
                           settle.value("pixels").isDouble() && settle.value("time").isDouble() &&
                           settle.value("timeout").isDouble();
        if (!answers)
            return;
        if (request.value("method") != "dither")
            client->write(error(id, -32601, "method not found"));
        else if (!taken)
            client->write(error(id, -32602, "invalid params"));
        else if (!refusal.isEmpty())
            client->write(error(id, 1, refusal));
        else
            dither(client, id, settle);
    }

    void dither(QTcpSocket* client, const QJsonValue& id, const QJsonObject& settleParams)
    {
        QByteArray reply = std::exchange(aheadOfAnswer, {}) + answer(id, "result", 0);
        const QByteArray events = event(R"({"Event":"GuidingDithered","dx":1.25,"dy":-0.75})") +
                                  event(R"({"Event":"SettleBegin"})") +
                                  event({{"Event", "Settling"},
                                         {"Distance", 2.5},
                                         {"Time", 0.0},
                                         {"SettleTime", settleParams.value("time")},
                                         {"StarLocked", true}});
        QByteArray done;
        if (settle == Settle::Done)
            done = event(R"({"Event":"SettleDone","Status":0,"TotalFrames":6,"DroppedFrames":0})");
        else if (settle == Settle::Failed)
            done = event({{"Event", "SettleDone"},
                          {"Status", 1},
                          {"Error", settleError},
                          {"TotalFrames", 40},
                          {"DroppedFrames", 2}});
        if (oneWrite)
            return play(client, {{0, reply + events + done}});
        QList<QPair<int, QByteArray>> writes;
        if (splitAnswer)
            writes << qMakePair(0, reply.left(reply.size() / 2));
        writes << qMakePair(splitAnswer ? 50 : 0, reply.mid(splitAnswer ? reply.size() / 2 : 0))
               << qMakePair(0, events) << qMakePair(settleAfterMs, done);
        play(client, writes);
    }

    // Each write after the one before, with its delay; stops with the client.
    void play(QPointer<QTcpSocket> client, QList<QPair<int, QByteArray>> writes)
    {
        if (writes.isEmpty() || !client)
            return;
        const auto [afterMs, bytes] = writes.takeFirst();
        QTimer::singleShot(afterMs, client, [this, client, bytes = bytes, writes] {
            client->write(bytes);
            client->flush();
            settleDonesSent += int(bytes.count("\"Event\":\"SettleDone\""));
            play(client, writes);
        });
    }

    QTcpServer server_;
    quint16 port_ = 0;
    QList<QPointer<QTcpSocket>> clients_;
};

} // namespace kestrova::test
