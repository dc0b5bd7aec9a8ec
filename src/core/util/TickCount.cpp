#include "TickCount.h"

#include <chrono>

namespace util {

quint32 GetTickCount()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<quint32>(static_cast<quint64>(ms));
}

} // namespace util
