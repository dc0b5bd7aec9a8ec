// The check history: figures across checks, retention, listing filters and
// a damaged file.
#include "history/HistoryDb.h"
#include "history/CheckRecorder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using history::TCheckRecord;

constexpr qint64 Hour = 3600 * 1000;
constexpr qint64 Now = qint64(1796000000) * 1000; // a fixed moment in 2026

TCheckRecord Check(const char *host, qint32 state, qint64 at, const char *country = "",
                   net::TProxyType type = net::ptHttp)
{
    TCheckRecord r;
    r.Type = type;
    r.Host = host;
    r.Port = "8080";
    r.At = at;
    r.State = state;
    r.Status = state == 6 ? "200 - OK" : "Timeout";
    r.Country = country;
    r.Gateway = state == 6 ? QByteArray(host) : QByteArray();
    r.SpeedMs = state == 6 ? 120 : -1;
    return r;
}

class HistoryDbTest : public ::testing::Test
{
protected:
    QString Path() const { return Dir.filePath(QLatin1StringView(history::HistoryFileName)); }
    std::vector<history::TProxyHistory> Listed(const history::THistoryFilter &filter = {})
    {
        std::vector<history::TProxyHistory> all;
        EXPECT_TRUE(Db.List(filter, [&all](const history::TProxyHistory &h) { all.push_back(h); }))
            << Db.Error().toStdString();
        return all;
    }

    QTemporaryDir Dir;
    history::THistoryDb Db;
};

TEST_F(HistoryDbTest, FiguresFollowEveryCheckAndTheLastCheckIsTheNewest)
{
    ASSERT_TRUE(Db.Open(Path())) << Db.Error().toStdString();
    std::vector<history::TFigures> figures;
    // The host's letter case and the port's zeros name the same proxy.
    const std::vector<TCheckRecord> first = {Check("127.0.0.1", 6, Now - 3 * Hour, "DE"),
                                             Check("Proxy.Example", 3, Now - 3 * Hour)};
    ASSERT_TRUE(Db.Record(first, &figures));
    ASSERT_EQ(figures.size(), 2u);
    EXPECT_EQ(figures[0].Checks, 1u);
    EXPECT_EQ(figures[0].Goods, 1u);
    EXPECT_EQ(figures[0].LastGood, Now - 3 * Hour);
    EXPECT_EQ(figures[1].LastGood, 0);

    TCheckRecord again = Check("127.0.0.1", 3, Now - Hour);
    again.Port = "08080";
    // An older check brought in later counts, but the last check stays the newest.
    const std::vector<TCheckRecord> second = {again, Check("proxy.example", 6, Now - 2 * Hour),
                                              Check("PROXY.example", 3, Now - 4 * Hour)};
    ASSERT_TRUE(Db.Record(second, &figures));
    EXPECT_EQ(figures[0].Checks, 2u);
    EXPECT_EQ(figures[0].Goods, 1u);
    EXPECT_EQ(figures[2].Checks, 3u);
    EXPECT_EQ(figures[2].Goods, 1u);
    EXPECT_EQ(figures[2].LastGood, Now - 2 * Hour);

    const auto all = Listed();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].Last.Host, "127.0.0.1");
    EXPECT_EQ(all[0].Last.Port, "8080");
    EXPECT_EQ(all[0].Last.State, 3);      // the newest check timed out
    EXPECT_EQ(all[0].Last.Country, "DE"); // the last country known stays
    EXPECT_EQ(all[1].Last.Host, "proxy.example");
    EXPECT_EQ(all[1].Last.State, 6);
    EXPECT_EQ(all[1].Last.At, Now - 2 * Hour);
    EXPECT_EQ(all[1].Last.SpeedMs, 120);
    EXPECT_EQ(all[1].Figures.Checks, 3u);

    // A second connection (the other program) sees the same and adds to it.
    history::THistoryDb other;
    ASSERT_TRUE(other.Open(Path()));
    ASSERT_TRUE(other.Record(std::vector<TCheckRecord>{Check("127.0.0.1", 6, Now)}, &figures));
    EXPECT_EQ(figures[0].Checks, 3u);
    EXPECT_EQ(figures[0].Goods, 2u);
    // And the first connection counts on from there, not from what it wrote last.
    ASSERT_TRUE(Db.Record(std::vector<TCheckRecord>{Check("127.0.0.1", 3, Now + Hour)}, &figures));
    EXPECT_EQ(figures[0].Checks, 4u);
    EXPECT_EQ(figures[0].Goods, 2u);
    EXPECT_EQ(figures[0].LastGood, Now);
}

TEST_F(HistoryDbTest, RetentionDropsOldChecksAndProxiesLeftWithout)
{
    ASSERT_TRUE(Db.Open(Path()));
    const std::vector<TCheckRecord> checks = {
        Check("127.0.0.1", 6, Now - 100 * 24 * Hour), Check("127.0.0.1", 3, Now - Hour),
        Check("127.0.0.2", 6, Now - 95 * 24 * Hour), Check("127.0.0.3", 6, Now - 2 * Hour)};
    ASSERT_TRUE(Db.Record(checks));
    ASSERT_TRUE(Db.Prune(Now - 90 * 24 * Hour)) << Db.Error().toStdString();
    const auto all = Listed();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].Last.Host, "127.0.0.1");
    EXPECT_EQ(all[0].Figures.Checks, 1u);
    EXPECT_EQ(all[0].Figures.Goods, 0u);
    EXPECT_EQ(all[0].Figures.LastGood, 0); // its good check is gone
    EXPECT_EQ(all[1].Last.Host, "127.0.0.3");
    // A check recorded after the tidy-up counts on from the figures left.
    std::vector<history::TFigures> figures;
    ASSERT_TRUE(Db.Record(std::vector<TCheckRecord>{Check("127.0.0.1", 6, Now)}, &figures));
    EXPECT_EQ(figures[0].Checks, 2u);
    EXPECT_EQ(figures[0].Goods, 1u);
}

