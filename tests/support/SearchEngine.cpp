#include "support/SearchEngine.h"

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

Script SearchEngine::resultsPage(const QList<QByteArray> &Links)
{
    QByteArray Body = "<html><body>\r\n";
    for (const QByteArray &Link : Links)
        Body += "<p class=g><a href=" + Link + ">A proxy list</a>\r\n";
    Body += "</body></html>\r\n";
    return Script::response(200, "OK", {"Content-Type: text/html"}, Body);
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
    return Q;
}

Script SearchEngine::respond(const HttpRequest &Request)
{
    if (!Request.target.startsWith("/search?")) {
        FPageRequests.append(Request.target);
        const auto Page = FPages.constFind(Request.target);
        if (Page == FPages.constEnd())
            return Script::response(404, "Not Found", {}, "<html>no page</html>");
        return (*Page)();
    }
    const Query Q = parse(Request.target);
    FQueries.append(Q);
    if (Q.form == 0)
        return Script::response(400, "Bad Request", {}, "<html>unknown search</html>");
    return FAnswer ? FAnswer(Q) : resultsPage(FLinks);
}

} // namespace testsupport
