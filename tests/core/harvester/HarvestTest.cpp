// The search harvest end to end through the run object, against a loopback
// search engine whose results point at loopback list pages; and the pieces it
// is built from: result links, search terms, search addresses, the host
// setting.
#include "harvester/GoogleLinks.h"
#include "harvester/SearchPace.h"
#include "harvester/SearchProfile.h"
#include "harvester/SearchTerms.h"
#include "leecher/SiteRun.h"
#include "lists/FileError.h"
#include "lists/ListFiles.h"
#include "settings/OptionsFile.h"
#include "support/EventLoop.h"
#include "support/RecordingProxy.h"
#include "support/RefusedPort.h"
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
        Ini.WriteString(QStringLiteral("Options"), QStringLiteral("SearchInterval"),
                        QStringLiteral("0"));
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

    // A key of section "Options" for the next harvest.
    void Set(const char *Key, const QString &Value)
    {
        settings::TIniFile(Dir.filePath(QStringLiteral("Options.ini")))
            .WriteString(QStringLiteral("Options"), QString::fromLatin1(Key), Value);
    }
    // Gaps between the arrivals of the engine's queries, in ms.
    std::vector<qint64> Gaps() const
    {
        std::vector<qint64> Out;
        for (qsizetype I = 1; I < Engine.queries().size(); ++I)
            Out.push_back(Engine.queries()[I].at - Engine.queries()[I - 1].at);
        return Out;
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

TEST(HarvestPieces, RefusalBackOffDoublesUntilLinksAndHonoursRetryAfter)
{
    harvester::TSearchPace Pace;
    Pace.Reset(0);
    QStringList Said;
    Pace.OnStatus = [&](const QString &T) { Said << T; };
    const qint64 Minute = 60 * 1000;
    const qint64 Want[] = {Minute / 2, Minute,      2 * Minute, 4 * Minute,
                           8 * Minute, 15 * Minute, 15 * Minute};
    for (qint64 Ms : Want) {
        Pace.Ended(harvester::TSearchOutcome::Refused, QStringLiteral("503 Service Unavailable"));
        EXPECT_EQ(Pace.BackoffMs(), Ms);
    }
    EXPECT_EQ(Said[0], QStringLiteral("Search engine refused (503 Service Unavailable): next "
                                      "search in 30 s"));
    Pace.Ended(harvester::TSearchOutcome::Nothing); // a search without links keeps it
    EXPECT_EQ(Pace.BackoffMs(), 15 * Minute);
    Pace.Ended(harvester::TSearchOutcome::Links);
    EXPECT_EQ(Pace.BackoffMs(), 0);
    Pace.Ended(harvester::TSearchOutcome::Refused, QStringLiteral("x"));
    EXPECT_EQ(Pace.BackoffMs(), Minute / 2); // doubling starts over
    Pace.Ended(harvester::TSearchOutcome::Refused, QStringLiteral("x"), 2000);
    EXPECT_EQ(Pace.BackoffMs(), 2000);

    const QDateTime Now =
        QDateTime::fromString(QStringLiteral("2026-12-09T06:00:00Z"), Qt::ISODate);
    const struct
    {
        QByteArrayList Header;
        std::optional<qint64> Ms;
    } Cases[] = {{{"HTTP/1.1 429 Too Many Requests", "Retry-After: 2"}, 2000},
                 {{"retry-after:120 "}, 120000},
                 {{"Retry-After: 999999999999"}, 3600 * 1000},
                 {{"Retry-After: Wed, 09 Dec 2026 06:01:30 GMT"}, 90000},
                 {{"Retry-After: Wed, 09 Dec 2026 05:00:00 GMT"}, 0},
                 {{"Retry-After: Thu, 10 Dec 2026 06:00:00 GMT"}, 3600 * 1000},
                 {{"Retry-After: soon"}, std::nullopt},
                 {{"Retry-After: -5"}, std::nullopt},
                 {{"Content-Type: text/html"}, std::nullopt}};
    for (const auto &C : Cases)
        EXPECT_EQ(harvester::RetryAfterMs(C.Header, Now), C.Ms) << C.Header.join('|').data();

    EXPECT_TRUE(harvester::IsChallengePage("<form>Please solve this CAPTCHA</form>"));
    EXPECT_TRUE(harvester::IsChallengePage("Our systems have detected unusual traffic"));
    EXPECT_FALSE(harvester::IsChallengePage("<html>No results for your search</html>"));
}

TEST(HarvestPieces, EngineAddressesAndLinkReading)
{
    settings::TSearchSettings S;
    S.Engine = QStringLiteral("searxng");
    S.Host = QStringLiteral("https://searx.example/base/");
    harvester::TSearchEngine E = harvester::MakeSearchEngine(S);
    EXPECT_EQ(E.IntervalMs, 3000);
    EXPECT_EQ(E.Profile->SearchUrl(harvester::TSearchForm::AfterPage, "1.2.3.4:80"),
              "https://searx.example/base/search?q=%221.2.3.4%3A80%22&format=json&pageno=1");
    EXPECT_TRUE(E.Profile->SearchUrl(harvester::TSearchForm::First, "1.2.3.4:80")
                    .endsWith("&pageno=2")); // the same term: the next page
    EXPECT_TRUE(E.Profile->SearchUrl(harvester::TSearchForm::First, "a&b #/+%")
                    .contains("?q=%22a%26b%20%23%2F%2B%25%22&"));
    const QByteArray Json = R"({"results":[{"url":"http://a.example/1"},{"url":"ftp://b/"},
        {"url":"HTTPS://c.example/?x=1&y=2"},{"url":"http://d.example/\r\nX: y"},{"title":"no url"},
        {"url":42}]})";
    EXPECT_EQ(E.Profile->Links(Json),
              (std::deque<QByteArray>{"http://a.example/1", "HTTPS://c.example/?x=1&y=2"}));
    EXPECT_TRUE(E.Profile->Links(R"({"results":[{"url":"http://a/"})").empty()); // cut short

    S.Engine = QStringLiteral("Custom");
    S.Url = QStringLiteral("http://e.example/s?q={query}&start={page}&x=a b");
    S.LinkPattern = QStringLiteral("<a class=\"r\" href=\"([^\"]*)\"");
    S.Interval = QStringLiteral(" 0.25 ");
    E = harvester::MakeSearchEngine(S);
    EXPECT_EQ(E.IntervalMs, 250);
    EXPECT_EQ(E.Profile->SearchUrl(harvester::TSearchForm::First, "1.2.3.4:80"),
              "http://e.example/s?q=%221.2.3.4%3A80%22&start=1&x=a%20b");
    EXPECT_EQ(E.Profile->Links("<a class=\"r\" href=\"http://a.example/?p=1&amp;q=2\">"
                               "<a class=\"r\" href=\"/relative\"><a class=\"r\" href=\"\">"
                               "<a class=\"r\" href=\"https://b.example/\">"),
              (std::deque<QByteArray>{"http://a.example/?p=1&q=2", "https://b.example/"}));
}

TEST_F(HarvestTest, EveryEngineHarvestsTheSamePagesIntoTheSameFiles)
{
    // Links with "&" (written "&amp;" by the custom engine's page).
    const QByteArray A = Engine.url("/a?x=1&y=2"), B = Engine.url("/b");
    Engine.route("/a?x=1&y=2", Page("<td>1.2.3.4:8080</td>"));
    Engine.route("/b", Page("5.6.7.8:3128"));
    Engine.setAnswer([&](const SearchEngine::Query &Q) {
        return SearchEngine::resultsPage(
            Engine.queries().size() == 1 ? QList<QByteArray>{A, B} : QList<QByteArray>{}, Q.form);
    });
    Set("SearchURL", QString::fromLatin1(Engine.url(SearchEngine::CustomPath)));
    Set("SearchLinkPattern", QStringLiteral("<h3><a href=\"([^\"]*)\""));
    QByteArray ClassicLeeched, ClassicProxies;
    for (const char *Profile : {"classic", "searxng", "custom"}) {
        SCOPED_TRACE(Profile);
        Set("SearchEngine", QString::fromLatin1(Profile));
        QFile::remove(Dir.filePath(QStringLiteral("Leeched.ini")));
        QFile::remove(Dir.filePath(QStringLiteral("Proxies.txt")));
        Proxies = {{"9.8.7.6", "3128"}}; // every term is this one
        Engine.forget();
        Finished = 0;
        ASSERT_TRUE(Run->StartGoogle());
        AbortWhen([&] { return Engine.queries().size() >= 3; });
        EXPECT_EQ(Engine.pages(), (QList<QByteArray>{"/a?x=1&y=2", "/b"}));
        const QList<SearchEngine::Query> &Q = Engine.queries();
        for (const SearchEngine::Query &One : Q)
            EXPECT_EQ(One.term, "9.8.7.6:3128");
        if (QByteArrayView(Profile) == "classic") {
            ClassicLeeched = LeechedIni();
            ClassicProxies = File(QStringLiteral("Proxies.txt"));
            EXPECT_EQ(ClassicProxies, "5.6.7.8:3128\r\n9.8.7.6:3128\r\n1.2.3.4:8080\r\n");
        } else {
            EXPECT_EQ(Q[0].form, QByteArrayView(Profile) == "searxng" ? 3 : 4);
            EXPECT_EQ(Q[1].page, 2); // the same term again: the next page
            EXPECT_EQ(LeechedIni(), ClassicLeeched);
            EXPECT_EQ(File(QStringLiteral("Proxies.txt")), ClassicProxies);
        }
    }
}

TEST_F(HarvestTest, SearchesKeepTheIntervalAcrossAllBots)
{
    Inputs.bots = 5;
    Set("SearchInterval", QStringLiteral("0.4"));
    Engine.setAnswer([](const SearchEngine::Query &) { return SearchEngine::resultsPage({}); });
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return Engine.queries().size() >= 6; });
    // A loaded machine makes gaps longer, never shorter; the arrival of one
    // request may lag its departure a little more than the next one's.
    for (qint64 Gap : Gaps())
        EXPECT_GE(Gap, 250);
    EXPECT_TRUE(Status.contains(QStringLiteral("Waiting 1 s for the search engine")))
        << Status.join(u'|').toStdString();
}

