#include "leecher/Leech.h"

#include "leecher/Extraction.h"

namespace leecher {

net::TProxyType ProxyTypeOfPage(QByteArrayView address)
{
    if (!address.contains('4') && !address.contains('5'))
        return net::ptHttp; // the usual case, without a copy
    const QByteArray lower = address.toByteArray().toLower();
    return lower.contains("socks5")   ? net::ptSocks5
           : lower.contains("socks4") ? net::ptSocks4
                                      : net::ptHttp;
}

TLeechReport LeechGoogleProxies(QByteArray &pageText, bool fallback, TProxyList &proxyList,
                                QByteArrayView address)
{
    TLeechReport report;
    report.First = proxyList.size();
    report.Count = ExtractProxies(pageText, fallback, proxyList).Count;
    report.Added = proxyList.size() - report.First;
    if (const net::TProxyType type = ProxyTypeOfPage(address); type != net::ptHttp) {
        for (std::size_t i = report.First; i < proxyList.size(); ++i)
            proxyList[i].Type = type;
    }
    EmptyPageText(pageText);
    return report;
}

TLeechReport LeechProxies(QByteArray &pageText, bool fallback, TProxyList &proxyList,
                          TSiteItem &site)
{
    const TLeechReport report = LeechGoogleProxies(pageText, fallback, proxyList, site.URL);
    if (report.Count > 0)
        site.State = ssFound;
    site.Status = FoundProxiesText(report.Count);
    return report;
}

void EmptyPageText(QByteArray &pageText)
{
    constexpr qsizetype KeptRoom = 1024 * 1024;
    if (pageText.capacity() > KeptRoom)
        pageText = QByteArray();
    else
        pageText.resize(0); // keeps the allocation
}

QString FoundProxiesText(qsizetype count)
{
    return QStringLiteral("Found ") + QString::number(count) + QStringLiteral(" Proxies");
}

QString LeechingWithBotText(int bot)
{
    return QStringLiteral("Leeching Proxies with Bot ") + QString::number(bot + 1);
}

} // namespace leecher
