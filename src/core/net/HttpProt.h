// Asynchronous HTTP/1.0 client: one request per connection, the end of the
// body is the server closing the connection, relocations are followed.
//
// A caller sets URL (and, if wanted, Proxy), attaches its handlers and calls
// StartGet or StartHead, which return at once. The client then works through
// name lookup, connect, request, response header and body on the event loop
// and reports through its events. Every started request ends with exactly one
// OnRequestDone, always delivered from the event loop after the call or event
// that ended it has returned; the handler may start the next request on the
// same client or free the client.
//
// "https" addresses go over TLS (port 443 unless the address names one):
// directly, or through the proxy with CONNECT and TLS inside the tunnel. The
// request and the answer inside are read and written exactly as over a
// plain connection.
//
// With a SOCKS server set, every connection (to the host, or to the HTTP
// proxy) is made through that SOCKS proxy; the rest is unchanged.
#pragma once

#include "HttpAddress.h"
#include "WSocket.h"
#include "util/Limits.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <stdexcept>

class QIODevice;

namespace net {

class TConnectAnswer;
class TSocksAnswer;
class TTlsSession;

enum THttpRequest : int { httpAbort = 0, httpGET = 1, httpPOST = 2, httpHEAD = 3 };

enum THttpState : quint8 {
    hsReady = 0,         // created, or a request has ended
    hsNotConnected = 1,  // a request has been accepted
    hsConnected = 2,     // the connection is established
    hsDnsLookup = 3,     // the host name lookup runs
    hsDnsLookupDone = 4, // the address is known and the connect runs
    hsWaitingHeader = 5, // the request is sent, the response header awaited
    hsWaitingBody = 6,   // the header has ended and body pieces arrive
    hsAborting = 7,      // Abort is under way
};

// Error value of OnRequestDone for a request ended by Abort.
constexpr quint16 httperrAborted = 3;

// Misuse of the client: 1 busy, 2 nothing to post.
class EHttpException : public std::runtime_error
{
public:
    EHttpException(const QByteArray &Msg, int ErrorCode)
        : std::runtime_error(Msg.toStdString()), FMessage(Msg), FErrorCode(ErrorCode)
    {
    }
    const QByteArray &Message() const { return FMessage; }
    int ErrorCode() const { return FErrorCode; }

private:
    QByteArray FMessage;
    int FErrorCode;
};

class THttpCli : public QObject
{
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(THttpCli *Sender)>;
    using TDocDataEvent = std::function<void(THttpCli *Sender, const char *Buffer, qint32 Len)>;
    using THttpRequestDone =
        std::function<void(THttpCli *Sender, THttpRequest RqType, quint16 Error)>;
    using TCookieRcvdEvent =
        std::function<void(THttpCli *Sender, const QByteArray &Data, bool &Accept)>;
    using TBeforeHeaderSendEvent =
        std::function<void(THttpCli *Sender, const QByteArray &Method, QByteArrayList &Headers)>;
    using TOnCommand = std::function<void(THttpCli *Sender, QByteArray &S)>;
    using TSessionEvent = std::function<void(THttpCli *Sender, quint16 Error)>;
    using TSocksErrorEvent =
        std::function<void(THttpCli *Sender, qint32 Error, const QByteArray &Msg)>;
    using TSocksAuthStateEvent = std::function<void(THttpCli *Sender, TSocksAuthState AuthState)>;

    explicit THttpCli(QObject *Owner = nullptr);
    ~THttpCli() override;

#define VEXO_HTTP_TEXT(Name)                                                                       \
    const QByteArray &Name() const                                                                 \
    {                                                                                              \
        return F##Name;                                                                            \
    }                                                                                              \
    void Set##Name(const QByteArray &Value)                                                        \
    {                                                                                              \
        F##Name = Value;                                                                           \
    }

