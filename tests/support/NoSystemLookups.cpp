#include "NoSystemLookups.h"

#include "net/LoopbackResolver.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>

namespace {

bool IsAddress(const char *Node)
{
    in_addr V4;
    in6_addr V6;
    return inet_pton(AF_INET, Node, &V4) == 1 || inet_pton(AF_INET6, Node, &V6) == 1;
}

void Refuse(const char *Function, const char *Name)
{
    ADD_FAILURE() << "the test asked the system's resolver (" << Function << ") for \""
                  << (Name ? Name : "") << "\"";
}

template <typename F>
F Real(const char *Name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, Name));
}

} // namespace

namespace testsupport {

net::TLoopbackResolver &loopbackResolver()
{
    static net::TLoopbackResolver Resolver;
    static const bool Installed = (net::SetResolver(&Resolver), true);
    (void)Installed;
    return Resolver;
}

} // namespace testsupport

// The test programs' own definitions come before the C library's: only
// addresses written as numbers (and service names, which stay local) are
// passed on to it.
extern "C" int getaddrinfo(const char *Node, const char *Service, const addrinfo *Hints,
                           addrinfo **Res)
{
    if (Node && !IsAddress(Node) && !(Hints && (Hints->ai_flags & AI_NUMERICHOST))) {
        Refuse("getaddrinfo", Node);
        return EAI_NONAME;
    }
    using F = int (*)(const char *, const char *, const addrinfo *, addrinfo **);
    static const F Next = Real<F>("getaddrinfo");
    return Next(Node, Service, Hints, Res);
}

extern "C" int getnameinfo(const sockaddr *Addr, socklen_t AddrLen, char *Host, socklen_t HostLen,
                           char *Serv, socklen_t ServLen, int Flags)
{
    // A name for an address is a question to the resolver as well.
    if (Host && HostLen > 0 && !(Flags & NI_NUMERICHOST)) {
        Refuse("getnameinfo", "an address");
        return EAI_NONAME;
    }
    using F = int (*)(const sockaddr *, socklen_t, char *, socklen_t, char *, socklen_t, int);
    static const F Next = Real<F>("getnameinfo");
    return Next(Addr, AddrLen, Host, HostLen, Serv, ServLen, Flags);
}

extern "C" hostent *gethostbyname(const char *Name)
{
    if (Name && IsAddress(Name)) {
        using F = hostent *(*)(const char *);
        static const F Next = Real<F>("gethostbyname");
        return Next(Name);
    }
    Refuse("gethostbyname", Name);
    h_errno = HOST_NOT_FOUND;
    return nullptr;
}

extern "C" int gethostbyname_r(const char *Name, hostent *Entry, char *Buf, size_t BufLen,
                               hostent **Result, int *Err)
{
    if (Name && IsAddress(Name)) {
        using F = int (*)(const char *, hostent *, char *, size_t, hostent **, int *);
        static const F Next = Real<F>("gethostbyname_r");
        return Next(Name, Entry, Buf, BufLen, Result, Err);
    }
    Refuse("gethostbyname_r", Name);
    *Result = nullptr;
    *Err = HOST_NOT_FOUND;
    return 0;
}
