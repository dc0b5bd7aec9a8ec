#include "SocksAnswer.h"

#include "HostCheck.h"

#include <arpa/inet.h>

#include <algorithm>

namespace net {

namespace {

quint8 Byte(const QByteArray &B, qsizetype I)
{
    return quint8(B[I]);
}

void AppendPort(QByteArray &Out, quint16 Port)
{
    Out += char(Port >> 8);
    Out += char(Port & 0xff);
}

// The 4 bytes of a dotted IPv4 address that passed the host check.
void AppendDotted(QByteArray &Out, const QByteArray &Dotted)
{
    int Group = 0;
    for (const char C : Dotted) {
        if (C == '.') {
            Out += char(Group);
            Group = 0;
        } else {
            Group = Group * 10 + (C - '0');
        }
    }
    Out += char(Group);
}

// The 16 bytes of a bracketed IPv6 address; false when the inside is not one.
bool AppendIPv6(QByteArray &Out, const QByteArray &Bracketed)
{
    const QByteArray Inside = Bracketed.mid(1, Bracketed.size() - 2);
    unsigned char Bytes[16];
    if (inet_pton(AF_INET6, Inside.constData(), Bytes) != 1)
        return false;
    Out.append(reinterpret_cast<const char *>(Bytes), 16);
    return true;
}

const char *Reply5Text(int Code)
{
    switch (Code) {
    case 1:
        return "general failure";
    case 2:
        return "connection not allowed by ruleset";
    case 3:
        return "network unreachable";
    case 4:
        return "host unreachable";
    case 5:
        return "connection refused";
    case 6:
        return "TTL expired";
    case 7:
        return "command not supported";
    case 8:
        return "address type not supported";
    default:
        return "unknown error";
    }
}

const char *Reply4Text(int Code)
{
    switch (Code) {
    case 92:
        return "request rejected, no identd";
    case 93:
        return "request rejected, user id mismatch";
    default:
        return "request rejected";
    }
}

} // namespace

TSocksAnswer::TSocksAnswer(TLevel Level, const QByteArray &Host, quint16 Port,
                           const QByteArray &User, const QByteArray &Password)
    : FLevel(Level), FHost(Host), FUser(User), FPassword(Password), FPort(Port)
{
}

bool TSocksAnswer::LevelFromText(const QByteArray &Text, TLevel &Level)
{
    const QByteArrayView T = QByteArrayView(Text).trimmed();
    if (T == "4")
        Level = TLevel::Socks4;
    else if (T.compare("4A", Qt::CaseInsensitive) == 0)
        Level = TLevel::Socks4A;
    else if (T == "5")
        Level = TLevel::Socks5;
    else
        return false;
    return true;
}

TSocksAnswer::TResult TSocksAnswer::Failed(const QByteArray &Reason, qint32 Code)
{
    FError = Reason;
    FErrorCode = Code;
    FStep = TStep::Failed;
    // FOut keeps what the earlier answers called for, so that the messages
    // never depend on how the answers were split; nothing is sent after a
    // failure.
    FHeld.clear();
    FRequest.clear();
    return TResult::Failed;
}

QByteArray TSocksAnswer::Start()
{
    if (FStep != TStep::Start)
        return {};
    // The target passes the same host check as any host before it goes
    // into a message; its form chooses the address type.
    FForm = HostForm(FHost);
    if (FForm == THostForm::Invalid || FUser.contains('\0')) {
        Failed(QByteArrayLiteral("SOCKS: invalid target or user name"));
        return {};
    }
    const bool Dotted = FForm == THostForm::IPv4;
    QByteArray Out;
    if (FLevel == TLevel::Socks5) {
        if (FHost.size() > 255) {
            Failed(QByteArrayLiteral("SOCKS5: host name too long"));
            return {};
        }
        if (FUser.size() > 255 || FPassword.size() > 255) {
            Failed(QByteArrayLiteral("SOCKS5: user name or password too long"));
            return {};
        }
        // With credentials both methods are offered: the proxy chooses. The
        // request waits for the choice: some proxies read the greeting
        // alone and drop what came with it.
        if (!Request5(FRequest))
            return {};
        Out = FUser.isEmpty() ? QByteArray("\x05\x01\x00", 3) : QByteArray("\x05\x02\x00\x02", 4);
        FStep = TStep::Method;
        FNeed = 2;
        return Out;
    }
    // Version 4 carries an IPv4 address or (4A) a name, never IPv6.
    if (FForm == THostForm::IPv6 || (FLevel == TLevel::Socks4 && !Dotted)) {
        Failed(QByteArrayLiteral("SOCKS4: the target is not an IPv4 address"));
        return {};
    }
    Out = QByteArray("\x04\x01", 2);
    AppendPort(Out, FPort);
    // Version 4A: the address 0.0.0.x asks the proxy to resolve the name
    // that follows the user id.
    if (Dotted)
        AppendDotted(Out, FHost);
    else
        Out += QByteArray("\x00\x00\x00\x01", 4);
    Out += FUser + '\0';
    if (!Dotted)
        Out += FHost + '\0';
    FStep = TStep::Reply4;
    FNeed = 2;
    return Out;
}

bool TSocksAnswer::Request5(QByteArray &Out)
{
    Out += QByteArray("\x05\x01\x00", 3);
    if (FForm == THostForm::IPv4) {
        Out += '\x01';
        AppendDotted(Out, FHost);
    } else if (FForm == THostForm::IPv6) {
        Out += '\x04';
        if (!AppendIPv6(Out, FHost)) {
            Failed(QByteArrayLiteral("SOCKS: invalid target or user name"));
            return false;
        }
    } else {
        Out += '\x03';
        Out += char(FHost.size());
        Out += FHost;
    }
    AppendPort(Out, FPort);
    return true;
}

QByteArray TSocksAnswer::TakeOutput()
{
    QByteArray Out;
    Out.swap(FOut);
    return Out;
}

// Answers are read in stages, each ending where a byte decides what comes
// next (FNeed), so that the outcome never depends on how the bytes were split.
qint32 TSocksAnswer::Missing() const
{
    return FNeed - qint32(FHeld.size());
}

TSocksAnswer::TResult TSocksAnswer::Feed(const char *Data, qint32 Len)
{
    if (FStep == TStep::Failed)
        return TResult::Failed;
    if (FStep == TStep::Done || FStep == TStep::Start)
        return Failed(QByteArrayLiteral("SOCKS: malformed answer"));
    qint32 At = 0;
    while (At < Len) {
        const qint32 Take = std::min(Missing(), Len - At);
        FHeld.append(Data + At, Take);
        At += Take;
        if (Missing() > 0)
            continue;
        const TResult R = TakeAnswer();
        if (R == TResult::Done)
            FRest = QByteArray(Data + At, Len - At);
        if (R != TResult::More)
            return R;
    }
    return TResult::More;
}

// One stage of the answer under way is complete.
TSocksAnswer::TResult TSocksAnswer::TakeAnswer()
{
    const QByteArray Malformed = QByteArrayLiteral("SOCKS: malformed answer");
    switch (FStep) {
    case TStep::Method: {
        const quint8 Version = Byte(FHeld, 0), Method = Byte(FHeld, 1);
        FHeld.clear();
        if (Version != 5)
            return Failed(Malformed);
        if (Method == 0xff) {
            return Failed(FUser.isEmpty()
                              ? QByteArrayLiteral("SOCKS5: authentication required")
                              : QByteArrayLiteral("SOCKS5: no acceptable authentication method"));
        }
        if (Method == 0) {
            FAuth = TAuth::NotRequired;
            FOut += FRequest;
            FRequest.clear();
            FStep = TStep::Reply5;
            FNeed = 2;
            return TResult::More;
        }
        // Only the methods offered may be chosen.
        if (Method != 2 || FUser.isEmpty())
            return Failed(Malformed);
        FOut += '\x01';
        FOut += char(FUser.size());
        FOut += FUser;
        FOut += char(FPassword.size());
        FOut += FPassword;
        FAuth = TAuth::Sent;
        FStep = TStep::AuthReply;
        FNeed = 2;
        return TResult::More;
    }
    case TStep::AuthReply: {
        // The sub-negotiation's version is 1; some proxies answer with 5.
        const quint8 Version = Byte(FHeld, 0), Status = Byte(FHeld, 1);
        FHeld.clear();
        if (Version != 1 && Version != 5)
            return Failed(Malformed);
        if (Status != 0) {
            FAuth = TAuth::Refused;
            return Failed(QByteArrayLiteral("SOCKS5: authentication refused"), Status);
        }
        FAuth = TAuth::Accepted;
        FOut += FRequest;
        FRequest.clear();
        FStep = TStep::Reply5;
        FNeed = 2;
        return TResult::More;
    }
    case TStep::Reply5: {
        if (FHeld.size() == 2) {
            if (Byte(FHeld, 0) != 5)
                return Failed(Malformed);
            const int Code = Byte(FHeld, 1);
            if (Code != 0) {
                return Failed("SOCKS5: " + QByteArray(Reply5Text(Code)) + " (" +
                                  QByteArray::number(Code) + ')',
                              Code);
            }
            FNeed = 4;
            return TResult::More;
        }
        if (FHeld.size() == 4) {
            // The bound address: IPv4, a name after its length byte, IPv6.
            const quint8 Type = Byte(FHeld, 3);
            if (Type != 1 && Type != 3 && Type != 4)
                return Failed(Malformed);
            FNeed = Type == 1 ? 10 : Type == 4 ? 22 : 5;
            return TResult::More;
        }
        if (FNeed == 5) {
            FNeed = 7 + Byte(FHeld, 4);
            return TResult::More;
        }
        // The bound address is read whole and dropped.
        FHeld.clear();
        FStep = TStep::Done;
        return TResult::Done;
    }
    case TStep::Reply4: {
        if (FHeld.size() == 2) {
            if (Byte(FHeld, 0) != 0)
                return Failed(Malformed);
            const int Code = Byte(FHeld, 1);
            if (Code != 90) {
                return Failed("SOCKS4: " + QByteArray(Reply4Text(Code)) + " (" +
                                  QByteArray::number(Code) + ')',
                              Code);
            }
            FNeed = 8;
            return TResult::More;
        }
        FHeld.clear();
        FStep = TStep::Done;
        return TResult::Done;
    }
    default:
        return Failed(Malformed);
    }
}

} // namespace net
