#include "analyser/ListEdits.h"

#include <cstring>
#include <new>

namespace analyser {

namespace {

// Removes the records at the indices `remove` accepts (asked once each, in
// ascending order), keeping the others in order.
//
// A record's texts hold no pointer into the record itself (see
// TCompactBytes), so records may be moved as plain bytes: each run of kept
// records slides down with one memmove and only the removed records are
// destroyed, which is several times faster than moving the kept records
// field by field.
template <class Remove>
qsizetype RemoveWhere(TAnalyserList &list, Remove remove)
{
    const std::size_t n = list.size();
    TProxyItem *const d = list.data();
    std::size_t out = 0, run = 0; // [run, i) is kept and not yet moved
    const auto slide = [&](std::size_t end) {
        if (out != run && end > run)
            std::memmove(static_cast<void *>(d + out), static_cast<const void *>(d + run),
                         (end - run) * sizeof(TProxyItem));
        out += end - run;
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (!remove(i))
            continue;
        slide(i);
        d[i].~TProxyItem();
        run = i + 1;
    }
    slide(n);
    // The tail holds destroyed records and stale bytes of moved ones: make
    // them empty records again so that the vector can drop them.
    for (std::size_t k = out; k < n; ++k)
        new (static_cast<void *>(d + k)) TProxyItem();
    list.resize(out);
    return qsizetype(n - out);
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
