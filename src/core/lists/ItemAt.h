// An entry of a list by its index, for the windows' item accessors: an index
// outside the list is an error the caller hears of, never a read past it.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace lists {

template <class List>
auto &ItemAt(List &list, int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= list.size())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return list[static_cast<std::size_t>(index)];
}

} // namespace lists
