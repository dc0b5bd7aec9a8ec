// The desktop's system proxy, held by GSettings: the analyser's command that
// makes a checked proxy the proxy of the user's desktop and reads it back.
#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

namespace gui {

// Raised when the proxy cannot be set or read; the message says why, for the
// user. Nothing has changed when SetDesktopProxy raises it.
class EDesktopProxyError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The settings schema of the desktop's proxy; its children ".http" and
// ".https" hold the two protocols' hosts and ports, ".socks" the SOCKS proxy.
inline constexpr char DesktopProxySchema[] = "org.gnome.system.proxy";

// Which of the desktop's proxies is meant: the one for http and https, or
// the SOCKS proxy.
enum class TDesktopProxyKind { Http, Socks };

// Switches the desktop to its manual proxy, with `host` and `port` as the
// proxy for http and https, or as its SOCKS proxy (the others stay as they
// are). `port` must be a decimal number from 0 to 65535. Raises also when
// the desktop's store did not keep the change.
void SetDesktopProxy(const QByteArray &host, const QByteArray &port,
                     TDesktopProxyKind kind = TDesktopProxyKind::Http,
                     const char *schema = DesktopProxySchema);

// That proxy as the desktop now holds it: host, ":" and port.
QString QueryDesktopProxy(TDesktopProxyKind kind = TDesktopProxyKind::Http,
                          const char *schema = DesktopProxySchema);

} // namespace gui
