// vexo-cli and the check history end to end: figures and locations after
// runs against proxies whose answers change, the listing's filters, skipped
// recent checks, import, and a history that survives kill -9 and two
// writers at once.
#include "CliFixture.h"

#include "InputFiles.h"
#include "ResultFormats.h"
#include "support/JudgePeer.h"
#include "support/LocationDbs.h"
#include "support/RecordingProxy.h"

#include <sqlite3.h>

#include <algorithm>
#include <random>

using analyser::TAnalyserList;
using testsupport::CliProcess;
using testsupport::CliRun;
using testsupport::runCli;

namespace {

QStringList L(std::initializer_list<const char *> Words)
{
    QStringList List;
    for (const char *W : Words)
        List << QString::fromUtf8(W);
    return List;
}

class HistoryCommandTest : public CliFixture
{
protected:
    QStringList Check(const QStringList &More) const
    {
        return CommandWith("check", QStringList{QStringLiteral("--judge"),
                                                QString::fromLatin1(Judge.url("/judge.cgi")),
                                                QStringLiteral("--own-address"),
                                                QStringLiteral("192.0.2.55"),
                                                QStringLiteral("--timeout"), QStringLiteral("1"),
                                                QStringLiteral("--format"), QStringLiteral("csv")} +
                                        More);
    }
    static TAnalyserList Parsed(const QByteArray &Text)
    {
        return cli::ProxiesFromText(Text, QStringLiteral("output"));
    }
    // The history file's own verdict on itself, and its number of checks.
    static std::pair<QByteArray, qint64> Inspect(const QString &File)
    {
        sqlite3 *Db = nullptr;
        std::pair<QByteArray, qint64> Result{"cannot open", -1};
        if (sqlite3_open_v2(File.toUtf8().constData(), &Db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK) {
            sqlite3_busy_timeout(Db, 5000);
            const auto one = [Db](const char *Sql) {
                sqlite3_stmt *S = nullptr;
                QByteArray Text;
                if (sqlite3_prepare_v2(Db, Sql, -1, &S, nullptr) == SQLITE_OK &&
                    sqlite3_step(S) == SQLITE_ROW)
                    Text = reinterpret_cast<const char *>(sqlite3_column_text(S, 0));
                sqlite3_finalize(S);
                return Text;
            };
            Result = {one("PRAGMA integrity_check"),
                      one("SELECT count(*) FROM checks").toLongLong()};
        }
        sqlite3_close(Db);
        return Result;
    }

    testsupport::JudgePeer Judge;
    testsupport::RecordingProxy Steady, Flaky;
};

} // namespace

TEST_F(HistoryCommandTest, FiguresAndLocationsAcrossRunsAndTheListingsFilters)
{
    QString Error;
    ASSERT_TRUE(testsupport::WriteLocationDbs(Dir.path(), &Error)) << Error.toStdString();
    Write(QStringLiteral("proxies.txt"), Steady.address() + '\n' + Flaky.address() + '\n');
    const QString List = Path(QStringLiteral("proxies.txt"));
    // Flaky answers the first run only.
    for (int Run = 0; Run < 3; ++Run) {
        if (Run == 1)
            Flaky.answerWith(testsupport::serviceUnavailable());
        const CliRun R = runCli(Check({List}));
        ASSERT_EQ(R.exitCode, 0) << R.err.toStdString();
        EXPECT_FALSE(R.err.contains("No location database")) << R.err.toStdString();
        const TAnalyserList Rows = Parsed(R.out);
        ASSERT_EQ(Rows.size(), 2u);
        EXPECT_EQ(Rows[0].Checks, quint32(Run + 1));
        EXPECT_EQ(Rows[0].Goods, quint32(Run + 1));
        EXPECT_EQ(Rows[1].Checks, quint32(Run + 1));
        EXPECT_EQ(Rows[1].Goods, 1u);
        EXPECT_GT(Rows[1].LastGood, 0);
        // 127.0.0.1 is in Germany and AS64500 in the test databases.
        EXPECT_EQ(Rows[0].Country.view(), "DE");
        EXPECT_STREQ(Rows[0].CountryName, "Germany");
        EXPECT_EQ(Rows[0].Asn, 64500u);
        EXPECT_STREQ(Rows[0].AsOrg, "Loopback Networks");
    }
    const auto listed = [this](const QStringList &More) {
        const CliRun R = runCli(CommandWith("history", More));
        EXPECT_TRUE(R.finished);
        QList<QByteArray> Hosts;
        for (const auto &Row : Parsed(R.out))
            Hosts << Row.Host.toByteArray() + ':' + Row.Port.toByteArray();
        // In the order first recorded, which is the order the checks ended.
        std::sort(Hosts.begin(), Hosts.end());
        return std::make_pair(R.exitCode, Hosts);
    };
    const QByteArray S = std::min(Steady.address(), Flaky.address()),
                     F = std::max(Steady.address(), Flaky.address());
    const QByteArray SteadyOnly = Steady.address();
    using Listing = std::pair<int, QList<QByteArray>>;
    EXPECT_EQ(listed(L({"--format", "csv"})), (Listing{0, {S, F}}));
    EXPECT_EQ(listed(L({"--format", "json", "--min-uptime", "50"})), (Listing{0, {SteadyOnly}}));
    EXPECT_EQ(listed(L({"--format", "csv", "--good-within", "1h", "--type", "http"})),
              (Listing{0, {S, F}}));
    EXPECT_EQ(listed(L({"--format", "csv", "--country", "fr,nl"})), (Listing{3, {}}));
    EXPECT_EQ(listed(L({"--format", "csv", "--country", "DE", "--type", "socks5"})),
              (Listing{3, {}}));
    const CliRun Txt = runCli(CommandWith("history", L({"--min-uptime", "100"})));
    EXPECT_EQ(Txt.out, SteadyOnly + '\n');

    // Checks kept out of the results by country, and recent ones not asked again.
    EXPECT_EQ(runCli(Check(QStringList{List} + L({"--country", "FR"}))).out.count('\n'),
              1); // the header
    const qsizetype Asked = Judge.requests().size();
    const CliRun Skipped = runCli(Check(QStringList{List} + L({"--skip-checked-within", "1h"})));
    EXPECT_EQ(Judge.requests().size(), Asked);
    const TAnalyserList Last = Parsed(Skipped.out);
    ASSERT_EQ(Last.size(), 2u);
    EXPECT_EQ(Last[1].Status, "503 - Service Unavailable");
    EXPECT_EQ(Last[1].Checks, 4u); // the run kept out by country checked too
    EXPECT_EQ(Last[0].RemoteAddr, "127.0.0.1");

    // A listing taken to another machine's history counts there as its checks.
    Write(QStringLiteral("listing.csv"),
          runCli(CommandWith("history", L({"--format", "csv"}))).out);
    QTemporaryDir Other;
    const CliRun Import = runCli({QStringLiteral("history"), QStringLiteral("--dir"), Other.path(),
                                  QStringLiteral("--import"), Path(QStringLiteral("listing.csv"))});
    EXPECT_EQ(Import.exitCode, 0) << Import.err.toStdString();
    EXPECT_EQ(Inspect(QDir(Other.path()).filePath(QStringLiteral("History.sqlite"))),
              (std::pair<QByteArray, qint64>{"ok", 2}));
    // No history switched on, none written.
    QTemporaryDir Fresh;
    const CliRun Unrecorded =
        runCli(Check(L({"--no-history", "--dir"}) + QStringList{Fresh.path(), List}));
    EXPECT_EQ(Unrecorded.exitCode, 0) << Unrecorded.err.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(Fresh.path()).filePath(QStringLiteral("History.sqlite"))));
}

