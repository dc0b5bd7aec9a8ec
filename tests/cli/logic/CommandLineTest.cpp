// vexo-cli's command line: what each command takes, what it refuses, and
// the settings it merges over Options.ini.
#include "CliCommand.h"
#include "CliSettings.h"

#include "lists/FileError.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace cli;

namespace {

QStringList Args(std::initializer_list<const char *> Words)
{
    QStringList L{QStringLiteral("vexo-cli")};
    for (const char *W : Words)
        L << QString::fromUtf8(W);
    return L;
}

TCliCommand Parse(std::initializer_list<const char *> Words)
{
    TCliCommand C;
    QString Error;
    EXPECT_TRUE(ParseCliCommandLine(Args(Words), C, &Error)) << Error.toStdString();
    return C;
}

} // namespace

TEST(CliCommandLine, EachCommandTakesItsOptions)
{
    const TCliCommand L =
        Parse({"leech", "sites.txt", "--bots", "4096", "--timeout", "3", "--proxy",
               "127.0.0.1:3128", "--proxy-user", "u", "--no-dupes", "--retry-timeouts",
               "--no-special", "--format", "json", "--output", "out.json", "--dir", "d"});
    EXPECT_EQ(L.Command, TSubcommand::Leech);
    EXPECT_EQ(L.Input, QStringLiteral("sites.txt"));
    EXPECT_EQ(L.Settings.Bots, 4096);
    EXPECT_EQ(L.Settings.Timeout, QStringLiteral("3"));
    EXPECT_EQ(L.Settings.UseProxy, true);
    EXPECT_EQ(L.Settings.Proxy, QStringLiteral("127.0.0.1:3128"));
    EXPECT_EQ(L.Settings.ProxyAuth, true);
    EXPECT_EQ(L.Settings.ProxyUsername, QStringLiteral("u"));
    EXPECT_FALSE(L.Settings.ProxyPassword);
    EXPECT_EQ(L.Settings.Dupes, false);
    EXPECT_EQ(L.Settings.RetryTimeout, true);
    EXPECT_EQ(L.Settings.Special, false);
    EXPECT_FALSE(L.Settings.WriteFile); // left to Options.ini
    EXPECT_EQ(L.Format, TFormat::Json);
    EXPECT_EQ(L.Output, QStringLiteral("out.json"));
    EXPECT_EQ(L.Dir, QStringLiteral("d"));
    // A SOCKS proxy is kept as typed, its scheme included.
    EXPECT_EQ(Parse({"verify", "--proxy", "socks5://127.0.0.1:1080"}).Settings.Proxy,
              QStringLiteral("socks5://127.0.0.1:1080"));

    const TCliCommand C =
        Parse({"check", "-", "--judge", "http://127.0.0.1:8/j", "--retry-503", "--own-address", "",
               "--bind", "127.0.16.26", "--good-only", "--format", "csv", "--quiet"});
    EXPECT_EQ(C.Command, TSubcommand::Check);
    EXPECT_EQ(C.Input, QStringLiteral("-"));
    EXPECT_EQ(C.Settings.Judge, QStringLiteral("http://127.0.0.1:8/j"));
    EXPECT_EQ(C.Settings.Retry503, true);
    EXPECT_EQ(C.Settings.OwnAddress, QString()); // empty: never looked for
    EXPECT_EQ(C.Bind, QByteArray("127.0.16.26"));
    EXPECT_TRUE(C.GoodOnly);
    EXPECT_TRUE(C.Quiet);
    EXPECT_EQ(C.Format, TFormat::Csv);
    EXPECT_EQ(Parse({"check", "old.json", "--only", "timeout"}).Only, TOnly::Timeout);
    const TCliCommand Large = Parse(
        {"check", "big.txt", "--bots", "32768", "--connect-timeout", "2.5", "--shard", "3/8"});
    EXPECT_EQ(Large.Settings.Bots, 32768);
    EXPECT_EQ(Large.Settings.ConnectTimeoutMs, 2500);
    EXPECT_EQ(Large.Shard.Index, 3u);
    EXPECT_EQ(Large.Shard.Count, 8u);
    EXPECT_EQ(
        Parse({"judge-page", "127.0.0.1:80", "--judge", "https://j.example/a"}).Settings.Judge,
        QStringLiteral("https://j.example/a"));

    const TCliCommand H =
        Parse({"harvest", "--duration", "15m", "--search-host", "http://127.0.0.1:9/", "--no-proxy",
               "--special", "--engine", "Custom", "--search-url", "http://e/?q={query}",
               "--link-pattern", "<a href=\"([^\"]*)\"", "--search-interval", "0.5"});
    EXPECT_EQ(H.Settings.Engine, QStringLiteral("custom"));
    EXPECT_EQ(H.Settings.SearchUrl, QStringLiteral("http://e/?q={query}"));
    EXPECT_EQ(H.Settings.LinkPattern, QStringLiteral("<a href=\"([^\"]*)\""));
    EXPECT_EQ(H.Settings.SearchInterval, QStringLiteral("0.5"));
    EXPECT_EQ(H.DurationMs, 15 * 60 * 1000);
    EXPECT_EQ(H.Settings.SearchHost, QByteArray("http://127.0.0.1:9/"));
    EXPECT_EQ(H.Settings.UseProxy, false);
    EXPECT_EQ(H.Settings.Proxy, QString()); // the harvest would use any proxy text
    EXPECT_EQ(Parse({"harvest", "--duration", "2h"}).DurationMs, 2 * 3600 * 1000);
    EXPECT_EQ(Parse({"harvest", "--duration", "90"}).DurationMs, 90 * 1000);

    const TCliCommand J = Parse({"judge-page", "127.0.0.1:3128", "--timeout", "5"});
    EXPECT_EQ(J.Command, TSubcommand::JudgePage);
    EXPECT_EQ(J.Input, QStringLiteral("127.0.0.1:3128"));
}

