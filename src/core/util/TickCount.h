// A millisecond tick counter that wraps at 32 bits, from a monotonic clock.
#pragma once

#include <QtGlobal>

namespace util {

quint32 GetTickCount();

// Milliseconds from `start` to `now`, taken across one wrap of the counter.
inline qint64 TicksSince(quint32 start, quint32 now)
{
    return static_cast<quint32>(now - start);
}

} // namespace util
