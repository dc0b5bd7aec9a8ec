// vexo-cli check and judge-page end to end: a loopback judge, proxies that
// forward, refuse, answer 503 or never answer; each output format read back;
// an earlier result taken up again; standard input; interruptions.
#include "CliFixture.h"

#include "InputFiles.h"
#include "ResultFormats.h"
#include "analyser/JudgeFallback.h"
#include "analyser/OwnAddressProbe.h"
#include "support/AnalyserPrinters.h"
#include "support/JudgePeer.h"
#include "support/RecordingProxy.h"
#include "support/RefusedPort.h"
#include "support/SocksPeer.h"

#include <QRegularExpression>

#include <QElapsedTimer>

#include <csignal>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using analyser::TAnalyserList;
using testsupport::CliProcess;
using testsupport::CliRun;
using testsupport::HttpRequest;
using testsupport::JudgePeer;
using testsupport::RecordingProxy;
using testsupport::RefusedPort;
using testsupport::runCli;
using testsupport::Script;
using testsupport::waitUntil;

namespace {

// Never the machine's address: a judge page of these tests cannot show it.
const QString Own = QStringLiteral("192.0.2.55");

class CheckCommandsTest : public CliFixture
{
protected:
    void SetUp() override
    {
        Busy.answerWith(testsupport::serviceUnavailable());
        Silent.answerWith(testsupport::silent());
        Write(QStringLiteral("proxies.txt"), Good.address() + "\r\n" + Refused.address() + "\r\n" +
                                                 Busy.address() + "\r\n" + Silent.address() +
                                                 "\r\n");
    }
    QStringList Check(const QStringList &More) const
    {
        return CommandWith("check", QStringList{QStringLiteral("--judge"),
                                                QString::fromLatin1(Judge.url("/judge.cgi")),
                                                QStringLiteral("--own-address"), Own,
                                                QStringLiteral("--timeout"), QStringLiteral("1")} +
                                        More);
    }
    static TAnalyserList Parsed(const QByteArray &Text)
    {
        return cli::ProxiesFromText(Text, QStringLiteral("output"));
    }

    JudgePeer Judge;
    RecordingProxy Good, Busy, Silent;
    RefusedPort Refused;
};

// Everything but the speed, which differs from run to run.
void ExpectSameResults(const TAnalyserList &A, const TAnalyserList &B)
{
    ASSERT_EQ(A.size(), B.size());
    for (size_t I = 0; I < A.size(); ++I) {
        SCOPED_TRACE(I);
        EXPECT_EQ(A[I].Host, B[I].Host);
        EXPECT_EQ(A[I].Port, B[I].Port);
        EXPECT_EQ(A[I].Status, B[I].Status);
        EXPECT_EQ(A[I].State, B[I].State);
        EXPECT_EQ(A[I].RemoteAddr, B[I].RemoteAddr);
        EXPECT_EQ(A[I].Anonymous, B[I].Anonymous);
        EXPECT_EQ(A[I].Level, B[I].Level);
        EXPECT_EQ(A[I].Speed.isEmpty(), B[I].Speed.isEmpty());
    }
}

} // namespace

