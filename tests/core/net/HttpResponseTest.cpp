// Reading the answer: status lines, headers, headerless pages, body pieces,
// error pages and relocations.
#include "ClientProbe.h"
#include "net/HttpProt.h"
#include "support/OriginServer.h"
#include "support/RecordingProxy.h"

#include <QBuffer>

#include <gtest/gtest.h>

using namespace net;
using testsupport::HttpRequest;
using testsupport::OriginServer;
using testsupport::RecordingProxy;
using testsupport::Script;

namespace {

struct HttpResponseRead : ::testing::Test
{
    HttpResponseRead() : Probe(Client) {}
    // Fetches Path from the server answering with S.
    void get(const Script &S, const QByteArray &Path = "/")
    {
        Server.route(Path, S);
        Client.SetURL(Server.url(Path));
        Client.StartGet();
        ASSERT_TRUE(Probe.waitDone());
        testsupport::drainPosted();
        EXPECT_EQ(Probe.Done, 1) << "exactly one completion";
    }
    OriginServer Server;
    THttpCli Client;
    ClientProbe Probe;
};

} // namespace

TEST_F(HttpResponseRead, StatusLinesRecognisedOrNot)
{
    const struct
    {
        const char *Line;
        int Status;
        const char *Reason;
    } Cases[] = {{"HTTP/1.1 200 OK", 200, "OK"},       {"HTTP/1.0 404 Not Found", 404, "Not Found"},
                 {"HTTP/1.0 301 Moved", 301, "Moved"}, {"HTTP/1.2 200 OK", 0, ""},
                 {"http/1.0 200 OK", 0, ""},           {"HTTP/2 200 OK", 0, ""}};
    for (const auto &C : Cases) {
        THttpCli Fresh;
        ClientProbe P(Fresh);
        Server.route("/s", Script().send(QByteArray(C.Line) + "\r\nX: y\r\n\r\nbody"));
        Fresh.SetURL(Server.url("/s"));
        Fresh.StartGet();
        ASSERT_TRUE(P.waitDone()) << C.Line;
        EXPECT_EQ(P.Status, C.Status) << C.Line;
        EXPECT_EQ(P.Reason, QByteArray(C.Reason)) << C.Line;
        EXPECT_EQ(P.LastError, 0);
        EXPECT_EQ(Fresh.ReceivedHeader(), (QByteArrayList{C.Line, "X: y"}));
    }
}

TEST_F(HttpResponseRead, HeadersActedOn)
{
    bool CookieSeen = false;
    Client.OnCookie = [&](THttpCli *, const QByteArray &Data, bool &Accept) {
        EXPECT_EQ(Data, QByteArray("id=7; path=/"));
        EXPECT_TRUE(Accept);
        CookieSeen = true;
    };
    get(Script().send("HTTP/1.0 206 Partial\r\n"
                      "Content-Type: Text/HTML; Charset=X\r\n"
                      "Content-Range: bytes 10-19/100\r\n"
                      "Accept-Ranges:    bytes\r\n"
                      "WWW-Authenticate: Basic realm=\"r\"\r\n"
                      "Set-Cookie: id=7; path=/\r\n"
                      "Content-Length: 10\r\n"
                      "\r\n0123456789"));
    EXPECT_EQ(Client.ContentType(), QByteArray("text/html; charset=x"));
    EXPECT_EQ(Client.ContentRangeBegin(), QByteArray("10"));
    EXPECT_EQ(Client.ContentRangeEnd(), QByteArray("19"));
    EXPECT_EQ(Client.AcceptRanges(), QByteArray("bytes"));
    EXPECT_EQ(Client.WWWAuthenticate(), QByteArrayList{"Basic realm=\"r\""});
    EXPECT_EQ(Client.ContentLength(), 10);
    EXPECT_TRUE(CookieSeen);
    EXPECT_EQ(Probe.Body, QByteArray("0123456789"));
}

TEST_F(HttpResponseRead, EventsOfAPlainGetInOrder)
{
    std::vector<int> States;
    Client.OnStateChange = [&](THttpCli *S) { States.push_back(S->State()); };
    get(Script().send("HTTP/1.0 200 OK\r\nServer: t\r\n\r\n").wait(10).send("abc"));
    EXPECT_EQ(States, (std::vector<int>{hsNotConnected, hsDnsLookup, hsDnsLookupDone, hsConnected,
                                        hsWaitingHeader, hsWaitingBody, hsReady}));
    // The piece that came with the header may be empty; the text is all there.
    EXPECT_EQ(Probe.Body, QByteArray("abc"));
    const std::vector<std::string> Want = {"SessionConnected",
                                           "HeaderBegin",
                                           "HeaderData:HTTP/1.0 200 OK",
                                           "HeaderData:Server: t",
                                           "HeaderEnd",
                                           "DocBegin",
                                           "DocEnd",
                                           "RequestDone"};
    EXPECT_EQ(Probe.Events, Want);
    EXPECT_EQ(Probe.StateAtDone, hsReady);
    EXPECT_EQ(Probe.LastRq, httpGET);
}

