// The gateway's decisions without sockets: what a request's target is, what
// goes on to the upstream and back to the client, which upstream is chosen,
// how long a failing one is benched, whose credentials count, what a pool
// file gives, and which command lines are refused.
#include "ChunkedBody.h"
#include "Forwarding.h"
#include "GatewayCommandLine.h"
#include "Pool.h"
#include "ProxyAuth.h"
#include "ResultFormats.h"
#include "Rotation.h"
#include "history/HistoryDb.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QFile>

using namespace gateway;

namespace {

server::TRequestHead Head(const QByteArray &text)
{
    server::TRequestHead head;
    EXPECT_EQ(server::ParseRequestHead(text, head), 0) << text.toStdString();
    return head;
}

TUpstreamPtr Upstream(int n)
{
    return std::make_shared<TUpstream>(net::ptHttp, "127.0.0." + QByteArray::number(n), 3128,
                                       quint32(n));
}

QString WriteFile(const QTemporaryDir &dir, const char *name, const QByteArray &content)
{
    QFile file(dir.filePath(QLatin1StringView(name)));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return file.fileName();
}

} // namespace

TEST(GatewayForwarding, TargetsOfRequests)
{
    const struct
    {
        QByteArray Head;
        int Status;
        bool Tunnel;
        QByteArray Host, Path;
        quint16 Port;
    } cases[] = {
        {"CONNECT example.org:443 HTTP/1.1\r\n\r\n", 0, true, "example.org", {}, 443},
        {"CONNECT [::1]:8443 HTTP/1.1\r\n\r\n", 0, true, "[::1]", {}, 8443},
        {"CONNECT example.org HTTP/1.1\r\n\r\n", 400},
        {"CONNECT example.org:0 HTTP/1.1\r\n\r\n", 400},
        {"GET http://example.org/a?b=1#frag HTTP/1.1\r\n\r\n", 0, false, "example.org", "/a?b=1",
         80},
        {"GET HTTP://10.0.0.1:8080?q HTTP/1.0\r\n\r\n", 0, false, "10.0.0.1", "/?q", 8080},
        {"GET https://example.org/ HTTP/1.1\r\n\r\n", 501},
        {"GET /index.html HTTP/1.1\r\nHost: a\r\n\r\n", 400}, // not a proxy request
        {"GET http://user:pw@example.org/ HTTP/1.1\r\n\r\n", 400},
        {"GET http://bad host/ HTTP/1.1\r\n\r\n", 400},
        // Two ends of one body: one of them would smuggle a request.
        {"POST http://a/ HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
        {"POST http://a/ HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", 400},
        {"POST http://a/ HTTP/1.1\r\nContent-Length: -5\r\n\r\n", 400},
        {"POST http://a/ HTTP/1.1\r\nContent-Length: 0x10\r\n\r\n", 400},
        {"POST http://a/ HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n", 0, false, "a",
         "/", 80},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Head.toStdString());
        server::TRequestHead head;
        if (server::ParseRequestHead(c.Head, head) != 0) {
            EXPECT_EQ(c.Status, 400);
            continue;
        }
        TTarget target;
        ASSERT_EQ(TargetOf(head, target), c.Status);
        if (c.Status != 0)
            continue;
        EXPECT_EQ(target.Tunnel, c.Tunnel);
        EXPECT_EQ(target.Host, c.Host);
        EXPECT_EQ(target.Port, c.Port);
        EXPECT_EQ(target.Path, c.Path);
    }
}

