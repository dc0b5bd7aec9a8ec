// How requests fail: refused, unresolvable, hostile answers, Abort in every
// phase, misuse, and freeing the client from its own completion.
#include "ClientProbe.h"
#include "net/HttpProt.h"
#include "support/OriginServer.h"
#include "support/RefusedPort.h"
#include "support/SilentPort.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <memory>

using namespace net;
using testsupport::drainPosted;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::waitUntil;

namespace {

struct Outcome
{
    int Status;
    const char *Reason; // nullptr: any text other than a status line's
    quint16 Error;
};

// Runs one GET of Url and checks that exactly one completion came, with the
// expected outcome.
void ExpectOutcome(const QByteArray &Url, const Outcome &Want, const char *Name)
{
    THttpCli Client;
    ClientProbe Probe(Client);
    Client.SetURL(Url);
    Client.StartGet();
    EXPECT_EQ(Probe.Done, 0) << Name << ": completion inside StartGet";
    ASSERT_TRUE(Probe.waitDone()) << Name;
    drainPosted();
    EXPECT_EQ(Probe.Done, 1) << Name;
    EXPECT_EQ(Probe.Status, Want.Status) << Name;
    if (Want.Reason) {
        EXPECT_EQ(Probe.Reason, QByteArray(Want.Reason)) << Name;
    } else {
        EXPECT_FALSE(Probe.Reason.isEmpty()) << Name;
    }
    EXPECT_EQ(Probe.LastError, Want.Error) << Name;
    EXPECT_EQ(Client.State(), hsReady) << Name;
}

} // namespace

TEST(HttpFailures, ConnectionAndLookupFailures)
{
    testsupport::RefusedPort Refused;
    ExpectOutcome(Refused.url("/x"), {404, "Connection refused (Error #10061)", 10061}, "refused");
    ExpectOutcome("http:///nohost", {404, "can't resolve hostname to IP address", 10022}, "empty");
    ExpectOutcome("", {404, "can't resolve hostname to IP address", 10022}, "empty URL");
    ExpectOutcome("http://unknown.invalid/", {404, "can't resolve hostname to IP address", 11001},
                  "unknown host");
    ExpectOutcome("http://127.0.0.1:abc/",
                  {404,
                   "can't connect: connect: WSocketResolvePort: Cannot convert port 'abc', "
                   "Error #11004",
                   10022},
                  "bad port");
}

TEST(HttpFailures, HostileAnswersEndWithOneClearCompletion)
{
    OriginServer Server;
    const QByteArray LongLine = "X-Long: " + QByteArray(9000, 'a') + "\r\n";
    const struct
    {
        const char *Name;
        Script Answer;
        Outcome Want;
    } Cases[] = {
        {"line too long",
         Script().send("HTTP/1.0 200 OK\r\n" + LongLine + "\r\nbody").keepOpen(),
         {404, "HTTP line too long", 0}},
        {"status not a number",
         Script().send("HTTP/1.0 2x0 OK\r\n\r\nbody").keepOpen(),
         {404, "Invalid status code '2x0' in HTTP response", 0}},
        {"content-length not a number",
         Script().send("HTTP/1.0 200 OK\r\nContent-Length: 12ab\r\n\r\nbody").keepOpen(),
         {404, "Invalid content-length '12ab' in HTTP response", 0}},
        {"content-length too big",
         Script().send("HTTP/1.0 200 OK\r\nContent-Length: 99999999999\r\n\r\n").keepOpen(),
         {404, nullptr, 0}},
        {"closed without any header", Script().close(), {0, "", 0}},
        {"reset in the body",
         Script().send("HTTP/1.0 200 OK\r\n\r\npart").wait(20).reset(),
         {200, "OK", 10054}},
        {"NUL before the line end",
         Script().send(QByteArray("HTTP/1.0 200 OK\0\r\n\r\n", 21)),
         {404, "NUL byte in HTTP header", 0}},
    };
    int Index = 0;
    for (const auto &C : Cases) {
        const QByteArray Path = "/case" + QByteArray::number(Index++);
        Server.route(Path, C.Answer);
        ExpectOutcome(Server.url(Path), C.Want, C.Name);
    }
}

