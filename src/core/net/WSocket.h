// Asynchronous IPv4 TCP client socket driven by the Qt event loop.
//
// The socket is non-blocking and watched by two QSocketNotifiers. Every
// network notification is turned into one of the events below and raised on
// the thread that owns the socket, from the event loop. Errors use the Windows
// sockets numbering (10061 connection refused, 11001 host not found ...) so
// that codes and texts are the same wherever they are shown or stored.
#pragma once

#include "WSockBuf.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QtGlobal>

#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>

class QSocketNotifier;

namespace net {

struct TLookupAnswer;

// Error codes of the Windows sockets numbering used throughout the layer.
enum : quint16 {
    WSAEWOULDBLOCK = 10035,
    WSAEINVAL = 10022,
    WSAENOTSOCK = 10038,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOTCONN = 10057,
    WSAECONNREFUSED = 10061,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// Translates an errno value into the Windows sockets numbering.
quint16 WSocketErrorFromErrno(int Err);
// The English description of a Windows sockets error code ("Connection
// refused"); "Not a WinSock error" for codes outside the table.
QByteArray WSocketErrorDesc(int ErrCode);
// True for a dotted IPv4 address as the name lookup takes it without asking
// the resolver: optional surrounding spaces, four decimal groups of at most
// 255. On success Dotted receives the normalised form ("10.0.0.1").
bool WSocketIsDottedIP(const QByteArray &Name, QByteArray *Dotted = nullptr);

// Raised for misuse and failures when the socket has no OnError handler.
class ESocketException : public std::runtime_error
{
public:
    explicit ESocketException(const QByteArray &Msg)
        : std::runtime_error(Msg.toStdString()), FMessage(Msg)
    {
    }
    const QByteArray &Message() const { return FMessage; }

private:
    QByteArray FMessage;
};

enum TSocketState : int {
    wsInvalidState = 0,
    wsOpened = 1,
    wsBound = 2,
    wsConnecting = 3,
    wsConnected = 4,
    wsAccepting = 5,
    wsListening = 6,
    wsClosed = 7,
};

enum TSocketSendFlags : int { wsSendNormal = 0, wsSendUrgent = 1 };
enum TSocketLingerOnOff : int { wsLingerOff = 0, wsLingerOn = 1, wsLingerNoSet = 2 };

// Component options, combined as a bit set.
enum TWSocketOption : unsigned {
    wsoNoReceiveLoop = 1u << 0, // one OnDataAvailable per notification
    wsoTcpNoDelay = 1u << 1,    // TCP_NODELAY on every connection
};
using TWSocketOptions = unsigned;

enum TSocksAuthentication : int { socksNoAuthentication = 0, socksAuthenticateUsercode = 1 };
enum TSocksAuthState : int {
    socksAuthStart = 0,
    socksAuthSuccess = 1,
    socksAuthFailure = 2,
    socksAuthNotRequired = 3,
};

class TWSocket : public QObject
{
    Q_OBJECT

public:
    using TSessionEvent = std::function<void(TWSocket *Sender, quint16 Error)>;
    using TSendData = std::function<void(TWSocket *Sender, qint32 BytesSent)>;
    using TChangeState =
        std::function<void(TWSocket *Sender, TSocketState OldState, TSocketState NewState)>;
    using TNotifyEvent = std::function<void(TWSocket *Sender)>;
    using TBgExceptionEvent =
        std::function<void(TWSocket *Sender, const std::exception &E, bool &CanClose)>;
    using TSocksErrorEvent =
        std::function<void(TWSocket *Sender, qint32 Error, const QByteArray &Msg)>;
    using TSocksAuthStateEvent = std::function<void(TWSocket *Sender, TSocksAuthState AuthState)>;

    explicit TWSocket(QObject *Owner = nullptr);
    ~TWSocket() override;