TEST_F(HarvestTest, RefusalsHoldEverySearchBack)
{
    // Retry-After in seconds, across two bots.
    Inputs.bots = 2;
    Engine.setAnswer([&](const SearchEngine::Query &) {
        if (Engine.queries().size() == 1)
            return Script::response(429, "Too Many Requests", {"Retry-After: 2"}, "slow down");
        // Unhurried, so that the refusal is read first whichever bot got it.
        return Script().wait(300).send("HTTP/1.0 200 OK\r\n\r\nno results");
    });
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return Engine.queries().size() >= 3; });
    EXPECT_TRUE(Status.contains(
        QStringLiteral("Search engine refused (429 Too Many Requests): next search in 2 s")));
    // The second bot's first search left before the answer; the next one waits.
    EXPECT_GE(Engine.queries()[2].at - Engine.queries()[0].at, 1900);

    // Challenge pages double the back-off; a search with links ends it.
    Inputs.bots = 1;
    Engine.forget();
    Status.clear();
    Finished = 0;
    Run->SearchPace().SetBackoffBase(200);
    Engine.route("/c", Page("1.1.1.1:80"));
    Engine.setAnswer([&](const SearchEngine::Query &) {
        switch (Engine.queries().size()) {
        case 1:
        case 2:
            return Page("<form>Our systems have detected unusual traffic</form>");
        case 3:
            return SearchEngine::resultsPage({Engine.url("/c")});
        case 4:
            return Script::response(503, "Service Unavailable", {}, "<p class=g><a href=x>");
        default:
            return SearchEngine::resultsPage({});
        }
    });
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return Engine.queries().size() >= 5; });
    const std::vector<qint64> G = Gaps();
    EXPECT_GE(G[0], 180);
    EXPECT_GE(G[1], 380);
    EXPECT_GE(G[3], 180);
    EXPECT_EQ(Run->SearchPace().BackoffMs(), 0); // reset by the search with links
    EXPECT_EQ(
        Status.count(QStringLiteral("Search engine refused (challenge page): next search in 1 s")),
        2);
    EXPECT_TRUE(Status.contains(
        QStringLiteral("Search engine refused (503 Service Unavailable): next search in 1 s")));
    EXPECT_EQ(Engine.pages(), QList<QByteArray>{"/c"});
}

