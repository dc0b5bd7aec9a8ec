// Servers written to break scrapers: endless or oversized headers, endless
// bodies, slow drips, relocation loops and tricks, resets and broken framing.
// Whatever they send, a request ends with exactly one completion and a clear
// status, and the client never holds more than the limits allow, by its own
// accounting of the bytes it holds. A run with one bot against a peer that
// answers empty, busy or drop by drop ends by itself.
#include "ClientProbe.h"
#include "analyser/CheckRun.h"
#include "leecher/SiteRun.h"
#include "net/HttpProt.h"
#include "net/LoopbackResolver.h"
#include "net/Wait.h"
#include "settings/Options.h"
#include "support/JudgePeer.h"
#include "support/NoSystemLookups.h"
#include "support/OriginServer.h"
#include "support/RecordingProxy.h"
#include "util/Limits.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace net;
using leecher::TSiteRun;
using testsupport::OriginServer;
using testsupport::Script;

namespace {

// The most a response may make the client hold: a full header, the
// bookkeeping of its listed lines, a held line, and the addresses a
// relocation computes.
constexpr qint64 HeldBound = limits::MaxHeaderBytes + limits::MaxHeaderLines * 64 +
                             2 * limits::MaxHeaderLineBytes + 4 * limits::MaxLocationBytes;

// One GET against a hostile peer, with the largest BytesHeld seen at any
// event of the client.
struct HostileGet
{
    HostileGet() : Probe(Client)
    {
        auto Sample = [this](THttpCli *C) { Peak = std::max(Peak, C->BytesHeld()); };
        Client.OnHeaderData = [this, Sample, Old = Client.OnHeaderData](THttpCli *C) {
            Sample(C);
            Old(C);
        };
        Client.OnDocData = [this, Sample, Old = Client.OnDocData](THttpCli *C, const char *B,
                                                                  qint32 L) {
            Sample(C);
            Old(C, B, L);
        };
        Client.OnCookie = [this, Sample](THttpCli *C, const QByteArray &, bool &) {
            ++Cookies;
            Sample(C);
        };
        Client.OnRequestDone = [this, Sample, Old = Client.OnRequestDone](
                                   THttpCli *C, THttpRequest Rq, quint16 Error) {
            Sample(C);
            Old(C, Rq, Error);
        };
    }

    // Fetches Path of the server answering with S; false when no completion
    // came at all.
    bool get(const Script &S, const QByteArray &Path = "/hostile")
    {
        Server.route(Path, S);
        Client.SetURL(Server.url(Path));
        Client.StartGet();
        if (!Probe.waitDone())
            return false;
        testsupport::spinFor(30); // a second completion would come now
        return true;
    }

    // Exactly one completion with this status and reason, within the bound.
    void expect(int Status, const QByteArray &Reason, quint16 Error = 0) const
    {
        EXPECT_EQ(Probe.Done, 1);
        EXPECT_EQ(Probe.Status, Status);
        EXPECT_EQ(Probe.Reason, Reason);
        EXPECT_EQ(Probe.LastError, Error);
        EXPECT_EQ(Client.State(), hsReady);
        EXPECT_LE(Peak, HeldBound);
    }

    OriginServer Server;
    THttpCli Client;
    ClientProbe Probe;
    qint64 Peak = 0;
    int Cookies = 0;
};

const QByteArray Ok = "HTTP/1.0 200 OK\r\n";

} // namespace

TEST(HostileHeader, EndlessLinesStopAtTheHeaderLimit)
{
    // 45-byte lines, then two-byte lines: the first hit the size, the
    // second the line count.
    const QByteArray Long = "X-Pad: " + QByteArray(36, 'a') + "\r\n";
    ASSERT_EQ(Long.size(), 45);
    {
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Ok).repeat(Long, -1)));
        H.expect(404, "HTTP header too large");
        EXPECT_LE(H.Client.ReceivedHeader().size(), limits::MaxHeaderLines);
    }
    {
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Ok).repeat("a\n", -1)));
        H.expect(404, "HTTP header too large");
        EXPECT_EQ(H.Client.ReceivedHeader().size(), limits::MaxHeaderLines);
    }
    {
        // Long lines within the line count still hit the size.
        HostileGet H;
        const QByteArray Big = "X-Big: " + QByteArray(8000, 'b') + "\r\n";
        ASSERT_TRUE(H.get(Script().send(Ok).repeat(Big, 20).send("\r\n")));
        H.expect(404, "HTTP header too large");
    }
}