TEST_F(CheckCommandsTest, EveryResultInEachFormat)
{
    const QString JsonFile = Path(QStringLiteral("results.json"));
    const CliRun Json =
        runCli(Check({Path(QStringLiteral("proxies.txt")), QStringLiteral("--format"),
                      QStringLiteral("json"), QStringLiteral("--output"), JsonFile}));
    ASSERT_TRUE(Json.finished);
    EXPECT_EQ(Json.exitCode, 0) << Json.err.toStdString();
    EXPECT_TRUE(Json.out.isEmpty());
    const TAnalyserList Results = Parsed(Read(QStringLiteral("results.json")));
    ASSERT_EQ(Results.size(), 4u);
    ASSERT_FALSE(Judge.requests().isEmpty());
    const char Level = testsupport::judgeLevel(Judge.requests().first());

    EXPECT_EQ(Results[0].Status, "200 - OK");
    EXPECT_EQ(Results[0].State, analyser::psGood);
    EXPECT_EQ(Results[0].Anonymous, "Yes");
    EXPECT_EQ(Results[0].Level, QByteArray(1, Level));
    EXPECT_EQ(Results[0].RemoteAddr, "127.0.0.1");
    EXPECT_FALSE(Results[0].Speed.isEmpty());
    EXPECT_EQ(Results[1].State, analyser::psBad);
    EXPECT_TRUE(Results[1].Status.toByteArray().startsWith("404 - "))
        << Results[1].Status.toStdString();
    EXPECT_EQ(Results[2].Status, "503 - Service Unavailable");
    EXPECT_EQ(Results[2].State, analyser::psBad);
    EXPECT_EQ(Results[3].Status, "Timeout");
    EXPECT_EQ(Results[3].State, analyser::psTimeout);
    EXPECT_TRUE(Json.err.contains("[4 / 4] - 100% Complete [Good=1] [Bad=2] [Timeouts=1] "
                                  "[Retries=0]\nFinished\n"))
        << Json.err.toStdString();

    const CliRun Csv =
        runCli(Check({Path(QStringLiteral("proxies.txt")), QStringLiteral("--format"),
                      QStringLiteral("csv"), QStringLiteral("--quiet")}));
    EXPECT_EQ(Csv.exitCode, 0);
    EXPECT_TRUE(Csv.out.startsWith(cli::CsvHeader() + '\n'));
    ExpectSameResults(Parsed(Csv.out), Results);

    // txt: the analyser's result file, CR LF in a file; the good ones only.
    const CliRun Txt = runCli(Check({Path(QStringLiteral("proxies.txt")), QStringLiteral("--quiet"),
                                     QStringLiteral("--good-only"), QStringLiteral("--output"),
                                     Path(QStringLiteral("good.txt"))}));
    EXPECT_EQ(Txt.exitCode, 0);
    EXPECT_EQ(Read(QStringLiteral("good.txt")), Good.address() + "\r\n");
}

TEST_F(CheckCommandsTest, AnEarlierResultIsTakenUpAgain)
{
    const CliRun First = runCli(Check(
        {Path(QStringLiteral("proxies.txt")), QStringLiteral("--quiet"), QStringLiteral("--format"),
         QStringLiteral("csv"), QStringLiteral("--output"), Path(QStringLiteral("r.csv"))}));
    ASSERT_EQ(First.exitCode, 0) << First.err.toStdString();
    const TAnalyserList Before = Parsed(Read(QStringLiteral("r.csv")));
    const qsizetype GoodAsked = Good.requests().size();

    // The silent proxy forwards now; only the entries that timed out are
    // asked again, the others keep their results.
    Silent.setResponder([](const HttpRequest &) { return std::optional<Script>(); });
    const CliRun Again = runCli(
        Check({Path(QStringLiteral("r.csv")), QStringLiteral("--only"), QStringLiteral("timeout"),
               QStringLiteral("--format"), QStringLiteral("json")}));
    EXPECT_EQ(Again.exitCode, 0) << Again.err.toStdString();
    const TAnalyserList After = Parsed(Again.out);
    ASSERT_EQ(After.size(), 4u);
    TAnalyserList Expected = Before;
    Expected[3] = After[3];
    ExpectSameResults(After, Expected);
    EXPECT_EQ(After[3].State, analyser::psGood);
    EXPECT_EQ(Good.requests().size(), GoodAsked);
    EXPECT_TRUE(Again.err.contains("[4 / 4] - 100% Complete [Good=1] [Bad=0] [Timeouts=0]"))
        << Again.err.toStdString();

    // --only needs results: a plain list is refused before any request.
    const CliRun Plain = runCli(Check(
        {Path(QStringLiteral("proxies.txt")), QStringLiteral("--only"), QStringLiteral("bad")}));
    EXPECT_EQ(Plain.exitCode, 1);
    EXPECT_TRUE(Plain.err.contains("is a plain proxy list")) << Plain.err.toStdString();
}

