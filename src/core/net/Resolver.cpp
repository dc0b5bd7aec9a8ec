#include "Resolver.h"

#include "WSocket.h"

#include <QHostAddress>
#include <QHostInfo>

#include <atomic>

namespace net {

namespace {

std::atomic<TResolver *> GResolver{nullptr};

TLookupAnswer AnswerOf(const QHostInfo &Info)
{
    TLookupAnswer A;
    if (Info.error() == QHostInfo::HostNotFound) {
        A.Error = WSAHOST_NOT_FOUND;
        return A;
    }
    if (Info.error() != QHostInfo::NoError) {
        A.Error = WSANO_RECOVERY;
        return A;
    }
    for (const QHostAddress &Addr : Info.addresses()) {
        if (Addr.protocol() == QAbstractSocket::IPv4Protocol)
            A.Addresses.append(Addr.toString().toLatin1());
    }
    if (A.Addresses.isEmpty())
        A.Error = WSANO_DATA;
    return A;
}

} // namespace

void TSystemResolver::Lookup(const QByteArray &Name, QObject *Context, TDone Done)
{
    // A bracketed IPv6 address is passed on bare; it answers without a query.
    const QByteArray Host =
        Name.startsWith('[') && Name.endsWith(']') ? Name.mid(1, Name.size() - 2) : Name;
    QHostInfo::lookupHost(
        QString::fromLatin1(Host), Context,
        [Done = std::move(Done)](const QHostInfo &Info) { Done(AnswerOf(Info)); });
}

TResolver &CurrentResolver()
{
    static TSystemResolver System;
    TResolver *R = GResolver.load();
    return R ? *R : System;
}

TResolver *SetResolver(TResolver *Resolver)
{
    return GResolver.exchange(Resolver);
}

} // namespace net
