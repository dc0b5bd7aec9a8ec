#include "JudgeServer.h"

#include "ClientToken.h"
#include "JudgeLevel.h"
#include "JudgePage.h"
#include "JudgeRequest.h"
#include "net/WSocket.h"

#include <algorithm>
#include <cstring>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace judge {

namespace {

qint64 NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Most requests are a few hundred bytes: one read takes them whole.
constexpr qsizetype ReadChunk = 4096;

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
    : QTcpServer(parent), FConfig(config),
      FAdmission(config.Limits.Connections, config.Limits.SourceCap()),
      FReady([this](void *tag, unsigned) { OnReady(tag); })
{
    const TJudgeLimits &l = FConfig.Limits;
    const int shortest = std::min({l.ReadTimeout, l.WriteTimeout, l.Linger});
    FSweep.setInterval(std::clamp(shortest / 4, 5, 250));
    connect(&FSweep, &QTimer::timeout, this, &TJudgeServer::OnSweep);
    // Out of descriptors, QTcpServer stops accepting; try again shortly
    // rather than never.
    FResume.setSingleShot(true);
    FResume.setInterval(100);
    connect(&FResume, &QTimer::timeout, this, &TJudgeServer::resumeAccepting);
    connect(this, &QTcpServer::acceptError, this, [this] { FResume.start(); });
}

TJudgeServer::~TJudgeServer()
{
    for (TConnection &c : FConnections)
        ::close(c.Fd);
}

bool TJudgeServer::Start(QString *error)
{
    if (!FReady.Open(error))
        return false;
    setListenBacklogSize(ListenBacklog);
    if (!listen(FConfig.Address, FConfig.Port)) {
        *error = errorString();
        return false;
    }
    FSweep.start();
    return true;
}

void TJudgeServer::incomingConnection(qintptr descriptor)
{
    const int fd = int(descriptor);
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const bool known = ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) == 0 &&
                       peer.sin_family == AF_INET;
    const quint32 source = known ? peer.sin_addr.s_addr : 0;
    bool bySource = false;
    const TAdmission::TVerdict verdict = FAdmission.Admit(source, &bySource);
    if (verdict != TAdmission::Serve)
        ++(bySource ? FCounts.SourceBusy : FCounts.Busy);
    if (verdict == TAdmission::Drop) {
        ::close(fd);
        return;
    }
    int nonBlocking = 1;
    ::ioctl(fd, FIONBIO, &nonBlocking);
    FConnections.emplace_back(fd, FConfig.Limits);
    TConnection &c = FConnections.back();
    c.Self = std::prev(FConnections.end());
    c.Admitted = verdict;
    c.Source = source;
    if (known) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        c.Peer = text;
        c.PeerPort = ntohs(peer.sin_port);
    }
    if (verdict == TAdmission::Refuse) {
        Answer(c, ErrorResponse(503), true);
        return;
    }
    c.Deadline = NowMs() + FConfig.Limits.ReadTimeout;
    Read(c);
}

void TJudgeServer::OnReady(void *tag)
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
    const TJudgeLimits &l = FConfig.Limits;
    for (;;) {
        // One byte over the limit is enough to know it is over. Read on the
        // stack: a connection that waits for its request holds no buffer.
        char chunk[ReadChunk];
        const qsizetype room = std::min(ReadChunk, l.HeaderBytes + 1 - c.In.size());
        const ssize_t n = ::recv(c.Fd, chunk, size_t(room), 0);
        if (n > 0) {
            c.In.append(chunk, n);
            switch (c.Scanner.Scan(c.In)) {
            case THeadScanner::Complete:
                Respond(c);
                return;
            case THeadScanner::TooLarge:
                ++FCounts.TooLarge;
                Answer(c, ErrorResponse(431), true);
                return;
            case THeadScanner::Incomplete:
                continue;
            }
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            Watch(c, EPOLLIN);
            return;
        }
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
    while (c.Sent < c.Out.size()) {
        const ssize_t n =
            ::send(c.Fd, c.Out.constData() + c.Sent, size_t(c.Out.size() - c.Sent), MSG_NOSIGNAL);
        if (n > 0) {
            c.Sent += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            Watch(c, EPOLLOUT);
            return;
        } else {
            Close(c);
            return;
        }
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
    char sink[ReadChunk];
    for (;;) {
        const ssize_t n = ::recv(c.Fd, sink, sizeof sink, 0);
        if (n > 0) {
            c.Drained += n;
            if (c.Drained > MaxLingerBytes)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            Watch(c, EPOLLIN);
            return;
        }
        break;
    }
    Close(c);
}

void TJudgeServer::Watch(TConnection &c, unsigned events)
{
    if (!FReady.Watch(c.Fd, &c, events, c.Events))
        Close(c);
}

void TJudgeServer::Close(TConnection &c)
{
    // Closing the only descriptor also takes it out of the epoll set.
    FReady.Drop(&c);
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
