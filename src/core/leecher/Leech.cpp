#include "leecher/Leech.h"

#include "leecher/Extraction.h"

namespace leecher {

TLeechReport LeechGoogleProxies(QByteArray &pageText, bool fallback, TProxyList &proxyList)
{
    TLeechReport report;
    report.First = proxyList.size();
    report.Count = ExtractProxies(pageText, fallback, proxyList).Count;
    report.Added = proxyList.size() - report.First;
    EmptyPageText(pageText);
    return report;
}

TLeechReport LeechProxies(QByteArray &pageText, bool fallback, TProxyList &proxyList,
                          TSiteItem &site)
{
    const TLeechReport report = LeechGoogleProxies(pageText, fallback, proxyList);
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
