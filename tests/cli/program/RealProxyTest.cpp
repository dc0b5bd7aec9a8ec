// vexo-cli check against real proxies: four tinyproxy set-ups on their own
// loopback addresses and a loopback judge, the program connecting from an
// address of its own that stands for the user's own address, which it learns
// by asking the judge.
#include "CliFixture.h"

#include "InputFiles.h"
#include "ResultFormats.h"
#include "support/AnalyserPrinters.h"
#include "support/JudgePeer.h"
#include "support/Tinyproxy.h"

#include <memory>
#include <vector>

using testsupport::CliRun;
using testsupport::runCli;
using testsupport::Tinyproxy;

namespace {

const QByteArray Own = "127.0.16.26";

struct ProxySetup
{
    const char *Name;
    QByteArray Listen;
    QList<QByteArray> Lines;
    // The record the check must leave.
    QByteArray RemoteAddr, Anonymous, Level, State;
};

} // namespace

class CliRealProxyTest : public CliFixture
{
};

TEST_F(CliRealProxyTest, EachSetupGetsItsWholeRecord)
{
    ASSERT_FALSE(Tinyproxy::program().isEmpty())
        << "tinyproxy is not installed: scripts/setup installs it, this suite needs it";
    const ProxySetup Setups[] = {
        {"no header",
         "127.0.21.21",
         {"DisableViaHeader Yes", "Bind 127.0.21.21"},
         "127.0.21.21",
         "Yes",
         "1",
         "good"},
        {"default Via", "127.0.22.22", {"Bind 127.0.22.22"}, "127.0.22.22", "Yes", "2", "good"},
        {"reveals the client",
         "127.0.23.23",
         {"XTinyproxy Yes", "Bind 127.0.23.23"},
         "127.0.23.23",
         "No",
         "",
         "bad"},
        {"gateway", "127.0.24.24", {"Bind 127.0.25.25"}, "127.0.25.25", "Yes", "2", "good"},
    };
    std::vector<std::unique_ptr<Tinyproxy>> Proxies;
    QByteArray List;
    for (const ProxySetup &S : Setups) {
        Proxies.push_back(std::make_unique<Tinyproxy>(S.Listen, S.Lines));
        ASSERT_TRUE(Proxies.back()->started())
            << S.Name << ": " << Proxies.back()->error().toStdString();
        List += Proxies.back()->address() + "\n";
    }
    Write(QStringLiteral("proxies.txt"), List);

    testsupport::JudgePeer Judge;
    const CliRun R = runCli(
        Command("check", {Path(QStringLiteral("proxies.txt")), QStringLiteral("--judge"),
                          QString::fromLatin1(Judge.url("/judge.cgi")), QStringLiteral("--bind"),
                          QString::fromLatin1(Own), QStringLiteral("--bots"), QStringLiteral("4"),
                          QStringLiteral("--format"), QStringLiteral("json")}));
    ASSERT_TRUE(R.finished);
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    const analyser::TAnalyserList L = cli::ProxiesFromText(R.out, QStringLiteral("output"));
    ASSERT_EQ(L.size(), 4u);
    for (size_t I = 0; I < L.size(); ++I) {
        const ProxySetup &S = Setups[I];
        SCOPED_TRACE(S.Name);
        EXPECT_EQ(L[I].Status, "200 - OK") << Proxies[I]->log().toStdString();
        EXPECT_EQ(cli::ProxyStateName(L[I].State), S.State);
        EXPECT_EQ(L[I].RemoteAddr, S.RemoteAddr);
        EXPECT_EQ(L[I].Anonymous, S.Anonymous);
        EXPECT_EQ(L[I].Level, S.Level);
    }
    EXPECT_TRUE(R.err.contains("[Good=3] [Bad=1] [Timeouts=0] [Retries=0]")) << R.err.toStdString();
}
