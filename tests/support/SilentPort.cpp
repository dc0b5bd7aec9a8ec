#include "support/SilentPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

SilentPort::SilentPort()
{
    FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(FFd, reinterpret_cast<sockaddr *>(&A), sizeof A);
    ::listen(FFd, 8);
    socklen_t Len = sizeof A;
    ::getsockname(FFd, reinterpret_cast<sockaddr *>(&A), &Len);
    FPort = ntohs(A.sin_port);
}

SilentPort::~SilentPort()
{
    if (FFd >= 0)
        ::close(FFd);
}

bool SilentPort::resetNext()
{
    const int Conn = ::accept4(FFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (Conn < 0)
        return false;
    // Closing with unread data and a zero linger sends a reset.
    linger L{1, 0};
    ::setsockopt(Conn, SOL_SOCKET, SO_LINGER, &L, sizeof L);
    ::close(Conn);
    return true;
}

} // namespace testsupport
