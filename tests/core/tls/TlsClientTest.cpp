// The HTTP client over TLS, directly: the same exchange as over a plain
// connection, verified certificates, and every way a handshake can fail
// ending with one completion and its reason.
#include "core/net/ClientProbe.h"
#include "net/HttpProt.h"
#include "net/TlsSession.h"
#include "net/Wait.h"
#include "support/OriginServer.h"
#include "support/SilentPort.h"
#include "support/TestCertificates.h"
#include "support/TlsFront.h"
#include "util/Limits.h"

#include <openssl/ssl.h>

#include <QBuffer>

#include <gtest/gtest.h>

#include <algorithm>

using namespace net;
using testsupport::CertificatePair;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::TestCertificates;
using testsupport::TlsFront;

namespace {

const TestCertificates &Certs()
{
    const TestCertificates &C = TestCertificates::shared();
    EXPECT_TRUE(C.ok()) << C.error().toStdString();
    return C;
}

// One GET and its outcome, with room for a second completion to show.
struct Fetch
{
    Fetch() : Probe(Client) {}
    bool get(const QByteArray &Url, bool Verify = true)
    {
        Client.SetURL(Url);
        Client.SetVerifyCertificates(Verify);
        Client.StartGet();
        if (!Probe.waitDone())
            return false;
        testsupport::spinFor(30);
        return true;
    }
    void expectFailure(const QByteArray &Reason) const
    {
        EXPECT_EQ(Probe.Done, 1);
        EXPECT_EQ(Probe.Status, 404);
        EXPECT_EQ(Probe.Reason, Reason);
        EXPECT_EQ(Client.State(), hsReady);
        EXPECT_TRUE(Probe.Body.isEmpty());
        EXPECT_EQ(TTlsSession::LiveCount(), 0);
    }
    THttpCli Client;
    ClientProbe Probe;
};

const QByteArray Page = "<html><body>1.2.3.4:8080</body></html>";

} // namespace

TEST(TlsClient, SameExchangeAsOverPlainHttp)
{
    OriginServer Server;
    const QByteArray Big(20000, 'x');
    Server.route("/page", Script::response(200, "OK", {"Content-Type: text/html"}, Page));
    Server.route("/big", Script::response(200, "OK", {}, Big));
    TlsFront Front(Server.port(), Certs().good());
    ASSERT_TRUE(Front.ok()) << Front.error().toStdString();

    Fetch Plain, Secure;
    ASSERT_TRUE(Plain.get(Server.url("/page")));
    ASSERT_TRUE(Secure.get(Front.url("/page")));
    EXPECT_EQ(Secure.Probe.Status, 200);
    EXPECT_EQ(Secure.Probe.Reason, "OK");
    EXPECT_EQ(Secure.Probe.Body, Page);
    EXPECT_EQ(Secure.Probe.Events, Plain.Probe.Events);
    EXPECT_EQ(Secure.Probe.Done, 1);
    EXPECT_EQ(Secure.Client.ContentType(), "text/html");
    EXPECT_EQ(Secure.Client.DocumentName(), "page.htm");
    EXPECT_EQ(Front.handshakes(), 1);

    // What the origin received through the tunnel is the direct request,
    // byte for byte the one sent over the plain connection but for the host.
    ASSERT_EQ(Server.requests().size(), 2);
    QByteArray Raw = Server.requests()[0].raw;
    Raw.replace("Host: 127.0.0.1", "Host: localhost");
    EXPECT_EQ(Server.requests()[1].raw, Raw);

    // A body larger than the receive buffer comes in pieces of at most 8192
    // bytes, each followed by a NUL, as over a plain connection.
    Fetch Large;
    ASSERT_TRUE(Large.get(Front.url("/big")));
    EXPECT_EQ(Large.Probe.Body, Big);
    EXPECT_EQ(Large.Client.RcvdCount(), 20000);
    EXPECT_TRUE(Large.Probe.NulAfterEveryPiece);
    for (const QByteArray &Piece : Large.Probe.Pieces)
        EXPECT_LE(Piece.size(), 8192);

    // A body posted in several pieces goes through the session whole.
    const QByteArray Form = QByteArray("a=b&").repeated(5000);
    QBuffer Stream;
    Stream.setData(Form);
    Stream.open(QIODevice::ReadOnly);
    Fetch Post;
    Post.Client.SetPostStream(&Stream);
    Post.Client.SetURL(Front.url("/page"));
    Post.Client.StartPost();
    ASSERT_TRUE(Post.Probe.waitDone());
    EXPECT_EQ(Post.Probe.Status, 200);
    ASSERT_EQ(Server.requests().size(), 4);
    EXPECT_EQ(Server.requests()[3].method, "POST");
    EXPECT_EQ(Server.requests()[3].body, Form);
    EXPECT_EQ(TTlsSession::LiveCount(), 0);
}

TEST(TlsClient, AnAddressOrAServerWithoutCloseNotify)
{
    OriginServer Server;
    Server.route("/page", Script::response(200, "OK", {}, Page));
    {
        // The certificate names 127.0.0.1 too; no server name is sent for it.
        TlsFront Front(Server.port(), Certs().good());
        Fetch F;
        ASSERT_TRUE(F.get(Front.url("/page", "127.0.0.1")));
        EXPECT_EQ(F.Probe.Status, 200);
        EXPECT_EQ(F.Probe.Body, Page);
    }
    {
        // The end of the connection ends the page, as over plain HTTP.
        TlsFront::Options O;
        O.closeNotify = false;
        TlsFront Front(Server.port(), Certs().good(), O);
        Fetch F;
        ASSERT_TRUE(F.get(Front.url("/page")));
        EXPECT_EQ(F.Probe.Status, 200);
        EXPECT_EQ(F.Probe.Body, Page);
        EXPECT_EQ(F.Probe.Done, 1);
    }
}

