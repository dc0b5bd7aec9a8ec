#include "analyser/ProxyEntries.h"

#include "net/HostCheck.h"
#include "util/HugePages.h"

#include <algorithm>
#include <string>

namespace analyser {

namespace {

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32; // spaces and control characters
}

QByteArrayView Trimmed(QByteArrayView text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// The digits of `text` into `out` (reused between lines, so that a long file
// costs no allocation per line).
void DigitsInto(std::string &out, QByteArrayView text)
{
    out.clear();
    for (char c : text)
        if (c >= '0' && c <= '9')
            out.push_back(c);
}

// Calls `line` for every line of `text`; lines end at CR LF, LF or CR.
template <class Line>
void ForEachLine(QByteArrayView text, Line line)
{
    const char *p = text.data();
    const char *const end = p + text.size();
    while (p < end) {
        const char *e = p;
        while (e < end && *e != '\n' && *e != '\r')
            ++e;
        line(QByteArrayView(p, e - p));
        if (e < end && *e == '\r' && e + 1 < end && e[1] == '\n')
            ++e;
        p = e + 1;
    }
}

// Room for `more` records. A large list is cheaper in huge pages: every
// first touch of a small page costs a fault (see util/HugePages.h).
void Reserve(TAnalyserList &list, std::size_t more)
{
    if (list.capacity() - list.size() >= more)
        return;
    list.reserve(list.size() + more);
    util::AdviseHugePages(list);
}

qsizetype LineCountAtMost(QByteArrayView text)
{
    return qsizetype(std::count_if(text.begin(), text.end(),
                                   [](char c) { return c == '\n' || c == '\r'; })) +
           1;
}

// One line of a file or the clipboard: `trim` says whether Host and the text
// after the colon are trimmed first. Adds nothing for a line that gives
// neither a host nor a port.
bool AppendLine(TAnalyserList &list, QByteArrayView line, bool trim, net::TProxyType unprefixed,
                std::string &digits)
{
    if (Trimmed(line).isEmpty())
        return false;
    if (trim)
        line = Trimmed(line);
    net::TProxyType type = unprefixed;
    net::TakeProxyPrefix(line, type);
    const qsizetype colon = line.indexOf(':');
    QByteArrayView host;
    if (colon < 0) {
        DigitsInto(digits, line);
    } else {
        host = line.first(colon);
        QByteArrayView rest = line.sliced(colon + 1);
        if (trim) {
            host = Trimmed(host);
            rest = Trimmed(rest);
        }
        DigitsInto(digits, rest);
    }
    if (host.isEmpty() && digits.empty())
        return false;
    TProxyItem &item = list.emplace_back();
    item.Host = host;
    item.Port = QByteArrayView(digits.data(), qsizetype(digits.size()));
    item.Type = type;
    return true;
}

qsizetype AppendLines(TAnalyserList &list, QByteArrayView text, bool trim,
                      net::TProxyType unprefixed = net::ptHttp)
{
    Reserve(list, size_t(LineCountAtMost(text)));
    std::string digits;
    qsizetype added = 0;
    ForEachLine(text, [&](QByteArrayView line) {
        if (AppendLine(list, line, trim, unprefixed, digits))
            ++added;
    });
    return added;
}

// HTTP rows stay a bare "Host:Port", as every file before types had them.
void AppendProxyLine(QByteArray &out, const TProxyItem &item)
{
    out.append(net::ProxyTypePrefix(item.Type));
    out.append(item.Host.view());
    out.append(':');
    out.append(item.Port.view());
    out.append("\r\n", 2);
}

} // namespace

QByteArray DeleteNonNumbers(QByteArrayView text)
{
    std::string digits;
    DigitsInto(digits, text);
    return QByteArray(digits.data(), qsizetype(digits.size()));
}

qsizetype AppendFileLines(TAnalyserList &list, QByteArrayView content, net::TProxyType unprefixed)
{
    return AppendLines(list, content, false, unprefixed);
}

qsizetype AppendClipboardLines(TAnalyserList &list, QByteArrayView text)
{
    return AppendLines(list, text, true);
}

TProxyItem TypedProxy(QByteArrayView answer)
{
    TProxyItem item;
    net::TProxyType type = net::ptHttp;
    net::TakeProxyPrefix(answer, type);
    item.Type = type;
    const qsizetype colon = answer.indexOf(':');
    if (colon < 0) {
        item.Port = answer;
    } else {
        item.Host = answer.first(colon);
        item.Port = answer.sliced(colon + 1);
    }
    return item;
}

bool HasProxyAddress(const TProxyItem &item)
{
    if (!net::IsValidHost(Trimmed(item.Host.view())))
        return false;
    const QByteArrayView port = Trimmed(item.Port.view());
    if (port.isEmpty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int number = port.toInt();
    return number >= 1 && number <= 65535;
}

TAnalyserList TakeOver(const leecher::TProxyList &proxies)
{
    TAnalyserList list;
    Reserve(list, proxies.size());
    for (const leecher::TProxyItem &proxy : proxies) {
        TProxyItem &item = list.emplace_back();
        item.Host = proxy.Host;
        item.Port = proxy.Port;
        item.Type = proxy.Type;
    }
    return list;
}

QByteArray ProxyLines(const TAnalyserList &list, const std::vector<int> &rows)
{
    QByteArray out;
    qsizetype size = 0;
    for (int row : rows)
        size += list[size_t(row)].Host.size() + list[size_t(row)].Port.size() + 12;
    out.reserve(size);
    for (int row : rows)
        AppendProxyLine(out, list[size_t(row)]);
    return out;
}

QByteArray ProxyLines(const TAnalyserList &list)
{
    QByteArray out;
    qsizetype size = 0;
    for (const TProxyItem &item : list)
        size += item.Host.size() + item.Port.size() + 12;
    out.reserve(size);
    for (const TProxyItem &item : list)
        AppendProxyLine(out, item);
    return out;
}

} // namespace analyser
