#include "lists/ListSort.h"

#include "lists/ListFiles.h"

#include "util/HugePages.h"
#include "util/ParallelSort.h"
#include "util/SortKeys.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>
#include <vector>

namespace leecher {

namespace {

std::string_view Bytes(const QByteArray &text)
{
    return std::string_view(text.constData(), size_t(text.size()));
}

std::string_view Bytes(const TCompactBytes &text)
{
    return text.stdView();
}

using Prefix = util::TPrefix;

// Sorts `list` by a text field, byte by byte.
template <class Item, class Field>
void SortByText(std::vector<Item> &list, Field field, bool ascending)
{
    Q_ASSERT(list.size() < std::numeric_limits<quint32>::max());
    struct Entry
    {
        Prefix prefix;
        quint32 index;
        quint32 length; // texts of up to 16 bytes compare by prefix and length alone
    };
    std::vector<Entry> order;
    order.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto &text = field(list[i]);
        order.push_back(Entry{Prefix::Of(QByteArrayView(text.constData(), text.size())), quint32(i),
                              quint32(std::min<qsizetype>(text.size(), 0xffffffff))});
    }
    const auto less = [&](const Entry &a, const Entry &b) {
        int c = a.prefix.Compare(b.prefix);
        if (c == 0 && (a.length > 16 || b.length > 16))
            c = Bytes(field(list[a.index])).compare(Bytes(field(list[b.index])));
        else if (c == 0)
            c = a.length == b.length ? 0 : (a.length < b.length ? -1 : 1);
        return ascending ? c < 0 : c > 0;
    };
    std::sort(order.begin(), order.end(), less);
    util::ApplyOrder(list, order);
}

struct PortEntry
{
    quint32 port;
    quint32 index;
};

std::vector<PortEntry> PortOrder(const TProxyList &list)
{
    std::vector<PortEntry> order;
    order.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        order.push_back(PortEntry{PortValue(list[i].Port.view()), quint32(i)});
    return order;
}

} // namespace

quint32 PortValue(QByteArrayView port)
{
    if (port.isEmpty() || port.size() > 9)
        return std::numeric_limits<quint32>::max();
    quint32 value = 0;
    for (char c : port) {
        if (c < '0' || c > '9')
            return std::numeric_limits<quint32>::max();
        value = value * 10 + quint32(c - '0');
    }
    return value;
}

void SortProxyList(TProxyList &list, int column, bool ascending)
{
    if (list.size() < 2)
        return;
    if (column == 0) {
        SortByText(
            list, [](const TProxyItem &p) -> const TCompactBytes & { return p.Host; }, ascending);
    } else if (column == 1) {
        std::vector<PortEntry> order = PortOrder(list);
        std::sort(order.begin(), order.end(), [ascending](const PortEntry &a, const PortEntry &b) {
            return ascending ? a.port < b.port : b.port < a.port;
        });
        util::ApplyOrder(list, order);
    }
}

void SortSiteList(TSiteList &list, int column, bool ascending)
{
    if (list.size() < 2)
        return;
    if (column == 0) {
        SortByText(
            list, [](const TSiteItem &s) -> const QByteArray & { return s.URL; }, ascending);
    } else if (column == 1) {
        std::vector<std::size_t> order(list.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const int c = QStringView(list[a].Status).compare(QStringView(list[b].Status));
            return ascending ? c < 0 : c > 0;
        });
        TSiteList sorted;
        sorted.reserve(list.size());
        for (std::size_t i : order)
            sorted.push_back(std::move(list[i]));
        list = std::move(sorted);
    }
}

// One proxy of the port-then-host order. Everything a comparison needs for
// hosts of up to 16 bytes and ports of up to 8 sits in the key, so that
// equal keys (the duplicates this order exists for) compare without touching
// the records, and the records can be rebuilt from their keys.
struct TCleanedProxies::TKey
{
    quint32 port;
    quint32 index; // in the list; once cleaned, in FLong for a long record
    Prefix host;
    quint32 hostLength;
    quint32 portLength;
    quint64 portText;
    net::TProxyType type;

    bool Short() const { return hostLength <= 16 && portLength <= 8; }
};

