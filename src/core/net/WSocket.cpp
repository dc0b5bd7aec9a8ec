#include "WSocket.h"

#include "HostCheck.h"
#include "Resolver.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

// ---------------------------------------------------------------------------
// Error codes and texts

quint16 WSocketErrorFromErrno(int Err)
{
    switch (Err) {
    case 0:
        return 0;
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    // Writing to a connection that the peer has torn down.
    case EPIPE:
    case ECONNRESET:
        return 10054;
    case ENOMEM:
    case ENOBUFS:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        return quint16(Err); // described as "Not a WinSock error"
    }
}

QByteArray WSocketErrorDesc(int ErrCode)
{
    const char *Text = nullptr;
    switch (ErrCode) {
    case 0:
        Text = "No Error";
        break;
    case 10004:
        Text = "Interrupted system call";
        break;
    case 10009:
        Text = "Bad file number";
        break;
    case 10013:
        Text = "Permission denied";
        break;
    case 10014:
        Text = "Bad address";
        break;
    case 10022:
        Text = "Invalid argument";
        break;
    case 10024:
        Text = "Too many open files";
        break;
    case 10035:
        Text = "Operation would block";
        break;
    case 10036:
        Text = "Operation now in progress";
        break;
    case 10037:
        Text = "Operation already in progress";
        break;
    case 10038:
        Text = "Socket operation on non-socket";
        break;
    case 10039:
        Text = "Destination address required";
        break;
    case 10040:
        Text = "Message too long";
        break;
    case 10041:
        Text = "Protocol wrong type for socket";
        break;
    case 10042:
        Text = "Protocol not available";
        break;
    case 10043:
        Text = "Protocol not supported";
        break;
    case 10044:
        Text = "Socket type not supported";
        break;
    case 10045:
        Text = "Operation not supported on socket";
        break;
    case 10046:
        Text = "Protocol family not supported";
        break;
    case 10047:
        Text = "Address family not supported by protocol family";
        break;
    case 10048:
        Text = "Address already in use";
        break;
    case 10049:
        Text = "Address not available";
        break;
    case 10050:
        Text = "Network is down";
        break;
    case 10051:
        Text = "Network is unreachable";
        break;
    case 10052:
        Text = "Network dropped connection on reset";
        break;
    case 10053:
        Text = "Connection aborted";
        break;
    case 10054:
        Text = "Connection reset by peer";
        break;
    case 10055:
        Text = "No buffer space available";
        break;
    case 10056:
        Text = "Socket is already connected";
        break;
    case 10057:
        Text = "Socket is not connected";
        break;
    case 10058:
        Text = "Can't send after socket shutdown";
        break;
    case 10059:
        Text = "Too many references: can't splice";
        break;
    case 10060:
        Text = "Connection timed out";
        break;
    case 10061:
        Text = "Connection refused";
        break;
    case 10062:
        Text = "Too many levels of symbolic links";
        break;
    case 10063:
        Text = "File name too long";
        break;
    case 10064:
        Text = "Host is down";
        break;
    case 10065:
        Text = "No route to host";
        break;
    case 10066:
        Text = "Directory not empty";
        break;
    case 10067:
        Text = "Too many processes";
        break;
    case 10068:
        Text = "Too many users";
        break;
    case 10069:
        Text = "Disc quota exceeded";
        break;
    case 10070:
        Text = "Stale NFS file handle";
        break;
    case 10071:
        Text = "Too many levels of remote in path";
        break;
    case 10091:
        Text = "Network sub-system is unusable";
        break;
    case 10092:
        Text = "WinSock DLL cannot support this application";
        break;
    case 10093:
        Text = "WinSock not initialized";
        break;
    case 11001:
        Text = "Host not found";
        break;
    case 11002:
        Text = "Non-authoritative host not found";
        break;
    case 11003:
        Text = "Non-recoverable error";
        break;
    case 11004:
        Text = "No Data";
        break;
    default:
        Text = "Not a WinSock error";
        break;
    }
    return QByteArray(Text);
}

