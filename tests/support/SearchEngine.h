// A loopback search engine for the harvest: it answers the two search
// addresses the harvest asks with result pages of "<p class=g><a href=...>"
// links, records every query with its form and term, and serves the list
// pages the links point at from its own routes.
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
    struct Query
    {
        int form = 0;      // 1 or 2; 0 for a /search address of neither form
        QByteArray term;   // between the encoded quotes (without ":80" in form 2)
        QByteArray target; // the request target as received
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

    // A 200 result page listing the links in order.
    static Script resultsPage(const QList<QByteArray> &Links);
    // Reads a search target; form 0 when it is neither of the two forms.
    static Query parse(const QByteArray &Target);

    const QList<Query> &queries() const { return FQueries; }
    // Targets of every request that was not a search, in order.
    const QList<QByteArray> &pages() const { return FPageRequests; }

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