TEST(HttpFailures, BrokenPipeWhileSendingEndsOnce)
{
    // The peer takes the connection, reads nothing and resets it while the
    // client is in the middle of a large body: the failing send ends the
    // request with the reset's code, exactly once, and the body is never
    // reported as sent.
    testsupport::SilentPort Peer;
    QByteArray Payload(8 * 1024 * 1024, 'p');
    QBuffer Stream(&Payload);
    Stream.open(QIODevice::ReadOnly);
    THttpCli Client;
    ClientProbe Probe(Client);
    qint64 Sent = 0;
    int Ends = 0;
    bool Reset = false;
    Client.OnSendData = [&](THttpCli *, const char *, qint32 Len) {
        Sent += Len;
        if (!Reset && Sent > 256 * 1024)
            Reset = Peer.resetNext();
    };
    Client.OnSendEnd = [&](THttpCli *) { ++Ends; };
    Client.SetPostStream(&Stream);
    Client.SetURL(Peer.url("/upload"));
    Client.StartPost();
    ASSERT_TRUE(Probe.waitDone());
    testsupport::spinFor(30);
    EXPECT_TRUE(Reset);
    EXPECT_EQ(Probe.Done, 1);
    EXPECT_EQ(Probe.LastError, WSAECONNRESET);
    EXPECT_EQ(Probe.Status, 0);
    EXPECT_EQ(Probe.LastRq, httpPOST);
    EXPECT_EQ(Ends, 0);
    EXPECT_LT(Sent, Payload.size());

    // The client is as good as new.
    OriginServer Fine;
    Fine.setDefault(Script::response(200, "OK", {}, "fine"));
    Client.SetURL(Fine.url("/"));
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone(2));
    EXPECT_EQ(Probe.Status, 200);
    EXPECT_EQ(Probe.LastError, 0);
}

TEST(HttpAbort, IdleClientRaisesNothing)
{
    THttpCli Client;
    ClientProbe Probe(Client);
    Client.Abort();
    drainPosted();
    EXPECT_EQ(Probe.Done, 0);
    EXPECT_EQ(Client.State(), hsReady);
}

namespace {

enum class Phase {
    Lookup,
    Connect,
    WaitingHeader,
    InsideHeaderData,
    WaitingBody,
    InsideDocData,
    QueuedReconnect
};

struct AbortCase
{
    const char *Name;
    Phase When;
};

class HttpAbortPhase : public ::testing::TestWithParam<AbortCase>
{
};

} // namespace

TEST_P(HttpAbortPhase, ExactlyOneCompletionAfterAbortReturns)
{
    const AbortCase C = GetParam();
    OriginServer Server;
    Server.route("/stall", Script().keepOpen());
    Server.route("/head", Script().send("HTTP/1.0 200 OK\r\nA: b\r\n").keepOpen());
    Server.route("/body", Script().send("HTTP/1.0 200 OK\r\n\r\nsome body").keepOpen());
    Server.route("/moved", Script::response(302, "Found", {"Location: /stall"}));
    THttpCli Client;
    ClientProbe Probe(Client);
    bool Aborted = false;
    auto AbortNow = [&](THttpCli *Cl) {
        if (Aborted)
            return;
        Aborted = true;
        Cl->Abort();
        EXPECT_EQ(Probe.Done, 0) << "completion inside Abort";
        EXPECT_EQ(Cl->State(), hsReady);
    };

    QByteArray Path = "/stall";
    switch (C.When) {
    case Phase::Lookup:
        Client.SetURL("http://localhost:" + QByteArray::number(Server.port()) + "/stall");
        Client.StartGet();
        EXPECT_EQ(Client.State(), hsDnsLookup);
        AbortNow(&Client);
        break;
    case Phase::Connect:
        Client.SetURL(Server.url("/stall"));
        Client.StartGet();
        EXPECT_EQ(Client.State(), hsDnsLookupDone);
        AbortNow(&Client);
        break;
    case Phase::WaitingHeader:
        Client.SetURL(Server.url("/stall"));
        Client.StartGet();
        ASSERT_TRUE(waitUntil([&] { return Server.requests().size() == 1; }));
        EXPECT_EQ(Client.State(), hsWaitingHeader);
        AbortNow(&Client);
        break;
    case Phase::InsideHeaderData:
        Client.OnHeaderData = [&](THttpCli *Cl) { AbortNow(Cl); };
        Path = "/head";
        break;
    case Phase::WaitingBody:
        Client.OnDocData = [&](THttpCli *, const char *, qint32 Len) {
            if (Len > 0)
                Probe.Body += "seen";
        };
        Client.SetURL(Server.url("/body"));
        Client.StartGet();
        ASSERT_TRUE(waitUntil([&] { return !Probe.Body.isEmpty(); }));
        EXPECT_EQ(Client.State(), hsWaitingBody);
        AbortNow(&Client);
        break;
    case Phase::InsideDocData:
        Client.OnDocData = [&](THttpCli *Cl, const char *, qint32 Len) {
            if (Len > 0)
                AbortNow(Cl);
        };
        Path = "/body";
        break;
    case Phase::QueuedReconnect:
        Client.OnLocationChange = [&](THttpCli *Cl) { AbortNow(Cl); };
        Path = "/moved";
        break;
    }
    if (!Aborted) {
        Client.SetURL(Server.url(Path));
        Client.StartGet();
    }
    ASSERT_TRUE(Probe.waitDone());
    testsupport::spinFor(20);
    EXPECT_TRUE(Aborted);
    EXPECT_EQ(Probe.Done, 1);
    EXPECT_EQ(Probe.LastError, httperrAborted);
    EXPECT_EQ(Probe.Status, 404);
    EXPECT_EQ(Probe.Reason, QByteArray("Connection aborted on request"));
    if (C.When == Phase::QueuedReconnect) {
        EXPECT_EQ(Server.requests().size(), 1);
    }

    // The client is as good as new.
    Server.route("/ok", Script::response(200, "OK", {}, "again"));
    Client.OnHeaderData = nullptr;
    Client.OnDocData = nullptr;
    Client.OnLocationChange = nullptr;
    Client.SetURL(Server.url("/ok"));
    Client.StartGet();
    ASSERT_TRUE(Probe.waitDone(2));
    EXPECT_EQ(Probe.Status, 200);
    EXPECT_EQ(Probe.LastError, 0);
}