    // --- Published properties (defaults in the constructor).
    VEXO_HTTP_TEXT(URL)
    VEXO_HTTP_TEXT(LocalAddr)
    VEXO_HTTP_TEXT(Proxy)
    VEXO_HTTP_TEXT(ProxyPort)
    VEXO_HTTP_TEXT(Sender) // value of "From:"
    VEXO_HTTP_TEXT(Agent)
    VEXO_HTTP_TEXT(Accept)
    VEXO_HTTP_TEXT(AcceptLanguage)
    VEXO_HTTP_TEXT(Reference) // value of "Referer:"
    VEXO_HTTP_TEXT(ProxyUsername)
    VEXO_HTTP_TEXT(ProxyPassword)
    VEXO_HTTP_TEXT(Cookie)
    VEXO_HTTP_TEXT(ContentTypePost)
    VEXO_HTTP_TEXT(ContentRangeBegin)
    VEXO_HTTP_TEXT(ContentRangeEnd)
#undef VEXO_HTTP_TEXT
    // Origin-server credentials. A user and password in the URL, or in a
    // relocation, stand in for them during that request and its relocations
    // to the same host and port; a relocation elsewhere drops them, and every
    // request starts again from the values set here.
    const QByteArray &Username() const
    {
        return FUsername;
    }
    void SetUsername(const QByteArray &Value)
    {
        FUsername = FCallerUsername = Value;
    }
    const QByteArray &Password() const
    {
        return FPassword;
    }
    void SetPassword(const QByteArray &Value)
    {
        FPassword = FCallerPassword = Value;
    }
    // Whether a TLS peer must show a certificate that the trust store
    // vouches for and that names the host (default). Off, any certificate is
    // taken: the connection is still encrypted, but not authenticated.
    bool VerifyCertificates() const
    {
        return FVerifyCertificates;
    }
    void SetVerifyCertificates(bool Value)
    {
        FVerifyCertificates = Value;
    }
    bool NoCache() const
    {
        return FNoCache;
    }
    void SetNoCache(bool Value)
    {
        FNoCache = Value;
    }
    // Sends "If-Modified-Since:" when valid.
    const QDateTime &ModifiedSince() const
    {
        return FModifiedSince;
    }
    void SetModifiedSince(const QDateTime &Value)
    {
        FModifiedSince = Value;
    }
    const QByteArray &AcceptRanges() const
    {
        return FAcceptRanges;
    }
    bool MultiThreaded() const
    {
        return FMultiThreaded;
    }
    void SetMultiThreaded(bool Value);
    // A SOCKS proxy between the client and whatever it connects to (the
    // host of the address, or the HTTP proxy when one is set). The client
    // keeps these for its life, as it keeps Proxy: every connection of a
    // request, relocations included, goes through the same SOCKS proxy.
    // SocksPort defaults to 1080; SocksLevel takes "4", "4A" or "5" and
    // ignores anything else. SocksUsercode and SocksPassword are the version
    // 5 credentials (offered when SocksAuthentication asks for them) and the
    // version 4 user id; they go to the SOCKS proxy only.
    const QByteArray &SocksServer() const
    {
        return FSocksServer;
    }
    void SetSocksServer(const QByteArray &Value)
    {
        FSocksServer = Value;
    }
    const QByteArray &SocksLevel() const
    {
        return FSocksLevel;
    }
    void SetSocksLevel(const QByteArray &Value);
    const QByteArray &SocksPort() const
    {
        return FSocksPort;
    }
    void SetSocksPort(const QByteArray &Value)
    {
        FSocksPort = Value;
    }
    const QByteArray &SocksUsercode() const
    {
        return FSocksUsercode;
    }
    void SetSocksUsercode(const QByteArray &Value)
    {
        FSocksUsercode = Value;
    }
    const QByteArray &SocksPassword() const
    {
        return FSocksPassword;
    }
    void SetSocksPassword(const QByteArray &Value)
    {
        FSocksPassword = Value;
    }
    TSocksAuthentication SocksAuthentication() const
    {
        return FSocksAuthentication;
    }
    void SetSocksAuthentication(TSocksAuthentication V)
    {
        FSocksAuthentication = V;
    }
    // The number of the run's bot that owns the client; the client never
    // reads it.
    int BotNumber() const
    {
        return FBotNumber;
    }
    void SetBotNumber(int Value)
    {
        FBotNumber = Value;
    }
    qintptr Tag() const
    {
        return FTag;
    }
    void SetTag(qintptr Value)
    {
        FTag = Value;
    }

