// vexo-cli leech and verify end to end on loopback sites: Proxies.txt as
// the window writes it, each output format read back, the exit status, a
// run with more bots than the window's slider gives, and what a list or
// Options.ini can hold that a run must not take as it is.
#include "CliFixture.h"

#include "support/OriginServer.h"
#include "support/RefusedPort.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <csignal>
#include <vector>

#include <sys/resource.h>

using testsupport::CliRun;
using testsupport::HttpRequest;
using testsupport::OriginServer;
using testsupport::runCli;
using testsupport::Script;

namespace {

Script Page(const QByteArray &Body)
{
    return Script::response(200, "OK", {"Content-Type: text/html"}, Body);
}

class SiteCommandsTest : public CliFixture
{
protected:
    void SetUp() override
    {
        Server.route("/a", Page("<td>1.2.3.4:8080</td><td>5.6.7.8:3128</td>"));
        Server.route("/b", Page("<td>5.6.7.8:3128</td> <td>9.9.9.9:80</td>"));
        Server.route("/gone", Script::response(404, "Not Found", {}, "no"));
        Write(QStringLiteral("Sites.ini"),
              Server.url("/a") + "\r\n" + Server.url("/b") + "\r\n" + Server.url("/gone") + "\r\n");
    }
    OriginServer Server;
};

// Non-blank lines, without their line ends.
QList<QByteArray> Lines(const QByteArray &Text)
{
    QList<QByteArray> L = Text.split('\n');
    for (QByteArray &Line : L)
        Line = Line.trimmed();
    L.removeAll(QByteArray());
    return L;
}

} // namespace

TEST_F(SiteCommandsTest, LeechWritesProxiesTxtAndPrintsTheProxiesInEachFormat)
{
    const CliRun Txt = runCli(Command("leech", {"--bots", "3", "--timeout", "5"}));
    ASSERT_TRUE(Txt.finished);
    EXPECT_EQ(Txt.exitCode, 0) << Txt.err.toStdString();
    // Duplicates removed, sorted by port then host, CR LF: as the window writes it.
    const QByteArray Expected = "9.9.9.9:80\r\n5.6.7.8:3128\r\n1.2.3.4:8080\r\n";
    EXPECT_EQ(Read(QStringLiteral("Proxies.txt")), Expected);
    EXPECT_EQ(Txt.out, QByteArray(Expected).replace("\r\n", "\n"));
    // The window's status texts, one per line, then a summary.
    EXPECT_TRUE(Txt.err.contains("[3 / 3] - 100% Complete\nFinished\n")) << Txt.err.toStdString();
    EXPECT_TRUE(Txt.err.contains("Removed 1 Duplicates\n"));
    EXPECT_TRUE(Txt.err.contains("3 of 3 sites fetched, 3 proxies, 0 timeouts in "));

    const CliRun Csv = runCli(Command("leech", {"--format", "csv", "--quiet"}));
    EXPECT_EQ(Csv.exitCode, 0);
    EXPECT_TRUE(Csv.err.isEmpty()) << Csv.err.toStdString();
    EXPECT_EQ(Lines(Csv.out), (QList<QByteArray>{"host,port,type", "9.9.9.9,80,http",
                                                 "5.6.7.8,3128,http", "1.2.3.4,8080,http"}));

    const CliRun Json = runCli(Command("leech", {"--format", "json", "--quiet"}));
    EXPECT_EQ(Json.exitCode, 0);
    QList<QByteArray> FromJson;
    for (const QByteArray &Line : Lines(Json.out)) {
        const QJsonObject O = QJsonDocument::fromJson(Line).object();
        FromJson << (O.value(QStringLiteral("host")).toString() + u':' +
                     O.value(QStringLiteral("port")).toString())
                        .toUtf8();
    }
    EXPECT_EQ(FromJson, Lines(Expected));

    // Into a file: the window's list file, byte for byte; nothing on stdout.
    const CliRun File = runCli(Command("leech", {"--output", Path(QStringLiteral("out.txt"))}));
    EXPECT_EQ(File.exitCode, 0);
    EXPECT_TRUE(File.out.isEmpty());
    EXPECT_EQ(Read(QStringLiteral("out.txt")), Expected);

    // The options of Options.ini, and the command line over them.
    Write(QStringLiteral("Options.ini"), "[Options]\r\nDupes=0\r\n");
    const CliRun Dupes = runCli(Command("leech", {"--bots", "1", "--quiet"}));
    EXPECT_EQ(Lines(Dupes.out),
              (QList<QByteArray>{"1.2.3.4:8080", "5.6.7.8:3128", "5.6.7.8:3128", "9.9.9.9:80"}));
    Write(QStringLiteral("Proxies.txt"), "kept\r\n");
    const CliRun NoFile = runCli(Command("leech", {"--dupes", "--no-write-file", "--quiet"}));
    EXPECT_EQ(Lines(NoFile.out).size(), 3);
    EXPECT_EQ(Read(QStringLiteral("Proxies.txt")), "kept\r\n");

    // A page whose address says socks5 lists SOCKS5 proxies: they keep their
    // type through the cleaning (the same address as an HTTP proxy is another
    // proxy) and are written after their prefix, as the analyser reads them.
    Server.route("/lists/SOCKS5.txt", Page("5.6.7.8:3128\n7.7.7.7:1080\n7.7.7.7:1080\n"));
    Write(QStringLiteral("typed.txt"), Server.url("/a") + "\r\n" + Server.url("/lists/SOCKS5.txt"));
    const CliRun Typed = runCli(Command("leech", {Path(QStringLiteral("typed.txt")), "--dupes",
                                                  "--write-file", "--format", "json", "--quiet"}));
    EXPECT_EQ(Typed.exitCode, 0) << Typed.err.toStdString();
    EXPECT_EQ(Read(QStringLiteral("Proxies.txt")),
              "socks5://7.7.7.7:1080\r\n5.6.7.8:3128\r\nsocks5://5.6.7.8:3128\r\n1.2.3.4:8080\r\n");
    EXPECT_TRUE(
        Typed.out.startsWith("{\"host\":\"7.7.7.7\",\"port\":\"1080\",\"type\":\"socks5\"}\n"))
        << Typed.out.toStdString();
}

