// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "guider/GuidingSettings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
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

    QList<QByteArray> requests; // the lines as they came, with their ends
    int accepted = 0;           // connections accepted
    int settleDonesSent = 0;    // SettleDone events written

    FakeGuider()
    {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
        listen();
    }

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
    void dropClients() { qDeleteAll(connections()); }
    int clients() const { return int(connections().size()); }

    void sendStarLost()
    {
        for (QTcpSocket* client : connections())
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
    void accept()
    {
        while (QTcpSocket* client = server_.nextPendingConnection()) {
            ++accepted;
            QObject::connect(client, &QTcpSocket::readyRead, client, [this, client] {
                while (client->canReadLine()) {
                    requests << client->readLine();
                    if (answers)
                        answer(client, QJsonDocument::fromJson(requests.last())["id"]);
                }
            });
            QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            if (greets)
                client->write(event(R"({"Event":"Version","PHDVersion":"2.6.13","PHDSubver":"",)"
                                    R"("OverlapSupport":true,"MsgVersion":1})") +
                              event(R"({"Event":"LockPositionSet","X":512.4,"Y":384.9})") +
                              event(R"({"Event":"AppState","State":"Guiding"})"));
        }
    }

    // Result 0 and the settling that follows, or the refusal.
    void answer(QTcpSocket* client, const QJsonValue& id)
    {
        const QJsonObject error{{"code", 1}, {"message", refusal}};
        const QJsonObject message{
            {"jsonrpc", "2.0"},
            {refusal.isEmpty() ? "result" : "error", refusal.isEmpty() ? QJsonValue(0) : error},
            {"id", id}};
        const QByteArray reply = std::exchange(aheadOfAnswer, {}) +
                                 QJsonDocument(message).toJson(QJsonDocument::Compact) + "\r\n";
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
        const qsizetype now = splitAnswer ? reply.size() / 2 : reply.size();
        client->write(reply.left(now));
        if (!refusal.isEmpty())
            return;
        // Split: the rest of the answer comes with all the settling, in one read.
        later(client, splitAnswer ? 50 : 0, reply.mid(now) + events + (splitAnswer ? done : ""));
        if (!splitAnswer)
            later(client, settleAfterMs, done);
    }

    // Written after that delay, unless the client has gone.
    void later(QTcpSocket* client, int afterMs, const QByteArray& bytes)
    {
        QTimer::singleShot(afterMs, client, [this, client, bytes] {
            client->write(bytes);
            settleDonesSent += int(bytes.count("\"Event\":\"SettleDone\""));
        });
    }

    // The open connections, each the server's child until it is deleted.
    QList<QTcpSocket*> connections() const { return server_.findChildren<QTcpSocket*>(); }

    QTcpServer server_;
    quint16 port_ = 0;
};

} // namespace kestrova::test
