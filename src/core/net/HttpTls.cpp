// The layers between the socket and the HTTP exchange for "https" addresses:
// the CONNECT tunnel through a proxy and the TLS session. Once the session is
// up, the request and the answer go through the same steps as over a plain
// connection; only the bytes are encrypted on their way.
#include "ConnectAnswer.h"
#include "HttpProt.h"
#include "SocksAnswer.h"
#include "TlsSession.h"

namespace net {

void THttpCli::DropTransport()
{
    FTunnel.reset();
    FSocks.reset();
    FTls.reset();
}

// ---------------------------------------------------------------------------
// The tunnel

void THttpCli::StartTunnel()
{
    FStep = TStep::Tunnel;
    FTunnel = std::make_unique<TConnectAnswer>();
    const QByteArray Authority =
        FTargetHost + ':' + (FURLPort.isEmpty() ? QByteArrayLiteral("443") : FURLPort);
    QByteArray Request = "CONNECT " + Authority + " HTTP/1.0\r\nHost: " + Authority + "\r\n";
    if (!FAgent.isEmpty())
        Request += "User-Agent: " + FAgent + "\r\n";
    // The proxy's credentials go to the proxy, never into the tunnel.
    if (!FProxyUsername.isEmpty())
        Request += "Proxy-Authorization: Basic " +
                   (FProxyUsername + ':' + FProxyPassword).toBase64() + "\r\n";
    Request += "\r\n";
    FCtrlSocket->Send(Request.constData(), qint32(Request.size()));
}

void THttpCli::TunnelData()
{
    char Buf[4096];
    const qint32 Len = FCtrlSocket->Receive(Buf, sizeof Buf);
    if (Len <= 0)
        return;
    switch (FTunnel->Feed(Buf, Len)) {
    case TConnectAnswer::TResult::More:
        return;
    case TConnectAnswer::TResult::Failed:
        Fail(FTunnel->Error());
        return;
    case TConnectAnswer::TResult::Done:
        break;
    }
    if (!FTunnel->Established()) {
        // The proxy's refusal is the request's outcome, like an HTTP error
        // answer; nothing of the proxy's page is read.
        FStatusCode = FTunnel->StatusCode();
        FReasonPhrase = FTunnel->ReasonPhrase();
        EndRequest(TEnd::Failed);
        return;
    }
    const QByteArray Early = FTunnel->Rest();
    FTunnel.reset();
    StartTls(Early);
}

// ---------------------------------------------------------------------------
// TLS

void THttpCli::StartTls(const QByteArray &Early)
{
    FStep = TStep::Handshake;
    FTls = std::make_unique<TTlsSession>(FTargetHost, FVerifyCertificates);
    if (!FTls->Valid()) {
        Fail(FTls->Error());
        return;
    }
    FTls->Feed(Early.constData(), qint32(Early.size()));
    if (DriveHandshake())
        PumpTls();
}

void THttpCli::TlsDataAvailable()
{
    // A whole record at most per pass; the socket calls again while more waits.
    char Raw[16 * 1024];
    const qint32 Len = FCtrlSocket->Receive(Raw, sizeof Raw);
    if (Len <= 0)
        return;
    FTls->Feed(Raw, Len);
    if (FStep == TStep::Handshake && !DriveHandshake())
        return;
    PumpTls();
}

// Advances the handshake; true once the session is up and the request has
// been sent, with the same request still under way.
bool THttpCli::DriveHandshake()
{
    const TGuard G(this);
    const TTlsSession *Session = FTls.get();
    const TTlsSession::TProgress Progress = FTls->Handshake();
    FlushTls();
    if (!G.Busy() || FTls.get() != Session)
        return false;
    if (Progress == TTlsSession::TProgress::Failed) {
        Fail(FTls->Error());
        return false;
    }
    if (Progress == TTlsSession::TProgress::WantMore)
        return false;
    SessionReady();
    return G.Busy() && FTls.get() == Session && FStep != TStep::Handshake;
}

// Decrypts everything the session can give into the receive buffer, each
// time taken as the socket's bytes would be.
void THttpCli::PumpTls()
{
    const TGuard G(this);
    const TTlsSession *Session = FTls.get();
    auto Same = [&] {
        return G.Busy() && FTls.get() == Session &&
               (FStep == TStep::Header || FStep == TStep::HeaderOpen || FStep == TStep::Body);
    };
    while (Same()) {
        const qint32 Free = FreeSpace();
        if (Free <= 0) {
            // 8192 bytes without a line end, and more to come.
            if (FTls->HasPlaintext())
                Fail(QByteArrayLiteral("HTTP line too long"));
            return;
        }
        const qint32 Len = FTls->Read(FRcvdBuf + FRcvdCnt, Free);
        if (Len > 0) {
            ConsumeReceived(Len);
            continue;
        }
        if (Len == TTlsSession::ReadWantMore)
            break;
        if (Len == TTlsSession::ReadClosed) {
            // The peer ended the session: the end of the answer, as if it
            // had closed the connection.
            FCtrlSocket->Close();
            return;
        }
        Fail(FTls->Error());
        return;
    }
    if (Same())
        FlushTls();
}

void THttpCli::FlushTls()
{
    if (!FTls || !FTls->HasOutput())
        return;
    const QByteArray Out = FTls->TakeOutput();
    // The send may end the request (a reset connection): nothing of the
    // session is touched after it.
    FCtrlSocket->Send(Out.constData(), qint32(Out.size()));
}

// The connection closed before the tunnel or the session was up.
void THttpCli::TransportClosed(quint16 Error)
{
    const QByteArray How = Error ? WSocketErrorDesc(Error) + ", Error #" + QByteArray::number(Error)
                                 : QByteArrayLiteral("connection closed by peer");
    if (FStep == TStep::Socks)
        SocksFailed("SOCKS: proxy closed the connection before answering (" + How + ")", 0);
    else if (FStep == TStep::Tunnel)
        Fail("Proxy closed the connection before answering CONNECT (" + How + ")", Error);
    else
        Fail("TLS: handshake failed (" + How + ")", Error);
}

} // namespace net
