// The end-of-run step (sort, duplicate removal, Proxies.txt) and the column
// sorts of the two list views.
#include "lists/EndOfRun.h"
#include "lists/ListFiles.h"
#include "lists/ListSort.h"

#include "FileLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace leecher;

namespace {

TProxyList Proxies(std::initializer_list<const char *> texts)
{
    TProxyList list;
    for (const char *t : texts) {
        QByteArrayView s(t);
        net::TProxyType type = net::ptHttp;
        net::TakeProxyPrefix(s, type);
        const qsizetype colon = s.indexOf(':');
        list.push_back(TProxyItem{s.first(colon), s.sliced(colon + 1), type});
    }
    return list;
}

std::vector<std::string> Texts(const TProxyList &list)
{
    std::vector<std::string> out;
    for (const TProxyItem &p : list)
        out.push_back(ProxyText(p).toStdString());
    return out;
}

QByteArray Get(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

TEST(EndOfRun, SortsRemovesDuplicatesAndWrites)
{
    struct Case
    {
        const char *name;
        TProxyList list;
        bool dupes;
        bool writeFile;
        std::vector<std::string> after;
        qsizetype removed;
        std::vector<std::string> statuses;
    };
    const std::vector<std::string> cleaning = {"Sorting List", "Removing Duplicates"};
    const auto with = [&cleaning](const char *last) {
        auto s = cleaning;
        s.push_back(last);
        return s;
    };
    const Case cases[] = {
        {"same_proxy_from_two_sites",
         Proxies({"5.6.7.8:3128", "1.2.3.4:80", "9.9.9.9:80", "1.2.3.4:80"}),
         true,
         true,
         {"1.2.3.4:80", "9.9.9.9:80", "5.6.7.8:3128"},
         1,
         with("Removed 1 Duplicates")},
        {"port_by_value_host_by_bytes",
         Proxies({"b:443", "a:8080", "9.0.0.1:80", "10.0.0.1:80", "z:21"}),
         true,
         true,
         {"z:21", "10.0.0.1:80", "9.0.0.1:80", "b:443", "a:8080"},
         0,
         with("Removed 0 Duplicates")},
        {"80_and_080_kept_apart",
         Proxies({"1.2.3.4:080", "1.2.3.4:80"}),
         true,
         true,
         {"1.2.3.4:080", "1.2.3.4:80"},
         0,
         with("Removed 0 Duplicates")},
        // 80 and 080 have one value: equal entries must still meet.
        {"equal_entries_meet_across_080",
         Proxies({"1.2.3.4:80", "1.2.3.4:080", "1.2.3.4:80", "1.2.3.4:080"}),
         true,
         true,
         {"1.2.3.4:080", "1.2.3.4:80"},
         2,
         with("Removed 2 Duplicates")},
        // Host and port run together would read "1.2.3.4080" for both.
        {"keys_that_run_together_differ",
         Proxies({"1.2.3.40:80", "1.2.3.4:080"}),
         true,
         true,
         {"1.2.3.4:080", "1.2.3.40:80"},
         0,
         with("Removed 0 Duplicates")},
        {"case_matters",
         Proxies({"Host.a:80", "host.a:80"}),
         true,
         true,
         {"Host.a:80", "host.a:80"},
         0,
         with("Removed 0 Duplicates")},
        // The same address as an HTTP and as a SOCKS proxy: different proxies.
        {"types_kept_apart",
         Proxies(
             {"socks5://1.2.3.4:80", "1.2.3.4:80", "socks4://1.2.3.4:80", "socks5://1.2.3.4:80"}),
         true,
         true,
         {"1.2.3.4:80", "socks4://1.2.3.4:80", "socks5://1.2.3.4:80"},
         1,
         with("Removed 1 Duplicates")},
        {"dupes_off_keeps_extraction_order",
         Proxies({"5.6.7.8:3128", "1.2.3.4:80", "1.2.3.4:80"}),
         false,
         true,
         {"5.6.7.8:3128", "1.2.3.4:80", "1.2.3.4:80"},
         0,
         {}},
        {"no_file",
         Proxies({"1.2.3.4:80", "1.2.3.4:80"}),
         true,
         false,
         {"1.2.3.4:80"},
         1,
         with("Removed 1 Duplicates")},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        TProxyList list = c.list;
        std::vector<std::string> statuses;
        const TEndOfRunResult r =
            EndOfRunFileStep(list, dir.path(), c.dupes, c.writeFile, [&statuses](const QString &s) {
                statuses.push_back(s.toStdString());
            });
        EXPECT_EQ(Texts(list), c.after) << c.name;
        EXPECT_TRUE(r.Ran) << c.name;
        EXPECT_EQ(r.Sorted, c.dupes) << c.name;
        EXPECT_EQ(r.Removed, c.removed) << c.name;
        EXPECT_EQ(r.Written, c.writeFile) << c.name;
        EXPECT_EQ(statuses, c.statuses) << c.name;
        QByteArray expectedFile;
        for (const std::string &line : c.after)
            expectedFile += QByteArray::fromStdString(line) + "\r\n";
        EXPECT_EQ(Get(ProxiesTxtPath(dir.path())),
                  c.writeFile ? expectedFile : QByteArray("<missing>"))
            << c.name;
    }
}

TEST(EndOfRun, EmptyListTouchesNothing)
{
    QTemporaryDir dir;
    QFile old(ProxiesTxtPath(dir.path()));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("1.1.1.1:80\r\n");
    old.close();
    TProxyList list;
    int statuses = 0;
    const TEndOfRunResult r =
        EndOfRunFileStep(list, dir.path(), true, true, [&](const QString &) { ++statuses; });
    EXPECT_FALSE(r.Ran);
    EXPECT_FALSE(r.Sorted);
    EXPECT_EQ(statuses, 0);
    EXPECT_EQ(Get(ProxiesTxtPath(dir.path())), QByteArray("1.1.1.1:80\r\n"));
}

TEST(EndOfRun, WriteErrorStopsWithTheOldFileIntact)
{
    QTemporaryDir dir;
    const QString path = ProxiesTxtPath(dir.path());
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("1.1.1.1:80\r\n");
    old.close();
    TProxyList list;
    for (int i = 0; i < 10000; ++i)
        list.push_back(TProxyItem{"10.1.1." + QByteArray::number(i % 100), "3128"});
    std::vector<std::string> statuses;
    {
        const vexo_test::FileSizeLimit limit(1024);
        EXPECT_THROW(
            EndOfRunFileStep(list, dir.path(), true, true,
                             [&](const QString &s) { statuses.push_back(s.toStdString()); }),
            EFileError);
    }
    EXPECT_EQ(list.size(), 100u); // the list was cleaned before the write failed
    EXPECT_EQ(statuses.back(), "Removed 9900 Duplicates");
    EXPECT_EQ(Get(path), QByteArray("1.1.1.1:80\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Proxies.txt")});
}

TEST(ListSort, FastOrderAgreesWithPlainComparison)
{
    // Hosts sharing long prefixes, longer than the compared prefix, of equal
    // text in other lengths; ports with leading zeros and too long to be numbers.
    const std::vector<QByteArray> hosts = {"1.2.3.4",
                                           "1.2.3.40",
                                           "1.2.3.4 ",
                                           "proxy.example.com",
                                           "proxy.example.co",
                                           "proxy.example.com.",
                                           "proxy.example.c",
                                           "Proxy.example.com",
                                           "a",
                                           "",
                                           "\xff.x",
                                           "1.2.3.4\t"};
    const std::vector<QByteArray> ports = {"80",    "080",       "0080",       "8080",       "21",
                                           "65555", "000000008", "0000000080", "12345678901"};
    uint64_t seed = 42;
    const auto next = [&seed](uint32_t n) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return uint32_t(seed >> 33) % n;
    };
    for (int round = 0; round < 200; ++round) {
        TProxyList list;
        // Round 0 is large enough to be sorted on two threads.
        const uint32_t size = round == 0 ? 150000 : next(60);
        for (uint32_t i = 0; i < size; ++i)
            list.push_back(
                TProxyItem{hosts[next(uint32_t(hosts.size()))], ports[next(uint32_t(ports.size()))],
                           net::TProxyType(std::max(0, int(next(8)) - 5))}); // mostly HTTP
        TProxyList expected = list;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const TProxyItem &a, const TProxyItem &b) {
                             const quint32 pa = PortValue(a.Port), pb = PortValue(b.Port);
                             if (pa != pb)
                                 return pa < pb;
                             if (a.Host != b.Host)
                                 return a.Host < b.Host;
                             if (a.Port != b.Port)
                                 return a.Port < b.Port;
                             return a.Type < b.Type;
                         });
        TProxyList sorted = list;
        SortByPortThenHost(sorted);
        ASSERT_EQ(Texts(sorted), Texts(expected)) << "round " << round;

        const qsizetype removed = RemoveAdjacentDuplicates(expected);
        int calls = 0;
        QByteArray lines("stale");
        EXPECT_EQ(SortAndRemoveDuplicates(
                      list, [&calls] { ++calls; }, &lines),
                  removed);
        EXPECT_EQ(calls, 1);
        ASSERT_EQ(Texts(list), Texts(expected)) << "round " << round;
        QByteArray expectedLines;
        for (const TProxyItem &p : expected)
            expectedLines += ProxyText(p) + "\r\n";
        ASSERT_EQ(lines, expectedLines) << "round " << round;
    }
}

