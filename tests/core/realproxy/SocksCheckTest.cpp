// The check run through SOCKS proxies against the loopback judge: each row
// through its type (dante in versions 4 and 5, microsocks in 5), and type
// detection finding each type, a dead row keeping its HTTP outcome.
#include "analyser/CheckRun.h"
#include "support/AnalyserPrinters.h"
#include "support/EventLoop.h"
#include "support/JudgePeer.h"
#include "support/ServerProcess.h"
#include "support/SocksDaemon.h"
#include "support/SocksPeer.h"
#include "support/Tinyproxy.h"

#include <gtest/gtest.h>

using namespace analyser;
using testsupport::SocksDaemon;
using TKind = SocksDaemon::TKind;

namespace {

const QByteArray Own = "127.0.16.27"; // where the run's connections come from

TProxyItem Row(const QByteArray &Host, quint16 Port, net::TProxyType Type = net::ptHttp)
{
    TProxyItem P{Host, QByteArray::number(Port)};
    P.Type = Type;
    return P;
}

void Check(TAnalyserList &List, const testsupport::JudgePeer &Judge, bool Detect)
{
    TCheckRunState State;
    TCheckInputValues Inputs;
    Inputs.bots = 3;
    Inputs.judgeURL = QString::fromLatin1(Judge.url("/judge.cgi"));
    Inputs.ownAddress = QString::fromLatin1(Own);
    Inputs.machineAddresses = {"192.168.77.5"};
    Inputs.detectType = Detect;
    TCheckRun Run(List, State, Inputs);
    Run.SetLocalAddr(Own);
    ASSERT_TRUE(Run.Start());
    ASSERT_TRUE(testsupport::waitUntil([&] { return !Run.IsRunning(); }, 60000));
}

// What an elite proxy earns: the judge sees the proxy's address and no header.
void ExpectElite(const TProxyItem &E, const QByteArray &RemoteAddr)
{
    EXPECT_EQ(E.Status, "200 - OK");
    EXPECT_EQ(E.State, psGood);
    EXPECT_EQ(E.RemoteAddr, RemoteAddr);
    EXPECT_EQ(E.Anonymous, "Yes");
    EXPECT_EQ(E.Level, "1");
}

} // namespace

TEST(SocksCheck, EachRowThroughItsType)
{
    SocksDaemon Dante(TKind::Dante, "127.0.22.5");
    ASSERT_TRUE(Dante.started()) << Dante.error().toStdString();
    SocksDaemon Micro(TKind::Microsocks, "127.0.22.6");
    ASSERT_TRUE(Micro.started()) << Micro.error().toStdString();
    testsupport::JudgePeer Judge;
    TAnalyserList List{Row(Dante.host(), Dante.port(), net::ptSocks4),
                       Row(Dante.host(), Dante.port(), net::ptSocks5),
                       Row(Micro.host(), Micro.port(), net::ptSocks5),
                       // An HTTP check of a SOCKS server brings no page.
                       Row(Micro.host(), Micro.port(), net::ptHttp)};
    Check(List, Judge, false);
    for (size_t I = 0; I < 3; ++I) {
        SCOPED_TRACE(I);
        ExpectElite(List[I], "127.0.0.1");
    }
    EXPECT_EQ(List[3].State, psBad);
    EXPECT_EQ(List[3].Type, net::ptHttp);
}

TEST(SocksCheck, DetectionFindsEachType)
{
    testsupport::Tinyproxy Http("127.0.22.7", {"DisableViaHeader Yes", "Bind 127.0.22.7"});
    ASSERT_TRUE(Http.started()) << Http.error().toStdString();
    SocksDaemon Micro(TKind::Microsocks, "127.0.22.8");
    ASSERT_TRUE(Micro.started()) << Micro.error().toStdString();
    testsupport::SocksPeer Only4;
    Only4.onlyVersion4();
    testsupport::JudgePeer Judge;
    const quint16 Dead = testsupport::freePort("127.0.0.1");
    TAnalyserList List{Row(Http.host(), Http.port()), Row(Micro.host(), Micro.port()),
                       Row(Only4.host(), Only4.port(), net::ptSocks5), Row("127.0.0.1", Dead)};
    Check(List, Judge, true);
    ExpectElite(List[0], "127.0.22.7");
    EXPECT_EQ(List[0].Type, net::ptHttp);
    ExpectElite(List[1], "127.0.0.1");
    EXPECT_EQ(List[1].Type, net::ptSocks5);
    ExpectElite(List[2], "127.0.0.1");
    EXPECT_EQ(List[2].Type, net::ptSocks4);
    // No type reached the judge: the HTTP attempt's outcome stands.
    EXPECT_EQ(List[3].Type, net::ptHttp);
    EXPECT_EQ(List[3].State, psBad);
    EXPECT_EQ(List[3].Status, "404 - Connection refused (Error #10061)");
}
