// The check run against real proxies: four tinyproxy set-ups on their own
// loopback addresses, a loopback judge, and the run's client connecting from
// an address of its own, which stands for the user's own address. The own
// address is found as the program finds it, by asking the judge directly,
// and the machine's (private) interface addresses are looked for too.
//
// No address is a prefix of another in text, so finding one in a judge page
// never finds another by accident.
#include "analyser/CheckRun.h"
#include "analyser/OwnAddressProbe.h"
#include "support/AnalyserPrinters.h"
#include "support/EventLoop.h"
#include "support/JudgePeer.h"
#include "support/Tinyproxy.h"

#include <gtest/gtest.h>

#include <memory>

using namespace analyser;
using testsupport::Tinyproxy;

namespace {

const QByteArray Own = "127.0.16.26"; // where the run's connections come from

struct ProxySetup
{
    const char *Name;
    QByteArray Listen;
    QList<QByteArray> Lines;
    // The row the check must leave.
    QByteArray RemoteAddr, Anonymous, Level;
    qint32 State;
};

} // namespace

TEST(TinyproxyCheck, EachSetupGetsItsWholeRow)
{
    ASSERT_FALSE(Tinyproxy::program().isEmpty())
        << "tinyproxy is not installed: scripts/setup installs it, this suite needs it";
    const ProxySetup Setups[] = {
        // Sends the request on unchanged from its own address: the judge sees
        // no proxy header at all.
        {"no header",
         "127.0.11.21",
         {"DisableViaHeader Yes", "Bind 127.0.11.21"},
         "127.0.11.21",
         "Yes",
         "1",
         psGood},
        // Adds its Via header: anonymous, but the judge sees a proxy.
        {"default Via", "127.0.12.22", {"Bind 127.0.12.22"}, "127.0.12.22", "Yes", "2", psGood},
        // Names the client in X-Tinyproxy: the page shows the own address.
        {"reveals the client",
         "127.0.13.23",
         {"XTinyproxy Yes", "Bind 127.0.13.23"},
         "127.0.13.23",
         "No",
         "",
         psBad},
        // Goes out from another address than it listens on: a gateway.
        {"gateway", "127.0.14.24", {"Bind 127.0.15.25"}, "127.0.15.25", "Yes", "2", psGood},
    };
    std::vector<std::unique_ptr<Tinyproxy>> Proxies;
    TAnalyserList List;
    for (const ProxySetup &S : Setups) {
        Proxies.push_back(std::make_unique<Tinyproxy>(S.Listen, S.Lines));
        ASSERT_TRUE(Proxies.back()->started())
            << S.Name << ": " << Proxies.back()->error().toStdString();
        List.push_back(TProxyItem{S.Listen, QByteArray::number(Proxies.back()->port())});
    }

    testsupport::JudgePeer Judge;
    TOwnAddressProbe Probe;
    Probe.SetMachineAddress(QStringLiteral("192.168.77.5"));
    Probe.SetLocalAddr(Own);
    ASSERT_TRUE(Probe.Find(Judge.url("/judge.cgi"), QStringLiteral("8")));
    ASSERT_TRUE(testsupport::waitUntil([&] { return !Probe.IsAsking(); }, 10000));
    ASSERT_EQ(Probe.Address(), QString::fromLatin1(Own));

    TCheckRunState State;
    TCheckInputValues Inputs;
    Inputs.bots = 4;
    Inputs.timeout = QStringLiteral("8");
    Inputs.judgeURL = QString::fromLatin1(Judge.url("/judge.cgi"));
    Inputs.ownAddress = Probe.Address();
    Inputs.machineAddresses = {"192.168.77.5", "10.77.0.5"};
    TCheckRun Run(List, State, Inputs);
    Run.SetLocalAddr(Own);
    QString Reply;
    QObject::connect(&Run, &TCheckRun::replyChanged, &Run, [&](const QString &T) { Reply = T; });
    ASSERT_TRUE(Run.Start());
    ASSERT_TRUE(testsupport::waitUntil([&] { return !Run.IsRunning(); }, 30000));

    for (size_t I = 0; I < List.size(); ++I) {
        const ProxySetup &S = Setups[I];
        const TProxyItem &E = List[I];
        SCOPED_TRACE(S.Name);
        EXPECT_EQ(E.Status, "200 - OK") << Proxies[I]->log().toStdString();
        EXPECT_EQ(E.State, S.State);
        EXPECT_EQ(E.RemoteAddr, S.RemoteAddr);
        EXPECT_EQ(E.Anonymous, S.Anonymous);
        EXPECT_EQ(E.Level, S.Level);
        bool Ms = false;
        E.Speed.toByteArray().toUInt(&Ms);
        EXPECT_TRUE(Ms) << E.Speed.toStdString();
    }
    // What each proxy actually sent on (after the probe's direct request).
    ASSERT_EQ(Judge.requests().size(), 5);
    for (const auto &R : Judge.requests()) {
        if (R.peerAddress == "127.0.11.21") {
            EXPECT_FALSE(R.hasHeader("Via"));
        }
        if (R.peerAddress == "127.0.13.23") {
            EXPECT_EQ(R.header("X-Tinyproxy"), Own);
        }
    }
    EXPECT_EQ(State.GoodCount, 3);
    EXPECT_EQ(State.BadCount, 1);
    EXPECT_EQ(State.TimeoutCount, 0);
    EXPECT_EQ(State.RetryCount, 0);
    EXPECT_EQ(Reply, QStringLiteral("[Good=3] [Bad=1] [Timeouts=0] [Retries=0]"));
}
