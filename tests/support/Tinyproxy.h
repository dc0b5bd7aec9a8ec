// A private tinyproxy (Debian's package) for a test: started in the
// foreground with a configuration generated in a temporary folder, listening
// on one loopback address, and stopped when the object goes.
//
//   Tinyproxy P("127.0.11.21", {"DisableViaHeader Yes"});
//   ASSERT_TRUE(P.started()) << P.error();
//
// Without User and Group lines tinyproxy keeps the user that started it
// (root included, with a warning in its log); the log goes to the folder.
#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class Tinyproxy
{
public:
    // Extra lines are appended to the configuration as they stand.
    Tinyproxy(const QByteArray &ListenAddress, const QList<QByteArray> &ExtraLines = {});
    ~Tinyproxy();
    Tinyproxy(const Tinyproxy &) = delete;
    Tinyproxy &operator=(const Tinyproxy &) = delete;

    // The installed program, or empty when there is none.
    static QString program();

    bool started() const { return FError.isEmpty(); }
    // Why it did not start, with the end of its log.
    const QString &error() const { return FError; }
    QByteArray host() const { return FHost; }
    quint16 port() const { return FPort; }
    QByteArray address() const { return FHost + ':' + QByteArray::number(FPort); }
    QByteArray log() const;

private:
    QTemporaryDir FDir;
    QProcess FProcess;
    QByteArray FHost;
    quint16 FPort = 0;
    QString FError;
};

} // namespace testsupport
