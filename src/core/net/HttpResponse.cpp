// Reading the answer: receiving, header lines, the end of the header, body
// pieces, the close of the connection and relocations.
#include "HttpProt.h"

#include "HostCheck.h"
#include "util/Limits.h"

#include <QIODevice>

#include <cstring>
#include <limits>

namespace net {

namespace {

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

QByteArray DefaultPort(const QByteArray &Proto)
{
    return Proto == "https" ? QByteArrayLiteral("443") : QByteArrayLiteral("80");
}

} // namespace

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
    if (FStep == TStep::Tunnel) {
        TunnelData();
        return;
    }
    if (FStep == TStep::Socks) {
        SocksData();
        return;
    }
    if (FTls) {
        TlsDataAvailable();
        return;
    }
    const qint32 Free = FreeSpace();
    if (Free <= 0) {
        // 8192 bytes without a line end: no header line is that long.
        Fail(QByteArrayLiteral("HTTP line too long"));
        return;
    }
    const qint32 Len = FCtrlSocket->Receive(FRcvdBuf + FRcvdCnt, Free);
    if (Len <= 0)
        return;
    ConsumeReceived(Len);
}

qint32 THttpCli::FreeSpace()
{
    if (FRcvdBuf == nullptr) {
        FRcvdBlock = std::make_unique_for_overwrite<char[]>(size_t(RcvBufSize) + 1);
        FRcvdBuf = FRcvdBlock.get();
    }
    if (FRcvdOff > 0) {
        std::memmove(FRcvdBuf, FRcvdBuf + FRcvdOff, size_t(FRcvdCnt - FRcvdOff));
        FRcvdCnt -= FRcvdOff;
        FRcvdOff = 0;
    }
    return RcvBufSize - FRcvdCnt;
}

void THttpCli::ConsumeReceived(qint32 Len)
{
    FRcvdCnt += Len;
    FRcvdBuf[FRcvdCnt] = 0;

    if (FState == hsWaitingBody) {
        const qint32 Count = FRcvdCnt;
        FRcvdCnt = 0;
        FLastReceived = QByteArray(FRcvdBuf, Count);
        BodyPiece(FLastReceived.constData(), Count);
        return;
    }
    ProcessLines();
}

void THttpCli::ProcessLines()
{
    const TGuard G(this);
    // A line ends at the first LF before the first NUL byte held.
    const void *Nul = std::memchr(FRcvdBuf + FRcvdOff, 0, size_t(FRcvdCnt - FRcvdOff));
    const qint32 Limit = Nul ? qint32(static_cast<const char *>(Nul) - FRcvdBuf) : FRcvdCnt;
    while (FRcvdOff < FRcvdCnt) {
        char *Start = FRcvdBuf + FRcvdOff;
        auto *Lf = static_cast<char *>(std::memchr(Start, '\n', size_t(Limit - FRcvdOff)));
        if (Lf == nullptr) {
            // A header line holding a NUL byte would never end: no server
            // sends one, so the answer is refused rather than waited for.
            const bool InHeader = FStep == TStep::Header || FStep == TStep::HeaderOpen;
            if (Limit < FRcvdCnt && FState == hsWaitingHeader && InHeader)
                Fail(QByteArrayLiteral("NUL byte in HTTP header"));
            break;
        }
        qint32 LineLen = qint32(Lf - Start);
        const qint32 RawLen = LineLen + 1;
        FRcvdOff += RawLen;
        if (LineLen > 0 && Start[LineLen - 1] == '\r')
            --LineLen;
        FLastReceived = QByteArray(Start, LineLen);
        if (FState != hsWaitingHeader && FState != hsWaitingBody)
            continue;
        if (FStep == TStep::Header || FStep == TStep::HeaderOpen)
            HeaderLine(RawLen);
        else if (FStep == TStep::Body)
            BodyPiece(FLastReceived.constData(), qint32(FLastReceived.size()));
        if (!G.Busy())
            return;
    }
    if (FRcvdOff >= FRcvdCnt)
        FRcvdOff = FRcvdCnt = 0;
}