bool WSocketIsDottedIP(const QByteArray &Name, QByteArray *Dotted)
{
    qsizetype I = 0;
    const qsizetype N = Name.size();
    while (I < N && Name[I] == ' ')
        ++I;
    int Groups[4] = {0, 0, 0, 0};
    for (int G = 0; G < 4; ++G) {
        if (G > 0) {
            if (I >= N || Name[I] != '.')
                return false;
            ++I;
        }
        // Each group needs at least one digit, and its value at most 255.
        if (I >= N || Name[I] < '0' || Name[I] > '9')
            return false;
        int Value = 0;
        while (I < N && Name[I] >= '0' && Name[I] <= '9') {
            Value = Value * 10 + (Name[I] - '0');
            if (Value > 255)
                return false;
            ++I;
        }
        Groups[G] = Value;
    }
    while (I < N && Name[I] == ' ')
        ++I;
    if (I != N)
        return false;
    if (Dotted) {
        *Dotted = QByteArray::number(Groups[0]) + '.' + QByteArray::number(Groups[1]) + '.' +
                  QByteArray::number(Groups[2]) + '.' + QByteArray::number(Groups[3]);
    }
    return true;
}

namespace {

// Messages the socket posts to itself; each names the connection it belongs
// to, so one posted for an earlier connection is dropped.
class TSocketMsg : public QEvent
{
public:
    TSocketMsg(QEvent::Type T, quint32 Serial, quint16 Code = 0)
        : QEvent(T), Serial(Serial), Code(Code)
    {
    }
    quint32 Serial;
    quint16 Code;
};

QEvent::Type MsgType(int Index)
{
    static const QEvent::Type Types[3] = {QEvent::Type(QEvent::registerEventType()),
                                          QEvent::Type(QEvent::registerEventType()),
                                          QEvent::Type(QEvent::registerEventType())};
    return Types[Index];
}

QEvent::Type WriteMsg()
{
    return MsgType(0);
}
QEvent::Type ConnectMsg()
{
    return MsgType(1);
}
QEvent::Type CloseMsg()
{
    return MsgType(2);
}

bool AllDigits(const QByteArray &S)
{
    if (S.isEmpty())
        return false;
    for (char C : S) {
        if (C < '0' || C > '9')
            return false;
    }
    return true;
}

bool DigitsAndDots(const QByteArray &S)
{
    for (char C : S) {
        if ((C < '0' || C > '9') && C != '.')
            return false;
    }
    return true;
}

// Resolvers used by Connect. Each returns an empty text on success and the
// message to report otherwise.
QByteArray ResolveHost(const QByteArray &Name, in_addr &Result)
{
    const QByteArray Host = Name.trimmed();
    if (Host.size() > 256 || (!DigitsAndDots(Host) && !IsValidHost(Host)))
        return "WSocketResolveHost: '" + Name + "' Invalid Hostname.";
    if (DigitsAndDots(Host)) {
        if (inet_pton(AF_INET, Host.constData(), &Result) != 1)
            return "WSocketResolveHost: '" + Name + "' Invalid IP address.";
        return {};
    }
    addrinfo Hints{};
    Hints.ai_family = AF_INET;
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo *Res = nullptr;
    const int Rc = getaddrinfo(Host.constData(), nullptr, &Hints, &Res);
    if (Rc != 0 || Res == nullptr) {
        const int Code = Rc == EAI_AGAIN    ? WSATRY_AGAIN
                         : Rc == EAI_NONAME ? WSAHOST_NOT_FOUND
                                            : WSANO_RECOVERY;
        if (Res)
            freeaddrinfo(Res);
        return "WSocketResolveHost: Cannot convert host address '" + Name + "', Error #" +
               QByteArray::number(Code);
    }
    Result = reinterpret_cast<sockaddr_in *>(Res->ai_addr)->sin_addr;
    freeaddrinfo(Res);
    return {};
}

QByteArray ResolvePort(const QByteArray &Port, in_port_t &Result)
{
    const QByteArray P = Port.trimmed();
    if (P.isEmpty())
        return "WSocketResolvePort: Invalid Port.";
    if (AllDigits(P)) {
        if (P.size() > 5 || P.toInt() > 65535)
            return "WSocketResolvePort: Invalid Port.";
        Result = htons(in_port_t(P.toInt()));
        return {};
    }
    servent Entry{};
    servent *Found = nullptr;
    char Buf[1024];
    if (getservbyname_r(P.constData(), "tcp", &Entry, Buf, sizeof Buf, &Found) != 0 ||
        Found == nullptr) {
        return "WSocketResolvePort: Cannot convert port '" + Port + "', Error #" +
               QByteArray::number(int(WSANO_DATA));
    }
    Result = in_port_t(Found->s_port);
    return {};
}

QByteArray ResolveProto(const QByteArray &Proto)
{
    const QByteArray P = Proto.trimmed().toLower();
    if (P.isEmpty())
        return "WSocketResolveProto: Invalid Protocol.";
    if (P == "tcp" || P == "6")
        return {};
    // Only stream connections are made here; any other protocol is refused.
    return "WSocketResolveProto: Cannot convert protocol '" + Proto + "', Error #" +
           QByteArray::number(10043);
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

TWSocket::TWSocket(QObject *Owner) : QObject(Owner)
{
    FSocksLevel = QByteArrayLiteral("5");
    ResetSocket();
}

TWSocket::~TWSocket()
{
    FDestroying = true;
    CancelLookup();
    if (FHSocket >= 0) {
        EnableRead(false);
        EnableWrite(false);
        ::close(FHSocket);
        FHSocket = -1;
    }
    DropSendQueue();
}

// ---------------------------------------------------------------------------
// Properties

bool TWSocket::CheckClosed(const char *What)
{
    if (FState == wsClosed)
        return true;
    RaiseError(QByteArray(What));
    return false;
}

void TWSocket::SetAddr(const QByteArray &Value)
{
    if (CheckClosed("Cannot change Addr if not closed"))
        FAddr = Value;
}

void TWSocket::SetPort(const QByteArray &Value)
{
    if (CheckClosed("Cannot change Port if not closed"))
        FPort = Value;
}

void TWSocket::SetProto(const QByteArray &Value)
{
    if (CheckClosed("Cannot change Proto if not closed"))
        FProto = Value;
}

void TWSocket::SetLocalAddr(const QByteArray &Value)
{
    if (CheckClosed("Cannot change LocalAddr if not closed"))
        FLocalAddr = Value;
}

void TWSocket::SetLocalPort(const QByteArray &Value)
{
    if (CheckClosed("Cannot change LocalPort if not closed"))
        FLocalPort = Value;
}

void TWSocket::SetSocksServer(const QByteArray &Value)
{
    if (CheckClosed("Can't change socks server if not closed"))
        FSocksServer = Value;
}

void TWSocket::SetSocksPort(const QByteArray &Value)
{
    if (CheckClosed("Can't change socks port if not closed"))
        FSocksPort = Value;
}

void TWSocket::SetSocksLevel(const QByteArray &Value)
{
    if (!CheckClosed("Can't change socks level if not closed"))
        return;
    const QByteArray Level = Value.toUpper();
    if (Level != "4" && Level != "4A" && Level != "5") {
        RaiseError(QByteArrayLiteral("Invalid socks level. Must be 4, 4A or 5."));
        return;
    }
    FSocksLevel = Level;
}

void TWSocket::SetSendFlags(int Value)
{
    if (Value != wsSendNormal && Value != wsSendUrgent) {
        RaiseError(QByteArrayLiteral("Invalid SendFlags"));
        return;
    }
    FSendFlags = Value;
}

static QByteArray PeerPart(int Fd, bool WantPort)
{
    if (Fd < 0)
        return QByteArrayLiteral("error");
    sockaddr_in Sin{};
    socklen_t Len = sizeof Sin;
    if (getpeername(Fd, reinterpret_cast<sockaddr *>(&Sin), &Len) != 0)
        return QByteArrayLiteral("error");
    if (WantPort)
        return QByteArray::number(ntohs(Sin.sin_port));
    char Text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &Sin.sin_addr, Text, sizeof Text);
    return QByteArray(Text);
}

QByteArray TWSocket::PeerAddr() const
{
    return FState == wsConnected ? PeerPart(FHSocket, false) : QByteArrayLiteral("error");
}

QByteArray TWSocket::PeerPort() const
{
    return FState == wsConnected ? PeerPart(FHSocket, true) : QByteArrayLiteral("error");
}

qint32 TWSocket::RcvdCount() const
{
    if (FHSocket < 0)
        return -1;
    int Count = 0;
    if (ioctl(FHSocket, FIONREAD, &Count) != 0)
        return -1;
    return Count;
}

// ---------------------------------------------------------------------------
// Errors

void TWSocket::RaiseError(const QByteArray &Msg)
{
    FLastErrorMessage = Msg;
    if (OnError) {
        OnError(this);
        return;
    }
    throw ESocketException(Msg);
}

void TWSocket::SocketError(const char *Func, quint16 Code)
{
    if (Code == WSAECONNRESET || Code == WSAENOTCONN) {
        // The connection is gone: close at once and say so.
        if (FHSocket >= 0 || FState != wsClosed) {
            QPointer<TWSocket> Self(this);
            InternalClose(false, Code);
            if (!Self)
                return;
        }
    }
    FLastError = Code;
    RaiseError("Error " + QByteArray::number(Code) + " in function " + QByteArray(Func) + "\r\n" +
               WSocketErrorDesc(Code));
}

void TWSocket::HandleBackgroundException(const std::exception &E)
{
    bool CanClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, E, CanClose);
        } catch (...) {
        }
    }
    if (CanClose) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

