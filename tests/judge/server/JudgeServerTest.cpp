// The judge server end to end on loopback: the levels that hand-made headers
// reach and the analyser's verdict on the pages, the access token and the
// signed client addresses, and every limit answered as documented while the
// server goes on serving.
#include "JudgeServer.h"
#include "ClientToken.h"
#include "analyser/JudgeAnalysis.h"
#include "support/AnalyserPrinters.h"
#include "support/EventLoop.h"
#include "support/RawExchange.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace judge;
using testsupport::exchange;
using testsupport::RawAnswer;

namespace {

const QByteArray Own = "127.0.16.26"; // the analyser's own address in these tests

class JudgeServerTest : public ::testing::Test
{
protected:
    void Start(TJudgeConfig config = {})
    {
        config.Address = QHostAddress(QHostAddress::LocalHost);
        config.Port = 0;
        FServer = std::make_unique<TJudgeServer>(config);
        QString error;
        ASSERT_TRUE(FServer->Start(&error)) << error.toStdString();
    }
    RawAnswer Send(const QByteArray &bytes, const QByteArray &from = {})
    {
        return exchange("127.0.0.1", FServer->serverPort(), bytes, from);
    }
    RawAnswer Get(const QByteArray &headerLines = {}, const QByteArray &from = {},
                  const QByteArray &target = "/")
    {
        return Send("GET " + target + " HTTP/1.0\r\nHost: judge\r\n" + headerLines + "\r\n", from);
    }
    // A connection from the local address From that sends nothing.
    std::unique_ptr<QTcpSocket> IdleConnection(const QByteArray &from)
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(QString::fromLatin1(from)));
        socket->connectToHost(QHostAddress::LocalHost, FServer->serverPort());
        return socket;
    }
    // A plain request still gets its page.
    void ExpectServing()
    {
        const RawAnswer a = Get();
        EXPECT_EQ(a.status(), 200);
        EXPECT_TRUE(a.body().contains("AnonyLevel=<b>1</b>"));
    }

    std::unique_ptr<TJudgeServer> FServer;
};

} // namespace

TEST_F(JudgeServerTest, HandMadeHeadersReachEachLevelAndTheAnalyserReadsThem)
{
    TJudgeConfig config;
    config.ClientAddresses = {Own};
    Start(config);
    // Level 4 needs a peer in a wider realm than loopback, which a test on
    // loopback cannot be; the level table covers it.
    const struct
    {
        const char *What;
        QByteArray Lines, From;
        QByteArray Level, Anonymous;
        qint32 State;
    } cases[] = {
        {"nothing of a proxy", "User-Agent: t\r\n", "127.0.0.1", "1", "Yes", analyser::psGood},
        {"a Via header", "Via: 1.1 p\r\n", "127.0.0.1", "2", "Yes", analyser::psGood},
        {"a forwarded address", "X-Forwarded-For: 203.0.113.9\r\n", "127.0.0.1", "3", "Yes",
         analyser::psGood},
        {"unknown", "Forwarded: for=unknown\r\n", "127.0.0.1", "3", "Yes", analyser::psGood},
        {"the own address forwarded", "X-Real-IP: " + Own + "\r\n", "127.0.0.1", "5", "No",
         analyser::psBad},
        {"asked directly", {}, Own, "5", "No", analyser::psBad},
        {"a peer of 15 characters", "Via: x\r\n", "127.100.100.100", "2", "Yes", analyser::psGood},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        const RawAnswer a = Get(c.Lines, c.From);
        ASSERT_EQ(a.status(), 200) << a.raw.toStdString();
        EXPECT_EQ(a.header("Content-Type"), "text/html");
        EXPECT_EQ(a.header("Cache-Control"), "no-store");
        EXPECT_EQ(a.header("Content-Length").toInt(), a.body().size());
        EXPECT_TRUE(a.body().contains("AnonyLevel=<b>" + c.Level + "</b>"));

        analyser::TProxyItem entry;
        analyser::TCheckRunState totals;
        analyser::JudgeAnswer(a.body(), Own, entry, totals);
        EXPECT_EQ(entry.Anonymous, c.Anonymous);
        EXPECT_EQ(entry.State, c.State);
        EXPECT_EQ(entry.RemoteAddr, c.From);
        EXPECT_EQ(entry.Level, c.Anonymous == "Yes" ? c.Level : QByteArray());
    }
    EXPECT_EQ(FServer->Counts().Pages, std::size(cases));
    EXPECT_EQ(FServer->Counts().Levels[5], 2u);
}

