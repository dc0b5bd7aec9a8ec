#include "NamePool.h"

#include "util/TextHash.h"

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace geo {

const char *PooledName(QByteArrayView name)
{
    if (name.isEmpty())
        return "";
    const std::string_view text(name.data(), size_t(name.size()));
    // Nodes of an unordered_set never move: the text's address is stable.
    // Found by view: a name already pooled (nearly every lookup's) is not copied.
    static std::unordered_set<std::string, util::TTextHash, std::equal_to<>> pool;
    static std::mutex lock;
    const std::lock_guard<std::mutex> held(lock);
    if (const auto found = pool.find(text); found != pool.end())
        return found->c_str();
    return pool.emplace(text).first->c_str();
}

} // namespace geo
