// The leech run and the site verification end to end against loopback peers,
// with the wait timer's tick shortened to milliseconds.
#include "leecher/SiteRun.h"
#include "lists/ListFiles.h"
#include "settings/Options.h"
#include "support/EventLoop.h"
#include "support/OriginServer.h"
#include "support/RecordingProxy.h"
#include "support/RefusedPort.h"
#include "support/SocksPeer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace leecher;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::spinFor;
using testsupport::waitUntil;

namespace {

Script Page(const QByteArray &Body)
{
    return Script::response(200, "OK", {"Content-Type: text/html"}, Body);
}

Script Answer(int Status, const QByteArray &Reason)
{
    return Script::response(Status, Reason, {"Content-Length: 0"});
}

// Counts the texts that a view or a label would have shown.
struct Recorder
{
    QStringList Status;
    std::vector<std::pair<int, QString>> Rows; // row index, Status when redrawn
    std::vector<bool> Running;
    QStringList FileErrors;
    int Finished = 0;
    int VerifyStarted = 0;
    int Sorted = 0;
    int Signals = 0;
    qsizetype ProxyCount = -1;
    int Timeouts = 0;
    int Cycles = 0;

    void Clear()
    {
        const int Keep = Signals;
        *this = Recorder();
        Signals = Keep;
    }
    void Attach(TSiteRun &R)
    {
        auto on = [&](auto Signal, auto Fn) {
            QObject::connect(&R, Signal, &R, [this, Fn](auto... Args) {
                ++Signals;
                Fn(Args...);
            });
        };
        on(&TSiteRun::statusChanged, [this](const QString &T) { Status << T; });
        on(&TSiteRun::siteChanged, [this](int I) { Rows.emplace_back(I, QString()); });
        on(&TSiteRun::runningChanged, [this](bool B) { Running.push_back(B); });
        on(&TSiteRun::fileError, [this](const QString &M) { FileErrors << M; });
        on(&TSiteRun::finished, [this] { ++Finished; });
        on(&TSiteRun::verificationStarted, [this] { ++VerifyStarted; });
        on(&TSiteRun::proxyListSorted, [this] { ++Sorted; });
        on(&TSiteRun::proxyCountChanged, [this](qsizetype N) { ProxyCount = N; });
        on(&TSiteRun::timeoutCountChanged, [this](int N) { Timeouts = N; });
        on(&TSiteRun::cycleCountChanged, [this](int N) { Cycles = N; });
        on(&TSiteRun::siteListChanged, [] {});
        on(&TSiteRun::proxyListChanged, [] {});
        on(&TSiteRun::progressChanged, [](int, int) {});
        on(&TSiteRun::abortEnabledChanged, [](bool) {});
    }
};

class SiteRunTest : public ::testing::Test
{
protected:
    SiteRunTest()
    {
        Inputs.bots = 5;
        Run = std::make_unique<TSiteRun>(Sites, Proxies, Options, Inputs, Dir.path());
        Run->SetWaitInterval(50);
        Rec.Attach(*Run);
        // Row redraws also note the status the row shows at that moment.
        QObject::connect(Run.get(), &TSiteRun::siteChanged, Run.get(),
                         [this](int I) { Rec.Rows.back().second = Sites[size_t(I)].Status; });
    }

    void AddSite(const QByteArray &Path, const Script &S)
    {
        Server.route(Path, S);
        Sites.push_back(TSiteItem{Server.url(Path), {}, 0, ssIdle});
    }
    bool WaitFinished(int Ms = 10000)
    {
        return waitUntil([&] { return Rec.Finished > 0; }, Ms);
    }
    // The statuses row I showed, in order.
    QStringList RowTexts(int I) const
    {
        QStringList Out;
        for (const auto &[Row, Text] : Rec.Rows) {
            if (Row == I)
                Out << Text;
        }
        return Out;
    }
    QString ProxiesTxt() const
    {
        QFile F(ProxiesTxtPath(Dir.path()));
        return F.open(QIODevice::ReadOnly) ? QString::fromLatin1(F.readAll()) : QStringLiteral("-");
    }