TEST(HostileHeader, OneEndlessLineOrANulNeverEnds)
{
    {
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Ok + "X-Endless: ").repeat(QByteArray(1000, 'z'), -1)));
        H.expect(404, "HTTP line too long");
    }
    {
        // A NUL byte: refused at once, although the server keeps the line open.
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Ok + QByteArray("X-A: b\0c\r\n\r\nbody", 17)).keepOpen()));
        H.expect(404, "NUL byte in HTTP header");
        EXPECT_TRUE(H.Probe.Body.isEmpty());
    }
    {
        // A NUL in the bytes after the header belongs to the body.
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Ok + QByteArray("\r\nab\0cd", 7))));
        H.expect(200, "OK");
        EXPECT_EQ(H.Probe.Body, QByteArray("ab\0cd", 5));
    }
}

TEST(HostileHeader, StatusLineOfTheLongestSizeThatFits)
{
    // 8191 bytes and its LF fill the receive buffer exactly.
    const QByteArray Status = "HTTP/1.0 200 " + QByteArray(8191 - 13, 'r');
    ASSERT_EQ(Status.size(), 8191);
    {
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Status + "\n\nbody")));
        H.expect(200, QByteArray(8191 - 13, 'r'));
        EXPECT_EQ(H.Probe.Body, QByteArray("body"));
    }
    {
        // With CR LF it is one byte too long for the buffer.
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Status + "\r\n\r\nbody").keepOpen()));
        H.expect(404, "HTTP line too long");
    }
}

TEST(HostileHeader, ThousandCookiesAndEndlessChallenges)
{
    {
        HostileGet H;
        ASSERT_TRUE(
            H.get(Script().send(Ok).repeat("Set-Cookie: id=1; path=/\r\n", 1000).send("\r\nbody")));
        H.expect(404, "HTTP header too large");
        EXPECT_EQ(H.Cookies, limits::MaxHeaderLines - 1); // the status line is listed too
    }
    {
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Ok).repeat("WWW-Authenticate: Basic realm=x\r\n", -1)));
        H.expect(404, "Too many authentication challenges");
        EXPECT_EQ(H.Client.WWWAuthenticate().size(), limits::MaxAuthenticateValues);
    }
}

TEST(HostileHeader, ContentLengthThatIsNoSize)
{
    {
        HostileGet H;
        ASSERT_TRUE(
            H.get(Script().send(Ok + "Content-Length: 99999999999\r\n\r\nbody").keepOpen()));
        H.expect(404, "Invalid content-length '99999999999' in HTTP response");
    }
    {
        // A negative length is a number: the body is read up to the close.
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Ok + "Content-Length: -5\r\n\r\nbody")));
        H.expect(200, "OK");
        EXPECT_EQ(H.Client.ContentLength(), -5);
        EXPECT_EQ(H.Probe.Body, QByteArray("body"));
    }
}

TEST(HostileConnection, ResetsAndEarlyCloses)
{
    {
        HostileGet H;
        ASSERT_TRUE(H.get(Script().close()));
        H.expect(0, "");
        EXPECT_TRUE(H.Client.ReceivedHeader().isEmpty());
    }
    {
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Ok + "X-A: b\r\n").wait(20).reset()));
        H.expect(200, "OK", WSAECONNRESET);
        EXPECT_TRUE(H.Probe.hasEvent("HeaderEnd"));
        EXPECT_TRUE(H.Probe.Body.isEmpty());
    }
    {
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send(Ok + "\r\npart of it").wait(20).reset()));
        H.expect(200, "OK", WSAECONNRESET);
        EXPECT_EQ(H.Probe.Body, QByteArray("part of it"));
        EXPECT_TRUE(H.Probe.hasEvent("DocEnd"));
    }
}