TEST_F(HarvestTest, SearchSettingsThatCannotWorkStartNothing)
{
    const struct
    {
        const char *Engine, *Url, *Pattern, *Interval, *Message;
    } Cases[] = {
        {"custom", "", "(x)", "0", "SearchURL is empty"},
        {"custom", "http://e/s?q=", "(x)", "0", "SearchURL has no {query}"},
        {"custom", "ftp://e/{query}", "(x)", "0", "SearchURL must start with http://"},
        {"custom", "http://e/{query}", "", "0", "SearchLinkPattern is empty"},
        {"custom", "http://e/{query}", "href=(\"", "0", "SearchLinkPattern does not compile ("},
        {"custom", "http://e/{query}", "href=[^>]*", "0", "SearchLinkPattern has no group"},
        {"bing", "", "", "0", "SearchEngine is \"bing\": it must be classic, searxng or custom"},
        {"classic", "", "", "3s", "SearchInterval is \"3s\""},
        {"classic", "", "", "-1", "SearchInterval is \"-1\""},
    };
    for (const auto &C : Cases) {
        Set("SearchEngine", QString::fromLatin1(C.Engine));
        Set("SearchURL", QString::fromLatin1(C.Url));
        Set("SearchLinkPattern", QString::fromLatin1(C.Pattern));
        Set("SearchInterval", QString::fromLatin1(C.Interval));
        Status.clear();
        EXPECT_THROW(Run->StartGoogle(), harvester::ESearchSetting) << C.Message;
        ASSERT_EQ(Status.size(), 1);
        EXPECT_TRUE(Status[0].startsWith(QString::fromLatin1(C.Message)))
            << Status[0].toStdString();
        EXPECT_FALSE(Run->IsRunning());
    }
    Set("SearchEngine", QStringLiteral("searxng"));
    Set("SearchHost", QStringLiteral(" "));
    EXPECT_THROW(Run->StartGoogle(), harvester::ESearchSetting);
    EXPECT_TRUE(Status.last().startsWith(QStringLiteral("SearchHost is empty")));
    testsupport::spinFor(50);
    EXPECT_TRUE(Engine.queries().isEmpty());
    EXPECT_TRUE(BotsEnabled.empty());
}