TEST(ListSort, ColumnSortsAgreeWithPlainComparison)
{
    const std::vector<QByteArray> hosts = {"1.2.3.4",
                                           "1.2.3.40",
                                           "10.0.0.1",
                                           "9.0.0.1",
                                           "proxy.example.com",
                                           "proxy.example.com.x",
                                           "proxy.example.co",
                                           "Proxy.example.com",
                                           "",
                                           "\xfe"};
    const std::vector<QByteArray> ports = {"80", "080", "8080", "21", "65555", "3128"};
    uint64_t seed = 7;
    const auto next = [&seed](uint32_t n) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return uint32_t(seed >> 33) % n;
    };
    for (int round = 0; round < 100; ++round) {
        TProxyList list;
        const uint32_t size = next(50);
        for (uint32_t i = 0; i < size; ++i)
            list.push_back(TProxyItem{hosts[next(uint32_t(hosts.size()))],
                                      ports[next(uint32_t(ports.size()))]});
        for (const bool ascending : {true, false}) {
            // Equal keys may end in any order, so only the keys are compared.
            TProxyList byHost = list;
            SortProxyList(byHost, 0, ascending);
            std::vector<QByteArray> got, want;
            for (const TProxyItem &p : byHost)
                got.push_back(p.Host.toByteArray());
            for (const TProxyItem &p : list)
                want.push_back(p.Host.toByteArray());
            std::sort(want.begin(), want.end());
            if (!ascending)
                std::reverse(want.begin(), want.end());
            ASSERT_EQ(got, want) << "round " << round;

            TProxyList byPort = list;
            SortProxyList(byPort, 1, ascending);
            std::vector<quint32> values;
            for (const TProxyItem &p : byPort)
                values.push_back(PortValue(p.Port.view()));
            EXPECT_TRUE(ascending ? std::is_sorted(values.begin(), values.end())
                                  : std::is_sorted(values.rbegin(), values.rend()))
                << "round " << round;
            std::vector<std::string> before = Texts(list), after = Texts(byPort);
            std::sort(before.begin(), before.end());
            std::sort(after.begin(), after.end());
            ASSERT_EQ(after, before) << "round " << round; // nothing lost or doubled
        }
    }
}