    // --- Run-time values.
    qint32 StatusCode() const
    {
        return FStatusCode;
    }
    const QByteArray &ReasonPhrase() const
    {
        return FReasonPhrase;
    }
    qint32 ContentLength() const
    {
        return FContentLength;
    }
    const QByteArray &ContentType() const
    {
        return FContentType;
    }
    qint32 RcvdCount() const
    {
        return FRcvdCount;
    }
    const QByteArrayList &ReceivedHeader() const
    {
        return FReceivedHeader;
    }
    const QByteArrayList &WWWAuthenticate() const
    {
        return FWWWAuthenticate;
    }
    QIODevice *BodyStream() const
    {
        return FBodyStream;
    }
    void SetBodyStream(QIODevice *Stream)
    {
        FBodyStream = Stream;
    }
    QIODevice *PostStream() const
    {
        return FPostStream;
    }
    void SetPostStream(QIODevice *Stream)
    {
        FPostStream = Stream;
    }
    const QByteArray &LastReceived() const
    {
        return FLastReceived;
    }
    const QByteArray &Location() const
    {
        return FLocation;
    }
    const QByteArray &DocumentName() const
    {
        return FDocumentName;
    }
    THttpState State() const
    {
        return FState;
    }
    THttpRequest RequestType() const
    {
        return FRequestType;
    }
    TWSocket *CtrlSocket() const
    {
        return FCtrlSocket;
    }
    // Relocations followed by the request under way (or the last one).
    int RelocationCount() const
    {
        return FRelocations;
    }
    // What the response made the client hold, in bytes: the header lines
    // listed, the "www-authenticate" values (each with the bookkeeping of its
    // list entry), bytes received but not yet taken, the last line or piece,
    // the reason phrase and the addresses a relocation computed. The limits
    // (util/Limits.h) keep it bounded whatever a peer sends.
    qint64 BytesHeld() const;

    // --- Operations. The start calls accept a request only in hsReady and
    // raise EHttpException "HTTP component is busy" (1) otherwise.
    void StartGet()
    {
        StartRequest(httpGET);
    }
    void StartHead()
    {
        StartRequest(httpHEAD);
    }
    // Sends PostStream after the header; without one raises "HTTP component
    // has nothing to post" (2).
    void StartPost()
    {
        StartRequest(httpPOST);
    }
    // Ends the request under way: one OnRequestDone follows (Error 3,
    // StatusCode 404, "Connection aborted on request"). Idle: nothing.
    void Abort();