TEST_F(HistoryCommandTest, KillNineLosesAtMostTheBatchUnderWayAndTwoWritersBothSucceed)
{
    // 100,000 checked rows, as a merge of shards would bring them.
    TAnalyserList Rows(100000);
    for (size_t I = 0; I < Rows.size(); ++I) {
        Rows[I].Host = "10." + QByteArray::number(I >> 16) + '.' +
                       QByteArray::number((I >> 8) & 255) + '.' + QByteArray::number(I & 255);
        Rows[I].Port = "8080";
        Rows[I].State = I % 3 ? analyser::psTimeout : analyser::psGood;
        Rows[I].Status = I % 3 ? "Timeout" : "200 - OK";
        Rows[I].CheckedAt = 1796832005000 + qint64(I);
    }
    Write(QStringLiteral("checked.csv"),
          cli::FormatCheckResults(Rows, cli::TFormat::Csv, cli::TLineEnd::Lf, false));
    const QStringList Import =
        CommandWith("history", {QStringLiteral("--import"), Path(QStringLiteral("checked.csv"))});
    const QString File = Path(QStringLiteral("History.sqlite"));
    std::mt19937 Rng(7);
    qint64 Before = 0;
    for (int Kill = 0; Kill < 4; ++Kill) {
        CliProcess P(Import);
        ASSERT_TRUE(P.started());
        const int Delay = int(Rng() % 1500);
        testsupport::waitUntil([] { return false; }, Delay);
        P.signal(SIGKILL);
        P.wait(10000);
        const auto [Verdict, Count] = Inspect(File);
        SCOPED_TRACE(Delay);
        EXPECT_EQ(Verdict, "ok");
        // Whole batches only, or the whole file when it ended first.
        const qint64 Added = Count - Before;
        EXPECT_TRUE(Added % 1024 == 0 || Added == 100000) << Added;
        Before = std::max<qint64>(Count, 0);
    }
    CliProcess First(Import), Second(Import);
    EXPECT_EQ(First.wait(60000).exitCode, 0);
    const CliRun Other = Second.wait(60000);
    EXPECT_EQ(Other.exitCode, 0) << Other.err.toStdString();
    EXPECT_EQ(Inspect(File), (std::pair<QByteArray, qint64>{"ok", Before + 200000}));
}
