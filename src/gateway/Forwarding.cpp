#include "Forwarding.h"

#include "net/HostCheck.h"

#include <QByteArrayList>

namespace gateway {

namespace {

bool Named(QByteArrayView name, QByteArrayView expected)
{
    return name.compare(expected, Qt::CaseInsensitive) == 0;
}

// The header names a Connection header lists, lower case.
QByteArrayList ConnectionTokens(const server::THeaderFields &headers)
{
    QByteArrayList tokens;
    for (const auto &h : headers) {
        if (!Named(h.Name, "Connection"))
            continue;
        for (const QByteArray &t : h.Value.split(','))
            tokens.append(t.trimmed().toLower());
    }
    return tokens;
}

// Headers that frame the message: dropping them would change where the body
// ends, whatever Connection names.
bool Framing(QByteArrayView name)
{
    return Named(name, "Content-Length") || Named(name, "Transfer-Encoding") || Named(name, "Host");
}

bool HopByHop(QByteArrayView name, const QByteArrayList &named)
{
    static const char *const always[] = {
        "Connection", "Proxy-Connection", "Keep-Alive", "Proxy-Authorization",
        "TE",         "Upgrade",          "Expect"};
    for (const char *h : always) {
        if (Named(name, h))
            return true;
    }
    return !Framing(name) && named.contains(name.toByteArray().toLower());
}

// host and port of "host:port" or "[v6]:port"; false when it is not that.
bool SplitAuthority(QByteArrayView authority, QByteArray &host, quint16 &port, bool portNeeded)
{
    qsizetype colon = authority.lastIndexOf(':');
    if (colon >= 0 && authority.first(colon).startsWith('[') == false &&
        authority.first(colon).contains(':'))
        return false;
    if (colon >= 0 && authority.endsWith(']'))
        colon = -1; // "[::1]" without a port
    host = (colon < 0 ? authority : authority.first(colon)).toByteArray();
    if (colon < 0) {
        if (portNeeded)
            return false;
    } else {
        bool ok = false;
        const uint p = authority.sliced(colon + 1).toUInt(&ok);
        if (!ok || p == 0 || p > 65535)
            return false;
        port = quint16(p);
    }
    return net::IsValidHost(host);
}

} // namespace

int TargetOf(const server::TRequestHead &request, TTarget &target)
{
    int lengths = 0;
    QByteArray length;
    bool transfer = false;
    for (const auto &h : request.Headers) {
        if (Named(h.Name, "Transfer-Encoding"))
            transfer = true;
        if (Named(h.Name, "Content-Length")) {
            if (lengths++ > 0 && h.Value != length)
                return 400;
            length = h.Value;
        }
    }
    // Two ends of the body to choose from: a smuggled request is one of them.
    if (transfer && lengths > 0)
        return 400;
    bool digits = length.size() <= 18;
    for (const char c : length)
        digits = digits && c >= '0' && c <= '9';
    if (!digits)
        return 400;
    target.BodyLength = transfer ? -1 : length.isEmpty() ? 0 : length.toLongLong();

    if (request.Method == "CONNECT") {
        target.Tunnel = true;
        target.Authority = request.Target;
        return SplitAuthority(request.Target, target.Host, target.Port, true) ? 0 : 400;
    }
    const QByteArrayView t = request.Target;
    const qsizetype scheme = t.indexOf("://");
    if (scheme < 0)
        return 400; // origin form: not a proxy request
    if (t.first(scheme).compare("http", Qt::CaseInsensitive) != 0)
        return 501;
    const QByteArrayView rest = t.sliced(scheme + 3);
    qsizetype end = rest.size();
    for (const char c : {'/', '?', '#'}) {
        const qsizetype at = rest.indexOf(c);
        if (at >= 0 && at < end)
            end = at;
    }
    target.Authority = rest.first(end).toByteArray();
    if (target.Authority.contains('@'))
        return 400; // credentials in the address go nowhere
    target.Port = 80;
    if (!SplitAuthority(target.Authority, target.Host, target.Port, false))
        return 400;
    QByteArrayView path = rest.sliced(end);
    const qsizetype hash = path.indexOf('#');
    if (hash >= 0)
        path.truncate(hash);
    target.Path =
        path.isEmpty() || path.front() != '/' ? '/' + path.toByteArray() : path.toByteArray();
    return 0;
}

bool ExpectsContinue(const server::TRequestHead &request)
{
    for (const auto &h : request.Headers) {
        if (Named(h.Name, "Expect") && h.Value.compare("100-continue", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray UpstreamHead(const server::TRequestHead &request, const TTarget &target, bool absolute)
{
    const QByteArrayList named = ConnectionTokens(request.Headers);
    QByteArray head = request.Method + ' ' +
                      (absolute ? "http://" + target.Authority + target.Path : target.Path) + ' ' +
                      request.Version + "\r\nHost: " + target.Authority + "\r\n";
    for (const auto &h : request.Headers) {
        if (HopByHop(h.Name, named) || Named(h.Name, "Host"))
            continue;
        head += h.Name + ": " + h.Value + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    return head;
}

QByteArray ConnectHead(const TTarget &target)
{
    return "CONNECT " + target.Authority + " HTTP/1.1\r\nHost: " + target.Authority + "\r\n\r\n";
}

int ResponseStatus(QByteArrayView head)
{
    if (!head.startsWith("HTTP/1.") || head.size() < 12 || head[8] != ' ')
        return 0;
    bool ok = false;
    const int status = head.sliced(9, 3).toInt(&ok);
    return ok && status >= 100 && status <= 999 ? status : 0;
}

QByteArray ClientResponseHead(QByteArrayView head)
{
    if (ResponseStatus(head) == 0)
        return {};
    const QList<QByteArrayView> lines = server::HeadLines(head);
    QByteArray out = lines.value(0).toByteArray() + "\r\n";
    server::THeaderFields fields;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            return {};
        fields.push_back({lines[i].first(colon).toByteArray(),
                          lines[i].sliced(colon + 1).trimmed().toByteArray()});
    }
    const QByteArrayList named = ConnectionTokens(fields);
    for (const auto &h : fields) {
        if (!HopByHop(h.Name, named))
            out += h.Name + ": " + h.Value + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    return out;
}

QByteArray GatewayAnswer(int status, QByteArrayView text, QByteArrayView extraHeaders)
{
    static const struct
    {
        int Status;
        const char *Reason;
    } reasons[] = {{100, "Continue"},
                   {200, "OK"},
                   {400, "Bad Request"},
                   {401, "Unauthorized"},
                   {404, "Not Found"},
                   {405, "Method Not Allowed"},
                   {407, "Proxy Authentication Required"},
                   {408, "Request Timeout"},
                   {431, "Request Header Fields Too Large"},
                   {501, "Not Implemented"},
                   {502, "Bad Gateway"},
                   {503, "Service Unavailable"},
                   {505, "HTTP Version Not Supported"}};
    QByteArray reason = "Error";
    for (const auto &r : reasons) {
        if (r.Status == status)
            reason = r.Reason;
    }
    const QByteArray body = text.toByteArray() + '\n';
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n" + extraHeaders.toByteArray() + "Connection: close\r\n\r\n" + body;
}

} // namespace gateway
