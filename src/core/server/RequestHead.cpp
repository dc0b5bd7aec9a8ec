#include "RequestHead.h"

namespace server {

namespace {

// Characters of a method or header name (a token).
bool IsTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool IsToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (!IsTokenChar(c))
            return false;
    }
    return true;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

QByteArrayView TrimBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

// 0, or the status for a request line that is not METHOD SP TARGET SP HTTP/x.y.
int ParseRequestLine(QByteArrayView line, TRequestHead &request)
{
    const qsizetype sp1 = line.indexOf(' ');
    const qsizetype sp2 = sp1 < 0 ? -1 : line.indexOf(' ', sp1 + 1);
    if (sp2 < 0 || line.indexOf(' ', sp2 + 1) >= 0)
        return 400;
    const QByteArrayView method = line.first(sp1);
    const QByteArrayView target = line.sliced(sp1 + 1, sp2 - sp1 - 1);
    const QByteArrayView version = line.sliced(sp2 + 1);
    if (!IsToken(method) || target.isEmpty())
        return 400;
    for (char c : target) {
        if (static_cast<unsigned char>(c) <= 32 || c == 127)
            return 400;
    }
    if (version.size() != 8 || !version.startsWith("HTTP/") || !IsDigit(version[5]) ||
        version[6] != '.' || !IsDigit(version[7]))
        return 400;
    if (version[5] != '1')
        return 505;
    request.Method = method.toByteArray();
    request.Target = target.toByteArray();
    request.Version = version.toByteArray();
    return 0;
}

int ParseHeaderLine(QByteArrayView line, TRequestHead &request)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || !IsToken(line.first(colon)))
        return 400; // also a folded line, which starts with a blank
    const QByteArrayView value = TrimBlanks(line.sliced(colon + 1));
    if (value.contains('\0') || value.contains('\r'))
        return 400;
    const QByteArrayView name = line.first(colon);
    if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
        request.HasBody = request.HasBody || value != "0";
    else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0)
        request.HasBody = true;
    request.Headers.push_back({name.toByteArray(), value.toByteArray()});
    return 0;
}

} // namespace

THeadScanner::TState THeadScanner::Scan(QByteArrayView data)
{
    for (qsizetype i = FScanned; i < data.size(); ++i) {
        if (i >= FLimits.HeaderBytes)
            return TooLarge;
        const char c = data[i];
        if (!FInRequestLine) {
            FInRequestLine = c != '\r' && c != '\n';
            FLineEmpty = !FInRequestLine;
            continue;
        }
        if (c == '\n') {
            if (FLineEmpty) {
                FHeadSize = i + 1;
                FScanned = i + 1;
                return Complete;
            }
            // The request line's end is the first; the header lines follow.
            if (++FLineEnds - 1 > FLimits.HeaderLines)
                return TooLarge;
            FLineEmpty = true;
        } else if (c != '\r') {
            FLineEmpty = false;
        }
    }
    FScanned = data.size();
    return Incomplete;
}

QList<QByteArrayView> HeadLines(QByteArrayView head)
{
    QList<QByteArrayView> lines;
    qsizetype from = 0;
    while (from < head.size()) {
        qsizetype end = head.indexOf('\n', from);
        if (end < 0)
            end = head.size();
        QByteArrayView line = head.sliced(from, end - from);
        from = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty()) {
            if (lines.isEmpty())
                continue; // empty lines before the first line
            break;        // the end of the head
        }
        lines.append(line);
    }
    return lines;
}

int ParseRequestHead(QByteArrayView head, TRequestHead &request)
{
    const QList<QByteArrayView> lines = HeadLines(head);
    if (lines.isEmpty())
        return 400;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int status =
            i == 0 ? ParseRequestLine(lines[i], request) : ParseHeaderLine(lines[i], request);
        if (status != 0)
            return status;
    }
    return 0;
}

} // namespace server
