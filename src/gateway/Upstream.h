// One proxy of the gateway's pool, what the gateway has seen of it, and its
// bench: an upstream that fails is left alone for a cool-down that doubles
// while it keeps failing, and is back to the first cool-down once it works.
#pragma once

#include "net/ProxyType.h"

#include <QByteArray>
#include <QtGlobal>

#include <memory>
#include <vector>

namespace gateway {

// The first cool-down and the longest one.
inline constexpr int CoolDownMs = 30 * 1000;
inline constexpr int MaxCoolDownMs = 30 * 60 * 1000;

class TUpstream
{
public:
    TUpstream(net::TProxyType type, QByteArray host, quint16 port, quint32 address)
        : Type(type), Host(std::move(host)), Port(port), Address(address)
    {
    }

    const net::TProxyType Type;
    const QByteArray Host; // dotted IPv4 address
    const quint16 Port;
    const quint32 Address; // the same, in network order

    // "socks5://1.2.3.4:1080", the prefix as the lists write it.
    QByteArray Key() const;

    bool Benched(qint64 now) const { return now < FBenchedUntil; }
    qint64 BenchedUntil() const { return FBenchedUntil; }
    // A failure benches it: the cool-down is `first` the first time, twice
    // the last one for each failure in a row after, at most MaxCoolDownMs.
    void Failed(qint64 now, int first = CoolDownMs);
    // It carried a request or opened a tunnel, answering after `elapsedMs`.
    void Worked(qint64 elapsedMs);

    // The recorded speed in ms (the check's at first, then a running mean of
    // how long it took to answer); negative while unknown.
    double Speed() const { return FSpeed; }
    void SetSpeed(double ms) { FSpeed = ms; }

    int InUse = 0;        // requests and tunnels going through it now
    quint64 Uses = 0;     // that it carried
    quint64 Failures = 0; // that failed through it
    int Strikes() const { return FStrikes; }

private:
    qint64 FBenchedUntil = 0;
    int FStrikes = 0; // failures in a row
    qint64 FLastCoolDown = 0;
    double FSpeed = -1;
};

using TUpstreamPtr = std::shared_ptr<TUpstream>;
using TUpstreams = std::vector<TUpstreamPtr>;

} // namespace gateway