TEST(ListSort, ColumnClicksFlipTheDirection)
{
    // Starting state, then clicks: column 0 sorts ascending first, column 1
    // descending first, a repeated click reverses.
    TSortState s;
    const struct
    {
        int click;
        int column;
        bool ascending;
    } steps[] = {{0, 0, true}, {0, 0, false}, {1, 1, false}, {1, 1, true}, {0, 0, true}};
    for (const auto &step : steps) {
        s.Click(step.click);
        EXPECT_EQ(s.Column, step.column);
        EXPECT_EQ(s.Ascending, step.ascending);
    }
    // After the end-of-run step set the flag, column 0 sorts descending.
    TSortState afterRun;
    afterRun.Ascending = true;
    afterRun.Click(0);
    EXPECT_FALSE(afterRun.Ascending);
}

TEST(ListSort, ProxyAndSiteColumns)
{
    const TProxyList proxies = Proxies({"9.0.0.1:8080", "10.0.0.1:443", "a.b:080", "B.c:3128"});
    struct Case
    {
        int column;
        bool ascending;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {0, true, {"10.0.0.1:443", "9.0.0.1:8080", "B.c:3128", "a.b:080"}},
        {0, false, {"a.b:080", "B.c:3128", "9.0.0.1:8080", "10.0.0.1:443"}},
        {1, true, {"a.b:080", "10.0.0.1:443", "B.c:3128", "9.0.0.1:8080"}},
        {1, false, {"9.0.0.1:8080", "B.c:3128", "10.0.0.1:443", "a.b:080"}},
        {2, true, {"9.0.0.1:8080", "10.0.0.1:443", "a.b:080", "B.c:3128"}}, // no such column
    };
    for (const Case &c : cases) {
        TProxyList list = proxies;
        SortProxyList(list, c.column, c.ascending);
        EXPECT_EQ(Texts(list), c.expected) << c.column << c.ascending;
    }

    TSiteList sites{{"http://b/", QStringLiteral("Timeout"), 0, 3},
                    {"http://A/", QStringLiteral("Found 2 Proxies"), 0, 4},
                    {"http://a/", QStringLiteral("404 - Not Found"), 0, 2}};
    SortSiteList(sites, 0, true);
    EXPECT_EQ(sites[0].URL, QByteArray("http://A/"));
    EXPECT_EQ(sites[2].URL, QByteArray("http://b/"));
    SortSiteList(sites, 1, false);
    EXPECT_EQ(sites[0].Status, QStringLiteral("Timeout"));
    EXPECT_EQ(sites[2].Status, QStringLiteral("404 - Not Found"));
}

} // namespace

TEST(ListSort, CleanedListLeavesItsSourceAndFillsAnyList)
{
    const TProxyList source = Proxies(
        {"b.example:80", "a-very-long-host-name.example.org:8080", "a.example:080", "b.example:80",
         "a-very-long-host-name.example.org:8080", "c:123456789012", "a.example:80"});
    const std::vector<std::string> before = Texts(source);
    const TCleanedProxies cleaned(source);
    const std::vector<std::string> want = {"a.example:080", "a.example:80", "b.example:80",
                                           "a-very-long-host-name.example.org:8080",
                                           "c:123456789012"};
    EXPECT_EQ(Texts(source), before); // only read
    EXPECT_EQ(cleaned.Removed(), 2);
    ASSERT_EQ(cleaned.size(), want.size());
    EXPECT_EQ(ProxyText(cleaned.At(3)).toStdString(), want[3]);

    // Into shorter, equal and longer lists (with long texts to be replaced).
    for (const int size : {0, 5, 9}) {
        TProxyList target;
        for (int i = 0; i < size; ++i)
            target.push_back(TProxyItem{"an-old-host-longer-than-the-inline-room", "1"});
        cleaned.PutInto(target);
        EXPECT_EQ(Texts(target), want) << size;
    }
}
