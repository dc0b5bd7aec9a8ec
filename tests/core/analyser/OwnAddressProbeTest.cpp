// Asking a loopback judge directly for the own address: what it answers, what
// happens when it does not, and how a typed address and a new ask end one
// under way. The probe connects from an address of its own, which the judge
// can translate as a NAT would.
#include "analyser/OwnAddressProbe.h"
#include "analyser/OwnAddress.h"
#include "support/EventLoop.h"
#include "support/JudgePeer.h"
#include "support/RefusedPort.h"
#include "support/TestCertificates.h"
#include "support/TlsFront.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

using namespace analyser;
using testsupport::JudgePeer;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::waitUntil;

namespace {

const QString Machine = QStringLiteral("192.168.1.20");
const QByteArray Local = "127.0.0.7";    // where the probe's connection comes from
const QByteArray Public = "203.0.113.7"; // what a judge behind the NAT sees

class OwnAddressProbeTest : public ::testing::Test
{
protected:
    OwnAddressProbeTest()
    {
        Probe.SetMachineAddress(Machine);
        Probe.SetWaitInterval(50);
        Probe.SetLocalAddr(Local);
        QObject::connect(
            &Probe, &TOwnAddressProbe::found, &Probe,
            [this](const QString &A, TOwnAddressSource S) { Found.emplace_back(A, S); });
        Judge.translate(Local, Public);
    }
    ~OwnAddressProbeTest() override { OwnAddressSources().askJudges = true; }

    bool WaitFound(size_t N = 1)
    {
        return waitUntil([&] { return Found.size() >= N; });
    }
    using Answer = std::pair<QString, TOwnAddressSource>;
    static Answer FromJudge(const QByteArray &A)
    {
        return {QString::fromLatin1(A), TOwnAddressSource::Judge};
    }
    static Answer FromMachine() { return {Machine, TOwnAddressSource::Machine}; }