TEST_F(JudgeServerTest, HeadAnswersTheHeaderOnly)
{
    Start();
    const RawAnswer a = Send("HEAD / HTTP/1.1\r\nHost: judge\r\n\r\n");
    EXPECT_EQ(a.status(), 200);
    EXPECT_TRUE(a.closed);
    EXPECT_TRUE(a.body().isEmpty());
    EXPECT_GT(a.header("Content-Length").toInt(), 100);
    EXPECT_EQ(a.header("Cache-Control"), "no-store");
}

TEST_F(JudgeServerTest, TokenOpensTheJudge)
{
    TJudgeConfig config;
    config.Token = "t0k&n";
    Start(config);
    EXPECT_EQ(Get().status(), 403);
    EXPECT_EQ(Get({}, {}, "/?token=t0k").status(), 403);
    EXPECT_EQ(Get({}, {}, "/?token=t0k&n").status(), 403);
    EXPECT_EQ(Get({}, {}, "/?x=1&token=t0k%26n").status(), 200);
    EXPECT_EQ(Get({}, {}, "http://judge/judge.cgi?token=t0k%26n").status(), 200);
    EXPECT_EQ(Send("POST /?token=t0k%26n HTTP/1.0\r\n\r\n").status(), 405);
    EXPECT_EQ(FServer->Counts().Forbidden, 3u);
}

TEST_F(JudgeServerTest, SignedClientAddressCountsOnlyWhenItHolds)
{
    TJudgeConfig config;
    config.Secret = "a secret both sides know";
    Start(config);
    const QByteArray signed_ = "/?" + ClientQuery(config.Secret, Own);
    const QByteArray forwarded = "X-Forwarded-For: " + Own + "\r\n";

    const RawAnswer shown = Get(forwarded, {}, signed_);
    ASSERT_EQ(shown.status(), 200);
    EXPECT_EQ(analyser::GetLevel(shown.body()).Text, "5");
    // Unsigned, the same header is just some forwarded address.
    EXPECT_EQ(analyser::GetLevel(Get(forwarded).body()).Text, "3");
    // The query is not echoed, so an elite proxy stays anonymous to the analyser.
    const RawAnswer elite = Get({}, {}, signed_);
    EXPECT_EQ(analyser::GetLevel(elite.body()).Text, "1");
    EXPECT_TRUE(analyser::CheckAnon(elite.body(), Own));

    const QByteArray sig = SignClient(config.Secret, Own);
    const QByteArray refused[] = {
        "/?client=" + Own + "&sig=" + SignClient("another secret of length", Own),
        "/?client=127.0.16.27&sig=" + sig,
        "/?client=" + Own,
        "/?sig=" + sig,
        "/?client=127.000.16.26&sig=" + sig,
    };
    for (const QByteArray &target : refused)
        EXPECT_EQ(Get(forwarded, {}, target).status(), 403) << target.toStdString();

    // A judge without a secret refuses signed requests rather than ignore them.
    Start();
    EXPECT_EQ(Get(forwarded, {}, signed_).status(), 403);
}

TEST_F(JudgeServerTest, RefusalsAndLimitsLeaveTheServerServing)
{
    Start();
    auto lines = [](int n) {
        QByteArray head;
        for (int i = 0; i < n; ++i)
            head += "X-L" + QByteArray::number(i) + ": v\r\n";
        return head;
    };
    const struct
    {
        const char *What;
        QByteArray Request;
        int Status;
    } cases[] = {
        {"header over the size limit",
         "GET / HTTP/1.0\r\nX-Big: " + QByteArray(MaxHeaderBytes, 'a') + "\r\n\r\n", 431},
        {"one line too many", "GET / HTTP/1.0\r\n" + lines(MaxHeaderLines + 1) + "\r\n", 431},
        // Within the header cap, but five bytes on the page for each one sent.
        {"a page over its cap",
         "GET / HTTP/1.0\r\nX-C: " + QByteArray(MaxPageBytes / 5 + 1, '\x1f') + "\r\n\r\n", 431},
        {"as many lines as allowed", "GET / HTTP/1.0\r\n" + lines(MaxHeaderLines) + "\r\n", 200},
        {"POST with a body",
         "POST / HTTP/1.1\r\nHost: j\r\nContent-Length: 32768\r\n\r\n" + QByteArray(32768, 'b'),
         405},
        {"another method", "BREW /pot HTTP/1.1\r\nHost: j\r\n\r\n", 405},
        {"not HTTP", "HELLO\r\n\r\n", 400},
        {"a header line without colon", "GET / HTTP/1.1\r\nbroken\r\n\r\n", 400},
        {"HTTP/2", "GET / HTTP/2.0\r\n\r\n", 505},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        const RawAnswer a = Send(c.Request);
        // The whole answer arrives, then the server closes.
        EXPECT_TRUE(a.closed);
        EXPECT_EQ(a.status(), c.Status) << a.raw.left(200).toStdString();
        EXPECT_EQ(a.header("Content-Length").toInt(), a.body().size());
        EXPECT_EQ(a.header("Connection"), "close");
        if (c.Status == 405) {
            EXPECT_EQ(a.header("Allow"), "GET, HEAD");
        }
        ExpectServing();
    }
    const TJudgeCounts &n = FServer->Counts();
    EXPECT_EQ(n.TooLarge, 3u);
    EXPECT_EQ(n.WrongMethod, 2u);
    EXPECT_EQ(n.BadRequests, 3u);
    EXPECT_TRUE(testsupport::waitUntil([&] { return FServer->OpenConnections() == 0; }));
}