TEST(HostileBody, EndlessBodyIsNeverHeldByTheClient)
{
    // The client hands pieces on and keeps none: after 4 MiB the caller
    // stops it.
    HostileGet H;
    qint64 Received = 0;
    H.Client.OnDocData = [&](THttpCli *C, const char *, qint32 L) {
        Received += L;
        H.Peak = std::max(H.Peak, C->BytesHeld());
        if (Received > 4 * 1024 * 1024)
            C->Abort();
    };
    ASSERT_TRUE(H.get(Script().send(Ok + "\r\n").repeat(QByteArray(16384, 'x'), -1)));
    H.expect(404, "Connection aborted on request", httperrAborted);
    EXPECT_LE(H.Peak, 2 * limits::MaxHeaderLineBytes + 64);
}

TEST(HostileBody, EndlessPageIsCutByTheLeechRunsPageCap)
{
    OriginServer Server;
    Server.route("/endless",
                 Script().send(Ok + "\r\n1.2.3.4:80 ").repeat(QByteArray(16384, 'x'), -1));
    Server.route("/fine", Script::response(200, "OK", {}, "5.6.7.8:3128"));
    QTemporaryDir Dir;
    leecher::TSiteList Sites{{Server.url("/endless"), {}, 0, leecher::ssIdle},
                             {Server.url("/fine"), {}, 0, leecher::ssIdle}};
    leecher::TProxyList Proxies;
    settings::TOptionValues Options;
    leecher::TRunInputValues Inputs;
    Inputs.bots = 1;
    leecher::TSiteRun Run(Sites, Proxies, Options, Inputs, Dir.path());
    Run.SetWaitInterval(50);
    Run.SetPageLimit(256 * 1024);
    int Finished = 0;
    QObject::connect(&Run, &leecher::TSiteRun::finished, &Run, [&] { ++Finished; });
    ASSERT_TRUE(Run.StartLeech());
    ASSERT_TRUE(testsupport::waitUntil([&] { return Finished == 1; }, 10000));
    EXPECT_EQ(Sites[0].State, leecher::ssBad);
    EXPECT_EQ(Sites[0].Status, QStringLiteral("404 - Connection aborted on request"));
    EXPECT_LE(Sites[0].BytesRead, 256 * 1024);
    EXPECT_EQ(Sites[1].State, leecher::ssFound);
    ASSERT_EQ(Proxies.size(), 1u);
}

TEST(HostileBody, SlowDripIsEndedByTheWaitTimer)
{
    // One byte per "second" (the wait timer's tick, shortened here): the
    // header never ends, nothing restarts the timer, and the request times
    // out as the runs' bots do.
    HostileGet H;
    auto *Wait = new TWait(&H.Client);
    Wait->SetInterval(40);
    Wait->SetCaption(QStringLiteral("3"));
    Wait->OnTimeout = [&](TWait *) { H.Client.Abort(); };
    Wait->Start();
    ASSERT_TRUE(H.get(Script().send(Ok + "X-Drip: ").repeat("d", -1, 40)));
    H.expect(404, "Connection aborted on request", httperrAborted);
    EXPECT_LE(H.Client.BytesHeld(), 1024);
}

// --- Runs against peers that never let go ----------------------------------

namespace {

// Wait-timer ticks of the run tests, and the whole-request deadline they set
// instead of the program's (ten times the timeout, at least 30 s).
constexpr quint16 Tick = 50;
constexpr qint64 TestDeadline = 500;
// A timeout of 200 ticks (10 s) that a drip never lets run out: only the
// deadline ends such a request within the runs' bound.
const QString LongTimeout = QStringLiteral("200");
constexpr int RunBound = 8000;

// Forever one unit every 40 ms, each piece restarting a leech bot's timer.
Script Drip(const QByteArray &Head, const QByteArray &Unit)
{
    return Script().send(Head).repeat(Unit, -1, 40);
}

} // namespace