TEST_F(CheckCommandsTest, StandardInputAndNoGoodProxy)
{
    const CliRun In = [&] {
        CliProcess P(Check({QStringLiteral("--quiet")}), Good.address() + "\n" + Refused.address());
        return P.wait();
    }();
    EXPECT_EQ(In.exitCode, 0) << In.err.toStdString();
    EXPECT_EQ(In.out, Good.address() + '\n' + Refused.address() + '\n');

    const CliRun Dash = [&] {
        CliProcess P(Check({QStringLiteral("-"), QStringLiteral("--quiet")}), Refused.address());
        return P.wait();
    }();
    EXPECT_EQ(Dash.exitCode, 3); // no good proxy
    EXPECT_EQ(Dash.out, Refused.address() + '\n');

    // A proxy busy for ever and rows without a proxy address: the run ends
    // by itself, and the judge is never asked for those rows.
    const qsizetype JudgeAsked = Judge.requests().size();
    const CliRun Hostile = [&] {
        CliProcess P(Check({QStringLiteral("--retry-503"), QStringLiteral("--format"),
                            QStringLiteral("csv")}),
                     Busy.address() + "\n:8080\n8080\n1.2.3.4:0\n");
        return P.wait();
    }();
    EXPECT_EQ(Hostile.exitCode, 3) << Hostile.err.toStdString();
    const TAnalyserList Results = Parsed(Hostile.out);
    ASSERT_EQ(Results.size(), 4u);
    EXPECT_EQ(Results[0].Status, "503 - Service Unavailable");
    for (size_t I = 1; I < 4; ++I) {
        EXPECT_EQ(Results[I].Status, "No proxy address");
        EXPECT_EQ(Results[I].State, analyser::psBad);
    }
    EXPECT_TRUE(Hostile.err.contains("[Good=0] [Bad=4] [Timeouts=0] [Retries=2]"))
        << Hostile.err.toStdString();
    EXPECT_EQ(Busy.requests().size(), 3);
    EXPECT_EQ(Judge.requests().size(), JudgeAsked);

    const CliRun Empty = [&] {
        CliProcess P(Check({QStringLiteral("-")}), "\n\n");
        return P.wait();
    }();
    EXPECT_EQ(Empty.exitCode, 3);
    EXPECT_TRUE(Empty.err.contains("No proxies in standard input."));
}

TEST_F(CheckCommandsTest, InterruptedChecksLeaveWholeFiles)
{
    // A judge that takes its time through one proxy: twenty entries, two bots.
    RecordingProxy Slow;
    Slow.setResponder([](const HttpRequest &R) {
        return std::optional<Script>(Script().wait(300).send(testsupport::judgeResponse(R)));
    });
    QByteArray List;
    for (int I = 0; I < 20; ++I)
        List += Slow.address() + "\r\n";
    Write(QStringLiteral("slow.txt"), List);
    const QString Out = Path(QStringLiteral("out.json"));
    {
        CliProcess P(
            Check({Path(QStringLiteral("slow.txt")), QStringLiteral("--bots"), QStringLiteral("2"),
                   QStringLiteral("--timeout"), QStringLiteral("5"), QStringLiteral("--format"),
                   QStringLiteral("json"), QStringLiteral("--output"), Out}));
        ASSERT_TRUE(waitUntil([&] { return Slow.requests().size() >= 4; }, 10000));
        P.signal(SIGINT);
        const CliRun R = P.wait();
        EXPECT_EQ(R.exitCode, 2) << R.err.toStdString();
        EXPECT_TRUE(R.err.contains("Stopping: the requests under way end first"));
        const TAnalyserList L = Parsed(Read(QStringLiteral("out.json")));
        ASSERT_EQ(L.size(), 20u);
        // The checks under way ended and were recorded; no new one began.
        const qsizetype Asked = Slow.requests().size();
        EXPECT_LE(Asked, 7);
        for (qsizetype I = 0; I < 20; ++I) {
            SCOPED_TRACE(I);
            EXPECT_EQ(L[size_t(I)].State, I < Asked ? analyser::psGood : analyser::psNone);
        }
    }
    // A second signal stops at once, also while requests wait for answers
    // that never come: the file is still whole.
    List.clear();
    for (int I = 0; I < 5; ++I)
        List += Silent.address() + "\r\n";
    Write(QStringLiteral("silent.txt"), List);
    CliProcess P(Check({Path(QStringLiteral("silent.txt")), QStringLiteral("--timeout"),
                        QStringLiteral("60"), QStringLiteral("--format"), QStringLiteral("csv"),
                        QStringLiteral("--output"), Path(QStringLiteral("out.csv"))}));
    ASSERT_TRUE(waitUntil([&] { return Silent.requests().size() >= 5; }, 10000));
    P.signal(SIGINT);
    ASSERT_TRUE(waitUntil([&] { return P.err().contains("Stopping:"); }, 10000));
    P.signal(SIGTERM);
    const CliRun R = P.wait(10000);
    ASSERT_TRUE(R.finished);
    EXPECT_EQ(R.exitCode, 2);
    const TAnalyserList L = Parsed(Read(QStringLiteral("out.csv")));
    ASSERT_EQ(L.size(), 5u);
    EXPECT_EQ(L[0].Status, "Analyzing");
}

