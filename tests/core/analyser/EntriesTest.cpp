#include "analyser/ListEdits.h"
#include "analyser/ProxyEntries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

using namespace analyser;

namespace {

// "Host|Port" per record.
std::vector<std::string> Rows(const TAnalyserList &list)
{
    std::vector<std::string> rows;
    for (const TProxyItem &p : list)
        rows.push_back(p.Host.toStdString() + '|' + p.Port.toStdString());
    return rows;
}

using Strings = std::vector<std::string>;

TEST(Entries, DeleteNonNumbersKeepsTheDigitsInOrder)
{
    EXPECT_EQ(DeleteNonNumbers("80/tcp"), QByteArray("80"));
    EXPECT_EQ(DeleteNonNumbers("8a0"), QByteArray("80"));
    EXPECT_EQ(DeleteNonNumbers(" 8080 (HTTP)"), QByteArray("8080"));
    EXPECT_EQ(DeleteNonNumbers("\xef\xbc\x98\xef\xbc\x90"),
              QByteArray()); // full-width digits are not digits
    EXPECT_EQ(DeleteNonNumbers(""), QByteArray());
}

TEST(Entries, FileLinesKeepTheHostAsItStandsAndTheDigitsOfTheRest)
{
    TAnalyserList list;
    const QByteArray file = "  1.2.3.4:8080 (anonymous)\r\n"
                            "\r\n"
                            " \t \r\n"
                            "5.6.7.8 port 3128 seen 2\n" // no colon: every digit of the line
                            "proxy.example:80/tcp\r"     // old Mac line end
                            "9.9.9.9:\r\n"               // host without port
                            "no numbers at all\r\n"      // neither host nor port: skipped
                            ":\r\n"                      // the same
                            ":x1y2\r\n"                  // a port without host
                            "a:b:c7";                    // last line without a line end
    EXPECT_EQ(AppendFileLines(list, file), 6);
    EXPECT_EQ(Rows(list), (Strings{"  1.2.3.4|8080", "|567831282", "proxy.example|80", "9.9.9.9|",
                                   "|12", "a|7"}));
    for (const TProxyItem &p : list) {
        EXPECT_EQ(p.State, psNone);
        EXPECT_TRUE(p.Status.isEmpty() && p.RemoteAddr.isEmpty() && p.Speed.isEmpty());
    }

    // Loading appends to what is there.
    EXPECT_EQ(AppendFileLines(list, "1.1.1.1:1"), 1);
    EXPECT_EQ(list.size(), 7u);
    EXPECT_EQ(AppendFileLines(list, ""), 0);
}

TEST(Entries, ClipboardLinesAreTrimmedAndSplitAtEveryLineEnd)
{
    TAnalyserList list;
    EXPECT_EQ(AppendClipboardLines(list, "  1.2.3.4:8080 (remark)\r\n2.2.2.2 : 81\n\n3.3.3.3:82\r"
                                         "\t\r\n4.4.4.4:83\r\rnothing here"),
              4);
    EXPECT_EQ(Rows(list), (Strings{"1.2.3.4|8080", "2.2.2.2|81", "3.3.3.3|82", "4.4.4.4|83"}));
}

TEST(Entries, ATypedProxyIsTakenAsTyped)
{
    const auto typed = [](const char *answer) {
        const TProxyItem p = TypedProxy(answer);
        return p.Host.toStdString() + '|' + p.Port.toStdString();
    };
    EXPECT_EQ(typed("1.2.3.4:8080"), "1.2.3.4|8080");
    EXPECT_EQ(typed("1.2.3.4:"), "1.2.3.4|");
    EXPECT_EQ(typed(" 1.2.3.4 : 80x "), " 1.2.3.4 | 80x ");
    EXPECT_EQ(typed("no colon"), "|no colon");
    EXPECT_EQ(typed("a:b:c"), "a|b:c");
}

TEST(Entries, TakeOverAndLinesKeepTheOrder)
{
    const leecher::TProxyList leeched{{"1.1.1.1", "80"},
                                      {"a-long-host-name.example.org", "3128", net::ptSocks5}};
    const TAnalyserList list = TakeOver(leeched);
    EXPECT_EQ(Rows(list), (Strings{"1.1.1.1|80", "a-long-host-name.example.org|3128"}));
    // The type a page's address gave comes along.
    EXPECT_EQ(ProxyLines(list),
              QByteArray("1.1.1.1:80\r\nsocks5://a-long-host-name.example.org:3128\r\n"));
    EXPECT_EQ(ProxyLines(list, {1}), QByteArray("socks5://a-long-host-name.example.org:3128\r\n"));
    EXPECT_EQ(ProxyLines(list, {}), QByteArray());
    EXPECT_TRUE(TakeOver({}).empty());
}

TEST(Entries, PrefixesSetTheTypeAndFilesReadBackAsWritten)
{
    TAnalyserList list;
    EXPECT_EQ(AppendFileLines(list, "socks5://1.2.3.4:1080\r\nSOCKS4A://5.6.7.8:1081\r\n"
                                    "Http://9.9.9.9:80/\r\nsocks5h://h.example:9050\n"
                                    "socks4://6.6.6.6:4145\r\n10.0.0.1:3128\r\n"),
              6);
    EXPECT_EQ(Rows(list), (Strings{"1.2.3.4|1080", "5.6.7.8|1081", "9.9.9.9|80", "h.example|9050",
                                   "6.6.6.6|4145", "10.0.0.1|3128"}));
    const net::TProxyType types[] = {net::ptSocks5, net::ptSocks4, net::ptHttp,
                                     net::ptSocks5, net::ptSocks4, net::ptHttp};
    for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(list[i].Type, types[i]) << i;
    // HTTP rows are written bare, as before types; the rest with a prefix
    // that reads back to the same rows and the same text.
    const QByteArray written = ProxyLines(list);
    EXPECT_EQ(written, "socks5://1.2.3.4:1080\r\nsocks4://5.6.7.8:1081\r\n9.9.9.9:80\r\n"
                       "socks5://h.example:9050\r\nsocks4://6.6.6.6:4145\r\n10.0.0.1:3128\r\n");
    TAnalyserList again;
    AppendFileLines(again, written);
    EXPECT_EQ(ProxyLines(again), written);

    // The clipboard and a typed proxy take prefixes too.
    TAnalyserList clip;
    AppendClipboardLines(clip, "  socks5://1.1.1.1:1 \r\n");
    ASSERT_EQ(clip.size(), 1u);
    EXPECT_EQ(clip[0].Type, net::ptSocks5);
    EXPECT_EQ(clip[0].Host, "1.1.1.1");
    const TProxyItem typed = TypedProxy("Socks4://2.2.2.2:1080");
    EXPECT_EQ(typed.Type, net::ptSocks4);
    EXPECT_EQ(typed.Host, "2.2.2.2");
    EXPECT_EQ(typed.Port, "1080");
}

TProxyItem Checked(const char *host, qint32 state, const char *remote)
{
    TProxyItem p;
    p.Host = host;
    p.Port = "80";
    p.State = state;
    p.RemoteAddr = remote;
    return p;
}

TEST(Entries, CleaningsRemoveTheirStateAndKeepTheOrder)
{
    const TAnalyserList all{
        Checked("n", psNone, ""),
        Checked("b", psBad, "b"),
        Checked("t", psTimeout, ""),
        Checked("g", psGood, "g"),
        Checked("u", psUnknown, "Unknown"),
        Checked("w", psGood, "10.0.0.1"),
        Checked("", psNone, ""),
        Checked("b2", psBad, "x"),
    };
    struct Case
    {
        TCleaning cleaning;
        qsizetype removed;
        Strings left;
    };
    const Case cases[] = {
        {TCleaning::BadProxies, 2, {"n|80", "t|80", "g|80", "u|80", "w|80", "|80"}},
        {TCleaning::Timeouts, 1, {"n|80", "b|80", "g|80", "u|80", "w|80", "|80", "b2|80"}},
        {TCleaning::Unknowns, 1, {"n|80", "b|80", "t|80", "g|80", "w|80", "|80", "b2|80"}},
        // Never checked, "Unknown" and real gateways alike; only a record whose
        // judge saw its own host (or an empty host never checked) stays.
        {TCleaning::Gateways, 5, {"b|80", "g|80", "|80"}},
    };
    for (const Case &c : cases) {
        TAnalyserList list = all;
        EXPECT_EQ(Clean(list, c.cleaning), c.removed);
        EXPECT_EQ(Rows(list), c.left);
        EXPECT_EQ(Clean(list, c.cleaning), 0);
    }
}

TEST(Entries, RemovalsMatchAPlainEraseOnRecordsWithLongTexts)
{
    // Long texts live on the heap: a record moved or freed wrongly shows up
    // here (and under the address sanitizer).
    std::mt19937 rng(7);
    TAnalyserList list;
    for (int i = 0; i < 2000; ++i) {
        TProxyItem p;
        p.Host = (std::string(rng() % 40, 'h') + std::to_string(i)).c_str();
        p.Port = std::to_string(rng() % 100).c_str();
        p.State = std::array{psNone, psBad, psTimeout, psGood, psUnknown}[rng() % 5];
        p.Status = rng() % 2 ? "a status text longer than the inline room" : "200 - OK";
        p.RemoteAddr = rng() % 3 ? p.Host : TCompactBytes("gateway");
        list.push_back(p);
    }
    for (TCleaning c :
         {TCleaning::BadProxies, TCleaning::Timeouts, TCleaning::Gateways, TCleaning::Unknowns}) {
        TAnalyserList ours = list, plain = list;
        const qsizetype removed = Clean(ours, c);
        std::erase_if(plain, [c](const TProxyItem &p) {
            switch (c) {
            case TCleaning::BadProxies:
                return p.State == psBad;
            case TCleaning::Timeouts:
                return p.State == psTimeout;
            case TCleaning::Unknowns:
                return p.State == psUnknown;
            default:
                return p.RemoteAddr != p.Host;
            }
        });
        EXPECT_EQ(removed, qsizetype(list.size() - plain.size()));
        ASSERT_EQ(Rows(ours), Rows(plain));
        for (std::size_t i = 0; i < ours.size(); ++i)
            ASSERT_EQ(ours[i].Status, plain[i].Status);
    }

    std::vector<int> rows;
    for (int i = 0; i < 2000; i += 1 + int(rng() % 4))
        rows.push_back(i);
    TAnalyserList ours = list;
    EXPECT_EQ(DeleteRows(ours, rows), qsizetype(rows.size()));
    TAnalyserList plain;
    for (int i = 0; i < 2000; ++i)
        if (!std::binary_search(rows.begin(), rows.end(), i))
            plain.push_back(list[size_t(i)]);
    EXPECT_EQ(Rows(ours), Rows(plain));
    EXPECT_EQ(DeleteRows(ours, {}), 0);
}

} // namespace
