// The search harvest end to end through the run object, against a loopback
// search engine whose results point at loopback list pages; and the pieces it
// is built from: result links, search terms, search addresses, the host
// setting.
#include "harvester/GoogleLinks.h"
#include "harvester/SearchTerms.h"
#include "leecher/SiteRun.h"
#include "lists/FileError.h"
#include "lists/ListFiles.h"
#include "settings/OptionsFile.h"
#include "support/EventLoop.h"
#include "support/RecordingProxy.h"
#include "support/SearchEngine.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace leecher;
using testsupport::Script;
using testsupport::SearchEngine;
using testsupport::waitUntil;

namespace {

Script Page(const QByteArray &Body)
{
    return Script::response(200, "OK", {"Content-Type: text/html"}, Body);
}

QList<QByteArray> Lines(QByteArrayView Links)
{
    QList<QByteArray> Out;
    for (QByteArray &L : harvester::LinkLines(Links))
        Out << L;
    return Out;
}

class HarvestTest : public ::testing::Test
{
protected:
    HarvestTest()
    {
        settings::TIniFile Ini(Dir.filePath(QStringLiteral("Options.ini")));
        Ini.WriteString(QStringLiteral("Options"), QStringLiteral("SearchHost"),
                        QString::fromLatin1(Engine.host()));
        Inputs.bots = 1;
        Run = std::make_unique<TSiteRun>(Sites, Proxies, Options, Inputs, Dir.path());
        Run->SetWaitInterval(50);
        Run->SetRandomSeed(7);
        QObject::connect(Run.get(), &TSiteRun::statusChanged, Run.get(),
                         [this](const QString &T) { Status << T; });
        QObject::connect(Run.get(), &TSiteRun::finished, Run.get(), [this] { ++Finished; });
        QObject::connect(Run.get(), &TSiteRun::botsEnabledChanged, Run.get(),
                         [this](bool On) { BotsEnabled.push_back(On); });
        QObject::connect(Run.get(), &TSiteRun::fileError, Run.get(),
                         [this](const QString &M) { FileErrors << M; });
    }

    // Lets the harvest run until `Condition`, then aborts it and waits for its end.
    void AbortWhen(const std::function<bool()> &Condition)
    {
        ASSERT_TRUE(waitUntil(Condition, 10000)) << Status.join(u'|').toStdString();
        Run->Abort();
        ASSERT_TRUE(waitUntil([&] { return Finished > 0 && !Run->IsRunning(); }, 10000));
    }
    QByteArray File(const QString &Name) const
    {
        QFile F(Dir.filePath(Name));
        return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray("<missing>");
    }
    QByteArray LeechedIni() const { return File(QStringLiteral("Leeched.ini")); }
    QStringList ProxyTexts() const
    {
        QStringList Out;
        for (const TProxyItem &P : Proxies)
            Out << QString::fromLatin1(ProxyText(P));
        return Out;
    }

    QTemporaryDir Dir;
    SearchEngine Engine;
    TSiteList Sites;
    TProxyList Proxies;
    settings::TOptionValues Options;
    TRunInputValues Inputs;
    std::unique_ptr<TSiteRun> Run;
    QStringList Status;
    QStringList FileErrors;
    std::vector<bool> BotsEnabled;
    int Finished = 0;
};

} // namespace

