// A resolver that never leaves the machine: "localhost" and the names under
// ".localhost" answer 127.0.0.1, every other name fails at once as not
// found. For tests, fuzz targets and benchmarks, which must reach nothing
// but their own loopback peers.
#pragma once

#include "Resolver.h"

namespace net {

class TLoopbackResolver final : public TResolver
{
public:
    void Lookup(const QByteArray &Name, QObject *Context, TDone Done) override;
    // Every name asked, in order.
    const QByteArrayList &Asked() const { return FAsked; }

private:
    QByteArrayList FAsked;
};

} // namespace net
