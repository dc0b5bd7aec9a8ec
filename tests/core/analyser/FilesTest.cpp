#include "analyser/AnalyserFiles.h"
#include "analyser/OwnAddress.h"
#include "analyser/ProxyEntries.h"
#include "lists/FileError.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace analyser;

namespace {

class Files : public ::testing::Test
{
protected:
    QString Path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QByteArray Read(const char *name) const
    {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void Write(const char *name, const QByteArray &content) const
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QTemporaryDir dir;
};

TEST_F(Files, ProxyJudgesRoundTripAsCrLfLines)
{
    EXPECT_FALSE(ReadProxyJudges(dir.path()).has_value());
    const QStringList judges{QStringLiteral("http://a.example/env"),
                             QStringLiteral("http://b.example/azenv.php?x=1")};
    WriteProxyJudges(dir.path(), judges);
    EXPECT_EQ(Read("ProxyJudges.ini"),
              QByteArray("http://a.example/env\r\nhttp://b.example/azenv.php?x=1\r\n"));
    EXPECT_EQ(ReadProxyJudges(dir.path()), judges);

    Write("ProxyJudges.ini", "http://c/\n\n  \rhttp://d/");
    EXPECT_EQ(ReadProxyJudges(dir.path()),
              (QStringList{QStringLiteral("http://c/"), QStringLiteral("http://d/")}));
    WriteProxyJudges(dir.path(), {});
    EXPECT_EQ(Read("ProxyJudges.ini"), QByteArray());
}

TEST_F(Files, ResultFilesHoldHostAndPortOnly)
{
    TAnalyserList list = TakeOver({{"1.1.1.1", "80"}, {"2.2.2.2", "3128"}, {"3.3.3.3", "8080"}});
    list[1].Status = "200 - OK";
    list[1].Speed = "120";
    EXPECT_EQ(SaveResults(Path("all.txt"), list), 3);
    EXPECT_EQ(Read("all.txt"), QByteArray("1.1.1.1:80\r\n2.2.2.2:3128\r\n3.3.3.3:8080\r\n"));
    EXPECT_EQ(SaveResults(Path("some.txt"), list, {0, 2}), 2);
    EXPECT_EQ(Read("some.txt"), QByteArray("1.1.1.1:80\r\n3.3.3.3:8080\r\n"));
    EXPECT_EQ(SaveResults(Path("some.txt"), list, {}), 0); // overwritten with nothing
    EXPECT_EQ(Read("some.txt"), QByteArray());

    // What is saved loads back as it was.
    TAnalyserList again;
    EXPECT_EQ(AppendProxyFile(Path("all.txt"), again), 3);
    EXPECT_EQ(ProxyLines(again), Read("all.txt"));
}

TEST_F(Files, FilesThatCannotBeReadOrWrittenRaiseAndChangeNothing)
{
    TAnalyserList list = TakeOver({{"1.1.1.1", "80"}});
    EXPECT_THROW(AppendProxyFile(Path("missing.txt"), list), leecher::EFileError);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_THROW(SaveResults(Path("no/such/folder/out.txt"), list), leecher::EFileError);

    EXPECT_THROW(WriteProxyJudges(Path("no/such/folder"), {QStringLiteral("x")}),
                 leecher::EFileError);
}

TEST(OwnAddress, TheHostNameFirstThenTheInterfacesNeverLoopback)
{
    const auto addresses = [](std::initializer_list<const char *> list) {
        QList<QHostAddress> out;
        for (const char *a : list)
            out << QHostAddress(QLatin1String(a));
        return out;
    };
    const auto find = [&](std::initializer_list<const char *> host,
                          std::initializer_list<const char *> interfaces) {
        TOwnAddressSources s;
        const QList<QHostAddress> h = addresses(host), i = addresses(interfaces);
        s.hostNameAddresses = [h] { return h; };
        s.interfaceAddresses = [i] { return i; };
        return FindOwnAddress(s).toStdString();
    };
    EXPECT_EQ(find({"::1", "fe80::1", "192.168.1.20", "10.0.0.2"}, {"10.9.9.9"}), "192.168.1.20");
    // A name that resolves to loopback only, as /etc/hosts often has it.
    EXPECT_EQ(find({"127.0.1.1"}, {"127.0.0.1", "::1", "2001:db8::5", "172.17.0.3", "10.1.1.1"}),
              "172.17.0.3");
    EXPECT_EQ(find({}, {"10.1.1.1"}), "10.1.1.1");
    EXPECT_EQ(find({"127.0.0.1"}, {"127.0.0.1", "::1"}), "");
    EXPECT_EQ(FindOwnAddress(TOwnAddressSources{}), QString()); // no sources at all
}

TEST(OwnAddress, MachineAddressesAreTheInterfacesIPv4WithoutLoopback)
{
    TOwnAddressSources s;
    s.hostNameAddresses = [] {
        return QList<QHostAddress>{QHostAddress(QStringLiteral("1.1.1.1"))};
    };
    s.interfaceAddresses = [] {
        QList<QHostAddress> out;
        for (const char *a : {"127.0.0.1", "::1", "192.168.1.20", "fe80::1", "10.0.0.2",
                              "192.168.1.20", "0.0.0.0", "127.0.1.1", "172.17.0.1"})
            out << QHostAddress(QLatin1String(a));
        return out;
    };
    EXPECT_EQ(MachineAddresses(s), (QList<QByteArray>{"192.168.1.20", "10.0.0.2", "172.17.0.1"}));
    EXPECT_EQ(MachineAddresses(TOwnAddressSources{}), QList<QByteArray>());
}

} // namespace