// Runs one notification handler; an exception that leaves it goes to the
// background-exception handler and never into the event loop.
template <typename F>
static void Guarded(TWSocket *Socket, F &&Body, void (TWSocket::*Handler)(const std::exception &))
{
    QPointer<TWSocket> Self(Socket);
    try {
        Body();
    } catch (const std::exception &E) {
        if (Self)
            (Socket->*Handler)(E);
    } catch (...) {
        if (Self)
            (Socket->*Handler)(std::runtime_error("Unknown exception"));
    }
}

// ---------------------------------------------------------------------------
// State

void TWSocket::ChangeState(TSocketState NewState)
{
    const TSocketState Old = FState;
    FState = NewState;
    if (OnChangeState && Old != NewState)
        OnChangeState(this, Old, NewState);
}

void TWSocket::ResetSocket()
{
    FAddr.clear();
    FPort.clear();
    FProto = QByteArrayLiteral("tcp");
    FLocalAddr = QByteArrayLiteral("0.0.0.0");
    FLocalPort = QByteArrayLiteral("0");
    FDnsResult.clear();
    FDnsResultList.clear();
    FReadCount = 0;
    FLastError = 0;
    FMultiThreaded = false;
    FMultiCast = false;
    FMultiCastAddrStr.clear();
    FMultiCastIpTTL = 1;
    FReuseAddr = false;
    FComponentOptions = 0;
    FFlushTimeout = 60;
    FSendFlags = wsSendNormal;
    FLingerOnOff = wsLingerOn;
    FLingerTimeout = 0;
    FSocksLevel = QByteArrayLiteral("5");
    FSocksServer.clear();
    FSocksPort.clear();
    FSocksAuthentication = socksNoAuthentication;
    FAllSent = true;
    FCloseReported = false;
    FReadPaused = false;
    DropSendQueue();
}

