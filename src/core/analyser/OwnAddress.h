// The user's own address, which the judge analysis looks for in a judge's
// page: the first IPv4 answer for the machine's host name that is not a
// loopback address, else the first non-loopback IPv4 address of the
// machine's interfaces (a host name that resolves to 127.0.1.1 only is
// common), else nothing.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

namespace analyser {

struct TOwnAddressSources
{
    // The addresses the local host name resolves to (a blocking lookup).
    std::function<QList<QHostAddress>()> hostNameAddresses;
    // The addresses of the machine's interfaces that are up, in their order.
    std::function<QList<QHostAddress>()> interfaceAddresses;
};

// The sources in use; the machine's own at start. Tests replace them.
TOwnAddressSources &OwnAddressSources();

// Dotted decimal, or empty when no address was found.
QString FindOwnAddress(const TOwnAddressSources &sources = OwnAddressSources());

} // namespace analyser