    // --- Events; the first argument is always this client.
    TNotifyEvent OnTrace; // never raised
    TNotifyEvent OnSessionConnected;
    TNotifyEvent OnHeaderData;
    TOnCommand OnCommand;
    TNotifyEvent OnHeaderBegin;
    TNotifyEvent OnHeaderEnd;
    TNotifyEvent OnRequestHeaderBegin;
    TNotifyEvent OnRequestHeaderEnd;
    TNotifyEvent OnDocBegin;
    TDocDataEvent OnDocData; // Buffer is followed by a NUL byte; Len <= 8192
    TNotifyEvent OnDocEnd;
    TNotifyEvent OnSendBegin;
    TDocDataEvent OnSendData;
    TNotifyEvent OnSendEnd;
    TNotifyEvent OnStateChange;
    THttpRequestDone OnRequestDone;
    TNotifyEvent OnLocationChange;
    TCookieRcvdEvent OnCookie;
    TSessionEvent OnSocksConnected;
    TSocksAuthStateEvent OnSocksAuthState;
    TSocksErrorEvent OnSocksError;
    TNotifyEvent OnSocketError;
    TBeforeHeaderSendEvent OnBeforeHeaderSend;

protected:
    void customEvent(QEvent *Event) override;

private:
    // What the client waits for in the request under way. The published
    // State tells the connection's progress; Idle here means that no request
    // is under way or that its outcome is settled and hsReady is on its way,
    // so whatever the socket still reports is ignored.
    enum class TStep : quint8 {
        Idle,
        Connecting, // name lookup and connect
        Socks,      // the SOCKS proxy is asked for the connection
        Tunnel,     // CONNECT sent to the proxy, its answer awaited
        Handshake,  // the TLS handshake runs
        Header,     // request sent, no header line yet
        HeaderOpen, // between OnHeaderBegin and OnHeaderEnd
        Body,       // body pieces until the server closes
        Relocating, // the header named a new address; its close starts it
    };
    // How a request ends: read to its end (the connection closed, or left
    // open after a "content-length" of 0), failed for a reason of the
    // client's own, or aborted by the caller.
    enum class TEnd : quint8 { Read, Failed, Aborted };
    // The messages the client posts to itself.
    enum TMsgKind : int { mkRequestDone = 0, mkSetReady = 1, mkReconnect = 2 };
    // A header line must fit the receive buffer; body pieces are at most this.
    static constexpr qint32 RcvBufSize = limits::MaxHeaderLineBytes;

    // Remembers the request under way across a handler, which may free the
    // client, abort the request or start another one.
    struct TGuard
    {
        explicit TGuard(THttpCli *C) : Self(C), Id(C->FRequestId) {}
        // This object still exists and still works on the same request.
        bool Busy() const { return Self && Self->Busy(Id); }
        QPointer<THttpCli> Self;
        quint32 Id;
    };

    void StartRequest(THttpRequest Rq);
    void SetState(THttpState NewState);
    void PostMsg(TMsgKind Kind);
    void StartLookup();
    void SendRequest();
    QByteArray RequestURI() const;
    QByteArray AbsoluteAddress() const;
    // The address goes over TLS.
    bool Secure() const
    {
        return FURLProto == "https";
    }
    // The request itself goes to the proxy (a plain one; a secure one goes
    // through a tunnel to the host).
    bool ProxyInClear() const
    {
        return FUseProxy && !Secure();
    }
    bool Busy(quint32 Id) const;
    void CloseSocketQuietly();

    // The one place where a request ends: settles the outcome, closes the
    // header's or the body's bracket when open and, unless the response was
    // read to its end, the connection; hsReady (hence OnRequestDone)
    // follows through the event loop, or at once for an abort.
    void EndRequest(TEnd How);
    // Ends the request with StatusCode 404 and a reason of the client's own.
    void Fail(const QByteArray &Reason, quint16 Error = 0);
    // The one place where OnHeaderEnd is raised; the request goes on in the
    // step Next. Returns whether it is still the same request in the same
    // state afterwards.
    bool CloseHeader(TStep Next);

    // The connection carries requests: OnSessionConnected, then the request.
    void SessionReady();
    // Sends request bytes, through TLS when the connection has it.
    void Transmit(const char *Data, qint32 Len);
    // Space left in the receive buffer, its held bytes moved to the front.
    qint32 FreeSpace();
    // Takes Len bytes just placed after those held in the receive buffer.
    void ConsumeReceived(qint32 Len);
    // The connection is up (through the SOCKS proxy, when there is one):
    // the tunnel, TLS or the request follow.
    void ConnectionUp();
    // SOCKS (HttpSocks.cpp).
    void LookupSocksTarget();
    void StartSocks();
    void SocksData();
    void SocksFailed(const QByteArray &Reason, qint32 Code);
    // The tunnel and TLS (HttpTls.cpp).
    void StartTunnel();
    void TunnelData();
    void StartTls(const QByteArray &Early);
    void TlsDataAvailable();
    bool DriveHandshake();
    void PumpTls();
    void FlushTls();
    void DropTransport();
    void TransportClosed(quint16 Error);

