#include "Rotation.h"

#include <algorithm>

namespace gateway {

std::optional<TRotate> RotateFromName(QByteArrayView name)
{
    if (name == "round-robin")
        return TRotate::RoundRobin;
    if (name == "random")
        return TRotate::Random;
    if (name == "fastest")
        return TRotate::Fastest;
    if (name == "sticky")
        return TRotate::Sticky;
    return std::nullopt;
}

TUpstreamPtr TRotation::RoundRobin(const TUpstreams &pool, const TUpstreams &ready)
{
    // The pool's order, from the one after the last chosen.
    for (size_t k = 0; k < pool.size(); ++k) {
        const size_t i = (FTurn + k) % pool.size();
        if (std::find(ready.begin(), ready.end(), pool[i]) != ready.end()) {
            FTurn = i + 1;
            return pool[i];
        }
    }
    return ready.front();
}

TUpstreamPtr TRotation::Choose(const TUpstreams &pool, quint32 client, QByteArrayView host,
                               const std::vector<const TUpstream *> &tried, qint64 now)
{
    TUpstreams ready;
    TUpstreamPtr soonest; // of the benched ones
    ready.reserve(pool.size());
    for (const TUpstreamPtr &u : pool) {
        if (std::find(tried.begin(), tried.end(), u.get()) != tried.end())
            continue;
        if (!u->Benched(now))
            ready.push_back(u);
        else if (!soonest || u->BenchedUntil() < soonest->BenchedUntil())
            soonest = u;
    }
    if (ready.empty())
        return soonest;
    switch (FPolicy) {
    case TRotate::RoundRobin:
        break;
    case TRotate::Random:
        return ready[FRandom.bounded(quint32(ready.size()))];
    case TRotate::Fastest: {
        // Unknown speeds first: they get known that way.
        const auto speed = [](const TUpstreamPtr &u) { return u->Speed() < 0 ? -1 : u->Speed(); };
        const auto best = std::min_element(
            ready.begin(), ready.end(),
            [&](const TUpstreamPtr &a, const TUpstreamPtr &b) { return speed(a) < speed(b); });
        if (ready.size() > 1 && FRandom.bounded(ExploreShare) == 0) {
            const quint32 other = FRandom.bounded(quint32(ready.size() - 1));
            return ready[other >= quint32(best - ready.begin()) ? other + 1 : other];
        }
        return *best;
    }
    case TRotate::Sticky: {
        const QByteArray key = QByteArray::number(client) + ' ' + host.toByteArray().toLower();
        const auto it = FSticky.find(key);
        if (it != FSticky.end() && it->Until > now) {
            const TUpstreamPtr kept = it->Upstream.lock();
            if (kept && std::find(ready.begin(), ready.end(), kept) != ready.end()) {
                it->Until = now + FStickyMs;
                return kept;
            }
        }
        if (FSticky.size() >= MaxStickyEntries) {
            FSticky.removeIf([now](const auto &entry) { return entry.value().Until <= now; });
            if (FSticky.size() >= MaxStickyEntries)
                FSticky.clear();
        }
        const TUpstreamPtr chosen = RoundRobin(pool, ready);
        FSticky.insert(key, {chosen, now + FStickyMs});
        return chosen;
    }
    }
    return RoundRobin(pool, ready);
}

} // namespace gateway