void THttpCli::HeaderLine(qint32 RawLen)
{
    const TGuard G(this);
    if (FStep == TStep::Header) {
        FStep = TStep::HeaderOpen;
        if (OnHeaderBegin) {
            OnHeaderBegin(this);
            if (!G.Busy())
                return;
        }
    }
    ++FHeaderLineCount;
    FHeaderBytes += RawLen;
    const QByteArray Line = FLastReceived;

    if (Line.size() >= 6 && qstrnicmp(Line.constData(), "<HTML>", 6) == 0) {
        // No header at all: the page starts right here.
        if (FContentType.isEmpty())
            FContentType = QByteArrayLiteral("text/html");
        SetState(hsWaitingBody);
        if (!G.Busy() || !CloseHeader(TStep::Body))
            return;
        BodyPiece(Line.constData(), qint32(Line.size()));
        return;
    }
    if (Line.isEmpty()) {
        EndOfHeader();
        return;
    }
    if (FHeaderBytes > limits::MaxHeaderBytes || FReceivedHeader.size() >= limits::MaxHeaderLines) {
        Fail(QByteArrayLiteral("HTTP header too large"));
        return;
    }
    FReceivedHeader.append(Line);
    if (!HeaderField(Line))
        return;
    if (OnHeaderData)
        OnHeaderData(this);
}

