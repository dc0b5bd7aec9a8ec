// The client's side of a SOCKS negotiation (versions 4, 4A and 5, with the
// user name and password method of version 5): the messages to send and the
// reading of the proxy's answers, without the socket. Every answer has a
// length that the protocol bounds (at most 262 bytes), so no more is ever
// held; what follows the last answer belongs to the connection.
#pragma once

#include "HostCheck.h"

#include <QByteArray>
#include <QtGlobal>

namespace net {

class TSocksAnswer
{
public:
    enum class TLevel { Socks4, Socks4A, Socks5 };
    enum class TResult { More, Done, Failed };
    // Where the version 5 user name and password step stands.
    enum class TAuth { None, NotRequired, Sent, Accepted, Refused };

    // Host is the target's name, dotted IPv4 or bracketed IPv6 address, as
    // the host check takes it; version 4 takes only the dotted address (the
    // caller resolves a name first), 4A no IPv6 address. The user
    // name and password are used only when User is not empty.
    TSocksAnswer(TLevel Level, const QByteArray &Host, quint16 Port, const QByteArray &User = {},
                 const QByteArray &Password = {});

    // "4", "4A" (any case) or "5"; false for anything else.
    static bool LevelFromText(const QByteArray &Text, TLevel &Level);

    // The first message: the version 5 greeting or the version 4 request.
    // Empty, with Error() set, when the target or the credentials cannot be
    // put in a SOCKS message.
    QByteArray Start();
    // Takes the next bytes from the proxy. More: what TakeOutput() gives
    // goes out next and more answer is awaited. Done: the connection leads
    // to the target (Rest() holds any bytes after the last answer). Failed:
    // Error() says why, ErrorCode() holds the proxy's reply code, if any.
    // Nothing may be fed after Done or Failed.
    TResult Feed(const char *Data, qint32 Len);
    // Messages the answers so far call for (the credentials, the request).
    QByteArray TakeOutput();

    const QByteArray &Error() const { return FError; }
    qint32 ErrorCode() const { return FErrorCode; }
    TAuth Auth() const { return FAuth; }
    const QByteArray &Rest() const { return FRest; }
    qint64 BytesHeld() const { return FHeld.size() + FOut.size() + FRequest.size() + FRest.size(); }

private:
    enum class TStep { Start, Method, AuthReply, Reply5, Reply4, Done, Failed };

    // Bytes still missing before the next stage of the answer under way.
    qint32 Missing() const;
    TResult TakeAnswer();
    TResult Failed(const QByteArray &Reason, qint32 Code = 0);
    // Appends the version 5 connect request; false (failed) when the
    // target cannot be written as an address.
    bool Request5(QByteArray &Out);

    TLevel FLevel;
    QByteArray FHost, FUser, FPassword;
    quint16 FPort;
    THostForm FForm = THostForm::Invalid;
    TStep FStep = TStep::Start;
    TAuth FAuth = TAuth::None;
    QByteArray FHeld; // the answer under way
    qint32 FNeed = 0; // its length at the end of the current stage
    QByteArray FOut;
    QByteArray FRequest; // the version 5 request, until the method is chosen
    QByteArray FRest;
    QByteArray FError;
    qint32 FErrorCode = 0;
};

} // namespace net
