// Pointing a main-window run's client at the Options' proxy: an HTTP proxy
// ("host:port") or a SOCKS proxy ("socks4://", "socks4a://", "socks5://"
// then "host:port"), whose user and password, when the authentication box is
// ticked, go to the SOCKS proxy as its credentials.
#pragma once

namespace net {
class THttpCli;
}

namespace settings {
class IOptions;
}

namespace leecher {

// The leech run and the verification: only while the proxy box is ticked;
// a text without a colon means a direct connection.
void AimAtOptionsProxy(net::THttpCli &client, const settings::IOptions &options);

// The harvest takes the HTTP proxy text whole, whatever the boxes say, as it
// always has; a SOCKS address goes through its SOCKS proxy.
void AimHarvestAtOptionsProxy(net::THttpCli &client, const settings::IOptions &options);

} // namespace leecher
