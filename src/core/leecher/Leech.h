// Applying one page's extraction to the main window's data: the proxy list,
// the page buffer and the site record. The windows add the view refresh and
// the status line on top.
#pragma once

#include "lists/Records.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>

namespace leecher {

struct TLeechReport
{
    // Candidates tried: the N of "Found N Proxies". When it is above 0 the
    // proxy view's count and the proxy counter are refreshed.
    qsizetype Count = 0;
    // Records appended to the proxy list: indices First .. First + Added - 1.
    std::size_t First = 0;
    std::size_t Added = 0;
};

// Site run: extracts `pageText`, appends the accepted proxies to `proxyList`,
// empties `pageText`, and reports on `site`: Status "Found N Proxies" (also for
// N = 0) and State ssFound when N is above 0 (otherwise the state is kept).
// `fallback` is the site run's special-extraction option.
TLeechReport LeechProxies(QByteArray &pageText, bool fallback, TProxyList &proxyList,
                          TSiteItem &site);

// Search-harvest run: the same without a site. The caller shows
// LeechingWithBotText(bot) before and FoundProxiesText(report.Count) after.
// `address` is the page's: see ProxyTypeOfPage.
TLeechReport LeechGoogleProxies(QByteArray &pageText, bool fallback, TProxyList &proxyList,
                                QByteArrayView address);

// The type of the proxies a page lists, from its address: SOCKS5 when it says
// "socks5" anywhere (any letter case: socks5.txt, ?protocol=socks5,
// /socks5-proxy-list/), else SOCKS4 when it says "socks4", else HTTP.
net::TProxyType ProxyTypeOfPage(QByteArrayView address);

// Empties a bot's page buffer for its next page. Room of up to 1 MiB is kept,
// so that pages of ordinary size never go back to the allocator; a larger
// buffer is given back.
void EmptyPageText(QByteArray &pageText);

// "Found " N " Proxies"
QString FoundProxiesText(qsizetype count);
// "Leeching Proxies with Bot " (bot + 1), `bot` counted from 0
QString LeechingWithBotText(int bot);

} // namespace leecher
