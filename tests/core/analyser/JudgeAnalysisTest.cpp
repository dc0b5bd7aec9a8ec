// Reading a judge's page: the three readings, and their verdict on an entry
// and the run's totals for every kind of page.
#include "analyser/JudgeAnalysis.h"
#include "support/AnalyserPrinters.h"

#include <gtest/gtest.h>

using namespace analyser;

namespace {

const QByteArray Own = "10.0.0.1";

TJudgeField Found(const QByteArray &Text)
{
    return {Text, true};
}
const TJudgeField Missing{"Unknown", false};

} // namespace

TEST(JudgeAnalysis, OwnAddressIsFoundAnywhereAsBytes)
{
    const struct
    {
        QByteArray Page, Own;
        bool Anonymous;
    } Cases[] = {
        {"REMOTE_ADDR=10.0.0.1\n", Own, false},
        {"HTTP_X_FORWARDED_FOR=10.0.0.1, 1.2.3.4\n", Own, false},
        {"REMOTE_ADDR=10.0.0.15\n", Own, false}, // a longer text holding it
        {"REMOTE_ADDR=10.0.0.2\n", Own, true},
        {"REMOTE_ADDR=10.0.0.1\n", "", true}, // no own address: never found
        {"", Own, true},
        {"10.0.0", Own, true},    // the page ends inside it
        {"10.0.0.1", Own, false}, // the whole page
    };
    for (const auto &C : Cases)
        EXPECT_EQ(CheckAnon(C.Page, C.Own), C.Anonymous) << C.Page.toStdString();
    // Bytes, not C text: a NUL earlier in the page does not end the search.
    EXPECT_FALSE(CheckAnon(QByteArray("a\0b10.0.0.1", 11), Own));
}

TEST(JudgeAnalysis, MachineAddressesCountOnlyAsWholeAddresses)
{
    const QList<QByteArray> Machine{"192.168.1.20", "10.0.0.1"};
    const struct
    {
        QByteArray Page, Own;
        bool Anonymous;
    } Cases[] = {
        // A private address of this machine forwarded, the own address not.
        {"HTTP_X_FORWARDED_FOR=192.168.1.20\n", "203.0.113.7", false},
        {"REMOTE_ADDR=10.0.0.1", "203.0.113.7", false},    // at the page's end
        {"for=10.0.0.1. Bye", "203.0.113.7", false},       // a full stop after it
        {"<b>10.0.0.1</b>", "", false},                    // no own address: still found
        {"REMOTE_ADDR=10.0.0.15\n", "203.0.113.7", true},  // a longer address
        {"REMOTE_ADDR=110.0.0.1\n", "203.0.113.7", true},  // digits before it
        {"VIA=5.10.0.0.1\n", "203.0.113.7", true},         // a dot before it
        {"VIA=10.0.0.1.7\n", "203.0.113.7", true},         // a dot and digits after it
        {"10.0.0.15 and 10.0.0.1,", "203.0.113.7", false}, // a later whole one counts
        {"REMOTE_ADDR=10.0.0.2\n", "203.0.113.7", true},
        {"HTTP_X_FORWARDED_FOR=203.0.113.7\n", "203.0.113.7", false},
        {"REMOTE_ADDR=10.0.0.2\n", "", true},
    };
    for (const auto &C : Cases)
        EXPECT_EQ(CheckAnon(C.Page, C.Own, Machine), C.Anonymous) << C.Page.toStdString();

    // The verdict on an entry: shown like the own address.
    TProxyItem Entry{"5.6.7.8", "80"};
    TCheckRunState Totals;
    JudgeAnswer("REMOTE_ADDR=5.6.7.8        \nHTTP_X_FORWARDED_FOR=192.168.1.20\nAnonyLevel>3",
                "203.0.113.7", Entry, Totals, Machine);
    EXPECT_EQ(Entry.Anonymous, "No");
    EXPECT_EQ(Entry.State, psBad);
    EXPECT_EQ(Entry.RemoteAddr, "5.6.7.8");
    EXPECT_EQ(Totals.BadCount, 1);
}

