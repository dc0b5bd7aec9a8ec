// What vexo-cli refuses: bad arguments and files it cannot read or write,
// each with status 1, one line naming the reason, and nothing written; and
// an open-file limit too low for the bots asked for.
#include "CliFixture.h"

#include "support/OriginServer.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::CliProcess;
using testsupport::CliRun;
using testsupport::OriginServer;
using testsupport::runCli;
using testsupport::Script;

namespace {

class BadInputTest : public CliFixture
{
protected:
    void SetUp() override
    {
        Server.route("/a", Script::response(200, "OK", {}, "<td>1.2.3.4:8080</td>"));
        Write(QStringLiteral("Sites.ini"), Server.url("/a") + "\r\n");
        Write(QStringLiteral("proxies.txt"), "127.0.0.1:1\r\n");
        Write(QStringLiteral("binary.gz"), QByteArray("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10));
        ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("folder")));
    }
    // Status 1, one line on standard error holding `Message`, nothing on
    // standard output, the data folder as it was and no request made.
    void ExpectRefused(const QStringList &Arguments, const QString &Message,
                       const std::function<void()> &BeforeExec = {})
    {
        SCOPED_TRACE(Arguments.join(u' ').toStdString());
        const QStringList Before = Listing();
        const int Asked = Server.connectionCount();
        CliProcess P(Arguments, {}, BeforeExec);
        const CliRun R = P.wait();
        ASSERT_TRUE(R.finished);
        EXPECT_EQ(R.exitCode, 1) << R.err.toStdString();
        EXPECT_TRUE(R.out.isEmpty());
        EXPECT_EQ(R.err.count('\n'), 1) << R.err.toStdString();
        EXPECT_TRUE(R.err.startsWith("vexo-cli: "));
        EXPECT_TRUE(QString::fromLocal8Bit(R.err).contains(Message)) << R.err.toStdString();
        EXPECT_EQ(Listing(), Before);
        EXPECT_EQ(Server.connectionCount(), Asked);
    }

    OriginServer Server;
};

} // namespace

TEST_F(BadInputTest, BadArguments)
{
    ExpectRefused({}, QStringLiteral("a command is needed"));
    ExpectRefused(Command("leech", {QStringLiteral("--bots"), QStringLiteral("5000")}),
                  QStringLiteral("--bots wants a number from 1 to 4096"));
    ExpectRefused(Command("leech", {QStringLiteral("--frobnicate")}),
                  QStringLiteral("Unknown option 'frobnicate'"));
    ExpectRefused(Command("check", {QStringLiteral("--format"), QStringLiteral("yaml")}),
                  QStringLiteral("--format wants txt, csv or json"));
    ExpectRefused(Command("verify", {QStringLiteral("--shard"), QStringLiteral("4/4")}),
                  QStringLiteral("--shard wants I/N with 0 <= I < N"));
    // Help and version are no errors, and go to standard output.
    const CliRun Help = runCli({QStringLiteral("check"), QStringLiteral("--help")});
    EXPECT_EQ(Help.exitCode, 0);
    EXPECT_TRUE(Help.out.startsWith("Usage: vexo-cli check [options] [FILE|-]\n"));
    const CliRun Version = runCli({QStringLiteral("--version")});
    EXPECT_EQ(Version.out, "vexo-cli 1.3\n");
}

TEST_F(BadInputTest, FilesThatCannotBeRead)
{
    const QString Missing = Path(QStringLiteral("missing.txt"));
    const QString Folder = Path(QStringLiteral("folder"));
    const QString Binary = Path(QStringLiteral("binary.gz"));
    for (const char *Name : {"leech", "verify", "check"}) {
        ExpectRefused(
            Command(Name, {Missing}),
            QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(Missing));
        ExpectRefused(Command(Name, {Folder}),
                      QStringLiteral("Cannot open file \"%1\". Is a directory").arg(Folder));
        ExpectRefused(
            Command(Name, {Binary}),
            QStringLiteral("Cannot use file \"%1\". It is not a text file (byte 0 is 0x1f).")
                .arg(Binary));
    }
    // The site list the leech run takes by default, and Options.ini.
    QFile::remove(Path(QStringLiteral("Sites.ini")));
    ExpectRefused(Command("leech"), QStringLiteral("Sites.ini\". No such file or directory"));
    Write(QStringLiteral("Sites.ini"), Server.url("/a") + "\r\n");
    Write(QStringLiteral("Options.ini"), QByteArray("[Main]\r\n\0\0", 10));
    ExpectRefused(Command("leech"), QStringLiteral("Options.ini\". It is not a text file"));
    // A device or a sparse file without end is refused at its first byte.
    ExpectRefused(Command("check", {"/dev/zero"}),
                  QStringLiteral("\"/dev/zero\". It is not a text file (byte 0 is 0x00)."));
    QFile::remove(Path(QStringLiteral("Options.ini")));
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("Options.ini")));
    ExpectRefused(Command("check", {Path(QStringLiteral("proxies.txt"))}),
                  QStringLiteral("Options.ini\". Is a directory"));
}

