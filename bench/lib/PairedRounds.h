// What the window benches report beside the medians of each side, since on a
// shared machine the rates move with the other load: the median of the
// rounds' own ratios (each round's two sides ran one after the other), and
// each side's median CPU time per item on the thread that runs the window (or
// the run object alone) and the sockets, which moves far less.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <vector>

// CPU time of the calling thread (user and system) in seconds.
inline double ThreadCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct TPaired
{
    double ratio = 0, runCpuUs = 0, windowCpuUs = 0;
};

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Rounds of the run object alone and of the window, in the order they ran;
// each has `seconds` and `cpu` (of that thread) for its n items.
template <typename Round>
TPaired Paired(const std::vector<Round> &runs, const std::vector<Round> &wins, long n)
{
    std::vector<double> ratios, runCpu, winCpu;
    for (size_t i = 0; i < runs.size() && i < wins.size(); ++i) {
        ratios.push_back(runs[i].seconds / wins[i].seconds);
        runCpu.push_back(runs[i].cpu * 1e6 / double(n));
        winCpu.push_back(wins[i].cpu * 1e6 / double(n));
    }
    return {Median(ratios), Median(runCpu), Median(winCpu)};
}
