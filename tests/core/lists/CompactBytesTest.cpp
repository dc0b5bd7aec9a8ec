#include "lists/CompactBytes.h"
#include "lists/Records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using leecher::TCompactBytes;

namespace {

std::string Text(const TCompactBytes &b)
{
    return b.toStdString();
}

// Lengths around the inline limit, with a byte above 127 and an inner NUL.
std::vector<std::string> Samples()
{
    std::vector<std::string> out = {"", "8", "127.0.0.1", std::string("a\0b", 3), "\xff\x01"};
    for (int n : {21, 22, 23, 24, 200})
        out.push_back(std::string(size_t(n), char('a' + n % 26)));
    return out;
}

} // namespace

TEST(CompactBytes, HoldsEveryLengthWithATrailingNul)
{
    for (const std::string &s : Samples()) {
        const TCompactBytes b(QByteArrayView(s.data(), qsizetype(s.size())));
        EXPECT_EQ(Text(b), s);
        EXPECT_EQ(b.size(), qsizetype(s.size()));
        EXPECT_EQ(b.isEmpty(), s.empty());
        EXPECT_EQ(b.data()[b.size()], '\0') << s.size();
        EXPECT_EQ(b.toByteArray(), QByteArray(s.data(), qsizetype(s.size())));
    }
    EXPECT_EQ(Text(TCompactBytes(static_cast<const char *>(nullptr))), "");
    EXPECT_EQ(Text(TCompactBytes(QByteArray())), "");
}

TEST(CompactBytes, CopiesMovesAndSwapsKeepTheirOwnBytes)
{
    const std::vector<std::string> samples = Samples();
    for (const std::string &x : samples) {
        for (const std::string &y : samples) {
            const QByteArrayView vx(x.data(), qsizetype(x.size()));
            const QByteArrayView vy(y.data(), qsizetype(y.size()));
            TCompactBytes a(vx), b(vy);
            TCompactBytes c(a); // copy
            a = b;              // copy-assign over
            EXPECT_EQ(Text(a), y);
            EXPECT_EQ(Text(c), x);
            TCompactBytes d(std::move(c)); // move
            EXPECT_EQ(Text(d), x);
            EXPECT_TRUE(c.isEmpty()); // NOLINT(bugprone-use-after-move): moved-from is empty
            b = std::move(d);         // move-assign over
            EXPECT_EQ(Text(b), x);
            a.swap(b);
            EXPECT_EQ(Text(a), x);
            EXPECT_EQ(Text(b), y);
            a = a; // self-assignment keeps the bytes
            auto &same = a;
            a = std::move(same);
            EXPECT_EQ(Text(a), x);
        }
    }
}

TEST(CompactBytes, ComparesLikeTheBytes)
{
    std::vector<std::string> texts = Samples();
    texts.push_back("80");
    texts.push_back("080");
    texts.push_back("8080");
    for (const std::string &x : texts) {
        for (const std::string &y : texts) {
            const TCompactBytes a(QByteArrayView(x.data(), qsizetype(x.size())));
            const TCompactBytes b(QByteArrayView(y.data(), qsizetype(y.size())));
            EXPECT_EQ(a == b, x == y);
            EXPECT_EQ(a != b, x != y);
            // std::string compares bytes as unsigned values too.
            EXPECT_EQ(a < b, x < y) << x << " / " << y;
        }
    }
}

TEST(CompactBytes, ProxyListsGrowAndCopyWithLongHosts)
{
    leecher::TProxyList list;
    for (int i = 0; i < 1000; ++i) {
        QByteArray host =
            QByteArray::number(i) + (i % 3 == 0 ? ".a-long-host-name.example.org" : ".1.1");
        list.push_back(leecher::TProxyItem{host, QByteArray::number(8000 + i)});
    }
    leecher::TProxyList copy = list;
    list.erase(list.begin(), list.begin() + 500);
    ASSERT_EQ(copy.size(), 1000u);
    EXPECT_EQ(copy[3].Host, "3.a-long-host-name.example.org");
    EXPECT_EQ(list[2].Host, "502.1.1");
    EXPECT_EQ(list[2].Port, "8502");
    EXPECT_EQ(list.back().Host, "999.a-long-host-name.example.org");
}