TEST(HostileRun, TheLeechRunAndTheVerificationLetGoOfEverySite)
{
    const struct
    {
        const char *Name;
        Script Answer;
        bool Verify, RetryTimeout;
        const char *Timeout;
        const char *Status;
        leecher::TSiteState State;
        qsizetype Tries;
    } Cases[] = {
        {"always empty", Script::response(200, "OK", {}), false, false, "4", "200 - Empty answer",
         leecher::ssBad, 3},
        {"dead, timeouts repeated", Script().keepOpen(), false, true, "2", "Timeout",
         leecher::ssTimeout, 3},
        {"dead HEAD, timeouts repeated", Script().keepOpen(), true, true, "2", "Timeout",
         leecher::ssTimeout, 3},
        {"slow drip", Drip(Ok + "\r\n", "1.2.3.4:80 "), false, false, "200", "Timeout",
         leecher::ssTimeout, 1},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        OriginServer Server;
        Server.route("/hostile", C.Answer);
        Server.route("/fine", Script::response(200, "OK", {}, "5.6.7.8:3128"));
        QTemporaryDir Dir;
        leecher::TSiteList Sites{{Server.url("/hostile"), {}, 0, leecher::ssIdle},
                                 {Server.url("/fine"), {}, 0, leecher::ssIdle}};
        leecher::TProxyList Proxies;
        settings::TOptionValues Options;
        Options.retryTimeout = C.RetryTimeout;
        leecher::TRunInputValues Inputs;
        Inputs.bots = 1;
        Inputs.timeout = QString::fromLatin1(C.Timeout);
        TSiteRun Run(Sites, Proxies, Options, Inputs, Dir.path());
        Run.SetWaitInterval(Tick);
        Run.SetRequestDeadline(TestDeadline);
        int Finished = 0;
        QObject::connect(&Run, &TSiteRun::finished, &Run, [&] { ++Finished; });
        ASSERT_TRUE(C.Verify ? Run.StartVerify() : Run.StartLeech());
        ASSERT_TRUE(testsupport::waitUntil([&] { return Finished == 1; }, RunBound));
        EXPECT_EQ(Sites[0].Status, QLatin1StringView(C.Status));
        EXPECT_EQ(Sites[0].State, C.State);
        EXPECT_EQ(Sites[1].State, C.Verify ? leecher::ssFetched : leecher::ssFound);
        ASSERT_GE(Server.requests().size(), 2);
        EXPECT_EQ(Server.requests().size() - 1, C.Tries);
        EXPECT_EQ(Run.Progress(), 2);
        EXPECT_EQ(Proxies.size(), C.Verify ? 0u : 1u); // nothing of the hostile page
    }
}