    // --- Properties. Addr, Port, Proto, LocalAddr, LocalPort, SocksServer,
    // SocksPort and SocksLevel can be changed only while the socket is closed.
    const QByteArray &Addr() const { return FAddr; }
    void SetAddr(const QByteArray &Value);
    const QByteArray &Port() const { return FPort; }
    void SetPort(const QByteArray &Value);
    const QByteArray &Proto() const { return FProto; }
    void SetProto(const QByteArray &Value);
    const QByteArray &LocalAddr() const { return FLocalAddr; }
    void SetLocalAddr(const QByteArray &Value);
    const QByteArray &LocalPort() const { return FLocalPort; }
    void SetLocalPort(const QByteArray &Value);
    QByteArray PeerAddr() const; // "error" when not connected
    QByteArray PeerPort() const; // "error" when not connected
    const QByteArray &DnsResult() const { return FDnsResult; }
    const QByteArrayList &DnsResultList() const { return FDnsResultList; }
    TSocketState State() const { return FState; }
    qint32 ReadCount() const { return FReadCount; }
    qint32 RcvdCount() const; // bytes waiting in the kernel; -1 when unknown
    qint32 LastError() const { return FLastError; }
    // The text of the last error reported through OnError or ESocketException.
    const QByteArray &LastErrorMessage() const { return FLastErrorMessage; }
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool Value) { FMultiThreaded = Value; }
    bool MultiCast() const { return FMultiCast; }
    void SetMultiCast(bool Value) { FMultiCast = Value; }
    const QByteArray &MultiCastAddrStr() const { return FMultiCastAddrStr; }
    void SetMultiCastAddrStr(const QByteArray &Value) { FMultiCastAddrStr = Value; }
    qint32 MultiCastIpTTL() const { return FMultiCastIpTTL; }
    void SetMultiCastIpTTL(qint32 Value) { FMultiCastIpTTL = Value; }
    bool ReuseAddr() const { return FReuseAddr; }
    void SetReuseAddr(bool Value) { FReuseAddr = Value; }
    TWSocketOptions ComponentOptions() const { return FComponentOptions; }
    void SetComponentOptions(TWSocketOptions Value) { FComponentOptions = Value; }
    qint32 FlushTimeout() const { return FFlushTimeout; }
    void SetFlushTimeout(qint32 Value) { FFlushTimeout = Value; }
    int SendFlags() const { return FSendFlags; }
    void SetSendFlags(int Value); // wsSendNormal or wsSendUrgent
    TSocketLingerOnOff LingerOnOff() const { return FLingerOnOff; }
    void SetLingerOnOff(TSocketLingerOnOff Value) { FLingerOnOff = Value; }
    qint32 LingerTimeout() const { return FLingerTimeout; }
    void SetLingerTimeout(qint32 Value) { FLingerTimeout = Value; }
    const QByteArray &SocksLevel() const { return FSocksLevel; }
    void SetSocksLevel(const QByteArray &Value); // "4", "4A" or "5"
    const QByteArray &SocksServer() const { return FSocksServer; }
    void SetSocksServer(const QByteArray &Value);
    const QByteArray &SocksPort() const { return FSocksPort; }
    void SetSocksPort(const QByteArray &Value);
    // Survive every close: a value set once stays for the life of the socket.
    const QByteArray &SocksUsercode() const { return FSocksUsercode; }
    void SetSocksUsercode(const QByteArray &Value) { FSocksUsercode = Value; }
    const QByteArray &SocksPassword() const { return FSocksPassword; }
    void SetSocksPassword(const QByteArray &Value) { FSocksPassword = Value; }
    TSocksAuthentication SocksAuthentication() const { return FSocksAuthentication; }
    void SetSocksAuthentication(TSocksAuthentication Value) { FSocksAuthentication = Value; }
    qintptr Tag() const { return FTag; }
    void SetTag(qintptr Value) { FTag = Value; }
    int HSocket() const { return FHSocket; }
    bool AllSent() const { return FAllSent; }

