#include "NamePool.h"

#include <mutex>
#include <string>
#include <unordered_set>

namespace geo {

const char *PooledName(QByteArrayView name)
{
    if (name.isEmpty())
        return "";
    // Nodes of an unordered_set never move: the text's address is stable.
    static std::unordered_set<std::string> pool;
    static std::mutex lock;
    const std::lock_guard<std::mutex> held(lock);
    return pool.emplace(name.data(), size_t(name.size())).first->c_str();
}

} // namespace geo
