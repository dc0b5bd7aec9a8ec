// The search engines a harvest can ask. They differ only in how a search is
// asked and how its answer's result links are read; everything else (the
// run, Leeched.ini, extraction, the status texts, the pace) is one harvest.
//
//   classic: the written search addresses on SearchHost, result links as
//            "<p class=g><a href=...>"
//   searxng: a metasearch instance's JSON interface at SearchHost
//            (/search?q=...&format=json&pageno=N), links in results[].url
//   custom:  SearchURL with {query} (and {page}), links the first group of
//            SearchLinkPattern
#pragma once

#include "harvester/SearchTerms.h"
#include "settings/Options.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <deque>
#include <memory>
#include <stdexcept>

namespace harvester {

// A JSON answer bigger than this is a failed search, not something to parse.
inline constexpr qsizetype MaxJsonAnswerBytes = 1024 * 1024;

class ISearchProfile
{
public:
    virtual ~ISearchProfile() = default;
    // The address of the next search for `term`. `form` is the written search
    // form, which only the classic engine tells apart; the others ask the
    // next page of results when the same term is searched again.
    virtual QByteArray SearchUrl(TSearchForm form, QByteArrayView term) = 0;
    // The result links of a search's answer, in order.
    virtual std::deque<QByteArray> Links(QByteArrayView answer) const = 0;
    // Whether an answer without links may be an engine's challenge page.
    virtual bool ShowsChallenges() const { return true; }
};

// A search setting that cannot work; the message names the key and why.
class ESearchSetting : public std::runtime_error
{
public:
    explicit ESearchSetting(const QString &message)
        : std::runtime_error(message.toStdString()), FMessage(message)
    {
    }
    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

struct TSearchEngine
{
    std::unique_ptr<ISearchProfile> Profile;
    qint64 IntervalMs = 3000;
};

// The engine the settings describe; raises ESearchSetting for an unknown
// engine, a SearchInterval that is no number of seconds, a searxng engine
// without SearchHost, or a custom engine whose SearchURL or SearchLinkPattern
// cannot work.
TSearchEngine MakeSearchEngine(const settings::TSearchSettings &settings);

} // namespace harvester
