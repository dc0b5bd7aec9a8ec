// A loopback port on which every connection is refused: the port is bound
// (so no one else takes it) but never listened on.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace testsupport {

class RefusedPort
{
public:
    RefusedPort();
    ~RefusedPort();
    RefusedPort(const RefusedPort &) = delete;
    RefusedPort &operator=(const RefusedPort &) = delete;

    quint16 port() const { return FPort; }
    QByteArray address() const { return "127.0.0.1:" + QByteArray::number(FPort); }
    QByteArray url(const QByteArray &Path = "/") const { return "http://" + address() + Path; }

private:
    int FFd = -1;
    quint16 FPort = 0;
};

} // namespace testsupport
