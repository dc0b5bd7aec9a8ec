// Looking up where a proxy is, in location databases the test writes itself.
#include "location/Locator.h"
#include "location/NamePool.h"
#include "support/LocationDbs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class LocationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Folder = new QTemporaryDir;
        QString error;
        Written = testsupport::WriteLocationDbs(Folder->path(), &error);
        if (!Written)
            ADD_FAILURE() << "the test databases were not written: " << error.toStdString();
    }
    static void TearDownTestSuite() { delete std::exchange(Folder, nullptr); }
    void SetUp() override
    {
        if (!Written)
            GTEST_SKIP();
    }
    static QString Db(const char *name) { return Folder->filePath(QLatin1StringView(name)); }

    static inline QTemporaryDir *Folder = nullptr;
    static inline bool Written = false;
};

TEST_F(LocationTest, EachKindOfAddressIsFoundInCountryCityAndAsnDatabases)
{
    struct Case
    {
        const char *address;
        const char *code;
        const char *name;
        quint32 asn;
        const char *org;
    };
    const Case cases[] = {
        {"127.0.0.9", "DE", "Germany", 64500, "Loopback Networks"},
        {"127.0.1.200", "FR", "France", 64500, "Loopback Networks"},
        {"2001:db8::42", "NL", "Netherlands", 64502, "Doc Six"},
        {"[2001:db8::42]", "NL", "Netherlands", 64502, "Doc Six"},
        {"198.51.100.7", "AU", "Australia", 0, ""}, // only where it is registered
        {"203.0.113.1", "", "", 0, ""},             // in no range
        {"proxy.example", "", "", 0, ""},           // a name is never looked up
        {"127.0.0.1x", "", "", 0, ""},
        {"", "", "", 0, ""},
    };
    for (const char *countryDb : {"Test-Country.mmdb", "Test-City.mmdb"}) {
        geo::TLocator locator;
        EXPECT_TRUE(locator.Open(Db(countryDb), Db("Test-ASN.mmdb"), {}).isEmpty());
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(countryDb) + " " + c.address);
            const geo::TLocation l = locator.Locate(c.address);
            EXPECT_EQ(l.CountryCode, QByteArray(c.code));
            EXPECT_EQ(l.CountryName, QByteArray(c.name));
            EXPECT_EQ(l.Asn, c.asn);
            EXPECT_EQ(l.AsOrg, QByteArray(c.org));
        }
    }
}

TEST_F(LocationTest, TheExitAddressIsTheJudgesViewElseTheProxysNumericAddress)
{
    geo::TLocator locator;
    ASSERT_TRUE(locator.Open(Db("Test-Country.mmdb"), Db("Test-ASN.mmdb"), {}).isEmpty());
    struct Case
    {
        const char *host, *gateway, *exit, *country;
    };
    const Case cases[] = {
        {"127.0.0.5", "192.0.2.9", "192.0.2.9", "JP"}, // the judge saw another address
        {"127.0.0.5", "Unknown", "127.0.0.5", "DE"},       {"127.0.1.5", "", "127.0.1.5", "FR"},
        {"[2001:db8::1]", "", "2001:db8::1", "NL"},        {"proxy.example", "", "", ""},
        {"proxy.example", "192.0.2.1, 127.0.0.1", "", ""}, // a list, not one address
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.host) + " / " + c.gateway);
        analyser::TProxyItem item;
        item.Host = c.host;
        item.RemoteAddr = c.gateway;
        EXPECT_EQ(geo::ExitAddress(item), QByteArray(c.exit));
        locator.Fill(item);
        EXPECT_EQ(item.Country.view(), QByteArrayView(c.country));
    }
    // Names are held once for the whole program.
    EXPECT_EQ(geo::PooledName("Germany"), geo::PooledName(QByteArray("Germany")));
}

TEST_F(LocationTest, MissingUnreadableAndWrongKindDatabasesAreNamedAndLeftOut)
{
    QTemporaryDir empty;
    QFile text(empty.filePath(QStringLiteral("notes.mmdb")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is no database\n");
    text.close();
    const QString missing = empty.filePath(QStringLiteral("gone.mmdb"));

    geo::TLocator locator;
    QStringList said = locator.Open(missing, Db("Test-Country.mmdb"), {});
    ASSERT_EQ(said.size(), 2);
    EXPECT_TRUE(said[0].contains(missing)) << said[0].toStdString();
    EXPECT_TRUE(said[1].contains(QStringLiteral("no ASN database"))) << said[1].toStdString();
    EXPECT_FALSE(locator.HasCountry());
    EXPECT_FALSE(locator.HasAsn());

    said = locator.Open(text.fileName(), Db("Test-Other.mmdb"), {});
    ASSERT_EQ(said.size(), 2);
    EXPECT_TRUE(said[0].contains(text.fileName())) << said[0].toStdString();
    EXPECT_TRUE(said[1].contains(QStringLiteral("Test-Anonymous-IP"))) << said[1].toStdString();

    // Searched for: files that are no database or of another kind are passed
    // over; nothing of the right kind is said once.
    said = locator.Open({}, {}, {empty.path()});
    EXPECT_EQ(said, QStringList{QLatin1StringView(geo::NoLocationDatabaseText)});
    said = locator.Open({}, {}, {empty.path(), Folder->path()});
    EXPECT_TRUE(said.isEmpty()) << said.join(u'\n').toStdString();
    EXPECT_TRUE(locator.HasCountry());
    EXPECT_TRUE(locator.HasAsn());
    EXPECT_EQ(locator.Locate("127.0.0.1").Asn, 64500u);
}

} // namespace