    // Socket events.
    void SocketDnsLookupDone(quint16 Error);
    void SocketSessionConnected(quint16 Error);
    void SocketDataAvailable();
    void SocketDataSent();
    void SocketSessionClosed(quint16 Error);
    void SocketError();

    // Response.
    void ProcessLines();
    void HeaderLine(qint32 RawLen);
    bool HeaderField(const QByteArray &Line);
    void EndOfHeader();
    void BodyPiece(const char *Data, qint32 Len);
    void CloseStep(quint16 Error);
    bool LocationHeader(const QByteArray &Value);
    void RelocationStep();
    void AdjustDocName();

    TWSocket *FCtrlSocket;

    // Published.
    QByteArray FURL, FLocalAddr, FProxy, FProxyPort, FSender, FAgent, FAccept, FAcceptLanguage,
        FReference, FUsername, FPassword, FProxyUsername, FProxyPassword, FCookie, FContentTypePost,
        FContentRangeBegin, FContentRangeEnd, FAcceptRanges;
    bool FNoCache = false;
    bool FVerifyCertificates = true;
    QDateTime FModifiedSince;
    bool FMultiThreaded = false;
    qintptr FTag = 0;
    int FBotNumber = 0;
    QByteArray FSocksServer, FSocksPort, FSocksLevel, FSocksUsercode, FSocksPassword;
    TSocksAuthentication FSocksAuthentication = socksNoAuthentication;

    // Run-time.
    qint32 FStatusCode = 0;
    QByteArray FReasonPhrase;
    qint32 FContentLength = -1;
    QByteArray FContentType;
    qint32 FRcvdCount = 0;
    QByteArrayList FReceivedHeader;
    QByteArrayList FWWWAuthenticate;
    QIODevice *FBodyStream = nullptr;
    QIODevice *FPostStream = nullptr;
    QByteArray FLastReceived;
    QByteArray FLocation;
    QByteArray FDocumentName;
    THttpState FState = hsReady;
    THttpRequest FRequestType = httpGET;

    // Per request.
    quint32 FRequestId = 0; // serial of the request; posted news of older ones is ignored
    TStep FStep = TStep::Idle;
    QByteArray FCallerUsername, FCallerPassword; // as set by the caller
    bool FUseProxy = false;
    bool FUseSocks = false;
    QByteArray FSocksTarget;                               // the host the SOCKS proxy is asked for
    QByteArray FURLProto, FTargetHost, FURLPort, FURLPath; // where the request goes
    QByteArray FHostName, FPort;                           // what is connected to
    QByteArray FDnsResult;
    int FRelocations = 0;
    bool FAllowedToSend = false;
    qint32 FBytesSent = 0;
    quint16 FRequestDoneError = 0;
    // The connection's layers above the socket, while it has them.
    std::unique_ptr<TConnectAnswer> FTunnel;
    std::unique_ptr<TSocksAnswer> FSocks;
    std::unique_ptr<TTlsSession> FTls;

    // Per response.
    qint32 FHeaderLineCount = 0;
    qint32 FHeaderBytes = 0; // header bytes taken, line ends included
    qint32 FBodyLineCount = 0;
    bool FLocationSeen = false; // a "location" header named the next address
    qint32 FRcvdOff = 0;        // start of the bytes held
    qint32 FRcvdCnt = 0;        // end of the bytes held
    // RcvBufSize + 1 bytes from the first byte of an answer on (FreeSpace)
    // until the next request starts: a client waiting for its connection,
    // as most of a check run's bots do, holds none.
    std::unique_ptr<char[]> FRcvdBlock;
    char *FRcvdBuf = nullptr;
};

} // namespace net
