#include "analyser/AnalyserSort.h"

#include "lists/ListSort.h"
#include "util/HugePages.h"
#include "util/ParallelSort.h"
#include "util/SortKeys.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <vector>

namespace analyser {

namespace {

using util::TPrefix;

const TCompactBytes &TextOf(const TProxyItem &item, int column)
{
    switch (column) {
    case colHost:
        return item.Host;
    case colStatus:
        return item.Status;
    case colRemoteAddr:
        return item.RemoteAddr;
    case colAnonymous:
        return item.Anonymous;
    default:
        return item.Level;
    }
}

int CompareBytes(const TCompactBytes &a, const TCompactBytes &b)
{
    return a.stdView().compare(b.stdView());
}

// Byte-wise by one text column. Texts of up to 16 bytes compare inside the
// keys; longer ones with equal prefixes fall back to the records.
void SortByText(TAnalyserList &list, int column, bool ascending)
{
    struct Entry
    {
        TPrefix prefix;
        quint32 index;
        quint32 length;
    };
    std::vector<Entry> order;
    order.reserve(list.size());
    util::AdviseHugePages(order);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TCompactBytes &text = TextOf(list[i], column);
        order.push_back(Entry{TPrefix::Of(text.view()), quint32(i),
                              quint32(std::min<qsizetype>(text.size(), 0xffffffff))});
    }
    util::ParallelSort(order.begin(), order.end(), [&](const Entry &a, const Entry &b) {
        int c = a.prefix.Compare(b.prefix);
        if (c == 0 && (a.length > 16 || b.length > 16))
            c = CompareBytes(TextOf(list[a.index], column), TextOf(list[b.index], column));
        else if (c == 0 && a.length != b.length)
            c = a.length < b.length ? -1 : 1;
        if (c != 0)
            return ascending ? c < 0 : c > 0;
        return a.index < b.index; // equal texts keep their order
    });
    std::vector<quint32> from(order.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        from[k] = order[k].index;
    util::ApplyPermutation(list, from);
}

// The rank of a speed text: its value for decimal texts up to 2^32 - 1 (a
// run writes 32-bit milliseconds), kNotANumber for other non-empty texts,
// kEmpty for an empty one.
constexpr quint64 kNotANumber = quint64(1) << 32;
constexpr quint64 kEmpty = kNotANumber + 1;

quint64 SpeedRank(const TCompactBytes &speed)
{
    if (speed.isEmpty())
        return kEmpty;
    if (speed.size() > 10)
        return kNotANumber;
    quint64 value = 0;
    for (char c : speed) {
        if (c < '0' || c > '9')
            return kNotANumber;
        value = value * 10 + quint64(c - '0');
    }
    return value < kNotANumber ? value : kNotANumber;
}

// The rank of the location and history columns, below kNotANumber, or
// kEmpty when nothing is known.
quint64 LaterRank(const TProxyItem &p, int column)
{
    switch (column) {
    case colCountry:
        return p.Country.isEmpty()
                   ? kEmpty
                   : quint64(quint8(p.Country.Letters[0])) << 8 | quint8(p.Country.Letters[1]);
    case colNetwork:
        return p.Asn ? quint64(p.Asn) : kEmpty;
    case colUptime:
        return p.Checks ? quint64(p.Goods) * 1000000 / p.Checks : kEmpty;
    default: // colLastGood, in seconds (below 2^32 until 2106)
        return p.LastGood > 0 ? quint64(p.LastGood / 1000) % kNotANumber : kEmpty;
    }
}

// By a number below 2^33 that each record maps to; ties keep their order.
// Number and index share one 64-bit word, so the sort compares plain words.
template <class Key>
void SortByKey(TAnalyserList &list, Key key)
{
    constexpr int kIndexBits = 31;
    Q_ASSERT(list.size() < (std::size_t(1) << kIndexBits));
    std::vector<quint64> order;
    order.reserve(list.size());
    util::AdviseHugePages(order);
    for (std::size_t i = 0; i < list.size(); ++i)
        order.push_back((key(list[i]) << kIndexBits) | i);
    util::ParallelSort(order.begin(), order.end(), std::less<quint64>());
    std::vector<quint32> from(order.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        from[k] = quint32(order[k] & ((quint64(1) << kIndexBits) - 1));
    util::ApplyPermutation(list, from);
}

} // namespace

void SortAnalyserList(TAnalyserList &list, int column, bool ascending)
{
    if (list.size() < 2 || column < 0 || column >= AnalyserColumnCount)
        return;
    Q_ASSERT(list.size() < std::numeric_limits<quint32>::max());
    if (column == colPort) {
        SortByKey(list, [ascending](const TProxyItem &p) {
            const quint64 value = leecher::PortValue(p.Port.view());
            return ascending ? value : quint64(std::numeric_limits<quint32>::max()) - value;
        });
    } else if (column == colSpeed) {
        // Empty speeds go last in both directions.
        SortByKey(list, [ascending](const TProxyItem &p) {
            const quint64 rank = SpeedRank(p.Speed);
            return rank == kEmpty || ascending ? rank : kNotANumber - rank;
        });
    } else if (column >= colCountry && column <= colLastGood) {
        SortByKey(list, [ascending, column](const TProxyItem &p) {
            const quint64 rank = LaterRank(p, column);
            return rank == kEmpty || ascending ? rank : kNotANumber - rank;
        });
    } else if (column == colType) {
        // The names ("HTTP", "SOCKS4", "SOCKS5") sort as the types do.
        SortByKey(list, [ascending](const TProxyItem &p) {
            return quint64(ascending ? p.Type : net::ptSocks5 - p.Type);
        });
    } else {
        SortByText(list, column, ascending);
    }
}

namespace {

// One record of the port-then-host order. Hosts of up to 16 bytes and ports
// of up to 8 compare inside the key, so that equal records (the duplicates
// this order exists for) compare without touching the records.
struct TDuplicateKey
{
    quint32 port;
    quint32 index;
    TPrefix host;
    quint32 hostLength;
    quint32 portLength;
    quint64 portText;
};

// Host and Port order; 0 for the same proxy.
int CompareProxies(const TAnalyserList &list, const TDuplicateKey &a, const TDuplicateKey &b)
{
    if (a.port != b.port)
        return a.port < b.port ? -1 : 1;
    if (const int c = a.host.Compare(b.host))
        return c;
    if (a.hostLength > 16 || b.hostLength > 16) {
        if (const int c = CompareBytes(list[a.index].Host, list[b.index].Host))
            return c;
    } else if (a.hostLength != b.hostLength) {
        return a.hostLength < b.hostLength ? -1 : 1;
    }
    if (a.portText != b.portText)
        return a.portText < b.portText ? -1 : 1;
    if (a.portLength > 8 || b.portLength > 8)
        return CompareBytes(list[a.index].Port, list[b.index].Port);
    return a.portLength == b.portLength ? 0 : (a.portLength < b.portLength ? -1 : 1);
}

} // namespace

qsizetype RemoveDuplicates(TAnalyserList &list, const std::function<void()> &sorted)
{
    Q_ASSERT(list.size() < std::numeric_limits<quint32>::max());
    std::vector<TDuplicateKey> order;
    order.reserve(list.size());
    util::AdviseHugePages(order);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TProxyItem &p = list[i];
        order.push_back(TDuplicateKey{leecher::PortValue(p.Port.view()), quint32(i),
                                      TPrefix::Of(p.Host.view()), quint32(p.Host.size()),
                                      quint32(p.Port.size()), TPrefix::Of(p.Port.view()).high});
    }
    util::ParallelSort(order.begin(), order.end(),
                       [&list](const TDuplicateKey &a, const TDuplicateKey &b) {
                           const int c = CompareProxies(list, a, b);
                           return c != 0 ? c < 0 : a.index < b.index;
                       });
    if (sorted)
        sorted();
    // The kept records first, in order, then the duplicates, which the list
    // drops once every record has been moved into its place.
    std::vector<quint32> from(order.size());
    std::size_t kept = 0, keptKey = 0, last = order.size();
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (kept > 0 && CompareProxies(list, order[keptKey], order[k]) == 0) {
            from[--last] = order[k].index;
        } else {
            keptKey = k;
            from[kept++] = order[k].index;
        }
    }
    util::ApplyPermutation(list, from);
    list.erase(list.begin() + std::ptrdiff_t(kept), list.end());
    return qsizetype(order.size() - kept);
}

} // namespace analyser