TEST(HostileRun, TheCheckRunLetsGoOfEveryProxy)
{
    testsupport::JudgePeer Judge;
    const struct
    {
        const char *Name;
        Script Answer;
        const char *Status;
        qint32 State;
        qsizetype Tries;
        const char *Reply;
    } Cases[] = {
        {"always empty", testsupport::emptyOk(), "200 - Empty answer", analyser::psBad, 3,
         "[Good=1] [Bad=1] [Timeouts=0] [Retries=2]"},
        {"always busy", testsupport::serviceUnavailable(), "503 - Service Unavailable",
         analyser::psBad, 3, "[Good=1] [Bad=1] [Timeouts=0] [Retries=2]"},
        {"slow drip", Drip(Ok + "\r\n", "REMOTE_ADDR=1.2.3.4 "), "Timeout", analyser::psTimeout, 1,
         "[Good=1] [Bad=0] [Timeouts=1] [Retries=0]"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        testsupport::RecordingProxy Hostile, Forwarding;
        Hostile.answerWith(C.Answer);
        analyser::TAnalyserList List{{Hostile.host(), QByteArray::number(Hostile.port())},
                                     {Forwarding.host(), QByteArray::number(Forwarding.port())}};
        analyser::TCheckRunState State;
        analyser::TCheckInputValues Inputs;
        Inputs.bots = 1;
        Inputs.retry503 = true;
        Inputs.timeout = LongTimeout;
        Inputs.judgeURL = QString::fromLatin1(Judge.url("/judge"));
        analyser::TCheckRun Run(List, State, Inputs);
        Run.SetWaitInterval(Tick);
        Run.SetRequestDeadline(TestDeadline);
        QString Reply;
        QObject::connect(&Run, &analyser::TCheckRun::replyChanged, &Run,
                         [&](const QString &T) { Reply = T; });
        ASSERT_TRUE(Run.Start());
        ASSERT_TRUE(testsupport::waitUntil([&] { return !Run.IsRunning(); }, RunBound));
        EXPECT_EQ(List[0].Status, C.Status);
        EXPECT_EQ(List[0].State, C.State);
        EXPECT_EQ(Hostile.requests().size(), C.Tries);
        EXPECT_EQ(List[1].State, analyser::psGood);
        EXPECT_EQ(Reply, QLatin1StringView(C.Reply));
    }
}

// --- Relocations -----------------------------------------------------------

TEST(HostileRelocation, ALoopEndsAfterTheLimit)
{
    HostileGet H;
    ASSERT_TRUE(H.get(Script::response(302, "Found", {"Location: /loop"}), "/loop"));
    H.expect(404, "Too many relocations");
    EXPECT_EQ(H.Client.RelocationCount(), limits::MaxRelocations);
    EXPECT_EQ(H.Server.requests().size(), limits::MaxRelocations + 1);

    // The count starts again with the next request.
    H.Server.route("/a", Script::response(302, "Found", {"Location: /b"}));
    H.Server.route("/b", Script::response(200, "OK", {}, "b"));
    H.Client.SetURL(H.Server.url("/a"));
    H.Client.StartGet();
    ASSERT_TRUE(H.Probe.waitDone(2));
    EXPECT_EQ(H.Probe.Status, 200);
    EXPECT_EQ(H.Client.RelocationCount(), 1);
}

TEST(HostileRelocation, ManyLocationLinesAreBoundedAndLinear)
{
    // Every relative value is appended to the path of the one before: the
    // address would grow with the square of the header.
    const QByteArray Grow = "Location: " + QByteArray(100, 'g') + "/\r\n";
    {
        HostileGet H;
        ASSERT_TRUE(H.get(Script().send("HTTP/1.0 302 Found\r\n").repeat(Grow, 200).send("\r\n")));
        H.expect(404, "Relocation address too long");
        EXPECT_EQ(H.Server.requests().size(), 1);
    }
    {
        // Values that do not grow it: the last one counts.
        HostileGet H;
        H.Server.route("/dir/last", Script::response(200, "OK", {}, "arrived"));
        ASSERT_TRUE(H.get(Script()
                              .send("HTTP/1.0 302 Found\r\n")
                              .repeat("Location: again\r\n", 200)
                              .send("Location: last\r\n\r\n"),
                          "/dir/start"));
        H.expect(200, "OK");
        EXPECT_EQ(H.Probe.Body, QByteArray("arrived"));
    }
    {
        // One value that fits its header line but not the address limit.
        HostileGet H;
        const QByteArray Far = "Location: /" + QByteArray(8179, 'f');
        ASSERT_TRUE(H.get(Script::response(302, "Found", {Far})));
        H.expect(404, "Relocation address too long");
    }
}

TEST(HostileRelocation, UnsafeAddressesNeverReachTheWireNorTheResolver)
{
    const struct
    {
        const char *Name;
        QByteArray Location;
        const char *Reason; // nullptr: followed
        QByteArray Target;  // what the server was asked for next
    } Cases[] = {
        {"space and lone CR", "/a b\rX-Evil: 1", "Invalid relocation address", {}},
        {"tab inside", "/a\tb", "Invalid relocation address", {}},
        {"DEL", "/a\x7f", "Invalid relocation address", {}},
        {"space in the host", "http://bad host/x", "Invalid relocation address", {}},
        {"space in the port", "http://127.0.0.1:1 2/x", "Invalid relocation address", {}},
        // Found by fuzzing: raw bytes as the host once went to the system's
        // resolver and stalled the request.
        {"raw bytes as the host",
         "https://\377\377\377HTTP/1.p\37713x",
         "Invalid relocation address",
         {}},
        {"unencoded international name",
         "http://b\xc3\xbc"
         "cher.example/",
         "Invalid relocation address",
         {}},
        {"label too long",
         "http://" + QByteArray(64, 'a') + ".example/",
         "Invalid relocation address",
         {}},
        {"numbers that are no address", "http://1.2.300/", "Invalid relocation address", {}},
        {"empty label", "http://a..example/", "Invalid relocation address", {}},
        {"encoded international name",
         "http://xn--bcher-kva.example/",
         "can't resolve hostname to IP address",
         {}},
        {"space in the path", "/a b/c d", nullptr, "/a%20b/c%20d"},
        {"blanks around", " \t/trimmed \t", nullptr, "/trimmed"},
        {"relative with space", "next page.html", nullptr, "/dir/next%20page.html"},
    };
    const QByteArrayList &Asked = testsupport::loopbackResolver().Asked();
    for (const auto &C : Cases) {
        HostileGet H;
        H.Server.setDefault(Script::response(200, "OK", {}, "landed"));
        const qsizetype AskedBefore = Asked.size();
        ASSERT_TRUE(
            H.get(Script().send("HTTP/1.0 302 Found\r\nLocation: " + C.Location + "\r\n\r\n"),
                  "/dir/start"))
            << C.Name;
        if (C.Reason) {
            // Only a well-formed name is ever looked up.
            const bool Lookup = QByteArray(C.Reason).startsWith("can't resolve");
            H.expect(404, C.Reason, Lookup ? 11001 : 0);
            EXPECT_EQ(H.Server.requests().size(), 1) << C.Name;
            EXPECT_EQ(Asked.size() > AskedBefore, Lookup) << C.Name;
            continue;
        }
        H.expect(200, "OK");
        ASSERT_EQ(H.Server.requests().size(), 2) << C.Name;
        EXPECT_EQ(H.Server.requests()[1].target, C.Target) << C.Name;
        EXPECT_EQ(H.Server.requests()[1].lines.first(), "GET " + C.Target + " HTTP/1.0") << C.Name;
    }
}

TEST(HostileRelocation, CallerAddressesWithControlBytesOrBadHostsAreRefused)
{
    OriginServer Server;
    Server.setDefault(Script::response(200, "OK", {}, "x"));
    const struct
    {
        QByteArray Url, Proxy;
    } Bad[] = {
        {Server.url("/a\r\nX-Evil: 1"), {}},
        {Server.url(QByteArray("/a\0b", 4)), {}},
        {"http://\377\377/", {}},
        {"http://host.example/", "bad\377proxy:8080"},
        {"http://[::1/", Server.url("/")},
    };
    const QByteArrayList &Asked = testsupport::loopbackResolver().Asked();
    const qsizetype AskedBefore = Asked.size();
    for (const auto &B : Bad) {
        THttpCli Client;
        ClientProbe Probe(Client);
        Client.SetURL(B.Url);
        Client.SetProxy(B.Proxy);
        Client.StartGet();
        EXPECT_EQ(Probe.Done, 0);
        ASSERT_TRUE(Probe.waitDone());
        EXPECT_EQ(Probe.Status, 404);
        EXPECT_EQ(Probe.Reason, QByteArray("Invalid URL")) << B.Url.toPercentEncoding().constData();
    }
    EXPECT_EQ(Asked.size(), AskedBefore);
    EXPECT_TRUE(Server.requests().isEmpty());
    // A space in the path is sent encoded.
    THttpCli Client;
    ClientProbe Probe(Client);
    Client.SetURL(Server.url("/a b"));
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone());
    EXPECT_EQ(Probe.Status, 200);
    EXPECT_EQ(Server.requests().size(), 1);
    EXPECT_EQ(Server.requests()[0].target, QByteArray("/a%20b"));
}

