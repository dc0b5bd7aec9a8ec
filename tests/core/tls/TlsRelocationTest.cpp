// Relocations between http and https: the scheme of the new address is
// kept, credentials stay with the scheme, host and port they came with, and
// the relocation limit holds over TLS as well.
#include "core/net/ClientProbe.h"
#include "net/HttpProt.h"
#include "net/TlsSession.h"
#include "support/OriginServer.h"
#include "support/TestCertificates.h"
#include "support/TlsFront.h"
#include "util/Limits.h"

#include <gtest/gtest.h>

using namespace net;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::TestCertificates;
using testsupport::TlsFront;

namespace {

const QByteArray Page = "<html>9.8.7.6:80</html>";

Script MovedTo(const QByteArray &Location)
{
    return Script::response(302, "Found", {"Location: " + Location}, "moved");
}

struct TwoDoors
{
    TwoDoors() : Front(Server.port(), TestCertificates::shared().good()), Probe(Client)
    {
        Server.route("/page", Script::response(200, "OK", {}, Page));
    }
    bool get(const QByteArray &Url)
    {
        Client.SetURL(Url);
        Client.StartGet();
        if (!Probe.waitDone())
            return false;
        testsupport::spinFor(30);
        return Probe.Done == 1 && TTlsSession::LiveCount() == 0;
    }
    OriginServer Server; // serves plain and, through the front, over TLS
    TlsFront Front;
    THttpCli Client;
    ClientProbe Probe;
};

} // namespace

TEST(TlsRelocation, BetweenHttpAndHttpsBothWays)
{
    ASSERT_TRUE(TestCertificates::shared().ok())
        << TestCertificates::shared().error().toStdString();
    TwoDoors S;
    S.Server.route("/to-https", MovedTo(S.Front.url("/page")));
    ASSERT_TRUE(S.get(S.Server.url("/to-https")));
    EXPECT_EQ(S.Probe.Status, 200);
    EXPECT_EQ(S.Probe.Body, Page);
    EXPECT_EQ(S.Client.Location(), S.Front.url("/page"));
    EXPECT_TRUE(S.Probe.hasEvent("LocationChange:" + S.Front.url("/page").toStdString()));
    EXPECT_EQ(S.Front.handshakes(), 1);

    // A path, or a relative address, stays on https.
    TwoDoors T;
    T.Server.route("/secure/a", MovedTo("/page"));
    T.Server.route("/secure/b", MovedTo("a"));
    ASSERT_TRUE(T.get(T.Front.url("/secure/b")));
    EXPECT_EQ(T.Probe.Status, 200);
    EXPECT_EQ(T.Probe.Body, Page);
    EXPECT_EQ(T.Front.handshakes(), 3);
    EXPECT_EQ(T.Client.RelocationCount(), 2);

    // And back from https to plain http.
    TwoDoors U;
    U.Server.route("/to-http", MovedTo(U.Server.url("/page")));
    ASSERT_TRUE(U.get(U.Front.url("/to-http")));
    EXPECT_EQ(U.Probe.Status, 200);
    EXPECT_EQ(U.Probe.Body, Page);
    EXPECT_EQ(U.Front.handshakes(), 1);
    ASSERT_EQ(U.Server.requests().size(), 2);
    EXPECT_EQ(U.Server.requests()[1].header("Host"), "127.0.0.1");
}

TEST(TlsRelocation, CredentialsStayWithTheirSchemeAndTheLimitHolds)
{
    ASSERT_TRUE(TestCertificates::shared().ok());
    {
        // The same host and port over another scheme is another place: the
        // user's password is not carried into (or out of) TLS.
        TwoDoors S;
        S.Server.route("/login", MovedTo(S.Front.url("/page", "127.0.0.1")));
        ASSERT_TRUE(
            S.get("http://user:pw@127.0.0.1:" + QByteArray::number(S.Server.port()) + "/login"));
        EXPECT_EQ(S.Probe.Status, 200);
        ASSERT_EQ(S.Server.requests().size(), 2);
        EXPECT_TRUE(S.Server.requests()[0].hasHeader("Authorization"));
        EXPECT_FALSE(S.Server.requests()[1].hasHeader("Authorization"));
    }
    {
        // Within https they stay for the same host and port.
        TwoDoors S;
        S.Server.route("/login", MovedTo("/page"));
        QByteArray Url = S.Front.url("/login");
        Url.replace("https://", "https://user:pw@");
        ASSERT_TRUE(S.get(Url));
        ASSERT_EQ(S.Server.requests().size(), 2);
        EXPECT_EQ(S.Server.requests()[1].header("Authorization"),
                  "Basic " + QByteArray("user:pw").toBase64());
    }
    {
        TwoDoors S;
        S.Server.route("/loop", MovedTo(S.Front.url("/loop")));
        ASSERT_TRUE(S.get(S.Front.url("/loop")));
        EXPECT_EQ(S.Probe.Status, 404);
        EXPECT_EQ(S.Probe.Reason, "Too many relocations");
        EXPECT_EQ(S.Front.handshakes(), limits::MaxRelocations + 1);
    }
}
