// Abort in every phase of an https request: one completion, the session and
// the tunnel's state gone at once, and the client ready for the next
// request. (The asan preset also checks that nothing leaks.)
#include "core/net/ClientProbe.h"
#include "net/HttpProt.h"
#include "net/TlsSession.h"
#include "support/OriginServer.h"
#include "support/SilentPort.h"
#include "support/TestCertificates.h"
#include "support/TlsFront.h"

#include <gtest/gtest.h>

#include <functional>

using namespace net;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::TestCertificates;
using testsupport::TlsFront;

TEST(TlsAbort, EveryPhaseEndsOnceAndDropsTheSession)
{
    const TestCertificates &Certs = TestCertificates::shared();
    ASSERT_TRUE(Certs.ok()) << Certs.error().toStdString();
    const QByteArray Page = "<html>1.1.1.1:1</html>";
    OriginServer Server;
    Server.route("/page", Script::response(200, "OK", {}, Page));
    Server.route("/slow",
                 Script().send("HTTP/1.0 200 OK\r\n\r\nfirst piece").wait(10000).send("late"));
    TlsFront Front(Server.port(), Certs.good());
    testsupport::SilentPort Silent;
    OriginServer MuteProxy; // takes CONNECT and never answers
    MuteProxy.setDefault(Script().keepOpen());
    const QByteArray SilentUrl = "https://127.0.0.1:" + QByteArray::number(Silent.port()) + "/";

    THttpCli Client;
    ClientProbe Probe(Client);
    const struct
    {
        const char *Phase;
        QByteArray Url;
        bool Proxied;
        std::function<bool()> Reached;
    } Phases[] = {
        {"lookup", Front.url("/page"), false, [&] { return Client.State() == hsDnsLookup; }},
        {"connect", SilentUrl, false, [&] { return Client.State() == hsDnsLookupDone; }},
        {"CONNECT", Front.url("/page"), true, [&] { return MuteProxy.requests().size() == 1; }},
        {"handshake", SilentUrl, false,
         [&] { return Client.State() == hsConnected && TTlsSession::LiveCount() == 1; }},
        {"body", Front.url("/slow"), false, [&] { return !Probe.Body.isEmpty(); }},
    };
    for (const auto &P : Phases) {
        SCOPED_TRACE(P.Phase);
        Probe.Done = 0;
        Probe.Body.clear();
        Client.SetProxy(P.Proxied ? QByteArray("127.0.0.1") : QByteArray());
        Client.SetProxyPort(QByteArray::number(MuteProxy.port()));
        Client.SetURL(P.Url);
        Client.StartGet();
        ASSERT_TRUE(testsupport::waitUntil(P.Reached));
        Client.Abort();
        EXPECT_EQ(TTlsSession::LiveCount(), 0);
        EXPECT_EQ(Probe.Done, 0); // comes through the event loop
        ASSERT_TRUE(Probe.waitDone());
        testsupport::spinFor(30);
        EXPECT_EQ(Probe.Done, 1);
        EXPECT_EQ(Probe.Status, 404);
        EXPECT_EQ(Probe.Reason, "Connection aborted on request");
        EXPECT_EQ(Probe.LastError, httperrAborted);
        EXPECT_LE(Client.BytesHeld(), 1024);

        // The same client fetches the next page as if nothing had happened.
        Probe.Done = 0;
        Probe.Body.clear();
        Client.SetProxy({});
        Client.SetURL(Front.url("/page"));
        Client.StartGet();
        ASSERT_TRUE(Probe.waitDone());
        EXPECT_EQ(Probe.Status, 200);
        EXPECT_EQ(Probe.Body, Page);
    }
}
