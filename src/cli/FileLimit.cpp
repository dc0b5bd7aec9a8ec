#include "FileLimit.h"

#include <sys/resource.h>

#include <algorithm>

namespace cli {

int BotsWithin(quint64 limit, int bots)
{
    const quint64 room = limit > quint64(SpareFiles) ? limit - SpareFiles : 1;
    return int(std::clamp<quint64>(room, 1, quint64(std::max(bots, 1))));
}

TFileLimit FitFileLimit(int bots)
{
    const rlim_t need = rlim_t(bots) + SpareFiles;
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) != 0)
        return {bots, 0, false};
    if (r.rlim_cur != RLIM_INFINITY && r.rlim_cur < need) {
        r.rlim_cur = r.rlim_max == RLIM_INFINITY ? need : std::min(need, r.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &r);
        ::getrlimit(RLIMIT_NOFILE, &r);
    }
    if (r.rlim_cur == RLIM_INFINITY)
        return {bots, quint64(r.rlim_cur), false};
    const int fit = BotsWithin(quint64(r.rlim_cur), bots);
    return {fit, quint64(r.rlim_cur), fit < bots};
}

} // namespace cli
