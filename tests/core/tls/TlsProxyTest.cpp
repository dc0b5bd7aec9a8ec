// "https" addresses through a proxy: CONNECT, then TLS inside the tunnel.
// A scripted proxy for what a refusal or a broken answer does, and a real
// tinyproxy for the tunnel itself.
#include "core/net/ClientProbe.h"
#include "net/HttpProt.h"
#include "net/TlsSession.h"
#include "support/OriginServer.h"
#include "support/TestCertificates.h"
#include "support/Tinyproxy.h"
#include "support/TlsFront.h"

#include <gtest/gtest.h>

using namespace net;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::TestCertificates;
using testsupport::Tinyproxy;
using testsupport::TlsFront;

namespace {

const QByteArray Page = "<html><body>5.6.7.8:3128</body></html>";

struct ProxiedFetch
{
    ProxiedFetch(const QByteArray &Proxy, const QByteArray &Port) : Probe(Client)
    {
        Client.SetProxy(Proxy);
        Client.SetProxyPort(Port);
    }
    bool get(const QByteArray &Url)
    {
        Probe.Done = 0;
        Client.SetURL(Url);
        Client.StartGet();
        if (!Probe.waitDone(1, 10000))
            return false;
        testsupport::spinFor(30);
        return Probe.Done == 1 && Client.State() == hsReady && TTlsSession::LiveCount() == 0;
    }
    THttpCli Client;
    ClientProbe Probe;
};

} // namespace

TEST(TlsProxy, ConnectRequestAndTheProxysRefusal)
{
    OriginServer Proxy;
    Proxy.setDefault(Script::response(403, "Forbidden", {"Content-Type: text/html"}, "no"));
    ProxiedFetch F("127.0.0.1", QByteArray::number(Proxy.port()));
    F.Client.SetProxyUsername("user");
    F.Client.SetProxyPassword("secret");
    ASSERT_TRUE(F.get("https://secure.example/list?page=2"));
    // The refusal is the outcome, as an HTTP error answer is.
    EXPECT_EQ(F.Probe.Status, 403);
    EXPECT_EQ(F.Probe.Reason, "Forbidden");
    EXPECT_EQ(F.Probe.LastError, 0);
    EXPECT_TRUE(F.Probe.Body.isEmpty());
    EXPECT_FALSE(F.Probe.hasEvent("HeaderBegin"));

    // One CONNECT to the default port with the proxy's credentials, and
    // nothing of the page's address but host and port.
    ASSERT_EQ(Proxy.requests().size(), 1);
    const testsupport::HttpRequest &R = Proxy.requests()[0];
    EXPECT_EQ(R.method, "CONNECT");
    EXPECT_EQ(R.target, "secure.example:443");
    EXPECT_EQ(R.version, "HTTP/1.0");
    EXPECT_EQ(R.header("Host"), "secure.example:443");
    EXPECT_EQ(R.header("Proxy-Authorization"), "Basic " + QByteArray("user:secret").toBase64());
    EXPECT_FALSE(R.raw.contains("list"));

    // Asking again on the same client works the same way.
    ASSERT_TRUE(F.get("https://secure.example:8443/"));
    EXPECT_EQ(F.Probe.Status, 403);
    EXPECT_EQ(Proxy.requests().last().target, "secure.example:8443");
}

TEST(TlsProxy, BrokenAnswersToConnect)
{
    const struct
    {
        Script Answer;
        QByteArray Reason;
    } Cases[] = {
        {Script().close(), "Proxy closed the connection before answering CONNECT (connection "
                           "closed by peer)"},
        {Script().send("HTTP/1.0 200 Connection established\r\nX-A: b\r\n").close(),
         "Proxy closed the connection before answering CONNECT (connection closed by peer)"},
        {Script().send("SSH-2.0-OpenSSH\r\n").keepOpen(), "Invalid answer to CONNECT"},
        {Script().send("HTTP/1.0 200 OK\r\n").repeat("X-Pad: padding\r\n", -1),
         "HTTP header too large"},
        {Script().send("HTTP/1.0 200 ").repeat(QByteArray(1000, 'r'), -1), "HTTP line too long"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Reason.toStdString());
        OriginServer Proxy;
        Proxy.setDefault(C.Answer);
        ProxiedFetch F("127.0.0.1", QByteArray::number(Proxy.port()));
        ASSERT_TRUE(F.get("https://localhost/"));
        EXPECT_EQ(F.Probe.Status, 404);
        EXPECT_EQ(F.Probe.Reason, C.Reason);
        EXPECT_LE(F.Client.BytesHeld(), 128 * 1024);
    }
}

TEST(TlsProxy, ThroughTinyproxy)
{
    ASSERT_FALSE(Tinyproxy::program().isEmpty())
        << "tinyproxy is not installed: scripts/setup installs it, this suite needs it";
    const TestCertificates &Certs = TestCertificates::shared();
    ASSERT_TRUE(Certs.ok()) << Certs.error().toStdString();
    OriginServer Server;
    Server.route("/page", Script::response(200, "OK", {}, Page));
    TlsFront Front(Server.port(), Certs.good());
    const QByteArray FrontPort = QByteArray::number(Front.port());

    // CONNECT only to the front's port, and only with credentials.
    Tinyproxy P("127.0.0.1", {"ConnectPort " + FrontPort, "BasicAuth vexo s3cret"});
    ASSERT_TRUE(P.started()) << P.error().toStdString();
    const QByteArray ProxyPort = QByteArray::number(P.port());
    {
        ProxiedFetch F("127.0.0.1", ProxyPort);
        F.Client.SetProxyUsername("vexo");
        F.Client.SetProxyPassword("s3cret");
        ASSERT_TRUE(F.get(Front.url("/page")));
        EXPECT_EQ(F.Probe.Status, 200);
        EXPECT_EQ(F.Probe.Body, Page);
        // Inside the tunnel: the direct request, and the proxy's
        // credentials never reach the origin.
        ASSERT_EQ(Server.requests().size(), 1);
        EXPECT_EQ(Server.requests()[0].target, "/page");
        EXPECT_FALSE(Server.requests()[0].hasHeader("Proxy-Authorization"));
        EXPECT_FALSE(Server.requests()[0].hasHeader("Authorization"));
    }
    {
        // Without credentials tinyproxy asks for them.
        ProxiedFetch F("127.0.0.1", ProxyPort);
        ASSERT_TRUE(F.get(Front.url("/page")));
        EXPECT_EQ(F.Probe.Status, 407);
        EXPECT_FALSE(F.Probe.Reason.isEmpty());
    }
    {
        // A port tinyproxy does not tunnel to: refused with its status.
        ProxiedFetch F("127.0.0.1", ProxyPort);
        F.Client.SetProxyUsername("vexo");
        F.Client.SetProxyPassword("s3cret");
        ASSERT_TRUE(F.get("https://localhost:" + QByteArray::number(Server.port()) + "/page"));
        EXPECT_EQ(F.Probe.Status, 403);
        EXPECT_EQ(Server.requests().size(), 1);
    }
}