TEST(CliCommandLine, RefusesWhatCannotBeFollowed)
{
    const struct
    {
        std::initializer_list<const char *> Words;
        const char *Message;
    } Cases[] = {
        {{}, "a command is needed"},
        {{"fetch"}, "unknown command: fetch"},
        {{"leech", "--bots", "0"}, "--bots wants a number from 1 to 4096"},
        {{"leech", "--bots", "4097"}, "--bots wants a number from 1 to 4096"},
        {{"check", "--bots", "32769"}, "--bots wants a number from 1 to 32768"},
        {{"leech", "--bots", "ten"}, "--bots wants a number"},
        {{"check", "--timeout", "0"}, "--timeout wants a whole number of seconds"},
        {{"leech", "--timeout", "2.5"}, "--timeout wants a whole number of seconds"},
        {{"leech", "--proxy", "nohost"}, "--proxy wants HOST:PORT"},
        {{"leech", "--proxy", "h:99999"}, "--proxy wants HOST:PORT"},
        {{"leech", "--proxy", "b\u00fccher:80"}, "--proxy wants HOST:PORT"},
        {{"leech", "--proxy", "socks5://nohost"}, "--proxy wants HOST:PORT"},
        {{"leech", "--proxy", "h:1", "--no-proxy"}, "--proxy and --no-proxy contradict"},
        {{"leech", "--dupes", "--no-dupes"}, "--dupes and --no-dupes contradict"},
        {{"leech", "--no-proxy-auth", "--proxy-user", "u"}, "contradict each other"},
        {{"leech", "a.txt", "b.txt"}, "unexpected argument: b.txt"},
        {{"leech", "-"}, "only check reads its list from standard input"},
        {{"leech", "--judge", "http://j/"}, "Unknown option 'judge'"},
        {{"verify", "--dupes"}, "Unknown option 'dupes'"},
        {{"harvest", "list.txt"}, "unexpected argument: list.txt"},
        {{"harvest", "--duration", "0"}, "--duration wants a length of time"},
        {{"harvest", "--duration", "5w"}, "--duration wants a length of time"},
        {{"harvest", "--search-host", ""}, "--search-host wants a host name"},
        {{"harvest", "--search-host", "b\u00fccher.example:80"}, "--search-host wants a host name"},
        {{"harvest", "--engine", "bing"}, "--engine wants classic, searxng or custom"},
        {{"harvest", "--search-interval", "-1"}, "--search-interval wants seconds"},
        {{"harvest", "--search-interval", "3s"}, "--search-interval wants seconds"},
        {{"check", "--format", "xml"}, "--format wants txt, csv or json"},
        {{"check", "--only", "good", "old.csv"}, "--only wants bad, timeout or unknown"},
        {{"check", "--only", "bad"}, "--only wants FILE"},
        {{"check", "--judge", "ftp://j/"}, "--judge wants an http:// or https:// address"},
        {{"check", "--judge", "judge"}, "--judge wants an http:// or https:// address"},
        {{"check", "--judge", "http://b\u00fccher.example/"},
         "--judge wants an http:// or https://"},
        {{"check", "--own-address", "my.host"}, "--own-address wants an IPv4 address"},
        {{"check", "--bind", "localhost"}, "--bind wants a local IPv4 address"},
        {{"check", "--output", ""}, "--output needs a file name"},
        {{"check", "--dir", ""}, "--dir needs a folder"},
        {{"judge-page"}, "judge-page wants the proxy to try as HOST:PORT"},
        {{"judge-page", "127.0.0.1"}, "judge-page wants the proxy to try as HOST:PORT"},
        {{"judge-page", "127.0.0.1:80", "--bots", "5"}, "Unknown option 'bots'"},
        {{"check", "--country", "Germany"}, "--country wants ISO country codes"},
        {{"check", "--country", "DE,"}, "--country wants ISO country codes"},
        {{"check", "--skip-checked-within", "1h", "--no-history"}, "not with --no-history"},
        {{"check", "--history", "--no-history"}, "contradict each other"},
        {{"history", "--min-uptime", "101"}, "--min-uptime wants a percentage"},
        {{"history", "--good-within", "soon"}, "--good-within wants a length of time"},
        {{"history", "--type", "detect"}, "--type wants http, socks4 or socks5"},
        {{"history", "--import", "a.csv", "--country", "DE"}, "the listing's filters do not apply"},
        {{"history", "a.csv"}, "unexpected argument: a.csv"},
    };
    for (const auto &Case : Cases) {
        TCliCommand C;
        QString Error;
        const QStringList A = Args(Case.Words);
        EXPECT_FALSE(ParseCliCommandLine(A, C, &Error)) << A.join(u' ').toStdString();
        EXPECT_TRUE(Error.contains(QLatin1StringView(Case.Message)))
            << A.join(u' ').toStdString() << ": " << Error.toStdString();
    }
}