void TWSocket::DropSendQueue()
{
    FBufList.clear();
    FAllSent = true;
}

void TWSocket::EnableRead(bool On)
{
    if (FReadNotifier && FReadNotifier->isEnabled() != On)
        FReadNotifier->setEnabled(On);
}

void TWSocket::EnableWrite(bool On)
{
    if (FWriteNotifier && FWriteNotifier->isEnabled() != On)
        FWriteNotifier->setEnabled(On);
}

// ---------------------------------------------------------------------------
// Name lookup

void TWSocket::DnsLookup(const QByteArray &HostName)
{
    QByteArray Dotted;
    const bool Literal = WSocketIsDottedIP(HostName, &Dotted);
    // A name that no host can have never reaches the resolver.
    if (!Literal && !IsValidHost(HostName)) {
        FLastError = WSAEINVAL;
        RaiseError(QByteArrayLiteral("DNS lookup: invalid host name."));
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, WSAEINVAL);
        return;
    }
    CancelLookup();
    FDnsResult.clear();
    FDnsResultList.clear();
    if (Literal) {
        FDnsResult = Dotted;
        FDnsResultList.append(Dotted);
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, 0);
        return;
    }
    static std::atomic<int> Serial{0};
    const int Id = FLookupId = ++Serial & 0x7fffffff;
    CurrentResolver().Lookup(HostName, this,
                             [this, Id](const TLookupAnswer &A) { LookupDone(Id, A); });
}

void TWSocket::CancelLookup()
{
    // The lookup is forgotten: its answer, when it comes, no longer matches
    // FLookupId and is dropped.
    FLookupId = -1;
}

void TWSocket::LookupDone(int Id, const TLookupAnswer &Answer)
{
    if (Id != FLookupId || FLookupId < 0)
        return;
    FLookupId = -1;
    Guarded(
        this,
        [&] {
            const quint16 Error = Answer.Error                 ? Answer.Error
                                  : Answer.Addresses.isEmpty() ? WSANO_DATA
                                                               : 0;
            if (Error) {
                FLastError = Error;
            } else {
                FDnsResultList = Answer.Addresses;
                FDnsResult = FDnsResultList.first();
            }
            if (OnDnsLookupDone)
                OnDnsLookupDone(this, Error);
        },
        &TWSocket::HandleBackgroundException);
}

