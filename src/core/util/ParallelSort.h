// Sorting large arrays on two cores: each half is sorted on its own thread,
// then the halves are merged. Small arrays, and machines with one core, sort
// on the calling thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <system_error>
#include <thread>

namespace util {

inline constexpr std::ptrdiff_t ParallelSortMinimum = 1 << 16;

// Same result as std::sort(first, last, less) (not stable). `less` is called
// from two threads at once, so it must only read shared data.
template <class It, class Less>
void ParallelSort(It first, It last, Less less)
{
    const std::ptrdiff_t n = last - first;
    if (n < ParallelSortMinimum || std::thread::hardware_concurrency() < 2) {
        std::sort(first, last, less);
        return;
    }
    const It middle = first + n / 2;
    std::thread helper;
    try {
        helper = std::thread([first, middle, less] { std::sort(first, middle, less); });
    } catch (const std::system_error &) {
        std::sort(first, middle, less); // no thread to be had: both halves here
    }
    std::sort(middle, last, less);
    if (helper.joinable())
        helper.join();
    std::inplace_merge(first, middle, last, less);
}

} // namespace util