    JudgePeer Judge;
    TOwnAddressProbe Probe;
    std::vector<Answer> Found;
};

TEST_F(OwnAddressProbeTest, TheJudgeTellsTheAddressItSeesFromADirectRequest)
{
    EXPECT_EQ(Probe.Address(), Machine);
    ASSERT_TRUE(Probe.Find(Judge.url("/judge"), QStringLiteral("10")));
    EXPECT_TRUE(Probe.IsAsking());
    EXPECT_TRUE(Found.empty()); // never from inside the call
    ASSERT_TRUE(WaitFound());
    EXPECT_EQ(Found, std::vector<Answer>{FromJudge(Public)});
    EXPECT_EQ(Probe.Address(), QString::fromLatin1(Public));
    EXPECT_FALSE(Probe.IsAsking());
    // Directly: the judge got the request itself, in origin form, from the
    // probe's address.
    ASSERT_EQ(Judge.requests().size(), 1);
    EXPECT_EQ(Judge.requests()[0].target, "/judge");
    EXPECT_EQ(Judge.requests()[0].peerAddress, Local);
    EXPECT_FALSE(Judge.requests()[0].hasHeader("Proxy-Connection"));

    // Without a NAT the judge sees the connection's own address.
    OriginServer Other;
    Other.setResponder(testsupport::judgeAnswer);
    ASSERT_TRUE(Probe.Find(Other.url("/"), QString()));
    ASSERT_TRUE(WaitFound(2));
    EXPECT_EQ(Found[1], FromJudge(Local));
}

TEST_F(OwnAddressProbeTest, WithoutAnAddressFromTheJudgeThisMachinesStands)
{
    testsupport::RefusedPort Refused;
    OriginServer Odd;
    Odd.route("/no-field", Script::response(200, "OK", {}, "<html>AnonyLevel>1</html>"));
    Odd.route("/not-found", Script::response(404, "Not Found", {}, "REMOTE_ADDR=1.2.3.4   \n"));
    Odd.route("/garbage", Script::response(200, "OK", {}, "REMOTE_ADDR=unknown\n"));
    Odd.route("/empty", Script::response(200, "OK", {}));
    Odd.route("/silent", testsupport::silent());
    Odd.route("/endless", testsupport::endlessBody());
    const std::pair<const char *, QByteArray> Judges[] = {
        {"refused", Refused.url("/")},
        {"no REMOTE_ADDR", Odd.url("/no-field")},
        {"not 200", Odd.url("/not-found")},
        {"no address in the field", Odd.url("/garbage")},
        {"empty page", Odd.url("/empty")},
        {"no answer within the timeout", Odd.url("/silent")},
        {"a page without end", Odd.url("/endless")},
        {"not an address at all", "http://"},
        {"an empty judge box", ""},
    };
    for (const auto &[Name, URL] : Judges) {
        SCOPED_TRACE(Name);
        // A judge that answered before does not outlive one that does not.
        Found.clear();
        ASSERT_TRUE(Probe.Find(Judge.url("/judge"), QStringLiteral("10")));
        ASSERT_TRUE(WaitFound());
        ASSERT_EQ(Probe.Address(), QString::fromLatin1(Public));

        QElapsedTimer Clock;
        Clock.start();
        ASSERT_TRUE(Probe.Find(URL, QStringLiteral("4"))); // 200 ms
        EXPECT_EQ(Found.size(), 1u);
        ASSERT_TRUE(WaitFound(2));
        EXPECT_EQ(Found[1], FromMachine());
        EXPECT_EQ(Probe.Address(), Machine);
        EXPECT_FALSE(Probe.IsAsking());
        EXPECT_LT(Clock.elapsed(), 4000); // bounded by the timeout, not hanging
    }
    EXPECT_EQ(std::string(TOwnAddressProbe::JudgeNotReachableText),
              "Own address from this machine: judge not reachable");
}

// A start's ask steps over judges that give no judge page, each with the
// whole timeout, to the first that does; judges of today's forms tell the
// address as well.
TEST_F(OwnAddressProbeTest, TheNextJudgeOfTheListAnswersForOneThatDoesNot)
{
    testsupport::RefusedPort Refused;
    OriginServer Odd;
    Odd.route("/silent", testsupport::silent());
    Odd.route("/portal", Script::response(200, "OK", {}, "<html>Sign in</html>"));
    JudgePeer Az;
    Az.setForm(testsupport::JudgeForm::AzEnvironment);
    Az.translate(Local, Public);
    const QList<QByteArray> List{Refused.url("/"), Odd.url("/silent"), Odd.url("/portal"),
                                 Az.url("/azenv.php"), Judge.url("/judge")};
    ASSERT_TRUE(Probe.Find(List, QStringLiteral("4"))); // 200 ms each
    ASSERT_TRUE(WaitFound());
    EXPECT_EQ(Found, std::vector<Answer>{FromJudge(Public)});
    EXPECT_EQ(Probe.Judge(), Az.url("/azenv.php"));
    EXPECT_EQ(Az.requests().size(), 1);
    EXPECT_TRUE(Judge.requests().isEmpty());

    JudgePeer Bin;
    Bin.setForm(testsupport::JudgeForm::Httpbin);
    Bin.translate(Local, Public);
    ASSERT_TRUE(Probe.Find(QList<QByteArray>{Bin.url("/get?show_env")}, QStringLiteral("4")));
    ASSERT_TRUE(WaitFound(2));
    EXPECT_EQ(Found[1], FromJudge(Public));

    // None answers: no judge, and this machine's address.
    ASSERT_TRUE(Probe.Find(List.first(3), QStringLiteral("4")));
    ASSERT_TRUE(WaitFound(3));
    EXPECT_EQ(Found[2], FromMachine());
    EXPECT_TRUE(Probe.Judge().isEmpty());
}

TEST_F(OwnAddressProbeTest, ATypedAddressWinsAndEndsAnAskUnderWay)
{
    OriginServer Silent;
    Silent.setDefault(testsupport::silent());
    ASSERT_TRUE(Probe.Find(Silent.url("/"), QStringLiteral("4")));
    ASSERT_TRUE(waitUntil([&] { return Silent.requests().size() == 1; }));

    // Typed while the judge keeps silent: reported at once, so a start
    // waiting for it can go on; the judge's end never comes.
    Probe.SetTyped(QStringLiteral("198.51.100.9"));
    const std::vector<Answer> Typed{{QStringLiteral("198.51.100.9"), TOwnAddressSource::Typed}};
    EXPECT_EQ(Found, Typed);
    EXPECT_FALSE(Probe.IsAsking());
    EXPECT_TRUE(Probe.IsTyped());
    testsupport::spinFor(400); // past the timeout
    EXPECT_EQ(Found, Typed);

    // From now on no judge is asked, and this machine's address does not
    // replace it either.
    EXPECT_FALSE(Probe.Find(Judge.url("/judge"), QStringLiteral("4")));
    Probe.SetMachineAddress(QStringLiteral("10.9.9.9"));
    Probe.SetTyped(QStringLiteral("198.51.100.10")); // typed again: nothing under way
    testsupport::spinFor(100);
    EXPECT_EQ(Found, Typed);
    EXPECT_EQ(Probe.Address(), QStringLiteral("198.51.100.10"));
    EXPECT_EQ(Judge.connectionCount(), 0);
}

TEST_F(OwnAddressProbeTest, ANewAskOrCancelDropsTheOldAnswer)
{
    JudgePeer Slow;
    Slow.setResponder([](const testsupport::HttpRequest &R) {
        return Script().wait(150).send(testsupport::judgeResponse(R));
    });
    // Asked again before the slow judge answered: only the new answer counts.
    ASSERT_TRUE(Probe.Find(Slow.url("/"), QStringLiteral("10")));
    ASSERT_TRUE(waitUntil([&] { return Slow.requests().size() == 1; }));
    ASSERT_TRUE(Probe.Find(Judge.url("/judge"), QStringLiteral("10")));
    ASSERT_TRUE(WaitFound());
    testsupport::spinFor(300);
    EXPECT_EQ(Found, std::vector<Answer>{FromJudge(Public)});

    // Cancelled: nothing is reported and the address stays.
    ASSERT_TRUE(Probe.Find(Slow.url("/"), QStringLiteral("10")));
    Probe.Cancel();
    EXPECT_FALSE(Probe.IsAsking());
    testsupport::spinFor(300);
    EXPECT_EQ(Found.size(), 1u);
    EXPECT_EQ(Probe.Address(), QString::fromLatin1(Public));

    // Judges not to be asked at all: nothing goes out.
    OwnAddressSources().askJudges = false;
    const int Before = Judge.connectionCount();
    EXPECT_FALSE(Probe.Find(Judge.url("/judge"), QStringLiteral("10")));
    testsupport::spinFor(100);
    EXPECT_EQ(Judge.connectionCount(), Before);
    EXPECT_EQ(Found.size(), 1u);
}

TEST_F(OwnAddressProbeTest, AnHttpsJudgesCertificateIsCheckedAsTheFrontEndSays)
{
    const testsupport::TestCertificates &Certs = testsupport::TestCertificates::shared();
    ASSERT_TRUE(Certs.ok()) << Certs.error().toStdString();
    testsupport::TlsFront Front(Judge.port(), Certs.selfSigned());

    // Checked by default: a judge whose certificate fails gives no address.
    ASSERT_TRUE(Probe.Find(Front.url("/judge"), QStringLiteral("10")));
    ASSERT_TRUE(WaitFound());
    EXPECT_EQ(Found.back(), FromMachine());

    // Not checked: the judge answers through TLS, and it saw the front's
    // connection.
    Probe.SetVerifyCertificates(false);
    ASSERT_TRUE(Probe.Find(Front.url("/judge"), QStringLiteral("10")));
    ASSERT_TRUE(WaitFound(2));
    EXPECT_EQ(Found.back(), FromJudge("127.0.0.1"));
    EXPECT_EQ(Front.handshakes(), 1);
}

} // namespace
