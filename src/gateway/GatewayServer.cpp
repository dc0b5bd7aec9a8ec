#include "Connection.h"

#include "server/ConnectionIo.h"

#include <algorithm>
#include <cerrno>

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace gateway {

namespace {

// The status address: its connections are served by the gateway's own loop.
class TAdminListener : public QTcpServer
{
public:
    TAdminListener(std::function<void(int)> accept, QObject *parent)
        : QTcpServer(parent), FAccept(std::move(accept))
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override { FAccept(int(descriptor)); }

private:
    std::function<void(int)> FAccept;
};

const char *const ProxyAuthenticate = "Proxy-Authenticate: Basic realm=\"vexo-gateway\"\r\n";

} // namespace

TGatewayServer::TGatewayServer(const TGatewayConfig &config, QObject *parent)
    : TConnectionServer(config.Limits,
                        std::min({config.Limits.ReadTimeout, config.Limits.WriteTimeout,
                                  config.Limits.Linger, config.TimeoutMs}),
                        parent),
      FConfig(config), FRotation(config.Rotate, config.StickyMs)
{
    FAgainTimer.setSingleShot(true);
    FAgainTimer.setInterval(0);
    connect(&FAgainTimer, &QTimer::timeout, this, &TGatewayServer::RunAgain);
    FGrace.setSingleShot(true);
    connect(&FGrace, &QTimer::timeout, this, [this] {
        while (!FConnections.empty())
            Close(FConnections.front());
        CheckStopped();
    });
}

TGatewayServer::~TGatewayServer()
{
    for (TConnection &c : FConnections) {
        ::close(c.Client.Fd);
        if (c.Up.Fd >= 0)
            ::close(c.Up.Fd);
        if (c.Upstream)
            --c.Upstream->InUse;
    }
}

bool TGatewayServer::Start(QString *error)
{
    if (!Listen(FConfig.Address, FConfig.Port, error))
        return false;
    if (!FConfig.AdminAddress.isNull()) {
        FAdmin = new TAdminListener([this](int fd) { Accept(fd, true); }, this);
        if (!FAdmin->listen(FConfig.AdminAddress, FConfig.AdminPort)) {
            *error = QStringLiteral("status address: ") + FAdmin->errorString();
            close();
            return false;
        }
    }
    return true;
}

quint16 TGatewayServer::AdminPort() const
{
    return FAdmin ? FAdmin->serverPort() : 0;
}

void TGatewayServer::incomingConnection(qintptr descriptor)
{
    Accept(int(descriptor), false);
}

void TGatewayServer::Accept(int fd, bool admin)
{
    if (FStopping) {
        ::close(fd);
        return;
    }
    server::TPeer peer;
    bool bySource = false;
    const auto verdict = Admit(fd, peer, bySource);
    if (verdict != server::TAdmission::Serve)
        ++(bySource ? FCounts.SourceBusy : FCounts.Busy);
    if (verdict == server::TAdmission::Drop)
        return;
    FConnections.emplace_back(fd, FConfig.Limits);
    TConnection &c = FConnections.back();
    c.Self = std::prev(FConnections.end());
    c.Admitted = verdict;
    c.Source = peer.Source;
    c.Admin = admin;
    if (verdict == server::TAdmission::Refuse) {
        Answer(c, GatewayAnswer(503, "vexo-gateway: too many connections"), true);
        return;
    }
    c.Deadline = NowMs() + FConfig.Limits.ReadTimeout;
    // The head comes a moment after the connection, as a rule: the set
    // tells when (and at once when it is there already).
    Update(c);
}

void TGatewayServer::OnReady(void *tag, unsigned events)
{
    TEnd &end = *static_cast<TEnd *>(tag);
    TConnection &c = *end.Conn;
    const bool failed = events & (EPOLLERR | EPOLLHUP);
    if (failed || (events & (EPOLLIN | EPOLLRDHUP)))
        end.Readable = true;
    if (failed || (events & EPOLLOUT))
        end.Writable = true;
    // Each step waits for one side; what the other side says meanwhile is
    // kept in its flags for later.
    const bool up = &end == &c.Up;
    switch (c.Phase) {
    case TConnection::Head:
        if (!up && c.Client.Readable)
            ReadHead(c);
        break;
    case TConnection::Connecting:
        if (up && c.Up.Writable)
            Connected(c, failed);
        break;
    case TConnection::Handshake:
        if (up)
            Handshake(c);
        break;
    case TConnection::Relaying:
        Pump(c);
        break;
    case TConnection::Answering:
        if (!up && c.Client.Writable)
            WriteAnswer(c);
        break;
    case TConnection::Lingering:
        if (!up && c.Client.Readable)
            Drain(c);
        break;
    }
}

void TGatewayServer::Again(TConnection &c)
{
    if (c.Again)
        return;
    c.Again = true;
    FAgain.push_back(&c);
    FAgainTimer.start();
}

void TGatewayServer::RunAgain()
{
    std::vector<TConnection *> running;
    running.swap(FAgain);
    FAgainRunning = &running;
    for (TConnection *&entry : running) {
        TConnection *c = std::exchange(entry, nullptr);
        if (!c)
            continue; // closed meanwhile
        c->Again = false;
        if (c->Phase == TConnection::Relaying)
            Pump(*c);
    }
    FAgainRunning = nullptr;
}

void TGatewayServer::OnSweep()
{
    const qint64 now = NowMs();
    for (auto it = FConnections.begin(); it != FConnections.end();) {
        TConnection &c = *it++;
        if (now < c.Deadline)
            continue;
        switch (c.Phase) {
        case TConnection::Head:
            ++FCounts.TimedOut;
            Answer(c, GatewayAnswer(408, "vexo-gateway: the request header did not come in time"),
                   true);
            break;
        case TConnection::Connecting:
        case TConnection::Handshake:
            AttemptFailed(c, "the upstream timed out");
            break;
        case TConnection::Relaying:
            if (c.Answered)
                Close(c);
            else
                AttemptFailed(c, "the upstream timed out");
            break;
        case TConnection::Answering:
        case TConnection::Lingering:
            Close(c);
            break;
        }
    }
}

void TGatewayServer::ReadHead(TConnection &c)
{
    const server::THeadRead read = server::ReadHead(c.Client.Fd, c.In, c.Scanner);
    if (read == server::THeadRead::Wait)
        c.Client.Readable = false;
    switch (read) {
    case server::THeadRead::Complete:
        Dispatch(c);
        return;
    case server::THeadRead::TooLarge:
        ++FCounts.TooLarge;
        Answer(c, GatewayAnswer(431, "vexo-gateway: request header too large"), true);
        return;
    case server::THeadRead::Wait:
        Update(c);
        return;
    case server::THeadRead::Closed:
        ++FCounts.Dropped;
        Close(c);
        return;
    }
}

void TGatewayServer::Dispatch(TConnection &c)
{
    const qsizetype headSize = c.Scanner.HeadSize();
    c.Early = c.In.sliced(headSize);
    int status = server::ParseRequestHead(QByteArrayView(c.In).first(headSize), c.Request);
    c.In = QByteArray();
    if (c.Admin) {
        if (status == 0) {
            AnswerAdmin(c);
        } else {
            ++FCounts.BadRequests;
            Answer(c, GatewayAnswer(status, "vexo-gateway: bad request"), true);
        }
        return;
    }
    if (!FConfig.Auth.IsEmpty() && status == 0) {
        bool accepted = false;
        for (const auto &h : c.Request.Headers) {
            if (h.Name.compare("Proxy-Authorization", Qt::CaseInsensitive) == 0)
                accepted = FConfig.Auth.Accepts(h.Value) || accepted;
        }
        if (!accepted) {
            ++FCounts.AuthRequired;
            Answer(c, GatewayAnswer(407, "vexo-gateway: credentials required", ProxyAuthenticate),
                   true);
            return;
        }
    }
    if (status == 0)
        status = TargetOf(c.Request, c.Target);
    if (status != 0) {
        ++FCounts.BadRequests;
        Answer(c,
               GatewayAnswer(status, status == 501
                                         ? "vexo-gateway: only http:// addresses and CONNECT"
                                         : "vexo-gateway: bad request"),
               true);
        return;
    }
    if (FPool.IsEmpty()) {
        ++FCounts.NoPool;
        Answer(c, GatewayAnswer(503, "vexo-gateway: the pool is empty"), true);
        return;
    }
    c.Continue = !c.Target.Tunnel && ExpectsContinue(c.Request);
    StartAttempt(c);
}

void TGatewayServer::AnswerAdmin(TConnection &c)
{
    if (!FConfig.Auth.IsEmpty()) {
        bool accepted = false;
        for (const auto &h : c.Request.Headers) {
            if (h.Name.compare("Authorization", Qt::CaseInsensitive) == 0)
                accepted = FConfig.Auth.Accepts(h.Value) || accepted;
        }
        if (!accepted) {
            Answer(c,
                   GatewayAnswer(401, "vexo-gateway: credentials required",
                                 "WWW-Authenticate: Basic realm=\"vexo-gateway\"\r\n"),
                   true);
            return;
        }
    }
    const bool get = c.Request.Method == "GET";
    const QByteArray body = !get                            ? QByteArray()
                            : c.Request.Target == "/status" ? StatusJson()
                            : c.Request.Target == "/pool"   ? PoolJson()
                                                            : QByteArray();
    if (body.isEmpty()) {
        Answer(c, GatewayAnswer(get ? 404 : 405, "vexo-gateway: GET /status or GET /pool"), true);
        return;
    }
    Answer(c,
           "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
           c.Request.HasBody || !c.Early.isEmpty());
}

void TGatewayServer::Answer(TConnection &c, QByteArray bytes, bool linger)
{
    CloseUpstream(c);
    c.Phase = TConnection::Answering;
    c.ToClient = TFlow();
    c.ToClient.Pending = std::move(bytes);
    c.LingerAfter = linger;
    c.Deadline = NowMs() + FConfig.Limits.WriteTimeout;
    WriteAnswer(c);
}

void TGatewayServer::WriteAnswer(TConnection &c)
{
    if (!SendPending(c, c.Client, c.ToClient, false)) {
        Close(c);
        return;
    }
    if (c.ToClient.HasPending()) {
        Update(c);
        return;
    }
    if (!c.LingerAfter) {
        Close(c);
        return;
    }
    Linger(c);
}

void TGatewayServer::Linger(TConnection &c)
{
    // Half-close, then drop what the client still sends until it closes too,
    // so that it gets the answer instead of a reset.
    CloseUpstream(c);
    c.ToClient = TFlow();
    c.ToUp = TFlow();
    c.Phase = TConnection::Lingering;
    c.Deadline = NowMs() + FConfig.Limits.Linger;
    ::shutdown(c.Client.Fd, SHUT_WR);
    Drain(c);
}

void TGatewayServer::Finish(TConnection &c)
{
    // A client that sent its whole request and nothing after it has nothing
    // a close could reset: the connection closes at once (the answer still
    // goes out before the end). One that may still be sending gets the
    // lingering close.
    if (c.BodyLeft == 0) {
        ssize_t n = -1; // nothing there, as far as the set has said
        char sink[256];
        if (c.Client.Readable) {
            do
                n = ::recv(c.Client.Fd, sink, sizeof sink, 0);
            while (n < 0 && errno == EINTR);
        }
        if (n <= 0) {
            // Nothing more sent, or the client has gone already.
            Close(c);
            return;
        }
        c.Drained += n;
    }
    Linger(c);
}

void TGatewayServer::Drain(TConnection &c)
{
    if (!c.Client.Readable) {
        Update(c);
        return;
    }
    if (!server::DrainInput(c.Client.Fd, c.Drained)) {
        Close(c);
        return;
    }
    c.Client.Readable = false;
    Update(c);
}

bool TGatewayServer::Update(TConnection &c)
{
    return WatchEnd(c, c.Client) && (c.Up.Fd < 0 || WatchEnd(c, c.Up));
}

bool TGatewayServer::WatchEnd(TConnection &c, TEnd &end)
{
    // Edge-triggered: a hang-up of a side that is not being read or written
    // wakes the loop once, not again and again. Writing is watched from the
    // first time a write has to wait (a connect, a full socket) on: a new
    // client's connection takes the answer at once as a rule, and being
    // told that it could would only cost a wake-up.
    const unsigned out = !end.Writable || (end.Events & EPOLLOUT) ? unsigned(EPOLLOUT) : 0u;
    if (FReady.Watch(end.Fd, &end, EPOLLIN | EPOLLRDHUP | EPOLLET | out, end.Events))
        return true;
    Close(c);
    return false;
}

void TGatewayServer::CloseUpstream(TConnection &c)
{
    if (c.Up.Fd >= 0) {
        FReady.Forget(c.Up.Fd, &c.Up, c.Up.Events);
        if (c.ToClient.Eof && !c.Target.Tunnel) {
            // The upstream has answered in full and closed: a reset instead
            // of a close of our own spares both sides the closing exchange
            // and its wait. Nothing is lost, nothing more was to go either
            // way. A tunnel ends with a close: its last bytes may still be
            // under way.
            const linger abort{1, 0};
            ::setsockopt(c.Up.Fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        ::close(c.Up.Fd);
        c.Up.Fd = -1;
        c.Up.Events = 0;
        c.Up.Readable = c.Up.Writable = false;
    }
    if (c.Upstream) {
        --c.Upstream->InUse;
        c.Upstream.reset();
    }
    c.ConnectAnswer.reset();
    c.Socks.reset();
}

void TGatewayServer::Close(TConnection &c)
{
    CloseUpstream(c);
    // Out of the set before the close: a child process started at this
    // moment may hold a copy of the descriptor until it runs its program,
    // and the set would report the copy's events under a freed tag.
    FReady.Forget(c.Client.Fd, &c.Client, c.Client.Events);
    ::close(c.Client.Fd);
    if (c.Again) {
        for (auto *list : {&FAgain, FAgainRunning}) {
            if (list)
                std::replace(list->begin(), list->end(), &c, static_cast<TConnection *>(nullptr));
        }
    }
    FAdmission.Release(c.Source, c.Admitted);
    FConnections.erase(c.Self);
    if (FStopping)
        CheckStopped();
}

void TGatewayServer::Stop(int graceMs)
{
    if (FStopping)
        return;
    FStopping = true;
    close();
    if (FAdmin)
        FAdmin->close();
    FGrace.start(graceMs);
    for (auto it = FConnections.begin(); it != FConnections.end();) {
        TConnection &c = *it++;
        if (c.Phase == TConnection::Head || c.Phase == TConnection::Lingering || c.Admin)
            Close(c);
    }
    CheckStopped();
}

void TGatewayServer::CheckStopped()
{
    if (FStopping && FConnections.empty()) {
        FGrace.stop();
        FSweep.stop();
        // Once: the loop may run on after it.
        FStopping = false;
        Q_EMIT stopped();
    }
}

} // namespace gateway
