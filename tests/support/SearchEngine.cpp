#include "support/SearchEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <chrono>

namespace testsupport {

namespace {

const QByteArray Form1Head = "/search?hl=en&lr=&ie=UTF-8&oe=utf-8&q=%22";
const QByteArray Form1Tail = "%22&btnG=Google+Search";
const QByteArray Form2Head = "/search?q=%22";
const QByteArray Form2Tail = "%3A80%22&btnG=Google+Search&hl=en&lr=&ie=UTF-8&oe=utf-8";

} // namespace

SearchEngine::SearchEngine(QObject *Parent) : QObject(Parent)
{
    FServer.setResponder([this](const HttpRequest &R) { return respond(R); });
}

Script SearchEngine::resultsPage(const QList<QByteArray> &Links, int Form)
{
    if (Form == 3)
        return jsonResults(Links);
    QByteArray Body = "<html><body>\r\n";
    for (QByteArray Link : Links) {
        if (Form == 4)
            Body += "<h3><a href=\"" + Link.replace("&", "&amp;") + "\">A proxy list</a></h3>\r\n";
        else
            Body += "<p class=g><a href=" + Link + ">A proxy list</a>\r\n";
    }
    Body += "</body></html>\r\n";
    return Script::response(200, "OK", {"Content-Type: text/html"}, Body);
}

Script SearchEngine::jsonResults(const QList<QByteArray> &Links)
{
    QJsonArray Results;
    for (const QByteArray &Link : Links)
        Results.append(QJsonObject{{QStringLiteral("url"), QString::fromUtf8(Link)},
                                   {QStringLiteral("title"), QStringLiteral("A proxy list")}});
    const QJsonObject Answer{{QStringLiteral("query"), QStringLiteral("x")},
                             {QStringLiteral("results"), Results}};
    return Script::response(200, "OK", {"Content-Type: application/json"},
                            QJsonDocument(Answer).toJson(QJsonDocument::Compact));
}

SearchEngine::Query SearchEngine::parse(const QByteArray &Target)
{
    Query Q;
    Q.target = Target;
    const auto Between = [&](const QByteArray &Head, const QByteArray &Tail, int Form) {
        if (Q.form != 0 || !Target.startsWith(Head) || !Target.endsWith(Tail) ||
            Target.size() < Head.size() + Tail.size())
            return;
        Q.form = Form;
        Q.term = Target.mid(Head.size(), Target.size() - Head.size() - Tail.size());
    };
    Between(Form1Head, Form1Tail, 1);
    Between(Form2Head, Form2Tail, 2);
    if (Q.form != 0)
        return Q;
    // The JSON and custom engines: a quoted, percent-encoded term and a page.
    const bool Json = Target.startsWith("/search?") && Target.contains("&format=json");
    const bool Custom = Target.startsWith("/find?");
    if (!Json && !Custom)
        return Q;
    const QUrlQuery Query(QString::fromLatin1(Target.mid(Target.indexOf('?') + 1)));
    const QByteArray Quoted = QByteArray::fromPercentEncoding(
        Query.queryItemValue(QLatin1String(Json ? "q" : "query"), QUrl::FullyEncoded).toLatin1());
    if (Quoted.size() < 2 || !Quoted.startsWith('"') || !Quoted.endsWith('"'))
        return Q;
    Q.form = Json ? 3 : 4;
    Q.term = Quoted.mid(1, Quoted.size() - 2);
    Q.page = Query.queryItemValue(QLatin1String(Json ? "pageno" : "page")).toInt();
    return Q;
}

Script SearchEngine::respond(const HttpRequest &Request)
{
    if (!Request.target.startsWith("/search?") && !Request.target.startsWith("/find?")) {
        FPageRequests.append(Request.target);
        const auto Page = FPages.constFind(Request.target);
        if (Page == FPages.constEnd())
            return Script::response(404, "Not Found", {}, "<html>no page</html>");
        return (*Page)();
    }
    Query Q = parse(Request.target);
    Q.at = std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count();
    FQueries.append(Q);
    if (Q.form == 0)
        return Script::response(400, "Bad Request", {}, "<html>unknown search</html>");
    return FAnswer ? FAnswer(Q) : resultsPage(FLinks, Q.form);
}

} // namespace testsupport
