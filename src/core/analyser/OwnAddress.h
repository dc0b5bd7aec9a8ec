// This machine's own address, which the judge analysis looks for in a
// judge's page when no judge told the address it sees (OwnAddressProbe.h):
// the first IPv4 answer for the machine's host name that is not a loopback
// address, else the first non-loopback IPv4 address of the machine's
// interfaces (a host name that resolves to 127.0.1.1 only is common), else
// nothing.
#pragma once

#include <QByteArray>
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
    // Whether a judge may be asked for the address it sees; off, the own
    // address is this machine's. Test set-ups whose windows show the built-in
    // judge (an outside server) turn it off.
    bool askJudges = true;
};

// The sources in use; the machine's own at start. Tests replace them.
TOwnAddressSources &OwnAddressSources();

// Dotted decimal, or empty when no address was found.
QString FindOwnAddress(const TOwnAddressSources &sources = OwnAddressSources());

// Every IPv4 address of the machine's interfaces except loopback ones, dotted
// decimal, in order, each once. Behind NAT a proxy that forwards one of them
// (the user's private address) reveals the user as surely as one that
// forwards the public address.
QList<QByteArray> MachineAddresses(const TOwnAddressSources &sources = OwnAddressSources());

} // namespace analyser