TEST(HarvestPieces, ResultLinksFollowThePatternsRules)
{
    const QByteArray Page = "<html><p class=g><a href=http://a.example/1>One</a>\r\n"
                            "<p class=g><a href=http://b.example/2\" class=l>Two</a>\r\n"
                            "<p class=g><a href=https://tls.example/3>Three</a>\r\n"
                            "<p class=g><a href=HTTPS://caps.example/>caps</a>\r\n"
                            "<P class=g><a href=http://upper.example/>caps</a>\r\n"
                            "<p class=g><a href=\"http://quoted.example/\">quoted</a>\r\n"
                            "<p class=g><a href=http://split.example\r\n/x>broken</a>\r\n"
                            "<p class=g><a href=http://c.example<p class=g><a href=http://d>\r\n"
                            "<p class=g><a href=http://e.example/>" +
                            QByteArray(1, '\0') + "<p class=g><a href=http://after.nul/>";
    const QByteArray Links = harvester::GetGoogleLinks(Page);
    EXPECT_EQ(Links, "http://a.example/1\r\n"
                     "http://b.example/2\" class=l\r\n"
                     "https://tls.example/3\r\n"
                     "http://split.example\r\n/x\r\n"
                     "http://c.example<p class=g\r\n"
                     "http://e.example/\r\n");
    // A link that spans a line break becomes one entry per line.
    EXPECT_EQ(Lines(Links),
              (QList<QByteArray>{"http://a.example/1", "http://b.example/2\" class=l",
                                 "https://tls.example/3", "http://split.example", "/x",
                                 "http://c.example<p class=g", "http://e.example/"}));
    EXPECT_EQ(harvester::GetGoogleLinks("no results here"), QByteArray());
    EXPECT_TRUE(Lines("http://x/\r\n\r\nhttp://x/\n>").size() == 3); // blank lines never a link
}

TEST(HarvestPieces, SearchAddressesAndTerms)
{
    using harvester::TSearchForm;
    EXPECT_EQ(harvester::SearchUrl(TSearchForm::First, "www.example.com", "1.2.3.4:8080"),
              "http://www.example.com/search?hl=en&lr=&ie=UTF-8&oe=utf-8&q=%221.2.3.4:8080%22"
              "&btnG=Google+Search");
    EXPECT_EQ(harvester::SearchUrl(TSearchForm::AfterPage, "127.0.0.1:81", "1.2.3.4:8080"),
              "http://127.0.0.1:81/search?q=%221.2.3.4:8080%3A80%22&btnG=Google+Search"
              "&hl=en&lr=&ie=UTF-8&oe=utf-8");
    EXPECT_EQ(harvester::SearchUrl(TSearchForm::AfterPage, "https://s.example", "1.2.3.4:80"),
              "https://s.example/search?q=%221.2.3.4:80%3A80%22&btnG=Google+Search"
              "&hl=en&lr=&ie=UTF-8&oe=utf-8");
    // A host that kept a line break or TAB from its page cannot add request lines.
    EXPECT_EQ(harvester::SearchUrl(TSearchForm::First, "h", "a.b.c\r\n\t :80"),
              "http://h/search?hl=en&lr=&ie=UTF-8&oe=utf-8&q=%22a.b.c%0D%0A%09%20:80%22"
              "&btnG=Google+Search");

    const QRegularExpression Seed(QStringLiteral("^(\\d{1,3}\\.){3}\\d{1,3}:(80|3128|8000|8080)$"));
    std::set<QByteArray> Distinct;
    for (QByteArrayView S : harvester::SeedProxies()) {
        EXPECT_TRUE(Seed.match(QString::fromLatin1(S)).hasMatch()) << S.toByteArray().data();
        Distinct.insert(S.toByteArray());
    }
    EXPECT_EQ(Distinct.size(), 20u);

    harvester::TRandom Random(1);
    TProxyList Proxies;
    std::set<QByteArray> Drawn;
    for (int I = 0; I < 400; ++I)
        Drawn.insert(harvester::ChooseTerm(Proxies, Random));
    EXPECT_EQ(Drawn, Distinct); // every seed, in time, and nothing else

    Proxies = {{"1.1.1.1", "81"}};
    EXPECT_EQ(harvester::ChooseTerm(Proxies, Random), "1.1.1.1:81");
    // Host and port are drawn apart, from every entry, the last one included.
    Proxies = {{"1.1.1.1", "81"}, {"2.2.2.2", "82"}};
    Drawn.clear();
    for (int I = 0; I < 200; ++I)
        Drawn.insert(harvester::ChooseTerm(Proxies, Random));
    EXPECT_EQ(Drawn,
              (std::set<QByteArray>{"1.1.1.1:81", "1.1.1.1:82", "2.2.2.2:81", "2.2.2.2:82"}));
}

