// The judge's level decision as a table: the same headers judged from peers
// in each realm, the precedence of the levels, and the address matching it
// relies on. The analyser grades the pages of judges that state no level by
// the same table: each case's page, as the judge shows it but in the AZ
// Environment form or as httpbin's JSON, read back gives the judge's level.
#include "JudgeLevel.h"
#include "JudgePage.h"
#include "analyser/JudgeFormats.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace judge;

namespace {

THeaderFields H(std::initializer_list<std::pair<const char *, const char *>> lines)
{
    THeaderFields out;
    for (const auto &[name, value] : lines)
        out.push_back({name, value});
    return out;
}

const QByteArray PublicPeer = "198.51.100.7";
const QByteArray PrivatePeer = "192.168.1.20";
const QByteArray LoopbackPeer = "127.0.0.1";

// The judge's page for these headers without its level, "NAME = value".
QByteArray AzPage(const THeaderFields &headers, const QByteArray &peer)
{
    TRequestHead request{"GET", "/", "HTTP/1.1", headers};
    QByteArray out;
    for (QByteArray line : JudgePage(request, peer, 4711, alNoProxy).split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (!line.startsWith("AnonyLevel"))
            out += (eq < 0 ? line : line.replace(eq, 1, " = ")) + '\n';
    }
    return out;
}

QByteArray JsonPage(const THeaderFields &headers, const QByteArray &peer)
{
    QJsonObject fields;
    for (const THeaderField &h : headers)
        fields.insert(QString::fromLatin1(h.Name), QString::fromLatin1(h.Value));
    return QJsonDocument(QJsonObject{{QStringLiteral("headers"), fields},
                                     {QStringLiteral("origin"), QString::fromLatin1(peer)}})
        .toJson();
}

} // namespace