TEST_F(HttpResponseRead, HeaderlessHtmlInAnyCase)
{
    get(Script().send("<hTmL><body>\r\nline two\nlast line without end"));
    EXPECT_EQ(Probe.Status, 0);
    EXPECT_EQ(Client.ContentType(), QByteArray("text/html"));
    EXPECT_EQ(Probe.Pieces,
              (std::vector<QByteArray>{"<hTmL><body>", "line two", "last line without end"}));
    EXPECT_FALSE(Probe.hasEvent("HeaderData:<hTmL><body>"));
}

TEST_F(HttpResponseRead, LargeBodyArrivesInBoundedPiecesEachFollowedByNul)
{
    QByteArray Body(20000, '\0');
    for (int I = 0; I < Body.size(); ++I)
        Body[I] = char((I * 7 + 3) % 256); // binary, NUL bytes included
    QBuffer Copy;
    Copy.open(QIODevice::WriteOnly);
    Client.SetBodyStream(&Copy);
    get(Script().send("HTTP/1.0 200 OK\r\n\r\n").sendInPieces(Body, 3000, 1));
    EXPECT_EQ(Probe.Body, Body);
    EXPECT_EQ(Copy.data(), Body);
    EXPECT_EQ(Client.RcvdCount(), 20000);
    EXPECT_GE(Probe.Pieces.size(), 3u);
    for (const QByteArray &P : Probe.Pieces)
        EXPECT_LE(P.size(), 8192);
    EXPECT_TRUE(Probe.NulAfterEveryPiece);
}

TEST_F(HttpResponseRead, ContentLengthZeroEndsAtTheHeaderAndTheNextRequestClosesTheConnection)
{
    Server.route("/zero", Script()
                              .send("HTTP/1.0 204 No Content\r\nContent-Length: 0\r\n\r\n"
                                    "junk after the end\r\n")
                              .keepOpen());
    Server.route("/next", Script::response(200, "OK", {}, "second"));
    Client.SetURL(Server.url("/zero"));
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone());
    EXPECT_EQ(Probe.Status, 204);
    EXPECT_TRUE(Probe.Body.isEmpty());
    EXPECT_EQ(Server.closedByPeerCount(), 0); // still open

    Client.SetURL(Server.url("/next"));
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone(2));
    ASSERT_TRUE(testsupport::waitUntil([&] { return Server.closedByPeerCount() == 1; }));
    testsupport::drainPosted();
    EXPECT_EQ(Probe.Done, 2);
    EXPECT_EQ(Probe.Status, 200);
    EXPECT_EQ(Probe.Body, QByteArray("second"));
}

TEST_F(HttpResponseRead, ErrorStatusDeliversOnlyWhatCameWithTheHeader)
{
    // The server would go on; the client closes right behind the header.
    get(Script().send("HTTP/1.0 404 Not Found\r\n\r\nfirst part").keepOpen());
    EXPECT_TRUE(testsupport::waitUntil([&] { return Server.closedByPeerCount() == 1; }));
    EXPECT_EQ(Probe.Status, 404);
    EXPECT_EQ(Probe.Reason, QByteArray("Not Found"));
    EXPECT_EQ(Probe.Body, QByteArray("first part"));
    EXPECT_EQ(Probe.LastError, 0);
}

