// The HTTP client through a SOCKS proxy: each version against a relaying
// peer, relocations through the same proxy, credentials kept to the proxy,
// and each misbehaviour of a scripted proxy ending the request once with its
// reason.
#include "core/net/ClientProbe.h"
#include "net/HttpProt.h"
#include "support/OriginServer.h"
#include "support/SocksPeer.h"

#include <gtest/gtest.h>

using namespace net;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::SocksPeer;

namespace {

const QByteArray Page = "<html><body>5.6.7.8:3128</body></html>";

struct SocksFetch
{
    SocksFetch(const SocksPeer &Peer, const QByteArray &Level) : Probe(Client)
    {
        Client.SetSocksServer(Peer.host());
        Client.SetSocksPort(QByteArray::number(Peer.port()));
        Client.SetSocksLevel(Level);
        Client.OnSocksError = [this](THttpCli *, qint32 Code, const QByteArray &Msg) {
            SocksErrors.append(Msg + ' ' + QByteArray::number(Code));
        };
        Client.OnSocksConnected = [this](THttpCli *, quint16) { ++SocksConnected; };
    }
    bool get(const QByteArray &Url, int TimeoutMs = 5000)
    {
        Probe.Done = 0;
        Client.SetURL(Url);
        Client.StartGet();
        if (!Probe.waitDone(1, TimeoutMs))
            return false;
        testsupport::spinFor(30);
        return Probe.Done == 1 && Client.State() == hsReady;
    }
    THttpCli Client;
    ClientProbe Probe;
    QByteArrayList SocksErrors;
    int SocksConnected = 0;
};

} // namespace

TEST(SocksClient, EachVersionReachesTheOriginAndRelocationsStayOnTheProxy)
{
    OriginServer Origin;
    Origin.route("/old", Script::response(302, "Found", {"Location: /page"}));
    Origin.route("/page", Script::response(200, "OK", {"Content-Type: text/html"}, Page));
    const QByteArray Port = QByteArray::number(Origin.port());
    const struct
    {
        QByteArray Level, Host, AskedHost;
    } Cases[] = {
        {"4", "localhost", "127.0.0.1"}, // looked up here, the address goes to the proxy
        {"4A", "localhost", "localhost"},
        {"5", "localhost", "localhost"},
        {"5", "127.0.0.1", "127.0.0.1"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Level.toStdString() + " " + C.Host.toStdString());
        SocksPeer Peer;
        SocksFetch F(Peer, C.Level);
        ASSERT_TRUE(F.get("http://" + C.Host + ':' + Port + "/old"));
        EXPECT_EQ(F.Probe.Status, 200) << F.Probe.Reason.toStdString();
        EXPECT_EQ(F.Probe.Body, Page);
        EXPECT_EQ(F.SocksConnected, 2);
        // Both connections, the relocation's included, went through it.
        ASSERT_EQ(Peer.requests().size(), 2);
        for (const SocksPeer::Request &R : Peer.requests()) {
            EXPECT_EQ(R.version, C.Level == "5" ? 5 : 4);
            EXPECT_EQ(R.host, C.AskedHost);
            EXPECT_EQ(R.port, Origin.port());
        }
        // The request is the direct one, as without a proxy.
        EXPECT_EQ(Origin.requests().last().target, "/page");
    }
}

TEST(SocksClient, CredentialsGoToTheProxyOnly)
{
    OriginServer Origin;
    Origin.route("/page", Script::response(200, "OK", {}, Page));
    SocksPeer Peer;
    Peer.requirePassword("vexo", "s3cret");
    const QByteArray Url = Origin.url("/page");
    {
        SocksFetch F(Peer, "5");
        F.Client.SetSocksAuthentication(socksAuthenticateUsercode);
        F.Client.SetSocksUsercode("vexo");
        F.Client.SetSocksPassword("s3cret");
        QList<TSocksAuthState> States;
        F.Client.OnSocksAuthState = [&](THttpCli *, TSocksAuthState S) { States.append(S); };
        ASSERT_TRUE(F.get(Url));
        EXPECT_EQ(F.Probe.Status, 200);
        EXPECT_EQ(States, (QList<TSocksAuthState>{socksAuthStart, socksAuthSuccess}));
        ASSERT_EQ(Origin.requests().size(), 1);
        EXPECT_FALSE(Origin.requests()[0].raw.contains("s3cret"));
        EXPECT_FALSE(Origin.requests()[0].hasHeader("Proxy-Authorization"));
    }
    {
        SocksFetch F(Peer, "5");
        F.Client.SetSocksAuthentication(socksAuthenticateUsercode);
        F.Client.SetSocksUsercode("vexo");
        F.Client.SetSocksPassword("wrong");
        ASSERT_TRUE(F.get(Url));
        EXPECT_EQ(F.Probe.Status, 404);
        EXPECT_EQ(F.Probe.Reason, "SOCKS5: authentication refused");
        EXPECT_EQ(F.SocksErrors, QByteArrayList{"SOCKS5: authentication refused 1"});
    }
    {
        // Without credentials the proxy's demand is the reason.
        SocksFetch F(Peer, "5");
        ASSERT_TRUE(F.get(Url));
        EXPECT_EQ(F.Probe.Reason, "SOCKS5: authentication required");
    }
    EXPECT_EQ(Origin.requests().size(), 1);
}