    // --- Operations.
    // Starts a name lookup; OnDnsLookupDone reports its end. A dotted IPv4
    // address is answered before DnsLookup returns; a host that fails the
    // host check (HostCheck.h) is reported as an invalid host name (10022);
    // any other name goes to the process's resolver (Resolver.h).
    void DnsLookup(const QByteArray &HostName);
    // Cancels a pending lookup; no event follows.
    void CancelLookup();
    // Opens a TCP connection to Addr:Port; OnSessionConnected reports the end.
    void Connect();
    // Queues the bytes and sends what the kernel accepts. Returns Len, or -1
    // when not connected. OnDataSent follows from the event loop once the
    // queue is empty, never from inside Send.
    qint32 Send(const void *Data, qint32 Len);
    qint32 SendStr(const QByteArray &Str) { return Send(Str.constData(), qint32(Str.size())); }
    // Reads up to Len bytes: the count, 0 at the end of the stream, or -1
    // (LastError holds the code; 10035 when nothing is waiting).
    qint32 Receive(void *Buffer, qint32 Len);
    // Graceful close (shutdown of the sending side first); raises
    // OnSessionClosed once for the connection.
    void Close();
    // Closes from the event loop, after the current handler has returned.
    void CloseDelayed();
    // Cancels a pending lookup, drops the send queue and closes at once.
    void Abort();
    // Frees the socket from the event loop.
    void Release() { deleteLater(); }

    // --- Events; the first argument is always this socket.
    TSessionEvent OnDataAvailable;
    TSessionEvent OnDataSent;
    TSendData OnSendData;
    TSessionEvent OnSessionClosed;
    TSessionEvent OnSessionAvailable;
    TSessionEvent OnSessionConnected;
    TSessionEvent OnSocksConnected;
    TChangeState OnChangeState;
    TSessionEvent OnDnsLookupDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

protected:
    void customEvent(QEvent *Event) override;

private:
    void ChangeState(TSocketState NewState);
    void RaiseError(const QByteArray &Msg);
    void SocketError(const char *Func, quint16 Code);
    bool CheckClosed(const char *What);
    void InternalClose(bool Shutdown, quint16 Error);
    void ResetSocket();
    void DropSendQueue();
    void PutDataInSendBuffer(const char *Data, qint32 Len);
    void TryToSend();
    void ConnectDone(quint16 Error);
    void ReadEvent();
    void WriteEvent();
    void PeerClosedEvent(quint16 Error);
    void LookupDone(int Id, const TLookupAnswer &Answer);
    void HandleBackgroundException(const std::exception &E);
    void OnReadNotifier();
    void OnWriteNotifier();
    void EnableRead(bool On);
    void EnableWrite(bool On);

    // Properties.
    QByteArray FAddr, FPort, FProto, FLocalAddr, FLocalPort;
    QByteArray FDnsResult;
    QByteArrayList FDnsResultList;
    TSocketState FState = wsClosed;
    qint32 FReadCount = 0;
    qint32 FLastError = 0;
    QByteArray FLastErrorMessage;
    bool FMultiThreaded = false;
    bool FMultiCast = false;
    QByteArray FMultiCastAddrStr;
    qint32 FMultiCastIpTTL = 1;
    bool FReuseAddr = false;
    TWSocketOptions FComponentOptions = 0;
    qint32 FFlushTimeout = 60;
    int FSendFlags = wsSendNormal;
    TSocketLingerOnOff FLingerOnOff = wsLingerOn;
    qint32 FLingerTimeout = 0;
    QByteArray FSocksLevel, FSocksServer, FSocksPort, FSocksUsercode, FSocksPassword;
    TSocksAuthentication FSocksAuthentication = socksNoAuthentication;
    qintptr FTag = 0;

    // Connection.
    int FHSocket = -1;
    quint32 FConnSerial = 0; // changes with every connection and every close
    QSocketNotifier *FReadNotifier = nullptr;
    QSocketNotifier *FWriteNotifier = nullptr;
    std::deque<std::unique_ptr<TBuffer>> FBufList;
    bool FAllSent = true;
    bool FCloseReported = false;
    bool FDestroying = false;
    // Per receive pass: what the last Receive saw.
    bool FRecvCalled = false;
    bool FRecvShort = false;
    bool FRecvWouldBlock = false;
    bool FPeerClosed = false;
    quint16 FRecvError = 0;
    bool FReadPaused = false;
    int FLookupId = -1;
};

} // namespace net