TEST(JudgeAnalysis, JudgedAddressIsADottedIPv4AtTheStartOfTheField)
{
    const struct
    {
        QByteArray Page, Address;
    } Cases[] = {
        {"REMOTE_ADDR=203.0.113.7    \n", "203.0.113.7"},
        {"REMOTE_ADDR=1.2.3.4\nREMOTE_PORT=5", "1.2.3.4"}, // the next line cut off
        {"REMOTE_ADDR= 9.8.7.6\r\n", "9.8.7.6"},
        {"REMOTE_ADDR=255.255.255.255\r\n", "255.255.255.255"},
        // The 15 bytes cut the address short: not an address to trust.
        {"REMOTE_ADDR= \t255.255.255.255\r\n", ""},
        {"REMOTE_ADDR=123.123.123.1234\n", ""},
        {"REMOTE_ADDR=1.2.3.4", "1.2.3.4"},
        {"REMOTE_ADDR=256.1.1.1\n", ""},
        {"REMOTE_ADDR=1.2.3\n", ""},
        {"REMOTE_ADDR=1.2.3.4.5\n", ""},
        {"REMOTE_ADDR=1..2.3\n", ""},
        {"REMOTE_ADDR=1234.1.1.1\n", ""},
        {"REMOTE_ADDR=0.0.0.0\n", ""},
        {"REMOTE_ADDR=::1\n", ""},
        {"REMOTE_ADDR=unknown\n", ""},
        {"REMOTE_ADDR=\n", ""},
        {"<html>AnonyLevel>1</html>", ""},
    };
    for (const auto &C : Cases)
        EXPECT_EQ(JudgedAddress(C.Page), C.Address) << C.Page.toStdString();
}

TEST(JudgeAnalysis, LevelIsTheCharacterAfterTheFirstAngleWithinEightyBytes)
{
    // The window is bytes 0 to 79 from the marker's "A".
    const QByteArray Pad68(68, '.'), Pad69(69, '.'), Pad70(70, '.');
    const struct
    {
        QByteArray Page;
        TJudgeField Level;
    } Cases[] = {
        {"AnonyLevel: <b>3</b>", Found("3")},
        {"AnonyLevel>3", Found("3")},
        {"x AnonyLevel = >2<", Found("2")},
        {"AnonyLevel" + Pad68 + ">4", Found("4")}, // ">" is byte 78: its follower is inside
        {"AnonyLevel" + Pad69 + ">4", Found("")},  // ">" is byte 79, the last taken
        {"AnonyLevel" + Pad70 + ">4", Found("A")}, // beyond the window: the marker's "A"
        {"AnonyLevel" + Pad70 + ">4 >5", Found("A")},
        {"AnonyLevel", Found("A")},
        {"AnonyLevel>", Found("")},                // ">" last of the page
        {"AnonyLevel>3 AnonyLevel>1", Found("3")}, // the first marker counts
        {"anonylevel>3", Missing},                 // case-sensitive
        {"", Missing},
    };
    for (const auto &C : Cases)
        EXPECT_EQ(GetLevel(C.Page), C.Level) << C.Page.toStdString();
}

TEST(JudgeAnalysis, GatewayIsTheFifteenBytesAfterTheMarkerTrimmed)
{
    const struct
    {
        QByteArray Page;
        TJudgeField Address;
    } Cases[] = {
        {"REMOTE_ADDR=123.123.123.123\nX", Found("123.123.123.123")},
        {"REMOTE_ADDR=1.2.3.4         \nX", Found("1.2.3.4")},             // padded: clean
        {"REMOTE_ADDR=1.2.3.4\nREMOTE_PORT=5", Found("1.2.3.4\nREMOTE_")}, // next line kept
        {"REMOTE_ADDR= \t1.2.3.4\r\n", Found("1.2.3.4")},
        {"REMOTE_ADDR=1.2.3.4", Found("1.2.3.4")}, // the page ends sooner
        {"REMOTE_ADDR=", Found("")},
        {"REMOTE_ADDR=\x01\x1f 9.9.9.9 \x7f", Found("9.9.9.9 \x7f")}, // DEL is above 32
        {"REMOTE_ADDR=\xe9t\xe9 ", Found("\xe9t\xe9")},               // high bytes are not blanks
        {"HTTP_REMOTE_ADDR=5.5.5.5 REMOTE_ADDR=6.6.6.6", Found("5.5.5.5 REMOTE_")},
        {"remote_addr=1.2.3.4", Missing},
    };
    for (const auto &C : Cases)
        EXPECT_EQ(Gateway(C.Page), C.Address) << C.Page.toStdString();
}

