#include "analyser/JudgeLevel.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string>

namespace analyser {

namespace {

// Headers in which proxies name the client they forward for.
constexpr QByteArrayView ForwardingHeaders[] = {
    "X-Forwarded-For",  "Forwarded",           "Forwarded-For",  "X-Forwarded",
    "Client-IP",        "X-Client-IP",         "X-Real-IP",      "X-Originating-IP",
    "X-Remote-IP",      "X-Remote-Addr",       "True-Client-IP", "CF-Connecting-IP",
    "Fastly-Client-IP", "X-Cluster-Client-IP", "X-ProxyUser-IP", "X-Tinyproxy",
    "Proxy-Client-IP",  "WL-Proxy-Client-IP",
};

// Headers that only a proxy adds, naming no client.
constexpr QByteArrayView TraceHeaders[] = {
    "Via",
    "X-Via",
    "X-Proxy-ID",
    "X-Forwarded-Host",
    "X-Forwarded-Proto",
    "X-Forwarded-Port",
    "X-Forwarded-Server",
    "X-Forwarded-By",
    "X-BlueCoat-Via",
    "X-Cache",
    "X-Cache-Lookup",
    "Xroxy-Connection",
    "X-IMForwards",
};
// Any header starting so is a proxy's too (Proxy-Connection, Proxy-Agent ...).
constexpr QByteArrayView TracePrefixes[] = {"Proxy-", "X-Proxy-"};

enum class TKind { Other, Trace, Forwarding };

char FoldedNameByte(char c)
{
    if (c == '-')
        return '_';
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool IsOneOf(QByteArrayView name, const auto &names)
{
    return std::any_of(std::begin(names), std::end(names),
                       [&](QByteArrayView n) { return SameHeaderName(name, n); });
}

TKind KindOf(QByteArrayView name)
{
    if (IsOneOf(name, ForwardingHeaders))
        return TKind::Forwarding;
    if (IsOneOf(name, TraceHeaders))
        return TKind::Trace;
    for (QByteArrayView prefix : TracePrefixes) {
        if (name.size() > prefix.size() && SameHeaderName(name.first(prefix.size()), prefix))
            return TKind::Trace;
    }
    return TKind::Other;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

QByteArrayView Trim(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

// The address of one list entry: quotes, brackets and a port taken off
// ("\"[2001:db8::1]:80\"" -> "2001:db8::1", "1.2.3.4:80" -> "1.2.3.4").
QByteArrayView Unwrap(QByteArrayView entry)
{
    entry = Trim(entry);
    if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
        entry = Trim(entry.sliced(1, entry.size() - 2));
    if (entry.startsWith('[')) {
        const qsizetype close = entry.indexOf(']');
        return close < 0 ? entry.sliced(1) : entry.sliced(1, close - 1);
    }
    const qsizetype colon = entry.indexOf(':');
    if (colon >= 0 && entry.indexOf(':', colon + 1) < 0)
        return entry.first(colon);
    return entry;
}

bool SameAddress(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The level one named entry of a forwarding header gives, 0 when it names
// nobody (empty, an obfuscated "_name", the peer itself).
int EntryLevel(QByteArrayView entry, QByteArrayView peer)
{
    const QByteArrayView address = Unwrap(entry);
    if (address.isEmpty() || address.startsWith('_') || SameAddress(address, peer))
        return 0;
    if (address.compare("unknown", Qt::CaseInsensitive) == 0)
        return alAddressForwarded;
    return RealmOf(address) < RealmOf(peer) ? alInnerAddress : alAddressForwarded;
}

// The highest level among the entries of a forwarding header: a list of
// addresses ("a, b"), or of Forwarded elements ("for=a;proto=http, for=b"),
// where only "for" names a client.
int ForwardingLevel(QByteArrayView value, QByteArrayView peer)
{
    int level = 0;
    while (!value.isEmpty()) {
        qsizetype sep = value.indexOf(',');
        const qsizetype semicolon = value.indexOf(';');
        if (semicolon >= 0 && (sep < 0 || semicolon < sep))
            sep = semicolon;
        if (sep < 0)
            sep = value.size();
        const QByteArrayView part = Trim(value.first(sep));
        value = sep < value.size() ? value.sliced(sep + 1) : QByteArrayView();
        const qsizetype eq = part.indexOf('=');
        if (eq >= 0 && Trim(part.first(eq)).compare("for", Qt::CaseInsensitive) != 0)
            continue;
        level = std::max(level, EntryLevel(eq < 0 ? part : part.sliced(eq + 1), peer));
    }
    return level;
}

} // namespace

bool SameHeaderName(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldedNameByte(x) == FoldedNameByte(y);
           });
}

TRealm RealmOf(QByteArrayView address)
{
    const std::string text(address.data(), size_t(address.size()));
    in_addr v4{};
    in6_addr v6{};
    quint32 ip = 0;
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        ip = ntohl(v4.s_addr);
    } else if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        const uint8_t *b = v6.s6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&v6))
            return TRealm::Loopback;
        if (IN6_IS_ADDR_LINKLOCAL(&v6) || (b[0] & 0xfe) == 0xfc)
            return TRealm::Private;
        if (!IN6_IS_ADDR_V4MAPPED(&v6))
            return TRealm::Public;
        ip = quint32(b[12]) << 24 | quint32(b[13]) << 16 | quint32(b[14]) << 8 | b[15];
    } else {
        return TRealm::Public;
    }
    const auto in = [ip](quint32 net, int bits) {
        return (ip >> (32 - bits)) == (net >> (32 - bits));
    };
    if (in(0x7f000000, 8))
        return TRealm::Loopback;
    if (in(0x0a000000, 8) || in(0xac100000, 12) || in(0xc0a80000, 16) || in(0x64400000, 10) ||
        in(0xa9fe0000, 16) || in(0x00000000, 8))
        return TRealm::Private;
    return TRealm::Public;
}

