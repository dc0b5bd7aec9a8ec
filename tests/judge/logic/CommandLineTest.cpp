// The judge's command line: what it accepts and how it refuses the rest.
#include "JudgeCommandLine.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using namespace judge;

namespace {

bool Parse(std::initializer_list<std::string_view> arguments, TJudgeCommand &command,
           QString *error)
{
    QStringList list{QStringLiteral("vexo-judge")};
    for (std::string_view a : arguments)
        list << QString::fromUtf8(a.data(), qsizetype(a.size()));
    return ParseJudgeCommandLine(list, command, error);
}

} // namespace

TEST(JudgeCommandLine, DefaultsAndValues)
{
    TJudgeCommand c;
    QString error;
    ASSERT_TRUE(Parse({}, c, &error)) << error.toStdString();
    EXPECT_EQ(c.Action, TJudgeCommand::Serve);
    EXPECT_EQ(c.Config.Address, QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(c.Config.Port, 8080);
    EXPECT_EQ(c.Config.Limits.Connections, MaxConnections);
    EXPECT_EQ(c.Config.Limits.SourceCap(), MaxConnections / PerSourceShare);
    EXPECT_TRUE(c.Config.Token.isEmpty());

    QTemporaryDir dir;
    const QString secretPath = dir.filePath(QStringLiteral("secret"));
    QFile secret(secretPath);
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("  0123456789abcdefXYZ\n");
    secret.close();
    const std::string path = secretPath.toStdString();
    TJudgeCommand d;
    ASSERT_TRUE(Parse({"--listen", "0.0.0.0:9000", "--client-ip", "203.0.113.7", "--client-ip",
                       "198.51.100.1", "--token", "t0k", "--secret-file", path, "--max-connections",
                       "50", "--max-per-source", "7"},
                      d, &error))
        << error.toStdString();
    EXPECT_EQ(d.Config.Address, QHostAddress(QHostAddress::AnyIPv4));
    EXPECT_EQ(d.Config.Port, 9000);
    EXPECT_EQ(d.Config.ClientAddresses, QByteArrayList({"203.0.113.7", "198.51.100.1"}));
    EXPECT_EQ(d.Config.Token, "t0k");
    EXPECT_EQ(d.Config.Secret, "0123456789abcdefXYZ");
    EXPECT_EQ(d.Config.Limits.Connections, 50);
    EXPECT_EQ(d.Config.Limits.SourceCap(), 7);
    // A small cap still lets each source have one.
    TJudgeLimits eight;
    eight.Connections = 8;
    EXPECT_EQ(eight.SourceCap(), 1);

    TJudgeCommand s;
    ASSERT_TRUE(Parse({"--sign", "203.0.113.7", "--secret-file", path}, s, &error));
    EXPECT_EQ(s.Action, TJudgeCommand::Sign);
    EXPECT_EQ(s.SignAddress, "203.0.113.7");
}

TEST(JudgeCommandLine, RefusesWhatCannotWork)
{
    QTemporaryDir dir;
    const QString shortSecret = dir.filePath(QStringLiteral("short"));
    QFile f(shortSecret);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("too short\n");
    f.close();
    const std::string missing = dir.filePath(QStringLiteral("missing")).toStdString();
    const std::string tooShort = shortSecret.toStdString();
    const std::initializer_list<std::string_view> bad[] = {
        {"--listen", "localhost:8080"},
        {"--listen", "127.0.0.1"},
        {"--listen", "127.0.0.1:70000"},
        {"--listen", "127.0.0.1:http"},
        {"--client-ip", "example.net"},
        {"--token", ""},
        {"--secret-file", missing},
        {"--secret-file", tooShort},
        {"--sign", "203.0.113.7"},
        {"--max-connections", "0"},
        {"--max-connections", "many"},
        {"--max-per-source", "0"},
        {"--no-such-option"},
        {"stray"},
    };
    for (const auto &arguments : bad) {
        TJudgeCommand c;
        QString error;
        EXPECT_FALSE(Parse(arguments, c, &error)) << *arguments.begin();
        EXPECT_FALSE(error.isEmpty());
    }
}
