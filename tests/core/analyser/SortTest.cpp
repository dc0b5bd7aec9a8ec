#include "analyser/AnalyserSort.h"

#include "lists/ListSort.h"

#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <random>
#include <string>

using namespace analyser;

namespace {

using Strings = std::vector<std::string>;

TProxyItem Item(const char *host, const char *port, const char *speed = "", const char *status = "")
{
    TProxyItem p;
    p.Host = host;
    p.Port = port;
    p.Speed = speed;
    p.Status = status;
    return p;
}

Strings Column(const TAnalyserList &list, TCompactBytes TProxyItem::*field)
{
    Strings out;
    for (const TProxyItem &p : list)
        out.push_back((p.*field).toStdString());
    return out;
}

TEST(Sort, TheSortStateFollowsTheClicks)
{
    TAnalyserSortState s;
    EXPECT_EQ(s.Column, -1);
    s.Click(3); // the first click on any column sorts ascending
    EXPECT_TRUE(s.Ascending);
    s.Click(3);
    EXPECT_FALSE(s.Ascending);
    s.Click(0); // another column keeps the direction
    EXPECT_EQ(s.Column, 0);
    EXPECT_FALSE(s.Ascending);
    s.Click(0);
    EXPECT_TRUE(s.Ascending);
}

TEST(Sort, TextColumnsCompareBytes)
{
    TAnalyserList list{Item("9.9.9.9", "1"), Item("10.0.0.1", "2"), Item("b", "3"),
                       Item("B", "4"),       Item("10.0.0", "5"),   Item("", "6")};
    SortAnalyserList(list, colHost, true);
    EXPECT_EQ(Column(list, &TProxyItem::Host),
              (Strings{"", "10.0.0", "10.0.0.1", "9.9.9.9", "B", "b"}));
    SortAnalyserList(list, colHost, false);
    EXPECT_EQ(Column(list, &TProxyItem::Host),
              (Strings{"b", "B", "9.9.9.9", "10.0.0.1", "10.0.0", ""}));

    // Texts longer than the keys hold, equal in their first 16 bytes.
    TAnalyserList status{Item("a", "", "", "503 - Service Unavailable"),
                         Item("b", "", "", "503 - Service Temporarily Down"),
                         Item("c", "", "", "503 - Service"), Item("d", "", "", "200 - OK")};
    SortAnalyserList(status, colStatus, true);
    EXPECT_EQ(Column(status, &TProxyItem::Host), (Strings{"d", "c", "b", "a"}));
    SortAnalyserList(status, colStatus, false);
    EXPECT_EQ(Column(status, &TProxyItem::Host), (Strings{"a", "b", "c", "d"}));
}

TEST(Sort, PortsCompareByValueAndOtherTextsComeAfterEveryNumber)
{
    TAnalyserList list{Item("a", "8080"), Item("b", "80"),   Item("c", ""),
                       Item("d", "0080"), Item("e", "3128"), Item("f", "x")};
    SortAnalyserList(list, colPort, true);
    EXPECT_EQ(Column(list, &TProxyItem::Host), (Strings{"b", "d", "e", "a", "c", "f"}));
    SortAnalyserList(list, colPort, false);
    EXPECT_EQ(Column(list, &TProxyItem::Host), (Strings{"c", "f", "a", "e", "b", "d"}));
}

TEST(Sort, EmptySpeedsStayLastInBothDirections)
{
    TAnalyserList list{Item("a", "", ""), Item("b", "", "950"), Item("c", "", "1200"),
                       Item("d", "", ""), Item("e", "", "87"),  Item("f", "", "4294967295")};
    SortAnalyserList(list, colSpeed, true);
    EXPECT_EQ(Column(list, &TProxyItem::Host), (Strings{"e", "b", "c", "f", "a", "d"}));
    SortAnalyserList(list, colSpeed, false);
    EXPECT_EQ(Column(list, &TProxyItem::Host), (Strings{"f", "c", "b", "e", "a", "d"}));
}

TEST(Sort, EveryColumnAgreesWithAPlainStableSort)
{
    std::mt19937 rng(42);
    const char *pool[] = {"",
                          "0",
                          "1",
                          "10",
                          "9",
                          "80",
                          "080",
                          "x",
                          "Unknown",
                          "Yes",
                          "No",
                          "200 - OK",
                          "a text well beyond sixteen bytes A",
                          "a text well beyond sixteen bytes B",
                          "a text well beyond sixteen"};
    TAnalyserList list;
    for (int i = 0; i < 3000; ++i) {
        TProxyItem p;
        for (TCompactBytes *f :
             {&p.Host, &p.Port, &p.Status, &p.RemoteAddr, &p.Anonymous, &p.Level, &p.Speed})
            *f = pool[rng() % std::size(pool)];
        p.Type = net::TProxyType(rng() % 3);
        const char *countries[] = {"", "DE", "FR", "AU"};
        p.Country = analyser::TCountryCode(countries[rng() % 4]);
        p.Asn = quint32(rng() % 3) * 64500;
        p.Checks = quint32(rng() % 4);
        p.Goods = p.Checks ? quint32(rng() % (p.Checks + 1)) : 0;
        p.LastGood = qint64(rng() % 3) * 1796000000000;
        p.State = qint32(i); // tells equal records apart
        list.push_back(p);
    }
    TCompactBytes TProxyItem::*fields[] = {
        &TProxyItem::Host,      &TProxyItem::Port,  &TProxyItem::Status, &TProxyItem::RemoteAddr,
        &TProxyItem::Anonymous, &TProxyItem::Level, &TProxyItem::Speed};
    // Port and speed values; texts that are not numbers after every number.
    const auto number = [](const TCompactBytes &t) -> qint64 {
        const quint32 v = leecher::PortValue(t.view());
        return v == 0xffffffffu ? qint64(1) << 40 : qint64(v);
    };
    for (int column = 0; column < AnalyserColumnCount; ++column) {
        for (bool ascending : {true, false}) {
            TAnalyserList ours = list, plain = list;
            SortAnalyserList(ours, column, ascending);
            std::stable_sort(
                plain.begin(), plain.end(), [&](const TProxyItem &a, const TProxyItem &b) {
                    if (column == colType) {
                        // By the name shown in the column.
                        const QByteArray x = net::ProxyTypeName(a.Type),
                                         y = net::ProxyTypeName(b.Type);
                        return ascending ? x < y : y < x;
                    }
                    if (column >= colCountry) {
                        // Nothing known goes last in both directions.
                        const auto value = [column](const TProxyItem &p) -> std::optional<double> {
                            if (column == colCountry && !p.Country.isEmpty())
                                return p.Country.Letters[0] * 256.0 + p.Country.Letters[1];
                            if (column == colNetwork && p.Asn)
                                return p.Asn;
                            if (column == colUptime && p.Checks)
                                return double(p.Goods) / p.Checks;
                            if (column == colLastGood && p.LastGood)
                                return double(p.LastGood);
                            return std::nullopt;
                        };
                        const auto x = value(a), y = value(b);
                        if (bool(x) != bool(y))
                            return bool(x);
                        return x && (ascending ? *x < *y : *y < *x);
                    }
                    const TCompactBytes &x = a.*fields[column], &y = b.*fields[column];
                    if (column == colSpeed && x.isEmpty() != y.isEmpty())
                        return y.isEmpty();
                    if (column == colPort || column == colSpeed)
                        return ascending ? number(x) < number(y) : number(y) < number(x);
                    return ascending ? x < y : y < x;
                });
            std::vector<qint32> a, b;
            for (std::size_t i = 0; i < ours.size(); ++i)
                a.push_back(ours[i].State), b.push_back(plain[i].State);
            EXPECT_EQ(a, b) << "column " << column << (ascending ? " ascending" : " descending");
        }
    }
}

TEST(Sort, DuplicatesGoAndTheFirstOfEachRunStays)
{
    TAnalyserList list{Item("2.2.2.2", "80", "", "first"), Item("1.1.1.1", "8080"),
                       Item("2.2.2.2", "80", "", "second"), Item("1.1.1.1", "080"),
                       Item("1.1.1.1", "80"), Item("1.1.1.1", "080"),
                       // Host and Port joined would be equal ("1.2.3.4080"): not duplicates.
                       Item("1.2.3.4", "080"), Item("1.2.3.40", "80"), Item("h", "x"),
                       Item("h", ""), Item("h", "x")};
    int sortedCalls = 0;
    EXPECT_EQ(RemoveDuplicates(list, [&] { ++sortedCalls; }), 3);
    EXPECT_EQ(sortedCalls, 1);
    Strings rows;
    for (const TProxyItem &p : list)
        rows.push_back(p.Host.toStdString() + ':' + p.Port.toStdString() +
                       (p.Status.isEmpty() ? "" : ' ' + p.Status.toStdString()));
    EXPECT_EQ(rows, (Strings{"1.1.1.1:080", "1.1.1.1:80", "1.2.3.4:080", "1.2.3.40:80",
                             "2.2.2.2:80 first", "1.1.1.1:8080", "h:", "h:x"}));
    EXPECT_EQ(RemoveDuplicates(list), 0);

    TAnalyserList empty;
    EXPECT_EQ(RemoveDuplicates(empty), 0);
}

TEST(Sort, DuplicateRemovalAgreesWithAPlainSortAndUnique)
{
    std::mt19937 rng(3);
    TAnalyserList list;
    for (int i = 0; i < 5000; ++i) {
        const std::string host =
            rng() % 4 ? std::to_string(rng() % 40) + ".0.0.1"
                      : "a-host-name-longer-than-sixteen-" + std::to_string(rng() % 5);
        const char *ports[] = {"80", "080", "3128", "", "x", "123456789012"};
        TProxyItem p = Item(host.c_str(), ports[rng() % std::size(ports)]);
        p.State = qint32(i);
        list.push_back(p);
    }
    TAnalyserList ours = list, plain = list;
    const qsizetype removed = RemoveDuplicates(ours);
    std::stable_sort(plain.begin(), plain.end(), [](const TProxyItem &a, const TProxyItem &b) {
        const quint32 pa = leecher::PortValue(a.Port.view()),
                      pb = leecher::PortValue(b.Port.view());
        if (pa != pb)
            return pa < pb;
        if (a.Host != b.Host)
            return a.Host < b.Host;
        return a.Port < b.Port;
    });
    plain.erase(std::unique(plain.begin(), plain.end(),
                            [](const TProxyItem &a, const TProxyItem &b) {
                                return a.Host == b.Host && a.Port == b.Port;
                            }),
                plain.end());
    EXPECT_EQ(removed, qsizetype(list.size() - plain.size()));
    ASSERT_EQ(ours.size(), plain.size());
    for (std::size_t i = 0; i < ours.size(); ++i)
        ASSERT_EQ(ours[i].State, plain[i].State) << i;
}

} // namespace