TEST_F(HttpResponseRead, HeadAnswerWithoutBody)
{
    Server.route("/h", Script().send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n"));
    Client.SetURL(Server.url("/h"));
    Client.StartHead();
    ASSERT_TRUE(Probe.waitDone());
    EXPECT_EQ(Server.requests().last().method, QByteArray("HEAD"));
    EXPECT_EQ(Probe.Status, 200);
    EXPECT_EQ(Probe.LastRq, httpHEAD);
    EXPECT_TRUE(Probe.Body.isEmpty());
}

// --- Relocations -----------------------------------------------------------

TEST_F(HttpResponseRead, RelocationsOfEveryKindAreFollowedWithoutCompletionsBetween)
{
    OriginServer Other;
    Other.route("/far", Script::response(200, "OK", {}, "far away"));
    const QByteArray Absolute = Other.url("/far");
    const struct
    {
        const char *Name;
        int Status;
        QByteArray Location;
        QByteArray From;
        QByteArray Expect; // target requested after the relocation
    } Cases[] = {
        {"path", 302, "/b", "/a", "/b"},
        {"200 with location", 200, "/b", "/a", "/b"},
        {"relative", 301, "c2?x=1", "/dir/a?q=/z", "/dir/c2?x=1"},
        {"absolute", 302, Absolute, "/a", "/far"},
    };
    for (const auto &C : Cases) {
        THttpCli Fresh;
        ClientProbe P(Fresh);
        OriginServer S;
        S.route(C.From,
                Script::response(C.Status, "Moved", {"Location: " + C.Location}, "ignored"));
        S.setDefault(Script::response(200, "OK", {}, "arrived"));
        Fresh.SetURL(S.url(C.From));
        Fresh.StartGet();
        ASSERT_TRUE(P.waitDone()) << C.Name;
        testsupport::drainPosted();
        EXPECT_EQ(P.Done, 1) << C.Name;
        EXPECT_EQ(P.Status, 200) << C.Name;
        EXPECT_EQ(P.Events.front(), "SessionConnected");
        EXPECT_EQ(std::count(P.Events.begin(), P.Events.end(), std::string("SessionConnected")), 2)
            << C.Name;
        const OriginServer &Answered = C.Location == Absolute ? Other : S;
        ASSERT_FALSE(Answered.requests().isEmpty()) << C.Name;
        EXPECT_EQ(Answered.requests().last().target, C.Expect) << C.Name;
        EXPECT_FALSE(P.Body.contains("ignored")) << C.Name;
        EXPECT_EQ(Fresh.ReceivedHeader().first(), QByteArray("HTTP/1.0 200 OK")) << C.Name;
    }
}

TEST_F(HttpResponseRead, RedirectChainEndsAtTheLastAddress)
{
    Server.route("/1", Script::response(302, "Found", {"Location: /2"}));
    Server.route("/2", Script::response(302, "Found", {"Location: 3"}));
    Server.route("/3", Script::response(200, "OK", {}, "end of chain"));
    get(Script::response(302, "Found", {"Location: /1"}), "/0");
    EXPECT_EQ(Probe.Body, QByteArray("end of chain"));
    EXPECT_EQ(Client.Location(), Server.url("/3"));
    EXPECT_EQ(Server.requests().size(), 4);
    EXPECT_EQ(
        std::count_if(Probe.Events.begin(), Probe.Events.end(),
                      [](const std::string &E) { return E.rfind("LocationChange:", 0) == 0; }),
        3);
}

TEST_F(HttpResponseRead, RedirectLoopIsEndedByAbort)
{
    Server.route("/loop", Script::response(302, "Found", {"Location: /loop"}));
    int Changes = 0;
    Client.OnLocationChange = [&](THttpCli *C) {
        if (++Changes == 5)
            C->Abort();
    };
    get(Script::response(302, "Found", {"Location: /loop"}), "/loop");
    EXPECT_EQ(Probe.LastError, httperrAborted);
    EXPECT_EQ(Probe.Status, 404);
    EXPECT_EQ(Server.requests().size(), 5); // the queued reconnect did nothing
}

TEST(HttpProxiedRelocation, TheNewPathStillGoesThroughTheProxy)
{
    OriginServer Origin;
    Origin.route("/a", Script::response(302, "Found", {"Location: /b"}));
    Origin.route("/b", Script::response(200, "OK", {}, "b"));
    RecordingProxy Proxy;
    THttpCli Client;
    ClientProbe Probe(Client);
    Client.SetURL(Origin.url("/a"));
    Client.SetProxy(Proxy.address());
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone());
    ASSERT_EQ(Proxy.requests().size(), 2);
    EXPECT_EQ(Proxy.requests()[1].target, Origin.url("/b"));
    EXPECT_EQ(Probe.Body, QByteArray("b"));
}

TEST(HttpProxiedRelocation, RelativeToAnAddressWithoutPathKeepsTheHost)
{
    RecordingProxy Proxy;
    Proxy.setResponder([](const HttpRequest &R) -> std::optional<Script> {
        if (R.target == "http://site.test")
            return Script::response(302, "Found", {"Location: next.html"});
        return Script::response(200, "OK", {}, "next");
    });
    THttpCli Client;
    ClientProbe Probe(Client);
    Client.SetURL("http://site.test");
    Client.SetProxy(Proxy.address());
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone());
    ASSERT_EQ(Proxy.requests().size(), 2);
    EXPECT_EQ(Proxy.requests()[1].target, QByteArray("http://site.test/next.html"));
}

