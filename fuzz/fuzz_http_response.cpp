// Arbitrary bytes, cut into arbitrary pieces, as a server's answer to an HTTP
// client. Whatever arrives, the request must end with exactly one completion
// and never read or write out of bounds.
//
// Input: byte 0 holds the number of cuts (bits 0-2) and the wish for a direct
// connection (bit 3); then two bytes per cut give the length of each piece;
// the rest is the answer. All connections go to a listening socket of this
// process on 127.0.0.1: answers that could relocate to another host are sent
// through it as a proxy, so nothing else is ever contacted. Names are asked
// of the loopback resolver only, which fails every name but localhost at
// once, so no request waits on a lookup.
#include "net/HttpProt.h"
#include "net/LoopbackResolver.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

int GListen = -1;
quint16 GPort = 0;

void Setup()
{
    static int Argc = 1;
    static char Name[] = "fuzz_http_response";
    static char *Argv[] = {Name, nullptr};
    new QCoreApplication(Argc, Argv);
    static net::TLoopbackResolver Resolver;
    net::SetResolver(&Resolver);
    GListen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(GListen, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0 ||
        ::listen(GListen, 64) != 0)
        std::abort();
    socklen_t Len = sizeof A;
    ::getsockname(GListen, reinterpret_cast<sockaddr *>(&A), &Len);
    GPort = ntohs(A.sin_port);
}

void Pump()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size < 1)
        return 0;
    const int Cuts = Data[0] & 7;
    bool Direct = (Data[0] & 8) != 0;
    size_t Pos = 1;
    std::vector<size_t> PieceSizes;
    for (int I = 0; I < Cuts && Pos + 1 < Size; ++I, Pos += 2)
        PieceSizes.push_back(1 + ((size_t(Data[Pos]) | size_t(Data[Pos + 1]) << 8) % 4096));
    const QByteArray Answer(reinterpret_cast<const char *>(Data + Pos), qsizetype(Size - Pos));
    // Only an absolute "location" can move a direct request to another host,
    // and "https://" is one too.
    if (Answer.contains("http://") || Answer.contains("https://"))
        Direct = false;

    const QByteArray Origin = "127.0.0.1:" + QByteArray::number(GPort);
    int Done = 0;
    {
        net::THttpCli Client;
        if (Direct) {
            Client.SetURL("http://" + Origin + "/fuzz");
        } else {
            Client.SetURL("http://origin.test/fuzz");
            Client.SetProxy(Origin);
        }
        Client.OnRequestDone = [&](net::THttpCli *C, net::THttpRequest, quint16) {
            ++Done;
            // Ended in a later event than the one that ended it, idle again.
            if (C->State() != net::hsReady)
                std::abort();
        };
        Client.OnDocData = [](net::THttpCli *, const char *Buffer, qint32 Len) {
            if (Len < 0 || Len > 8192 || Buffer[Len] != '\0')
                std::abort();
            volatile char Sum = 0;
            for (qint32 I = 0; I < Len; ++I)
                Sum = char(Sum + Buffer[I]);
        };
        Client.StartGet();

        std::vector<int> Conns;
        int Accepted = 0;
        size_t Sent = 0;
        size_t Piece = 0;
        int Quiet = 0; // rounds since every connection was closed
        for (int Round = 0; Round < 20000; ++Round) {
            Pump();
            const int Fd = ::accept4(GListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (Fd >= 0) {
                if (++Accepted == 1) {
                    Conns.push_back(Fd);
                } else {
                    // A relocation came back: end it with an empty answer,
                    // and stop a loop of them as the runs' timers would.
                    ::close(Fd);
                    if (Accepted > 4)
                        Client.Abort();
                }
            }
            if (!Conns.empty()) {
                char Sink[4096];
                while (::recv(Conns[0], Sink, sizeof Sink, 0) > 0) {
                }
                if (Sent < size_t(Answer.size())) {
                    size_t Len = Piece < PieceSizes.size() ? PieceSizes[Piece] : Answer.size();
                    Len = std::min(Len, size_t(Answer.size()) - Sent);
                    const ssize_t W =
                        ::send(Conns[0], Answer.constData() + Sent, Len, MSG_NOSIGNAL);
                    if (W > 0) {
                        Sent += size_t(W);
                        ++Piece;
                    } else if (W < 0 && errno != EAGAIN) {
                        Sent = size_t(Answer.size()); // the client went away
                    }
                } else {
                    ::close(Conns[0]);
                    Conns.clear();
                }
            }
            if (Done > 0 && Conns.empty())
                break;
            if (Conns.empty() && Accepted > 0 && ++Quiet > 2000)
                std::abort(); // the server is gone and the request never ended
        }
        if (Done == 0)
            std::abort();
        for (int Fd : Conns)
            ::close(Fd);
        for (int I = 0; I < 5; ++I)
            Pump();
    }
    // Freeing the client drops whatever it had posted; no second completion.
    if (Done != 1)
        std::abort();
    // Leave no connection waiting in the backlog for the next input.
    for (;;) {
        const int Fd = ::accept4(GListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (Fd < 0)
            break;
        ::close(Fd);
    }
    return 0;
}
