#include "LoopbackResolver.h"

#include "WSocket.h"

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
    Post(Context, std::move(Done), Answer);
}

} // namespace net