    QTemporaryDir Dir;
    OriginServer Server;
    TSiteList Sites;
    TProxyList Proxies;
    settings::TOptionValues Options;
    TRunInputValues Inputs;
    std::unique_ptr<TSiteRun> Run;
    Recorder Rec;
};

} // namespace

TEST_F(SiteRunTest, BotsAreTheSmallerOfSliderAndSitesAndTakeSitesInOrder)
{
    const struct
    {
        int Sites, Slider, Bots;
    } Cases[] = {{3, 15, 3}, {20, 2, 2}, {4, 0, 1}, {3, 500, 3}};
    for (const auto &C : Cases) {
        SCOPED_TRACE(testing::Message() << C.Sites << " sites, slider " << C.Slider);
        Sites.clear();
        Proxies.clear();
        Rec.Clear();
        for (int I = 0; I < C.Sites; ++I) {
            const QByteArray N = QByteArray::number(I);
            AddSite("/" + N, Script().wait(5).send("HTTP/1.0 200 OK\r\n\r\n10.0." + N + ".1:8080"));
        }
        Inputs.bots = C.Slider;
        ASSERT_TRUE(Run->StartLeech());
        EXPECT_EQ(Run->BotCount(), C.Bots);
        EXPECT_EQ(Run->LiveClientCount(), C.Bots);
        ASSERT_TRUE(WaitFinished());
        std::vector<int> Order;
        for (const auto &[Row, Text] : Rec.Rows) {
            if (Text == QStringLiteral("Analyzing"))
                Order.push_back(Row);
        }
        ASSERT_EQ(Order.size(), size_t(C.Sites));
        for (int I = 0; I < C.Sites; ++I) {
            EXPECT_EQ(Order[size_t(I)], I);
            EXPECT_EQ(Sites[size_t(I)].State, ssFound);
            EXPECT_EQ(Sites[size_t(I)].Status, QStringLiteral("Found 1 Proxies"));
            EXPECT_EQ(Sites[size_t(I)].BytesRead, 0);
        }
        EXPECT_EQ(Proxies.size(), size_t(C.Sites));
        EXPECT_FALSE(Run->IsRunning());
        EXPECT_EQ(Run->LiveClientCount(), 0);
        EXPECT_EQ(Rec.Running, (std::vector<bool>{true, false}));
    }
    EXPECT_EQ(Run->CycleCount(), 4);
    EXPECT_EQ(Rec.Cycles, 4);
}

TEST_F(SiteRunTest, EachOutcomeIsRecordedInItsRow)
{
    testsupport::RefusedPort Refused;
    AddSite("/found", Page("<td>1.2.3.4:8080</td><td>5.6.7.8:3128</td>"));
    AddSite("/none", Page("no proxies here"));
    AddSite("/missing", Script::response(404, "Not Found", {}, "<html>gone</html>"));
    AddSite("/forbidden", Answer(403, "Forbidden"));
    Sites.push_back(TSiteItem{Refused.url("/"), QStringLiteral("old"), 0, ssFound});
    Sites.push_back(TSiteItem{"http://b\xc3\xbc"
                              "cher.example/",
                              {},
                              0,
                              ssIdle});
    const struct
    {
        TSiteState State;
        const char *Status;
    } Want[] = {{ssFound, "Found 2 Proxies"},
                {ssFetched, "Found 0 Proxies"},
                {ssBad, "404 - Not Found"},
                {ssBad, "403 - Forbidden"},
                {ssBad, "404 - Connection refused (Error #10061)"},
                {ssBad, "404 - Invalid URL"}};

    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished());
    for (size_t I = 0; I < Sites.size(); ++I) {
        EXPECT_EQ(Sites[I].State, Want[I].State) << I;
        EXPECT_EQ(Sites[I].Status, QString::fromLatin1(Want[I].Status)) << I;
    }
    EXPECT_EQ(RowTexts(0).first(), QStringLiteral("Analyzing"));
    EXPECT_TRUE(RowTexts(0).contains(QStringLiteral("Extracting Proxies")));
    EXPECT_EQ(Run->Progress(), 6);
    EXPECT_TRUE(Rec.Status.contains(QStringLiteral("[1 / 6] - 16% Complete")));
    const QStringList Tail =
        Rec.Status.mid(Rec.Status.indexOf(QStringLiteral("[6 / 6] - 100% Complete")));
    EXPECT_EQ(Tail,
              (QStringList{QStringLiteral("[6 / 6] - 100% Complete"), QStringLiteral("Finished"),
                           QStringLiteral("Sorting List"), QStringLiteral("Removing Duplicates"),
                           QStringLiteral("Removed 0 Duplicates")}));
    EXPECT_EQ(ProgressText(1, 3), QStringLiteral("[1 / 3] - 33% Complete"));
    EXPECT_EQ(ProgressText(0, 0), QStringLiteral("[0 / 0] - 0% Complete"));
}

