#include "support/RefusedPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

RefusedPort::RefusedPort()
{
    FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(FFd, reinterpret_cast<sockaddr *>(&A), sizeof A);
    socklen_t Len = sizeof A;
    ::getsockname(FFd, reinterpret_cast<sockaddr *>(&A), &Len);
    FPort = ntohs(A.sin_port);
}

RefusedPort::~RefusedPort()
{
    if (FFd >= 0)
        ::close(FFd);
}

} // namespace testsupport
