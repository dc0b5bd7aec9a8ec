// What kind of proxy an address names, its written prefix ("socks5://"), and
// pointing a client at it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

namespace net {

class THttpCli;

enum TProxyType : quint8 { ptHttp = 0, ptSocks4 = 1, ptSocks5 = 2 };

// "HTTP", "SOCKS4" or "SOCKS5".
QByteArray ProxyTypeName(TProxyType Type);
// The prefix it is written with: "" for HTTP (a bare "host:port"),
// "socks4://" or "socks5://".
QByteArray ProxyTypePrefix(TProxyType Type);

// Takes a leading "http://", "socks4://", "socks4a://", "socks5://" or
// "socks5h://" (any letter case) off Text, setting Type; true when there was
// one. Text without one is left as it is.
bool TakeProxyPrefix(QByteArrayView &Text, TProxyType &Type);

// A proxy as typed in an option ("host:port", "socks5://host:port"): its
// type, host and port text. False when there is no colon (no proxy).
bool ParseProxyOption(const QByteArray &Text, TProxyType &Type, QByteArray &Host, QByteArray &Port);

// Makes the client's connections go through the proxy: an HTTP proxy, or a
// SOCKS server of that version (4 or 5). Clears the other kind.
void UseProxy(THttpCli &Client, TProxyType Type, const QByteArray &Host, const QByteArray &Port);
// The same with credentials: the HTTP proxy's, or the SOCKS5 user name and
// password (the SOCKS server gets them; no HTTP header carries them).
void UseProxyCredentials(THttpCli &Client, TProxyType Type, const QByteArray &User,
                         const QByteArray &Password);

} // namespace net
