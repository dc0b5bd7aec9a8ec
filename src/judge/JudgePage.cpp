#include "JudgePage.h"

#include <QDateTime>
#include <QLocale>

#include <ctime>

namespace judge {

namespace {

// The Date header's value, made once a second.
QByteArray HttpDate()
{
    static thread_local std::time_t last = 0;
    static thread_local QByteArray text;
    const std::time_t now = std::time(nullptr);
    if (now != last) {
        last = now;
        // English day and month names whatever the locale.
        text = QLocale::c()
                   .toString(QDateTime::fromSecsSinceEpoch(now, Qt::UTC),
                             u"ddd, dd MMM yyyy hh:mm:ss 'GMT'")
                   .toLatin1();
    }
    return text;
}

QByteArray CgiName(QByteArrayView header)
{
    QByteArray name = "HTTP_" + header.toByteArray().toUpper();
    name.replace('-', '_');
    return name;
}

} // namespace

QByteArray HtmlEscape(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if ((u < 32 && c != '\t') || u == 127)
                out += "&#" + QByteArray::number(u) + ';';
            else
                out += c;
        }
    }
    return out;
}

QByteArray JudgePage(const TRequestHead &request, QByteArrayView peer, quint16 peerPort,
                     TAnonyLevel level)
{
    QByteArray page;
    page.reserve(512 + 64 * qsizetype(request.Headers.size()));
    page += "<!DOCTYPE html>\n<html><head><title>Proxy judge</title></head><body><pre>\n";
    page += "REMOTE_ADDR=" + peer.toByteArray().leftJustified(15, ' ') + '\n';
    page +=
        "AnonyLevel=<b>" + QByteArray::number(int(level)) + "</b> " + LevelMeaning(level) + '\n';
    page += "REMOTE_PORT=" + QByteArray::number(peerPort) + '\n';
    page += "REQUEST_METHOD=" + HtmlEscape(request.Method) + '\n';
    page += "SERVER_PROTOCOL=" + HtmlEscape(request.Version) + '\n';
    for (const THeaderField &h : request.Headers)
        page += HtmlEscape(CgiName(h.Name)) + '=' + HtmlEscape(h.Value) + '\n';
    page += "</pre></body></html>\n";
    return page;
}

const char *ReasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    }
    return "Error";
}

QByteArray Response(int status, QByteArrayView contentType, QByteArrayView body, bool headOnly)
{
    QByteArray out;
    out.reserve(320 + (headOnly ? 0 : body.size()));
    out += "HTTP/1.1 " + QByteArray::number(status) + ' ' + ReasonPhrase(status) + "\r\n";
    out += "Date: " + HttpDate() + "\r\n";
    out += "Server: vexo-judge\r\n";
    out += "Content-Type: " + contentType.toByteArray() + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (status == 405)
        out += "Allow: GET, HEAD\r\n";
    out += "Cache-Control: no-store\r\nExpires: 0\r\n"
           "X-Content-Type-Options: nosniff\r\n"
           "Content-Security-Policy: default-src 'none'\r\n"
           "Connection: close\r\n\r\n";
    if (!headOnly)
        out += body;
    return out;
}

QByteArray ErrorResponse(int status, bool headOnly)
{
    const QByteArray body = QByteArray::number(status) + ' ' + ReasonPhrase(status) + '\n';
    return Response(status, "text/plain", body, headOnly);
}

} // namespace judge
