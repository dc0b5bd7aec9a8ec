#include "DescriptorLimit.h"

#include <algorithm>

#include <sys/resource.h>

namespace server {

QByteArray FitDescriptorLimit(int &connections, int perConnection)
{
    constexpr rlim_t Spare = 64;
    const rlim_t each = rlim_t(perConnection) + 1;
    const rlim_t need = rlim_t(connections) * each + Spare;
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0)
        return {};
    if (r.rlim_cur < need) {
        r.rlim_cur = std::min(need, r.rlim_max);
        setrlimit(RLIMIT_NOFILE, &r);
        getrlimit(RLIMIT_NOFILE, &r);
    }
    if (r.rlim_cur >= need)
        return {};
    connections = std::max(1, int((r.rlim_cur - std::min(r.rlim_cur, Spare)) / each));
    return "descriptor limit " + QByteArray::number(quint64(r.rlim_cur)) + ": serving at most " +
           QByteArray::number(connections) + " connections";
}

} // namespace server
