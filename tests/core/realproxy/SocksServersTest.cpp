// The HTTP client through Debian's SOCKS servers, each started on a loopback
// address of its own: every version dante speaks, microsocks with and
// without its password, HTTPS through the tunnel, and the servers' own
// refusals. (dante has no version 4A; the scripted peer stands for it.)
#include "core/net/ClientProbe.h"
#include "leecher/SiteRun.h"
#include "net/HttpProt.h"
#include "settings/Options.h"
#include "support/OriginServer.h"
#include "support/ServerProcess.h"
#include "support/SocksDaemon.h"
#include "support/TestCertificates.h"
#include "support/TlsFront.h"

#include <QTemporaryDir>

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

namespace {

// The proxies a leech run of the sites finds, through the proxy option.
QStringList Leech(const QList<QByteArray> &Urls, const QString &Proxy)
{
    QTemporaryDir Dir;
    leecher::TSiteList Sites;
    for (const QByteArray &U : Urls)
        Sites.push_back(leecher::TSiteItem{U, {}, 0, leecher::ssIdle});
    leecher::TProxyList Proxies;
    settings::TOptionValues Options;
    Options.useProxy = !Proxy.isEmpty();
    Options.proxy = Proxy;
    leecher::TRunInputValues Inputs;
    Inputs.bots = 2;
    leecher::TSiteRun Run(Sites, Proxies, Options, Inputs, Dir.path());
    int Finished = 0;
    QObject::connect(&Run, &leecher::TSiteRun::finished, &Run, [&] { ++Finished; });
    if (!Run.StartLeech() || !testsupport::waitUntil([&] { return Finished > 0; }, 20000))
        return {QStringLiteral("run did not end")};
    QStringList Found;
    for (const leecher::TProxyItem &P : Proxies)
        Found << QString::fromLatin1(P.Host.toByteArray() + ':' + P.Port.toByteArray());
    Found.sort();
    return Found;
}

} // namespace

TEST(SocksServers, ALeechRunThroughEachEqualsTheDirectOne)
{
    SocksDaemon Dante(TKind::Dante, "127.0.22.10");
    ASSERT_TRUE(Dante.started()) << Dante.error().toStdString();
    SocksDaemon Micro(TKind::Microsocks, "127.0.22.11");
    ASSERT_TRUE(Micro.started()) << Micro.error().toStdString();
    OriginServer Origin;
    Origin.route("/a", Script::response(200, "OK", {}, "1.2.3.4:80 5.6.7.8:3128"));
    Origin.route("/b", Script::response(302, "Found", {"Location: /c"}));
    Origin.route("/c", Script::response(200, "OK", {}, "9.9.9.9:8080"));
    const QList<QByteArray> Urls = {Origin.url("/a"), Origin.url("/b")};
    const QStringList Direct = Leech(Urls, {});
    ASSERT_EQ(Direct.size(), 3);
    const auto Via = [](const char *Scheme, const SocksDaemon &D) {
        return QLatin1String(Scheme) + QString::fromLatin1(D.host()) + QLatin1Char(':') +
               QString::number(D.port());
    };
    EXPECT_EQ(Leech(Urls, Via("socks4://", Dante)), Direct);
    EXPECT_EQ(Leech(Urls, Via("socks5://", Dante)), Direct);
    EXPECT_EQ(Leech(Urls, Via("socks5://", Micro)), Direct);
}
