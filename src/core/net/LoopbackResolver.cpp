#include "LoopbackResolver.h"

#include "WSocket.h"

#include <QMetaObject>
#include <QObject>

namespace net {

void TLoopbackResolver::Lookup(const QByteArray &Name, QObject *Context, TDone Done)
{
    FAsked.append(Name);
    QByteArray Host = Name.toLower();
    if (Host.endsWith('.'))
        Host.chop(1);
    TLookupAnswer Answer;
    if (Host == "localhost" || Host.endsWith(".localhost"))
        Answer.Addresses.append(QByteArrayLiteral("127.0.0.1"));
    else if (Host.startsWith('['))
        Answer.Error = WSANO_DATA; // an IPv6 address: no IPv4 one to give
    else
        Answer.Error = WSAHOST_NOT_FOUND;
    QMetaObject::invokeMethod(
        Context, [Done = std::move(Done), Answer] { Done(Answer); }, Qt::QueuedConnection);
}

} // namespace net
