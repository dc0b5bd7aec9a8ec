// A loopback search engine for the harvest: it answers the two classic search
// addresses with result pages of "<p class=g><a href=...>" links, a
// SearXNG-shaped "/search?q=...&format=json&pageno=N" with JSON results, and
// a custom "/find?query=...&page=N" with "<h3><a href="..."> links whose "&"
// is written "&amp;"; it records every query with its form, term, page and
// arrival time, and serves the list pages the links point at from its own
// routes.
//
//   SearchEngine Engine;
//   Engine.route("/list1", Script::response(200, "OK", {}, "1.2.3.4:8080"));
//   Engine.setLinks({Engine.url("/list1")});        // every search finds it
//   ... "SearchHost" = Engine.host() ...
//   Engine.queries()[0].term == "61.172.249.94:80"
#pragma once

#include "support/OriginServer.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>

namespace testsupport {

class SearchEngine : public QObject
{
    Q_OBJECT

public:
    // The search address of the custom engine, for "SearchURL".
    static constexpr const char *CustomPath = "/find?query={query}&page={page}";

    struct Query
    {
        // 1 or 2: the classic forms; 3 JSON; 4 custom; 0 an address of none.
        int form = 0;
        QByteArray term;   // between the quotes, decoded (without ":80" in form 2)
        int page = 1;      // forms 3 and 4
        QByteArray target; // the request target as received
        qint64 at = 0;     // arrival, in ms of a steady clock
    };
    // The answer to a search; by default the result page of setLinks' links.
    using Answer = std::function<Script(const Query &)>;

    explicit SearchEngine(QObject *Parent = nullptr);

    QByteArray host() const { return FServer.address(); } // "127.0.0.1:<port>"
    QByteArray url(const QByteArray &Path) const { return FServer.url(Path); }

    void setLinks(const QList<QByteArray> &Links) { FLinks = Links; }
    void setAnswer(Answer A) { FAnswer = std::move(A); }
    // A page other than /search (a result's list page), or its answer made
    // afresh for every request (pages() already holds that request).
    void route(const QByteArray &Path, const Script &S)
    {
        FPages.insert(Path, [S] { return S; });
    }
    void route(const QByteArray &Path, std::function<Script()> Make)
    {
        FPages.insert(Path, std::move(Make));
    }

    // A 200 result page listing the links in order, in the form's format.
    static Script resultsPage(const QList<QByteArray> &Links, int Form = 1);
    // A 200 JSON answer with the links as results[].url.
    static Script jsonResults(const QList<QByteArray> &Links);
    // Reads a search target; form 0 when it is neither of the two forms.
    static Query parse(const QByteArray &Target);

    const QList<Query> &queries() const { return FQueries; }
    // Targets of every request that was not a search, in order.
    const QList<QByteArray> &pages() const { return FPageRequests; }
    // Forgets the queries and pages asked so far.
    void forget()
    {
        FQueries.clear();
        FPageRequests.clear();
    }

private:
    Script respond(const HttpRequest &Request);

    OriginServer FServer;
    QList<QByteArray> FLinks;
    Answer FAnswer;
    QHash<QByteArray, std::function<Script()>> FPages;
    QList<Query> FQueries;
    QList<QByteArray> FPageRequests;
};

} // namespace testsupport