TEST_F(SiteCommandsTest, NothingFoundIsStatusThreeAndLeavesProxiesTxt)
{
    Write(QStringLiteral("Proxies.txt"), "1.1.1.1:1\r\n");
    Write(QStringLiteral("sites.txt"), Server.url("/gone") + "\r\n");
    const CliRun R = runCli(Command("leech", {Path(QStringLiteral("sites.txt"))}));
    EXPECT_EQ(R.exitCode, 3) << R.err.toStdString();
    EXPECT_TRUE(R.out.isEmpty());
    EXPECT_EQ(Read(QStringLiteral("Proxies.txt")), "1.1.1.1:1\r\n");

    Write(QStringLiteral("empty.txt"), "\r\n  \r\n");
    const CliRun Empty = runCli(Command("leech", {Path(QStringLiteral("empty.txt"))}));
    EXPECT_EQ(Empty.exitCode, 3);
    EXPECT_TRUE(Empty.err.contains("No sites in \"" + Path(QStringLiteral("empty.txt")).toUtf8()));
}

TEST_F(SiteCommandsTest, VerifyPrintsEverySitesStateAndAnswer)
{
    testsupport::RefusedPort Refused;
    Server.route("/slow", Script().keepOpen()); // never answers
    Write(QStringLiteral("Sites.ini"), Server.url("/a") + "\r\n" + Server.url("/gone") + "\r\n" +
                                           Refused.url("/") + "\r\n" + Server.url("/slow") +
                                           "\r\n");
    const CliRun R = runCli(Command("verify", {"--format", "json", "--timeout", "1"}));
    ASSERT_TRUE(R.finished);
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    QStringList States, Statuses;
    for (const QByteArray &Line : Lines(R.out)) {
        const QJsonObject O = QJsonDocument::fromJson(Line).object();
        States << O.value(QStringLiteral("state")).toString();
        Statuses << O.value(QStringLiteral("status")).toString();
    }
    EXPECT_EQ(States.join(u' '), QStringLiteral("good bad bad timeout"));
    EXPECT_EQ(Statuses[0], QStringLiteral("200 - OK"));
    EXPECT_EQ(Statuses[1], QStringLiteral("404 - Not Found"));
    EXPECT_TRUE(Statuses[2].startsWith(QStringLiteral("404 - "))); // the client's own failure
    EXPECT_EQ(Statuses[3], QStringLiteral("Timeout"));
    for (const HttpRequest &Q : Server.requests())
        EXPECT_EQ(Q.method, "HEAD");
    EXPECT_TRUE(R.err.contains("4 of 4 sites asked: 1 good, 2 bad, 1 timeouts"));
    EXPECT_FALSE(Exists(QStringLiteral("Proxies.txt")));

    Write(QStringLiteral("Sites.ini"), Server.url("/gone") + "\r\n");
    EXPECT_EQ(runCli(Command("verify", {"--quiet"})).exitCode, 3);
}