TEST_F(BadInputTest, AFileItMayNotRead)
{
    // Root reads any file: the program then runs as nobody, from a folder
    // nobody may enter.
    std::function<void()> AsNobody;
    if (::geteuid() == 0) {
        AsNobody = [] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        };
        ASSERT_TRUE(
            QFile::setPermissions(Dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                  QFileDevice::WriteOther | QFileDevice::ExeOther));
        CliProcess Probe({QStringLiteral("--version")}, {}, AsNobody);
        if (Probe.wait().out != "vexo-cli 1.3\n")
            GTEST_SKIP() << "the program is out of an unprivileged user's reach";
    }
    const QString Locked = Path(QStringLiteral("locked.txt"));
    Write(QStringLiteral("locked.txt"), "127.0.0.1:1\r\n");
    ASSERT_TRUE(QFile::setPermissions(Locked, QFileDevice::WriteOwner));
    for (const char *Name : {"leech", "check"})
        ExpectRefused(Command(Name, {Locked}),
                      QStringLiteral("Cannot open file \"%1\". Permission denied").arg(Locked),
                      AsNobody);
}

TEST_F(BadInputTest, FilesThatCannotBeWritten)
{
    const QString Nowhere = Path(QStringLiteral("no/such/folder/out.txt"));
    ExpectRefused(
        Command("leech", {QStringLiteral("--output"), Nowhere}),
        QStringLiteral("Cannot write file \"%1\". No such file or directory").arg(Nowhere));
    ExpectRefused(Command("check", {Path(QStringLiteral("proxies.txt")), QStringLiteral("--output"),
                                    Path(QStringLiteral("folder"))}),
                  QStringLiteral("Is a directory"));
    // Proxies.txt and Leeched.ini of the data folder.
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("Proxies.txt")));
    ExpectRefused(Command("leech"), QStringLiteral("Proxies.txt\". Is a directory"));
    ASSERT_TRUE(QDir(Dir.path()).rmdir(QStringLiteral("Proxies.txt")));
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("Leeched.ini")));
    ExpectRefused(
        Command("harvest", {QStringLiteral("--search-host"), QStringLiteral("127.0.0.1:1")}),
        QStringLiteral("Leeched.ini\". Is a directory"));
    ASSERT_TRUE(QDir(Dir.path()).rmdir(QStringLiteral("Leeched.ini")));
    // A link in a folder open to every user is never written through: it
    // may be another user's, pointing at any file the run may change.
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("open")));
    ASSERT_EQ(::chmod(QFile::encodeName(Path(QStringLiteral("open"))).constData(), 01777), 0);
    ASSERT_TRUE(
        QFile::link(Path(QStringLiteral("proxies.txt")), Path(QStringLiteral("open/results.csv"))));
    ExpectRefused(Command("verify", {"--output", Path(QStringLiteral("open/results.csv"))}),
                  QStringLiteral("It is a symbolic link in a folder open to every user; give "
                                 "the file itself."));
    EXPECT_EQ(Read(QStringLiteral("proxies.txt")), "127.0.0.1:1\r\n");
}

TEST_F(BadInputTest, AnOpenFileLimitTooLowForTheBots)
{
    const auto Low = [] {
        const rlimit L{200, 200};
        ::setrlimit(RLIMIT_NOFILE, &L);
    };
    CliProcess P(Command("leech", {QStringLiteral("--bots"), QStringLiteral("1000")}), {}, Low);
    const CliRun R = P.wait();
    EXPECT_EQ(R.exitCode, 0) << R.err.toStdString();
    EXPECT_TRUE(R.err.startsWith("The open-file limit is 200: 136 bots instead of 1000.\n"))
        << R.err.toStdString();
    EXPECT_EQ(R.out, "1.2.3.4:8080\n");
}