TEST(CliCommandLine, HelpForEveryCommandAndTheVersion)
{
    for (const char *Command : {"leech", "verify", "check", "harvest", "judge-page"}) {
        SCOPED_TRACE(Command);
        for (const QStringList &A :
             {Args({Command, "--help"}), Args({"help", Command}), Args({"--help", Command})}) {
            TCliCommand C;
            QString Error;
            ASSERT_TRUE(ParseCliCommandLine(A, C, &Error)) << Error.toStdString();
            ASSERT_EQ(C.Action, TCliCommand::ShowText);
            EXPECT_TRUE(C.Text.startsWith(QStringLiteral("Usage: vexo-cli ") +
                                          QLatin1StringView(Command) + u' '))
                << C.Text.toStdString();
            EXPECT_TRUE(C.Text.contains(QStringLiteral("--dir")));
            EXPECT_TRUE(
                C.Text.contains(QStringLiteral("Exit status:\n  0  done\n  1  bad arguments")));
        }
    }
    // Each command lists its own options only.
    TCliCommand C;
    QString Error;
    ASSERT_TRUE(ParseCliCommandLine(Args({"check", "--help"}), C, &Error));
    EXPECT_TRUE(C.Text.contains(QStringLiteral("--only")));
    EXPECT_FALSE(C.Text.contains(QStringLiteral("--duration")));

    ASSERT_TRUE(ParseCliCommandLine(Args({"--help"}), C, &Error));
    for (const char *Command : {"leech", "verify", "check", "harvest", "judge-page"})
        EXPECT_TRUE(C.Text.contains(QLatin1StringView(Command)));
    ASSERT_TRUE(ParseCliCommandLine(Args({"--version"}), C, &Error));
    EXPECT_EQ(C.Text, QStringLiteral("vexo-cli 1.3\n"));
}

namespace {

class CliSettingsTest : public ::testing::Test
{
protected:
    void WriteOptions(const QByteArray &Content)
    {
        QFile F(Dir.filePath(QStringLiteral("Options.ini")));
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
        F.write(Content);
    }
    QTemporaryDir Dir;
};

} // namespace