bool ShowsAddress(QByteArrayView text, QByteArrayView address)
{
    if (address.isEmpty())
        return false;
    for (qsizetype at = text.indexOf(address); at >= 0; at = text.indexOf(address, at + 1)) {
        const qsizetype end = at + address.size();
        const bool cleanStart = at == 0 || (!IsDigit(text[at - 1]) && text[at - 1] != '.');
        const bool cleanEnd = end == text.size() ||
                              (!IsDigit(text[end]) && !(text[end] == '.' && end + 1 < text.size() &&
                                                        IsDigit(text[end + 1])));
        if (cleanStart && cleanEnd)
            return true;
    }
    return false;
}

TAnonyLevel JudgeLevel(const THeaderFields &headers, QByteArrayView peer,
                       const QByteArrayList &clients)
{
    for (const QByteArray &client : clients) {
        if (SameAddress(client, peer))
            return alClientShown;
        for (const THeaderField &h : headers) {
            // Host names the judge as the client asked for it, not the client.
            // A name is shown on the page as much as a value is.
            if (ShowsAddress(h.Name, client) ||
                (!SameHeaderName(h.Name, "Host") && ShowsAddress(h.Value, client)))
                return alClientShown;
        }
    }
    int level = alNoProxy;
    for (const THeaderField &h : headers) {
        switch (KindOf(h.Name)) {
        case TKind::Other:
            break;
        case TKind::Trace:
            level = std::max<int>(level, alProxyTraces);
            break;
        case TKind::Forwarding:
            level = std::max<int>(level, alProxyTraces);
            level = std::max(level, ForwardingLevel(h.Value, peer));
            break;
        }
    }
    return TAnonyLevel(level);
}

const char *LevelMeaning(TAnonyLevel level)
{
    switch (level) {
    case alNoProxy:
        return "no trace of a proxy";
    case alProxyTraces:
        return "a proxy, no client named";
    case alAddressForwarded:
        return "an address forwarded";
    case alInnerAddress:
        return "an inner address forwarded";
    case alClientShown:
        return "the client's address shown";
    }
    return "";
}

} // namespace analyser
