// The upstream side of a connection: choosing an upstream, connecting, the
// CONNECT or SOCKS handshake, and failing over to the next one.
#include "Connection.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace gateway {

namespace {

QByteArray SystemError(int error)
{
    return QByteArray(std::strerror(error)).toLower();
}

} // namespace

bool TGatewayServer::MayRetry(const TConnection &c) const
{
    // Once a byte of the body went out, or of the answer came, the request
    // cannot be sent again unchanged.
    return !c.Answered && c.BodySent == 0 && int(c.Tried.size()) < FConfig.Tries;
}

void TGatewayServer::StartAttempt(TConnection &c)
{
    const qint64 now = NowMs();
    TUpstreamPtr upstream =
        int(c.Tried.size()) < FConfig.Tries
            ? FRotation.Choose(FPool.Upstreams(), c.Source, c.Target.Host, c.Tried, now)
            : nullptr;
    if (!upstream) {
        if (c.Reason.isEmpty())
            c.Reason = "no upstream left to try";
        ++(c.Target.Tunnel ? FCounts.TunnelsFailed : FCounts.RequestsFailed);
        Answer(c, GatewayAnswer(502, "vexo-gateway: no upstream got through: " + c.Reason), true);
        return;
    }
    if (!c.Tried.empty())
        ++FCounts.Retries;
    c.Tried.push_back(upstream.get());
    ++upstream->InUse;
    c.Upstream = std::move(upstream);
    c.AttemptStart = now;
    c.Deadline = now + FConfig.TimeoutMs;
    c.Answered = false;
    c.HeadSent = false;
    c.HeadLeft = 0;
    c.BodyLeft = c.Target.Tunnel ? -1 : c.Target.BodyLength;
    c.Chunked.reset();
    if (c.BodyLeft < 0 && !c.Target.Tunnel)
        c.Chunked.emplace();
    c.ToUp = TFlow();
    c.ToClient = TFlow();
    c.Response.clear();
    c.ResponseScanner.reset();

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        // Out of descriptors is no fault of the upstream: no bench, no retry.
        --c.Upstream->InUse;
        c.Upstream.reset();
        ++(c.Target.Tunnel ? FCounts.TunnelsFailed : FCounts.RequestsFailed);
        Answer(c, GatewayAnswer(502, "vexo-gateway: " + SystemError(errno)), true);
        return;
    }
    c.Up.Fd = fd;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = c.Upstream->Address;
    address.sin_port = htons(c.Upstream->Port);
    c.Phase = TConnection::Connecting;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        AttemptFailed(c, "cannot connect to the upstream: " + SystemError(errno));
        return;
    }
    Update(c);
}

void TGatewayServer::Connected(TConnection &c, bool failed)
{
    // Writable without an error: the connection is made.
    if (failed) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(c.Up.Fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        AttemptFailed(c, error != 0 ? "cannot connect to the upstream: " + SystemError(error)
                                    : QByteArray("the upstream closed the connection"));
        return;
    }
    const TTarget &t = c.Target;
    switch (c.Upstream->Type) {
    case net::ptHttp:
        if (!t.Tunnel) {
            HandshakeDone(c, {});
            return;
        }
        c.ConnectAnswer = std::make_unique<net::TConnectAnswer>();
        c.ToUp.Pending = ConnectHead(t);
        break;
    case net::ptSocks4:
    case net::ptSocks5: {
        // Version 4 carries an address only; 4A carries the name.
        const auto level = c.Upstream->Type == net::ptSocks5 ? net::TSocksAnswer::TLevel::Socks5
                           : net::HostForm(t.Host) == net::THostForm::IPv4
                               ? net::TSocksAnswer::TLevel::Socks4
                               : net::TSocksAnswer::TLevel::Socks4A;
        c.Socks = std::make_unique<net::TSocksAnswer>(level, t.Host, t.Port);
        c.ToUp.Pending = c.Socks->Start();
        if (c.ToUp.Pending.isEmpty()) {
            // The target cannot be put in a SOCKS message: no upstream's fault.
            c.Reason = c.Socks->Error();
            c.Tried.resize(size_t(FConfig.Tries));
            CloseUpstream(c);
            StartAttempt(c);
            return;
        }
        break;
    }
    }
    c.Phase = TConnection::Handshake;
    Handshake(c);
}

