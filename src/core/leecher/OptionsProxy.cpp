#include "leecher/OptionsProxy.h"

#include "net/HttpProt.h"
#include "net/ProxyType.h"
#include "settings/Options.h"

namespace leecher {

namespace {

bool AimAtSocks(net::THttpCli &client, const settings::IOptions &options, bool onlyIfSocks)
{
    net::TProxyType type = net::ptHttp;
    QByteArray host, port;
    if (!net::ParseProxyOption(options.Proxy().toUtf8(), type, host, port))
        return false;
    if (onlyIfSocks && type == net::ptHttp)
        return false;
    net::UseProxy(client, type, host, port);
    if (options.ProxyAuth())
        net::UseProxyCredentials(client, type, options.ProxyUsername().toUtf8(),
                                 options.ProxyPassword().toUtf8());
    return true;
}

} // namespace

void AimAtOptionsProxy(net::THttpCli &client, const settings::IOptions &options)
{
    if (options.UseProxy())
        AimAtSocks(client, options, false);
}

void AimHarvestAtOptionsProxy(net::THttpCli &client, const settings::IOptions &options)
{
    if (AimAtSocks(client, options, true))
        return;
    // "host:port" is taken apart by the client; empty means no proxy.
    client.SetProxy(options.Proxy().toUtf8());
    client.SetProxyUsername(options.ProxyUsername().toUtf8());
    client.SetProxyPassword(options.ProxyPassword().toUtf8());
}

} // namespace leecher
