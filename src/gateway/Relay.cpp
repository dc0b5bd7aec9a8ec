// The bytes of a connection both ways once its upstream leads to the target:
// the request head, the body as the client sends it, the answer (its head
// rewritten for the client) or the tunnel's bytes.
//
// Each direction reads only when what it read last has gone out, so a slow
// reader on one side holds back the other side instead of filling memory.
// The end of one direction is passed on as a half-close; the connection ends
// when both have ended, or, for a request, once the answer has ended.
#include "Connection.h"

#include "server/ConnectionIo.h"

#include <cerrno>
#include <sys/socket.h>

namespace gateway {

bool TGatewayServer::SendPending(TConnection &c, TEnd &to, TFlow &flow, bool up)
{
    if (flow.HasPending() && !to.Writable)
        return true; // the set tells when it takes more
    const qsizetype before = flow.Sent;
    const server::TSend result = server::SendBytes(to.Fd, flow.Pending, flow.Sent);
    if (result == server::TSend::Wait)
        to.Writable = false;
    if (up) {
        const qsizetype n = flow.Sent - before;
        const qsizetype head = std::min(n, c.HeadLeft);
        c.HeadLeft -= head;
        c.BodySent += n - head;
    }
    if (result == server::TSend::Done) {
        flow.Pending.clear();
        flow.Sent = 0;
    }
    return result != server::TSend::Failed;
}

// Cuts what the client sent down to what is left of the body; false when a
// chunked body's framing is broken.
bool TGatewayServer::KeepBody(TConnection &c, QByteArray &bytes)
{
    if (c.BodyLeft >= 0) {
        bytes.truncate(c.BodyLeft);
        c.BodyLeft -= bytes.size();
        return true;
    }
    if (!c.Chunked)
        return true;
    qsizetype used = 0;
    switch (c.Chunked->Feed(bytes, used)) {
    case TChunkedBody::More:
        return true;
    case TChunkedBody::Done:
        bytes.truncate(used);
        c.BodyLeft = 0;
        c.Chunked.reset();
        return true;
    case TChunkedBody::Bad:
        return false;
    }
    return false;
}

TGatewayServer::TFlowResult TGatewayServer::Flow(TConnection &c, TEnd &from, TEnd &to, TFlow &flow,
                                                 bool up)
{
    // A few reads per wake-up, so that one busy connection does not keep
    // the others waiting.
    for (int round = 0; round < 4; ++round) {
        if (!SendPending(c, to, flow, up))
            return TFlowResult::TargetFailed;
        if (flow.HasPending())
            return TFlowResult::Ok;
        if (up && !c.HeadSent) {
            c.HeadSent = true;
            if (c.Continue && c.BodyLeft != 0)
                c.ToClient.Pending += "HTTP/1.1 100 Continue\r\n\r\n";
            flow.Pending = std::exchange(c.Early, QByteArray());
            if (!KeepBody(c, flow.Pending))
                return TFlowResult::SourceFailed;
            continue;
        }
        if (up && c.BodyLeft == 0)
            return TFlowResult::Ok; // the whole body went: the client has nothing more to say
        if (flow.Eof) {
            if (!flow.Shut) {
                // The end of a request's answer is passed on by ending the
                // client's connection.
                if (up || c.Target.Tunnel)
                    ::shutdown(to.Fd, SHUT_WR);
                flow.Shut = true;
            }
            return TFlowResult::Ok;
        }
        if (!from.Readable)
            return TFlowResult::Ok;
        char chunk[RelayChunk];
        const qint64 room =
            up && c.BodyLeft >= 0 ? std::min<qint64>(RelayChunk, c.BodyLeft) : qint64(RelayChunk);
        const ssize_t n = ::recv(from.Fd, chunk, size_t(room), 0);
        if (n > 0) {
            flow.Pending = QByteArray(chunk, n);
            if (up && !KeepBody(c, flow.Pending))
                return TFlowResult::SourceFailed;
            (up ? FCounts.BytesUp : FCounts.BytesDown) += quint64(n);
            flow.Sent = 0;
            if (c.Answered)
                c.Deadline = NowMs() + FConfig.IdleMs;
            continue;
        }
        if (n == 0) {
            flow.Eof = true;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            from.Readable = false;
            return TFlowResult::Ok;
        }
        return TFlowResult::SourceFailed;
    }
    // More may be waiting, and the set will not say so again.
    Again(c);
    return TFlowResult::Ok;
}

bool TGatewayServer::ReadResponseHead(TConnection &c)
{
    for (;;) {
        // The answer may have begun with the handshake's last bytes.
        server::THeadRead read = server::THeadRead::Wait;
        const auto scanned = c.Response.isEmpty() ? server::THeadScanner::Incomplete
                                                  : c.ResponseScanner->Scan(c.Response);
        if (scanned == server::THeadScanner::Complete)
            read = server::THeadRead::Complete;
        else if (scanned == server::THeadScanner::TooLarge)
            read = server::THeadRead::TooLarge;
        else if (c.ToClient.HasPending())
            return true; // an interim answer to pass on first
        else if (c.Up.Readable)
            read = server::ReadHead(c.Up.Fd, c.Response, *c.ResponseScanner);
        if (read == server::THeadRead::Wait)
            c.Up.Readable = false;
        switch (read) {
        case server::THeadRead::Wait:
            return true;
        case server::THeadRead::Closed:
            AttemptFailed(c, "the upstream closed the connection without answering");
            return false;
        case server::THeadRead::TooLarge:
            AttemptFailed(c, "the upstream's answer header is too large");
            return false;
        case server::THeadRead::Complete:
            break;
        }
        const qsizetype size = c.ResponseScanner->HeadSize();
        const QByteArrayView head = QByteArrayView(c.Response).first(size);
        const int status = ResponseStatus(head);
        const QByteArray forClient = ClientResponseHead(head);
        if (forClient.isEmpty()) {
            AttemptFailed(c, "the upstream's answer is not HTTP");
            return false;
        }
        if (status == 407) {
            AttemptFailed(c, "the upstream asks for credentials");
            return false;
        }
        FCounts.BytesDown += quint64(size);
        if (status < 200) {
            // An interim answer goes on as it came; the final one follows.
            c.ToClient.Pending += head.toByteArray();
            c.Response.remove(0, size);
            c.ResponseScanner.emplace(FConfig.Limits);
            continue;
        }
        c.Answered = true;
        c.Request = server::TRequestHead(); // no try after this one
        c.Upstream->Worked(NowMs() - c.AttemptStart);
        ++FCounts.Requests;
        FCounts.BytesDown += quint64(c.Response.size() - size);
        c.ToClient.Pending += forClient + c.Response.sliced(size);
        c.Response = QByteArray();
        c.ResponseScanner.reset();
        c.Deadline = NowMs() + FConfig.IdleMs;
        return true;
    }
}

void TGatewayServer::Pump(TConnection &c)
{
    const bool unanswered = !c.Answered;
    switch (Flow(c, c.Client, c.Up, c.ToUp, true)) {
    case TFlowResult::Ok:
        break;
    case TFlowResult::SourceFailed:
        Close(c);
        return;
    case TFlowResult::TargetFailed:
        if (!c.Answered) {
            AttemptFailed(c, "the upstream closed the connection");
            return;
        }
        // The upstream has answered and takes no more: the rest of the
        // body goes nowhere, the answer still goes to the client.
        c.ToUp = TFlow();
        c.ToUp.Eof = c.ToUp.Shut = true;
        break;
    }
    if (unanswered && c.BodySent > 0)
        c.Deadline = NowMs() + FConfig.TimeoutMs; // the upload is under way
    if (!c.Answered) {
        if (!ReadResponseHead(c))
            return;
        if (!c.Answered) {
            if (!SendPending(c, c.Client, c.ToClient, false)) {
                Close(c);
                return;
            }
            Update(c);
            return;
        }
    }
    switch (Flow(c, c.Up, c.Client, c.ToClient, false)) {
    case TFlowResult::Ok:
        break;
    case TFlowResult::SourceFailed:
    case TFlowResult::TargetFailed:
        Close(c);
        return;
    }
    if (c.ToClient.Shut && !c.Target.Tunnel) {
        // The answer has ended: the request is done, whatever the client
        // still sends.
        Finish(c);
        return;
    }
    if (c.ToClient.Shut && c.ToUp.Shut) {
        Close(c);
        return;
    }
    Update(c);
}

} // namespace gateway