TEST_F(SiteRunTest, StalledPageTimesOutAndItsTextIsNotGivenToTheNextSite)
{
    Inputs.bots = 1;
    Inputs.timeout = QStringLiteral("2"); // 100 ms without data
    AddSite("/stall", Script().send("HTTP/1.0 200 OK\r\n\r\n<p>1.2.3.4:8080</p>").keepOpen());
    AddSite("/next", Page("<p>nothing"));
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Sites[0].State, ssTimeout);
    EXPECT_EQ(Sites[0].Status, QStringLiteral("Timeout"));
    EXPECT_TRUE(RowTexts(0).contains(QStringLiteral("19 bytes downloaded")))
        << RowTexts(0).join(u'|').toStdString();
    EXPECT_EQ(Sites[1].Status, QStringLiteral("Found 0 Proxies"));
    EXPECT_TRUE(Proxies.empty());
    EXPECT_EQ(Run->TimeoutCount(), 1);
    EXPECT_EQ(Rec.Timeouts, 1);
    EXPECT_EQ(Server.requests().size(), 2); // not repeated without the option
}

TEST_F(SiteRunTest, SlowSiteThatKeepsSendingNeverTimesOut)
{
    Inputs.timeout = QStringLiteral("4"); // 200 ms without data; the page takes about 600
    AddSite("/slow", Script()
                         .send("HTTP/1.0 200 OK\r\n\r\n")
                         .sendInPieces(QByteArray(190, 'x') + " 9.9.9.9:3128", 10, 30));
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Sites[0].State, ssFound);
    EXPECT_EQ(Run->TimeoutCount(), 0);
    EXPECT_GT(RowTexts(0).filter(QStringLiteral("bytes downloaded")).size(), 10);
}

TEST_F(SiteRunTest, EmptyOkAndTimeoutsAreRepeatedButNotAfterAbort)
{
    Options.retryTimeout = true;
    Inputs.timeout = QStringLiteral("2");
    int Calls = 0;
    // First an empty 200, then a stall, then the page.
    Server.setResponder([&](const testsupport::HttpRequest &R) {
        if (R.target != "/flaky")
            return Script().send("HTTP/1.0 200 OK\r\n\r\n").keepOpen(); // stalls for ever
        ++Calls;
        if (Calls == 1)
            return Script::response(200, "OK", {});
        if (Calls == 2)
            return Script().send("HTTP/1.0 200 OK\r\n\r\n").keepOpen();
        return Page("1.2.3.4:80");
    });
    Sites.push_back(TSiteItem{Server.url("/flaky"), {}, 0, ssIdle});
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Calls, 3);
    EXPECT_EQ(RowTexts(0).count(QStringLiteral("Retrying")), 2);
    EXPECT_EQ(Sites[0].State, ssFound);
    EXPECT_EQ(Run->Progress(), 1); // a repeat does not advance the gauge

    // A site that never answers: after Abort its time-out ends the run.
    Sites = {TSiteItem{Server.url("/never"), {}, 0, ssIdle},
             TSiteItem{Server.url("/later"), {}, 0, ssIdle}};
    Inputs.bots = 1;
    Rec.Finished = 0;
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(waitUntil([&] { return Run->TimeoutCount() >= 3; })); // repeated at least once
    Run->Abort();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Sites[0].State, ssTimeout);
    EXPECT_EQ(Sites[0].Status, QStringLiteral("Timeout"));
    EXPECT_EQ(Sites[1].Status, QString()); // never handed out
}

