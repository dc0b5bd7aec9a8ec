// A proxy's answer to CONNECT, read up to the empty line that ends its
// header: the status line and the header lines, within the same limits as
// any response header. What follows the header already belongs to the
// tunnel.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace net {

class TConnectAnswer
{
public:
    enum class TResult { More, Done, Failed };

    // Takes the next bytes from the proxy. Done once the header has ended
    // (Rest() then holds the bytes after it), Failed on an answer that is
    // not HTTP or breaks a limit (Error() says which). Nothing may be fed
    // after either.
    TResult Feed(const char *Data, qint32 Len);

    qint32 StatusCode() const { return FStatusCode; }
    const QByteArray &ReasonPhrase() const { return FReasonPhrase; }
    // A 2xx answer: the tunnel is open.
    bool Established() const { return FStatusCode >= 200 && FStatusCode <= 299; }
    const QByteArray &Rest() const { return FRest; }
    const QByteArray &Error() const { return FError; }
    // Bytes held while the header is incomplete.
    qint64 BytesHeld() const { return FLine.size() + FReasonPhrase.size() + FRest.size(); }

private:
    TResult TakeLine(const QByteArray &Line);
    TResult Failed(const char *Reason);

    QByteArray FLine; // the line under way, without its end
    qint32 FHeaderBytes = 0;
    qint32 FLines = 0;
    qint32 FStatusCode = 0;
    QByteArray FReasonPhrase;
    QByteArray FRest;
    QByteArray FError;
};

} // namespace net
