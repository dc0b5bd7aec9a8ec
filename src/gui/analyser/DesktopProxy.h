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
// ".https" hold the two protocols' hosts and ports.
inline constexpr char DesktopProxySchema[] = "org.gnome.system.proxy";

// Switches the desktop to its manual proxy, with `host` and `port` as the
// proxy for http and https. `port` must be a decimal number from 0 to 65535.
// Raises also when the desktop's store did not keep the change.
void SetDesktopProxy(const QByteArray &host, const QByteArray &port,
                     const char *schema = DesktopProxySchema);

// The http proxy as the desktop now holds it: host, ":" and port.
QString QueryDesktopProxy(const char *schema = DesktopProxySchema);

} // namespace gui