// ---------------------------------------------------------------------------
// Connect

void TWSocket::Connect()
{
    if (FState != wsClosed) {
        FLastError = WSAEINVAL;
        RaiseError(QByteArrayLiteral("Connect: Socket already in use"));
        return;
    }
    if (FPort.isEmpty()) {
        RaiseError(QByteArrayLiteral("Connect: No Port Specified"));
        return;
    }
    if (FAddr.isEmpty()) {
        RaiseError(QByteArrayLiteral("Connect: No IP Address Specified"));
        return;
    }
    if (FProto.isEmpty()) {
        RaiseError(QByteArrayLiteral("Connect: No Protocol Specified"));
        return;
    }
    if (!FSocksServer.isEmpty()) {
        // No SOCKS handshake is built in: never connect directly behind the
        // caller's back when a SOCKS server was asked for.
        RaiseError(QByteArrayLiteral("Connect: SOCKS is not supported"));
        return;
    }

    QByteArray Msg = ResolveProto(FProto);
    sockaddr_in Remote{};
    Remote.sin_family = AF_INET;
    sockaddr_in Local{};
    Local.sin_family = AF_INET;
    in_port_t LocalPort = 0;
    if (Msg.isEmpty())
        Msg = ResolvePort(FPort, Remote.sin_port);
    if (Msg.isEmpty())
        Msg = ResolvePort(FLocalPort, LocalPort);
    if (Msg.isEmpty())
        Msg = ResolveHost(FAddr, Remote.sin_addr);
    const bool NeedBind = FLocalPort != "0" || FLocalAddr != "0.0.0.0";
    if (Msg.isEmpty() && NeedBind) {
        Local.sin_port = LocalPort;
        Msg = ResolveHost(FLocalAddr, Local.sin_addr);
    }
    if (!Msg.isEmpty()) {
        FLastError = WSAEINVAL;
        RaiseError("connect: " + Msg);
        return;
    }

    DropSendQueue();
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (Fd < 0) {
        SocketError("Connect (socket)", WSocketErrorFromErrno(errno));
        return;
    }
    FHSocket = Fd;
    ++FConnSerial;
    FCloseReported = false;
    FPeerClosed = false;
    FRecvError = 0;
    FReadPaused = false;

    QPointer<TWSocket> Self(this);
    // A failure after the handle exists closes it again quietly (there was no
    // session to report) before the error is reported.
    auto Fail = [&](const QByteArray &Text, quint16 Code) {
        FCloseReported = true;
        InternalClose(false, 0);
        if (!Self)
            return;
        FLastError = Code;
        RaiseError(Text);
    };
    auto FailCall = [&](const char *Func, int Err) {
        const quint16 Code = WSocketErrorFromErrno(Err);
        Fail("Error " + QByteArray::number(Code) + " in function " + QByteArray(Func) + "\r\n" +
                 WSocketErrorDesc(Code),
             Code);
    };

    ChangeState(wsOpened);
    if (!Self)
        return;
    if (FState != wsOpened || FHSocket != Fd) {
        if (FHSocket == Fd)
            Fail(QByteArrayLiteral("Connect (Invalid operation in OnChangeState)"), WSAEINVAL);
        else
            RaiseError(QByteArrayLiteral("Connect (Invalid operation in OnChangeState)"));
        return;
    }

    int On = 1;
    if (setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &On, sizeof On) != 0)
        return FailCall("setsockopt(SO_REUSEADDR)", errno);
    if ((FComponentOptions & wsoTcpNoDelay) &&
        setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On) != 0)
        return FailCall("setsockopt(IPPROTO_TCP, TCP_NODELAY)", errno);
    if (FLingerOnOff != wsLingerNoSet) {
        // On with 0 seconds: the final close resets the connection instead of
        // leaving it in TIME_WAIT, which keeps many short connections cheap.
        linger L{};
        L.l_onoff = FLingerOnOff == wsLingerOn ? 1 : 0;
        L.l_linger = FLingerTimeout < 0 ? 0 : FLingerTimeout;
        if (setsockopt(Fd, SOL_SOCKET, SO_LINGER, &L, sizeof L) != 0)
            return FailCall("setsockopt(SO_LINGER)", errno);
    }
    if (setsockopt(Fd, SOL_SOCKET, SO_KEEPALIVE, &On, sizeof On) != 0)
        return FailCall("setsockopt(SO_KEEPALIVE)", errno);
    if (NeedBind) {
        if (::bind(Fd, reinterpret_cast<sockaddr *>(&Local), sizeof Local) != 0) {
            const quint16 Code = WSocketErrorFromErrno(errno);
            return Fail("winsock.bind failed, error #" + QByteArray::number(Code), Code);
        }
        sockaddr_in Bound{};
        socklen_t Len = sizeof Bound;
        if (getsockname(Fd, reinterpret_cast<sockaddr *>(&Bound), &Len) != 0) {
            const quint16 Code = WSocketErrorFromErrno(errno);
            return Fail("winsock.getsockname failed, error #" + QByteArray::number(Code), Code);
        }
        FLocalPort = QByteArray::number(ntohs(Bound.sin_port));
    }

    if (!FReadNotifier) {
        FReadNotifier = new QSocketNotifier(QSocketNotifier::Read, this);
        FReadNotifier->setEnabled(false);
        connect(FReadNotifier, &QSocketNotifier::activated, this, &TWSocket::OnReadNotifier);
        FWriteNotifier = new QSocketNotifier(QSocketNotifier::Write, this);
        FWriteNotifier->setEnabled(false);
        connect(FWriteNotifier, &QSocketNotifier::activated, this, &TWSocket::OnWriteNotifier);
    }
    FReadNotifier->setSocket(Fd);
    FWriteNotifier->setSocket(Fd);

    if (::connect(Fd, reinterpret_cast<sockaddr *>(&Remote), sizeof Remote) == 0 ||
        errno == EINPROGRESS || errno == EAGAIN) {
        ChangeState(wsConnecting);
        if (Self && FHSocket == Fd)
            EnableWrite(true);
        return;
    }
    const int Err = errno;
    switch (Err) {
    case ECONNREFUSED:
    case ECONNRESET:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
        // The kernel already knows the outcome; it is still reported as the
        // end of the connect, from the event loop.
        ChangeState(wsConnecting);
        if (Self && FHSocket == Fd) {
            QCoreApplication::postEvent(
                this, new TSocketMsg(ConnectMsg(), FConnSerial, WSocketErrorFromErrno(Err)));
        }
        return;
    default:
        FailCall("Connect", Err);
        return;
    }
}