TEST(HostileRelocation, ChallengesBelongToTheirOwnResponse)
{
    HostileGet H;
    H.Server.route("/b", Script::response(200, "OK", {}, "b"));
    ASSERT_TRUE(H.get(Script::response(302, "Found",
                                       {"WWW-Authenticate: Basic realm=one",
                                        "WWW-Authenticate: Basic realm=two", "Location: /b"}),
                      "/a"));
    H.expect(200, "OK");
    EXPECT_TRUE(H.Client.WWWAuthenticate().isEmpty());
}

// --- Credentials -----------------------------------------------------------

namespace {

QByteArray Basic(const QByteArray &User, const QByteArray &Pass)
{
    return "Basic " + (User + ':' + Pass).toBase64();
}

} // namespace

TEST(HostileCredentials, UrlCredentialsStayWithTheirHost)
{
    OriginServer Home, Elsewhere;
    Home.route("/start", Script::response(302, "Found", {"Location: /same"}));
    Home.route("/same", Script::response(302, "Found", {"Location: " + Elsewhere.url("/far")}));
    Elsewhere.route("/far", Script::response(200, "OK", {}, "far"));
    Home.route("/plain", Script::response(200, "OK", {}, "plain"));
    THttpCli Client;
    ClientProbe Probe(Client);
    Client.SetURL("http://bob:secret@" + Home.address() + "/start");
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone());
    EXPECT_EQ(Probe.Status, 200);
    ASSERT_EQ(Home.requests().size(), 2);
    EXPECT_EQ(Home.requests()[0].header("Authorization"), Basic("bob", "secret"));
    EXPECT_EQ(Home.requests()[1].header("Authorization"), Basic("bob", "secret"));
    ASSERT_EQ(Elsewhere.requests().size(), 1);
    EXPECT_FALSE(Elsewhere.requests()[0].hasHeader("Authorization"));

    // The next request starts from what the caller set: nothing.
    Client.SetURL(Home.url("/plain"));
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone(2));
    EXPECT_FALSE(Home.requests().last().hasHeader("Authorization"));
    EXPECT_TRUE(Client.Username().isEmpty());
}

