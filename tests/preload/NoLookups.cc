// The system's name lookup functions, replaced in every test program and
// preloaded into the programs that the tests start: nothing asks anyone for
// a name. Addresses written as numbers pass; "localhost" answers 127.0.0.1;
// every other name fails at once as not found and is reported: a test
// program fails the running test (tests/support/NoSystemLookups.cpp), a
// started program writes to standard error, where the tests' process runner
// looks (tests/cli/CliProcess.h). The machine's own name, which the
// own-address search asks by design, fails quietly.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>

// A test program's own definition takes the place of this one.
extern "C" __attribute__((weak)) void vexo_lookup_refused(const char *Function, const char *Name)
{
    dprintf(2, "vexo-test: the program asked the system's resolver (%s) for \"%s\"\n", Function,
            Name);
}

namespace {

bool IsAddress(const char *Node)
{
    in_addr V4;
    in6_addr V6;
    return inet_pton(AF_INET, Node, &V4) == 1 || inet_pton(AF_INET6, Node, &V6) == 1;
}

void Report(const char *Function, const char *Name)
{
    char Own[256] = {};
    if (gethostname(Own, sizeof Own - 1) == 0 && strcasecmp(Own, Name) == 0)
        return;
    vexo_lookup_refused(Function, Name);
}

template <typename F>
F Real(const char *Name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, Name));
}

} // namespace

extern "C" int getaddrinfo(const char *Node, const char *Service, const addrinfo *Hints,
                           addrinfo **Res)
{
    using F = int (*)(const char *, const char *, const addrinfo *, addrinfo **);
    static const F Next = Real<F>("getaddrinfo");
    if (!Node || IsAddress(Node) || (Hints && (Hints->ai_flags & AI_NUMERICHOST)))
        return Next(Node, Service, Hints, Res);
    if (strcasecmp(Node, "localhost") == 0)
        return Next("127.0.0.1", Service, Hints, Res);
    Report("getaddrinfo", Node);
    return EAI_NONAME;
}

extern "C" int getnameinfo(const sockaddr *Addr, socklen_t AddrLen, char *Host, socklen_t HostLen,
                           char *Serv, socklen_t ServLen, int Flags)
{
    using F = int (*)(const sockaddr *, socklen_t, char *, socklen_t, char *, socklen_t, int);
    static const F Next = Real<F>("getnameinfo");
    if (Host && HostLen > 0 && !(Flags & NI_NUMERICHOST)) {
        Report("getnameinfo", "an address");
        return EAI_NONAME;
    }
    return Next(Addr, AddrLen, Host, HostLen, Serv, ServLen, Flags);
}

extern "C" hostent *gethostbyname(const char *Name)
{
    using F = hostent *(*)(const char *);
    static const F Next = Real<F>("gethostbyname");
    if (Name && IsAddress(Name))
        return Next(Name);
    Report("gethostbyname", Name ? Name : "");
    h_errno = HOST_NOT_FOUND;
    return nullptr;
}

extern "C" int gethostbyname_r(const char *Name, hostent *Entry, char *Buf, size_t BufLen,
                               hostent **Result, int *Err)
{
    using F = int (*)(const char *, hostent *, char *, size_t, hostent **, int *);
    static const F Next = Real<F>("gethostbyname_r");
    if (Name && IsAddress(Name))
        return Next(Name, Entry, Buf, BufLen, Result, Err);
    Report("gethostbyname_r", Name ? Name : "");
    *Result = nullptr;
    *Err = HOST_NOT_FOUND;
    return 0;
}