INSTANTIATE_TEST_SUITE_P(Http, HttpAbortPhase,
                         ::testing::Values(AbortCase{"Lookup", Phase::Lookup},
                                           AbortCase{"Connect", Phase::Connect},
                                           AbortCase{"WaitingHeader", Phase::WaitingHeader},
                                           AbortCase{"InsideHeaderData", Phase::InsideHeaderData},
                                           AbortCase{"WaitingBody", Phase::WaitingBody},
                                           AbortCase{"InsideDocData", Phase::InsideDocData},
                                           AbortCase{"QueuedReconnect", Phase::QueuedReconnect}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST(HttpMisuse, StartWhileBusyIsRefusedAndLeavesTheRequestAlone)
{
    OriginServer Server;
    Server.setDefault(Script::response(200, "OK", {}, "one").wait(30));
    THttpCli Client;
    ClientProbe Probe(Client);
    Client.SetURL(Server.url("/"));
    Client.StartGet();
    try {
        Client.StartHead();
        FAIL() << "no exception";
    } catch (const EHttpException &E) {
        EXPECT_EQ(E.ErrorCode(), 1);
        EXPECT_EQ(E.Message(), QByteArray("HTTP component is busy"));
    }
    ASSERT_TRUE(Probe.waitDone());
    drainPosted();
    EXPECT_EQ(Probe.Done, 1);
    EXPECT_EQ(Probe.Status, 200);
    EXPECT_EQ(Probe.Body, QByteArray("one"));
}

TEST(HttpLifetime, CompletionHandlerMayRestartReattachOrFreeTheClient)
{
    OriginServer Server;
    Server.setDefault(Script::response(200, "OK", {}, "page"));
    auto *Client = new THttpCli;
    Client->SetURL(Server.url("/"));
    Client->SetSocksUsercode("42");
    int Rounds = 0;
    bool Freed = false;
    QByteArray Tags;
    THttpCli::THttpRequestDone Last = [&](THttpCli *C, THttpRequest, quint16) {
        Tags += C->SocksUsercode();
        delete C; // the owner releases the bot
        Freed = true;
    };
    Client->OnRequestDone = [&](THttpCli *C, THttpRequest, quint16 Error) {
        EXPECT_EQ(Error, 0);
        EXPECT_EQ(C->State(), hsReady);
        if (++Rounds == 3)
            C->OnRequestDone = Last; // reattached from inside the handler
        C->StartGet();               // the next request at once
    };
    Client->StartGet();
    ASSERT_TRUE(waitUntil([&] { return Freed; }));
    drainPosted();
    EXPECT_EQ(Rounds, 3);
    EXPECT_EQ(Tags, QByteArray("42"));
    EXPECT_EQ(Server.requests().size(), 4);
}

TEST(HttpLifetime, FreeingABusyClientRaisesNothing)
{
    OriginServer Server;
    Server.setDefault(Script().keepOpen());
    int Done = 0;
    {
        THttpCli Client;
        Client.OnRequestDone = [&](THttpCli *, THttpRequest, quint16) { ++Done; };
        Client.SetURL(Server.url("/"));
        Client.StartGet();
        ASSERT_TRUE(waitUntil([&] { return Server.requests().size() == 1; }));
    }
    drainPosted();
    EXPECT_EQ(Done, 0);
    EXPECT_TRUE(waitUntil([&] { return Server.closedByPeerCount() == 1; }));
}
