#include "support/SocksDaemon.h"

#include "support/ServerProcess.h"

namespace testsupport {

QString SocksDaemon::program(TKind Kind)
{
    return findProgram(Kind == TKind::Dante ? QStringLiteral("danted")
                                            : QStringLiteral("microsocks"));
}

SocksDaemon::SocksDaemon(TKind Kind, const QByteArray &ListenAddress, const QByteArray &User,
                         const QByteArray &Password)
    : LaunchedServer(ListenAddress)
{
    const QString Program = program(Kind);
    if (!reservePort(Program, Kind == TKind::Dante
                                  ? QStringLiteral("danted (package dante-server)")
                                  : QStringLiteral("microsocks (package microsocks)")))
        return;
    QStringList Args;
    const QByteArray Port = QByteArray::number(FPort);
    if (Kind == TKind::Dante) {
        const QByteArray Dir = FDir.path().toLocal8Bit();
        const QByteArray Conf =
            "logoutput: " + Dir + "/danted.log\ninternal: " + FHost + " port = " + Port +
            "\nexternal: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n"
            "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
            "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect }\n"
            "socks block { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n";
        const QString ConfPath = writeFile(QStringLiteral("danted.conf"), Conf);
        if (ConfPath.isEmpty())
            return;
        Args = {QStringLiteral("-f"), ConfPath,
                QStringLiteral("-p"), FDir.filePath(QStringLiteral("danted.pid")),
                QStringLiteral("-N"), QStringLiteral("1")};
    } else {
        Args = {QStringLiteral("-i"), QString::fromLatin1(FHost), QStringLiteral("-p"),
                QString::fromLatin1(Port)};
        if (!User.isEmpty()) {
            Args << QStringLiteral("-u") << QString::fromLatin1(User) << QStringLiteral("-P")
                 << QString::fromLatin1(Password);
        }
    }
    FError = startServer(FProcess, Program, Args, FHost, FPort, [this] { return log(); });
}

QByteArray SocksDaemon::log() const
{
    return tail(QStringLiteral("danted.log"));
}

} // namespace testsupport