TEST(TlsClient, CertificatesThatFailVerificationPassWhenItIsOff)
{
    OriginServer Server;
    Server.route("/page", Script::response(200, "OK", {}, Page));
    const struct
    {
        CertificatePair Cert;
        QByteArray Reason;
    } Cases[] = {
        {Certs().wrongHost(), "TLS: certificate verify failed (hostname mismatch)"},
        {Certs().expired(), "TLS: certificate verify failed (certificate has expired)"},
        {Certs().selfSigned(), "TLS: certificate verify failed (self-signed certificate)"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Reason.toStdString());
        TlsFront Front(Server.port(), C.Cert);
        ASSERT_TRUE(Front.ok()) << Front.error().toStdString();
        {
            Fetch F;
            ASSERT_TRUE(F.get(Front.url("/page")));
            F.expectFailure(C.Reason);
            EXPECT_EQ(F.Probe.LastError, 0);
            EXPECT_FALSE(F.Probe.hasEvent("SessionConnected"));
        }
        {
            Fetch F;
            ASSERT_TRUE(F.get(Front.url("/page"), false));
            EXPECT_EQ(F.Probe.Status, 200);
            EXPECT_EQ(F.Probe.Body, Page);
        }
    }
    // Nothing of the failed handshakes reached the origin.
    EXPECT_EQ(Server.requests().size(), 3);
}

TEST(TlsClient, HandshakeFailuresEndWithOneCompletion)
{
    OriginServer Server;
    Server.route("/page", Script::response(200, "OK", {}, Page));
    {
        // A server that speaks only TLS 1.1 answers the hello with an alert.
        TlsFront::Options O;
        O.maxVersion = TLS1_1_VERSION;
        TlsFront Front(Server.port(), Certs().good(), O);
        Fetch F;
        ASSERT_TRUE(F.get(Front.url("/page")));
        F.expectFailure("TLS: handshake failed (tlsv1 alert protocol version)");
    }
    {
        TlsFront::Options O;
        O.behaviour = TlsFront::Behaviour::CloseInHandshake;
        TlsFront Front(Server.port(), Certs().good(), O);
        Fetch F;
        ASSERT_TRUE(F.get(Front.url("/page")));
        F.expectFailure("TLS: handshake failed (connection closed by peer)");
    }
    {
        // A plain HTTP server on the address.
        OriginServer Plain;
        Plain.setAnswerWithoutRequest(true);
        Plain.setDefault(Script::response(400, "Bad Request", {}, "plain"));
        Fetch F;
        ASSERT_TRUE(F.get("https://127.0.0.1:" + QByteArray::number(Plain.port()) + "/"));
        EXPECT_EQ(F.Probe.Done, 1);
        EXPECT_EQ(F.Probe.Status, 404);
        EXPECT_TRUE(F.Probe.Reason.startsWith("TLS: handshake failed (")) << F.Probe.Reason.data();
        EXPECT_EQ(TTlsSession::LiveCount(), 0);
    }
    {
        // The server wants a client certificate: its alert comes after the
        // client has finished its side of the handshake and sent the request.
        TlsFront::Options O;
        O.behaviour = TlsFront::Behaviour::RequireClientCert;
        TlsFront Front(Server.port(), Certs().good(), O);
        Fetch F;
        ASSERT_TRUE(F.get(Front.url("/page")));
        F.expectFailure("TLS: alert received (tlsv13 alert certificate required)");
    }
}

TEST(TlsClient, StalledHandshakeTimesOut)
{
    // The peer takes the connection and never answers the hello: the
    // request's timer ends it, as it does in the runs.
    testsupport::SilentPort Silent;
    Fetch F;
    TWait Wait(&F.Client);
    Wait.SetInterval(20);
    Wait.SetCaption(QStringLiteral("3"));
    Wait.OnTimeout = [&](TWait *) { F.Client.Abort(); };
    Wait.Start();
    ASSERT_TRUE(F.get("https://127.0.0.1:" + QByteArray::number(Silent.port()) + "/"));
    F.expectFailure("Connection aborted on request");
    EXPECT_EQ(F.Probe.LastError, httperrAborted);
}

TEST(TlsClient, HostileAnswersMeetTheSameLimitsAsOverPlainHttp)
{
    OriginServer Server;
    TlsFront Front(Server.port(), Certs().good());
    const QByteArray Ok = "HTTP/1.0 200 OK\r\n";
    const struct
    {
        Script Answer;
        QByteArray Reason;
    } Cases[] = {
        {Script().send(Ok).repeat("X-Pad: " + QByteArray(36, 'a') + "\r\n", -1),
         "HTTP header too large"},
        {Script().send(Ok + "X-Endless: ").repeat(QByteArray(1000, 'z'), -1), "HTTP line too long"},
        {Script().send(Ok + QByteArray("X-A: b\0c\r\n\r\nbody", 17)).keepOpen(),
         "NUL byte in HTTP header"},
        {Script().send(Ok).repeat("WWW-Authenticate: Basic realm=x\r\n", -1),
         "Too many authentication challenges"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Reason.toStdString());
        Server.route("/hostile", C.Answer);
        Fetch F;
        qint64 Peak = 0;
        F.Client.OnHeaderData = [&](THttpCli *S) { Peak = std::max(Peak, S->BytesHeld()); };
        ASSERT_TRUE(F.get(Front.url("/hostile")));
        F.expectFailure(C.Reason);
        // A full header and one record of the session at most.
        EXPECT_LE(Peak, limits::MaxHeaderBytes + limits::MaxHeaderLines * 64 +
                            2 * limits::MaxHeaderLineBytes + 17 * 1024);
    }
}