TEST(HarvestPieces, SearchHostSetting)
{
    QTemporaryDir Dir;
    settings::TIniFile Ini(Dir.filePath(QStringLiteral("Options.ini")));
    EXPECT_EQ(settings::ReadSearchHost(Ini), "www.google.com"); // no file
    const struct
    {
        const char *Value, *Host;
    } Cases[] = {{"search.example:8080", "search.example:8080"},
                 {"  HTTP://search.example/ ", "search.example"},
                 {" HTTPS://Search.example:8443// ", "https://Search.example:8443"},
                 {"https:///", "www.google.com"},
                 {"   ", "www.google.com"}};
    for (const auto &C : Cases) {
        Ini.WriteString(QStringLiteral("options"), QStringLiteral("searchhost"),
                        QString::fromLatin1(C.Value));
        EXPECT_EQ(settings::ReadSearchHost(Ini), C.Host) << C.Value;
    }
}

TEST_F(HarvestTest, FirstSearchesUseSeedTermsWhileTheProxyListIsEmpty)
{
    Inputs.bots = 5;
    ASSERT_TRUE(Run->StartGoogle());
    EXPECT_EQ(Run->BotCount(), 5);
    EXPECT_EQ(Status, QStringList{QStringLiteral("Googling...")});
    EXPECT_EQ(BotsEnabled, std::vector<bool>{false});
    AbortWhen([&] { return Engine.queries().size() >= 10; });

    std::set<QByteArray> Seeds;
    for (QByteArrayView S : harvester::SeedProxies())
        Seeds.insert(S.toByteArray());
    for (const SearchEngine::Query &Q : Engine.queries()) {
        EXPECT_EQ(Q.form, 1) << Q.target.data(); // no page was leeched: only form 1
        EXPECT_TRUE(Seeds.count(Q.term)) << Q.term.data();
    }
    EXPECT_TRUE(Status.contains(QStringLiteral("No Links were found, Relaunching Bot 5")));
    EXPECT_EQ(BotsEnabled, (std::vector<bool>{false, true}));
    EXPECT_EQ(Status.last(), QStringLiteral("Finished"));
    EXPECT_EQ(LeechedIni(), QByteArray()); // written, with nothing in it
    EXPECT_EQ(Run->LeechedLinks(), nullptr);
    EXPECT_FALSE(Run->GoogleMode());
}

TEST_F(HarvestTest, WithOneProxyEveryTermIsThatProxy)
{
    Inputs.bots = 2;
    Proxies = {{"9.8.7.6", "3128"}};
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return Engine.queries().size() >= 6; });
    for (const SearchEngine::Query &Q : Engine.queries())
        EXPECT_EQ(Q.term, "9.8.7.6:3128");
}

