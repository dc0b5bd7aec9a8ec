#include "ConnectionIo.h"

#include "ServerLimits.h"

#include <QTcpServer>
#include <QTimer>

#include <algorithm>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace server {

TPeer TakeConnection(int fd)
{
    TPeer peer;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    peer.Known = ::getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0 &&
                 address.sin_family == AF_INET;
    if (peer.Known) {
        peer.Source = address.sin_addr.s_addr;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
        peer.Dotted = text;
        peer.Port = ntohs(address.sin_port);
    }
    int nonBlocking = 1;
    ::ioctl(fd, FIONBIO, &nonBlocking);
    return peer;
}

THeadRead ReadHead(int fd, QByteArray &in, THeadScanner &scanner)
{
    for (;;) {
        // Read on the stack: a connection that waits for its request holds
        // no buffer. Most requests are a few hundred bytes: one read takes
        // them whole.
        // One byte over the limit is enough to know it is over.
        char chunk[4096];
        const qsizetype room = std::min<qsizetype>(sizeof chunk, scanner.Limit() + 1 - in.size());
        const ssize_t n = ::recv(fd, chunk, size_t(std::max<qsizetype>(room, 1)), 0);
        if (n > 0) {
            in.append(chunk, n);
            switch (scanner.Scan(in)) {
            case THeadScanner::Complete:
                return THeadRead::Complete;
            case THeadScanner::TooLarge:
                return THeadRead::TooLarge;
            case THeadScanner::Incomplete:
                continue;
            }
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return THeadRead::Wait;
        return THeadRead::Closed;
    }
}

TSend SendBytes(int fd, const QByteArray &out, qsizetype &sent)
{
    while (sent < out.size()) {
        const ssize_t n =
            ::send(fd, out.constData() + sent, size_t(out.size() - sent), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return TSend::Wait;
        else
            return TSend::Failed;
    }
    return TSend::Done;
}

bool DrainInput(int fd, qsizetype &drained)
{
    char sink[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
        if (n > 0) {
            drained += n;
            if (drained > MaxLingerBytes)
                return false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void ResumeAfterAcceptErrors(QTcpServer &server, QTimer &timer)
{
    timer.setSingleShot(true);
    timer.setInterval(100);
    QObject::connect(&timer, &QTimer::timeout, &server, &QTcpServer::resumeAccepting);
    QObject::connect(&server, &QTcpServer::acceptError, &timer, [&timer] { timer.start(); });
}

} // namespace server