TEST_F(SiteRunTest, AbortRecordsWhatIsUnderWayAndEndsTheRun)
{
    Inputs.bots = 2;
    for (int I = 0; I < 5; ++I)
        AddSite("/" + QByteArray::number(I),
                Script().wait(150).send("HTTP/1.0 200 OK\r\n\r\n1.1.1." + QByteArray::number(I) +
                                        ":80"));
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(waitUntil([&] { return Server.requests().size() == 2; }));
    Run->Abort();
    EXPECT_TRUE(Run->IsRunning());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Sites[0].State, ssFound);
    EXPECT_EQ(Sites[1].State, ssFound);
    for (size_t I = 2; I < 5; ++I) {
        EXPECT_EQ(Sites[I].State, ssIdle);
        EXPECT_EQ(Sites[I].Status, QString());
    }
    EXPECT_EQ(Server.requests().size(), 2);
    EXPECT_EQ(Rec.Status.mid(Rec.Status.indexOf(QStringLiteral("Finished"))),
              (QStringList{QStringLiteral("Finished"), QStringLiteral("Sorting List"),
                           QStringLiteral("Removing Duplicates"),
                           QStringLiteral("Removed 0 Duplicates")}));
    EXPECT_EQ(ProxiesTxt(), QStringLiteral("1.1.1.0:80\r\n1.1.1.1:80\r\n"));
}

TEST_F(SiteRunTest, VerificationAsksWithHeadAndKeepsEarlierTimeouts)
{
    for (const bool Retry : {false, true}) {
        SCOPED_TRACE(Retry ? "retry time-outs" : "no retry");
        Options.retryTimeout = Retry;
        Sites.clear();
        Rec.Finished = 0;
        const int CyclesBefore = Run->CycleCount();
        AddSite("/ok", Answer(200, "OK"));
        AddSite("/nohead", Answer(405, "Method Not Allowed"));
        AddSite("/gone", Answer(404, "Not Found"));
        AddSite("/missing", Answer(404, "Not Found"));
        Sites[2].State = ssTimeout; // from an earlier run
        Sites[3].State = ssFound;
        const auto RequestsBefore = Server.requests().size();

        ASSERT_TRUE(Run->StartVerify());
        ASSERT_TRUE(WaitFinished());
        EXPECT_EQ(Sites[0].Status, QStringLiteral("200 - OK"));
        EXPECT_EQ(Sites[0].State, ssFetched);
        EXPECT_EQ(Sites[1].Status, QStringLiteral("405 - Method Not Allowed"));
        EXPECT_EQ(Sites[1].State, ssBad);
        EXPECT_EQ(Sites[2].Status,
                  Retry ? QStringLiteral("404 - Not Found") : QStringLiteral("Timeout"));
        EXPECT_EQ(Sites[2].State, Retry ? ssBad : ssTimeout);
        EXPECT_EQ(Sites[3].Status, QStringLiteral("404 - Not Found"));
        EXPECT_EQ(Sites[3].State, ssBad);
        EXPECT_EQ(Server.requests().size() - RequestsBefore, Retry ? 5 : 4);
        for (auto I = RequestsBefore; I < Server.requests().size(); ++I)
            EXPECT_EQ(Server.requests()[I].method, "HEAD");
        EXPECT_EQ(Run->CycleCount(), CyclesBefore);
        EXPECT_EQ(Rec.Status.last(), QStringLiteral("Finished")); // no proxies: no file step
    }
    EXPECT_EQ(Rec.VerifyStarted, 2);
    EXPECT_FALSE(QFile::exists(ProxiesTxtPath(Dir.path())));
}