TEST_F(HarvestTest, LeechesEveryNewLinkThenSearchesAgainAndRemembersThem)
{
    const QByteArray Old = Engine.url("/old");
    QFile Ini(Dir.filePath(QStringLiteral("Leeched.ini")));
    ASSERT_TRUE(Ini.open(QIODevice::WriteOnly));
    Ini.write(Old.toUpper() + "\r\n"); // leeched before, written in other case
    Ini.close();
    Engine.route("/a", Page("<td>1.2.3.4:8080</td>"));
    Engine.route("/b", Page("5.6.7.8:3128"));
    Engine.setAnswer([&](const SearchEngine::Query &) {
        switch (Engine.queries().size()) {
        case 1:
            return SearchEngine::resultsPage({Old, Engine.url("/a"), Engine.url("/b")});
        case 2: // only a link leeched already, in other case
            return SearchEngine::resultsPage({Engine.url("/A")});
        default:
            return SearchEngine::resultsPage({});
        }
    });
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return Engine.queries().size() >= 3; });

    // Both new links, the last one too, before the next search.
    EXPECT_EQ(Engine.pages(), (QList<QByteArray>{"/a", "/b"}));
    EXPECT_EQ(ProxyTexts(), (QStringList{QStringLiteral("5.6.7.8:3128"),
                                         QStringLiteral("1.2.3.4:8080")})); // sorted by port
    const QList<SearchEngine::Query> &Q = Engine.queries();
    EXPECT_EQ(Q[0].form, 1);
    EXPECT_EQ(Q[1].form, 2); // after a page: the phrase ends in ":80"
    EXPECT_TRUE(Q[1].target.contains("q=%22" + Q[1].term + "%3A80%22")) << Q[1].target.data();
    EXPECT_EQ(Q[2].form, 1);
    const QStringList Want = {QStringLiteral("Googling..."),
                              QStringLiteral("Leeching Proxies with Bot 1"),
                              QStringLiteral("Found 1 Proxies"),
                              QStringLiteral("Leeching Proxies with Bot 1"),
                              QStringLiteral("Found 1 Proxies"),
                              QStringLiteral("Launching Bot 1 for more links"),
                              QStringLiteral("No Links were found, Relaunching Bot 1")};
    EXPECT_EQ(Status.mid(0, Want.size()), Want);
    EXPECT_EQ(LeechedIni(),
              Engine.url("/a") + "\r\n" + Engine.url("/b") + "\r\n" + Old.toUpper() + "\r\n");
    EXPECT_EQ(File(QStringLiteral("Proxies.txt")), "5.6.7.8:3128\r\n1.2.3.4:8080\r\n");
    EXPECT_EQ(Status.last(), QStringLiteral("Removed 0 Duplicates"));
}

TEST_F(HarvestTest, EmptyAnswersAreRetriedAndFailedPagesSkipped)
{
    Inputs.timeout = QStringLiteral("2"); // 100 ms without data
    Engine.setAnswer([&](const SearchEngine::Query &) {
        if (Engine.queries().size() == 1)
            return Script::response(200, "OK", {}); // an empty result page
        if (Engine.queries().size() == 2)
            return SearchEngine::resultsPage({Engine.url("/empty"), Engine.url("/missing"),
                                              Engine.url("/stall"), Engine.url("/good")});
        return SearchEngine::resultsPage({});
    });
    Engine.route("/missing", Script::response(404, "Not Found", {}, "9.9.9.9:80"));
    Engine.route("/stall", Script().send("HTTP/1.0 200 OK\r\n\r\n2.2.2.2:80 ").keepOpen());
    Engine.route("/good", Page("3.3.3.3:8080"));
    Engine.route("/empty", [&] { // 200 without a body the first time
        return Engine.pages().size() == 1 ? Script::response(200, "OK", {}) : Page("1.1.1.1:80");
    });
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return Engine.queries().size() >= 3; });

    EXPECT_EQ(Engine.queries()[0].target, Engine.queries()[1].target); // the same search again
    EXPECT_EQ(Engine.pages(),
              (QList<QByteArray>{"/empty", "/empty", "/missing", "/stall", "/good"}));
    EXPECT_EQ(Status.count(QStringLiteral("Retrying Bot 1")), 2);
    EXPECT_TRUE(Status.contains(QStringLiteral("Timeout on Bot 1")));
    EXPECT_EQ(Run->TimeoutCount(), 1);
    // The 404 page and the stalled one gave nothing, though both held a proxy.
    EXPECT_EQ(ProxyTexts(),
              (QStringList{QStringLiteral("1.1.1.1:80"), QStringLiteral("3.3.3.3:8080")}));
    EXPECT_EQ(Engine.queries()[2].form, 2);
}

