// How late a 10 ms timer fires while a run works the event loop: the window
// benches record one figure per tick and report the largest, the 99th
// percentile and the mean.
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <vector>

struct TTimerLateness
{
    std::vector<qint64> us; // microseconds per tick, sorted once the round ends

    double At(double q) const
    {
        return us.empty() ? 0 : double(us[size_t(q * double(us.size() - 1))]);
    }
    double Mean() const
    {
        double sum = 0;
        for (qint64 l : us)
            sum += double(l);
        return us.empty() ? 0 : sum / double(us.size());
    }
    void Sort() { std::sort(us.begin(), us.end()); }
};