TEST_F(SiteRunTest, EndOfRunRemovesDuplicatesAndWritesProxiesTxt)
{
    AddSite("/a", Page("1.2.3.4:8080 5.6.7.8:80"));
    AddSite("/b", Page("5.6.7.8:80 1.2.3.4:8080 1.2.3.4:080"));
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Rec.Status.mid(Rec.Status.indexOf(QStringLiteral("Finished"))),
              (QStringList{QStringLiteral("Finished"), QStringLiteral("Sorting List"),
                           QStringLiteral("Removing Duplicates"),
                           QStringLiteral("Removed 2 Duplicates")}));
    EXPECT_EQ(ProxiesTxt(), QStringLiteral("1.2.3.4:080\r\n5.6.7.8:80\r\n1.2.3.4:8080\r\n"));
    EXPECT_EQ(Rec.ProxyCount, 3);
    EXPECT_EQ(Rec.Sorted, 1);
    EXPECT_TRUE(Rec.FileErrors.isEmpty());

    // A folder that cannot take the file: the run still ends, then reports it.
    TSiteRun Broken(Sites, Proxies, Options, Inputs, Dir.filePath(QStringLiteral("missing/dir")));
    Recorder R2;
    R2.Attach(Broken);
    ASSERT_TRUE(Broken.StartLeech());
    ASSERT_TRUE(waitUntil([&] { return !R2.FileErrors.isEmpty(); }));
    EXPECT_EQ(R2.Finished, 1);
    EXPECT_FALSE(Broken.IsRunning());
    EXPECT_EQ(Proxies.size(), 3u); // cleaned before the write failed
}

TEST_F(SiteRunTest, EmptyProxyListWritesNothing)
{
    QFile Old(ProxiesTxtPath(Dir.path()));
    ASSERT_TRUE(Old.open(QIODevice::WriteOnly));
    Old.write("old\r\n");
    Old.close();
    AddSite("/a", Page("nothing"));
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Rec.Status.last(), QStringLiteral("Finished"));
    EXPECT_EQ(ProxiesTxt(), QStringLiteral("old\r\n"));
    EXPECT_EQ(Rec.ProxyCount, -1);
}

TEST_F(SiteRunTest, OversizedPageIsAbortedAndTheRunGoesOn)
{
    EXPECT_EQ(Run->PageLimit(), qint64(64) * 1024 * 1024);
    Run->SetPageLimit(64 * 1024);
    Inputs.bots = 1;
    AddSite("/huge", Script()
                         .send("HTTP/1.0 200 OK\r\n\r\n1.2.3.4:80 ")
                         .sendInPieces(QByteArray(1 << 20, 'x'), 16384, 0));
    AddSite("/small", Page("5.6.7.8:3128"));
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Sites[0].State, ssBad);
    EXPECT_EQ(Sites[0].Status, QStringLiteral("404 - Connection aborted on request"));
    EXPECT_EQ(Sites[1].State, ssFound);
    ASSERT_EQ(Proxies.size(), 1u);
    EXPECT_EQ(Proxies[0].Host, "5.6.7.8");
}

TEST_F(SiteRunTest, RunsNeverOverlapAndEmptyListStartsNothing)
{
    EXPECT_FALSE(Run->StartLeech());
    EXPECT_FALSE(Run->StartVerify());
    EXPECT_EQ(Rec.Signals, 0);
    EXPECT_EQ(Run->CycleCount(), 0);

    AddSite("/a", Script().wait(100).send("HTTP/1.0 200 OK\r\n\r\n1.2.3.4:80"));
    Inputs.timeout.clear();
    ASSERT_TRUE(Run->StartLeech());
    EXPECT_EQ(Inputs.timeout, QStringLiteral("8"));
    EXPECT_FALSE(Run->StartLeech());
    EXPECT_FALSE(Run->StartVerify());
    EXPECT_EQ(Run->BotCount(), 1);
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Run->CycleCount(), 1);
    EXPECT_EQ(Server.requests().size(), 1);
    EXPECT_EQ(Rec.VerifyStarted, 0);
    ASSERT_TRUE(Run->StartLeech()); // idle again
    EXPECT_EQ(Run->CycleCount(), 2);
    ASSERT_TRUE(waitUntil([&] { return Rec.Finished == 2; }));
}

