// What the gateway sends on: the target of a client's request, the request
// head for the upstream, and the response head for the client.
//
// Hop-by-hop headers (Connection and the headers it names, Proxy-Connection,
// Keep-Alive, Proxy-Authorization, TE, Upgrade) belong to one connection and
// never go on; the gateway's own Expect handling answers 100 itself. Each
// connection carries one request: "Connection: close" goes both ways.
#pragma once

#include "server/RequestHead.h"

#include <QByteArray>
#include <QByteArrayView>

namespace gateway {

struct TTarget
{
    bool Tunnel = false; // CONNECT host:port
    QByteArray Host;     // name, dotted IPv4 or bracketed IPv6
    quint16 Port = 80;
    QByteArray Authority; // "host:port" as the client wrote it
    QByteArray Path;      // origin form: "/a?b"
    // The request body's length: Content-Length, 0 without one, -1 when
    // chunked (it ends where the client's stream says).
    qint64 BodyLength = 0;
};

// The target of a parsed request: CONNECT host:port, or an absolute http://
// address. 0, or the status to answer: 400 for a malformed target or framing
// (Content-Length and Transfer-Encoding together, two lengths that differ),
// 501 for another scheme; a Content-Length that is not a number: 400.
int TargetOf(const server::TRequestHead &request, TTarget &target);

// Whether the client waits for "100 Continue" before its body.
bool ExpectsContinue(const server::TRequestHead &request);

// The request head for an HTTP upstream (`absolute`: the target as an
// absolute address) or for the target itself through a SOCKS upstream.
QByteArray UpstreamHead(const server::TRequestHead &request, const TTarget &target, bool absolute);

// "CONNECT host:port HTTP/1.1" with its Host line, for an HTTP upstream.
QByteArray ConnectHead(const TTarget &target);

// A complete response head from the upstream, for the client: the status
// line as it came, the end-to-end headers, "Connection: close". Empty when
// it is not a response head.
QByteArray ClientResponseHead(QByteArrayView head);

// The status of a response head's first line, 0 when there is none.
int ResponseStatus(QByteArrayView head);

// A whole answer of the gateway's own: status line, a short text body.
QByteArray GatewayAnswer(int status, QByteArrayView text, QByteArrayView extraHeaders = {});

} // namespace gateway
