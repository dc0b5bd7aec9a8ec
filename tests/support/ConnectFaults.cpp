#include "support/ConnectFaults.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace {

// One fault set at a time; the tests run on one thread.
quint16 GPort = 0;
int GLeft = 0;
int GErrno = 0;
int GFailed = 0;

bool Faulty(const sockaddr *Address)
{
    if (GPort == 0 || GLeft == 0 || Address == nullptr || Address->sa_family != AF_INET)
        return false;
    const auto *In = reinterpret_cast<const sockaddr_in *>(Address);
    return ntohs(In->sin_port) == GPort && ntohl(In->sin_addr.s_addr) == INADDR_LOOPBACK;
}

} // namespace

extern "C" int connect(int Fd, const sockaddr *Address, socklen_t Len)
{
    using F = int (*)(int, const sockaddr *, socklen_t);
    static const F Next = reinterpret_cast<F>(dlsym(RTLD_NEXT, "connect"));
    if (!Faulty(Address))
        return Next(Fd, Address, Len);
    if (GLeft > 0)
        --GLeft;
    ++GFailed;
    errno = GErrno;
    return -1;
}

namespace testsupport {

ConnectFaults::ConnectFaults(quint16 Port, int Failures, int Errno)
{
    GPort = Port;
    GLeft = Failures;
    GErrno = Errno;
    GFailed = 0;
}

ConnectFaults::~ConnectFaults()
{
    GPort = 0;
    GLeft = 0;
}

int ConnectFaults::failed() const
{
    return GFailed;
}

} // namespace testsupport