TEST_F(SiteRunTest, FailedAutomationStepUndoesTheStart)
{
    struct Throwing : TRunInputValues
    {
        void LeechStartAutomation() override
        {
            throw std::runtime_error("'x' is not a valid integer value");
        }
    } In;
    TSiteRun R(Sites, Proxies, Options, In, Dir.path());
    Recorder Rc;
    Rc.Attach(R);
    AddSite("/a", Page("1.2.3.4:80"));
    EXPECT_THROW(R.StartLeech(), std::runtime_error);
    EXPECT_FALSE(R.IsRunning());
    EXPECT_EQ(Rc.Running, (std::vector<bool>{true, false}));
    EXPECT_EQ(R.BotCount(), 0);
    EXPECT_EQ(R.CycleCount(), 0);
    spinFor(50);
    EXPECT_EQ(Server.requests().size(), 0);
}

TEST_F(SiteRunTest, ProxySettingsAreReadAtStart)
{
    testsupport::RecordingProxy Proxy;
    AddSite("/p", Page("1.2.3.4:80"));
    Options.useProxy = true;
    Options.proxy = QString::fromLatin1(Proxy.address());
    Options.proxyAuth = true;
    Options.proxyUsername = QStringLiteral("user");
    Options.proxyPassword = QStringLiteral("pass");
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished());
    ASSERT_EQ(Proxy.requests().size(), 1);
    EXPECT_EQ(Proxy.requests()[0].target, Server.url("/p"));
    EXPECT_EQ(Proxy.requests()[0].header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
    EXPECT_EQ(Sites[0].State, ssFound);

    Options.proxy = QStringLiteral("no-colon"); // no proxy host: direct
    Rec.Finished = 0;
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(Proxy.requests().size(), 1);
    EXPECT_EQ(Server.requests().last().target, "/p");

    // A SOCKS5 address: the credentials go to the SOCKS proxy, none to the site.
    testsupport::SocksPeer Socks;
    Socks.requirePassword("user", "pass");
    Options.proxy = QStringLiteral("SOCKS5://127.0.0.1:") + QString::number(Socks.port());
    Rec.Finished = 0;
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished());
    ASSERT_EQ(Socks.requests().size(), 1);
    EXPECT_EQ(Socks.requests()[0].user, "user");
    EXPECT_EQ(Socks.requests()[0].port, Server.port());
    EXPECT_FALSE(Server.requests().last().hasHeader("Proxy-Authorization"));
    EXPECT_EQ(Sites[0].State, ssFound);
}

TEST(SiteRunShutdown, StopsEveryClientAndNothingReachesTheListsAfterwards)
{
    QTemporaryDir Dir;
    OriginServer Server;
    Server.setDefault(
        Script().send("HTTP/1.0 200 OK\r\n\r\n").sendInPieces(QByteArray(4000, 'y'), 100, 10));
    auto Sites = std::make_unique<TSiteList>();
    auto Proxies = std::make_unique<TProxyList>();
    for (int I = 0; I < 8; ++I)
        Sites->push_back(TSiteItem{Server.url("/" + QByteArray::number(I)), {}, 0, ssIdle});
    settings::TOptionValues Options;
    TRunInputValues Inputs;
    Inputs.bots = 4;
    Inputs.timeout = QStringLiteral("1");
    TSiteRun Run(*Sites, *Proxies, Options, Inputs, Dir.path());
    // An idle timeout far above the 10 ms between pieces, so that a loaded
    // machine cannot time the first site out before it is seen receiving.
    Run.SetWaitInterval(1000);
    Recorder Rec;
    Rec.Attach(Run);
    ASSERT_TRUE(Run.StartLeech());
    ASSERT_TRUE(waitUntil([&] { return (*Sites)[0].State == ssReceiving; }));
    Run.Shutdown();
    EXPECT_FALSE(Run.IsRunning());
    EXPECT_EQ(Run.LiveClientCount(), 0);
    const int SignalsBefore = Rec.Signals;
    Sites.reset(); // the window frees its lists
    Proxies.reset();
    spinFor(200); // data and timer ticks would arrive now
    EXPECT_EQ(Rec.Signals, SignalsBefore);
    EXPECT_EQ(Rec.Finished, 0);
    EXPECT_FALSE(QFile::exists(ProxiesTxtPath(Dir.path())));
}

