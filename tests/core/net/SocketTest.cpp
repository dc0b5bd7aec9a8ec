// The socket: lookup, connect, send and receive, close, properties and the
// error texts, against loopback peers.
#include "net/LoopbackResolver.h"
#include "net/WSocket.h"
#include "support/EventLoop.h"
#include "support/NoSystemLookups.h"
#include "support/OriginServer.h"
#include "support/RefusedPort.h"

#include <QHostInfo>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

using namespace net;
using testsupport::OriginServer;
using testsupport::Script;
using testsupport::waitUntil;

TEST(SocketSendBuffer, FillsDrainsAndRefills)
{
    TBuffer Default(0);
    EXPECT_EQ(Default.Size(), 1514);

    TBuffer B(10);
    EXPECT_EQ(B.Write("0123456", 7), 7);
    EXPECT_EQ(B.Write("789abc", 6), 3); // only what fits
    const char *Data = nullptr;
    ASSERT_EQ(B.Peek(Data), 10);
    EXPECT_EQ(QByteArray(Data, 10), QByteArray("0123456789"));
    B.Remove(4);
    ASSERT_EQ(B.Peek(Data), 6);
    EXPECT_EQ(QByteArray(Data, 6), QByteArray("456789"));
    EXPECT_EQ(B.Write("x", 1), 0); // still full at its end
    B.Remove(6);
    EXPECT_EQ(B.WrCount(), 0); // emptied: back to the start
    EXPECT_EQ(B.RdCount(), 0);
    EXPECT_EQ(B.Write("xy", 2), 2);
}

TEST(SocketErrors, DescriptionsAndErrnoTranslation)
{
    const struct
    {
        int Code;
        const char *Text;
    } Texts[] = {{0, "No Error"},
                 {10022, "Invalid argument"},
                 {10035, "Operation would block"},
                 {10054, "Connection reset by peer"},
                 {10061, "Connection refused"},
                 {10093, "WinSock not initialized"},
                 {11001, "Host not found"},
                 {11004, "No Data"},
                 {12345, "Not a WinSock error"}};
    for (const auto &T : Texts)
        EXPECT_EQ(WSocketErrorDesc(T.Code), QByteArray(T.Text)) << T.Code;

    const struct
    {
        int Errno;
        quint16 Code;
    } Map[] = {{ECONNREFUSED, 10061}, {ECONNRESET, 10054},  {ETIMEDOUT, 10060},
               {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051}, {EWOULDBLOCK, 10035},
               {EMFILE, 10024},       {EINPROGRESS, 10036}, {EPIPE, 10054}};
    for (const auto &M : Map)
        EXPECT_EQ(WSocketErrorFromErrno(M.Errno), M.Code) << M.Errno;
}

TEST(SocketLookup, DottedAddressesAreAnsweredAtOnce)
{
    const struct
    {
        const char *Name;
        bool Dotted;
        const char *Result;
    } Cases[] = {{"127.0.0.1", true, "127.0.0.1"},
                 {"  10.1.2.3 ", true, "10.1.2.3"},
                 {"010.001.2.3", true, "10.1.2.3"},
                 {"1.2.3", false, ""},
                 {"1.2.3.256", false, ""},
                 {".1.2.3.4", false, ""},
                 {"1.2.3.4.", false, ""},
                 {"1..2.3", false, ""},
                 {"a.b.c.d", false, ""}};
    for (const auto &C : Cases) {
        QByteArray Dotted;
        EXPECT_EQ(WSocketIsDottedIP(C.Name, &Dotted), C.Dotted) << C.Name;
        if (C.Dotted) {
            EXPECT_EQ(Dotted, QByteArray(C.Result));
        }
    }

    TWSocket S;
    int Done = -1;
    S.OnDnsLookupDone = [&](TWSocket *, quint16 E) { Done = E; };
    S.DnsLookup(" 127.0.0.1");
    EXPECT_EQ(Done, 0); // before DnsLookup returned
    EXPECT_EQ(S.DnsResult(), QByteArray("127.0.0.1"));
    EXPECT_EQ(S.DnsResultList(), QByteArrayList{"127.0.0.1"});
}