TEST_F(CliSettingsTest, OptionsIniUnderTheCommandLine)
{
    // Without Options.ini: the desktop program's defaults.
    TSiteRunSettings S = ReadSiteRunSettings(Dir.path(), TSubcommand::Leech, {});
    EXPECT_EQ(S.Inputs.bots, 15);
    EXPECT_EQ(S.Inputs.timeout, QStringLiteral("8"));
    EXPECT_TRUE(S.Options.dupes);
    EXPECT_TRUE(S.Options.writeFile);
    EXPECT_FALSE(S.Inputs.automate);
    EXPECT_TRUE(ReadCheckSettings(Dir.path(), {}, [] { return QString(); }).verifyCertificates);

    WriteOptions("[Main]\r\nBots=500\r\nTimeout=12\r\n[Options]\r\nUseProxy=1\r\n"
                 "Proxy=10.0.0.1:3128\r\nDupes=0\r\nSpecial=1\r\nGooglerSpecial=0\r\n"
                 "VerifyCertificates=0\r\n"
                 "[ProxyChecker]\r\nBots=0\r\nRetry503=1\r\nProxyJudge=http://j.example/a\r\n"
                 "Timeout=4\r\n");
    S = ReadSiteRunSettings(Dir.path(), TSubcommand::Leech, {});
    EXPECT_EQ(S.Inputs.bots, 100); // as the window's slider shows 500
    EXPECT_EQ(S.Inputs.timeout, QStringLiteral("12"));
    EXPECT_TRUE(S.Options.useProxy);
    EXPECT_EQ(S.Options.proxy, QStringLiteral("10.0.0.1:3128"));
    EXPECT_FALSE(S.Options.dupes);
    EXPECT_EQ(S.Search, settings::TSearchSettings{});

    TSettingOverrides O;
    O.Bots = 2000;
    O.UseProxy = false;
    O.Proxy = QString();
    O.Dupes = true;
    O.Special = false;
    O.SearchHost = QByteArray("http://127.0.0.1:9/");
    S = ReadSiteRunSettings(Dir.path(), TSubcommand::Harvest, O);
    EXPECT_EQ(S.Inputs.bots, 2000);
    EXPECT_FALSE(S.Options.useProxy);
    EXPECT_TRUE(S.Options.proxy.isEmpty());
    EXPECT_TRUE(S.Options.dupes);
    EXPECT_TRUE(S.Options.special);         // leech's setting is not the harvest's
    EXPECT_FALSE(S.Options.googlerSpecial); // the harvest's
    EXPECT_EQ(S.Search.Host, QStringLiteral("http://127.0.0.1:9/")); // read when the harvest starts

    int Lookups = 0;
    const auto Own = [&] {
        ++Lookups;
        return QStringLiteral("192.0.2.7");
    };
    analyser::TCheckInputValues C = ReadCheckSettings(Dir.path(), {}, Own);
    EXPECT_EQ(C.bots, 1);
    EXPECT_TRUE(C.retry503);
    EXPECT_EQ(C.judgeURL, QStringLiteral("http://j.example/a"));
    EXPECT_EQ(C.timeout, QStringLiteral("4"));
    EXPECT_FALSE(C.verifyCertificates); // for an https judge
    EXPECT_EQ(C.ownAddress, QStringLiteral("192.0.2.7"));
    TSettingOverrides CO;
    CO.OwnAddress = QStringLiteral("198.51.100.2");
    CO.Retry503 = false;
    CO.Timeout = QStringLiteral("1");
    C = ReadCheckSettings(Dir.path(), CO, Own);
    EXPECT_EQ(C.ownAddress, QStringLiteral("198.51.100.2"));
    EXPECT_FALSE(C.retry503);
    EXPECT_EQ(C.timeout, QStringLiteral("1"));
    EXPECT_EQ(Lookups, 1); // the name service is asked only without --own-address
}

TEST_F(CliSettingsTest, AnOptionsIniThatCannotBeReadIsAnError)
{
    WriteOptions(QByteArray("[Main]\r\nBots=3\0\1\2", 17));
    EXPECT_THROW(ReadSiteRunSettings(Dir.path(), TSubcommand::Leech, {}), leecher::EFileError);
    QFile::remove(Dir.filePath(QStringLiteral("Options.ini")));
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("Options.ini")));
    EXPECT_THROW(ReadCheckSettings(Dir.path(), {}, [] { return QString(); }), leecher::EFileError);
}