void TWSocket::ConnectDone(quint16 Error)
{
    if (FState == wsConnected)
        return;
    QPointer<TWSocket> Self(this);
    const quint32 Serial = FConnSerial;
    if (Error == 0) {
        EnableRead(true);
        EnableWrite(!FAllSent);
    } else {
        EnableRead(false);
        EnableWrite(false);
    }
    ChangeState(wsConnected);
    if (!Self || Serial != FConnSerial)
        return;
    if (OnSessionConnected)
        OnSessionConnected(this, Error);
    if (!Self || Serial != FConnSerial)
        return;
    if (Error != 0 && FState != wsClosed)
        Close();
}

// ---------------------------------------------------------------------------
// Notifications

void TWSocket::OnReadNotifier()
{
    Guarded(
        this,
        [this] {
            if (FHSocket < 0)
                return;
            if (FState == wsConnecting) {
                int Err = 0;
                socklen_t Len = sizeof Err;
                getsockopt(FHSocket, SOL_SOCKET, SO_ERROR, &Err, &Len);
                ConnectDone(WSocketErrorFromErrno(Err));
                return;
            }
            ReadEvent();
        },
        &TWSocket::HandleBackgroundException);
}

void TWSocket::OnWriteNotifier()
{
    Guarded(
        this,
        [this] {
            if (FHSocket < 0)
                return;
            if (FState == wsConnecting) {
                int Err = 0;
                socklen_t Len = sizeof Err;
                getsockopt(FHSocket, SOL_SOCKET, SO_ERROR, &Err, &Len);
                ConnectDone(WSocketErrorFromErrno(Err));
                return;
            }
            WriteEvent();
        },
        &TWSocket::HandleBackgroundException);
}