TEST_F(HistoryDbTest, ListingFilters)
{
    ASSERT_TRUE(Db.Open(Path()));
    const std::vector<TCheckRecord> checks = {
        Check("127.0.0.1", 6, Now - 30 * Hour, "DE"),
        Check("127.0.0.1", 3, Now - Hour, "DE"),
        Check("127.0.0.2", 6, Now - 2 * Hour, "FR"),
        Check("127.0.0.2", 6, Now - Hour, "FR"),
        Check("127.0.0.3", 3, Now - Hour, "DE"),
        Check("127.0.0.4", 6, Now - Hour, "NL", net::ptSocks5)};
    ASSERT_TRUE(Db.Record(checks));
    const auto hosts = [this](const history::THistoryFilter &f) {
        QList<QByteArray> h;
        for (const auto &p : Listed(f))
            h << p.Last.Host;
        return h;
    };
    history::THistoryFilter f;
    EXPECT_EQ(hosts(f).size(), 4);
    f.GoodSince = Now - 24 * Hour;
    EXPECT_EQ(hosts(f), (QList<QByteArray>{"127.0.0.2", "127.0.0.4"}));
    f = {};
    f.MinUptime = 50;
    EXPECT_EQ(hosts(f), (QList<QByteArray>{"127.0.0.1", "127.0.0.2", "127.0.0.4"}));
    f.MinUptime = 50.1;
    EXPECT_EQ(hosts(f), (QList<QByteArray>{"127.0.0.2", "127.0.0.4"}));
    f = {};
    f.Countries = {"DE", "NL"};
    EXPECT_EQ(hosts(f), (QList<QByteArray>{"127.0.0.1", "127.0.0.3", "127.0.0.4"}));
    f.Type = net::ptSocks5;
    EXPECT_EQ(hosts(f), (QList<QByteArray>{"127.0.0.4"}));
    f = {};
    f.CheckedSince = Now - Hour;
    EXPECT_EQ(hosts(f).size(), 4);
    f.CheckedSince = Now - Hour + 1;
    EXPECT_TRUE(hosts(f).isEmpty());
}

TEST_F(HistoryDbTest, ADamagedFileIsSetAsideNeverDeleted)
{
    const QByteArray garbage(8192, 'x');
    {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(garbage);
    }
    EXPECT_FALSE(Db.Open(Path()));
    EXPECT_FALSE(Db.IsOpen());
    EXPECT_TRUE(Db.Error().contains(Path())) << Db.Error().toStdString();
    EXPECT_TRUE(Db.Error().contains(QStringLiteral("set aside"))) << Db.Error().toStdString();
    EXPECT_FALSE(QFile::exists(Path()));
    const QStringList aside =
        QDir(Dir.path()).entryList({QStringLiteral("History.sqlite.damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(Dir.filePath(aside.front()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), garbage);
    // The next opening starts a new one.
    EXPECT_TRUE(Db.Open(Path())) << Db.Error().toStdString();
}

TEST_F(HistoryDbTest, ARowFromTheHistoryReadsAsTheRowThatWasRecorded)
{
    analyser::TProxyItem item;
    item.Type = net::ptSocks4;
    item.Host = "127.0.0.7";
    item.Port = "1080";
    item.State = analyser::psGood;
    item.Status = "200 - OK";
    item.RemoteAddr = "127.0.0.7";
    item.Anonymous = "No";
    item.Level = "3";
    item.Speed = "250";
    item.CheckedAt = Now;
    item.Country = analyser::TCountryCode("DE");
    ASSERT_TRUE(Db.Open(Path()));
    ASSERT_TRUE(Db.Record(std::vector<TCheckRecord>{history::RecordOf(item)}));
    const auto all = Listed();
    ASSERT_EQ(all.size(), 1u);
    const analyser::TProxyItem back = history::ItemOf(all[0]);
    for (auto field :
         {&analyser::TProxyItem::Host, &analyser::TProxyItem::Port, &analyser::TProxyItem::Status,
          &analyser::TProxyItem::RemoteAddr, &analyser::TProxyItem::Anonymous,
          &analyser::TProxyItem::Level, &analyser::TProxyItem::Speed})
        EXPECT_EQ((back.*field).view(), (item.*field).view());
    EXPECT_EQ(back.Type, item.Type);
    EXPECT_EQ(back.State, item.State);
    EXPECT_EQ(back.CheckedAt, item.CheckedAt);
    EXPECT_EQ(back.Country, item.Country);
    EXPECT_EQ(back.Checks, 1u);
    EXPECT_EQ(back.Goods, 1u);
    EXPECT_EQ(back.LastGood, Now);
}

} // namespace