TEST(SocketLookup, EmptyNameReportsAnErrorThenInvalidArgument)
{
    TWSocket S;
    std::vector<std::string> Seen;
    S.OnError = [&](TWSocket *Sk) {
        Seen.push_back("Error:" + Sk->LastErrorMessage().toStdString());
    };
    S.OnDnsLookupDone = [&](TWSocket *, quint16 E) { Seen.push_back("Done:" + std::to_string(E)); };
    S.DnsLookup("");
    EXPECT_EQ(Seen,
              (std::vector<std::string>{"Error:DNS lookup: invalid host name.", "Done:10022"}));

    TWSocket Bare;
    try {
        Bare.DnsLookup("");
        FAIL() << "no exception";
    } catch (const ESocketException &E) {
        EXPECT_EQ(E.Message(), QByteArray("DNS lookup: invalid host name."));
    }
}

TEST(SocketLookup, NamesAreLookedUpFromTheEventLoop)
{
    TWSocket S;
    int Done = -1;
    S.OnDnsLookupDone = [&](TWSocket *, quint16 E) { Done = E; };
    S.DnsLookup("localhost");
    EXPECT_EQ(Done, -1);
    ASSERT_TRUE(waitUntil([&] { return Done >= 0; }));
    EXPECT_EQ(Done, 0);
    EXPECT_EQ(S.DnsResult(), QByteArray("127.0.0.1"));

    // A name that no host can have is refused before any resolver sees it;
    // a name the resolver does not know fails from the event loop.
    const qsizetype Asked = testsupport::loopbackResolver().Asked().size();
    Done = -1;
    S.OnError = [](TWSocket *) {};
    S.DnsLookup("no such host");
    EXPECT_EQ(Done, 10022);
    EXPECT_EQ(S.LastErrorMessage(), QByteArray("DNS lookup: invalid host name."));
    EXPECT_EQ(testsupport::loopbackResolver().Asked().size(), Asked);
    Done = -1;
    S.DnsLookup("unknown.invalid");
    EXPECT_EQ(Done, -1);
    ASSERT_TRUE(waitUntil([&] { return Done >= 0; }));
    EXPECT_EQ(Done, 11001);
    EXPECT_TRUE(S.DnsResult().isEmpty());

    // The system's resolver has no IPv4 address for an IPv6 one, and asks
    // no one for its name.
    TResolver *Loopback = SetResolver(nullptr);
    Done = -1;
    S.DnsLookup("[::1]");
    const bool Answered = waitUntil([&] { return Done >= 0; });
    SetResolver(Loopback);
    EXPECT_TRUE(Answered);
    EXPECT_EQ(Done, 11004);

    // Cancelled: no event at all.
    Done = -1;
    S.DnsLookup("localhost");
    S.CancelLookup();
    testsupport::spinFor(30);
    EXPECT_EQ(Done, -1);
}

namespace {

// A socket with every event recorded in order.
struct SocketProbe
{
    explicit SocketProbe(TWSocket &S)
    {
        S.OnSessionConnected = [this](TWSocket *, quint16 E) { add("Connected", E); };
        S.OnSessionClosed = [this](TWSocket *, quint16 E) { add("Closed", E); };
        S.OnDataSent = [this](TWSocket *, quint16 E) { add("DataSent", E); };
        S.OnError = [this](TWSocket *Sk) {
            Events.push_back("Error:" + Sk->LastErrorMessage().toStdString());
        };
        S.OnDataAvailable = [this](TWSocket *Sk, quint16) {
            char Buf[700];
            const qint32 N = Sk->Receive(Buf, sizeof Buf);
            if (N > 0)
                Data += QByteArray(Buf, N);
        };
    }
    void add(const char *Name, quint16 E)
    {
        // Built front to back: prepending to a std::string trips a false
        // -Wrestrict of GCC 12 at -O3.
        std::string Event(Name);
        Event += ':';
        Event += std::to_string(E);
        Events.push_back(std::move(Event));
    }
    int count(const std::string &Prefix) const
    {
        int N = 0;
        for (const auto &E : Events)
            N += E.rfind(Prefix, 0) == 0;
        return N;
    }
    std::vector<std::string> Events;
    QByteArray Data;
};

void Aim(TWSocket &S, quint16 Port)
{
    S.SetAddr("127.0.0.1");
    S.SetPort(QByteArray::number(Port));
}

} // namespace

