#include "leecher/Leech.h"

#include "leecher/Extraction.h"

#include <iterator>

namespace leecher {

TLeechReport LeechGoogleProxies(QByteArray &pageText, bool fallback, TProxyList &proxyList)
{
    TExtraction found = ExtractProxies(pageText, fallback);
    EmptyPageText(pageText);
    TLeechReport report;
    report.Count = found.Count;
    report.First = proxyList.size();
    report.Added = found.Proxies.size();
    proxyList.insert(proxyList.end(), std::make_move_iterator(found.Proxies.begin()),
                     std::make_move_iterator(found.Proxies.end()));
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
