#include "JudgePage.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cstring>
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

// How a byte of what the client sent shows on the page: itself, or its
// reference. A table, so that escaping costs one look-up per byte whatever
// the bytes are.
struct TEscape
{
    quint8 Length = 0;
    char Text[7] = {};
};
using TEscapes = std::array<TEscape, 256>;

constexpr TEscape EscapeOf(unsigned char u)
{
    TEscape e;
    auto put = [&e](const char *text) {
        while (*text)
            e.Text[e.Length++] = *text++;
    };
    switch (u) {
    case '&':
        put("&amp;");
        break;
    case '<':
        put("&lt;");
        break;
    case '>':
        put("&gt;");
        break;
    case '"':
        put("&quot;");
        break;
    case '\'':
        put("&#39;");
        break;
    default:
        if ((u < 32 && u != '\t') || u == 127) {
            put("&#");
            if (u >= 100)
                e.Text[e.Length++] = char('0' + u / 100);
            if (u >= 10)
                e.Text[e.Length++] = char('0' + u / 10 % 10);
            e.Text[e.Length++] = char('0' + u % 10);
            put(";");
        } else {
            e.Text[e.Length++] = char(u);
        }
    }
    return e;
}

// Header names show as CGI variables: upper case, '-' as '_'.
constexpr unsigned char CgiFold(unsigned char u)
{
    if (u >= 'a' && u <= 'z')
        return u - 'a' + 'A';
    return u == '-' ? '_' : u;
}

constexpr TEscapes MakeEscapes(bool names)
{
    TEscapes table;
    for (int u = 0; u < 256; ++u)
        table[u] = EscapeOf(names ? CgiFold(u) : u);
    return table;
}

constexpr TEscapes ValueEscapes = MakeEscapes(false);
constexpr TEscapes NameEscapes = MakeEscapes(true);

// The page is composed twice: once to count its bytes, then into an array
// of exactly that size.
class TMeasure
{
public:
    void Raw(QByteArrayView text) { Size += text.size(); }
    void Escaped(QByteArrayView text, const TEscapes &table)
    {
        for (char c : text)
            Size += table[static_cast<unsigned char>(c)].Length;
    }
    qsizetype Size = 0;
};

class TWrite
{
public:
    explicit TWrite(char *at) : At(at) {}
    void Raw(QByteArrayView text)
    {
        if (text.isEmpty())
            return; // its data may be null, which memcpy must not get
        std::memcpy(At, text.data(), size_t(text.size()));
        At += text.size();
    }
    void Escaped(QByteArrayView text, const TEscapes &table)
    {
        for (char c : text) {
            const TEscape &e = table[static_cast<unsigned char>(c)];
            if (e.Length == 1) {
                *At++ = e.Text[0];
            } else {
                std::memcpy(At, e.Text, e.Length);
                At += e.Length;
            }
        }
    }
    char *At;
};

template <class Sink>
void Compose(Sink &out, const TRequestHead &request, QByteArrayView peer, QByteArrayView port,
             TAnonyLevel level)
{
    constexpr QByteArrayView Blanks = "               ";
    const char digit = char('0' + int(level));
    out.Raw("<!DOCTYPE html>\n<html><head><title>Proxy judge</title></head><body><pre>\n"
            "REMOTE_ADDR=");
    out.Raw(peer);
    out.Raw(Blanks.first(std::max<qsizetype>(0, Blanks.size() - peer.size())));
    out.Raw("\nAnonyLevel=<b>");
    out.Raw(QByteArrayView(&digit, 1));
    out.Raw("</b> ");
    out.Raw(LevelMeaning(level));
    out.Raw("\nREMOTE_PORT=");
    out.Raw(port);
    out.Raw("\nREQUEST_METHOD=");
    out.Escaped(request.Method, ValueEscapes);
    out.Raw("\nSERVER_PROTOCOL=");
    out.Escaped(request.Version, ValueEscapes);
    out.Raw("\n");
    for (const THeaderField &h : request.Headers) {
        out.Raw("HTTP_");
        out.Escaped(h.Name, NameEscapes);
        out.Raw("=");
        out.Escaped(h.Value, ValueEscapes);
        out.Raw("\n");
    }
    out.Raw("</pre></body></html>\n");
}

} // namespace

QByteArray HtmlEscape(QByteArrayView text)
{
    TMeasure size;
    size.Escaped(text, ValueEscapes);
    QByteArray out(size.Size, Qt::Uninitialized);
    TWrite(out.data()).Escaped(text, ValueEscapes);
    return out;
}

QByteArray JudgePage(const TRequestHead &request, QByteArrayView peer, quint16 peerPort,
                     TAnonyLevel level, qsizetype maxBytes)
{
    const QByteArray port = QByteArray::number(peerPort);
    TMeasure size;
    Compose(size, request, peer, port, level);
    if (size.Size > maxBytes)
        return {};
    QByteArray page(size.Size, Qt::Uninitialized);
    TWrite write(page.data());
    Compose(write, request, peer, port, level);
    Q_ASSERT(write.At == page.constData() + page.size());
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