TEST(SocketConnect, RefusedConnectReportsTheCodeThenClosesItself)
{
    testsupport::RefusedPort Refused;
    TWSocket S;
    SocketProbe P(S);
    Aim(S, Refused.port());
    S.Connect();
    EXPECT_EQ(S.State(), wsConnecting);
    ASSERT_TRUE(waitUntil([&] { return S.State() == wsClosed; }));
    EXPECT_EQ(P.Events, (std::vector<std::string>{"Connected:10061", "Closed:0"}));
    EXPECT_TRUE(S.Addr().isEmpty()); // reset after the close
}

TEST(SocketConnect, MisuseIsReportedWithItsMessage)
{
    TWSocket S;
    SocketProbe P(S);
    S.Connect();
    S.SetAddr("127.0.0.1");
    S.Connect();
    S.SetPort("no-such-service");
    S.Connect();
    S.SetPort("70000");
    S.Connect();
    // A name that no host can have is never handed to the system.
    S.SetPort("80");
    S.SetAddr("\377host");
    S.Connect();
    EXPECT_EQ(P.Events,
              (std::vector<std::string>{
                  "Error:Connect: No Port Specified", "Error:Connect: No Port Specified",
                  "Error:connect: WSocketResolvePort: Cannot convert port 'no-such-service', "
                  "Error #11004",
                  "Error:connect: WSocketResolvePort: Invalid Port.",
                  "Error:connect: WSocketResolveHost: '\377host' Invalid Hostname."}));
    EXPECT_EQ(S.State(), wsClosed);

    S.SetSocksLevel("4a");
    EXPECT_EQ(S.SocksLevel(), QByteArray("4A"));
    S.SetSocksLevel("6");
    EXPECT_EQ(S.SocksLevel(), QByteArray("4A"));
    S.SetSendFlags(7);
    EXPECT_EQ(S.SendFlags(), int(wsSendNormal));
    EXPECT_EQ(P.Events.back(), "Error:Invalid SendFlags");
    EXPECT_EQ(P.Events[P.Events.size() - 2], "Error:Invalid socks level. Must be 4, 4A or 5.");
}

TEST(SocketConnect, SendIsReportedLaterAndTheCloseOnce)
{
    OriginServer Server;
    Server.setDefault(Script().send("hello from the server").close());
    TWSocket S;
    SocketProbe P(S);
    bool InsideSend = false;
    S.OnDataSent = [&](TWSocket *, quint16 E) {
        EXPECT_FALSE(InsideSend);
        P.add("DataSent", E);
    };
    S.OnSessionConnected = [&](TWSocket *Sk, quint16 E) {
        P.add("Connected", E);
        InsideSend = true;
        EXPECT_EQ(Sk->SendStr("GET / HTTP/1.0\r\n\r\n"), 18);
        InsideSend = false;
        EXPECT_EQ(P.count("DataSent"), 0);
    };
    Aim(S, Server.port());
    S.Connect();
    ASSERT_TRUE(waitUntil([&] { return P.count("Closed") > 0; }));
    testsupport::spinFor(20);
    EXPECT_EQ(P.Events, (std::vector<std::string>{"Connected:0", "DataSent:0", "Closed:0"}));
    EXPECT_EQ(P.Data, QByteArray("hello from the server"));
    EXPECT_EQ(S.State(), wsClosed);
    S.Close(); // already closed: no second report
    EXPECT_EQ(P.count("Closed"), 1);
}

TEST(SocketConnect, ResetByThePeerIsAClosedSessionWithItsCode)
{
    OriginServer Server;
    Server.setDefault(Script().send("partial").wait(20).reset());
    TWSocket S;
    SocketProbe P(S);
    S.OnSessionConnected = [&](TWSocket *Sk, quint16) { Sk->SendStr("x\r\n\r\n"); };
    Aim(S, Server.port());
    S.Connect();
    ASSERT_TRUE(waitUntil([&] { return P.count("Closed") > 0; }));
    EXPECT_EQ(P.Events.back(), "Closed:10054");
    EXPECT_EQ(P.count("Closed"), 1);
}

