// One running program per data folder. The first start holds an exclusive
// lock on the lock file beside the data and listens on a local socket named
// after the folder; a later start with the same folder finds the lock taken,
// asks the running program through that socket to come to the front, and does
// not start, so two programs never overwrite each other's files. The system
// drops the lock when its holder ends, however it ends, so a crashed program
// never blocks the next start.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace util {

class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    // The lock file's name inside the data folder.
    static inline const QString LockFileName = QStringLiteral("Vexo.lock");

    enum class TStart {
        First,         // this program holds the folder now
        AlreadyRunning // another one does; it has been asked to come to the front
    };

    explicit TSingleInstance(QString folder, QObject *parent = nullptr);
    ~TSingleInstance() override; // lets go of the folder and removes the lock file

    // Takes the folder or hands over to the program that has it. Waits at most
    // `handOverMs` for the running program to take the request.
    TStart Start(int handOverMs = 5000);

    // What kept the lock or the socket from working; the program runs anyway,
    // only without the guard. Empty when all went well.
    const QString &Warning() const { return FWarning; }
    // The running program was reached (AlreadyRunning only).
    bool HandedOver() const { return FHandedOver; }

    const QString &Folder() const { return FFolder; }
    QString LockPath() const;
    // The local socket's name: the user and a digest of the folder's real path.
    QString ServerName() const;

Q_SIGNALS:
    // A later start with the same folder asked this program to come to the front.
    void Activated();

private:
    enum class TLock { Taken, Busy, Failed };
    TLock TakeLock();
    void Listen();
    bool HandOver(int timeoutMs);

    QString FFolder;
    QString FWarning;
    int FLockFd = -1;
    bool FHandedOver = false;
    QLocalServer *FServer = nullptr;
};

} // namespace util