void TWSocket::customEvent(QEvent *Event)
{
    const QEvent::Type T = Event->type();
    if (T != WriteMsg() && T != ConnectMsg() && T != CloseMsg()) {
        QObject::customEvent(Event);
        return;
    }
    auto *Msg = static_cast<TSocketMsg *>(Event);
    if (Msg->Serial != FConnSerial || FHSocket < 0)
        return; // for a connection that no longer exists
    const quint16 Code = Msg->Code;
    Guarded(
        this,
        [&] {
            if (T == WriteMsg()) {
                if (FState == wsConnected)
                    WriteEvent();
            } else if (T == ConnectMsg()) {
                ConnectDone(Code);
            } else {
                Close();
            }
        },
        &TWSocket::HandleBackgroundException);
}

void TWSocket::ReadEvent()
{
    QPointer<TWSocket> Self(this);
    const quint32 Serial = FConnSerial;
    bool Progress = false;
    // Deliver what is waiting; a bounded number of passes keeps one busy
    // connection from holding the loop, the notifier brings the rest.
    for (int Pass = 0; Pass < 32; ++Pass) {
        FRecvCalled = FRecvShort = FRecvWouldBlock = false;
        bool Failed = false;
        if (OnDataAvailable) {
            try {
                OnDataAvailable(this, 0);
            } catch (...) {
                // A failing handler ends this receive loop and nothing else.
                Failed = true;
            }
        } else {
            char Junk[1024];
            Receive(Junk, sizeof Junk);
        }
        if (!Self || Serial != FConnSerial || FHSocket < 0)
            return;
        Progress = Progress || FRecvCalled;
        if (Failed || FPeerClosed || FRecvError || !FRecvCalled || FRecvShort || FRecvWouldBlock)
            break;
        if (FComponentOptions & wsoNoReceiveLoop)
            break;
    }
    if (FPeerClosed || FRecvError) {
        PeerClosedEvent(FRecvError);
        return;
    }
    if (!Progress) {
        // The handler left the bytes waiting. Find out whether the peer has
        // gone; otherwise stop watching until the next Receive, so that an
        // idle handler does not spin the loop.
        char Byte;
        const ssize_t R = ::recv(FHSocket, &Byte, 1, MSG_PEEK);
        if (R == 0) {
            PeerClosedEvent(0);
        } else if (R < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            PeerClosedEvent(WSocketErrorFromErrno(errno));
        } else if (R > 0) {
            FReadPaused = true;
            EnableRead(false);
        }
    }
}

void TWSocket::PeerClosedEvent(quint16 Error)
{
    QPointer<TWSocket> Self(this);
    const quint32 Serial = FConnSerial;
    if (!FCloseReported) {
        FCloseReported = true;
        // A copy runs: the handler may free the socket, and itself with it.
        if (const TSessionEvent Handler = OnSessionClosed)
            Handler(this, Error);
        if (!Self || Serial != FConnSerial)
            return;
    }
    if (FState != wsClosed)
        InternalClose(false, Error);
}

void TWSocket::WriteEvent()
{
    QPointer<TWSocket> Self(this);
    const quint32 Serial = FConnSerial;
    TryToSend();
    if (!Self || Serial != FConnSerial || FHSocket < 0)
        return;
    if (FAllSent && OnDataSent)
        OnDataSent(this, 0);
}

// ---------------------------------------------------------------------------
// Sending and receiving

void TWSocket::PutDataInSendBuffer(const char *Data, qint32 Len)
{
    static constexpr qint32 ChunkSize = 1460;
    while (Len > 0) {
        if (FBufList.empty() || FBufList.back()->WrCount() >= FBufList.back()->Size())
            FBufList.push_back(std::make_unique<TBuffer>(ChunkSize));
        const qint32 Taken = FBufList.back()->Write(Data, Len);
        Data += Taken;
        Len -= Taken;
    }
}

void TWSocket::TryToSend()
{
    QPointer<TWSocket> Self(this);
    const quint32 Serial = FConnSerial;
    while (!FBufList.empty()) {
        TBuffer &Front = *FBufList.front();
        const char *Data = nullptr;
        const qint32 Count = Front.Peek(Data);
        if (Count <= 0) {
            if (FBufList.size() > 1) {
                FBufList.pop_front();
                continue;
            }
            break;
        }
        const int Flags = MSG_NOSIGNAL | (FSendFlags == wsSendUrgent ? MSG_OOB : 0);
        const ssize_t Sent = ::send(FHSocket, Data, size_t(Count), Flags);
        if (Sent > 0) {
            Front.Remove(qint32(Sent));
            if (OnSendData) {
                OnSendData(this, qint32(Sent));
                if (!Self || Serial != FConnSerial)
                    return;
            }
            if (Sent < Count) {
                EnableWrite(true); // the rest when the kernel takes more
                return;
            }
            continue;
        }
        const quint16 Code = WSocketErrorFromErrno(Sent < 0 ? errno : EWOULDBLOCK);
        if (Code == WSAEWOULDBLOCK || Code == 10004) {
            EnableWrite(true);
            return;
        }
        if (Code == WSAEINVAL || Code == WSAENOTSOCK || Code == WSAECONNABORTED ||
            Code == WSAECONNRESET || Code == WSAENOTCONN) {
            InternalClose(false, Code);
            return;
        }
        SocketError("TryToSend failed", Code);
        return;
    }
    FAllSent = true;
    EnableWrite(false);
}

