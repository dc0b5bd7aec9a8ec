#include "ConnectionServer.h"

#include <algorithm>

#include <unistd.h>

namespace server {

TConnectionServer::TConnectionServer(const TServerLimits &limits, int shortestMs, QObject *parent)
    : QTcpServer(parent), FAdmission(limits.Connections, limits.SourceCap()),
      FReady([this](void *tag, unsigned events) { OnReady(tag, events); })
{
    FSweep.setInterval(std::clamp(shortestMs / 4, 5, 250));
    connect(&FSweep, &QTimer::timeout, this, [this] { OnSweep(); });
    ResumeAfterAcceptErrors(*this, FResume);
}

bool TConnectionServer::Listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (!FReady.Open(error))
        return false;
    setListenBacklogSize(ListenBacklog);
    if (!listen(address, port)) {
        *error = errorString();
        return false;
    }
    FSweep.start();
    return true;
}

TAdmission::TVerdict TConnectionServer::Admit(int fd, TPeer &peer, bool &bySource)
{
    peer = TakeConnection(fd);
    bySource = false;
    const TAdmission::TVerdict verdict = FAdmission.Admit(peer.Source, &bySource);
    if (verdict == TAdmission::Drop)
        ::close(fd);
    return verdict;
}

} // namespace server
