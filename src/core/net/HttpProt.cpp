#include "HttpProt.h"

#include <QCoreApplication>
#include <QEvent>
#include <QIODevice>
#include <QPointer>

#include <cstring>
#include <limits>

namespace net {

// ---------------------------------------------------------------------------
// Address parser

namespace {

QByteArray CutAfterLastSlash(const QByteArray &Path)
{
    const qsizetype P = Path.lastIndexOf('/');
    return P < 0 ? QByteArrayLiteral("/") : Path.left(P + 1);
}

bool IsSchemeChar(char C)
{
    return (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '+' || C == '-' || C == '.';
}

bool StartsWithNoCase(const QByteArray &S, const char *Prefix)
{
    const qsizetype N = qsizetype(std::strlen(Prefix));
    return S.size() >= N && qstrnicmp(S.constData(), Prefix, N) == 0;
}

} // namespace

TURLParts ParseURL(const QByteArray &URL, const QByteArray &BasePath)
{
    TURLParts R;
    if (URL.isEmpty())
        return R;

    // Relative to the directory of the base path.
    if (URL.startsWith("./")) {
        R.Path = CutAfterLastSlash(BasePath) + URL.mid(2);
        return R;
    }
    // Relative to its parent, one level up for each leading "../".
    if (URL.startsWith("../")) {
        QByteArray Base = CutAfterLastSlash(BasePath);
        QByteArray Rest = URL;
        while (Rest.startsWith("../")) {
            Rest = Rest.mid(3);
            if (Base.endsWith('/'))
                Base.chop(1);
            Base = CutAfterLastSlash(Base);
        }
        R.Path = Base + Rest;
        return R;
    }

    QByteArray Rest;
    bool SchemeTaken = false;
    const qsizetype Sep = URL.indexOf("://");
    if (Sep >= 0) {
        bool Plain = true;
        for (qsizetype I = 0; I < Sep && Plain; ++I)
            Plain = IsSchemeChar(URL[I]);
        if (Plain) {
            R.Proto = URL.left(Sep);
            Rest = URL.mid(Sep + 3);
            SchemeTaken = true;
        } else {
            R.Proto = QByteArrayLiteral("http");
        }
    }
    if (!SchemeTaken) {
        if (URL.startsWith('/')) {
            R.Proto = QByteArrayLiteral("http");
            if (URL.size() < 2 || URL[1] != '/') {
                R.Path = URL;
                return R;
            }
            Rest = URL.mid(1);
        } else if (StartsWithNoCase(URL, "http:")) {
            R.Proto = QByteArrayLiteral("http");
            if (URL.size() > 6 && URL[6] != '/') {
                R.Path = URL.mid(5);
                return R;
            }
            Rest = URL.mid(6);
        } else if (StartsWithNoCase(URL, "mailto:")) {
            R.Proto = QByteArrayLiteral("mailto");
            Rest = URL.mid(URL.indexOf(':') + 1);
        } else {
            Rest = URL;
        }
    }

    // The path begins at the first "/", or at the first "?" when that comes
    // earlier; what lies before it is the authority.
    qsizetype PathStart = Rest.indexOf('/');
    const qsizetype Query = Rest.indexOf('?');
    if (Query >= 0 && (PathStart < 0 || Query < PathStart))
        PathStart = Query;
    QByteArray Authority = Rest;
    if (PathStart >= 0) {
        R.Path = Rest.mid(PathStart);
        Authority = Rest.left(PathStart);
    }

    const qsizetype Colon = Authority.lastIndexOf(':');
    const qsizetype At = Authority.lastIndexOf('@');
    if (Colon < 0 && At < 0) {
        R.Host = Authority;
        return R;
    }
    if (At < Colon) {
        R.Port = Authority.mid(Colon + 1);
        R.Host = Authority.mid(At + 1, Colon - At - 1);
        if (At < 0)
            return R;
    } else {
        R.Host = Authority.mid(At + 1);
    }
    const QByteArray Credentials = Authority.left(At);
    const qsizetype Split = Credentials.indexOf(':');
    if (Split < 0) {
        R.User = Credentials;
    } else {
        R.User = Credentials.left(Split);
        R.Pass = Credentials.mid(Split + 1);
    }
    return R;
}

// ---------------------------------------------------------------------------
// Helpers

namespace {

enum TMsgKind { mkRequestDone = 0, mkSetReady = 1, mkReconnect = 2 };

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

// A decimal number with optional leading spaces and sign and nothing after
// it, within 32 bits.
bool ToInt32(const QByteArray &S, qint32 &Out)
{
    qsizetype I = 0;
    while (I < S.size() && S[I] == ' ')
        ++I;
    bool Negative = false;
    if (I < S.size() && (S[I] == '-' || S[I] == '+')) {
        Negative = S[I] == '-';
        ++I;
    }
    if (I >= S.size())
        return false;
    qint64 Value = 0;
    for (; I < S.size(); ++I) {
        if (S[I] < '0' || S[I] > '9')
            return false;
        Value = Value * 10 + (S[I] - '0');
        if (Value > qint64(std::numeric_limits<qint32>::max()) + 1)
            return false;
    }
    if (Negative)
        Value = -Value;
    if (Value > std::numeric_limits<qint32>::max())
        return false;
    Out = qint32(Value);
    return true;
}

QByteArray DocNameFromPath(const QByteArray &Path)
{
    QByteArray P = Path;
    const qsizetype Q = P.indexOf('?');
    if (Q >= 0)
        P.truncate(Q);
    const QByteArray Name = P.mid(P.lastIndexOf('/') + 1);
    return Name.isEmpty() ? QByteArrayLiteral("document.htm") : Name;
}

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
      FContentTypePost("application/x-www-form-urlencoded")
{
    FRcvdBuf[0] = 0;
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
    FCtrlSocket->OnSocksError = [this](TWSocket *, qint32 Error, const QByteArray &Msg) {
        if (OnSocksError)
            OnSocksError(this, Error, Msg);
    };
    FCtrlSocket->OnSocksConnected = [this](TWSocket *, quint16 Error) {
        if (OnSocksConnected)
            OnSocksConnected(this, Error);
    };
    FCtrlSocket->OnSocksAuthState = [this](TWSocket *, TSocksAuthState S) {
        if (OnSocksAuthState)
            OnSocksAuthState(this, S);
    };
    FCtrlSocket->OnError = [this](TWSocket *) { SocketError(); };
}

THttpCli::~THttpCli()
{
    // The socket closes a live connection without raising any event.
    delete FCtrlSocket;
    FCtrlSocket = nullptr;
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
    return Id == FRequestId && FState != hsReady && FState != hsAborting && !FResponseDone;
}

void THttpCli::PostMsg(int Kind)
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
    if (T == MsgType(mkReconnect)) {
        // A reconnect left over from a request that was aborted meanwhile, or
        // from an earlier one, does nothing.
        if (Msg->Id == FRequestId && FState != hsReady && FState != hsAborting)
            StartLookup();
    }
}

void THttpCli::CloseSocketQuietly()
{
    if (FCtrlSocket->State() == wsClosed && FCtrlSocket->HSocket() < 0)
        return;
    const bool Saved = FMuteClose;
    FMuteClose = true;
    FCtrlSocket->Abort();
    FMuteClose = Saved;
}

void THttpCli::FailRequest(const QByteArray &Reason, quint16 Error)
{
    FStatusCode = 404;
    FReasonPhrase = Reason;
    if (Error)
        FRequestDoneError = Error;
    FResponseDone = true;
    FConnected = false;
    FNext = nsNone;
    FCloseStep = csNormal;
    FRcvdOff = FRcvdCnt = 0;
    CloseSocketQuietly();
    SetState(hsReady);
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
    FCtrlSocket->CancelLookup();
    FCloseStep = csNormal;
    const quint32 Id = ++FRequestId;
    FResponseDone = false;
    FHeaderOpen = false;
    FLocationFlag = false;
    FConnected = false;
    FNext = nsNone;
    FRcvdOff = FRcvdCnt = 0;

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
    FBodyLineCount = 0;
    FContentLength = -1;
    FContentType.clear();
    FAllowedToSend = false;
    FLocation = FURL;

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
    if (!FUseProxy) {
        FHostName = P.Host;
        FPort = P.Port.isEmpty() ? QByteArrayLiteral("80") : P.Port;
    } else {
        const TURLParts Q = ParseURL(FProxy);
        FHostName = Q.Host;
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
    StartLookup();
}

QByteArray THttpCli::RequestURI() const
{
    if (!FUseProxy)
        return FURLPath.isEmpty() ? QByteArrayLiteral("/") : FURLPath;
    QByteArray U = FURLProto.isEmpty() ? QByteArrayLiteral("http") : FURLProto;
    U += "://" + FTargetHost;
    if (!FURLPort.isEmpty())
        U += ':' + FURLPort;
    return U + FURLPath;
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
        FCtrlSocket->DnsLookup(FHostName);
    } catch (const std::exception &E) {
        if (!Busy(Id))
            return;
        FStatusCode = 404;
        FReasonPhrase = QByteArray(E.what());
        FConnected = false;
        FResponseDone = true;
        SetState(hsReady);
    }
}

void THttpCli::SocketDnsLookupDone(quint16 Error)
{
    if (FState != hsDnsLookup || FResponseDone)
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
        FCtrlSocket->SetPort(FPort);
        FCtrlSocket->SetProto(QByteArrayLiteral("tcp"));
        FCtrlSocket->Connect();
    } catch (const ESocketException &) {
        if (!Busy(Id))
            return;
        const qint32 Code = FCtrlSocket->LastError() ? FCtrlSocket->LastError() : WSAEINVAL;
        FRequestDoneError = quint16(Code);
        FStatusCode = 404;
        FReasonPhrase = "can't connect: " + WSocketErrorDesc(Code) + " (Error #" +
                        QByteArray::number(Code) + ")";
        CloseSocketQuietly();
        CloseStep(quint16(Code));
    }
}

void THttpCli::SocketSessionConnected(quint16 Error)
{
    if (FState != hsDnsLookupDone || FResponseDone)
        return;
    if (Error) {
        FRequestDoneError = Error;
        FStatusCode = 404;
        FReasonPhrase = WSocketErrorDesc(Error) + " (Error #" + QByteArray::number(Error) + ")";
        CloseStep(Error);
        return;
    }
    const quint32 Id = FRequestId;
    FConnected = true;
    SetState(hsConnected);
    if (!Busy(Id))
        return;
    if (OnSessionConnected) {
        OnSessionConnected(this);
        if (!Busy(Id))
            return;
    }
    FNext = nsHeaderLine;
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
    FailRequest(Reason, quint16(Code));
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
    if (FUseProxy && !FProxyUsername.isEmpty()) {
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
    FCtrlSocket->Send(Stream.constData(), qint32(Stream.size()));
}

// The body of a POST goes out piece by piece, each when the last has been
// taken by the socket.
void THttpCli::SocketDataSent()
{
    if (FRequestType != httpPOST || !FAllowedToSend || !Busy(FRequestId) || !FPostStream)
        return;
    const quint32 Id = FRequestId;
    QPointer<THttpCli> Self(this);
    if (FBytesSent == 0 && OnSendBegin) {
        OnSendBegin(this);
        if (!Self || !Busy(Id))
            return;
    }
    char Chunk[RcvBufSize + 1];
    const qint64 Len = FPostStream->read(Chunk, sizeof Chunk);
    if (Len <= 0) {
        FAllowedToSend = false;
        if (OnSendEnd)
            OnSendEnd(this);
        return;
    }
    FBytesSent += qint32(Len);
    FCtrlSocket->Send(Chunk, qint32(Len));
    if (Self && Busy(Id) && OnSendData)
        OnSendData(this, Chunk, qint32(Len));
}

// ---------------------------------------------------------------------------
// Receiving

void THttpCli::SocketDataAvailable()
{
    if (!Busy(FRequestId) || FRequestType == httpAbort) {
        // Nothing is waiting for these bytes (the last response ended by its
        // content-length): read and drop them.
        char Junk[4096];
        FCtrlSocket->Receive(Junk, sizeof Junk);
        return;
    }
    if (FRcvdOff > 0) {
        std::memmove(FRcvdBuf, FRcvdBuf + FRcvdOff, size_t(FRcvdCnt - FRcvdOff));
        FRcvdCnt -= FRcvdOff;
        FRcvdOff = 0;
    }
    const qint32 Free = RcvBufSize - FRcvdCnt;
    if (Free <= 0) {
        // 8192 bytes without a line end: no header line is that long.
        FailRequest(QByteArrayLiteral("HTTP line too long"), 0);
        return;
    }
    const qint32 Len = FCtrlSocket->Receive(FRcvdBuf + FRcvdCnt, Free);
    if (Len <= 0)
        return;
    FRcvdCnt += Len;
    FRcvdBuf[FRcvdCnt] = 0;

    if (FState == hsWaitingBody) {
        const qint32 Count = FRcvdCnt;
        FRcvdCnt = 0;
        FLastReceived = QByteArray(FRcvdBuf, Count);
        if (FNext == nsBody)
            BodyPiece(FLastReceived.constData(), Count);
        else
            PostMsg(mkSetReady);
        return;
    }
    ProcessLines();
}

void THttpCli::ProcessLines()
{
    const quint32 Id = FRequestId;
    QPointer<THttpCli> Self(this);
    // A line ends at the first LF before the first NUL byte held.
    const void *Nul = std::memchr(FRcvdBuf + FRcvdOff, 0, size_t(FRcvdCnt - FRcvdOff));
    const qint32 Limit = Nul ? qint32(static_cast<const char *>(Nul) - FRcvdBuf) : FRcvdCnt;
    while (FRcvdOff < FRcvdCnt) {
        char *Start = FRcvdBuf + FRcvdOff;
        auto *Lf = static_cast<char *>(std::memchr(Start, '\n', size_t(Limit - FRcvdOff)));
        if (Lf == nullptr)
            break;
        qint32 LineLen = qint32(Lf - Start);
        FRcvdOff += LineLen + 1;
        if (LineLen > 0 && Start[LineLen - 1] == '\r')
            --LineLen;
        FLastReceived = QByteArray(Start, LineLen);
        if (FState != hsWaitingHeader && FState != hsWaitingBody)
            continue;
        if (FNext == nsHeaderLine)
            HeaderLine();
        else if (FNext == nsBody)
            BodyPiece(FLastReceived.constData(), qint32(FLastReceived.size()));
        else
            PostMsg(mkSetReady);
        if (!Self || !Busy(Id))
            return;
    }
    if (FRcvdOff >= FRcvdCnt)
        FRcvdOff = FRcvdCnt = 0;
}

void THttpCli::HeaderLine()
{
    const quint32 Id = FRequestId;
    QPointer<THttpCli> Self(this);
    auto Alive = [&] { return Self && Busy(Id); };

    if (FHeaderLineCount == 0) {
        FHeaderOpen = true;
        if (OnHeaderBegin) {
            OnHeaderBegin(this);
            if (!Alive())
                return;
        }
    }
    ++FHeaderLineCount;
    const QByteArray Line = FLastReceived;

    if (Line.size() >= 6 && qstrnicmp(Line.constData(), "<HTML>", 6) == 0) {
        // No header at all: the page starts right here.
        if (FContentType.isEmpty())
            FContentType = QByteArrayLiteral("text/html");
        SetState(hsWaitingBody);
        if (!Alive())
            return;
        FNext = nsBody;
        FHeaderOpen = false;
        if (OnHeaderEnd) {
            OnHeaderEnd(this);
            if (!Alive())
                return;
        }
        BodyPiece(Line.constData(), qint32(Line.size()));
        return;
    }
    if (Line.isEmpty()) {
        EndOfHeader();
        return;
    }

    FReceivedHeader.append(Line);
    if (Line.startsWith("HTTP/1.0") || Line.startsWith("HTTP/1.1")) {
        qint32 Code = 0;
        if (!ToInt32(Line.mid(9, 3), Code)) {
            FailRequest("Invalid status code '" + Line.mid(9, 3) + "' in HTTP response", 0);
            return;
        }
        FStatusCode = Code;
        FReasonPhrase = Line.mid(13);
    } else if (const qsizetype Colon = Line.indexOf(':'); Colon >= 0) {
        const QByteArray Name = Line.left(Colon).toLower();
        qsizetype Start = Colon + 1;
        while (Start < Line.size() && Line[Start] == ' ')
            ++Start;
        if (Start > Line.size() - 1)
            Start = Line.size() - 1;
        const QByteArray Value = Line.mid(Start);
        if (Name == "location") {
            LocationHeader(Value);
        } else if (Name == "content-length") {
            qint32 Len = 0;
            if (!ToInt32(Value.trimmed(), Len)) {
                FailRequest("Invalid content-length '" + Value.trimmed() + "' in HTTP response", 0);
                return;
            }
            FContentLength = Len;
        } else if (Name == "content-range") {
            const qsizetype Dash = Value.indexOf('-');
            const qsizetype Slash = Value.indexOf('/');
            FContentRangeBegin = Dash >= 6 ? Value.mid(6, Dash - 6) : QByteArray();
            FContentRangeEnd =
                Dash >= 0 && Slash > Dash ? Value.mid(Dash + 1, Slash - Dash - 1) : QByteArray();
        } else if (Name == "accept-ranges") {
            FAcceptRanges = Value;
        } else if (Name == "content-type") {
            FContentType = Value.toLower();
        } else if (Name == "www-authenticate") {
            FWWWAuthenticate.append(Value);
        } else if (Name == "set-cookie") {
            if (OnCookie) {
                bool Accept = true;
                OnCookie(this, Value, Accept);
                if (!Alive())
                    return;
            }
        }
    }
    if (OnHeaderData)
        OnHeaderData(this);
}

void THttpCli::AdjustDocName()
{
    if (FContentType != "text/html")
        return;
    const qsizetype Dot = FDocumentName.lastIndexOf('.');
    if (Dot < 0)
        FDocumentName += ".htm";
    else if (FDocumentName.mid(Dot).toLower() == ".exe")
        FDocumentName = FDocumentName.left(Dot) + ".htm";
}

void THttpCli::EndOfHeader()
{
    const quint32 Id = FRequestId;
    QPointer<THttpCli> Self(this);
    auto Alive = [&] { return Self && Busy(Id); };

    if (FLocationFlag) {
        // Follow the relocation once this connection is closed; the rest of
        // this response is never read.
        FHeaderOpen = false;
        if (OnHeaderEnd) {
            OnHeaderEnd(this);
            if (!Alive())
                return;
        }
        FRcvdOff = FRcvdCnt = 0;
        FHeaderLineCount = FBodyLineCount = 0;
        FCloseStep = csRelocation;
        FCtrlSocket->Close();
        return;
    }
    if (FContentLength == 0) {
        FHeaderOpen = false;
        if (OnHeaderEnd) {
            OnHeaderEnd(this);
            if (!Alive())
                return;
        }
        // Complete now; whatever else the connection brings is dropped.
        FResponseDone = true;
        FRcvdOff = FRcvdCnt = 0;
        PostMsg(mkSetReady);
        return;
    }
    AdjustDocName();
    SetState(hsWaitingBody);
    if (!Alive())
        return;
    FNext = nsBody;
    FHeaderOpen = false;
    if (OnHeaderEnd) {
        OnHeaderEnd(this);
        if (!Alive())
            return;
    }
    const qint32 Count = FRcvdCnt - FRcvdOff;
    FLastReceived = QByteArray(FRcvdBuf + FRcvdOff, Count);
    FRcvdOff = FRcvdCnt = 0;
    BodyPiece(FLastReceived.constData(), Count);
    if (!Alive())
        return;
    // Of an error page only what came with the header is delivered.
    if (FStatusCode >= 400)
        FCtrlSocket->Close();
}

void THttpCli::BodyPiece(const char *Data, qint32 Len)
{
    const quint32 Id = FRequestId;
    QPointer<THttpCli> Self(this);
    if (FBodyLineCount == 0 && OnDocBegin) {
        OnDocBegin(this);
        if (!Self || !Busy(Id))
            return;
    }
    ++FBodyLineCount;
    FRcvdCount = Len > std::numeric_limits<qint32>::max() - FRcvdCount
                     ? std::numeric_limits<qint32>::max()
                     : FRcvdCount + Len;
    if (FBodyStream)
        FBodyStream->write(Data, Len);
    if (OnDocData)
        OnDocData(this, Data, Len);
}

// ---------------------------------------------------------------------------
// Closing and relocation

void THttpCli::SocketSessionClosed(quint16 Error)
{
    if (FCloseStep == csRelocation) {
        FConnected = false;
        if (Busy(FRequestId) && !FMuteClose)
            RelocationStep();
        else
            FCloseStep = csNormal;
        return;
    }
    CloseStep(Error);
}

void THttpCli::CloseStep(quint16 Error)
{
    FConnected = false;
    if (FMuteClose || FState == hsReady || FResponseDone)
        return;
    const quint32 Id = FRequestId;
    QPointer<THttpCli> Self(this);
    if (FState == hsAborting) {
        // Abort sets the outcome and the state itself; only the brackets of
        // what was under way are closed.
        if (FHeaderOpen) {
            FHeaderOpen = false;
            if (OnHeaderEnd)
                OnHeaderEnd(this);
        } else if (FBodyLineCount > 0 && OnDocEnd) {
            OnDocEnd(this);
        }
        return;
    }
    if (Error)
        FRequestDoneError = Error;
    if (FHeaderOpen) {
        FHeaderOpen = false;
        if (OnHeaderEnd) {
            OnHeaderEnd(this);
            if (!Self || !Busy(Id))
                return;
        }
        if (FLocationFlag) {
            RelocationStep();
            return;
        }
        FResponseDone = true;
        PostMsg(mkSetReady);
        return;
    }
    // Bytes of the body still held without a line end (a page sent without a
    // header whose last line has none) are the last piece.
    if (FState == hsWaitingBody && FNext == nsBody && FRcvdCnt > FRcvdOff) {
        const qint32 Count = FRcvdCnt - FRcvdOff;
        FLastReceived = QByteArray(FRcvdBuf + FRcvdOff, Count);
        FRcvdOff = FRcvdCnt = 0;
        BodyPiece(FLastReceived.constData(), Count);
        if (!Self || !Busy(Id))
            return;
    }
    if (FBodyLineCount > 0 && OnDocEnd) {
        OnDocEnd(this);
        if (!Self || !Busy(Id))
            return;
    }
    FResponseDone = true;
    PostMsg(mkSetReady);
}

void THttpCli::LocationHeader(const QByteArray &Value)
{
    FLocationFlag = true;
    if (Value.startsWith('/')) {
        FURLPath = Value;
    } else if (Value.startsWith("http://")) {
        const TURLParts P = ParseURL(Value);
        if (!P.Host.isEmpty()) {
            FTargetHost = P.Host;
            if (!FUseProxy)
                FHostName = P.Host;
        }
        FURLProto = P.Proto;
        FURLPort = P.Port;
        if (!FUseProxy)
            FPort = P.Port.isEmpty() ? QByteArrayLiteral("80") : P.Port;
        FURLPath = P.Path.isEmpty() ? QByteArrayLiteral("/") : P.Path;
        if (!P.User.isEmpty() && !P.Pass.isEmpty()) {
            FUsername = P.User;
            FPassword = P.Pass;
        }
    } else {
        // Relative to the current path: cut after its last "/" or ":" ahead
        // of any query. A path-less address counts as "/", so the host of a
        // proxied request is never cut away.
        const qsizetype Query = FURLPath.indexOf('?');
        const QByteArray Head = Query >= 0 ? FURLPath.left(Query) : FURLPath;
        const qsizetype Cut = std::max(Head.lastIndexOf('/'), Head.lastIndexOf(':'));
        FURLPath = Cut < 0 ? '/' + Value : FURLPath.left(Cut + 1) + Value;
    }
    FLocation = AbsoluteAddress();
}

void THttpCli::RelocationStep()
{
    const quint32 Id = FRequestId;
    QByteArray Address = FLocation;
    const qsizetype Hash = Address.indexOf('#');
    if (Hash >= 0)
        Address.truncate(Hash);
    FDocumentName = DocNameFromPath(ParseURL(Address).Path);
    AdjustDocName();
    FConnected = false;
    FLocationFlag = false;
    FHeaderOpen = false;
    FNext = nsNone;
    FRcvdOff = FRcvdCnt = 0;
    if (FRequestType == httpPOST)
        FRequestType = httpGET;
    FCloseStep = csNormal;
    if (OnLocationChange) {
        QPointer<THttpCli> Self(this);
        OnLocationChange(this);
        if (!Self || !Busy(Id))
            return;
    }
    FReceivedHeader.clear();
    FHeaderLineCount = FBodyLineCount = 0;
    FContentLength = -1;
    FContentType.clear();
    FStatusCode = 0;
    PostMsg(mkReconnect);
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
    const THttpState Was = FState;
    QPointer<THttpCli> Self(this);
    SetState(hsAborting);
    if (!Self || FState != hsAborting)
        return;
    if (Was == hsDnsLookup)
        FCtrlSocket->CancelLookup();
    FStatusCode = 404;
    FReasonPhrase = QByteArrayLiteral("Connection aborted on request");
    FRequestDoneError = httperrAborted;
    if (Was == hsDnsLookup) {
        CloseStep(0);
    } else {
        try {
            FCtrlSocket->Close();
        } catch (...) {
        }
    }
    if (!Self)
        return;
    FCloseStep = csNormal;
    FNext = nsNone;
    FRcvdOff = FRcvdCnt = 0;
    FResponseDone = true;
    SetState(hsReady);
}

} // namespace net
