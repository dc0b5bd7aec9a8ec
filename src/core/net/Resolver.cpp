#include "Resolver.h"

#include "WSocket.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QMetaObject>

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

void TResolver::Post(QObject *Context, TDone Done, const TLookupAnswer &Answer)
{
    QMetaObject::invokeMethod(
        Context, [Done = std::move(Done), Answer] { Done(Answer); }, Qt::QueuedConnection);
}

void TSystemResolver::Lookup(const QByteArray &Name, QObject *Context, TDone Done)
{
    // An IPv6 address has no IPv4 one to give; asked, the system would look
    // for its name instead.
    if (Name.startsWith('[')) {
        Post(Context, std::move(Done), {WSANO_DATA, {}});
        return;
    }
    QHostInfo::lookupHost(
        QString::fromLatin1(Name), Context,
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