TEST_F(HarvestTest, EndlessEmptyAnswersAndDripsAreLeftAfterTheirBound)
{
    Inputs.timeout = QStringLiteral("30"); // 1.5 s without data: a drip never gets there
    Run->SetRequestDeadline(500);
    Engine.setAnswer([&](const SearchEngine::Query &) {
        if (Engine.queries().size() <= 3)
            return Script::response(200, "OK", {}); // the same search, empty every time
        if (Engine.queries().size() == 4)
            return SearchEngine::resultsPage(
                {Engine.url("/empty"), Engine.url("/drip"), Engine.url("/good")});
        return SearchEngine::resultsPage({});
    });
    Engine.route("/empty", Script::response(200, "OK", {}));
    Engine.route("/drip", Script().send("HTTP/1.0 200 OK\r\n\r\n").repeat("4.4.4.4:80 ", -1, 40));
    Engine.route("/good", Page("3.3.3.3:8080"));
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return Engine.pages().contains("/good"); });

    ASSERT_GE(Engine.queries().size(), 4);
    EXPECT_EQ(Engine.queries()[2].target, Engine.queries()[0].target);
    EXPECT_NE(Engine.queries()[3].term, Engine.queries()[0].term); // a new term after the third
    EXPECT_EQ(Status.count(QStringLiteral("No Links were found, Relaunching Bot 1")), 1);
    EXPECT_EQ(Engine.pages(), (QList<QByteArray>{"/empty", "/empty", "/empty", "/drip", "/good"}));
    EXPECT_EQ(Status.count(QStringLiteral("Retrying Bot 1")), 4);
    EXPECT_EQ(Status.count(QStringLiteral("Leeching Proxies with Bot 1")), 1); // /good only
    EXPECT_EQ(Run->TimeoutCount(), 1); // the drip, at its deadline
    EXPECT_EQ(ProxyTexts(), QStringList{QStringLiteral("3.3.3.3:8080")});
}

TEST_F(HarvestTest, AfterAbortThePagesUnderWayAreLeechedAndRemembered)
{
    Inputs.bots = 2;
    Engine.setAnswer([&](const SearchEngine::Query &) {
        return SearchEngine::resultsPage({Engine.url("/z"), Engine.url("/y")});
    });
    Engine.route("/z", Script().wait(200).send("HTTP/1.0 200 OK\r\n\r\n4.4.4.4:8000"));
    Engine.route("/y", Script().wait(200).send("HTTP/1.0 200 OK\r\n\r\n5.5.5.5:8000"));
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return Engine.pages().size() == 2; });
    EXPECT_EQ(Proxies.size(), 2u);
    EXPECT_EQ(Status.count(QStringLiteral("Found 1 Proxies")), 2);
    EXPECT_EQ(LeechedIni(), Engine.url("/y") + "\r\n" + Engine.url("/z") + "\r\n");
    EXPECT_EQ(Engine.queries().size(), 2); // no search after Abort
    EXPECT_EQ(Run->LiveClientCount(), 0);
}

TEST_F(HarvestTest, TimeoutEditIsCappedAtThirtyWhenItIsANumber)
{
    const struct
    {
        const char *Before, *After;
    } Cases[] = {{"45", "30"},          {"30", "30"},   {" 12 ", " 12 "}, {"", "8"},
                 {"99999999999", "30"}, {"45s", "45s"}, {"-5", "-5"}};
    for (const auto &C : Cases) {
        Inputs.timeout = QString::fromLatin1(C.Before);
        Finished = 0;
        ASSERT_TRUE(Run->StartGoogle());
        EXPECT_EQ(Inputs.timeout, QString::fromLatin1(C.After)) << C.Before;
        Run->Abort();
        ASSERT_TRUE(waitUntil([&] { return Finished > 0; }));
    }
}