// Acts on one listed header line; false when the request has ended (or was
// taken over by a handler).
bool THttpCli::HeaderField(const QByteArray &Line)
{
    if (Line.startsWith("HTTP/1.0") || Line.startsWith("HTTP/1.1")) {
        qint32 Code = 0;
        if (!ToInt32(Line.mid(9, 3), Code)) {
            Fail("Invalid status code '" + Line.mid(9, 3) + "' in HTTP response");
            return false;
        }
        FStatusCode = Code;
        FReasonPhrase = Line.mid(13);
        return true;
    }
    const qsizetype Colon = Line.indexOf(':');
    if (Colon < 0)
        return true;
    const QByteArray Name = Line.left(Colon).toLower();
    qsizetype Start = Colon + 1;
    while (Start < Line.size() && Line[Start] == ' ')
        ++Start;
    if (Start > Line.size() - 1)
        Start = Line.size() - 1;
    const QByteArray Value = Line.mid(Start);
    if (Name == "location")
        return LocationHeader(Value);
    if (Name == "content-length") {
        qint32 Len = 0;
        if (!ToInt32(Value.trimmed(), Len)) {
            Fail("Invalid content-length '" + Value.trimmed() + "' in HTTP response");
            return false;
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
        if (FWWWAuthenticate.size() >= limits::MaxAuthenticateValues) {
            Fail(QByteArrayLiteral("Too many authentication challenges"));
            return false;
        }
        FWWWAuthenticate.append(Value);
    } else if (Name == "set-cookie" && OnCookie) {
        const TGuard G(this);
        bool Accept = true;
        OnCookie(this, Value, Accept);
        return G.Busy();
    }
    return true;
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
    const TGuard G(this);
    if (FLocationSeen) {
        // Follow the relocation once this connection is closed; the rest of
        // this response is never read.
        if (!CloseHeader(TStep::Relocating))
            return;
        FRcvdOff = FRcvdCnt = 0;
        FHeaderLineCount = FBodyLineCount = 0;
        FCtrlSocket->Close();
        // The close has run the relocation step, unless the socket had
        // closed already and had nothing more to say.
        if (G.Busy() && FStep == TStep::Relocating)
            RelocationStep();
        return;
    }
    if (FContentLength == 0) {
        // Complete now; whatever else the connection brings is dropped.
        if (CloseHeader(TStep::Body))
            EndRequest(TEnd::Read);
        return;
    }
    AdjustDocName();
    SetState(hsWaitingBody);
    if (!G.Busy() || !CloseHeader(TStep::Body))
        return;
    const qint32 Count = FRcvdCnt - FRcvdOff;
    FLastReceived = QByteArray(FRcvdBuf + FRcvdOff, Count);
    FRcvdOff = FRcvdCnt = 0;
    BodyPiece(FLastReceived.constData(), Count);
    if (!G.Busy())
        return;
    // Of an error page only what came with the header is delivered.
    if (FStatusCode >= 400)
        FCtrlSocket->Close();
}

void THttpCli::BodyPiece(const char *Data, qint32 Len)
{
    const TGuard G(this);
    if (FBodyLineCount == 0 && OnDocBegin) {
        OnDocBegin(this);
        if (!G.Busy())
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
    if (FStep == TStep::Relocating)
        RelocationStep();
    else
        CloseStep(Error);
}

void THttpCli::CloseStep(quint16 Error)
{
    // Settled already (or a close of the client's own): nothing to do.
    if (FStep == TStep::Idle || FState == hsAborting)
        return;
    if (FStep == TStep::Tunnel || FStep == TStep::Handshake || FStep == TStep::Socks) {
        TransportClosed(Error);
        return;
    }
    if (Error)
        FRequestDoneError = Error;
    if (FStep == TStep::HeaderOpen) {
        const bool Relocate = FLocationSeen;
        if (!CloseHeader(Relocate ? TStep::Relocating : TStep::Body))
            return;
        if (Relocate)
            RelocationStep();
        else
            EndRequest(TEnd::Read);
        return;
    }
    // Bytes of the body still held without a line end (a page sent without a
    // header whose last line has none) are the last piece.
    if (FStep == TStep::Body && FState == hsWaitingBody && FRcvdCnt > FRcvdOff) {
        const TGuard G(this);
        const qint32 Count = FRcvdCnt - FRcvdOff;
        FLastReceived = QByteArray(FRcvdBuf + FRcvdOff, Count);
        FRcvdOff = FRcvdCnt = 0;
        BodyPiece(FLastReceived.constData(), Count);
        if (!G.Busy())
            return;
    }
    EndRequest(TEnd::Read);
}

bool THttpCli::LocationHeader(const QByteArray &Raw)
{
    // Blanks around the value belong to the header line, not to the address;
    // control bytes inside it would split the next request on the wire.
    const QByteArray Value = TrimmedBlanks(Raw);
    if (HasControlByte(Value)) {
        Fail(QByteArrayLiteral("Invalid relocation address"));
        return false;
    }
    if (Value.size() > limits::MaxLocationBytes) {
        Fail(QByteArrayLiteral("Relocation address too long"));
        return false;
    }
    QByteArray Proto = FURLProto, Host = FTargetHost, Port = FURLPort, Path;
    TURLParts P;
    const bool Absolute = Value.startsWith("http://") || Value.startsWith("https://");
    if (Value.startsWith('/')) {
        Path = Value;
    } else if (Absolute) {
        P = ParseURL(Value);
        if ((!P.Host.isEmpty() && !IsValidHost(P.Host)) || HasBlankOrControl(P.Port)) {
            Fail(QByteArrayLiteral("Invalid relocation address"));
            return false;
        }
        if (!P.Host.isEmpty())
            Host = P.Host;
        Proto = P.Proto;
        Port = P.Port;
        Path = P.Path.isEmpty() ? QByteArrayLiteral("/") : P.Path;
    } else {
        Path = RelativePath(FURLPath, Value);
    }
    // Each value is checked before it is taken, so a header full of relative
    // values never grows the address past the limit.
    const qsizetype Length = Proto.size() + 3 + Host.size() +
                             (Port.isEmpty() ? 0 : Port.size() + 1) +
                             std::max<qsizetype>(Path.size(), 1);
    if (Length > limits::MaxLocationBytes) {
        Fail(QByteArrayLiteral("Relocation address too long"));
        return false;
    }
    if (Absolute) {
        // Credentials belong to the scheme, host and port they came with.
        const QByteArray OldPort = !FURLPort.isEmpty() ? FURLPort : DefaultPort(FURLProto);
        const QByteArray NewPort = !Port.isEmpty() ? Port : DefaultPort(Proto);
        if (Host.compare(FTargetHost, Qt::CaseInsensitive) != 0 || NewPort != OldPort ||
            (Proto == "https") != Secure()) {
            FUsername.clear();
            FPassword.clear();
        }
        if (!P.User.isEmpty() && !P.Pass.isEmpty()) {
            FUsername = P.User;
            FPassword = P.Pass;
        }
        if (!FUseProxy) {
            FHostName = Host;
            FPort = NewPort;
        }
    }
    FLocationSeen = true;
    FURLProto = Proto;
    FTargetHost = Host;
    FURLPort = Port;
    FURLPath = Path;
    FLocation = AbsoluteAddress();
    return true;
}

void THttpCli::RelocationStep()
{
    if (FRelocations >= limits::MaxRelocations) {
        Fail(QByteArrayLiteral("Too many relocations"));
        return;
    }
    ++FRelocations;
    const TGuard G(this);
    QByteArray Address = FLocation;
    const qsizetype Hash = Address.indexOf('#');
    if (Hash >= 0)
        Address.truncate(Hash);
    FDocumentName = DocNameFromPath(ParseURL(Address).Path);
    AdjustDocName();
    FLocationSeen = false;
    FStep = TStep::Connecting;
    FRcvdOff = FRcvdCnt = 0;
    DropTransport();
    if (FRequestType == httpPOST)
        FRequestType = httpGET;
    if (OnLocationChange) {
        OnLocationChange(this);
        if (!G.Busy())
            return;
    }
    // Each response keeps its own header lines and challenges.
    FReceivedHeader.clear();
    FWWWAuthenticate.clear();
    FHeaderLineCount = FBodyLineCount = 0;
    FHeaderBytes = 0;
    FContentLength = -1;
    FContentType.clear();
    FStatusCode = 0;
    PostMsg(mkReconnect);
}

} // namespace net
