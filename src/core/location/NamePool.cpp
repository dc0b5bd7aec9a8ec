#include "NamePool.h"

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace geo {

namespace {

// Looks names up by view, so that a name already pooled (nearly every
// lookup's) costs no copy.
struct TNameHash
{
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

} // namespace

const char *PooledName(QByteArrayView name)
{
    if (name.isEmpty())
        return "";
    const std::string_view text(name.data(), size_t(name.size()));
    // Nodes of an unordered_set never move: the text's address is stable.
    static std::unordered_set<std::string, TNameHash, std::equal_to<>> pool;
    static std::mutex lock;
    const std::lock_guard<std::mutex> held(lock);
    if (const auto found = pool.find(text); found != pool.end())
        return found->c_str();
    return pool.emplace(text).first->c_str();
}

} // namespace geo
