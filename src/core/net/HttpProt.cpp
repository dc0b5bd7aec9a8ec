#include "HttpProt.h"

#include "ConnectAnswer.h"
#include "HostCheck.h"
#include "SocksAnswer.h"
#include "TlsSession.h"

#include <QCoreApplication>
#include <QEvent>
#include <QIODevice>

namespace net {

namespace {

QEvent::Type MsgType(int Kind)
{
    static const QEvent::Type Types[3] = {QEvent::Type(QEvent::registerEventType()),
                                          QEvent::Type(QEvent::registerEventType()),
                                          QEvent::Type(QEvent::registerEventType())};
    return Types[Kind];
}

// A message the client posts to itself. Request-done carries the outcome as
// it stood when the request ended; the others name the request they belong
// to, so that one left over from an earlier request does nothing.
class THttpMsg : public QEvent
{
public:
    THttpMsg(int Kind, quint32 Id, THttpRequest Rq = httpGET, quint16 Error = 0)
        : QEvent(MsgType(Kind)), Id(Id), Rq(Rq), Error(Error)
    {
    }
    quint32 Id;
    THttpRequest Rq;
    quint16 Error;
};

QByteArray HttpDate(const QDateTime &When)
{
    static const char *const Days[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const Months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate D = When.date();
    const QTime T = When.time();
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%s, %2.2d %s %4.4d %2.2d:%2.2d:%2.2d", Days[D.dayOfWeek() - 1],
                  D.day(), Months[D.month() - 1], D.year(), T.hour(), T.minute(), T.second());
    return QByteArray(Buf) + " GMT";
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

THttpCli::THttpCli(QObject *Owner)
    : QObject(Owner), FCtrlSocket(new TWSocket(this)), FLocalAddr("0.0.0.0"), FProxyPort("80"),
      FAgent("Mozilla/3.0 (compatible)"),
      FAccept("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*"),
      FContentTypePost("application/x-www-form-urlencoded"), FSocksLevel("5")
{
    FCtrlSocket->OnSessionClosed = [this](TWSocket *, quint16 Error) {
        SocketSessionClosed(Error);
    };
    FCtrlSocket->OnDataAvailable = [this](TWSocket *, quint16) { SocketDataAvailable(); };
    FCtrlSocket->OnSessionConnected = [this](TWSocket *, quint16 Error) {
        SocketSessionConnected(Error);
    };
    FCtrlSocket->OnDnsLookupDone = [this](TWSocket *, quint16 Error) {
        SocketDnsLookupDone(Error);
    };
    FCtrlSocket->OnError = [this](TWSocket *) { SocketError(); };
}

THttpCli::~THttpCli()
{
    // The socket closes a live connection without raising any event.
    delete FCtrlSocket;
    FCtrlSocket = nullptr;
}

void THttpCli::SetSocksLevel(const QByteArray &Value)
{
    TSocksAnswer::TLevel Level;
    if (TSocksAnswer::LevelFromText(Value, Level))
        FSocksLevel = Value.trimmed().toUpper();
}

void THttpCli::SetMultiThreaded(bool Value)
{
    FMultiThreaded = Value;
    FCtrlSocket->SetMultiThreaded(Value);
}

// ---------------------------------------------------------------------------
// State and completion

bool THttpCli::Busy(quint32 Id) const
{
    return Id == FRequestId && FStep != TStep::Idle && FState != hsAborting;
}

void THttpCli::PostMsg(TMsgKind Kind)
{
    QCoreApplication::postEvent(this,
                                new THttpMsg(Kind, FRequestId, FRequestType, FRequestDoneError));
}

void THttpCli::SetState(THttpState NewState)
{
    if (FState == NewState)
        return;
    FState = NewState;
    if (NewState == hsReady)
        PostMsg(mkRequestDone);
    if (OnStateChange)
        OnStateChange(this);
}

void THttpCli::customEvent(QEvent *Event)
{
    const QEvent::Type T = Event->type();
    if (T != MsgType(mkRequestDone) && T != MsgType(mkSetReady) && T != MsgType(mkReconnect)) {
        QObject::customEvent(Event);
        return;
    }
    auto *Msg = static_cast<THttpMsg *>(Event);
    if (T == MsgType(mkRequestDone)) {
        // Copied first: the handler may attach another one or free the client,
        // and nothing of this object is touched once it returns.
        const THttpRequestDone Handler = OnRequestDone;
        if (Handler) {
            try {
                Handler(this, Msg->Rq, Msg->Error);
            } catch (...) {
                // Exceptions must not travel into the event loop.
            }
        }
        return;
    }
    if (T == MsgType(mkSetReady)) {
        if (Msg->Id == FRequestId)
            SetState(hsReady);
        return;
    }
    // A reconnect left over from a request that was aborted meanwhile, or
    // from an earlier one, does nothing.
    if (Busy(Msg->Id))
        StartLookup();
}

void THttpCli::CloseSocketQuietly()
{
    if (FCtrlSocket->State() == wsClosed && FCtrlSocket->HSocket() < 0)
        return;
    try {
        FCtrlSocket->Abort();
    } catch (...) {
    }
}

bool THttpCli::CloseHeader(TStep Next)
{
    FStep = Next;
    if (!OnHeaderEnd)
        return true;
    const THttpState At = FState;
    const TGuard G(this);
    OnHeaderEnd(this);
    return G.Self && G.Id == FRequestId && FState == At && FStep == Next;
}

void THttpCli::EndRequest(TEnd How)
{
    const bool HeaderOpen = FStep == TStep::HeaderOpen;
    const bool BodyOpen = FStep == TStep::Body && FBodyLineCount > 0;
    FRcvdOff = FRcvdCnt = 0;
    if (HeaderOpen) {
        if (!CloseHeader(TStep::Idle))
            return;
    } else {
        // Settled from here on: whatever the socket still reports is ignored.
        FStep = TStep::Idle;
        if (BodyOpen && OnDocEnd) {
            const THttpState At = FState;
            const TGuard G(this);
            OnDocEnd(this);
            if (!G.Self || G.Id != FRequestId || FState != At)
                return;
        }
    }
    FAllowedToSend = false;
    DropTransport();
    if (How != TEnd::Read)
        CloseSocketQuietly();
    if (How == TEnd::Aborted)
        SetState(hsReady);
    else
        PostMsg(mkSetReady);
}

void THttpCli::Fail(const QByteArray &Reason, quint16 Error)
{
    FStatusCode = 404;
    FReasonPhrase = Reason;
    if (Error)
        FRequestDoneError = Error;
    EndRequest(TEnd::Failed);
}

qint64 THttpCli::BytesHeld() const
{
    constexpr qint64 EntryCost = qint64(sizeof(QByteArray)) + 16;
    qint64 Held = (FRcvdCnt - FRcvdOff) + FLastReceived.size() + FReasonPhrase.size() +
                  FLocation.size() + FURLPath.size() + FTargetHost.size();
    if (FTunnel)
        Held += FTunnel->BytesHeld();
    if (FSocks)
        Held += FSocks->BytesHeld();
    if (FTls)
        Held += FTls->BytesBuffered();
    for (const QByteArray &Line : FReceivedHeader)
        Held += Line.size() + EntryCost;
    for (const QByteArray &Value : FWWWAuthenticate)
        Held += Value.size() + EntryCost;
    return Held;
}

// ---------------------------------------------------------------------------
// Starting a request

void THttpCli::StartRequest(THttpRequest Rq)
{
    if (FState != hsReady)
        throw EHttpException(QByteArrayLiteral("HTTP component is busy"), 1);
    if (Rq == httpPOST && FPostStream == nullptr)
        throw EHttpException(QByteArrayLiteral("HTTP component has nothing to post"), 2);

    // A connection that the last response left open (it ended by a
    // content-length of 0) is closed first, without news of its own.
    CloseSocketQuietly();
    DropTransport();
    FCtrlSocket->CancelLookup();
    const quint32 Id = ++FRequestId;
    FStep = TStep::Connecting;
    FRcvdOff = FRcvdCnt = 0;
    // Until the answer's first byte the request holds no receive buffer.
    FRcvdBlock.reset();
    FRcvdBuf = nullptr;

    SetState(hsNotConnected);
    if (!Busy(Id))
        return; // aborted by the state-change handler
    FRequestType = Rq;
    FReceivedHeader.clear();
    FWWWAuthenticate.clear();
    FRequestDoneError = 0;
    FDocumentName.clear();
    FStatusCode = 0;
    FRcvdCount = 0;
    FBytesSent = 0;
    FHeaderLineCount = 0;
    FHeaderBytes = 0;
    FBodyLineCount = 0;
    FLocationSeen = false;
    FRelocations = 0;
    FContentLength = -1;
    FContentType.clear();
    FAllowedToSend = false;
    FLocation = FURL;

    // Credentials of an earlier URL or relocation stay with that request.
    FUsername = FCallerUsername;
    FPassword = FCallerPassword;
    const TURLParts P = ParseURL(FURL);
    if (!P.User.isEmpty())
        FUsername = P.User;
    if (!P.Pass.isEmpty())
        FPassword = P.Pass;
    FURLProto = P.Proto;
    FTargetHost = P.Host;
    FURLPort = P.Port;
    FURLPath = P.Path;
    FUseProxy = !FProxy.isEmpty();
    FUseSocks = !FSocksServer.isEmpty();
    if (!FUseProxy) {
        FHostName = P.Host;
        FPort = !P.Port.isEmpty() ? P.Port
                : Secure()        ? QByteArrayLiteral("443")
                                  : QByteArrayLiteral("80");
    } else {
        // Blanks around a proxy's host, as typed or listed, are no part of it.
        const TURLParts Q = ParseURL(FProxy);
        FHostName = TrimmedBlanks(Q.Host);
        FPort = Q.Port.isEmpty() ? FProxyPort : Q.Port;
    }
    FDocumentName = DocNameFromPath(P.Path);
    // Only a POST has anything to send once the header is out; the other
    // requests spare the socket its posted send notification.
    if (Rq == httpPOST) {
        FPostStream->seek(0);
        FCtrlSocket->OnDataSent = [this](TWSocket *, quint16) { SocketDataSent(); };
    } else {
        FCtrlSocket->OnDataSent = nullptr;
    }
    // Control bytes would split the request on the wire; through a proxy the
    // port stands in the request line, where a space would too. A host that
    // no machine can have is refused before anything is looked up (an empty
    // one fails in the lookup, as it always has).
    const auto BadHost = [](const QByteArray &H) { return !H.isEmpty() && !IsValidHost(H); };
    if (HasControlByte(FURL) || BadHost(FTargetHost) || BadHost(FHostName) ||
        (FUseProxy && HasBlankOrControl(FURLPort))) {
        Fail(QByteArrayLiteral("Invalid URL"));
        return;
    }
    if (FUseSocks && !IsValidHost(FSocksServer)) {
        SocksFailed(QByteArrayLiteral("SOCKS: invalid proxy host"), 0);
        return;
    }
    StartLookup();
}

QByteArray THttpCli::RequestURI() const
{
    // Spaces are sent encoded: raw, they would split the request line.
    if (!ProxyInClear())
        return FURLPath.isEmpty() ? QByteArrayLiteral("/") : SpacesEncoded(FURLPath);
    QByteArray U = FURLProto.isEmpty() ? QByteArrayLiteral("http") : FURLProto;
    U += "://" + FTargetHost;
    if (!FURLPort.isEmpty())
        U += ':' + FURLPort;
    return U + SpacesEncoded(FURLPath);
}

QByteArray THttpCli::AbsoluteAddress() const
{
    QByteArray U = FURLProto.isEmpty() ? QByteArrayLiteral("http") : FURLProto;
    U += "://" + FTargetHost;
    if (!FURLPort.isEmpty())
        U += ':' + FURLPort;
    return U + (FURLPath.isEmpty() ? QByteArrayLiteral("/") : FURLPath);
}

// ---------------------------------------------------------------------------
// Name lookup and connect

void THttpCli::StartLookup()
{
    const quint32 Id = FRequestId;
    FDnsResult.clear();
    SetState(hsDnsLookup);
    if (!Busy(Id))
        return;
    try {
        if (FCtrlSocket->LocalAddr() != FLocalAddr)
            FCtrlSocket->SetLocalAddr(FLocalAddr);
        FSocksTarget = FHostName;
        if (FUseSocks && FSocksLevel == "4" && !WSocketIsDottedIP(FHostName))
            LookupSocksTarget();
        else
            FCtrlSocket->DnsLookup(FUseSocks ? FSocksServer : FHostName);
    } catch (const std::exception &E) {
        if (Busy(Id))
            Fail(QByteArray(E.what()));
    }
}

void THttpCli::SocketDnsLookupDone(quint16 Error)
{
    if (FState != hsDnsLookup || FStep != TStep::Connecting)
        return;
    if (Error) {
        FRequestDoneError = Error;
        FStatusCode = 404;
        FReasonPhrase = QByteArrayLiteral("can't resolve hostname to IP address");
        CloseStep(Error);
        return;
    }
    const quint32 Id = FRequestId;
    FDnsResult = FCtrlSocket->DnsResult();
    SetState(hsDnsLookupDone);
    if (!Busy(Id))
        return;
    try {
        FCtrlSocket->SetAddr(FDnsResult);
        FCtrlSocket->SetLocalAddr(FLocalAddr);
        FCtrlSocket->SetPort(!FUseSocks             ? FPort
                             : FSocksPort.isEmpty() ? QByteArrayLiteral("1080")
                                                    : FSocksPort);
        FCtrlSocket->SetProto(QByteArrayLiteral("tcp"));
        FCtrlSocket->Connect();
    } catch (const ESocketException &) {
        if (!Busy(Id))
            return;
        const qint32 Code = FCtrlSocket->LastError() ? FCtrlSocket->LastError() : WSAEINVAL;
        Fail("can't connect: " + WSocketErrorDesc(Code) + " (Error #" + QByteArray::number(Code) +
                 ")",
             quint16(Code));
    }
}

void THttpCli::SocketSessionConnected(quint16 Error)
{
    if (FState != hsDnsLookupDone || FStep != TStep::Connecting)
        return;
    if (Error) {
        FRequestDoneError = Error;
        FStatusCode = 404;
        FReasonPhrase = WSocketErrorDesc(Error) + " (Error #" + QByteArray::number(Error) + ")";
        CloseStep(Error);
        return;
    }
    const quint32 Id = FRequestId;
    SetState(hsConnected);
    if (!Busy(Id))
        return;
    if (FUseSocks)
        StartSocks();
    else
        ConnectionUp();
}

void THttpCli::ConnectionUp()
{
    if (Secure()) {
        if (FUseProxy)
            StartTunnel();
        else
            StartTls({});
        return;
    }
    SessionReady();
}

void THttpCli::SessionReady()
{
    const quint32 Id = FRequestId;
    if (OnSessionConnected) {
        OnSessionConnected(this);
        if (!Busy(Id))
            return;
    }
    FStep = TStep::Header;
    SetState(hsWaitingHeader);
    if (!Busy(Id))
        return;
    SendRequest();
}

// Errors that the socket reports through its error event: during a request
// that is under way, the connection is closed and the request ends.
void THttpCli::SocketError()
{
    const quint32 Id = FRequestId;
    if (OnSocketError) {
        QPointer<THttpCli> Self(this);
        OnSocketError(this);
        if (!Self)
            return;
    }
    // The lookup reports its own end through OnDnsLookupDone.
    if (!Busy(Id) || FState == hsDnsLookup || FState == hsNotConnected)
        return;
    const qint32 Code = FCtrlSocket->LastError() ? FCtrlSocket->LastError() : WSAEINVAL;
    const QByteArray &Msg = FCtrlSocket->LastErrorMessage();
    QByteArray Reason = Msg.startsWith("Error ") || Msg.isEmpty()
                            ? WSocketErrorDesc(Code) + " (Error #" + QByteArray::number(Code) + ")"
                            : Msg;
    if (FState == hsDnsLookupDone)
        Reason = "can't connect: " + Reason;
    Fail(Reason, quint16(Code));
}

// ---------------------------------------------------------------------------
// The request

void THttpCli::SendRequest()
{
    const quint32 Id = FRequestId;
    QPointer<THttpCli> Self(this);
    auto Alive = [&] { return Self && Busy(Id); };

    if (OnRequestHeaderBegin) {
        OnRequestHeaderBegin(this);
        if (!Alive())
            return;
    }
    const QByteArray Method = FRequestType == httpPOST   ? QByteArrayLiteral("POST")
                              : FRequestType == httpHEAD ? QByteArrayLiteral("HEAD")
                                                         : QByteArrayLiteral("GET");
    QByteArrayList Headers;
    Headers.reserve(8);
    Headers.append(Method + ' ' + RequestURI() + " HTTP/1.0");
    if (!FSender.isEmpty())
        Headers.append("From: " + FSender);
    if (!FAccept.isEmpty())
        Headers.append("Accept: " + FAccept);
    if (!FReference.isEmpty())
        Headers.append("Referer: " + FReference);
    if (!FAcceptLanguage.isEmpty())
        Headers.append("Accept-Language: " + FAcceptLanguage);
    if (FRequestType == httpPOST && !FContentTypePost.isEmpty())
        Headers.append("Content-Type: " + FContentTypePost);
    if (!FAgent.isEmpty())
        Headers.append("User-Agent: " + FAgent);
    Headers.append("Host: " + FTargetHost);
    if (FNoCache)
        Headers.append(QByteArrayLiteral("Pragma: no-cache"));
    if (FRequestType == httpPOST)
        Headers.append("Content-Length: " + QByteArray::number(FPostStream->size()));
    if (FModifiedSince.isValid())
        Headers.append("If-Modified-Since: " + HttpDate(FModifiedSince));
    if (!FUsername.isEmpty())
        Headers.append("Authorization: Basic " + (FUsername + ':' + FPassword).toBase64());
    if (ProxyInClear() && !FProxyUsername.isEmpty()) {
        Headers.append("Proxy-Authorization: Basic " +
                       (FProxyUsername + ':' + FProxyPassword).toBase64());
    }
    if (!FCookie.isEmpty())
        Headers.append("Cookie: " + FCookie);
    if (!FContentRangeBegin.isEmpty() || !FContentRangeEnd.isEmpty()) {
        Headers.append("Range: bytes=" + FContentRangeBegin + '-' + FContentRangeEnd);
        FContentRangeBegin.clear();
        FContentRangeEnd.clear();
    }
    FAcceptRanges.clear();

    if (OnBeforeHeaderSend) {
        OnBeforeHeaderSend(this, Method, Headers);
        if (!Alive())
            return;
    }
    QByteArray Stream;
    Stream.reserve(512);
    for (QByteArray &Line : Headers) {
        if (OnCommand) {
            OnCommand(this, Line);
            if (!Alive())
                return;
        }
        if (!Line.isEmpty())
            Stream += Line;
        Stream += "\r\n";
    }
    if (OnRequestHeaderEnd) {
        OnRequestHeaderEnd(this);
        if (!Alive())
            return;
    }
    Stream += "\r\n";
    if (FRequestType == httpPOST)
        FAllowedToSend = true;
    Transmit(Stream.constData(), qint32(Stream.size()));
}

void THttpCli::Transmit(const char *Data, qint32 Len)
{
    if (!FTls) {
        FCtrlSocket->Send(Data, Len);
        return;
    }
    if (!FTls->Write(Data, Len)) {
        Fail(FTls->Error());
        return;
    }
    FlushTls();
}

// The body of a POST goes out piece by piece, each when the last has been
// taken by the socket. OnSendEnd follows the last piece at once, so that it
// comes exactly once even when the answer is quicker than the socket's news.
void THttpCli::SocketDataSent()
{
    if (FRequestType != httpPOST || !FAllowedToSend || !Busy(FRequestId) || !FPostStream)
        return;
    const TGuard G(this);
    if (FBytesSent == 0 && OnSendBegin) {
        OnSendBegin(this);
        if (!G.Busy())
            return;
    }
    char Chunk[RcvBufSize + 1];
    const qint64 Len = FPostStream->read(Chunk, sizeof Chunk);
    if (Len > 0) {
        FBytesSent += qint32(Len);
        Transmit(Chunk, qint32(Len));
        if (!G.Busy())
            return;
        if (OnSendData) {
            OnSendData(this, Chunk, qint32(Len));
            if (!G.Busy())
                return;
        }
        if (!FPostStream->atEnd())
            return;
    }
    FAllowedToSend = false;
    if (OnSendEnd)
        OnSendEnd(this);
}

// ---------------------------------------------------------------------------
// Abort

void THttpCli::Abort()
{
    if (FState == hsReady) {
        CloseSocketQuietly();
        return;
    }
    if (FState == hsAborting)
        return;
    const TGuard G(this);
    SetState(hsAborting);
    if (!G.Self || G.Id != FRequestId || FState != hsAborting)
        return;
    FStatusCode = 404;
    FReasonPhrase = QByteArrayLiteral("Connection aborted on request");
    FRequestDoneError = httperrAborted;
    EndRequest(TEnd::Aborted);
}

} // namespace net