TEST_F(CheckCommandsTest, JudgePageGivesTheVerdict)
{
    const QStringList Base{QStringLiteral("--judge"), QString::fromLatin1(Judge.url("/judge.cgi")),
                           QStringLiteral("--own-address"), Own};
    const CliRun R =
        runCli(CommandWith("judge-page", QStringList{QString::fromLatin1(Good.address())} + Base));
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    ASSERT_FALSE(Judge.requests().isEmpty());
    const QList<QByteArray> Report = R.out.split('\n');
    ASSERT_EQ(Report.size(), 10); // nine lines
    EXPECT_EQ(Report.first(6).join('\n'),
              "proxy: " + Good.address() +
                  "\nstatus: 200 - OK\nstate: good\n"
                  "gateway: 127.0.0.1\nanonymous: Yes\nlevel: " +
                  QByteArray(1, testsupport::judgeLevel(Judge.requests().last())));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^speed: \\d+ ms$"))
                    .match(QString::fromLatin1(Report[6]))
                    .hasMatch())
        << Report[6].toStdString();
    EXPECT_EQ(Report[7], "type: http");
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^checked_at: 20\\d\\d-\\d\\d-\\d\\dT[\\d:]{8}Z$"))
            .match(QString::fromLatin1(Report[8]))
            .hasMatch())
        << Report[8].toStdString();

    // A proxy that tells the judge who sent it: not anonymous, status 3.
    RecordingProxy Telling;
    Telling.addForwardHeader("X-Forwarded-For: " + Own.toLatin1());
    const CliRun T = runCli(
        CommandWith("judge-page", QStringList{QString::fromLatin1(Telling.address()),
                                              QStringLiteral("--format"), QStringLiteral("json")} +
                                      Base));
    EXPECT_EQ(T.exitCode, 3);
    const TAnalyserList L = Parsed(T.out);
    ASSERT_EQ(L.size(), 1u);
    EXPECT_EQ(L[0].State, analyser::psBad);
    EXPECT_EQ(L[0].Anonymous, "No");
}

TEST_F(CheckCommandsTest, APeersControlBytesNeverReachTheTerminalRaw)
{
    // A proxy whose status line and page set the terminal's title and clear
    // its screen.
    RecordingProxy Hostile;
    Hostile.answerWith(Script()
                           .send("HTTP/1.0 200 \x1b]0;owned\x07OK\r\n\r\n"
                                 "REMOTE_ADDR=\x1b[2J10.9.8.7\r\n")
                           .close());
    const QStringList Base{QStringLiteral("--judge"), QString::fromLatin1(Judge.url("/judge.cgi")),
                           QStringLiteral("--own-address"), Own};
    for (const char *Format : {"txt", "csv"}) {
        SCOPED_TRACE(Format);
        const CliRun R = runCli(CommandWith(
            "judge-page", QStringList{QString::fromLatin1(Hostile.address()),
                                      QStringLiteral("--format"), QLatin1StringView(Format)} +
                              Base));
        EXPECT_FALSE(R.out.contains('\x1b') || R.out.contains('\x07')) << R.out.toStdString();
        EXPECT_FALSE(R.err.contains('\x1b') || R.err.contains('\x07')) << R.err.toStdString();
        EXPECT_TRUE(R.out.contains("200 - \\x1b]0;owned\\x07OK")) << R.out.toStdString();
        // csv reads back as it was held.
        if (QByteArrayView(Format) == "csv") {
            const TAnalyserList L = Parsed(R.out);
            ASSERT_EQ(L.size(), 1u);
            EXPECT_EQ(L[0].Status, "200 - \x1b]0;owned\x07OK");
        }
    }
}

