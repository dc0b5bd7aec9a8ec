// The gateway: an HTTP proxy on one local address that sends each request or
// CONNECT tunnel out through an upstream proxy of the pool.
//
// QTcpServer listens and accepts; each connection is a pair of plain
// non-blocking descriptors (the client's and the upstream's) in one epoll set
// (net::TEpollSet) on the Qt event loop, each added once for both directions,
// edge-triggered, so that a connection's steps cost no further calls to
// change what is watched. A connection carries one request or
// one tunnel. The head of the request is read within the limits every server
// of Vexo keeps (server/ServerLimits.h); bodies and tunnel bytes are relayed
// as they come, never held whole: at most one read's worth waits for a slow
// reader, and nothing more is read from the other side meanwhile.
//
// An upstream that refuses, times out, closes without answering, or answers a
// CONNECT (or a request) with 407 or a CONNECT with anything but 2xx, is
// benched and the request goes through the next one, as long as nothing of
// the request's body has gone out; after the last try the client gets 502
// naming the reason. An empty pool gives 503 at once.
//
// Nothing of what a client sends, nor any address, is logged or kept past
// the connection; the server keeps counts only.
#pragma once

#include "GatewayCounts.h"
#include "Pool.h"
#include "ProxyAuth.h"
#include "Rotation.h"

#include "server/ConnectionServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>

#include <list>
#include <vector>

namespace gateway {

// How long a tunnel, or a request whose answer has begun, may pass no byte
// either way before it is closed.
inline constexpr int IdleTimeoutMs = 5 * 60 * 1000;
// How long a stop lets the tunnels and requests under way finish.
inline constexpr int StopGraceMs = 10 * 1000;

struct TGatewayConfig
{
    QHostAddress Address = QHostAddress(QHostAddress::LocalHost);
    quint16 Port = 8899; // 0: any free port (tests)
    // The status address; Null: none.
    QHostAddress AdminAddress;
    quint16 AdminPort = 8898;
    TRotate Rotate = TRotate::RoundRobin;
    int StickyMs = 10 * 60 * 1000;
    int TimeoutMs = 10000; // to connect and to be answered, per try
    int Tries = 3;
    int CoolDownMs = gateway::CoolDownMs;
    int IdleMs = IdleTimeoutMs;
    // Clients must bring one of these credentials; empty: anyone on the
    // address may use the gateway (only allowed on loopback).
    TProxyAuth Auth;
    server::TServerLimits Limits;
};

class TGatewayServer : public server::TConnectionServer
{
    Q_OBJECT

public:
    explicit TGatewayServer(const TGatewayConfig &config, QObject *parent = nullptr);
    ~TGatewayServer() override;

    // Starts listening (and the status address, when set); false with the
    // reason in error.
    bool Start(QString *error);
    quint16 AdminPort() const;

    TPool &Pool() { return FPool; }
    const TGatewayCounts &Counts() const { return FCounts; }
    const TGatewayConfig &Config() const { return FConfig; }

    // Stops taking connections, closes those that carry nothing yet, and
    // emits stopped once the rest have ended, or after `graceMs` at most.
    void Stop(int graceMs = StopGraceMs);

    // The answers of the status address.
    QByteArray StatusJson() const;
    QByteArray PoolJson() const;

Q_SIGNALS:
    void stopped();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct TConnection;
    struct TEnd;
    struct TFlow;
    using TConnections = std::list<TConnection>;
    enum class TFlowResult { Ok, SourceFailed, TargetFailed };

    void Accept(int fd, bool admin);
    void OnReady(void *tag, unsigned events) override;
    void OnSweep() override;
    void ReadHead(TConnection &c);
    void Dispatch(TConnection &c);
    void AnswerAdmin(TConnection &c);
    void Answer(TConnection &c, QByteArray bytes, bool linger);
    void WriteAnswer(TConnection &c);
    void Linger(TConnection &c);
    // The answer to a request has gone: the client's connection ends.
    void Finish(TConnection &c);
    void Drain(TConnection &c);
    // Both sides in the epoll set; false when epoll refused and the
    // connection was closed.
    bool Update(TConnection &c);
    bool WatchEnd(TConnection &c, TEnd &end);
    // A connection that stopped relaying to give the others their turn
    // goes on once the loop has looked at the rest.
    void Again(TConnection &c);
    void RunAgain();
    void CloseUpstream(TConnection &c);
    void Close(TConnection &c);
    void CheckStopped();

    // Upstream.cpp: choosing, connecting, the handshake, failing over.
    void StartAttempt(TConnection &c);
    void Connected(TConnection &c, bool failed);
    void Handshake(TConnection &c);
    void HandshakeDone(TConnection &c, QByteArray rest);
    void SendRequestHead(TConnection &c);
    void AttemptFailed(TConnection &c, const QByteArray &reason);
    bool MayRetry(const TConnection &c) const;

    // Relay.cpp: the bytes both ways.
    void Pump(TConnection &c);
    TFlowResult Flow(TConnection &c, TEnd &from, TEnd &to, TFlow &flow, bool up);
    bool SendPending(TConnection &c, TEnd &to, TFlow &flow, bool up);
    bool ReadResponseHead(TConnection &c);
    bool KeepBody(TConnection &c, QByteArray &bytes);

    TGatewayConfig FConfig;
    TGatewayCounts FCounts;
    TConnections FConnections;
    TPool FPool;
    TRotation FRotation;
    QTcpServer *FAdmin = nullptr;
    QTimer FGrace;
    QTimer FAgainTimer;
    std::vector<TConnection *> FAgain;
    std::vector<TConnection *> *FAgainRunning = nullptr;
    bool FStopping = false;
};

} // namespace gateway
