// The judge server: answers GET and HEAD with the judge page of the request.
//
// QTcpServer listens and accepts; the accepted connections are plain
// non-blocking descriptors in one epoll set (net::TEpollSet) on the Qt
// event loop. One request per connection: read the head, answer, close. A request that is complete
// when its connection is accepted (the usual case) is answered on the spot without touching the
// epoll set.
//
// Nothing of what a client sends is logged or kept past its answer; the
// server counts answers only. It never looks an address up.
#pragma once

#include "JudgeLimits.h"
#include "net/EpollSet.h"
#include "server/ConnectionServer.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHostAddress>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <array>
#include <list>

namespace judge {

using server::TAdmission;

struct TJudgeConfig
{
    QHostAddress Address = QHostAddress(QHostAddress::LocalHost);
    quint16 Port = 8080; // 0: any free port (tests)
    // Addresses that are the client's whoever asks (level 5 when they show).
    QByteArrayList ClientAddresses;
    // When set, only requests whose query carries token=<Token> are answered.
    QByteArray Token;
    // When set, a request may name its client as client=ADDR&sig=SIGNATURE.
    QByteArray Secret;
    TJudgeLimits Limits;
};

// What the server has answered since it started.
struct TJudgeCounts
{
    quint64 Pages = 0;               // 200 answers
    std::array<quint64, 6> Levels{}; // pages by level (index 1 to 5)
    quint64 BadRequests = 0;         // 400 and 505
    quint64 Forbidden = 0;           // 403: token or signature missing or wrong
    quint64 WrongMethod = 0;         // 405
    quint64 TimedOut = 0;            // 408
    quint64 TooLarge = 0;            // 431: a request or its page too large
    quint64 Busy = 0;                // 503: over the connection cap
    quint64 SourceBusy = 0;          // 503: over the cap of its source address
    quint64 Dropped = 0;             // closed before a whole request came
    bool operator==(const TJudgeCounts &) const = default;
};

class TJudgeServer : public server::TConnectionServer
{
    Q_OBJECT

public:
    explicit TJudgeServer(const TJudgeConfig &config, QObject *parent = nullptr);
    ~TJudgeServer() override;

    // Starts listening; false with the reason in error.
    bool Start(QString *error);
    const TJudgeCounts &Counts() const { return FCounts; }
    const TJudgeConfig &Config() const { return FConfig; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct TConnection;
    using TConnections = std::list<TConnection>;

    void OnReady(void *tag, unsigned events) override;
    void OnSweep() override;
    void Read(TConnection &c);
    void Respond(TConnection &c);
    void Answer(TConnection &c, QByteArray bytes, bool linger);
    void Write(TConnection &c);
    void Drain(TConnection &c);
    void Watch(TConnection &c, unsigned events);
    void Close(TConnection &c);
    int Status(TConnection &c, QByteArray &page, bool &headOnly, bool &linger);

    TJudgeConfig FConfig;
    TJudgeCounts FCounts;
    TConnections FConnections;
};

// One line of counts for a log ("pages 120 (level 1: 3, ...), refused ...").
QByteArray CountsLine(const TJudgeCounts &counts);

} // namespace judge
