#include "ProxyType.h"

#include "HttpProt.h"

namespace net {

QByteArray ProxyTypeName(TProxyType Type)
{
    switch (Type) {
    case ptSocks4:
        return QByteArrayLiteral("SOCKS4");
    case ptSocks5:
        return QByteArrayLiteral("SOCKS5");
    default:
        return QByteArrayLiteral("HTTP");
    }
}

QByteArray ProxyTypePrefix(TProxyType Type)
{
    switch (Type) {
    case ptSocks4:
        return QByteArrayLiteral("socks4://");
    case ptSocks5:
        return QByteArrayLiteral("socks5://");
    default:
        return {};
    }
}

bool TakeProxyPrefix(QByteArrayView &Text, TProxyType &Type)
{
    static const struct
    {
        QByteArrayView Prefix;
        TProxyType Type;
    } Prefixes[] = {
        {"http://", ptHttp},     {"socks4://", ptSocks4},  {"socks4a://", ptSocks4},
        {"socks5://", ptSocks5}, {"socks5h://", ptSocks5},
    };
    for (const auto &P : Prefixes) {
        if (Text.size() >= P.Prefix.size() &&
            qstrnicmp(Text.data(), P.Prefix.size(), P.Prefix.data(), P.Prefix.size()) == 0) {
            Text = Text.sliced(P.Prefix.size());
            Type = P.Type;
            return true;
        }
    }
    return false;
}

bool ParseProxyOption(const QByteArray &Text, TProxyType &Type, QByteArray &Host, QByteArray &Port)
{
    QByteArrayView Rest(Text);
    Type = ptHttp;
    TakeProxyPrefix(Rest, Type);
    // A trailing "/" of an address-like option is no part of the port.
    while (Rest.endsWith('/'))
        Rest.chop(1);
    const qsizetype Colon = Rest.indexOf(':');
    if (Colon < 0)
        return false;
    Host = Rest.first(Colon).toByteArray();
    Port = Rest.sliced(Colon + 1).toByteArray();
    return true;
}

void UseProxy(THttpCli &Client, TProxyType Type, const QByteArray &Host, const QByteArray &Port)
{
    if (Type == ptHttp) {
        Client.SetSocksServer({});
        Client.SetProxy(Host);
        Client.SetProxyPort(Port);
        return;
    }
    Client.SetProxy({});
    Client.SetSocksServer(Host);
    Client.SetSocksPort(Port);
    Client.SetSocksLevel(Type == ptSocks4 ? QByteArrayLiteral("4") : QByteArrayLiteral("5"));
}

void UseProxyCredentials(THttpCli &Client, TProxyType Type, const QByteArray &User,
                         const QByteArray &Password)
{
    if (Type == ptHttp) {
        Client.SetProxyUsername(User);
        Client.SetProxyPassword(Password);
        return;
    }
    Client.SetSocksAuthentication(socksAuthenticateUsercode);
    Client.SetSocksUsercode(User);
    Client.SetSocksPassword(Password);
}

} // namespace net
