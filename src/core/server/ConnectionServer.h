// What the servers of Vexo (vexo-judge, vexo-gateway) share around their
// connections: QTcpServer listens and accepts, the accepted descriptors are
// plain and non-blocking in one epoll set (net::TEpollSet) on the Qt event
// loop, the admission caps decide who is served, and a sweep timer looks for
// deadlines that have passed.
#pragma once

#include "Admission.h"
#include "ConnectionIo.h"
#include "ServerLimits.h"
#include "net/EpollSet.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>

namespace server {

class TConnectionServer : public QTcpServer
{
    Q_OBJECT

public:
    // Connections being served (within the caps).
    int OpenConnections() const { return FAdmission.Serving(); }

protected:
    // `shortestMs`: the shortest deadline the server keeps; the sweep looks
    // four times within it.
    TConnectionServer(const TServerLimits &limits, int shortestMs, QObject *parent);

    // Makes the epoll set and listens; false with the reason in error.
    bool Listen(const QHostAddress &address, quint16 port, QString *error);

    // The admission's verdict on a new descriptor, and its peer. A dropped
    // one is closed here; `bySource` tells whether the source's cap decided.
    TAdmission::TVerdict Admit(int fd, TPeer &peer, bool &bySource);

    // A descriptor watched with `tag` is ready for `events` (EPOLLIN, EPOLLOUT,
    // EPOLLERR, ...).
    virtual void OnReady(void *tag, unsigned events) = 0;
    // The sweep: deadlines that have passed.
    virtual void OnSweep() = 0;

    TAdmission FAdmission;
    net::TEpollSet FReady;
    QTimer FSweep;

private:
    QTimer FResume;
};

} // namespace server
