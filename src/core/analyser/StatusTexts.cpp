#include "analyser/StatusTexts.h"

namespace analyser {

namespace {

QString Compose(const char *word, qsizetype count, const char *tail)
{
    return QLatin1String(word) + QString::number(count) + QLatin1String(tail);
}

} // namespace

QString LoadedProxiesText(qsizetype count)
{
    return Compose("Loaded ", count, " Proxies");
}

QString AddedProxyText()
{
    return QStringLiteral("Added 1 Proxy");
}

QString ExtractedProxiesText(qsizetype count)
{
    return Compose("Extracted ", count, " Proxies From Clipboard");
}

QString DeletedProxiesText(qsizetype count)
{
    return Compose("Deleted ", count, " Proxies");
}

QString SortingListText()
{
    return QStringLiteral("Sorting List");
}

QString RemovingDuplicatesText()
{
    return QStringLiteral("Removing Duplicates");
}

QString RemovedDuplicatesText(qsizetype count)
{
    return Compose("Removed ", count, " Duplicates");
}

QString CleanedText(TCleaning cleaning, qsizetype count)
{
    switch (cleaning) {
    case TCleaning::BadProxies:
        return Compose("Deleted ", count, " Bad Proxies");
    case TCleaning::Timeouts:
        return Compose("Deleted ", count, " Timeouts");
    case TCleaning::Gateways:
        return Compose("Deleted ", count, " Gateway Proxies");
    case TCleaning::Unknowns:
        return Compose("Deleted ", count, " Unknown Proxies");
    }
    return {};
}

QString SavedProxiesText(qsizetype count)
{
    return Compose("Saved ", count, " Proxies");
}

} // namespace analyser