TEST_F(SiteRunTest, TheFileStepCleansACopyWhileTheShownListStaysAsItWas)
{
    // Many proxies from earlier runs, so that the step takes a while.
    for (int i = 0; i < 200000; ++i)
        Proxies.push_back(
            {"10.0." + QByteArray::number(i % 1000) + ".1", QByteArray::number(i % 3000 + 21)});
    AddSite("/a", Page("1.2.3.4:8080"));
    std::vector<bool> locks;
    size_t shownWhileSorting = 0;
    bool runningWhileSorting = false;
    QObject::connect(Run.get(), &TSiteRun::proxyListLocked, Run.get(),
                     [&](bool Locked) { locks.push_back(Locked); });
    QObject::connect(Run.get(), &TSiteRun::statusChanged, Run.get(), [&](const QString &T) {
        if (T == QStringLiteral("Removing Duplicates")) {
            shownWhileSorting = Proxies.size();
            runningWhileSorting = Run->IsRunning();
        }
    });

    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(WaitFinished(30000));
    EXPECT_EQ(locks, (std::vector<bool>{true, false}));
    EXPECT_EQ(shownWhileSorting, 200001u); // the window's list is untouched meanwhile
    EXPECT_TRUE(runningWhileSorting);
    EXPECT_EQ(Proxies.size(), 3001u); // 1000 hosts x 3000 ports repeat every 3000 entries
    EXPECT_EQ(Rec.Status.mid(Rec.Status.size() - 4),
              (QStringList{QStringLiteral("Finished"), QStringLiteral("Sorting List"),
                           QStringLiteral("Removing Duplicates"),
                           QStringLiteral("Removed 197000 Duplicates")}));
    EXPECT_EQ(Rec.ProxyCount, 3001);
    EXPECT_EQ(Rec.Sorted, 1);
    EXPECT_EQ(ProxiesTxt().count(QLatin1Char('\n')), 3001);
}

TEST_F(SiteRunTest, ShutdownDuringTheFileStepDropsItsResult)
{
    for (int i = 0; i < 200000; ++i)
        Proxies.push_back(
            {"10.0.0." + QByteArray::number(i % 250), QByteArray::number(i % 4000 + 21)});
    AddSite("/a", Page("1.2.3.4:8080"));
    QObject::connect(Run.get(), &TSiteRun::statusChanged, Run.get(), [&](const QString &T) {
        if (T == QStringLiteral("Sorting List"))
            Run->Shutdown(); // the window closes while the list is being cleaned
    });
    ASSERT_TRUE(Run->StartLeech());
    ASSERT_TRUE(waitUntil([&] { return !Run->IsRunning(); }, 30000));
    const int signalsAfter = Rec.Signals;
    spinFor(100);
    EXPECT_EQ(Rec.Signals, signalsAfter); // nothing more arrives
    EXPECT_EQ(Rec.Finished, 0);
    EXPECT_EQ(Proxies.size(), 200001u); // the shown list was never replaced
    // The file is whole: the step finished writing it before the shutdown returned.
    EXPECT_EQ(ProxiesTxt().count(QLatin1Char('\n')), 4001);
}
