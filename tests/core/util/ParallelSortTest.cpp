#include "util/ParallelSort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

struct Keyed
{
    std::uint32_t key;
    std::uint32_t payload;
};

} // namespace

TEST(ParallelSort, OrdersLikeStdSortAcrossTheThreadThreshold)
{
    std::uint64_t seed = 7;
    const auto next = [&seed] {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return std::uint32_t(seed >> 33);
    };
    for (const std::ptrdiff_t size :
         {std::ptrdiff_t(0), std::ptrdiff_t(1), util::ParallelSortMinimum - 1,
          util::ParallelSortMinimum, 3 * util::ParallelSortMinimum + 1}) {
        // Few distinct keys, so that equal keys meet across the two halves.
        std::vector<Keyed> items;
        for (std::ptrdiff_t i = 0; i < size; ++i)
            items.push_back(Keyed{next() % 1000, std::uint32_t(i)});
        std::vector<Keyed> expected = items;
        const auto byKey = [](const Keyed &a, const Keyed &b) { return a.key < b.key; };
        std::sort(expected.begin(), expected.end(), byKey);
        util::ParallelSort(items.begin(), items.end(), byKey);

        ASSERT_TRUE(std::is_sorted(items.begin(), items.end(), byKey)) << size;
        // Every element is still there exactly once.
        const auto byBoth = [](const Keyed &a, const Keyed &b) {
            return a.key != b.key ? a.key < b.key : a.payload < b.payload;
        };
        std::sort(items.begin(), items.end(), byBoth);
        std::sort(expected.begin(), expected.end(), byBoth);
        for (std::size_t i = 0; i < items.size(); ++i)
            ASSERT_TRUE(items[i].key == expected[i].key && items[i].payload == expected[i].payload)
                << size << " at " << i;
    }
}
