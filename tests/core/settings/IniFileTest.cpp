#include "settings/IniFile.h"
#include "settings/OptionsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using settings::TIniFile;

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    QString Path() const { return dir.filePath(QStringLiteral("Options.ini")); }
    void Write(const QByteArray &content) const
    {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray Content() const
    {
        QFile f(Path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
};

struct ReadCase
{
    const char *name;
    QByteArray file;
    const char *section;
    const char *key;
    int def;
    int expected;
};

TEST_F(IniFileTest, ReadsIntegersAsWindowsProfileFunctionsDo)
{
    const ReadCase cases[] = {
        {"decimal", "[Main]\r\nBots=42\r\n", "Main", "Bots", 15, 42},
        {"section and key without regard to case", "[mAIN]\r\nbOTS=7\r\n", "Main", "Bots", 15, 7},
        {"spaces around key and value", "[Main]\r\n  Bots  =  9  \r\n", "Main", "Bots", 15, 9},
        {"hexadecimal 0x", "[Main]\r\nBots=0x1F\r\n", "Main", "Bots", 15, 31},
        {"hexadecimal 0X upper case", "[Main]\r\nBots=0XfF\r\n", "Main", "Bots", 15, 255},
        {"negative", "[Main]\r\nBots=-3\r\n", "Main", "Bots", 15, -3},
        {"not a number", "[Main]\r\nBots=many\r\n", "Main", "Bots", 15, 15},
        {"digits then text", "[Main]\r\nBots=12abc\r\n", "Main", "Bots", 15, 15},
        {"empty value", "[Main]\r\nBots=\r\n", "Main", "Bots", 15, 15},
        {"bare 0x", "[Main]\r\nBots=0x\r\n", "Main", "Bots", 15, 15},
        {"overflow", "[Main]\r\nBots=99999999999\r\n", "Main", "Bots", 15, 15},
        {"missing key", "[Main]\r\nTimeout=8\r\n", "Main", "Bots", 15, 15},
        {"missing section", "[Other]\r\nBots=3\r\n", "Main", "Bots", 15, 15},
        {"key of another section", "[Other]\r\nBots=3\r\n[Main]\r\n", "Main", "Bots", 15, 15},
        {"first of two sections", "[Main]\r\nBots=1\r\n[Main]\r\nBots=2\r\n", "Main", "Bots", 0, 1},
        {"LF line ends", "[Main]\nBots=5\n", "Main", "Bots", 15, 5},
        {"no line end at all", "[Main]\r\nBots=6", "Main", "Bots", 15, 6},
        {"comment line ignored", "[Main]\r\n;Bots=1\r\nBots=2\r\n", "Main", "Bots", 0, 2},
    };
    for (const ReadCase &c : cases) {
        Write(c.file);
        const TIniFile ini(Path());
        EXPECT_EQ(ini.ReadInteger(QLatin1String(c.section), QLatin1String(c.key), c.def),
                  c.expected)
            << c.name;
    }
}

TEST_F(IniFileTest, ReadsBooleansAsIntegersAndStringsWithLimits)
{
    Write("[Options]\r\nA=1\r\nB=0\r\nC=2\r\nD=yes\r\nE=0x0\r\nS=  some text  \r\nQ=\"quoted \"\r\n"
          "Long=" +
          QByteArray(3000, 'x') + "\r\n");
    const TIniFile ini(Path());
    const QString s = QStringLiteral("Options");
    EXPECT_TRUE(ini.ReadBool(s, QStringLiteral("A"), false));
    EXPECT_FALSE(ini.ReadBool(s, QStringLiteral("B"), true));
    EXPECT_TRUE(ini.ReadBool(s, QStringLiteral("C"), false)); // anything but 0
    EXPECT_TRUE(ini.ReadBool(s, QStringLiteral("D"), true));  // unreadable: the default
    EXPECT_FALSE(ini.ReadBool(s, QStringLiteral("D"), false));
    EXPECT_FALSE(ini.ReadBool(s, QStringLiteral("E"), true));
    EXPECT_TRUE(ini.ReadBool(s, QStringLiteral("Missing"), true));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("S"), {}), QStringLiteral("some text"));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("Q"), {}), QStringLiteral("quoted "));
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("Long"), {}).size(), TIniFile::MaxValueLength);
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("Missing"), QStringLiteral("d")),
              QStringLiteral("d"));
}

TEST_F(IniFileTest, MissingFileGivesDefaultsAndWritingCreatesIt)
{
    TIniFile ini(Path());
    EXPECT_FALSE(ini.Exists());
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("Main"), QStringLiteral("Bots"), 15), 15);
    EXPECT_FALSE(ini.SectionExists(QStringLiteral("Main")));

    ini.WriteInteger(QStringLiteral("Main"), QStringLiteral("Bots"), 20);
    EXPECT_TRUE(ini.Exists());
    EXPECT_EQ(Content(), QByteArray("[Main]\r\nBots=20\r\n"));
}