namespace {

// Holds every connection, its request read, until `Gate` are open at once
// (or a few seconds have passed), then answers them all: a run with fewer
// bots than that can never open the gate.
class GateServer : public QObject
{
public:
    explicit GateServer(int Gate) : FGate(Gate)
    {
        FServer.listen(QHostAddress::LocalHost, 0);
        FServer.setMaxPendingConnections(Gate * 2);
        connect(&FServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *S = FServer.nextPendingConnection()) {
                connect(S, &QTcpSocket::readyRead, this, [this, S] { Read(S); });
                connect(S, &QTcpSocket::disconnected, this, [this, S] {
                    FGot.remove(S);
                    FWaiting.remove(S);
                    FAnswered.remove(S);
                    S->deleteLater();
                });
            }
        });
        QTimer::singleShot(8000, this, [this] { Open(); });
    }
    QByteArray url(int I) const
    {
        return "http://127.0.0.1:" + QByteArray::number(FServer.serverPort()) + "/p" +
               QByteArray::number(I);
    }
    // The most requests held at once before the gate opened.
    int mostWaiting() const { return FMost; }

private:
    void Read(QTcpSocket *S)
    {
        QByteArray &Got = FGot[S];
        Got += S->readAll();
        if (!Got.contains("\r\n\r\n") || FWaiting.contains(S))
            return;
        FWaiting << S;
        if (!FOpen)
            FMost = std::max(FMost, int(FWaiting.size()));
        if (FOpen)
            Answer(S);
        else if (FWaiting.size() >= FGate)
            Open();
    }
    void Open()
    {
        FOpen = true;
        for (QTcpSocket *S : FWaiting)
            Answer(S);
    }
    void Answer(QTcpSocket *S)
    {
        if (FAnswered.contains(S))
            return;
        FAnswered << S;
        // One proxy of each page's own: 10.0.x.y:80.
        const QByteArray Path = FGot[S].split(' ').value(1);
        const int I = Path.mid(2).toInt();
        S->write("HTTP/1.0 200 OK\r\n\r\n<td>10.0." + QByteArray::number(I / 256) + '.' +
                 QByteArray::number(I % 256) + ":80</td>");
        S->disconnectFromHost();
    }

    QTcpServer FServer;
    int FGate;
    int FMost = 0;
    bool FOpen = false;
    QHash<QTcpSocket *, QByteArray> FGot;
    QSet<QTcpSocket *> FWaiting, FAnswered;
};

} // namespace

TEST_F(SiteCommandsTest, MoreBotsThanTheWindowsSliderGives)
{
    constexpr int Sites = 150;
    GateServer Gate(Sites);
    QByteArray List;
    for (int I = 0; I < Sites; ++I)
        List += Gate.url(I) + "\r\n";
    Write(QStringLiteral("Sites.ini"), List);
    const CliRun R = runCli(Command("leech", {"--bots", "150", "--timeout", "20", "--quiet"}));
    ASSERT_TRUE(R.finished);
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    EXPECT_EQ(Gate.mostWaiting(), Sites); // all at once
    EXPECT_EQ(Lines(R.out).size(), Sites);
    EXPECT_TRUE(R.err.isEmpty()) << R.err.toStdString();
}