TEST(SocksClient, MisbehavingProxiesEndTheRequestOnceWithTheirReason)
{
    const QByteArray Ok5("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);
    const struct
    {
        QByteArray Level;
        QList<QByteArray> Replies;
        QByteArray Reason;
    } Cases[] = {
        {"5",
         {QByteArray("\x05\x00", 2), QByteArray("\x05\x01\x00\x01", 4)},
         "SOCKS5: general failure (1)"},
        {"5",
         {QByteArray("\x05\x00", 2), QByteArray("\x05\x05", 2)},
         "SOCKS5: connection refused (5)"},
        {"4", {QByteArray("\x00\x5b\x00\x00\x00\x00\x00\x00", 8)}, "SOCKS4: request rejected (91)"},
        // Wrong version, an HTTP answer, a short reply then close, a reply
        // with more than the protocol allows.
        {"5", {QByteArray("\x04\x00", 2)}, "SOCKS: malformed answer"},
        {"4", {"HTTP/1.0 400 Bad Request\r\n\r\n"}, "SOCKS: malformed answer"},
        {"5",
         {QByteArray("\x05\x00", 2), QByteArray("\x05\x00\x00\x01\x7f", 5)},
         "SOCKS: proxy closed the connection before answering (connection closed by peer)"},
        {"5",
         {QByteArray("\x05\x00", 2), Ok5 + "HTTP/1.0 200 OK\r\n\r\n"},
         "SOCKS: malformed answer"},
        {"5", {QByteArray("\x05\x00", 2) + Ok5}, "SOCKS: malformed answer"},
        {"5",
         {QByteArray("\x05\x00", 2), QByteArray("\x05\x00\x00\x03\xff", 5) + QByteArray(600, 'n')},
         "SOCKS: malformed answer"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Reason.toStdString());
        SocksPeer Peer;
        Peer.script(C.Replies);
        SocksFetch F(Peer, C.Level);
        ASSERT_TRUE(F.get("http://127.0.0.1:9/page"));
        EXPECT_EQ(F.Probe.Status, 404);
        EXPECT_EQ(F.Probe.Reason, C.Reason);
        EXPECT_EQ(F.SocksConnected, 0);
        EXPECT_EQ(F.SocksErrors.size(), 1);
        EXPECT_LE(F.Client.BytesHeld(), 1024);
    }
    {
        // A proxy host that no machine can have ends the request before
        // anything is looked up or connected; so does an IPv6 target, which
        // version 4 cannot carry.
        SocksPeer Peer;
        for (const auto &[Server, Level, Url, Reason] :
             {std::tuple<QByteArray, QByteArray, QByteArray, QByteArray>{
                  "bad host!", "5", "http://127.0.0.1:9/", "SOCKS: invalid proxy host"},
              {Peer.host(), "4A", "http://[::1]:9/",
               "SOCKS4: the target is not an IPv4 address"}}) {
            SocksFetch F(Peer, Level);
            F.Client.SetSocksServer(Server);
            ASSERT_TRUE(F.get(Url));
            EXPECT_EQ(F.Probe.Reason, Reason);
            EXPECT_EQ(F.SocksErrors, QByteArrayList{Reason + " 0"});
            if (Server != Peer.host()) {
                EXPECT_EQ(Peer.connections(), 0);
            }
        }
    }
    {
        // Silence after the greeting: the caller's timer aborts, and the
        // connection to the proxy is closed.
        SocksPeer Peer;
        Peer.script({}, false);
        SocksFetch F(Peer, "5");
        F.Client.SetURL("http://127.0.0.1:9/");
        F.Client.StartGet();
        ASSERT_TRUE(testsupport::waitUntil([&] { return Peer.connections() == 1; }));
        testsupport::spinFor(50);
        F.Client.Abort();
        ASSERT_TRUE(F.Probe.waitDone());
        EXPECT_EQ(F.Probe.Reason, "Connection aborted on request");
        EXPECT_TRUE(testsupport::waitUntil([&] { return Peer.openConnections() == 0; }));
        testsupport::spinFor(30);
        EXPECT_EQ(F.Probe.Done, 1);
    }
}
