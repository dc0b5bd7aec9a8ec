// Large blocks that are filled once (a proxy list's reserved room, the
// scratch arrays of sorting it) are cheaper in 2 MiB pages: every first touch
// of a 4 KiB page costs a fault, which on virtual machines takes longer than
// filling the page itself.
#pragma once

#include <cstddef>

namespace util {

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes)
// with huge pages when they are first touched. Blocks smaller than that, and
// systems without transparent huge pages, are left as they are.
void AdviseHugePages(const void *data, std::size_t bytes);

// The same for the room reserved by a vector-like container.
template <class Container>
void AdviseHugePages(const Container &c)
{
    AdviseHugePages(c.data(), c.capacity() * sizeof(*c.data()));
}

} // namespace util
