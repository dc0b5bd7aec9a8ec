#include "util/SingleInstance.h"

#include "support/EventLoop.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using util::TSingleInstance;
using TStart = util::TSingleInstance::TStart;

namespace {

class SingleInstanceTest : public ::testing::Test
{
protected:
    QString Folder(const QString &name) const
    {
        EXPECT_TRUE(QDir().mkpath(dir.filePath(name)));
        return dir.filePath(name);
    }
    QTemporaryDir dir;
};

TEST_F(SingleInstanceTest, ASecondStartOnTheSameFolderHandsOverAndDoesNotStart)
{
    const QString folder = Folder(QStringLiteral("data"));
    TSingleInstance first(folder);
    QSignalSpy activated(&first, &TSingleInstance::Activated);
    ASSERT_EQ(first.Start(), TStart::First);
    EXPECT_TRUE(first.Warning().isEmpty()) << first.Warning().toStdString();
    QFile lock(first.LockPath());
    ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
    EXPECT_EQ(lock.readAll().trimmed().toLongLong(), ::getpid());

    for (int start = 1; start <= 2; ++start) {
        TSingleInstance second(folder + QStringLiteral("/../data")); // the same folder
        EXPECT_EQ(second.Start(), TStart::AlreadyRunning);
        EXPECT_TRUE(second.HandedOver());
        ASSERT_TRUE(testsupport::waitUntil([&] { return activated.size() == start; }));
    }
    // The later starts left the running program's lock alone.
    TSingleInstance third(folder);
    EXPECT_EQ(third.Start(1000), TStart::AlreadyRunning);
}

TEST_F(SingleInstanceTest, OtherFoldersStartSideBySide)
{
    TSingleInstance a(Folder(QStringLiteral("a")));
    TSingleInstance b(Folder(QStringLiteral("b")));
    QSignalSpy activatedA(&a, &TSingleInstance::Activated);
    EXPECT_EQ(a.Start(), TStart::First);
    EXPECT_EQ(b.Start(), TStart::First);
    EXPECT_NE(a.ServerName(), b.ServerName());
    testsupport::spinFor(50);
    EXPECT_EQ(activatedA.size(), 0);
}

TEST_F(SingleInstanceTest, AnEndedProgramLeavesNothingInTheWay)
{
    const QString folder = Folder(QStringLiteral("data"));
    QString lockPath;
    {
        TSingleInstance first(folder);
        ASSERT_EQ(first.Start(), TStart::First);
        lockPath = first.LockPath();
    }
    EXPECT_FALSE(QFile::exists(lockPath)) << "removed on a clean end";

    // What a crash leaves: the lock file (nobody holds it any more) and the
    // socket file of the program that listened.
    QFile stale(lockPath);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("99999\n");
    stale.close();
    TSingleInstance probe(folder);
    const QByteArray socketPath =
        QFile::encodeName(QDir::tempPath() + QLatin1Char('/') + probe.ServerName());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), static_cast<qsizetype>(sizeof address.sun_path));
    std::memcpy(address.sun_path, socketPath.constData(), socketPath.size());
    ::unlink(socketPath.constData());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(fd); // the file stays, no one listens

    TSingleInstance next(folder);
    QSignalSpy activated(&next, &TSingleInstance::Activated);
    ASSERT_EQ(next.Start(), TStart::First);
    EXPECT_TRUE(next.Warning().isEmpty()) << next.Warning().toStdString();
    TSingleInstance later(folder);
    EXPECT_EQ(later.Start(), TStart::AlreadyRunning);
    EXPECT_TRUE(later.HandedOver());
    EXPECT_TRUE(testsupport::waitUntil([&] { return activated.size() == 1; }));
}

TEST_F(SingleInstanceTest, TheSystemDropsTheLockOfAKilledProgram)
{
    const QString folder = Folder(QStringLiteral("data"));
    const QByteArray lockPath = QFile::encodeName(TSingleInstance(folder).LockPath());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A program that holds the folder and never listens or cleans up.
        const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT, 0644);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            ::_exit(1);
        const char byte = 1;
        if (::write(ready[1], &byte, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);

    TSingleInstance blocked(folder);
    EXPECT_EQ(blocked.Start(300), TStart::AlreadyRunning);
    EXPECT_FALSE(blocked.HandedOver());
    EXPECT_TRUE(blocked.Warning().contains(QStringLiteral("cannot be reached")));

    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    TSingleInstance after(folder);
    EXPECT_EQ(after.Start(), TStart::First);
}

TEST_F(SingleInstanceTest, OnlyTheActivationRequestIsHeard)
{
    TSingleInstance first(Folder(QStringLiteral("data")));
    QSignalSpy activated(&first, &TSingleInstance::Activated);
    ASSERT_EQ(first.Start(), TStart::First);

    QLocalSocket junk;
    junk.connectToServer(first.ServerName());
    ASSERT_TRUE(junk.waitForConnected(2000));
    junk.write("hello there, please do something\n");
    ASSERT_TRUE(junk.waitForBytesWritten(2000));
    EXPECT_TRUE(testsupport::waitUntil(
        [&] { return junk.state() == QLocalSocket::UnconnectedState; }, 3000))
        << "a stranger is sent away";

    // A request in pieces counts once it is whole.
    QLocalSocket slow;
    slow.connectToServer(first.ServerName());
    ASSERT_TRUE(slow.waitForConnected(2000));
    slow.write("activ");
    slow.flush();
    testsupport::spinFor(50);
    EXPECT_EQ(activated.size(), 0);
    slow.write("ate\n");
    slow.flush();
    EXPECT_TRUE(testsupport::waitUntil([&] { return activated.size() == 1; }));
}

} // namespace
