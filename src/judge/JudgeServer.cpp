#include "JudgeServer.h"

#include "ClientToken.h"
#include "JudgeLevel.h"
#include "JudgePage.h"
#include "JudgeRequest.h"
#include "net/WSocket.h"
#include "server/ConnectionIo.h"

#include <algorithm>

#include <chrono>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace judge {

namespace {

qint64 NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

struct TJudgeServer::TConnection
{
    enum TPhase { Reading, Writing, Lingering };

    TConnection(int fd, const TJudgeLimits &limits) : Fd(fd), Scanner(limits) {}

    int Fd;
    TPhase Phase = Reading;
    TAdmission::TVerdict Admitted = TAdmission::Serve; // or Refuse, being told so
    quint32 Source = 0;  // the peer's address, as the admission counts it
    unsigned Events = 0; // what epoll watches for; 0 before it was added
    qint64 Deadline = 0;
    QByteArray In;
    THeadScanner Scanner;
    QByteArray Out;
    qsizetype Sent = 0;
    qsizetype Drained = 0;
    bool LingerAfter = false;
    QByteArray Peer; // dotted address the connection came from
    quint16 PeerPort = 0;
    TConnections::iterator Self;
};

TJudgeServer::TJudgeServer(const TJudgeConfig &config, QObject *parent)
    : TConnectionServer(
          config.Limits,
          std::min({config.Limits.ReadTimeout, config.Limits.WriteTimeout, config.Limits.Linger}),
          parent),
      FConfig(config)
{
}

TJudgeServer::~TJudgeServer()
{
    for (TConnection &c : FConnections)
        ::close(c.Fd);
}

bool TJudgeServer::Start(QString *error)
{
    return Listen(FConfig.Address, FConfig.Port, error);
}

void TJudgeServer::incomingConnection(qintptr descriptor)
{
    const int fd = int(descriptor);
    server::TPeer peer;
    bool bySource = false;
    const TAdmission::TVerdict verdict = Admit(fd, peer, bySource);
    if (verdict != TAdmission::Serve)
        ++(bySource ? FCounts.SourceBusy : FCounts.Busy);
    if (verdict == TAdmission::Drop)
        return;
    FConnections.emplace_back(fd, FConfig.Limits);
    TConnection &c = FConnections.back();
    c.Self = std::prev(FConnections.end());
    c.Admitted = verdict;
    c.Source = peer.Source;
    c.Peer = peer.Dotted;
    c.PeerPort = peer.Port;
    if (verdict == TAdmission::Refuse) {
        Answer(c, ErrorResponse(503), true);
        return;
    }
    c.Deadline = NowMs() + FConfig.Limits.ReadTimeout;
    Read(c);
}

void TJudgeServer::OnReady(void *tag, unsigned)
{
    TConnection &c = *static_cast<TConnection *>(tag);
    switch (c.Phase) {
    case TConnection::Reading:
        Read(c);
        break;
    case TConnection::Writing:
        Write(c);
        break;
    case TConnection::Lingering:
        Drain(c);
        break;
    }
}

void TJudgeServer::OnSweep()
{
    const qint64 now = NowMs();
    for (auto it = FConnections.begin(); it != FConnections.end();) {
        TConnection &c = *it++;
        if (now < c.Deadline)
            continue;
        if (c.Phase == TConnection::Reading) {
            ++FCounts.TimedOut;
            Answer(c, ErrorResponse(408), true);
        } else {
            Close(c);
        }
    }
}

void TJudgeServer::Read(TConnection &c)
{
    switch (server::ReadHead(c.Fd, c.In, c.Scanner)) {
    case server::THeadRead::Complete:
        Respond(c);
        return;
    case server::THeadRead::TooLarge:
        ++FCounts.TooLarge;
        Answer(c, ErrorResponse(431), true);
        return;
    case server::THeadRead::Wait:
        Watch(c, EPOLLIN);
        return;
    case server::THeadRead::Closed:
        // The end of the stream, or an error, before a whole request.
        ++FCounts.Dropped;
        Close(c);
        return;
    }
}

int TJudgeServer::Status(TConnection &c, QByteArray &page, bool &headOnly, bool &linger)
{
    const qsizetype headSize = c.Scanner.HeadSize();
    // Bytes after the head would be left unread by a plain close.
    linger = c.In.size() > headSize;
    TRequestHead request;
    if (const int status = ParseRequestHead(QByteArrayView(c.In).first(headSize), request)) {
        linger = true;
        return status;
    }
    headOnly = request.Method == "HEAD";
    linger = linger || request.HasBody;
    if (request.Method != "GET" && !headOnly) {
        linger = true;
        return 405;
    }
    if (!FConfig.Token.isEmpty() && !SameBytes(QueryValue(request.Target, "token"), FConfig.Token))
        return 403;
    QByteArrayList clients = FConfig.ClientAddresses;
    bool hasClient = false, hasSig = false;
    const QByteArray client = QueryValue(request.Target, "client", &hasClient);
    const QByteArray sig = QueryValue(request.Target, "sig", &hasSig);
    if (hasClient || hasSig) {
        // A signature that does not hold (or a judge without a secret) is
        // refused rather than ignored: the level would silently be wrong.
        QByteArray dotted;
        if (!net::WSocketIsDottedIP(client, &dotted) || dotted != client ||
            !VerifyClient(FConfig.Secret, client, sig))
            return 403;
        clients.append(client);
    }
    const TAnonyLevel level = JudgeLevel(request.Headers, c.Peer, clients);
    page = JudgePage(request, c.Peer, c.PeerPort, level, FConfig.Limits.PageBytes);
    if (page.isEmpty())
        return 431;
    ++FCounts.Levels[level];
    return 200;
}

void TJudgeServer::Respond(TConnection &c)
{
    QByteArray page;
    bool headOnly = false, linger = false;
    const int status = Status(c, page, headOnly, linger);
    c.In = QByteArray(); // nothing of the request is kept past here
    switch (status) {
    case 200:
        ++FCounts.Pages;
        Answer(c, Response(200, "text/html", page, headOnly), linger);
        return;
    case 403:
        ++FCounts.Forbidden;
        break;
    case 431:
        ++FCounts.TooLarge;
        break;
    case 405:
        ++FCounts.WrongMethod;
        break;
    default:
        ++FCounts.BadRequests;
    }
    Answer(c, ErrorResponse(status, headOnly), linger);
}

void TJudgeServer::Answer(TConnection &c, QByteArray bytes, bool linger)
{
    c.Phase = TConnection::Writing;
    c.Out = std::move(bytes);
    c.Sent = 0;
    c.LingerAfter = linger;
    c.Deadline = NowMs() + FConfig.Limits.WriteTimeout;
    Write(c);
}

void TJudgeServer::Write(TConnection &c)
{
    switch (server::SendBytes(c.Fd, c.Out, c.Sent)) {
    case server::TSend::Done:
        break;
    case server::TSend::Wait:
        Watch(c, EPOLLOUT);
        return;
    case server::TSend::Failed:
        Close(c);
        return;
    }
    if (!c.LingerAfter) {
        Close(c);
        return;
    }
    // Half-close, then drop what the client still sends until it closes too.
    c.Out = QByteArray();
    c.Phase = TConnection::Lingering;
    c.Deadline = NowMs() + FConfig.Limits.Linger;
    ::shutdown(c.Fd, SHUT_WR);
    Drain(c);
}

void TJudgeServer::Drain(TConnection &c)
{
    if (server::DrainInput(c.Fd, c.Drained))
        Watch(c, EPOLLIN);
    else
        Close(c);
}

void TJudgeServer::Watch(TConnection &c, unsigned events)
{
    if (!FReady.Watch(c.Fd, &c, events, c.Events))
        Close(c);
}

void TJudgeServer::Close(TConnection &c)
{
    // Out of the set before the close: a child process started at this
    // moment may hold a copy of the descriptor until it runs its program,
    // and the set would report the copy's events under a freed tag.
    FReady.Forget(c.Fd, &c, c.Events);
    ::close(c.Fd);
    FAdmission.Release(c.Source, c.Admitted);
    FConnections.erase(c.Self);
}

QByteArray CountsLine(const TJudgeCounts &counts)
{
    QByteArray line = "pages " + QByteArray::number(counts.Pages) + " (";
    for (int level = alNoProxy; level <= alClientShown; ++level) {
        line += "level " + QByteArray::number(level) + ": " +
                QByteArray::number(counts.Levels[level]) + (level < alClientShown ? ", " : ")");
    }
    const struct
    {
        const char *Name;
        quint64 Count;
    } refused[] = {
        {"400", counts.BadRequests},
        {"403", counts.Forbidden},
        {"405", counts.WrongMethod},
        {"408", counts.TimedOut},
        {"431", counts.TooLarge},
        {"503", counts.Busy},
        {"503 per source", counts.SourceBusy},
    };
    line += ", refused";
    for (const auto &r : refused)
        line += QByteArray(" ") + r.Name + ": " + QByteArray::number(r.Count);
    line += ", dropped " + QByteArray::number(counts.Dropped);
    return line;
}

} // namespace judge
