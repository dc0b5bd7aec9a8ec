#include "analyser/OwnAddress.h"

#include <QHostInfo>
#include <QNetworkInterface>

namespace analyser {

namespace {

bool Usable(const QHostAddress &a)
{
    return a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback() && !a.isNull() &&
           a != QHostAddress(QHostAddress::AnyIPv4);
}

QString FirstUsable(const QList<QHostAddress> &addresses)
{
    for (const QHostAddress &a : addresses) {
        if (Usable(a))
            return a.toString();
    }
    return {};
}

TOwnAddressSources MachineSources()
{
    TOwnAddressSources s;
    s.hostNameAddresses = [] {
        return QHostInfo::fromName(QHostInfo::localHostName()).addresses();
    };
    s.interfaceAddresses = [] { return QNetworkInterface::allAddresses(); };
    return s;
}

} // namespace

TOwnAddressSources &OwnAddressSources()
{
    static TOwnAddressSources sources = MachineSources();
    return sources;
}

QString FindOwnAddress(const TOwnAddressSources &sources)
{
    if (sources.hostNameAddresses) {
        const QString found = FirstUsable(sources.hostNameAddresses());
        if (!found.isEmpty())
            return found;
    }
    return sources.interfaceAddresses ? FirstUsable(sources.interfaceAddresses()) : QString();
}

QList<QByteArray> MachineAddresses(const TOwnAddressSources &sources)
{
    QList<QByteArray> out;
    if (!sources.interfaceAddresses)
        return out;
    for (const QHostAddress &a : sources.interfaceAddresses()) {
        const QByteArray text = a.toString().toLatin1();
        if (Usable(a) && !out.contains(text))
            out << text;
    }
    return out;
}

} // namespace analyser
