#include "WebAddress.h"

#include <QRegularExpression>

namespace leecher {

std::optional<QUrl> WebAddressForBrowser(const QByteArray &siteUrl)
{
    QString text = QString::fromUtf8(siteUrl).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*)://"));
    const QRegularExpressionMatch m = scheme.match(text);
    if (!m.hasMatch())
        text.prepend(QStringLiteral("http://"));
    else if (m.captured(1).compare(QStringLiteral("http"), Qt::CaseInsensitive) != 0 &&
             m.captured(1).compare(QStringLiteral("https"), Qt::CaseInsensitive) != 0)
        return std::nullopt;

    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != QStringLiteral("http") && url.scheme() != QStringLiteral("https")))
        return std::nullopt;
    return url;
}

} // namespace leecher
