// A hash for containers of std::string that are searched by std::string_view
// (with std::equal_to<>), so that a lookup builds no string.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace util {

struct TTextHash
{
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const
    {
        return std::hash<std::string_view>{}(text);
    }
};

} // namespace util
