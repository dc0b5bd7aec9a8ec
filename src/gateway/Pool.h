// The gateway's pool: the good proxies of a result file, as upstreams.
//
// A result file is the analyser's saved list (HOST:PORT lines, every one a
// good proxy) or vexo-cli check output in txt, csv or JSON Lines (the good
// entries of it). Only proxies named by a dotted IPv4 address are taken: the
// gateway looks no name up.
#pragma once

#include "Upstream.h"

#include "analyser/ProxyItem.h"

#include <QString>

namespace gateway {

// The upstreams of a list: the psGood entries, or all of them when `allGood`
// (a plain list). `skipped` counts the entries left out for their address.
TUpstreams UpstreamsFromList(const analyser::TAnalyserList &list, bool allGood,
                             qsizetype *skipped = nullptr);

// Reads a result file; false with the reason in `error`. `list` gets what the
// file holds (for a re-check), `upstreams` the good ones.
bool LoadPoolFile(const QString &path, analyser::TAnalyserList &list, TUpstreams &upstreams,
                  qsizetype *skipped, QString *error);

// The proxies of the check history in `folder` whose last good check is at
// most `goodWithinMs` old; false with the reason in `error` (no history).
bool LoadPoolFromHistory(const QString &folder, qint64 goodWithinMs, analyser::TAnalyserList &list,
                         TUpstreams &upstreams, qsizetype *skipped, QString *error);

class TPool
{
public:
    const TUpstreams &Upstreams() const { return FUpstreams; }
    bool IsEmpty() const { return FUpstreams.empty(); }
    // Takes `fresh` as the pool. An upstream that was in the pool before stays
    // the same object (its counts, bench and speed kept); those that leave go
    // when the last request or tunnel through them ends.
    void Replace(TUpstreams fresh);

private:
    TUpstreams FUpstreams;
};

} // namespace gateway