// leech --starter leeches the starter list found beside the program: a copy
// of the program with a loopback starter list of its own.
TEST_F(SiteCommandsTest, LeechStarterTakesTheListBesideTheProgram)
{
    // The build puts the shipped list beside the program: web addresses only.
    QFile Shipped(
        QFileInfo(testsupport::cliProgram()).dir().filePath(QStringLiteral("StarterSites.ini")));
    ASSERT_TRUE(Shipped.open(QIODevice::ReadOnly));
    const QList<QByteArray> Shipping = Lines(Shipped.readAll());
    EXPECT_GE(Shipping.size(), 5);
    for (const QByteArray &Url : Shipping)
        EXPECT_TRUE(Url.startsWith("https://") || Url.startsWith("http://")) << Url.toStdString();

    ASSERT_TRUE(QDir(Dir.path()).mkpath(QStringLiteral("bin")));
    const QString Program = Path(QStringLiteral("bin/vexo-cli"));
    ASSERT_TRUE(QFile::copy(testsupport::cliProgram(), Program));
    Write(QStringLiteral("bin/StarterSites.ini"), Server.url("/b") + "\r\n");
    const auto Run = [&](const QStringList &More) {
        QProcess P;
        P.start(Program, QStringList{QStringLiteral("leech"), QStringLiteral("--starter"),
                                     QStringLiteral("--dir"), Path(QStringLiteral("data")),
                                     QStringLiteral("--quiet")} +
                             More);
        EXPECT_TRUE(
            testsupport::waitUntil([&] { return P.state() == QProcess::NotRunning; }, 30000));
        return std::pair{P.exitCode(), P.readAllStandardOutput() + P.readAllStandardError()};
    };
    const auto [Code, Out] = Run({});
    EXPECT_EQ(Code, 0) << Out.toStdString();
    EXPECT_EQ(Lines(Out), (QList<QByteArray>{"9.9.9.9:80", "5.6.7.8:3128"}));
    EXPECT_EQ(Server.requests().size(), 1); // Sites.ini of the folder is not read

    ASSERT_TRUE(QFile::remove(Path(QStringLiteral("bin/StarterSites.ini"))));
    const auto [Missing, Said] = Run({});
    EXPECT_EQ(Missing, 1);
    EXPECT_TRUE(Said.contains("The starter site list is not installed")) << Said.toStdString();
}

TEST_F(SiteCommandsTest, ASiteAddressLongerThan8KiBIsSkippedAndCounted)
{
    Write(QStringLiteral("sites.txt"), "http://127.0.0.1:1/" + QByteArray(20 * 1024 * 1024, 'x') +
                                           "\r\n" + Server.url("/a") + "\r\n");
    const CliRun R = runCli(Command("verify", {Path(QStringLiteral("sites.txt"))}));
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    EXPECT_TRUE(R.err.startsWith("1 line longer than 8 KiB skipped\n")) << R.err.toStdString();
    EXPECT_EQ(Lines(R.out).size(), 1);
}

TEST_F(SiteCommandsTest, ATimeoutInOptionsIniIsCappedAsOnTheCommandLine)
{
    Write(QStringLiteral("Options.ini"), "[Main]\r\nTimeout=2147483647\r\n");
    const CliRun R = runCli(Command("verify"));
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    EXPECT_TRUE(R.err.startsWith("Timeout above 3600 seconds in Options.ini: 3600 used\n"))
        << R.err.toStdString();
    // --timeout takes its place: nothing to say.
    const CliRun Given = runCli(Command("verify", {"--timeout", "5"}));
    EXPECT_FALSE(Given.err.contains("Timeout above")) << Given.err.toStdString();
}

TEST_F(SiteCommandsTest, AProxiesTxtThatCannotBeWrittenLeavesStandardOutputEmpty)
{
    // The folder takes the file, the disk does not: the failure only shows
    // at the end, after the run.
    const auto SmallFiles = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit L{4, 4};
        ::setrlimit(RLIMIT_FSIZE, &L);
    };
    testsupport::CliProcess P(Command("leech"), {}, SmallFiles);
    const CliRun R = P.wait();
    EXPECT_EQ(R.exitCode, 1) << R.err.toStdString();
    EXPECT_TRUE(R.out.isEmpty()) << R.out.toStdString();
    EXPECT_TRUE(R.err.contains("Proxies.txt\". File too large")) << R.err.toStdString();
    EXPECT_FALSE(Exists(QStringLiteral("Proxies.txt")));
}
