// The vexo-judge program as a user starts it: one command, the port it
// reports, its page, the query --sign prints, and clear refusals.
#include "ClientToken.h"
#include "support/EventLoop.h"
#include "support/RawExchange.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString Program()
{
    return QStringLiteral(VEXO_JUDGE_PROGRAM);
}

} // namespace

TEST(JudgeProgram, StartsWithOneCommandAndServes)
{
    QProcess judge;
    judge.start(Program(), {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                            QStringLiteral("--client-ip"), QStringLiteral("127.0.16.26")});
    ASSERT_TRUE(judge.waitForStarted(5000));
    QByteArray said;
    const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QRegularExpressionMatch m;
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            said += judge.readAllStandardError();
            m = listening.match(QString::fromLatin1(said));
            return m.hasMatch();
        },
        10000))
        << said.toStdString();
    const quint16 port = m.captured(1).toUShort();
    const testsupport::RawAnswer a = testsupport::exchange(
        "127.0.0.1", port, "GET / HTTP/1.0\r\nX-Forwarded-For: 127.0.16.26\r\n\r\n");
    EXPECT_EQ(a.status(), 200);
    EXPECT_TRUE(a.body().contains("REMOTE_ADDR=127.0.0.1      \n"));
    EXPECT_TRUE(a.body().contains("AnonyLevel=<b>5</b>"));
    judge.terminate();
    ASSERT_TRUE(judge.waitForFinished(5000));
    // Nothing of the request went to the log.
    said += judge.readAllStandardError();
    EXPECT_FALSE(said.contains("127.0.16.26")) << said.toStdString();
}

TEST(JudgeProgram, SignPrintsTheQueryAndBadOptionsAreRefused)
{
    QTemporaryDir dir;
    const QString secret = dir.filePath(QStringLiteral("secret"));
    QFile f(secret);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("a secret both sides know\n");
    f.close();

    QProcess sign;
    sign.start(Program(), {QStringLiteral("--sign"), QStringLiteral("203.0.113.7"),
                           QStringLiteral("--secret-file"), secret});
    ASSERT_TRUE(sign.waitForFinished(10000));
    EXPECT_EQ(sign.exitCode(), 0);
    EXPECT_EQ(sign.readAllStandardOutput().trimmed(),
              judge::ClientQuery("a secret both sides know", "203.0.113.7"));

    QProcess bad;
    bad.start(Program(), {QStringLiteral("--listen"), QStringLiteral("nowhere")});
    ASSERT_TRUE(bad.waitForFinished(10000));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_TRUE(bad.readAllStandardError().contains("--listen wants an IPv4 address"));
}
