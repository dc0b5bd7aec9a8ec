// What the gateway has done since it started: counts only, nothing of any
// request.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace gateway {

struct TGatewayCounts
{
    quint64 Requests = 0;       // answered through an upstream
    quint64 RequestsFailed = 0; // 502: no upstream got through
    quint64 Tunnels = 0;        // opened through an upstream
    quint64 TunnelsFailed = 0;  // 502
    quint64 NoPool = 0;         // 503: the pool was empty
    quint64 Retries = 0;        // tries after a failed one
    quint64 AuthRequired = 0;   // 407
    quint64 BadRequests = 0;    // 400, 501, 505
    quint64 TimedOut = 0;       // 408: the head did not come in time
    quint64 TooLarge = 0;       // 431
    quint64 Busy = 0;           // 503: over the connection cap
    quint64 SourceBusy = 0;     // 503: over the cap of its source address
    quint64 Dropped = 0;        // closed before a whole request came
    quint64 BytesUp = 0;        // from clients to upstreams
    quint64 BytesDown = 0;      // from upstreams to clients
    bool operator==(const TGatewayCounts &) const = default;
};

// One line for the log: "requests 12 (failed 1), tunnels 3 (failed 0), ...".
QByteArray CountsLine(const TGatewayCounts &counts);

} // namespace gateway