TEST(HttpProxiedRelocation, AbsoluteToAnotherHostAndPortStillGoesThroughTheProxy)
{
    OriginServer First, Second;
    const QByteArray Far = "http://localhost:" + QByteArray::number(Second.port()) + "/far?x=1";
    First.route("/a", Script::response(302, "Found", {"Location: " + Far}));
    Second.route("/far?x=1", Script::response(200, "OK", {}, "far away"));
    RecordingProxy Proxy;
    THttpCli Client;
    ClientProbe Probe(Client);
    Client.SetURL(First.url("/a"));
    Client.SetProxy(Proxy.address());
    Client.SetProxyUsername("user");
    Client.SetProxyPassword("pass");
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone());
    testsupport::drainPosted();
    EXPECT_EQ(Probe.Done, 1);
    EXPECT_EQ(Probe.Status, 200);
    EXPECT_EQ(Probe.Body, QByteArray("far away"));
    EXPECT_EQ(Client.Location(), Far);
    // Both requests went to the proxy, the second naming the new host and port.
    ASSERT_EQ(Proxy.requests().size(), 2);
    const HttpRequest &Relocated = Proxy.requests()[1];
    EXPECT_EQ(Relocated.target, Far);
    EXPECT_EQ(Relocated.header("Host"), QByteArray("localhost"));
    EXPECT_EQ(Relocated.header("Proxy-Authorization"), QByteArray("Basic dXNlcjpwYXNz"));
    ASSERT_EQ(Second.requests().size(), 1);
    EXPECT_EQ(Second.requests()[0].target, QByteArray("/far?x=1"));
}

// --- DocumentName ----------------------------------------------------------

TEST_F(HttpResponseRead, DocumentNameFromThePathAndTheExeRule)
{
    const struct
    {
        QByteArray Path;
        QByteArray ContentType; // empty: no such header
        QByteArray AtStart;     // derived from the address alone
        QByteArray Want;        // once the header has come
    } Cases[] = {
        {"/dir/setup.exe", "text/html", "setup.exe", "setup.htm"},
        {"/dir/SETUP.EXE", "Text/HTML", "SETUP.EXE", "SETUP.htm"},
        {"/dir/setup.exe", "application/octet-stream", "setup.exe", "setup.exe"},
        {"/dir/page", "text/html", "page", "page.htm"},
        {"/dir/page", "", "page", "page"},
        {"/dir/page.php?next=/a/b.exe", "text/html", "page.php", "page.php"},
        {"/dir/", "text/html", "document.htm", "document.htm"},
        {"/dir/archive.tar.exe", "text/html", "archive.tar.exe", "archive.tar.htm"},
        // Only "text/html" itself counts.
        {"/dir/page", "text/html; charset=utf-8", "page", "page"},
    };
    for (const auto &C : Cases) {
        THttpCli Fresh;
        ClientProbe P(Fresh);
        QList<QByteArray> Headers;
        if (!C.ContentType.isEmpty())
            Headers << "Content-Type: " + C.ContentType;
        Server.route(C.Path, Script::response(200, "OK", Headers, "x"));
        Fresh.SetURL(Server.url(C.Path));
        Fresh.StartGet();
        EXPECT_EQ(Fresh.DocumentName(), C.AtStart) << C.Path.constData();
        ASSERT_TRUE(P.waitDone()) << C.Path.constData();
        EXPECT_EQ(Fresh.DocumentName(), C.Want) << C.Path.constData();
    }
}

TEST_F(HttpResponseRead, DocumentNameFollowsARelocationWithoutItsFragment)
{
    Server.route("/moved", Script::response(302, "Found", {"Location: /new/file.EXE#part"}));
    Server.route("/new/file.EXE#part",
                 Script::response(200, "OK", {"Content-Type: text/html"}, "page"));
    QByteArray AtChange;
    Client.OnLocationChange = [&](THttpCli *C) { AtChange = C->DocumentName(); };
    get(Script::response(302, "Found", {"Location: /moved"}), "/start.html");
    EXPECT_EQ(Probe.Status, 200);
    EXPECT_EQ(AtChange, QByteArray("file.EXE"));
    EXPECT_EQ(Client.DocumentName(), QByteArray("file.htm"));
}
