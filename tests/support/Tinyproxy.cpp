#include "support/Tinyproxy.h"

#include "support/ServerProcess.h"

#include <QFile>

namespace testsupport {

QString Tinyproxy::program()
{
    return findProgram(QStringLiteral("tinyproxy"));
}

Tinyproxy::Tinyproxy(const QByteArray &ListenAddress, const QList<QByteArray> &ExtraLines)
    : FHost(ListenAddress)
{
    const QString Program = program();
    if (Program.isEmpty()) {
        FError = QStringLiteral(
            "tinyproxy is not installed (scripts/setup installs it, package tinyproxy-bin)");
        return;
    }
    FPort = freePort(FHost);
    if (FPort == 0) {
        FError = QStringLiteral("no free port on ") + QString::fromLatin1(FHost);
        return;
    }
    const QByteArray Dir = FDir.path().toLocal8Bit();
    QByteArray Conf = "Port " + QByteArray::number(FPort) + "\nListen " + FHost +
                      "\nTimeout 10\nMaxClients 50\nAllow 127.0.0.0/8\nLogLevel Info\n"
                      "LogFile \"" +
                      Dir + "/tinyproxy.log\"\nPidFile \"" + Dir + "/tinyproxy.pid\"\n";
    for (const QByteArray &L : ExtraLines)
        Conf += L + '\n';
    QFile F(FDir.filePath(QStringLiteral("tinyproxy.conf")));
    if (!F.open(QIODevice::WriteOnly) || F.write(Conf) != Conf.size()) {
        FError = QStringLiteral("cannot write ") + F.fileName();
        return;
    }
    F.close();

    FError =
        startServer(FProcess, Program, {QStringLiteral("-d"), QStringLiteral("-c"), F.fileName()},
                    FHost, FPort, [this] { return log(); });
}

Tinyproxy::~Tinyproxy()
{
    stopServer(FProcess);
}

QByteArray Tinyproxy::log() const
{
    QFile F(FDir.filePath(QStringLiteral("tinyproxy.log")));
    return F.open(QIODevice::ReadOnly) ? F.readAll().right(4000) : QByteArray();
}

} // namespace testsupport
