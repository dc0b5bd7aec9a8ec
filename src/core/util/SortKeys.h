// Building blocks for sorting large record lists fast: sort small keys that
// hold what the comparisons need, then move every record once.
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace util {

// The first 16 bytes of a text as two big-endian numbers, zero-padded: they
// order like the bytes themselves, so most comparisons of a sort never leave
// the (contiguous) key array. Equal prefixes fall back to the whole texts.
struct TPrefix
{
    quint64 high = 0;
    quint64 low = 0;

    static TPrefix Of(QByteArrayView text)
    {
        unsigned char bytes[16] = {};
        if (!text.isEmpty())
            std::memcpy(bytes, text.constData(), size_t(std::min<qsizetype>(text.size(), 16)));
        TPrefix p;
        for (int i = 0; i < 8; ++i) {
            p.high = (p.high << 8) | bytes[i];
            p.low = (p.low << 8) | bytes[8 + i];
        }
        return p;
    }
    // The 16 bytes back, into `out`.
    void CopyTo(char *out) const
    {
        for (int i = 0; i < 8; ++i) {
            out[i] = char(high >> (56 - 8 * i));
            out[8 + i] = char(low >> (56 - 8 * i));
        }
    }
    // <0, 0, >0; 0 means "look at the whole texts".
    int Compare(const TPrefix &o) const
    {
        if (high != o.high)
            return high < o.high ? -1 : 1;
        if (low != o.low)
            return low < o.low ? -1 : 1;
        return 0;
    }
};

// Reorders `list` in place so that position k receives the record that was
// at order[k].index: each cycle of the permutation is followed once, so every
// record moves once and no second list is allocated. `order` must name every
// position once; it is used up.
template <class Item, class Entry>
void ApplyOrder(std::vector<Item> &list, std::vector<Entry> &order)
{
    Q_ASSERT(order.size() < std::numeric_limits<quint32>::max());
    constexpr auto kDone = std::numeric_limits<decltype(Entry::index)>::max();
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (order[start].index == kDone || order[start].index == start) {
            order[start].index = kDone;
            continue;
        }
        Item held = std::move(list[start]);
        std::size_t k = start;
        for (;;) {
            const std::size_t from = order[k].index;
            order[k].index = kDone;
            if (from == start) {
                list[k] = std::move(held);
                break;
            }
            list[k] = std::move(list[from]);
            k = from;
        }
    }
}

// Reorders `list` in place so that position k receives the record that was
// at from[k], as ApplyOrder does; `from` must name every position once and is
// used up. While it follows a cycle it fetches the records a few steps ahead,
// so that for records of several cache lines the reads overlap instead of
// waiting on one another.
template <class Item>
void ApplyPermutation(std::vector<Item> &list, std::vector<quint32> &from)
{
    Q_ASSERT(from.size() == list.size() && from.size() < std::numeric_limits<quint32>::max());
    constexpr quint32 kDone = std::numeric_limits<quint32>::max();
    constexpr int kAhead = 16;
    const auto fetch = [&list](std::size_t at) {
        const char *record = reinterpret_cast<const char *>(&list[at]);
        for (std::size_t line = 0; line < sizeof(Item); line += 64)
            __builtin_prefetch(record + line);
    };
    for (std::size_t start = 0; start < from.size(); ++start) {
        if (from[start] == kDone || from[start] == start) {
            from[start] = kDone;
            continue;
        }
        Item held = std::move(list[start]);
        std::size_t k = start;
        std::size_t ahead = from[start]; // the cycle's next positions, fetched early
        for (int i = 0; i < kAhead && ahead != start; ++i) {
            fetch(ahead);
            ahead = from[ahead];
        }
        for (;;) {
            const std::size_t source = from[k];
            from[k] = kDone;
            if (source == start) {
                list[k] = std::move(held);
                break;
            }
            if (ahead != start) {
                fetch(ahead);
                ahead = from[ahead];
            }
            list[k] = std::move(list[source]);
            k = source;
        }
    }
}

} // namespace util
