#include "support/ServerProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace testsupport {

namespace {

bool Accepts(const QByteArray &Host, quint16 Port)
{
    QTcpSocket S;
    S.connectToHost(QHostAddress(QString::fromLatin1(Host)), Port);
    return S.waitForConnected(200);
}

} // namespace

quint16 freePort(const QByteArray &Host)
{
    QTcpServer Probe;
    if (!Probe.listen(QHostAddress(QString::fromLatin1(Host)), 0))
        return 0;
    return Probe.serverPort();
}

QString startServer(QProcess &Process, const QString &Program, const QStringList &Args,
                    const QByteArray &Host, quint16 Port, const std::function<QByteArray()> &Log)
{
    const QString Name = QFileInfo(Program).fileName();
    Process.setProcessChannelMode(QProcess::MergedChannels);
    Process.start(Program, Args);
    if (!Process.waitForStarted(5000))
        return Name + QStringLiteral(" did not start: ") + Process.errorString();
    const QDeadlineTimer Deadline(10000);
    while (!Accepts(Host, Port)) {
        if (Process.state() != QProcess::Running || Deadline.hasExpired()) {
            return Name + QStringLiteral(" does not accept on ") + QString::fromLatin1(Host) +
                   QLatin1Char(':') + QString::number(Port) + QStringLiteral(": ") +
                   QString::fromLocal8Bit(Process.readAll() + (Log ? Log() : QByteArray()));
        }
        QThread::msleep(20);
    }
    return {};
}

void stopServer(QProcess &Process)
{
    if (Process.state() == QProcess::NotRunning)
        return;
    Process.terminate();
    if (!Process.waitForFinished(3000)) {
        Process.kill();
        Process.waitForFinished(3000);
    }
}

QString findProgram(const QString &Name)
{
    QString P = QStandardPaths::findExecutable(Name);
    if (P.isEmpty())
        P = QStandardPaths::findExecutable(
            Name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    return P;
}

LaunchedServer::~LaunchedServer()
{
    stopServer(FProcess);
}

bool LaunchedServer::reservePort(const QString &Program, const QString &Missing)
{
    if (Program.isEmpty()) {
        FError = Missing + QStringLiteral(" is not installed (scripts/setup installs it)");
        return false;
    }
    FPort = freePort(FHost);
    if (FPort == 0)
        FError = QStringLiteral("no free port on ") + QString::fromLatin1(FHost);
    return FPort != 0;
}

QString LaunchedServer::writeFile(const QString &Name, const QByteArray &Content)
{
    QFile F(FDir.filePath(Name));
    if (!F.open(QIODevice::WriteOnly) || F.write(Content) != Content.size()) {
        FError = QStringLiteral("cannot write ") + F.fileName();
        return {};
    }
    return F.fileName();
}

QByteArray LaunchedServer::tail(const QString &Name) const
{
    QFile F(FDir.filePath(Name));
    return F.open(QIODevice::ReadOnly) ? F.readAll().right(4000) : QByteArray();
}

} // namespace testsupport