void TGatewayServer::Handshake(TConnection &c)
{
    if (c.ToUp.HasPending()) {
        if (!SendPending(c, c.Up, c.ToUp, false)) {
            AttemptFailed(c, "the upstream closed the connection");
            return;
        }
        if (c.ToUp.HasPending()) {
            Update(c);
            return;
        }
        c.ToUp = TFlow();
    }
    for (;;) {
        if (!c.Up.Readable) {
            Update(c);
            return;
        }
        // No handshake answer is long: small reads keep the tunnel's first
        // bytes after it for the relay.
        char chunk[1024];
        const ssize_t n = ::recv(c.Up.Fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            c.Up.Readable = false;
            continue;
        }
        if (n <= 0) {
            AttemptFailed(c, n == 0 ? QByteArray("the upstream closed the connection")
                                    : "the upstream failed: " + SystemError(errno));
            return;
        }
        if (c.ConnectAnswer) {
            switch (c.ConnectAnswer->Feed(chunk, qint32(n))) {
            case net::TConnectAnswer::TResult::More:
                continue;
            case net::TConnectAnswer::TResult::Failed:
                AttemptFailed(c, "the upstream's answer to CONNECT: " + c.ConnectAnswer->Error());
                return;
            case net::TConnectAnswer::TResult::Done:
                if (!c.ConnectAnswer->Established()) {
                    AttemptFailed(c, "the upstream answered CONNECT with " +
                                         QByteArray::number(c.ConnectAnswer->StatusCode()));
                    return;
                }
                HandshakeDone(c, c.ConnectAnswer->Rest());
                return;
            }
        }
        switch (c.Socks->Feed(chunk, qint32(n))) {
        case net::TSocksAnswer::TResult::More: {
            c.ToUp.Pending = c.Socks->TakeOutput();
            c.ToUp.Sent = 0;
            if (c.ToUp.HasPending()) {
                Handshake(c);
                return;
            }
            continue;
        }
        case net::TSocksAnswer::TResult::Failed:
            AttemptFailed(c, "SOCKS: " + c.Socks->Error());
            return;
        case net::TSocksAnswer::TResult::Done:
            HandshakeDone(c, c.Socks->Rest());
            return;
        }
    }
}

void TGatewayServer::HandshakeDone(TConnection &c, QByteArray rest)
{
    // `rest` is taken by value: it was the answer reader's, which goes now.
    c.ConnectAnswer.reset();
    c.Socks.reset();
    c.Phase = TConnection::Relaying;
    c.ToUp = TFlow();
    c.ToClient = TFlow();
    if (!c.Target.Tunnel) {
        // Through SOCKS the request goes to the target itself, which may
        // already have spoken: that is an answer, read as one.
        c.Response = rest;
        SendRequestHead(c);
        return;
    }
    c.Answered = true;
    c.Request = server::TRequestHead(); // no try after this one: a tunnel holds no head
    c.Upstream->Worked(NowMs() - c.AttemptStart);
    ++FCounts.Tunnels;
    c.Deadline = NowMs() + FConfig.IdleMs;
    c.ToClient.Pending = "HTTP/1.1 200 Connection established\r\n\r\n" + rest;
    c.ToUp.Pending = std::exchange(c.Early, QByteArray());
    c.HeadSent = true;
    Pump(c);
}

void TGatewayServer::SendRequestHead(TConnection &c)
{
    c.ToUp.Pending = UpstreamHead(c.Request, c.Target, c.Upstream->Type == net::ptHttp);
    c.HeadLeft = c.ToUp.Pending.size();
    c.ResponseScanner.emplace(FConfig.Limits);
    Pump(c);
}

void TGatewayServer::AttemptFailed(TConnection &c, const QByteArray &reason)
{
    if (c.Answered) {
        // The client has part of an answer: all that is left is to end it.
        Close(c);
        return;
    }
    if (c.Upstream)
        c.Upstream->Failed(NowMs(), FConfig.CoolDownMs);
    c.Reason = reason;
    const bool retry = MayRetry(c);
    // The body bytes read but not sent go with the next try.
    if (retry && c.HeadSent)
        c.Early = c.ToUp.Pending.sliced(c.ToUp.Sent);
    CloseUpstream(c);
    if (!retry)
        c.Tried.resize(std::max(c.Tried.size(), size_t(FConfig.Tries)));
    StartAttempt(c);
}

} // namespace gateway
