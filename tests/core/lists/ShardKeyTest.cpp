// Shards: the hash and the keys are fixed (every machine and version must put
// an entry into the same shard), and the shards of a list are disjoint and
// together hold all of it.
#include "lists/ShardKey.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <vector>

using leecher::ParseShard;
using leecher::ProxyShardKey;
using leecher::ShardHash;
using leecher::TShard;

TEST(ShardKey, HashAndKeysAreFixed)
{
    // FNV-1a 64's published test vectors: a change of the function fails here.
    EXPECT_EQ(ShardHash(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(ShardHash("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(ShardHash("foobar"), 0x85944171f73967e8ull);

    const struct
    {
        net::TProxyType Type;
        const char *Host, *Port, *Key;
    } Keys[] = {
        {net::ptHttp, "10.0.0.1", "8080", "http://10.0.0.1:8080"},
        {net::ptHttp, "Proxy.Example.ORG", "0080", "http://proxy.example.org:80"},
        {net::ptHttp, "h", "000", "http://h:0"},
        {net::ptHttp, "h", "8o8o", "http://h:8o8o"}, // not a number: as written
        {net::ptSocks4, "h", "1080", "socks4://h:1080"},
        {net::ptSocks5, "H\xc3\x89", "1080", "socks5://h\xc3\x89:1080"}, // ASCII only
    };
    for (const auto &K : Keys)
        EXPECT_EQ(ProxyShardKey(K.Type, K.Host, K.Port), QByteArray(K.Key)) << K.Key;
    // A key's shard, pinned: what one version wrote, every later one reads.
    EXPECT_EQ(ShardHash("http://10.0.0.1:8080") % 7, 3u);
}

TEST(ShardKey, ShardOptionText)
{
    const struct
    {
        const char *Text;
        bool Ok;
        quint32 Index, Count;
    } Cases[] = {
        {"0/1", true, 0, 1},   {"3/4", true, 3, 4},         {"0/1048576", true, 0, 1048576},
        {"4/4", false, 0, 0},  {"0/0", false, 0, 0},        {"-1/4", false, 0, 0},
        {"1", false, 0, 0},    {"1/", false, 0, 0},         {"/4", false, 0, 0},
        {"a/4", false, 0, 0},  {"1/4/5", false, 0, 0},      {"0/1048577", false, 0, 0},
        {"+1/4", false, 0, 0}, {"99999999/1", false, 0, 0},
    };
    for (const auto &C : Cases) {
        const std::optional<TShard> S = ParseShard(QString::fromLatin1(C.Text));
        ASSERT_EQ(S.has_value(), C.Ok) << C.Text;
        if (S) {
            EXPECT_EQ(S->Index, C.Index);
            EXPECT_EQ(S->Count, C.Count);
        }
    }
}

TEST(ShardKey, ShardsAreDisjointAndHoldEveryEntry)
{
    QRandomGenerator Random(20261209);
    std::vector<QByteArray> Entries;
    for (int I = 0; I < 5000; ++I) {
        const quint32 A = Random.generate();
        Entries.push_back(ProxyShardKey(net::TProxyType(A % 3),
                                        QByteArray::number(A >> 8) + ".example",
                                        QByteArray::number(Random.bounded(1, 65536))));
    }
    for (const quint32 N : {1u, 2u, 7u, 64u}) {
        SCOPED_TRACE(N);
        std::vector<int> PerShard(N);
        for (const QByteArray &Key : Entries) {
            int Holders = 0;
            for (quint32 I = 0; I < N; ++I) {
                if (TShard{I, N}.Holds(Key)) {
                    ++Holders;
                    ++PerShard[I];
                }
            }
            ASSERT_EQ(Holders, 1) << Key.constData();
        }
        // Spread evenly enough that no machine gets twice its share.
        for (const int Count : PerShard)
            EXPECT_LT(Count, 2 * int(Entries.size() / N)) << N;
    }
}