TEST(GatewayForwarding, HopByHopHeadersStayBehindBothWays)
{
    const server::TRequestHead request =
        Head("POST http://example.org:8080/up HTTP/1.1\r\nHost: other\r\n"
             "Proxy-Authorization: Basic dTpw\r\nProxy-Connection: keep-alive\r\n"
             "Connection: keep-alive, X-Secret, Content-Length\r\nX-Secret: s\r\n"
             "Keep-Alive: 5\r\nExpect: 100-continue\r\nTE: trailers\r\nUpgrade: h2c\r\n"
             "Content-Length: 3\r\nX-Kept: k\r\n\r\n");
    TTarget target;
    ASSERT_EQ(TargetOf(request, target), 0);
    EXPECT_TRUE(ExpectsContinue(request));
    const QByteArray kept = "Host: example.org:8080\r\nContent-Length: 3\r\nX-Kept: k\r\n"
                            "Connection: close\r\n\r\n";
    EXPECT_EQ(UpstreamHead(request, target, true),
              "POST http://example.org:8080/up HTTP/1.1\r\n" + kept);
    EXPECT_EQ(UpstreamHead(request, target, false), "POST /up HTTP/1.1\r\n" + kept);
    EXPECT_EQ(ConnectHead(target),
              "CONNECT example.org:8080 HTTP/1.1\r\nHost: example.org:8080\r\n\r\n");

    EXPECT_EQ(ClientResponseHead("HTTP/1.1 200 OK\r\nConnection: keep-alive, X-Hop\r\nX-Hop: h\r\n"
                                 "Keep-Alive: timeout=5\r\nContent-Length: 2\r\nX-End: e\r\n\r\n"),
              "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-End: e\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(ClientResponseHead("SSH-2.0-x\r\n\r\n"), QByteArray());
    EXPECT_EQ(ResponseStatus("HTTP/1.0 407 Proxy Authentication Required\r\n"), 407);
}

TEST(GatewayForwarding, ChunkedBodiesEndAtTheirLastChunk)
{
    const QByteArray after = "GET http://a/ HTTP/1.1\r\n\r\n";
    const struct
    {
        QByteArray Bytes;
        TChunkedBody::TState State;
        qsizetype Used; // -1: all of them
    } cases[] = {
        {"5\r\nhello\r\n0\r\n\r\n" + after, TChunkedBody::Done, 15},
        {"A;name=v\r\n0123456789\r\n0\r\nX-Sum: 1\r\n\r\n" + after, TChunkedBody::Done, 37},
        {"5\r\nhello\r\n", TChunkedBody::More, -1},
        {"5\r\nhello\r\n0\r\nX: y\r\n", TChunkedBody::More, -1},
        {"5\r\nhelloX\r\n", TChunkedBody::Bad, 0},
        {"-1\r\n", TChunkedBody::Bad, 0},
        {"\r\n", TChunkedBody::Bad, 0},
        {QByteArray(MaxChunkSizeDigits + 1, 'f') + "\r\n", TChunkedBody::Bad, 0},
        {"1;" + QByteArray(MaxChunkOverhead + 1, 'x'), TChunkedBody::Bad, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Bytes.left(40).toStdString());
        // Whole, and a byte at a time: the same end.
        for (const qsizetype piece : {c.Bytes.size(), qsizetype(1)}) {
            TChunkedBody body;
            TChunkedBody::TState state = TChunkedBody::More;
            qsizetype total = 0;
            for (qsizetype at = 0; at < c.Bytes.size() && state == TChunkedBody::More;
                 at += piece) {
                qsizetype used = 0;
                state = body.Feed(
                    QByteArrayView(c.Bytes).sliced(at, std::min(piece, c.Bytes.size() - at)), used);
                total += used;
            }
            EXPECT_EQ(state, c.State);
            if (c.State != TChunkedBody::Bad) {
                EXPECT_EQ(total, c.Used < 0 ? c.Bytes.size() : c.Used);
            }
        }
    }
}

TEST(GatewayRotation, PoliciesStepAroundBenchedAndTriedUpstreams)
{
    const TUpstreams pool = {Upstream(1), Upstream(2), Upstream(3)};
    const auto picks = [&](TRotation &r, int n, quint32 client = 1, QByteArrayView host = "h",
                           std::vector<const TUpstream *> tried = {}) {
        QByteArray order;
        for (int i = 0; i < n; ++i)
            order += r.Choose(pool, client, host, tried, 1000)->Host.right(1);
        return order;
    };
    TRotation roundRobin(TRotate::RoundRobin, 0);
    EXPECT_EQ(picks(roundRobin, 4), "1231");
    pool[2]->Failed(1000);
    EXPECT_EQ(picks(roundRobin, 4), "2121");
    EXPECT_EQ(picks(roundRobin, 2, 1, "h", {pool[0].get()}), "22");
    // Every untried one benched: the one back soonest rather than none.
    pool[1]->Failed(500);
    EXPECT_EQ(picks(roundRobin, 1, 1, "h", {pool[0].get()}), "2");
    EXPECT_EQ(roundRobin.Choose(pool, 1, "h", {pool[0].get(), pool[1].get(), pool[2].get()}, 0),
              nullptr);
    pool[1]->Worked(5);
    pool[2]->Worked(50);

    TRotation sticky(TRotate::Sticky, 60000);
    const QByteArray first = picks(sticky, 5, 7, "Example.org");
    EXPECT_EQ(first, QByteArray(5, first[0]));
    EXPECT_EQ(picks(sticky, 1, 7, "example.org"), first.left(1)); // host case does not count
    EXPECT_NE(picks(sticky, 1, 8, "example.org"), first.left(1)); // another client: next in turn

    // Fastest: unknown speeds first, then the best, with a share for others.
    pool[0]->SetSpeed(20);
    TRotation fastest(TRotate::Fastest, 0, 42);
    const QByteArray many = picks(fastest, 1000);
    EXPECT_GT(many.count('2'), 850);
    EXPECT_GT(many.count('1') + many.count('3'), 50);

    TRotation random(TRotate::Random, 0, 42);
    const QByteArray spread = picks(random, 300);
    for (const char c : {'1', '2', '3'})
        EXPECT_GT(spread.count(c), 60);
    EXPECT_FALSE(RotateFromName("fastest-first").has_value());
}

TEST(GatewayUpstream, CoolDownDoublesWhileFailingAndEndsOnSuccess)
{
    TUpstream u(net::ptHttp, "127.0.0.1", 1, 1);
    const qint64 steps[] = {1000, 2000, 4000, 8000};
    qint64 now = 0;
    for (const qint64 coolDown : steps) {
        u.Failed(now, 1000);
        EXPECT_TRUE(u.Benched(now + coolDown - 1));
        EXPECT_FALSE(u.Benched(now + coolDown));
        now += coolDown;
    }
    for (int i = 0; i < 40; ++i)
        u.Failed(now, 1000);
    EXPECT_EQ(u.BenchedUntil() - now, MaxCoolDownMs);
    u.Worked(10);
    EXPECT_FALSE(u.Benched(now));
    u.Failed(now, 1000);
    EXPECT_EQ(u.BenchedUntil() - now, 1000);
    EXPECT_EQ(u.Failures, 45u);
}

TEST(GatewayAuth, OnlyKnownCredentialsPass)
{
    TProxyAuth auth;
    auth.Add("alice:secret");
    auth.Add("bob:pa:ss");
    const struct
    {
        QByteArray Value;
        bool Accepted;
    } cases[] = {
        {"Basic " + QByteArray("alice:secret").toBase64(), true},
        {"basic  " + QByteArray("bob:pa:ss").toBase64(), true},
        {"Basic " + QByteArray("alice:secreT").toBase64(), false},
        {"Basic " + QByteArray("alice:secret2").toBase64(), false},
        {"Basic " + QByteArray("alice").toBase64(), false},
        {"Basic !!!", false},
        {"Bearer " + QByteArray("alice:secret").toBase64(), false},
        {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(auth.Accepts(c.Value), c.Accepted) << c.Value.toStdString();

    QTemporaryDir dir;
    QString error;
    TProxyAuth loaded;
    EXPECT_TRUE(loaded.Load(WriteFile(dir, "ok", "# users\r\nalice:secret\r\n\r\n"), &error));
    EXPECT_TRUE(loaded.Accepts("Basic " + QByteArray("alice:secret").toBase64()));
    EXPECT_FALSE(TProxyAuth().Load(WriteFile(dir, "bad", "alice\n"), &error));
    EXPECT_FALSE(TProxyAuth().Load(WriteFile(dir, "empty", "# nobody\n"), &error));
}

TEST(GatewayPool, ResultFilesGiveTheirGoodProxies)
{
    QTemporaryDir dir;
    // Results as vexo-cli check writes them.
    const auto entry = [](const char *host, const char *port, qint32 state, net::TProxyType type,
                          const char *speed) {
        analyser::TProxyItem e;
        e.Host = QByteArray(host);
        e.Port = QByteArray(port);
        e.State = state;
        e.Type = type;
        e.Speed = QByteArray(speed);
        return e;
    };
    const analyser::TAnalyserList checked = {
        entry("10.0.0.3", "80", analyser::psGood, net::ptHttp, "120"),
        entry("10.0.0.4", "80", analyser::psTimeout, net::ptHttp, ""),
        entry("10.0.0.5", "1080", analyser::psGood, net::ptSocks4, "40"),
    };
    const struct
    {
        const char *Name;
        QByteArray Content;
        QByteArray Keys;
        qsizetype Skipped;
    } cases[] = {
        {"saved.txt",
         "10.0.0.1:3128\r\nsocks5://10.0.0.2:1080\r\nproxy.example:80\r\n"
         "10.0.0.1:3128\r\n",
         "10.0.0.1:3128 socks5://10.0.0.2:1080", 1},
        {"check.csv", cli::FormatCheckResults(checked, cli::TFormat::Csv, cli::TLineEnd::Lf, false),
         "10.0.0.3:80 socks4://10.0.0.5:1080", 0},
        {"check.json",
         cli::FormatCheckResults(checked, cli::TFormat::Json, cli::TLineEnd::Lf, false),
         "10.0.0.3:80 socks4://10.0.0.5:1080", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        analyser::TAnalyserList list;
        TUpstreams upstreams;
        qsizetype skipped = 0;
        QString error;
        ASSERT_TRUE(
            LoadPoolFile(WriteFile(dir, c.Name, c.Content), list, upstreams, &skipped, &error))
            << error.toStdString();
        QByteArrayList keys;
        for (const TUpstreamPtr &u : upstreams)
            keys.append(u->Key());
        EXPECT_EQ(keys.join(' '), c.Keys);
        EXPECT_EQ(skipped, c.Skipped);
    }

    // The check history gives the proxies good within the time asked.
    {
        analyser::TAnalyserList list;
        TUpstreams upstreams;
        qsizetype skipped = 0;
        QString error;
        EXPECT_FALSE(LoadPoolFromHistory(dir.path(), 3600000, list, upstreams, &skipped, &error));
        EXPECT_TRUE(error.contains(QStringLiteral("no check history"))) << error.toStdString();
        history::THistoryDb db;
        ASSERT_TRUE(db.Open(dir.filePath(QStringLiteral("History.sqlite"))));
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        std::vector<history::TCheckRecord> checks(3);
        const char *hosts[] = {"10.0.0.6", "10.0.0.7", "10.0.0.8"};
        const qint64 ages[] = {60000, 3 * 3600000, 60000};
        for (size_t i = 0; i < checks.size(); ++i) {
            checks[i].Host = hosts[i];
            checks[i].Port = "3128";
            checks[i].At = now - ages[i];
            checks[i].State = i == 2 ? analyser::psTimeout : analyser::psGood;
        }
        ASSERT_TRUE(db.Record(checks));
        ASSERT_TRUE(LoadPoolFromHistory(dir.path(), 3600000, list, upstreams, &skipped, &error))
            << error.toStdString();
        ASSERT_EQ(upstreams.size(), 1u);
        EXPECT_EQ(upstreams[0]->Key(), "10.0.0.6:3128");
    }

    // A swap keeps what was learnt of the upstreams that stay.
    TPool pool;
    pool.Replace({Upstream(1), Upstream(2)});
    const TUpstreamPtr stays = pool.Upstreams()[1];
    stays->Failed(0);
    pool.Replace({Upstream(2), Upstream(3)});
    EXPECT_EQ(pool.Upstreams()[0], stays);
    EXPECT_EQ(stays->Failures, 1u);
}

TEST(GatewayCommandLine, DefaultsAndRefusals)
{
    QTemporaryDir dir;
    const QString auth = WriteFile(dir, "auth", "u:p\n");
    const QString base = QStringLiteral("vexo-gateway --pool good.txt");
    TGatewayCommand c;
    QString error;
    ASSERT_TRUE(ParseGatewayCommandLine(base.split(u' '), c, &error)) << error.toStdString();
    EXPECT_EQ(c.Config.Address, QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(c.Config.Port, 8899);
    EXPECT_EQ(c.Config.Tries, 3);
    EXPECT_EQ(c.Config.Rotate, TRotate::RoundRobin);
    EXPECT_TRUE(c.Config.AdminAddress.isNull());

    const struct
    {
        QString Args;
        bool Ok;
    } cases[] = {
        {QStringLiteral(" --listen 0.0.0.0:8899"), false}, // open to all without credentials
        {QStringLiteral(" --listen 0.0.0.0:8899 --auth-file ") + auth, true},
        {QStringLiteral(" --admin 192.0.2.1:8898"), false},
        {QStringLiteral(" --admin 127.0.0.1:8898 --rotate sticky --sticky-minutes 5"), true},
        {QStringLiteral(" --rotate fastest --timeout 3 --tries 5 --recheck 30"), true},
        {QStringLiteral(" --rotate slowest"), false},
        {QStringLiteral(" --tries 0"), false},
        {QStringLiteral(" --from-history"), false}, // a pool file and the history at once
        {QStringLiteral(" --good-within 7d"), true},
        {QStringLiteral(" --good-within soon"), false},
        {QStringLiteral(" --listen localhost:8899"), false},
    };
    for (const auto &k : cases) {
        TGatewayCommand command;
        EXPECT_EQ(ParseGatewayCommandLine((base + k.Args).split(u' '), command, &error), k.Ok)
            << k.Args.toStdString() << ": " << error.toStdString();
    }
    TGatewayCommand noPool;
    EXPECT_FALSE(ParseGatewayCommandLine({QStringLiteral("vexo-gateway")}, noPool, &error));
    TGatewayCommand history;
    ASSERT_TRUE(ParseGatewayCommandLine(
        QStringLiteral("vexo-gateway --from-history --good-within 2h").split(u' '), history,
        &error));
    EXPECT_TRUE(history.FromHistory);
    EXPECT_EQ(history.GoodWithinMs, 2 * 3600 * 1000);
}
