#include "support/Tinyproxy.h"

#include "support/ServerProcess.h"

namespace testsupport {

QString Tinyproxy::program()
{
    return findProgram(QStringLiteral("tinyproxy"));
}

Tinyproxy::Tinyproxy(const QByteArray &ListenAddress, const QList<QByteArray> &ExtraLines)
    : LaunchedServer(ListenAddress)
{
    const QString Program = program();
    if (!reservePort(Program, QStringLiteral("tinyproxy (package tinyproxy-bin)")))
        return;
    const QByteArray Dir = FDir.path().toLocal8Bit();
    QByteArray Conf = "Port " + QByteArray::number(FPort) + "\nListen " + FHost +
                      "\nTimeout 10\nMaxClients 50\nAllow 127.0.0.0/8\nLogLevel Info\n"
                      "LogFile \"" +
                      Dir + "/tinyproxy.log\"\nPidFile \"" + Dir + "/tinyproxy.pid\"\n";
    for (const QByteArray &L : ExtraLines)
        Conf += L + '\n';
    const QString ConfPath = writeFile(QStringLiteral("tinyproxy.conf"), Conf);
    if (ConfPath.isEmpty())
        return;
    FError = startServer(FProcess, Program, {QStringLiteral("-d"), QStringLiteral("-c"), ConfPath},
                         FHost, FPort, [this] { return log(); });
}

QByteArray Tinyproxy::log() const
{
    return tail(QStringLiteral("tinyproxy.log"));
}

} // namespace testsupport
