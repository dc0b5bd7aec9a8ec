// Sorting the main window's lists: the column sorts of both views and the
// order of the end-of-run duplicate removal.
#pragma once

#include "lists/Records.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <functional>
#include <vector>

namespace leecher {

// The last sort column and direction flag of one list view. Both start at
// column 0 with the flag false.
struct TSortState
{
    int Column = 0;
    bool Ascending = false;

    // A click on a column header: the same column again inverts the flag,
    // another column becomes the sort column with the flag unchanged.
    void Click(int column)
    {
        if (column == Column)
            Ascending = !Ascending;
        else
            Column = column;
    }
};

// Proxy view columns: 0 sorts by Host (bytes, case-sensitive), 1 by the
// decimal value of Port. Sites: 0 by URL (bytes), 1 by Status (case-sensitive).
// Entries with equal keys end in no defined order. Another column leaves the
// list as it is.
void SortProxyList(TProxyList &list, int column, bool ascending);
void SortSiteList(TSiteList &list, int column, bool ascending);

// Ascending by port value, ties by Host bytes, then by Port text (so that 80
// and 080 never interleave), then by type (HTTP, SOCKS4, SOCKS5): equal
// entries always end up next to each other.
void SortByPortThenHost(TProxyList &list);

// Sorts as SortByPortThenHost, calls `sorted` (if set), then removes every
// entry equal to the one before it (same Host bytes, Port text and type).
// Returns the number removed. Equal to sorting and then
// RemoveAdjacentDuplicates, in one pass over the records. With `lines`, also
// gives the resulting list as "Host:Port" CR LF lines (SOCKS proxies after
// their prefix, "socks5://Host:Port"), the content of a
// proxy list file, made without a second pass over the records.
qsizetype SortAndRemoveDuplicates(TProxyList &list, const std::function<void()> &sorted = {},
                                  QByteArray *lines = nullptr);

// A proxy list in the order of SortAndRemoveDuplicates, made from a list
// without changing it and kept apart from it: the list may still be read
// (not changed) meanwhile, for instance by a view while this is made on
// another thread. The cleaned records are held compactly in sort order (long
// texts copied aside), so they can be written out and then put in the list's
// place without a second copy of the list.
class TCleanedProxies
{
public:
    // `sorted` (if set) is called between sorting and duplicate removal.
    explicit TCleanedProxies(const TProxyList &list, const std::function<void()> &sorted = {});
    TCleanedProxies(TCleanedProxies &&) noexcept;
    TCleanedProxies &operator=(TCleanedProxies &&) noexcept;
    ~TCleanedProxies();

    std::size_t size() const;
    // Entries left out as duplicates.
    qsizetype Removed() const { return FRemoved; }
    TProxyItem At(std::size_t k) const;
    // Record k's line, "Host:Port" CR LF (after its prefix for a SOCKS
    // proxy), written straight from its key into `line`: its length, or -1
    // for a record too long for a key (take At then).
    static constexpr qsizetype LineRoom = 64;
    qsizetype CopyLine(std::size_t k, char (&line)[LineRoom]) const;
    // Makes `list` the cleaned list, writing over its records in place: the
    // list keeps its storage and its room to grow.
    void PutInto(TProxyList &list) const;

    struct TKey; // one record's sort key (defined where the order is made)

private:
    std::vector<TKey> FKeys;
    TProxyList FLong; // records whose texts do not fit in their keys
    qsizetype FRemoved = 0;
};

// The decimal value of a port text; texts that are not 1 to 9 digits sort
// after every number.
quint32 PortValue(QByteArrayView port);

} // namespace leecher