qint32 TWSocket::Send(const void *Data, qint32 Len)
{
    if (FState != wsConnected || FHSocket < 0) {
        SocketError("Send", WSAENOTCONN);
        return -1;
    }
    if (Len <= 0 || Data == nullptr)
        return 0;
    FAllSent = false;
    PutDataInSendBuffer(static_cast<const char *>(Data), Len);
    const quint32 Serial = FConnSerial;
    QPointer<TWSocket> Self(this);
    TryToSend();
    // Even when everything went out at once, OnDataSent comes from the event
    // loop and never from inside this call (when anyone listens for it).
    if (Self && FAllSent && Serial == FConnSerial && FHSocket >= 0 && OnDataSent)
        QCoreApplication::postEvent(this, new TSocketMsg(WriteMsg(), FConnSerial));
    return Len;
}

qint32 TWSocket::Receive(void *Buffer, qint32 Len)
{
    if (FHSocket < 0) {
        FLastError = WSAENOTCONN;
        return -1;
    }
    if (Len <= 0)
        return 0;
    if (FPeerClosed)
        return 0;
    FRecvCalled = true;
    ssize_t R;
    do {
        R = ::recv(FHSocket, Buffer, size_t(Len), 0);
    } while (R < 0 && errno == EINTR);
    if (FReadPaused) {
        FReadPaused = false;
        EnableRead(true);
    }
    if (R < 0) {
        FLastError = WSocketErrorFromErrno(errno);
        if (FLastError == WSAEWOULDBLOCK)
            FRecvWouldBlock = true;
        else
            FRecvError = quint16(FLastError);
        return -1;
    }
    if (R == 0) {
        FPeerClosed = true;
        return 0;
    }
    if (R < Len)
        FRecvShort = true;
    FReadCount = R > qint64(INT32_MAX) - FReadCount ? INT32_MAX : FReadCount + qint32(R);
    return qint32(R);
}

// ---------------------------------------------------------------------------
// Closing

void TWSocket::Close()
{
    InternalClose(true, 0);
}

void TWSocket::CloseDelayed()
{
    if (FHSocket >= 0)
        QCoreApplication::postEvent(this, new TSocketMsg(CloseMsg(), FConnSerial));
}

void TWSocket::Abort()
{
    CancelLookup();
    DropSendQueue();
    if (FHSocket >= 0 && FState == wsConnected) {
        linger L{};
        setsockopt(FHSocket, SOL_SOCKET, SO_LINGER, &L, sizeof L);
    }
    InternalClose(false, 0);
}

void TWSocket::InternalClose(bool Shutdown, quint16 Error)
{
    if (FHSocket < 0) {
        if (FState != wsClosed) {
            QPointer<TWSocket> Self(this);
            ChangeState(wsClosed);
            if (Self && FHSocket < 0)
                ResetSocket();
        }
        return;
    }
    EnableRead(false);
    EnableWrite(false);
    if (Shutdown)
        ::shutdown(FHSocket, SHUT_WR);
    ::close(FHSocket);
    FHSocket = -1;
    ++FConnSerial;
    FReadPaused = false;

    QPointer<TWSocket> Self(this);
    const quint32 Serial = FConnSerial;
    ChangeState(wsClosed);
    if (!Self || Serial != FConnSerial)
        return;
    if (!FDestroying && !FCloseReported) {
        FCloseReported = true;
        if (const TSessionEvent Handler = OnSessionClosed)
            Handler(this, Error);
        // A handler may have freed the socket or opened the next connection
        // already; neither may be undone by the reset.
        if (!Self || Serial != FConnSerial || FState != wsClosed)
            return;
    }
    ResetSocket();
}

} // namespace net