TEST_F(IniFileTest, WritingReplacesOnlyThatKeysLine)
{
    Write("; my notes\r\n[Main]\r\nbots=1\r\nTimeout=8\r\n\r\n[Other]\r\nx = keep me\r\n");
    TIniFile ini(Path());
    ini.WriteInteger(QStringLiteral("MAIN"), QStringLiteral("Bots"), 33);
    EXPECT_EQ(Content(),
              QByteArray("; my notes\r\n[Main]\r\nBots=33\r\nTimeout=8\r\n\r\n[Other]\r\nx = keep "
                         "me\r\n"));

    // A new key goes after the section's last key, before the blank line.
    ini.WriteString(QStringLiteral("Main"), QStringLiteral("Hour"), QStringLiteral("2"));
    EXPECT_EQ(Content(), QByteArray("; my notes\r\n[Main]\r\nBots=33\r\nTimeout=8\r\nHour=2\r\n\r\n"
                                    "[Other]\r\nx = keep me\r\n"));

    // A new section is appended at the end.
    ini.WriteBool(QStringLiteral("Options"), QStringLiteral("Dupes"), false);
    EXPECT_TRUE(Content().endsWith("[Other]\r\nx = keep me\r\n[Options]\r\nDupes=0\r\n"));
    EXPECT_FALSE(ini.ReadBool(QStringLiteral("Options"), QStringLiteral("Dupes"), true));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Other"), QStringLiteral("X"), {}),
              QStringLiteral("keep me"));
}

TEST_F(IniFileTest, FailedWritesRaiseAndLeaveTheFileAsItWas)
{
    Write("[Main]\r\nBots=1\r\n");
    QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::ReadUser);
    TIniFile ini(Path());
    try {
        ini.WriteInteger(QStringLiteral("Main"), QStringLiteral("Bots"), 2);
        FAIL() << "a read-only file was written";
    } catch (const settings::EIniWriteError &e) {
        EXPECT_EQ(QString::fromLocal8Bit(e.what()), QStringLiteral("Unable to write to ") + Path());
    }
    QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(Content(), QByteArray("[Main]\r\nBots=1\r\n"));

    // A folder that does not exist cannot take the file at all.
    TIniFile nowhere(dir.filePath(QStringLiteral("missing/Options.ini")));
    EXPECT_THROW(nowhere.WriteBool(QStringLiteral("Main"), QStringLiteral("Automate"), true),
                 settings::EIniWriteError);
}

TEST_F(IniFileTest, SectionsRoundTripWithTheirDefaultsAndWriteOrder)
{
    TIniFile ini(Path());
    EXPECT_EQ(settings::ReadMainSection(ini).bots, 15);
    EXPECT_EQ(settings::ReadMainSection(ini).minute, QStringLiteral("30"));
    EXPECT_TRUE(settings::ReadOptionsSection(ini).autoload);
    EXPECT_FALSE(settings::ReadOptionsSection(ini).googlerSpecial);
    EXPECT_EQ(settings::ReadProxyCheckerSection(ini).bots, 50);
    EXPECT_EQ(settings::ReadProxyCheckerSection(ini).proxyJudge, settings::DefaultProxyJudge);
    EXPECT_TRUE(settings::ReadProxyCheckerSection(ini).judgeFallback);

    settings::TMainSection m;
    m.bots = 3;
    m.automate = false;
    m.hour = QStringLiteral("1");
    settings::WriteMainSection(ini, m);
    EXPECT_EQ(Content(), QByteArray("[Main]\r\nAutomate=0\r\nBots=3\r\nTimeout=8\r\nHour=1\r\n"
                                    "Minute=30\r\nSecond=0\r\n"));

    settings::TOptionValues o;
    o.proxy = QStringLiteral("10.0.0.1:8080");
    o.special = false;
    settings::WriteOptionsSection(ini, o);
    const QByteArray options = Content().mid(Content().indexOf("[Options]"));
    EXPECT_EQ(options,
              QByteArray("[Options]\r\nUseProxy=0\r\nProxy=10.0.0.1:8080\r\nProxyAuth=0\r\n"
                         "ProxyUsername=\r\nProxyPassword=\r\nRetryTimeout=0\r\n"
                         "WriteFile=1\r\nDeleteFile=1\r\nDupes=1\r\nAutoload=1\r\n"
                         "Special=0\r\nGooglerSpecial=0\r\n"));
    const settings::TOptionValues back = settings::ReadOptionsSection(ini);
    EXPECT_EQ(back.proxy, o.proxy);
    EXPECT_FALSE(back.special);

    settings::TProxyCheckerSection c;
    c.retry503 = true;
    c.judgeFallback = false;
    c.detectType = true;
    settings::WriteProxyCheckerSection(ini, c);
    EXPECT_TRUE(Content().endsWith("[ProxyChecker]\r\nBots=50\r\nRetry503=1\r\nProxyJudge=" +
                                   settings::DefaultProxyJudge.toUtf8() +
                                   "\r\nTimeout=8\r\nJudgeFallback=0\r\nDetectType=1\r\n"));
    EXPECT_FALSE(settings::ReadProxyCheckerSection(ini).judgeFallback);
    EXPECT_TRUE(settings::ReadProxyCheckerSection(ini).detectType);
}

TEST_F(IniFileTest, TimeoutsAboveAnHourAreReadAsAnHour)
{
    // Read as the wait timer reads them: leading blanks, then digits.
    const struct
    {
        const char *stored;
        const char *read;
        bool capped;
    } cases[] = {
        {"2147483647", "3600", true},
        {" 3601s", "3600", true},
        {"99999999999999999999", "3600", true},
        {"3600", "3600", false},
        {"8", "8", false},
        {"abc", "abc", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        Write(QByteArray("[Main]\r\nTimeout=") + c.stored +
              "\r\n[ProxyChecker]\r\nTimeout=" + c.stored + "\r\n");
        TIniFile ini(Path());
        const settings::TMainSection m = settings::ReadMainSection(ini);
        const settings::TProxyCheckerSection p = settings::ReadProxyCheckerSection(ini);
        EXPECT_EQ(m.timeout, QLatin1String(c.read));
        EXPECT_EQ(m.timeoutCapped, c.capped);
        EXPECT_EQ(p.timeout, QLatin1String(c.read));
        EXPECT_EQ(p.timeoutCapped, c.capped);
    }
}

} // namespace
