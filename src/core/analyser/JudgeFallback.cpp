#include "analyser/JudgeFallback.h"

#include "analyser/JudgeFormats.h"
#include "settings/OptionsFile.h"

namespace analyser {

QStringList DefaultProxyJudges()
{
    QStringList judges{settings::DefaultProxyJudge};
    for (const char *url : {"http://azenv.net/", "http://httpbin.org/get?show_env",
                            "https://httpbin.org/get?show_env", "http://proxyjudge.us/azenv.php",
                            "http://www.proxy-listen.de/azenv.php"}) {
        if (!judges.contains(QLatin1StringView(url)))
            judges << QLatin1StringView(url);
    }
    return judges;
}

QList<QByteArray> JudgesToAsk(const QString &chosen, const QStringList &list, bool fallback)
{
    QList<QByteArray> judges{chosen.toUtf8()};
    if (!fallback)
        return judges;
    for (const QString &judge : list) {
        const QByteArray url = judge.trimmed().toUtf8();
        if (!url.isEmpty() && !judges.contains(url))
            judges << url;
    }
    return judges;
}

bool IsJudgePage(QByteArrayView page)
{
    return page.contains(QByteArrayView("REMOTE_ADDR=")) ||
           ReadJudgeEnvironment(page).Format != TJudgeFormat::Unknown;
}

QString JudgeReplacedText(const QByteArray &chosen, const QByteArray &used)
{
    return QStringLiteral("Judge %1 not answering: using %2")
        .arg(QString::fromUtf8(chosen), QString::fromUtf8(used));
}

} // namespace analyser