TEST_F(JudgeServerTest, SlowClientsGetRequestTimeout)
{
    TJudgeConfig config;
    config.Limits.ReadTimeout = 400;
    Start(config);
    QElapsedTimer clock;
    clock.start();
    // A byte every 50 ms: the timeout counts the whole header, not the gaps.
    QTcpSocket trickle;
    QByteArray answer;
    QObject::connect(&trickle, &QTcpSocket::readyRead, &trickle,
                     [&] { answer += trickle.readAll(); });
    trickle.connectToHost(QHostAddress::LocalHost, FServer->serverPort());
    const QByteArray request = "GET / HTTP/1.1\r\nHost: judge\r\nX-Slow: " + QByteArray(100, 's');
    int sent = 0;
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, &trickle, [&] {
        if (sent < request.size() && trickle.state() == QAbstractSocket::ConnectedState)
            trickle.write(request.mid(sent++, 1));
    });
    drip.start(50);
    // Others are served meanwhile.
    ExpectServing();
    // One that never sends a byte gets the same answer.
    const RawAnswer silent = Send({});
    EXPECT_EQ(silent.status(), 408);
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return trickle.state() == QAbstractSocket::UnconnectedState; }, 5000));
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 408 Request Timeout\r\n")) << answer.toStdString();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_LT(sent, request.size());
    EXPECT_EQ(FServer->Counts().TimedOut, 2u);
    ExpectServing();
}

TEST_F(JudgeServerTest, ConnectionsOverTheCapGetServiceUnavailable)
{
    TJudgeConfig config;
    config.Limits.Connections = 3;
    Start(config);
    // Three sources, each within its own cap of one.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 1; i <= 3; ++i)
        idle.push_back(IdleConnection("127.0.3." + QByteArray::number(i)));
    ASSERT_TRUE(testsupport::waitUntil([&] { return FServer->OpenConnections() == 3; }));
    for (int i = 0; i < 2; ++i) {
        const RawAnswer busy = Get();
        EXPECT_EQ(busy.status(), 503);
        EXPECT_TRUE(busy.closed);
        EXPECT_EQ(busy.body(), "503 Service Unavailable\n");
    }
    EXPECT_EQ(FServer->Counts().Busy, 2u);
    idle.clear();
    ASSERT_TRUE(testsupport::waitUntil([&] { return FServer->OpenConnections() == 0; }));
    ExpectServing();
}

TEST_F(JudgeServerTest, OneSourceHoldingItsCapLeavesTheOthersServed)
{
    TJudgeConfig config;
    config.Limits.Connections = 64; // a sixteenth: four per source
    Start(config);
    const QByteArray greedy = "127.0.29.1";
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 4; ++i)
        idle.push_back(IdleConnection(greedy));
    ASSERT_TRUE(testsupport::waitUntil([&] { return FServer->OpenConnections() == 4; }));
    // Its next one is refused at once, not left to time out.
    const RawAnswer more = Get({}, greedy);
    EXPECT_EQ(more.status(), 503);
    EXPECT_EQ(FServer->Counts().SourceBusy, 1u);
    for (const QByteArray from : {"127.0.0.1", "127.0.29.2"})
        EXPECT_EQ(Get({}, from).status(), 200) << from.toStdString();
    // Room comes back as the source lets go of a connection.
    idle.pop_back();
    ASSERT_TRUE(testsupport::waitUntil([&] { return FServer->OpenConnections() == 3; }));
    EXPECT_EQ(Get({}, greedy).status(), 200);
    EXPECT_EQ(FServer->Counts().Busy, 0u);
    idle.clear();
    ASSERT_TRUE(testsupport::waitUntil([&] { return FServer->OpenConnections() == 0; }));
}