TEST(SocketProperties, ChangesWhileConnectedAreRefusedAndTheResetKeepsTheUsercode)
{
    OriginServer Server;
    Server.setDefault(Script().keepOpen());
    TWSocket S;
    SocketProbe P(S);
    S.SetSocksUsercode("17");
    S.SetSocksServer("socks.invalid");
    S.SetSocksServer("");
    S.SetSocksPort("1080");
    Aim(S, Server.port());
    S.Connect();
    ASSERT_TRUE(waitUntil([&] { return S.State() == wsConnected; }));

    S.SetAddr("10.0.0.1");
    S.SetPort("1");
    S.SetSocksPort("9");
    EXPECT_EQ(S.Addr(), QByteArray("127.0.0.1"));
    EXPECT_EQ(S.Port(), QByteArray::number(Server.port()));
    EXPECT_EQ(S.SocksPort(), QByteArray("1080"));
    EXPECT_EQ(P.count("Error:Cannot change Addr if not closed"), 1);
    EXPECT_EQ(P.count("Error:Cannot change Port if not closed"), 1);
    EXPECT_EQ(P.count("Error:Can't change socks port if not closed"), 1);

    S.OnError = nullptr;
    try {
        S.SetAddr("10.0.0.1");
        FAIL() << "no exception";
    } catch (const ESocketException &E) {
        EXPECT_EQ(E.Message(), QByteArray("Cannot change Addr if not closed"));
    }

    S.Close();
    EXPECT_EQ(S.State(), wsClosed);
    EXPECT_EQ(S.SocksUsercode(), QByteArray("17"));
    EXPECT_TRUE(S.SocksPort().isEmpty());
    EXPECT_TRUE(S.Addr().isEmpty());
    EXPECT_EQ(S.Proto(), QByteArray("tcp"));
    EXPECT_EQ(S.LocalAddr(), QByteArray("0.0.0.0"));
    EXPECT_EQ(P.count("Closed"), 1);
}

TEST(SocketConnect, SocksServerIsRefusedRatherThanBypassed)
{
    TWSocket S;
    SocketProbe P(S);
    S.SetSocksServer("127.0.0.1");
    Aim(S, 1);
    S.Connect();
    EXPECT_EQ(P.Events, (std::vector<std::string>{"Error:Connect: SOCKS is not supported"}));
    EXPECT_EQ(S.State(), wsClosed);
}

TEST(SocketConnect, SocketMayBeFreedFromItsCloseEvent)
{
    OriginServer Server;
    Server.setDefault(Script().send("bye").close());
    Server.setAnswerWithoutRequest(true);
    auto *S = new TWSocket;
    bool Freed = false;
    S->OnDataAvailable = [](TWSocket *Sk, quint16) {
        char B[64];
        Sk->Receive(B, sizeof B);
    };
    S->OnSessionClosed = [&](TWSocket *Sk, quint16) {
        delete Sk;
        Freed = true;
    };
    Aim(*S, Server.port());
    S->Connect();
    ASSERT_TRUE(waitUntil([&] { return Freed; }));
}

TEST(SocketConnect, ABoundLocalPortIsReadBack)
{
    OriginServer Server;
    Server.setDefault(Script().keepOpen());
    TWSocket S;
    SocketProbe P(S);
    Aim(S, Server.port());
    S.SetLocalAddr("127.0.0.1");
    S.Connect();
    ASSERT_TRUE(waitUntil([&] { return S.State() == wsConnected; }));
    EXPECT_NE(S.LocalPort(), QByteArray("0"));
    EXPECT_EQ(S.PeerAddr(), QByteArray("127.0.0.1"));
    EXPECT_EQ(S.PeerPort(), QByteArray::number(Server.port()));
    S.Abort();
    EXPECT_EQ(S.State(), wsClosed);
}

TEST(SocketLookup, ATestThatAsksTheSystemForANameFails)
{
    // What a lookup outside the resolver seam would do: the test support
    // turns it into a failure of the test, and nothing is asked.
    QHostInfo Info;
    EXPECT_NONFATAL_FAILURE_ON_ALL_THREADS(
        Info = QHostInfo::fromName(QStringLiteral("vexo.invalid")), "asked the system's resolver");
    EXPECT_NE(Info.error(), QHostInfo::NoError);
}
