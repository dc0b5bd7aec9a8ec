// vexo-cli merge: check results keep one row per proxy, the latest check
// winning; leech results come out cleaned as at the end of a leech run; bad
// or mixed input is refused naming the file and the line.
#include "CliFixture.h"

#include "InputFiles.h"

using testsupport::CliRun;
using testsupport::runCli;

namespace {

class MergeCommandTest : public CliFixture
{
protected:
    CliRun Merge(const QStringList &Files, const QStringList &More = {}) const
    {
        QStringList Arguments{QStringLiteral("merge")};
        for (const QString &F : Files)
            Arguments << Path(F);
        return runCli(Arguments + More);
    }
};

const QByteArray Header = "host,port,status,state,gateway,anonymous,level,speed,type,checked_at\n";

} // namespace

TEST_F(MergeCommandTest, TheLatestCheckOfEachProxyWins)
{
    Write(QStringLiteral("a.csv"),
          Header + "10.0.0.1,80,200 - OK,good,10.0.0.1,Yes,3,12,http,2026-12-09T10:00:00Z\n"
                   "10.0.0.2,80,Timeout,timeout,,,,,http,2026-12-09T10:00:00Z\n"
                   "10.0.0.3,80,Timeout,timeout,,,,,http,\n"
                   "10.0.0.4,1080,Timeout,timeout,,,,,socks5,2026-12-09T10:00:00Z\n");
    // The same proxies checked again: the first earlier (an older file named
    // last), the second later, the third without a time (the last file
    // wins); "PROXY" and port 080 name the same proxy; a SOCKS4 proxy at the
    // SOCKS5 one's address is another proxy.
    Write(QStringLiteral("b.json"),
          "{\"host\":\"10.0.0.1\",\"port\":\"80\",\"status\":\"Timeout\",\"state\":\"timeout\","
          "\"checked_at\":\"2026-12-09T09:00:00Z\"}\n"
          "{\"host\":\"10.0.0.2\",\"port\":\"080\",\"status\":\"200 - OK\",\"state\":\"good\","
          "\"checked_at\":\"2026-12-09T11:00:00+01:00\"}\n"
          "{\"host\":\"10.0.0.3\",\"port\":\"80\",\"status\":\"200 - OK\",\"state\":\"good\"}\n"
          "{\"host\":\"10.0.0.4\",\"port\":\"1080\",\"state\":\"good\",\"type\":\"socks4\"}\n");
    const CliRun R = Merge({QStringLiteral("a.csv"), QStringLiteral("b.json")},
                           {QStringLiteral("--format"), QStringLiteral("csv")});
    ASSERT_EQ(R.exitCode, 0) << R.err.toStdString();
    const analyser::TAnalyserList L = cli::ProxiesFromText(R.out, QStringLiteral("merged"));
    ASSERT_EQ(L.size(), 5u);
    EXPECT_EQ(L[0].State, analyser::psGood);
    EXPECT_EQ(L[0].Speed, "12");
    // 11:00 at +01:00 is 10:00 UTC: the same moment, and the later file wins a tie.
    EXPECT_EQ(L[1].State, analyser::psGood);
    EXPECT_EQ(L[1].Port, "080");
    EXPECT_EQ(L[2].State, analyser::psGood);
    EXPECT_EQ(L[3].Type, net::ptSocks5);
    EXPECT_EQ(L[4].Type, net::ptSocks4);

    // Merging the merged file with itself changes nothing.
    Write(QStringLiteral("m.csv"), R.out);
    EXPECT_EQ(Merge({QStringLiteral("m.csv"), QStringLiteral("m.csv")},
                    {QStringLiteral("--format"), QStringLiteral("csv")})
                  .out,
              R.out);
}

TEST_F(MergeCommandTest, LeechResultsAreCleanedAsAtTheEndOfALeech)
{
    Write(QStringLiteral("0.txt"), "10.0.0.9:8080\r\n10.0.0.1:3128\r\n");
    Write(QStringLiteral("1.csv"), "host,port\n10.0.0.1,3128\n10.0.0.2,80\n");
    Write(QStringLiteral("2.json"), "{\"host\":\"10.0.0.3\",\"port\":\"8080\"}\n");
    Write(QStringLiteral("3.txt"), ""); // an empty shard
    const CliRun R = Merge({QStringLiteral("0.txt"), QStringLiteral("1.csv"),
                            QStringLiteral("2.json"), QStringLiteral("3.txt")});
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    EXPECT_EQ(R.out, "10.0.0.2:80\n10.0.0.1:3128\n10.0.0.3:8080\n10.0.0.9:8080\n");
    // Only empty files: nothing found.
    EXPECT_EQ(Merge({QStringLiteral("3.txt")}).exitCode, 3);
}

TEST_F(MergeCommandTest, BadOrMixedInputNamesTheFileAndLine)
{
    Write(QStringLiteral("check.csv"), Header + "10.0.0.1,80,,good,,,,,http,\n");
    Write(QStringLiteral("leech.txt"), "10.0.0.1:80\n");
    Write(QStringLiteral("bad.csv"), Header + "10.0.0.1,80,,splendid,,,,,http,\n");
    Write(QStringLiteral("bad.txt"), "10.0.0.1:80\nnot a proxy\n");
    const struct
    {
        QStringList Files;
        const char *Message;
    } Cases[] = {
        {{QStringLiteral("check.csv"), QStringLiteral("leech.txt")},
         "Cannot merge \"%1/leech.txt\": line 1 begins results of leech, but "
         "\"%1/check.csv\" holds results of check."},
        {{QStringLiteral("check.csv"), QStringLiteral("bad.csv")},
         "Cannot use file \"%1/bad.csv\". Line 2 is not a result of check"},
        {{QStringLiteral("bad.txt")},
         "Cannot use file \"%1/bad.txt\". Line 2 is not a result of leech"},
        {{QStringLiteral("missing.csv")}, "Cannot open file \"%1/missing.csv\""},
    };
    for (const auto &C : Cases) {
        const CliRun R = Merge(C.Files, {QStringLiteral("--output"), Path(QStringLiteral("o"))});
        EXPECT_EQ(R.exitCode, 1);
        EXPECT_TRUE(
            QString::fromUtf8(R.err).contains(QString::fromLatin1(C.Message).arg(Dir.path())))
            << R.err.toStdString();
        EXPECT_FALSE(Exists(QStringLiteral("o")));
    }
    EXPECT_EQ(runCli({QStringLiteral("merge")}).exitCode, 1);
}