TEST(JudgeAnalysis, VerdictOfEachKindOfPage)
{
    const QByteArray Addr = "REMOTE_ADDR=5.6.7.8        \n";
    const QByteArray Level = "AnonyLevel<b>2</b>\n";
    const struct
    {
        const char *Name;
        QByteArray Page;
        const char *Anonymous, *Level, *RemoteAddr;
        qint32 State;
        int Good, Bad;
    } Rows[] = {
        {"own address and REMOTE_ADDR", "X_FORWARDED_FOR=10.0.0.1\n" + Addr + Level, "No", "old",
         "5.6.7.8", psBad, 0, 1},
        {"own address, no REMOTE_ADDR", "X_FORWARDED_FOR=10.0.0.1\n" + Level, "No", "old",
         "Unknown", psUnknown, 0, 1},
        {"no own address, both markers", Addr + Level, "Yes", "2", "5.6.7.8", psGood, 1, 0},
        {"no own address, no AnonyLevel", Addr, "Yes", "Unknown", "5.6.7.8", psUnknown, 1, 0},
        {"no own address, neither marker", "<html></html>", "Yes", "Unknown", "Unknown", psUnknown,
         1, 0},
        {"no own address, no REMOTE_ADDR", Level, "Yes", "2", "Unknown", psUnknown, 1, 0},
    };
    for (const auto &R : Rows) {
        SCOPED_TRACE(R.Name);
        TProxyItem Entry{"5.6.7.8", "80", "Analyzing", "old", "old", "old", "12", psNone};
        TCheckRunState Totals;
        Totals.GoodCount = 10;
        Totals.BadCount = 20;
        JudgeAnswer(R.Page, Own, Entry, Totals);
        EXPECT_EQ(Entry.Anonymous, R.Anonymous);
        EXPECT_EQ(Entry.Level, R.Level);
        EXPECT_EQ(Entry.RemoteAddr, R.RemoteAddr);
        EXPECT_EQ(Entry.State, R.State);
        EXPECT_EQ(Totals.GoodCount, 10 + R.Good);
        EXPECT_EQ(Totals.BadCount, 20 + R.Bad);
        // The run writes these itself.
        EXPECT_EQ(Entry.Status, "Analyzing");
        EXPECT_EQ(Entry.Speed, "12");
    }
}

