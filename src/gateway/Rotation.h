// Which upstream of the pool takes the next request or tunnel.
//
//   round-robin  each in turn
//   random       any, alike
//   fastest      the one with the best recorded speed, except for a share of
//                choices that go to any other, so that their speed stays known
//   sticky       the same one for the same client and target host while it
//                keeps being used within the sticky time, else round-robin
//
// Benched upstreams and those the request already tried are stepped around.
// When every untried one is benched, the one whose cool-down ends first is
// taken rather than none.
#pragma once

#include "Upstream.h"

#include <QByteArray>
#include <QHash>
#include <QRandomGenerator>

#include <optional>

namespace gateway {

enum class TRotate { RoundRobin, Random, Fastest, Sticky };

std::optional<TRotate> RotateFromName(QByteArrayView name);

// Of every this many choices of "fastest", one goes to another upstream.
inline constexpr int ExploreShare = 10;
// Sticky choices kept at most; past it the expired ones go, then all.
inline constexpr int MaxStickyEntries = 65536;

class TRotation
{
public:
    TRotation(TRotate policy, int stickyMs, quint32 seed = 0)
        : FPolicy(policy), FStickyMs(stickyMs),
          FRandom(seed ? seed : QRandomGenerator::global()->generate())
    {
    }

    // An upstream of `pool` for a request of `client` (IPv4, network order)
    // to `host`, none of `tried`; null when every upstream was tried.
    TUpstreamPtr Choose(const TUpstreams &pool, quint32 client, QByteArrayView host,
                        const std::vector<const TUpstream *> &tried, qint64 now);

private:
    struct TSticky
    {
        std::weak_ptr<TUpstream> Upstream;
        qint64 Until = 0;
    };

    TUpstreamPtr RoundRobin(const TUpstreams &pool, const TUpstreams &ready);

    TRotate FPolicy;
    int FStickyMs;
    QRandomGenerator FRandom;
    quint64 FTurn = 0;
    QHash<QByteArray, TSticky> FSticky;
};

} // namespace gateway
