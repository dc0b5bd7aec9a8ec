#include "Upstream.h"

#include <algorithm>

namespace gateway {

QByteArray TUpstream::Key() const
{
    return net::ProxyTypePrefix(Type) + Host + ':' + QByteArray::number(Port);
}

void TUpstream::Failed(qint64 now, int first)
{
    ++Failures;
    ++FStrikes;
    FLastCoolDown = FStrikes == 1 ? first : std::min<qint64>(FLastCoolDown * 2, MaxCoolDownMs);
    FBenchedUntil = now + FLastCoolDown;
}

void TUpstream::Worked(qint64 elapsedMs)
{
    ++Uses;
    FStrikes = 0;
    FBenchedUntil = 0;
    // A mean that follows change without forgetting at once.
    FSpeed = FSpeed < 0 ? double(elapsedMs) : FSpeed * 0.8 + double(elapsedMs) * 0.2;
}

} // namespace gateway
