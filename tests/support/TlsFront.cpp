#include "support/TlsFront.h"

#include <QFile>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace testsupport {

namespace {

int ConnectLoopback(quint16 Port)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_port = htons(Port);
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (Fd >= 0 && ::connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) == 0)
        return Fd;
    if (Fd >= 0)
        ::close(Fd);
    return -1;
}

// Writes everything, false when the peer has gone.
bool WriteAll(int Fd, const char *Data, ssize_t Len)
{
    while (Len > 0) {
        const ssize_t N = ::send(Fd, Data, size_t(Len), MSG_NOSIGNAL);
        if (N <= 0)
            return false;
        Data += N;
        Len -= N;
    }
    return true;
}

} // namespace

TlsFront::TlsFront(quint16 BackendPort, const CertificatePair &Cert)
    : TlsFront(BackendPort, Cert, Options())
{
}

TlsFront::TlsFront(quint16 BackendPort, const CertificatePair &Cert, const Options &O)
    : FBackendPort(BackendPort), FOptions(O)
{
    FCtx = SSL_CTX_new(TLS_server_method());
    const QByteArray CertFile = QFile::encodeName(Cert.cert);
    const QByteArray KeyFile = QFile::encodeName(Cert.key);
    if (!FCtx || SSL_CTX_use_certificate_chain_file(FCtx, CertFile.constData()) != 1 ||
        SSL_CTX_use_PrivateKey_file(FCtx, KeyFile.constData(), SSL_FILETYPE_PEM) != 1) {
        FError = QStringLiteral("cannot load ") + Cert.cert;
        return;
    }
    if (O.maxVersion) {
        // Old protocols are refused at the default security level.
        SSL_CTX_set_security_level(FCtx, 0);
        SSL_CTX_set_min_proto_version(FCtx, 0);
        SSL_CTX_set_max_proto_version(FCtx, O.maxVersion);
    }
    if (O.behaviour == Behaviour::RequireClientCert)
        SSL_CTX_set_verify(FCtx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);

    FListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Len = sizeof A;
    if (FListenFd < 0 || ::bind(FListenFd, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0 ||
        ::listen(FListenFd, 256) != 0 ||
        ::getsockname(FListenFd, reinterpret_cast<sockaddr *>(&A), &Len) != 0) {
        FError = QStringLiteral("cannot listen");
        return;
    }
    FPort = ntohs(A.sin_port);
    FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TlsFront::~TlsFront()
{
    FStop = true;
    if (FAcceptThread.joinable())
        FAcceptThread.join();
    {
        // Wakes every connection thread out of its blocking read.
        const std::lock_guard<std::mutex> Hold(FLock);
        for (int Fd : FOpenFds)
            ::shutdown(Fd, SHUT_RDWR);
    }
    for (std::thread &T : FThreads)
        T.join();
    if (FListenFd >= 0)
        ::close(FListenFd);
    SSL_CTX_free(FCtx);
}

QByteArray TlsFront::url(const QByteArray &Path, const QByteArray &Host) const
{
    return "https://" + Host + ':' + QByteArray::number(FPort) + Path;
}

void TlsFront::AcceptLoop()
{
    while (!FStop) {
        pollfd P{FListenFd, POLLIN, 0};
        if (::poll(&P, 1, 20) <= 0)
            continue;
        const int Fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (Fd < 0)
            continue;
        ++FConnections;
        const std::lock_guard<std::mutex> Hold(FLock);
        FOpenFds.push_back(Fd);
        FThreads.emplace_back([this, Fd] { Serve(Fd); });
    }
}

void TlsFront::Serve(int Fd)
{
    auto Forget = [this](int F) {
        const std::lock_guard<std::mutex> Hold(FLock);
        FOpenFds.erase(std::remove(FOpenFds.begin(), FOpenFds.end(), F), FOpenFds.end());
        ::close(F);
    };
    if (FOptions.behaviour == Behaviour::CloseInHandshake) {
        char Hello[4096];
        if (::recv(Fd, Hello, sizeof Hello, 0) > 0) {
            // A handshake record header that announces more than follows.
            const char Half[] = "\x16\x03\x03\x00\x40\x02\x00\x00";
            WriteAll(Fd, Half, sizeof Half - 1);
        }
        ::shutdown(Fd, SHUT_WR);
        char Rest[4096];
        while (::recv(Fd, Rest, sizeof Rest, 0) > 0) {
        }
        Forget(Fd);
        return;
    }
    SSL *Ssl = SSL_new(FCtx);
    SSL_set_fd(Ssl, Fd);
    if (SSL_accept(Ssl) == 1) {
        ++FHandshakes;
        const int Backend = ConnectLoopback(FBackendPort);
        if (Backend >= 0) {
            {
                const std::lock_guard<std::mutex> Hold(FLock);
                FOpenFds.push_back(Backend);
            }
            Relay(Ssl, Fd, Backend);
            Forget(Backend);
        }
        if (FOptions.closeNotify)
            SSL_shutdown(Ssl);
    } else {
        // The alert is out; what the client sent meanwhile is read, so that
        // the close is a FIN and not a reset that could overtake the alert.
        ::shutdown(Fd, SHUT_WR);
        timeval Limit{2, 0};
        setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &Limit, sizeof Limit);
        char Rest[4096];
        while (::recv(Fd, Rest, sizeof Rest, 0) > 0) {
        }
    }
    SSL_free(Ssl);
    ERR_clear_error();
    Forget(Fd);
}

// Bytes both ways until either side is done: the client's requests to the
// backend, the backend's answer to the client.
void TlsFront::Relay(SSL *Ssl, int Client, int Backend)
{
    char Buf[16384];
    for (;;) {
        if (SSL_pending(Ssl) == 0) {
            pollfd P[2] = {{Client, POLLIN, 0}, {Backend, POLLIN, 0}};
            if (::poll(P, 2, 1000) < 0 || FStop)
                return;
            if (P[1].revents) {
                const ssize_t N = ::recv(Backend, Buf, sizeof Buf, 0);
                if (N <= 0)
                    return; // the backend's answer is complete
                if (SSL_write(Ssl, Buf, int(N)) <= 0)
                    return;
                continue;
            }
            if (!P[0].revents)
                continue;
        }
        const int N = SSL_read(Ssl, Buf, sizeof Buf);
        if (N <= 0 || !WriteAll(Backend, Buf, N))
            return;
    }
}

} // namespace testsupport
