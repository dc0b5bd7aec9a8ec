// The bot limit of the run objects: the window's 100 unless a front end
// sets more, with every bot's page kept apart from the others' at any bot
// number.
#include "analyser/CheckRun.h"
#include "leecher/SiteRun.h"
#include "settings/Options.h"
#include "support/AnalyserPrinters.h"
#include "support/EventLoop.h"
#include "support/JudgePeer.h"
#include "support/OriginServer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

using testsupport::Script;
using testsupport::waitUntil;

TEST(BotLimit, SiteRunsStartUpToTheLimitAndKeepEachBotsPage)
{
    constexpr int Sites = 200;
    testsupport::OriginServer Server;
    // Each page names a proxy of its own, in two pieces, so that the pages of
    // many bots are collected side by side.
    Server.setResponder([](const testsupport::HttpRequest &R) {
        const QByteArray I = R.target.mid(1);
        return Script()
            .send("HTTP/1.0 200 OK\r\n\r\n<td>10.1." + I + ".")
            .wait(20)
            .send(I + ":8080</td>");
    });
    leecher::TSiteList List;
    for (int I = 0; I < Sites; ++I)
        List.push_back({Server.url('/' + QByteArray::number(I)), {}, 0, leecher::ssIdle});
    leecher::TProxyList Proxies;
    settings::TOptionValues Options;
    Options.writeFile = false;
    leecher::TRunInputValues Inputs;
    Inputs.bots = 4096;
    QTemporaryDir Dir;
    leecher::TSiteRun Run(List, Proxies, Options, Inputs, Dir.path());

    // The window's limit: the slider's 100 at most.
    EXPECT_EQ(Run.BotLimit(), 100);
    ASSERT_TRUE(Run.StartLeech());
    EXPECT_EQ(Run.BotCount(), 100);
    ASSERT_TRUE(waitUntil([&] { return !Run.IsRunning(); }, 20000));

    Run.SetBotLimit(100000);
    EXPECT_EQ(Run.BotLimit(), leecher::TSiteRun::MaxBotLimit);
    Run.SetBotLimit(Sites);
    Proxies.clear();
    ASSERT_TRUE(Run.StartLeech());
    EXPECT_EQ(Run.BotCount(), Sites);
    ASSERT_TRUE(waitUntil([&] { return !Run.IsRunning(); }, 20000));
    std::set<QByteArray> Found;
    for (const leecher::TProxyItem &P : Proxies)
        Found.insert(P.Host.toByteArray() + ':' + P.Port.toByteArray());
    ASSERT_EQ(Found.size(), size_t(Sites));
    for (int I = 0; I < Sites; ++I) {
        const QByteArray N = QByteArray::number(I);
        EXPECT_TRUE(Found.count("10.1." + N + '.' + N + ":8080")) << I;
    }
}

TEST(BotLimit, CheckRunsStartUpToTheLimit)
{
    constexpr int Entries = 150;
    // The judge itself stands in for every proxy: it answers the proxied
    // request with its page.
    testsupport::JudgePeer Judge;
    analyser::TAnalyserList List;
    for (int I = 0; I < Entries; ++I)
        List.push_back({"127.0.0.1", QByteArray::number(Judge.port())});
    analyser::TCheckRunState State;
    analyser::TCheckInputValues Inputs;
    Inputs.bots = 4096;
    Inputs.judgeURL = QString::fromLatin1(Judge.url("/judge.cgi"));
    Inputs.ownAddress = QStringLiteral("192.0.2.1");
    analyser::TCheckRun Run(List, State, Inputs);

    ASSERT_TRUE(Run.Start());
    EXPECT_EQ(Run.BotCount(), 100);
    ASSERT_TRUE(waitUntil([&] { return !Run.IsRunning(); }, 20000));

    Run.SetBotLimit(Entries);
    ASSERT_TRUE(Run.Start());
    EXPECT_EQ(Run.BotCount(), Entries);
    ASSERT_TRUE(waitUntil([&] { return !Run.IsRunning(); }, 20000));
    EXPECT_EQ(State.GoodCount, Entries);
    for (const analyser::TProxyItem &E : List) {
        EXPECT_EQ(E.State, analyser::psGood);
        EXPECT_EQ(E.RemoteAddr, "127.0.0.1");
    }
}
