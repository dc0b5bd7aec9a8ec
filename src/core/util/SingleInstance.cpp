#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace util {

namespace {

// What a later start sends; anything else on the socket is ignored.
constexpr char ActivateRequest[] = "activate\n";

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

TSingleInstance::TSingleInstance(QString folder, QObject *parent)
    : QObject(parent), FFolder(std::move(folder))
{
}

TSingleInstance::~TSingleInstance()
{
    if (FServer)
        FServer->close();
    if (FLockFd >= 0) {
        // Removed while still locked: a start that opened the old file then
        // sees that its lock belongs to a file no longer there, and retries.
        ::unlink(QFile::encodeName(LockPath()).constData());
        ::close(FLockFd);
    }
}

QString TSingleInstance::LockPath() const
{
    return QDir(FFolder).filePath(LockFileName);
}

QString TSingleInstance::ServerName() const
{
    const QFileInfo info(FFolder);
    const QString real =
        info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    const QByteArray digest =
        QCryptographicHash::hash(real.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return QStringLiteral("vexo-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

TSingleInstance::TStart TSingleInstance::Start(int handOverMs)
{
    switch (TakeLock()) {
    case TLock::Busy:
        FHandedOver = HandOver(handOverMs);
        return TStart::AlreadyRunning;
    case TLock::Failed:
        return TStart::First; // unguarded, as the warning says
    case TLock::Taken:
        Listen();
        return TStart::First;
    }
    return TStart::First;
}

TSingleInstance::TLock TSingleInstance::TakeLock()
{
    const QByteArray path = QFile::encodeName(LockPath());
    // A holder may remove the file between our open and our lock; the lock
    // then guards nothing and we try again on the new file.
    for (int attempt = 0; attempt < 20; ++attempt) {
        // Close-on-exec: a browser started by the program must not keep the
        // folder locked after the program has ended. A lock file that is a
        // link is refused: the pid written below would land where it leads.
        int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0 && errno == EACCES)
            fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            FWarning = QStringLiteral("Cannot open the lock file %1: %2")
                           .arg(LockPath(), SystemError(errno));
            return TLock::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return TLock::Busy;
            FWarning = QStringLiteral("Cannot lock %1: %2").arg(LockPath(), SystemError(error));
            return TLock::Failed;
        }
        struct stat opened
        {
        }, named{};
        if (::fstat(fd, &opened) == 0 && ::stat(path.constData(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            // The holder's process number, for a person looking at the file.
            const QByteArray pid = QByteArray::number(::getpid()) + '\n';
            if (::ftruncate(fd, 0) == 0 && ::write(fd, pid.constData(), pid.size()) < 0) {
                // Only informative; the lock itself is what counts.
            }
            FLockFd = fd;
            return TLock::Taken;
        }
        ::close(fd);
    }
    FWarning = QStringLiteral("Cannot lock %1: it keeps changing.").arg(LockPath());
    return TLock::Failed;
}

void TSingleInstance::Listen()
{
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket of that name is a leftover of a program
    // that ended without cleaning up.
    QLocalServer::removeServer(ServerName());
    if (!FServer->listen(ServerName())) {
        FWarning = QStringLiteral("Cannot listen for later starts on %1: %2")
                       .arg(ServerName(), FServer->errorString());
        return;
    }
    connect(FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = FServer->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            auto seen = std::make_shared<QByteArray>();
            connect(peer, &QLocalSocket::readyRead, this, [this, peer, seen] {
                const QByteArray request(ActivateRequest);
                while (peer->bytesAvailable() > 0) {
                    *seen += peer->read(request.size() - seen->size());
                    if (*seen == request) {
                        seen->clear();
                        Q_EMIT Activated();
                    } else if (!request.startsWith(*seen)) {
                        peer->abort(); // not one of ours
                        return;
                    }
                }
            });
        }
    });
}

bool TSingleInstance::HandOver(int timeoutMs)
{
    // The running program may be between taking the lock and listening, so
    // the connection is tried again until the deadline.
    QDeadlineTimer deadline(timeoutMs);
    do {
        QLocalSocket socket;
        socket.connectToServer(ServerName());
        if (socket.waitForConnected(
                static_cast<int>(std::min<qint64>(deadline.remainingTime(), 1000)))) {
            socket.write(ActivateRequest);
            const bool sent = socket.waitForBytesWritten(
                static_cast<int>(std::max<qint64>(deadline.remainingTime(), 100)));
            socket.disconnectFromServer();
            if (sent)
                return true;
        }
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    FWarning = QStringLiteral("Vexo already runs with the data folder %1 but cannot be reached.")
                   .arg(FFolder);
    return false;
}

} // namespace util