TEST(JudgeLevel, Table)
{
    const THeaderFields browser =
        H({{"Host", "judge.example.net"}, {"User-Agent", "x"}, {"Accept", "*/*"}});
    const struct
    {
        const char *What;
        THeaderFields Headers;
        QByteArray Peer;
        QByteArrayList Clients;
        TAnonyLevel Level;
    } cases[] = {
        {"no proxy header", browser, PublicPeer, {}, alNoProxy},
        {"no header at all", {}, PublicPeer, {}, alNoProxy},
        {"Via", H({{"Via", "1.1 proxy (squid)"}}), PublicPeer, {}, alProxyTraces},
        {"Proxy-Connection",
         H({{"proxy-connection", "keep-alive"}}),
         PublicPeer,
         {},
         alProxyTraces},
        {"any Proxy- header", H({{"Proxy-Agent", "x"}}), PublicPeer, {}, alProxyTraces},
        {"X-Proxy-ID", H({{"X-Proxy-ID", "123"}}), PublicPeer, {}, alProxyTraces},
        {"Forwarded without for",
         H({{"Forwarded", "by=203.0.113.43;proto=http"}}),
         PublicPeer,
         {},
         alProxyTraces},
        {"Forwarded for an obfuscated name",
         H({{"Forwarded", "for=_hidden"}}),
         PublicPeer,
         {},
         alProxyTraces},
        {"forwarding header naming the peer",
         H({{"X-Forwarded-For", "198.51.100.7"}}),
         PublicPeer,
         {},
         alProxyTraces},
        {"empty forwarding header", H({{"X-Forwarded-For", ""}}), PublicPeer, {}, alProxyTraces},
        {"X-Forwarded-For public",
         H({{"X-Forwarded-For", "203.0.113.9"}}),
         PublicPeer,
         {},
         alAddressForwarded},
        {"Forwarded for= with port",
         H({{"Forwarded", "for=\"203.0.113.9:4711\";proto=http"}}),
         PublicPeer,
         {},
         alAddressForwarded},
        {"second Forwarded element",
         H({{"Forwarded", "for=_a, for=203.0.113.9"}}),
         PublicPeer,
         {},
         alAddressForwarded},
        {"Client-IP", H({{"client-ip", "203.0.113.9"}}), PublicPeer, {}, alAddressForwarded},
        {"X-Real-IP", H({{"X-Real-IP", "203.0.113.9"}}), PublicPeer, {}, alAddressForwarded},
        {"unknown", H({{"X-Forwarded-For", "unknown"}}), PublicPeer, {}, alAddressForwarded},
        {"a name, not an address",
         H({{"X-Forwarded-For", "client.example"}}),
         PublicPeer,
         {},
         alAddressForwarded},
        {"IPv6 in Forwarded",
         H({{"Forwarded", "for=\"[2001:db8::1]:80\""}}),
         PublicPeer,
         {},
         alAddressForwarded},
        {"private behind a public peer",
         H({{"X-Forwarded-For", "10.1.2.3"}}),
         PublicPeer,
         {},
         alInnerAddress},
        {"loopback behind a public peer",
         H({{"X-Real-IP", "127.0.0.1"}}),
         PublicPeer,
         {},
         alInnerAddress},
        {"IPv6 private behind a public peer",
         H({{"Forwarded", "for=\"[fd00::5]\""}}),
         PublicPeer,
         {},
         alInnerAddress},
        {"loopback behind a private peer",
         H({{"X-Forwarded-For", "127.0.0.1"}}),
         PrivatePeer,
         {},
         alInnerAddress},
        // Seen from inside, an address of the same realm is the client's.
        {"private behind a private peer",
         H({{"X-Forwarded-For", "192.168.1.5"}}),
         PrivatePeer,
         {},
         alAddressForwarded},
        {"loopback behind a loopback peer",
         H({{"X-Tinyproxy", "127.0.16.26"}}),
         LoopbackPeer,
         {},
         alAddressForwarded},
        {"public and private: the higher wins",
         H({{"X-Forwarded-For", "203.0.113.9, 10.0.0.2"}}),
         PublicPeer,
         {},
         alInnerAddress},
        {"client in a forwarding header",
         H({{"X-Forwarded-For", "10.0.0.2, 203.0.113.9"}}),
         PublicPeer,
         {"203.0.113.9"},
         alClientShown},
        {"client in any header",
         H({{"X-Whatever", "seen 203.0.113.9:5555"}}),
         PublicPeer,
         {"203.0.113.9"},
         alClientShown},
        {"client is the peer", browser, PublicPeer, {PublicPeer}, alClientShown},
        {"second client address",
         H({{"Via", "1.1 203.0.113.10"}}),
         PublicPeer,
         {"192.0.2.1", "203.0.113.10"},
         alClientShown},
        {"a longer address is not the client's",
         H({{"X-Forwarded-For", "203.0.113.91"}}),
         PublicPeer,
         {"203.0.113.9"},
         alAddressForwarded},
        {"Host names the judge, not the client",
         H({{"Host", "203.0.113.9:8080"}}),
         PublicPeer,
         {"203.0.113.9"},
         alNoProxy},
        // Names as the page shows them: "-" and "_" alike.
        {"X_Forwarded_For",
         H({{"X_Forwarded_For", "9.9.9.9"}}),
         PublicPeer,
         {},
         alAddressForwarded},
        {"Proxy_Connection", H({{"Proxy_Connection", "close"}}), PublicPeer, {}, alProxyTraces},
        {"a header named after the client",
         H({{"203.0.113.9", "x"}}),
         PublicPeer,
         {"203.0.113.9"},
         alClientShown},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(JudgeLevel(c.Headers, c.Peer, c.Clients), c.Level);
        for (const QByteArray &page : {AzPage(c.Headers, c.Peer), JsonPage(c.Headers, c.Peer)}) {
            const analyser::TJudgeEnvironment env = analyser::ReadJudgeEnvironment(page);
            EXPECT_NE(env.Format, analyser::TJudgeFormat::Unknown) << page.toStdString();
            EXPECT_EQ(env.RemoteAddr, c.Peer);
            EXPECT_EQ(analyser::GradeEnvironment(env, c.Clients), c.Level) << page.toStdString();
        }
    }
}

TEST(JudgeLevel, RealmsAndAddressBoundaries)
{
    EXPECT_EQ(RealmOf("127.3.4.5"), TRealm::Loopback);
    EXPECT_EQ(RealmOf("::1"), TRealm::Loopback);
    for (const char *inner : {"10.0.0.1", "172.16.0.1", "172.31.255.255", "192.168.0.1",
                              "100.64.0.1", "169.254.1.1", "fe80::1", "fc00::1", "::ffff:10.0.0.1"})
        EXPECT_EQ(RealmOf(inner), TRealm::Private) << inner;
    for (const char *outer : {"172.32.0.1", "8.8.8.8", "2001:db8::1", "not-an-address", ""})
        EXPECT_EQ(RealmOf(outer), TRealm::Public) << outer;

    EXPECT_TRUE(ShowsAddress("10.0.0.1", "10.0.0.1"));
    EXPECT_TRUE(ShowsAddress("for=10.0.0.1:80", "10.0.0.1"));
    EXPECT_TRUE(ShowsAddress("a 10.0.0.1, b", "10.0.0.1"));
    EXPECT_TRUE(ShowsAddress("10.0.0.1.", "10.0.0.1")); // the end of a sentence
    EXPECT_TRUE(ShowsAddress("110.0.0.1 10.0.0.1", "10.0.0.1"));
    EXPECT_FALSE(ShowsAddress("10.0.0.15", "10.0.0.1"));
    EXPECT_FALSE(ShowsAddress("110.0.0.1", "10.0.0.1"));
    EXPECT_FALSE(ShowsAddress("10.0.0.1.5", "10.0.0.1"));
    EXPECT_FALSE(ShowsAddress("anything", ""));
}
