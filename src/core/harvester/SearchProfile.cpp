#include "harvester/SearchProfile.h"

#include "harvester/GoogleLinks.h"
#include "leecher/PageRegex.h"
#include "settings/OptionsFile.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace harvester {

namespace {

// The longest pause between searches one may ask for.
constexpr double MaxIntervalSeconds = 3600;

// A result link the harvest may fetch and keep in Leeched.ini: an http:// or
// https:// address on one line, without blanks or control bytes.
bool UsableLink(QByteArrayView link)
{
    const bool web =
        link.size() > 8 && (link.first(7).compare("http://", Qt::CaseInsensitive) == 0 ||
                            link.first(8).compare("https://", Qt::CaseInsensitive) == 0);
    return web && std::none_of(link.begin(), link.end(), [](char c) {
               return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
           });
}

// The quoted term, every byte but the unreserved ones percent-encoded.
QByteArray QuotedQuery(QByteArrayView term)
{
    return QUrl::toPercentEncoding(QString::fromLatin1('"' + term.toByteArray() + '"'));
}

// Pages of results asked per term: the first search of a term asks page 1,
// the next one page 2, and so on.
class TPageCounter
{
public:
    int Next(QByteArrayView term)
    {
        // Terms come from a list that may grow for hours: forget them all
        // rather than grow without bound.
        if (FPages.size() >= 100000)
            FPages.clear();
        return ++FPages[term.toByteArray()];
    }

private:
    QHash<QByteArray, int> FPages;
};

class TClassicProfile final : public ISearchProfile
{
public:
    explicit TClassicProfile(QByteArray host) : FHost(std::move(host)) {}
    QByteArray SearchUrl(TSearchForm form, QByteArrayView term) override
    {
        return harvester::SearchUrl(form, FHost, term);
    }
    std::deque<QByteArray> Links(QByteArrayView answer) const override
    {
        return LinkLines(GetGoogleLinks(answer));
    }

private:
    QByteArray FHost;
};

class TSearxngProfile final : public ISearchProfile
{
public:
    explicit TSearxngProfile(QByteArray base) : FBase(std::move(base)) {}
    QByteArray SearchUrl(TSearchForm, QByteArrayView term) override
    {
        return FBase + "/search?q=" + QuotedQuery(term) +
               "&format=json&pageno=" + QByteArray::number(FPages.Next(term));
    }
    std::deque<QByteArray> Links(QByteArrayView answer) const override
    {
        std::deque<QByteArray> links;
        if (answer.size() > MaxJsonAnswerBytes)
            return links;
        const QJsonDocument document = QJsonDocument::fromJson(answer.toByteArray());
        for (const QJsonValue result :
             document.object().value(QLatin1String("results")).toArray()) {
            const QByteArray url =
                result.toObject().value(QLatin1String("url")).toString().toUtf8();
            if (UsableLink(url))
                links.push_back(url);
        }
        return links;
    }
    // A JSON interface refuses by its status; its answers are no pages.
    bool ShowsChallenges() const override { return false; }

private:
    QByteArray FBase;
    TPageCounter FPages;
};

class TCustomProfile final : public ISearchProfile
{
public:
    TCustomProfile(QByteArray url, std::unique_ptr<leecher::TPageRegex> pattern)
        : FUrl(std::move(url)), FPattern(std::move(pattern))
    {
    }
    QByteArray SearchUrl(TSearchForm, QByteArrayView term) override
    {
        QByteArray url = FUrl;
        url.replace("{query}", QuotedQuery(term));
        if (url.contains("{page}"))
            url.replace("{page}", QByteArray::number(FPages.Next(term)));
        return url;
    }
    std::deque<QByteArray> Links(QByteArrayView answer) const override
    {
        std::deque<QByteArray> links;
        FPattern->ForEachFirstGroup(answer, [&links](QByteArrayView group) {
            QByteArray link = group.toByteArray().replace("&amp;", "&");
            if (UsableLink(link))
                links.push_back(std::move(link));
            return true;
        });
        return links;
    }

private:
    QByteArray FUrl;
    std::unique_ptr<leecher::TPageRegex> FPattern;
    TPageCounter FPages;
};

// The instance's address as the start of a request address.
QByteArray InstanceBase(const QString &host)
{
    const QByteArray normal = settings::NormalSearchHost(host);
    return normal.startsWith("https://") ? normal : "http://" + normal;
}

std::unique_ptr<ISearchProfile> MakeCustom(const settings::TSearchSettings &s)
{
    const QString url = s.Url.trimmed();
    if (url.isEmpty())
        throw ESearchSetting(QStringLiteral(
            "SearchURL is empty: the custom search engine needs an address with {query}"));
    if (!url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
        !url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        throw ESearchSetting(QStringLiteral("SearchURL must start with http:// or https://"));
    if (!url.contains(QLatin1String("{query}")))
        throw ESearchSetting(
            QStringLiteral("SearchURL has no {query}: it marks where the search term goes"));
    if (s.LinkPattern.isEmpty())
        throw ESearchSetting(QStringLiteral(
            "SearchLinkPattern is empty: the custom search engine needs a pattern whose first "
            "group is a result link"));
    std::unique_ptr<leecher::TPageRegex> pattern;
    try {
        pattern = std::make_unique<leecher::TPageRegex>(s.LinkPattern.toStdString());
    } catch (const std::invalid_argument &e) {
        throw ESearchSetting(QStringLiteral("SearchLinkPattern does not compile (%1)")
                                 .arg(QString::fromStdString(e.what())));
    }
    if (pattern->GroupCount() < 1)
        throw ESearchSetting(QStringLiteral(
            "SearchLinkPattern has no group: its first group (in parentheses) is the link"));
    QByteArray request;
    AppendForRequestLine(request, url.toUtf8());
    return std::make_unique<TCustomProfile>(std::move(request), std::move(pattern));
}

qint64 IntervalMs(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return 3000;
    bool ok = false;
    const double seconds = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > MaxIntervalSeconds)
        throw ESearchSetting(
            QStringLiteral("SearchInterval is \"%1\": it must be a number of seconds from 0 to "
                           "3600, as 3 or 0.5")
                .arg(text));
    return qint64(std::llround(seconds * 1000));
}

} // namespace

TSearchEngine MakeSearchEngine(const settings::TSearchSettings &s)
{
    TSearchEngine engine;
    const QString name = s.Engine.trimmed().toLower();
    if (name.isEmpty() || name == QLatin1String("classic")) {
        engine.Profile = std::make_unique<TClassicProfile>(settings::NormalSearchHost(s.Host));
    } else if (name == QLatin1String("searxng")) {
        if (s.Host.trimmed().isEmpty())
            throw ESearchSetting(QStringLiteral(
                "SearchHost is empty: the searxng search engine needs the instance's address"));
        engine.Profile = std::make_unique<TSearxngProfile>(InstanceBase(s.Host));
    } else if (name == QLatin1String("custom")) {
        engine.Profile = MakeCustom(s);
    } else {
        throw ESearchSetting(
            QStringLiteral("SearchEngine is \"%1\": it must be classic, searxng or custom")
                .arg(s.Engine));
    }
    engine.IntervalMs = IntervalMs(s.Interval);
    return engine;
}

} // namespace harvester
