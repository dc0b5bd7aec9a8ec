// The judge behind real proxies: four tinyproxy set-ups on loopback
// addresses of their own, the judge in the test's process, and the client's
// connections coming from an address of their own (the analyser's own
// address). First the level each set-up earns, then a whole check run of
// the analyser against the judge, and against loopback judges of the forms
// that state no level (AZ Environment, httpbin's JSON), which the analyser
// grades itself to the same rows.
#include "ClientToken.h"
#include "JudgeServer.h"
#include "analyser/CheckRun.h"
#include "support/AnalyserPrinters.h"
#include "support/EventLoop.h"
#include "support/JudgePeer.h"
#include "support/RawExchange.h"
#include "support/Tinyproxy.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace analyser;
using testsupport::Tinyproxy;

namespace {

const QByteArray Own = "127.0.26.36";

struct ProxySetup
{
    const char *Name;
    QByteArray Listen;
    QList<QByteArray> Lines;
    // The level with the own address known to the judge, and without.
    char Level, LevelUnknownClient;
    // What the check run leaves in the row.
    QByteArray RemoteAddr, Anonymous, RowLevel;
    qint32 State;
};

const ProxySetup Setups[] = {
    {"elite: no header",
     "127.0.21.31",
     {"DisableViaHeader Yes", "Bind 127.0.21.31"},
     '1',
     '1',
     "127.0.21.31",
     "Yes",
     "1",
     psGood},
    {"default Via",
     "127.0.22.32",
     {"Bind 127.0.22.32"},
     '2',
     '2',
     "127.0.22.32",
     "Yes",
     "2",
     psGood},
    {"X-Tinyproxy names the client",
     "127.0.23.33",
     {"XTinyproxy Yes", "Bind 127.0.23.33"},
     '5',
     '3',
     "127.0.23.33",
     "No",
     "",
     psBad},
    {"gateway: another outgoing address",
     "127.0.24.34",
     {"Bind 127.0.25.35"},
     '2',
     '2',
     "127.0.25.35",
     "Yes",
     "2",
     psGood},
};

std::unique_ptr<judge::TJudgeServer> StartJudge(judge::TJudgeConfig config)
{
    config.Address = QHostAddress(QHostAddress::LocalHost);
    config.Port = 0;
    auto server = std::make_unique<judge::TJudgeServer>(config);
    QString error;
    EXPECT_TRUE(server->Start(&error)) << error.toStdString();
    return server;
}

class TinyproxyJudge : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(Tinyproxy::program().isEmpty())
            << "tinyproxy is not installed: scripts/setup installs it, this suite needs it";
        for (const ProxySetup &s : Setups) {
            FProxies.push_back(std::make_unique<Tinyproxy>(s.Listen, s.Lines));
            ASSERT_TRUE(FProxies.back()->started())
                << s.Name << ": " << FProxies.back()->error().toStdString();
        }
    }

    // A check run of the four set-ups against the judge gives every row.
    void CheckAgainst(const QString &judgeURL);

    std::vector<std::unique_ptr<Tinyproxy>> FProxies;
};

} // namespace

TEST_F(TinyproxyJudge, EachSetupEarnsItsLevel)
{
    judge::TJudgeConfig knows;
    knows.ClientAddresses = {Own};
    const auto knowing = StartJudge(knows);
    const auto unknowing = StartJudge({});
    for (size_t i = 0; i < std::size(Setups); ++i) {
        const ProxySetup &s = Setups[i];
        SCOPED_TRACE(s.Name);
        for (const auto &[judge, level] : {std::pair{knowing.get(), s.Level},
                                           std::pair{unknowing.get(), s.LevelUnknownClient}}) {
            const QByteArray url =
                "http://127.0.0.1:" + QByteArray::number(judge->serverPort()) + "/judge";
            const testsupport::RawAnswer a =
                testsupport::exchange(s.Listen, FProxies[i]->port(),
                                      "GET " + url + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", Own);
            ASSERT_EQ(a.status(), 200) << a.raw.toStdString() << FProxies[i]->log().toStdString();
            EXPECT_EQ(GetLevel(a.body()).Text, QByteArray(1, level));
            EXPECT_EQ(Gateway(a.body()).Text, s.RemoteAddr);
        }
    }
}

TEST_F(TinyproxyJudge, CheckRunGetsEveryRowRight)
{
    // The own address reaches the judge signed in the query, through the
    // proxies, without the page ever showing it.
    judge::TJudgeConfig config;
    config.Secret = "shared by the judge and the analyser";
    const auto judge = StartJudge(config);
    testsupport::JudgePeer az, bin;
    az.setForm(testsupport::JudgeForm::AzEnvironment);
    bin.setForm(testsupport::JudgeForm::Httpbin);
    const QString judges[] = {
        QStringLiteral("http://127.0.0.1:%1/?%2")
            .arg(judge->serverPort())
            .arg(QString::fromLatin1(judge::ClientQuery(config.Secret, Own))),
        QString::fromLatin1(az.url("/")),
        QString::fromLatin1(bin.url("/get?show_env")),
    };
    for (const QString &url : judges) {
        SCOPED_TRACE(url.toStdString());
        CheckAgainst(url);
    }
    EXPECT_EQ(judge->Counts().Pages, 4u);
    EXPECT_EQ(judge->Counts().Forbidden, 0u);
    EXPECT_EQ(judge->Counts().Levels[5], 1u);
}

void TinyproxyJudge::CheckAgainst(const QString &judgeURL)
{
    TAnalyserList list;
    for (size_t i = 0; i < std::size(Setups); ++i)
        list.push_back(TProxyItem{Setups[i].Listen, QByteArray::number(FProxies[i]->port())});
    TCheckRunState state;
    TCheckInputValues inputs;
    inputs.bots = 4;
    inputs.timeout = QStringLiteral("8");
    inputs.judgeURL = judgeURL;
    inputs.ownAddress = QString::fromLatin1(Own);
    TCheckRun run(list, state, inputs);
    run.SetLocalAddr(Own);
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(testsupport::waitUntil([&] { return !run.IsRunning(); }, 30000));

    for (size_t i = 0; i < list.size(); ++i) {
        const ProxySetup &s = Setups[i];
        const TProxyItem &e = list[i];
        SCOPED_TRACE(s.Name);
        EXPECT_EQ(e.Status, "200 - OK") << FProxies[i]->log().toStdString();
        EXPECT_EQ(e.State, s.State);
        EXPECT_EQ(e.RemoteAddr, s.RemoteAddr);
        EXPECT_EQ(e.Anonymous, s.Anonymous);
        EXPECT_EQ(e.Level, s.RowLevel);
    }
    EXPECT_EQ(state.GoodCount, 3);
    EXPECT_EQ(state.BadCount, 1);
}
