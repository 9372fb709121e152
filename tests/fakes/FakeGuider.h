// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "guider/GuidingSettings.h"

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
// line, ended by CR LF; on connecting a greeting of Version, the lock position and AppState in
// one write. Every request is taken for a dither (test_guider pins its method and parameters)
// and answered by its id with result 0, then GuidingDithered, SettleBegin, Settling and
// SettleDone follow as scripted; or with the scripted refusal, an "error" {code, message}. It
// records every request and counts what it did; tests wait on those with QTRY_*. The script's
// fields are read when a client connects or a request arrives.
class FakeGuider {
public:
    enum class Settle { Done, Failed, Never };

    bool greets = true;  // false: accepts and stays silent
    bool answers = true; // false: records requests and never answers them
    QString refusal;     // set: a dither is answered with error code 1 and this message
    Settle settle = Settle::Done;
    int settleAfterMs = 0; // from the dither's answer to its SettleDone
    // The dither's answer written in two parts 50 ms apart, the second with all the settling.
    bool splitAnswer = false;
    QByteArray aheadOfAnswer; // written once, in the same write, ahead of the next dither's answer

    QList<QJsonObject> requests; // as they came
    int accepted = 0;            // connections accepted
    int settleDonesSent = 0;     // SettleDone events written

    FakeGuider()
    {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
        listen();
    }
    ~FakeGuider() { stopListening(); }

    // Port 0 takes a free one; after stopListening(), again on the same port.
    bool listen(quint16 port = 0)
    {
        const bool listening = server_.listen(QHostAddress::LocalHost, port);
        port_ = listening ? server_.serverPort() : port_;
        return listening;
    }
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

    void sendStarLost()
    {
        for (const QPointer<QTcpSocket>& client : clients_)
            if (client)
                client->write(event(R"({"Event":"StarLost","Frame":812,"Time":1234.5,)"
                                    R"("StarMass":410.2,"SNR":3.24,"AvgDist":0.61,"ErrorCode":2,)"
                                    R"("Status":"Star lost - low SNR"})"));
    }

    // An event given as JSON, with the attributes every event carries, as one line.
    static QByteArray event(const char* json)
    {
        return QByteArray(json).chopped(1) +
               R"(,"Timestamp":1765141200.125,"Host":"fakeguider","Inst":1})" + "\r\n";
    }

private:
    static QByteArray line(const QJsonObject& object)
    {
        return QJsonDocument(object).toJson(QJsonDocument::Compact) + "\r\n";
    }
    // Result 0, or the error when code is not 0.
    static QByteArray answer(const QJsonValue& id, int code = 0, const QString& message = {})
    {
        const QJsonValue error = QJsonObject{{"code", code}, {"message", message}};
        return line(
            {{"jsonrpc", "2.0"}, {code ? "error" : "result", code ? error : 0}, {"id", id}});
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
        requests << request;
        const QJsonValue id = request.value("id");
        if (!answers)
            return;
        if (!refusal.isEmpty())
            client->write(answer(id, 1, refusal));
        else
            dither(client, id);
    }

    void dither(QTcpSocket* client, const QJsonValue& id)
    {
        const QByteArray reply = std::exchange(aheadOfAnswer, {}) + answer(id);
        const QByteArray events =
            event(R"({"Event":"GuidingDithered","dx":1.25,"dy":-0.75})") +
            event(R"({"Event":"SettleBegin"})") +
            event(
                R"({"Event":"Settling","Distance":2.5,"Time":0,"SettleTime":10,"StarLocked":true})");
        const QByteArray done =
            settle == Settle::Done
                ? event(R"({"Event":"SettleDone","Status":0,"TotalFrames":6,"DroppedFrames":0})")
            : settle == Settle::Failed
                ? event(R"({"Event":"SettleDone","Status":1,"Error":"Star lost",)"
                        R"("TotalFrames":40,"DroppedFrames":2})")
                : QByteArray();
        if (splitAnswer) // the rest of the answer comes with all the settling, in one read
            play(client, {{0, reply.left(reply.size() / 2)},
                          {50, reply.mid(reply.size() / 2) + events + done}});
        else
            play(client, {{0, reply}, {0, events}, {settleAfterMs, done}});
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
