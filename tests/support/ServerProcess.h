// Real servers that a test starts on a loopback address of its own: a free
// port, the start, the wait until it accepts, and the stop.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace testsupport {

// A port that is free on that address right now (0 when none is).
quint16 freePort(const QByteArray &Host);

// Starts Program and waits until it accepts connections on Host:Port. The
// error (with its output and Log()), or empty once it accepts.
QString startServer(QProcess &Process, const QString &Program, const QStringList &Args,
                    const QByteArray &Host, quint16 Port,
                    const std::function<QByteArray()> &Log = {});

// Terminates a running server, killing it when it does not end.
void stopServer(QProcess &Process);

// The program installed under that name, in PATH or the system folders.
QString findProgram(const QString &Name);

// What the Debian servers started by tests share: a folder of their own, a
// free port on their loopback address, why they did not start, and the stop
// when the object goes.
class LaunchedServer
{
public:
    bool started() const { return FError.isEmpty(); }
    // Why it did not start, with the end of its log.
    const QString &error() const { return FError; }
    QByteArray host() const { return FHost; }
    quint16 port() const { return FPort; }
    QByteArray address() const { return FHost + ':' + QByteArray::number(FPort); }

protected:
    explicit LaunchedServer(const QByteArray &ListenAddress) : FHost(ListenAddress) {}
    ~LaunchedServer();
    LaunchedServer(const LaunchedServer &) = delete;
    LaunchedServer &operator=(const LaunchedServer &) = delete;

    // Takes a free port for Program; false (with the error set) when the
    // program is missing (Missing says which package) or no port is free.
    bool reservePort(const QString &Program, const QString &Missing);
    // Writes a file of the server's folder; its path, or empty with the
    // error set.
    QString writeFile(const QString &Name, const QByteArray &Content);
    // The end of a file of the server's folder.
    QByteArray tail(const QString &Name) const;

    QTemporaryDir FDir;
    QProcess FProcess;
    QByteArray FHost;
    quint16 FPort = 0;
    QString FError;
};

} // namespace testsupport