TEST_F(CheckCommandsTest, JudgePageTriesOutVexoJudge)
{
    QProcess Server;
    Server.start(QStringLiteral(VEXO_JUDGE_PROGRAM),
                 {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    ASSERT_TRUE(Server.waitForStarted(5000));
    QByteArray Said;
    const QRegularExpression Listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QRegularExpressionMatch M;
    ASSERT_TRUE(waitUntil(
        [&] {
            Said += Server.readAllStandardError();
            M = Listening.match(QString::fromLatin1(Said));
            return M.hasMatch();
        },
        10000));
    const CliRun R = runCli(
        Command("judge-page", {QString::fromLatin1(Good.address()), QStringLiteral("--judge"),
                               QStringLiteral("http://127.0.0.1:%1/").arg(M.captured(1)),
                               QStringLiteral("--own-address"), Own, QStringLiteral("--format"),
                               QStringLiteral("json")}));
    Server.terminate();
    Server.waitForFinished(5000);
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    const TAnalyserList L = Parsed(R.out);
    ASSERT_EQ(L.size(), 1u);
    EXPECT_EQ(L[0].State, analyser::psGood);
    EXPECT_EQ(L[0].RemoteAddr, "127.0.0.1"); // the proxy, as the judge saw it
    EXPECT_EQ(L[0].Level.size(), 1);         // the judge's level digit
}

// Without --own-address the judge is asked directly which address it sees:
// behind NAT that is the public one a transparent proxy gives away, not the
// machine's own. --own-address wins; a judge out of reach leaves the
// machine's address and says so; a stop during the ask checks nothing.
TEST_F(CheckCommandsTest, TheOwnAddressIsTheOneTheJudgeSees)
{
    const QByteArray Local = "127.0.0.7";    // where the program's connections come from
    const QByteArray Public = "203.0.113.7"; // what the judge sees behind the NAT
    Judge.translate(Local, Public);
    const auto DirectAsks = [&] {
        qsizetype N = 0;
        for (const HttpRequest &R : Judge.requests())
            N += R.peerAddress == Local;
        return N;
    };
    RecordingProxy Transparent;
    Transparent.addForwardHeader("X-Forwarded-For: " + Public);
    Write(QStringLiteral("two.txt"), Transparent.address() + "\n" + Good.address() + "\n");
    const auto CheckTwo = [&](const QByteArray &JudgeUrl, const QStringList &More) {
        return runCli(CommandWith(
            "check",
            QStringList{Path(QStringLiteral("two.txt")), QStringLiteral("--judge"),
                        QString::fromLatin1(JudgeUrl), QStringLiteral("--bind"),
                        QString::fromLatin1(Local), QStringLiteral("--timeout"),
                        QStringLiteral("2"), QStringLiteral("--format"), QStringLiteral("json")} +
                More));
    };
    const QByteArray NotReachable = analyser::TOwnAddressProbe::JudgeNotReachableText;

    const CliRun Asked = CheckTwo(Judge.url("/judge.cgi"), {});
    EXPECT_EQ(Asked.exitCode, 0) << Asked.err.toStdString();
    EXPECT_EQ(DirectAsks(), 1);
    EXPECT_FALSE(Asked.err.contains(NotReachable)) << Asked.err.toStdString();
    TAnalyserList L = Parsed(Asked.out);
    ASSERT_EQ(L.size(), 2u);
    EXPECT_EQ(L[0].Anonymous, "No");
    EXPECT_EQ(L[0].State, analyser::psBad);
    EXPECT_EQ(L[1].Anonymous, "Yes");
    EXPECT_EQ(L[1].State, analyser::psGood);

    const CliRun Typed = CheckTwo(Judge.url("/judge.cgi"), {QStringLiteral("--own-address"), Own});
    EXPECT_EQ(Typed.exitCode, 0) << Typed.err.toStdString();
    EXPECT_EQ(DirectAsks(), 1); // the judge was not asked
    L = Parsed(Typed.out);
    ASSERT_EQ(L.size(), 2u);
    EXPECT_EQ(L[0].Anonymous, "Yes"); // the typed address is not on its page

    // Without the fallback to other judges, the run goes on with the machine's.
    const QString NoFallback = QStringLiteral("--no-judge-fallback");
    const CliRun Away = CheckTwo(Refused.url("/judge.cgi"), {NoFallback});
    EXPECT_EQ(Away.exitCode, 3); // the proxies cannot reach it either
    EXPECT_TRUE(Away.err.contains(NotReachable + '\n')) << Away.err.toStdString();
    EXPECT_EQ(Parsed(Away.out).size(), 2u);
    const CliRun Quiet =
        CheckTwo(Refused.url("/judge.cgi"), {QStringLiteral("--quiet"), NoFallback});
    EXPECT_EQ(Quiet.exitCode, 3);
    EXPECT_TRUE(Quiet.err.isEmpty()) << Quiet.err.toStdString();

    // A judge that takes the request and never answers: Ctrl-C while the
    // program waits for it writes the list unchecked.
    const qsizetype Through = Transparent.requests().size() + Good.requests().size();
    CliProcess P(
        CommandWith("check", {Path(QStringLiteral("two.txt")), QStringLiteral("--judge"),
                              QString::fromLatin1("http://" + Silent.address() + "/judge.cgi"),
                              QStringLiteral("--timeout"), QStringLiteral("60"),
                              QStringLiteral("--format"), QStringLiteral("json"),
                              QStringLiteral("--output"), Path(QStringLiteral("o.json"))}));
    ASSERT_TRUE(waitUntil([&] { return Silent.requests().size() >= 1; }, 10000));
    P.signal(SIGINT);
    const CliRun R = P.wait(10000);
    ASSERT_TRUE(R.finished);
    EXPECT_EQ(R.exitCode, 2) << R.err.toStdString();
    L = Parsed(Read(QStringLiteral("o.json")));
    ASSERT_EQ(L.size(), 2u);
    EXPECT_EQ(L[0].State, analyser::psNone);
    EXPECT_EQ(L[1].State, analyser::psNone);
    EXPECT_EQ(Transparent.requests().size() + Good.requests().size(), Through);
}

// A judge that refuses or never answers is stepped over: the next judge of
// ProxyJudges.ini that gives a judge page checks the run, and says so. When
// none does, nothing is checked.
TEST_F(CheckCommandsTest, ADeadJudgeIsSteppedOver)
{
    // The judge sees the direct ask from elsewhere than the proxy's requests.
    Judge.translate("127.0.0.8", "203.0.113.8");
    Write(QStringLiteral("one.txt"), Good.address() + "\n");
    Write(QStringLiteral("ProxyJudges.ini"), Refused.url("/a") + "\r\n" + "http://" +
                                                 Silent.address() + "/b" + "\r\n" +
                                                 Judge.url("/judge.cgi") + "\r\n");
    const auto CheckOne = [&]() {
        return runCli(CommandWith(
            "check", {Path(QStringLiteral("one.txt")), QStringLiteral("--judge"),
                      QString::fromLatin1(Refused.url("/a")), QStringLiteral("--bind"),
                      QStringLiteral("127.0.0.8"), QStringLiteral("--timeout"), QStringLiteral("1"),
                      QStringLiteral("--format"), QStringLiteral("json")}));
    };
    const CliRun R = CheckOne();
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    EXPECT_TRUE(R.err.contains("Judge " + Refused.url("/a") + " not answering: using " +
                               Judge.url("/judge.cgi") + '\n'))
        << R.err.toStdString();
    TAnalyserList L = Parsed(R.out);
    ASSERT_EQ(L.size(), 1u);
    EXPECT_EQ(L[0].State, analyser::psGood) << R.out.toStdString();
    EXPECT_EQ(Judge.requests().size(), 2); // asked directly, then through the proxy

    Write(QStringLiteral("ProxyJudges.ini"), "http://" + Silent.address() + "/b" + "\r\n");
    const CliRun None = CheckOne();
    EXPECT_EQ(None.exitCode, 3);
    EXPECT_TRUE(None.err.contains(QByteArray(analyser::NoJudgeAnsweringText) + '\n'))
        << None.err.toStdString();
    L = Parsed(None.out);
    ASSERT_EQ(L.size(), 1u);
    EXPECT_EQ(L[0].State, analyser::psNone);
    EXPECT_EQ(Good.requests().size(), 1); // the first run's only
}

TEST_F(CheckCommandsTest, ProxyTypesFromPrefixesAndTheTypeOption)
{
    testsupport::SocksPeer Socks4, Socks5;
    Socks4.onlyVersion4();
    // A plain line takes --type; a prefixed one keeps its own.
    Write(QStringLiteral("mixed.txt"),
          "127.0.0.1:" + QByteArray::number(Socks4.port()) +
              "\nsocks5://127.0.0.1:" + QByteArray::number(Socks5.port()) + "\n");
    const CliRun R = runCli(
        Check({Path(QStringLiteral("mixed.txt")), QStringLiteral("--type"),
               QStringLiteral("socks4"), QStringLiteral("--format"), QStringLiteral("csv")}));
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    const TAnalyserList L = Parsed(R.out);
    ASSERT_EQ(L.size(), 2u);
    EXPECT_EQ(L[0].Type, net::ptSocks4);
    EXPECT_EQ(L[1].Type, net::ptSocks5);
    EXPECT_EQ(L[0].State, analyser::psGood) << L[0].Status.toStdString();
    EXPECT_EQ(L[1].State, analyser::psGood) << L[1].Status.toStdString();
    EXPECT_EQ(Socks4.requests().size(), 1);
    EXPECT_EQ(Socks5.requests().size(), 1);

    // Detection finds the version 4 proxy behind a plain line.
    Write(QStringLiteral("plain.txt"), "127.0.0.1:" + QByteArray::number(Socks4.port()) + "\n");
    const CliRun D = runCli(
        Check({Path(QStringLiteral("plain.txt")), QStringLiteral("--type"),
               QStringLiteral("detect"), QStringLiteral("--format"), QStringLiteral("json")}));
    EXPECT_EQ(D.exitCode, 0) << D.err.toStdString();
    EXPECT_TRUE(D.out.contains("\"type\":\"socks4\"")) << D.out.toStdString();
}

TEST_F(CheckCommandsTest, FourShardsMergedEqualOneRun)
{
    const CliRun Whole = runCli(Check(
        {Path(QStringLiteral("proxies.txt")), QStringLiteral("--format"), QStringLiteral("csv")}));
    ASSERT_EQ(Whole.exitCode, 0) << Whole.err.toStdString();
    QStringList Merge{QStringLiteral("merge"), QStringLiteral("--format"), QStringLiteral("csv")};
    qsizetype Rows = 0;
    for (int I = 0; I < 4; ++I) {
        const QString Out = Path(QStringLiteral("shard%1.csv").arg(I));
        const CliRun Shard =
            runCli(Check({Path(QStringLiteral("proxies.txt")), QStringLiteral("--shard"),
                          QStringLiteral("%1/4").arg(I), QStringLiteral("--format"),
                          QStringLiteral("csv"), QStringLiteral("--output"), Out}));
        // A shard without a good proxy, or without any, still writes its file.
        EXPECT_TRUE(Shard.exitCode == 0 || Shard.exitCode == 3) << Shard.err.toStdString();
        Rows += Parsed(Read(QStringLiteral("shard%1.csv").arg(I))).size();
        Merge << Out;
    }
    EXPECT_EQ(Rows, 4); // disjoint, and every proxy in one
    const CliRun Merged = runCli(Merge);
    ASSERT_EQ(Merged.exitCode, 0) << Merged.err.toStdString();
    // The shards come out in shard order: compare in the whole run's order.
    TAnalyserList M = Parsed(Merged.out);
    const TAnalyserList W = Parsed(Whole.out);
    const auto Key = [](const analyser::TProxyItem &E) { return E.Port.toByteArray(); };
    std::sort(M.begin(), M.end(), [&](const auto &A, const auto &B) {
        const auto Rank = [&](const analyser::TProxyItem &E) {
            return std::find_if(W.begin(), W.end(),
                                [&](const auto &X) { return Key(X) == Key(E); }) -
                   W.begin();
        };
        return Rank(A) < Rank(B);
    });
    ExpectSameResults(M, W);
    for (const analyser::TProxyItem &E : M)
        EXPECT_GT(E.CheckedAt, 0);
}

namespace {

// A loopback port whose listener never accepts and whose queue is full: a
// further connection is never taken, as with a dead host.
struct TFullQueue
{
    int Listener = -1;
    std::vector<int> Queued;
    quint16 Port = 0;
    TFullQueue()
    {
        Listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in A{};
        A.sin_family = AF_INET;
        A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t Len = sizeof A;
        ::bind(Listener, reinterpret_cast<sockaddr *>(&A), sizeof A);
        ::listen(Listener, 0);
        ::getsockname(Listener, reinterpret_cast<sockaddr *>(&A), &Len);
        Port = ntohs(A.sin_port);
        // Fill the queue: connections that complete until one no longer does.
        for (int I = 0; I < 8; ++I) {
            const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A);
            Queued.push_back(Fd);
        }
    }
    ~TFullQueue()
    {
        for (int Fd : Queued)
            ::close(Fd);
        ::close(Listener);
    }
};

} // namespace

TEST_F(CheckCommandsTest, AConnectTimeoutEndsOnlyTheConnectionsNotTaken)
{
    TFullQueue Dead;
    Write(QStringLiteral("dead.txt"),
          "127.0.0.1:" + QByteArray::number(Dead.Port) + "\r\n" + Good.address() + "\r\n");
    Write(QStringLiteral("silent.txt"), Silent.address() + "\r\n");
    const auto Run = [&](const char *List, const char *Timeout, qint64 &Ms) {
        QElapsedTimer Clock;
        Clock.start();
        const CliRun R = runCli(CommandWith(
            "check",
            {QStringLiteral("--judge"), QString::fromLatin1(Judge.url("/judge.cgi")),
             QStringLiteral("--own-address"), Own, QStringLiteral("--timeout"),
             QLatin1StringView(Timeout), QStringLiteral("--connect-timeout"), QStringLiteral("0.3"),
             Path(QLatin1StringView(List)), QStringLiteral("--format"), QStringLiteral("csv"),
             QStringLiteral("--quiet")}));
        Ms = Clock.elapsed();
        EXPECT_TRUE(R.err.isEmpty()) << R.err.toStdString();
        return Parsed(R.out);
    };
    // The proxy that never takes the connection is a time-out long before
    // the 5 s idle timeout; the one that answers is good.
    qint64 Ms = 0;
    const TAnalyserList L = Run("dead.txt", "5", Ms);
    ASSERT_EQ(L.size(), 2u);
    EXPECT_EQ(L[0].State, analyser::psTimeout);
    EXPECT_EQ(L[0].Status, "Timeout");
    EXPECT_EQ(L[1].State, analyser::psGood);
    EXPECT_LT(Ms, 4000);
    // One that takes the connection and stays silent waits out the idle
    // timeout (1 s), not the connect timeout.
    const TAnalyserList S = Run("silent.txt", "1", Ms);
    ASSERT_EQ(S.size(), 1u);
    EXPECT_EQ(S[0].State, analyser::psTimeout);
    EXPECT_GE(Ms, 900);
    // No time at all is refused.
    EXPECT_EQ(runCli(Check({QStringLiteral("--connect-timeout"), QStringLiteral("0")})).exitCode,
              1);
}