TEST_F(HarvestTest, MalformedAndOversizedJsonAnswersAreFailedSearches)
{
    Set("SearchEngine", QStringLiteral("searxng"));
    Engine.route("/good", Page("7.7.7.7:80"));
    QByteArray Big = R"({"results":[{"url":")" + Engine.url("/big") + R"("}],"pad":")";
    Big += QByteArray(2 * 1024 * 1024, 'x') + "\"}";
    Engine.setAnswer([&](const SearchEngine::Query &) {
        switch (Engine.queries().size()) {
        case 1:
            return Script::response(200, "OK", {},
                                    R"({"results":[{"url":")" + Engine.url("/good") + R"("},)");
        case 2:
            return Script::response(200, "OK", {}, Big);
        case 3:
            return SearchEngine::jsonResults({Engine.url("/good")});
        default:
            return SearchEngine::jsonResults({});
        }
    });
    ASSERT_TRUE(Run->StartGoogle());
    AbortWhen([&] { return Engine.queries().size() >= 4; });
    EXPECT_EQ(Engine.pages(), QList<QByteArray>{"/good"});
    // Neither failed answer gave a link: the page was asked after the third.
    const QString NoLinks = QStringLiteral("No Links were found, Relaunching Bot 1");
    EXPECT_EQ(Status.mid(1, 3),
              (QStringList{NoLinks, NoLinks, QStringLiteral("Leeching Proxies with Bot 1")}));
}

TEST_F(HarvestTest, AnEngineThatRefusesConnectionsIsAskedAtThePace)
{
    testsupport::RefusedPort Refused;
    Set("SearchHost", QString::fromLatin1(Refused.address()));
    Set("SearchInterval", QString()); // the default pace
    Inputs.bots = 5;
    ASSERT_TRUE(Run->StartGoogle());
    testsupport::spinFor(3000);
    // One search at once, the next after 3 s: never a core spinning on it.
    EXPECT_LE(Status.filter(QStringLiteral("No Links were found")).size(), 2)
        << Status.join(u'|').toStdString();
    AbortWhen([] { return true; });
}