// Judges that state no level: AZ Environment pages and JSON environments, as
// today's public judges write them, read for their gateway and graded.
TEST(JudgeAnalysis, PagesOfJudgesThatStateNoLevel)
{
    const QByteArray Me = "203.0.113.7", Proxy = "198.51.100.20";
    const auto Az = [](const QByteArray &Headers) {
        return "<html><head><title>AZ Environment variables 1.04</title></head><body>\n<pre>\n"
               "REMOTE_ADDR = 198.51.100.20\nREMOTE_PORT = 41234\nREQUEST_METHOD = GET\n"
               "REQUEST_URI = /\nHTTP_HOST = azenv.net\nHTTP_ACCEPT = */*\n"
               "HTTP_USER_AGENT = Mozilla/4.0\n" +
               Headers + "</pre>\n</body></html>\n";
    };
    // httpbin behind its balancer, which adds X-Forwarded-For/-Port/-Proto.
    const auto Bin = [](const QByteArray &Origin, const QByteArray &More) {
        return "{\n  \"args\": {\"show_env\": \"1\"},\n  \"headers\": {\n    \"Accept\": \"*/*\",\n"
               "    \"Host\": \"httpbin.org\",\n" +
               More + "    \"X-Amzn-Trace-Id\": \"Root=1-6756\",\n    \"X-Forwarded-For\": \"" +
               Origin + "\",\n    \"X-Forwarded-Port\": \"80\",\n" +
               "    \"X-Forwarded-Proto\": \"http\"\n  },\n  \"origin\": \"" + Origin +
               "\",\n  \"url\": \"http://httpbin.org/get?show_env=1\"\n}\n";
    };
    const QByteArray Unknown = "Unknown";
    const struct
    {
        const char *Name;
        QByteArray Page;
        const char *Anonymous, *Level;
        QByteArray RemoteAddr;
        qint32 State;
    } Rows[] = {
        {"AZ transparent", Az("HTTP_VIA = 1.1 squid\nHTTP_X_FORWARDED_FOR = 203.0.113.7\n"), "No",
         "old", Proxy, psBad},
        {"AZ anonymous", Az("HTTP_VIA = 1.1 squid\nHTTP_CONNECTION = keep-alive\n"), "Yes", "2",
         Proxy, psGood},
        {"AZ forwarding another", Az("HTTP_X_FORWARDED_FOR = 192.0.2.99\n"), "Yes", "3", Proxy,
         psGood},
        {"AZ elite", Az("HTTP_CONNECTION = close\n"), "Yes", "1", Proxy, psGood},
        {"AZ entities decoded", Az("HTTP_X_REAL_IP = &quot;10.0.0.9&quot;\n"), "Yes", "4", Proxy,
         psGood},
        {"AZ lines broken by <br>",
         "<p>REMOTE_ADDR = 198.51.100.20<br>HTTP_PROXY_CONNECTION = keep-alive<BR/></p>", "Yes",
         "2", Proxy, psGood},
        {"AZ cut short",
         Az("HTTP_VIA = 1.1 squid\n").first(Az("HTTP_VIA = 1.1 squid\n").indexOf("</pre>")), "Yes",
         "2", Proxy, psGood},
        {"httpbin transparent", Bin(Me + ", " + Proxy, ""), "No", "old", Proxy, psBad},
        {"httpbin anonymous", Bin(Proxy, "    \"Via\": \"1.1 squid\",\n"), "Yes", "2", Proxy,
         psGood},
        {"httpbin forwarding another", Bin("192.0.2.99, " + Proxy, ""), "Yes", "3", Proxy, psGood},
        {"httpbin elite", Bin(Proxy, ""), "Yes", "1", Proxy, psGood},
        {"httpbin without a balancer",
         R"({"headers": {"Host": "judge", "X-Forwarded-For": "192.0.2.99"}, "origin": "198.51.100.20"})",
         "Yes", "3", Proxy, psGood},
        {"flat JSON", R"({"REMOTE_ADDR": "2001:db8::20", "HTTP_VIA": "1.1 p", "HTTP_HOST": "j"})",
         "Yes", "2", "2001:db8::20", psGood},
        {"JSON cut short", Bin(Proxy, "").chopped(20), "Yes", "Unknown", Unknown, psUnknown},
        {"JSON over the cap",
         Bin(Proxy, "    \"X-Pad\": \"" + QByteArray(1024 * 1024, 'a') + "\",\n"), "Yes", "Unknown",
         Unknown, psUnknown},
        {"a captive portal",
         "<html><body><form action=\"/login\">Sign in = free Wi-Fi<br>REMOTE_ADDR = here"
         "</form></body></html>",
         "Yes", "Unknown", Unknown, psUnknown},
    };
    for (const auto &R : Rows) {
        SCOPED_TRACE(R.Name);
        TProxyItem Entry{"198.51.100.20", "80", "Analyzing", "old", "old", "old", "12", psNone};
        TCheckRunState Totals;
        JudgeAnswer(R.Page, Me, Entry, Totals, {"192.168.1.20"});
        EXPECT_EQ(Entry.Anonymous, R.Anonymous);
        EXPECT_EQ(Entry.Level, R.Level);
        EXPECT_EQ(Entry.RemoteAddr, R.RemoteAddr);
        EXPECT_EQ(Entry.State, R.State);
        EXPECT_EQ(Totals.GoodCount + Totals.BadCount, 1);
    }
    // The own address from a judge asked directly, in each form.
    EXPECT_EQ(JudgedAddress(Az("")), Proxy);
    EXPECT_EQ(JudgedAddress(Bin(Proxy, "")), Proxy);
    EXPECT_EQ(JudgedAddress(R"({"REMOTE_ADDR": "192.0.2.4"})"), "192.0.2.4");
    EXPECT_EQ(JudgedAddress(R"({"REMOTE_ADDR": "2001:db8::4"})"), "");
    EXPECT_EQ(JudgedAddress("<html>REMOTE_ADDR = 0.0.0.0</html>"), "");
}
