// The HTTP client through Debian's SOCKS servers, each started on a loopback
// address of its own: every version dante speaks, microsocks with and
// without its password, HTTPS through the tunnel, and the servers' own
// refusals. (dante has no version 4A; the scripted peer stands for it.)
#include "core/net/ClientProbe.h"
#include "net/HttpProt.h"
#include "support/OriginServer.h"
#include "support/ServerProcess.h"
#include "support/SocksDaemon.h"
#include "support/TestCertificates.h"
#include "support/TlsFront.h"

#include <gtest/gtest.h>

using namespace net;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::SocksDaemon;
using TKind = SocksDaemon::TKind;

namespace {

const QByteArray Page = "<html><body>5.6.7.8:3128</body></html>";

struct Fetch
{
    Fetch(const SocksDaemon &D, const QByteArray &Level) : Probe(Client)
    {
        Client.SetSocksServer(D.host());
        Client.SetSocksPort(QByteArray::number(D.port()));
        Client.SetSocksLevel(Level);
    }
    void credentials(const QByteArray &User, const QByteArray &Password)
    {
        Client.SetSocksAuthentication(socksAuthenticateUsercode);
        Client.SetSocksUsercode(User);
        Client.SetSocksPassword(Password);
    }
    bool get(const QByteArray &Url)
    {
        Probe.Done = 0;
        Client.SetURL(Url);
        Client.StartGet();
        return Probe.waitDone(1, 15000) && Client.State() == hsReady;
    }
    THttpCli Client;
    ClientProbe Probe;
};

} // namespace

TEST(SocksServers, DanteEveryVersionAndItsRefusals)
{
    SocksDaemon Dante(TKind::Dante, "127.0.22.1");
    ASSERT_TRUE(Dante.started()) << Dante.error().toStdString();
    OriginServer Origin;
    Origin.route("/old", Script::response(301, "Moved", {"Location: /page"}));
    Origin.route("/page", Script::response(200, "OK", {}, Page));
    const QByteArray Port = QByteArray::number(Origin.port());
    for (const QByteArray Level : {"4", "5"}) {
        SCOPED_TRACE(Level.toStdString());
        Fetch F(Dante, Level);
        ASSERT_TRUE(F.get("http://localhost:" + Port + "/old"));
        EXPECT_EQ(F.Probe.Status, 200) << F.Probe.Reason.toStdString();
        EXPECT_EQ(F.Probe.Body, Page);
        // dante went out from its external address, for both connections.
        EXPECT_EQ(Origin.requests().last().peerAddress, "127.0.0.1");
    }
    // A closed port behind the proxy: its refusal in each version's words.
    const quint16 Closed = testsupport::freePort("127.0.0.1");
    const QByteArray ClosedUrl = "http://127.0.0.1:" + QByteArray::number(Closed) + "/";
    Fetch F5(Dante, "5");
    ASSERT_TRUE(F5.get(ClosedUrl));
    EXPECT_EQ(F5.Probe.Reason, "SOCKS5: connection refused (5)");
    Fetch F4(Dante, "4");
    ASSERT_TRUE(F4.get(ClosedUrl));
    EXPECT_EQ(F4.Probe.Reason, "SOCKS4: request rejected (91)");
}

TEST(SocksServers, MicrosocksPasswordAndHttps)
{
    SocksDaemon Open(TKind::Microsocks, "127.0.22.2");
    ASSERT_TRUE(Open.started()) << Open.error().toStdString();
    SocksDaemon Locked(TKind::Microsocks, "127.0.22.3", "vexo", "s3cret");
    ASSERT_TRUE(Locked.started()) << Locked.error().toStdString();
    OriginServer Origin;
    Origin.route("/page", Script::response(200, "OK", {}, Page));
    {
        Fetch F(Locked, "5");
        F.credentials("vexo", "s3cret");
        ASSERT_TRUE(F.get(Origin.url("/page")));
        EXPECT_EQ(F.Probe.Status, 200) << F.Probe.Reason.toStdString();
        EXPECT_EQ(F.Probe.Body, Page);
        EXPECT_FALSE(Origin.requests().last().raw.contains("s3cret"));
    }
    {
        Fetch F(Locked, "5");
        F.credentials("vexo", "wrong");
        ASSERT_TRUE(F.get(Origin.url("/page")));
        EXPECT_EQ(F.Probe.Status, 404);
        EXPECT_EQ(F.Probe.Reason, "SOCKS5: authentication refused");
    }
    {
        // TLS inside the SOCKS tunnel, certificates checked as directly.
        const testsupport::TestCertificates &Certs = testsupport::TestCertificates::shared();
        ASSERT_TRUE(Certs.ok()) << Certs.error().toStdString();
        testsupport::TlsFront Front(Origin.port(), Certs.good());
        ASSERT_TRUE(Front.ok());
        Fetch F(Open, "5");
        ASSERT_TRUE(F.get(Front.url("/page")));
        EXPECT_EQ(F.Probe.Status, 200) << F.Probe.Reason.toStdString();
        EXPECT_EQ(F.Probe.Body, Page);
    }
}
