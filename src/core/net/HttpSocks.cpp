// The SOCKS proxy between the client and what it connects to: the proxy is
// looked up and connected to in place of the target, then asked for the
// target. Once it has agreed, the connection carries the tunnel, TLS or the
// request exactly as a direct one would.
#include "HttpProt.h"
#include "Resolver.h"
#include "SocksAnswer.h"

namespace net {

// Version 4 carries only an address, so a target named by its host name is
// looked up here first, through the process's resolver, then the proxy.
void THttpCli::LookupSocksTarget()
{
    // The resolver takes only checked names (an empty one is not).
    if (!IsValidHost(FHostName)) {
        SocketDnsLookupDone(WSAEINVAL);
        return;
    }
    const quint32 Id = FRequestId;
    CurrentResolver().Lookup(FHostName, this, [this, Id](const TLookupAnswer &A) {
        if (!Busy(Id) || FState != hsDnsLookup || FStep != TStep::Connecting)
            return;
        if (A.Error || A.Addresses.isEmpty()) {
            SocketDnsLookupDone(A.Error ? A.Error : quint16(WSANO_DATA));
            return;
        }
        FSocksTarget = A.Addresses.first();
        try {
            FCtrlSocket->DnsLookup(FSocksServer);
        } catch (const std::exception &E) {
            if (Busy(Id))
                Fail(QByteArray(E.what()));
        }
    });
}

void THttpCli::StartSocks()
{
    FStep = TStep::Socks;
    TSocksAnswer::TLevel Level = TSocksAnswer::TLevel::Socks5;
    TSocksAnswer::LevelFromText(FSocksLevel, Level);
    bool Ok = false;
    const uint Port = FPort.trimmed().toUInt(&Ok);
    if (!Ok || Port == 0 || Port > 65535) {
        SocksFailed(QByteArrayLiteral("SOCKS: invalid target port"), 0);
        return;
    }
    const bool Auth = FSocksAuthentication == socksAuthenticateUsercode;
    FSocks = std::make_unique<TSocksAnswer>(Level, FSocksTarget, quint16(Port),
                                            Auth ? FSocksUsercode : QByteArray(),
                                            Auth ? FSocksPassword : QByteArray());
    const QByteArray First = FSocks->Start();
    if (First.isEmpty()) {
        SocksFailed(FSocks->Error(), 0);
        return;
    }
    FCtrlSocket->Send(First.constData(), qint32(First.size()));
}

void THttpCli::SocksData()
{
    // No answer is longer than 262 bytes: a bigger read shows a proxy that
    // says more than it was asked.
    char Buf[512];
    const qint32 Len = FCtrlSocket->Receive(Buf, sizeof Buf);
    if (Len <= 0)
        return;
    const TSocksAnswer::TAuth Before = FSocks->Auth();
    const TSocksAnswer::TResult R = FSocks->Feed(Buf, Len);
    const TSocksAnswer::TAuth After = FSocks->Auth();
    const QByteArray Out = FSocks->TakeOutput();
    const TGuard G(this);
    if (After != Before && OnSocksAuthState) {
        if (Before == TSocksAnswer::TAuth::None && After != TSocksAnswer::TAuth::NotRequired) {
            OnSocksAuthState(this, socksAuthStart);
            if (!G.Busy())
                return;
        }
        if (After != TSocksAnswer::TAuth::Sent) {
            OnSocksAuthState(this, After == TSocksAnswer::TAuth::Accepted  ? socksAuthSuccess
                                   : After == TSocksAnswer::TAuth::Refused ? socksAuthFailure
                                                                           : socksAuthNotRequired);
            if (!G.Busy())
                return;
        }
    }
    switch (R) {
    case TSocksAnswer::TResult::Failed:
        SocksFailed(FSocks->Error(), FSocks->ErrorCode());
        return;
    case TSocksAnswer::TResult::More:
        if (!Out.isEmpty())
            FCtrlSocket->Send(Out.constData(), qint32(Out.size()));
        return;
    case TSocksAnswer::TResult::Done:
        break;
    }
    // An answer to a message not yet sent, or bytes before the request:
    // neither comes from a proxy that follows the protocol.
    if (!Out.isEmpty() || !FSocks->Rest().isEmpty()) {
        SocksFailed(QByteArrayLiteral("SOCKS: malformed answer"), 0);
        return;
    }
    FSocks.reset();
    if (OnSocksConnected) {
        OnSocksConnected(this, 0);
        if (!G.Busy())
            return;
    }
    ConnectionUp();
}

void THttpCli::SocksFailed(const QByteArray &Reason, qint32 Code)
{
    if (OnSocksError) {
        const TGuard G(this);
        OnSocksError(this, Code, Reason);
        if (!G.Busy())
            return;
    }
    Fail(Reason);
}

} // namespace net
