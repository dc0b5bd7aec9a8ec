#include "analyser/ListEdits.h"

#include <algorithm>

namespace analyser {

namespace {

// Removes the records that `remove` accepts, given their index (asked once
// each, in ascending order), keeping the others in order.
template <class Remove>
qsizetype RemoveWhere(TAnalyserList &list, Remove remove)
{
    const TProxyItem *const first = list.data();
    const auto end = std::remove_if(list.begin(), list.end(), [&](const TProxyItem &item) {
        return remove(std::size_t(&item - first));
    });
    const auto removed = qsizetype(list.end() - end);
    list.erase(end, list.end());
    return removed;
}

} // namespace

qsizetype DeleteRows(TAnalyserList &list, const std::vector<int> &rows)
{
    auto next = rows.begin();
    return RemoveWhere(list, [&](std::size_t i) {
        while (next != rows.end() && *next >= 0 && std::size_t(*next) < i)
            ++next;
        return next != rows.end() && *next >= 0 && std::size_t(*next) == i;
    });
}

qsizetype Clean(TAnalyserList &list, TCleaning cleaning)
{
    const TProxyItem *const d = list.data();
    switch (cleaning) {
    case TCleaning::BadProxies:
        return RemoveWhere(list, [d](std::size_t i) { return d[i].State == psBad; });
    case TCleaning::Timeouts:
        return RemoveWhere(list, [d](std::size_t i) { return d[i].State == psTimeout; });
    case TCleaning::Unknowns:
        return RemoveWhere(list, [d](std::size_t i) { return d[i].State == psUnknown; });
    case TCleaning::Gateways:
        return RemoveWhere(list, [d](std::size_t i) { return d[i].RemoteAddr != d[i].Host; });
    }
    return 0;
}

} // namespace analyser