TEST_F(HarvestTest, RunsNeverOverlap)
{
    Sites.push_back(TSiteItem{Engine.url("/site"), {}, 0, ssIdle});
    ASSERT_TRUE(Run->StartGoogle());
    EXPECT_FALSE(Run->StartGoogle());
    EXPECT_FALSE(Run->StartLeech());
    EXPECT_FALSE(Run->StartVerify());
    EXPECT_EQ(Run->CycleCount(), 0);
    AbortWhen([&] { return !Engine.queries().isEmpty(); });
    EXPECT_EQ(Engine.pages(), QList<QByteArray>{}); // the site was never asked
    const auto Searches = Engine.queries().size();

    Engine.route("/site", Script().wait(100).send("HTTP/1.0 200 OK\r\n\r\n1.2.3.4:80"));
    ASSERT_TRUE(Run->StartLeech());
    EXPECT_FALSE(Run->StartGoogle());
    ASSERT_TRUE(waitUntil([&] { return !Run->IsRunning(); }));
    EXPECT_EQ(Engine.queries().size(), Searches);
    EXPECT_EQ(Engine.pages(), QList<QByteArray>{"/site"});
}

TEST_F(HarvestTest, OversizedSearchesAndPagesAreDropped)
{
    Run->SetPageLimit(64 * 1024);
    const QByteArray Junk(1 << 20, 'x');
    Engine.setAnswer([&](const SearchEngine::Query &) {
        if (Engine.queries().size() == 1) // a result, then more than a page may hold
            return Script()
                .send("HTTP/1.0 200 OK\r\n\r\n<p class=g><a href=" + Engine.url("/a") + ">")
                .sendInPieces(Junk, 16384, 0);
        if (Engine.queries().size() == 2)
            return SearchEngine::resultsPage({Engine.url("/b")});
        return SearchEngine::resultsPage({});
    });
    Engine.route("/b",
                 Script().send("HTTP/1.0 200 OK\r\n\r\n6.6.6.6:80 ").sendInPieces(Junk, 16384, 0));
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return Engine.queries().size() >= 3; });
    EXPECT_EQ(Engine.pages(), QList<QByteArray>{"/b"});
    EXPECT_TRUE(Proxies.empty());
    EXPECT_TRUE(Status.contains(QStringLiteral("No Links were found, Relaunching Bot 1")));
}

TEST_F(HarvestTest, LeechedIniThatCannotBeReadOrWritten)
{
    // Unreadable: nothing starts, so the file is not overwritten at the end.
    const QString Path = LeechedIniPath(Dir.path());
    ASSERT_TRUE(QDir().mkdir(Path));
    EXPECT_THROW(Run->StartGoogle(), EFileError);
    EXPECT_FALSE(Run->IsRunning());
    EXPECT_TRUE(BotsEnabled.empty());
    testsupport::spinFor(50);
    EXPECT_TRUE(Engine.queries().isEmpty());

    // Unwritable at the end: the harvest still ends, then says so.
    ASSERT_TRUE(QDir().rmdir(Path));
    ASSERT_TRUE(Run->StartGoogle());
    ASSERT_TRUE(QDir().mkdir(Path));
    AbortWhen([&] { return !Engine.queries().isEmpty(); });
    ASSERT_TRUE(waitUntil([&] { return !FileErrors.isEmpty(); }));
    EXPECT_TRUE(FileErrors[0].contains(QStringLiteral("Leeched.ini")))
        << FileErrors[0].toStdString();
    EXPECT_EQ(Status.last(), QStringLiteral("Finished"));
    EXPECT_EQ(BotsEnabled.back(), true);
}

TEST_F(HarvestTest, TheProxyTextIsUsedWholeWhateverTheCheckBoxes)
{
    testsupport::RecordingProxy Proxy;
    Options.useProxy = false; // not consulted by the harvest
    Options.proxy = QString::fromLatin1(Proxy.address());
    Options.proxyUsername = QStringLiteral("user");
    Options.proxyPassword = QStringLiteral("pass");
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return !Proxy.requests().isEmpty(); });
    EXPECT_TRUE(Proxy.requests()[0].target.startsWith("http://" + Engine.host() + "/search?"));
    EXPECT_EQ(Proxy.requests()[0].header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
    EXPECT_EQ(Engine.queries().size(), Proxy.requests().size()); // all through the proxy
}
