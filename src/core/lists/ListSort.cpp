#include "lists/ListSort.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <vector>

namespace leecher {

namespace {

std::string_view Bytes(const QByteArray &text)
{
    return std::string_view(text.constData(), size_t(text.size()));
}

// Sorts `list` through a permutation of keys, so that the records move only once.
template <class Item, class Key, class Less>
void SortByKey(std::vector<Item> &list, Key keyOf, Less less)
{
    struct Entry
    {
        decltype(keyOf(list.front())) key;
        std::size_t index;
    };
    std::vector<Entry> order;
    order.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        order.push_back(Entry{keyOf(list[i]), i});
    std::sort(order.begin(), order.end(),
              [&less](const Entry &a, const Entry &b) { return less(a.key, b.key); });
    std::vector<Item> sorted;
    sorted.reserve(list.size());
    for (const Entry &e : order)
        sorted.push_back(std::move(list[e.index]));
    list = std::move(sorted);
}

template <class Item, class Key>
void SortDirected(std::vector<Item> &list, Key keyOf, bool ascending)
{
    if (list.size() < 2)
        return;
    if (ascending)
        SortByKey(list, keyOf, [](const auto &a, const auto &b) { return a < b; });
    else
        SortByKey(list, keyOf, [](const auto &a, const auto &b) { return b < a; });
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
    if (column == 0)
        SortDirected(
            list, [](const TProxyItem &p) { return Bytes(p.Host); }, ascending);
    else if (column == 1)
        SortDirected(
            list, [](const TProxyItem &p) { return PortValue(p.Port); }, ascending);
}

void SortSiteList(TSiteList &list, int column, bool ascending)
{
    if (column == 0)
        SortDirected(
            list, [](const TSiteItem &s) { return Bytes(s.URL); }, ascending);
    else if (column == 1)
        SortDirected(
            list, [](const TSiteItem &s) { return QStringView(s.Status); }, ascending);
}

void SortByPortThenHost(TProxyList &list)
{
    if (list.size() < 2)
        return;
    struct Key
    {
        quint32 port;
        std::string_view host;
        std::string_view portText;
        bool operator<(const Key &o) const
        {
            if (port != o.port)
                return port < o.port;
            if (const int c = host.compare(o.host))
                return c < 0;
            return portText < o.portText;
        }
    };
    SortByKey(
        list,
        [](const TProxyItem &p) {
            return Key{PortValue(p.Port), Bytes(p.Host), Bytes(p.Port)};
        },
        [](const Key &a, const Key &b) { return a < b; });
}

} // namespace leecher
