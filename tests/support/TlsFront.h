// A TLS server on 127.0.0.1 (port chosen by the system) in front of a plain
// loopback server of the test, such as an OriginServer: each connection's
// handshake is answered with the given certificate, then the bytes go both
// ways between the client and a new connection to the backend.
//
//   OriginServer Server;
//   TlsFront Front(Server.port(), Certs.good());
//   Client.SetURL(Front.url("/a"));   // "https://localhost:<port>/a"
//
// The front works on threads of its own (blocking reads), so the backend on
// the test's event loop runs as ever while the test waits for the client.
#pragma once

#include "support/TestCertificates.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace testsupport {

class TlsFront
{
public:
    enum class Behaviour {
        Serve,             // handshake, then relay to the backend
        CloseInHandshake,  // read the client's hello, send half a record, close
        RequireClientCert, // ask for a client certificate the client has not got
    };
    struct Options
    {
        Behaviour behaviour = Behaviour::Serve;
        // Highest protocol version offered (0: the library's highest), for a
        // server that speaks only what the client refuses.
        int maxVersion = 0;
        // End each session with close_notify before closing (a server that
        // only closes the connection otherwise).
        bool closeNotify = true;
    };

    TlsFront(quint16 BackendPort, const CertificatePair &Cert);
    TlsFront(quint16 BackendPort, const CertificatePair &Cert, const Options &O);
    ~TlsFront();
    TlsFront(const TlsFront &) = delete;
    TlsFront &operator=(const TlsFront &) = delete;

    bool ok() const { return FError.isEmpty(); }
    const QString &error() const { return FError; }
    quint16 port() const { return FPort; }
    // "https://<host>:<port>" + Path; the certificates name "localhost" and
    // 127.0.0.1.
    QByteArray url(const QByteArray &Path = "/", const QByteArray &Host = "localhost") const;
    // Handshakes completed, and connections accepted.
    int handshakes() const { return FHandshakes.load(); }
    int connections() const { return FConnections.load(); }

private:
    void AcceptLoop();
    void Serve(int Fd);
    void Relay(SSL *Ssl, int Client, int Backend);

    quint16 FBackendPort;
    Options FOptions;
    SSL_CTX *FCtx = nullptr;
    int FListenFd = -1;
    quint16 FPort = 0;
    QString FError;
    std::atomic<bool> FStop{false};
    std::atomic<int> FHandshakes{0};
    std::atomic<int> FConnections{0};
    std::mutex FLock; // guards the two lists below
    std::vector<int> FOpenFds;
    std::vector<std::thread> FThreads;
    std::thread FAcceptThread;
};

} // namespace testsupport