namespace {

using TKey = TCleanedProxies::TKey;

std::vector<TKey> PortHostOrder(const TProxyList &list)
{
    Q_ASSERT(list.size() < std::numeric_limits<quint32>::max());
    std::vector<TKey> order;
    order.reserve(list.size());
    util::AdviseHugePages(order);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TProxyItem &p = list[i];
        order.push_back(TKey{PortValue(p.Port.view()), quint32(i), Prefix::Of(p.Host.view()),
                             quint32(p.Host.size()), quint32(p.Port.size()),
                             Prefix::Of(p.Port.view()).high, p.Type});
    }
    util::ParallelSort(order.begin(), order.end(), [&list](const TKey &a, const TKey &b) {
        if (a.port != b.port)
            return a.port < b.port;
        if (const int c = a.host.Compare(b.host))
            return c < 0;
        if (a.hostLength > 16 || b.hostLength > 16) {
            if (const int c = Bytes(list[a.index].Host).compare(Bytes(list[b.index].Host)))
                return c < 0;
        } else if (a.hostLength != b.hostLength) {
            return a.hostLength < b.hostLength;
        }
        if (a.portText != b.portText)
            return a.portText < b.portText;
        if (a.portLength > 8 || b.portLength > 8) {
            if (const int c = Bytes(list[a.index].Port).compare(Bytes(list[b.index].Port)))
                return c < 0;
        } else if (a.portLength != b.portLength) {
            return a.portLength < b.portLength;
        }
        // The same address as HTTP and as SOCKS proxies: two entries, side by side.
        return a.type < b.type;
    });
    return order;
}

bool SameProxy(const TProxyList &list, const TKey &a, const TKey &b)
{
    if (a.port != b.port || a.host.Compare(b.host) != 0 || a.hostLength != b.hostLength ||
        a.portLength != b.portLength || a.portText != b.portText || a.type != b.type)
        return false;
    const TProxyItem &x = list[a.index];
    const TProxyItem &y = list[b.index];
    return (a.hostLength <= 16 || x.Host == y.Host) && (a.portLength <= 8 || x.Port == y.Port);
}

} // namespace

void SortByPortThenHost(TProxyList &list)
{
    if (list.size() < 2)
        return;
    std::vector<TKey> order = PortHostOrder(list);
    util::ApplyOrder(list, order);
}

TCleanedProxies::TCleanedProxies(const TProxyList &list, const std::function<void()> &sorted)
    : FKeys(PortHostOrder(list))
{
    if (sorted)
        sorted();
    // Keys equal to the one before them go; the rest close up in order.
    std::size_t kept = 0;
    for (std::size_t k = 0; k < FKeys.size(); ++k) {
        if (k > 0 && SameProxy(list, FKeys[k - 1], FKeys[k]))
            continue;
        FKeys[kept++] = FKeys[k];
    }
    FRemoved = qsizetype(FKeys.size() - kept);
    FKeys.resize(kept);
    for (TKey &key : FKeys) {
        if (!key.Short()) {
            FLong.push_back(list[key.index]);
            key.index = quint32(FLong.size() - 1);
        }
    }
}

TCleanedProxies::TCleanedProxies(TCleanedProxies &&) noexcept = default;
TCleanedProxies &TCleanedProxies::operator=(TCleanedProxies &&) noexcept = default;
TCleanedProxies::~TCleanedProxies() = default;

std::size_t TCleanedProxies::size() const
{
    return FKeys.size();
}

TProxyItem TCleanedProxies::At(std::size_t k) const
{
    const TKey &key = FKeys[k];
    if (!key.Short())
        return FLong[key.index];
    // Sized (and zeroed) beyond the 16 bytes a short key holds, so that the
    // compiler sees every inline copy stay inside them.
    char host[32] = {}, port[32] = {};
    key.host.CopyTo(host);
    Prefix{key.portText, 0}.CopyTo(port);
    return TProxyItem{QByteArrayView(host, key.hostLength), QByteArrayView(port, key.portLength),
                      key.type};
}

qsizetype TCleanedProxies::CopyLine(std::size_t k, char (&line)[LineRoom]) const
{
    const TKey &key = FKeys[k];
    if (!key.Short())
        return -1;
    // At most "socks5://" (9) + 16 + ":" + 8 + CR LF: 36 bytes, and room for
    // the 16 bytes a prefix copy writes.
    qsizetype n = 0;
    if (key.type != net::ptHttp) {
        const QByteArray prefix = net::ProxyTypePrefix(key.type);
        std::memcpy(line, prefix.constData(), size_t(prefix.size()));
        n = prefix.size();
    }
    key.host.CopyTo(line + n);
    n += key.hostLength;
    line[n++] = ':';
    Prefix{key.portText, 0}.CopyTo(line + n);
    n += key.portLength;
    line[n++] = '\r';
    line[n++] = '\n';
    return n;
}

void TCleanedProxies::PutInto(TProxyList &list) const
{
    const std::size_t n = FKeys.size();
    if (list.size() > n)
        list.erase(list.begin() + std::ptrdiff_t(n), list.end());
    for (std::size_t k = 0; k < list.size(); ++k)
        list[k] = At(k);
    for (std::size_t k = list.size(); k < n; ++k)
        list.push_back(At(k));
}

qsizetype SortAndRemoveDuplicates(TProxyList &list, const std::function<void()> &sorted,
                                  QByteArray *lines)
{
    const TCleanedProxies cleaned(list, sorted);
    cleaned.PutInto(list);
    if (lines) {
        lines->clear();
        for (const TProxyItem &proxy : list)
            AppendProxyLine(*lines, proxy);
    }
    return cleaned.Removed();
}

} // namespace leecher
