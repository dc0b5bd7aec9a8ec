// One client connection of the gateway and its upstream connection, shared
// by the files of TGatewayServer (the head, the upstream, the relay).
#pragma once

#include "ChunkedBody.h"
#include "Forwarding.h"
#include "GatewayServer.h"

#include "net/ConnectAnswer.h"
#include "net/SocksAnswer.h"
#include "server/RequestHead.h"

#include <chrono>
#include <memory>
#include <optional>

namespace gateway {

inline qint64 NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// One read: large enough for a fast relay, small enough to sit on the stack.
inline constexpr qsizetype RelayChunk = 64 * 1024;

// One side's descriptor. It is watched once for both directions,
// edge-triggered: the set reports a change once, so what it said stays in
// Readable and Writable until a read or a write finds nothing more to do.
// Nothing is read or written while its flag is down.
struct TGatewayServer::TEnd
{
    TConnection *Conn = nullptr;
    int Fd = -1;
    unsigned Events = 0; // what epoll watches for; 0: not in the set
    bool Readable = false;
    bool Writable = false;
};

// Bytes on their way to one side: what the last read left unsent, and
// whether the other side has ended (and that end been passed on).
struct TGatewayServer::TFlow
{
    QByteArray Pending;
    qsizetype Sent = 0;
    bool Eof = false;
    bool Shut = false;
    bool HasPending() const { return Sent < Pending.size(); }
};

struct TGatewayServer::TConnection
{
    enum TPhase { Head, Connecting, Handshake, Relaying, Answering, Lingering };

    TConnection(int fd, const server::TServerLimits &limits) : Scanner(limits)
    {
        Client.Conn = this;
        Client.Fd = fd;
        Client.Writable = true;
        Up.Conn = this;
    }

    TEnd Client, Up;
    TPhase Phase = Head;
    bool Admin = false; // a connection to the status address
    server::TAdmission::TVerdict Admitted = server::TAdmission::Serve;
    quint32 Source = 0;
    qint64 Deadline = 0;

    // The request.
    QByteArray In;
    server::THeadScanner Scanner;
    server::TRequestHead Request;
    TTarget Target;
    QByteArray Early; // bytes after the head, read with it: the body's start
    bool Continue = false;

    // The upstream of the try under way, and those tried before.
    TUpstreamPtr Upstream;
    std::vector<const TUpstream *> Tried;
    QByteArray Reason; // why the last try failed
    qint64 AttemptStart = 0;
    std::unique_ptr<net::TConnectAnswer> ConnectAnswer;
    std::unique_ptr<net::TSocksAnswer> Socks;
    qsizetype HeadLeft = 0; // bytes of the request head not yet sent
    bool HeadSent = false;
    // Body bytes still to read from the client (-1: until it stops); bytes
    // after the body are no part of this request and never go upstream.
    qint64 BodyLeft = -1;
    std::optional<TChunkedBody> Chunked; // the chunked body's end, while it comes
    qint64 BodySent = 0;
    bool Answered = false; // the answer began, or the tunnel opened
    QByteArray Response;   // the upstream's answer head, while it comes
    std::optional<server::THeadScanner> ResponseScanner;

    TFlow ToUp, ToClient;
    qsizetype Drained = 0;
    bool LingerAfter = false;
    bool Again = false; // waits in FAgain to go on relaying
    TConnections::iterator Self;
};

} // namespace gateway