TEST(HostileCredentials, ARelocationCannotPlantCredentialsForLater)
{
    OriginServer Home, OtherPort;
    Home.route(
        "/start",
        Script::response(302, "Found", {"Location: http://eve:planted@" + Home.address() + "/x"}));
    Home.route("/x", Script::response(302, "Found", {"Location: " + OtherPort.url("/y")}));
    OtherPort.setDefault(Script::response(200, "OK", {}, "y"));
    Home.route("/later", Script::response(200, "OK", {}, "later"));
    THttpCli Client;
    ClientProbe Probe(Client);
    Client.SetUsername("caller");
    Client.SetPassword("pw");
    Client.SetProxyUsername("proxy-user"); // no proxy: never sent, never touched
    Client.SetURL(Home.url("/start"));
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone());
    ASSERT_EQ(Home.requests().size(), 2);
    EXPECT_EQ(Home.requests()[0].header("Authorization"), Basic("caller", "pw"));
    // Planted for the same host and port only, then dropped at the next one.
    EXPECT_EQ(Home.requests()[1].header("Authorization"), Basic("eve", "planted"));
    ASSERT_EQ(OtherPort.requests().size(), 1);
    EXPECT_FALSE(OtherPort.requests()[0].hasHeader("Authorization"));

    Client.SetURL(Home.url("/later"));
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone(2));
    EXPECT_EQ(Home.requests().last().header("Authorization"), Basic("caller", "pw"));
    EXPECT_EQ(Client.Username(), QByteArray("caller"));
    EXPECT_EQ(Client.ProxyUsername(), QByteArray("proxy-user"));
}
