#include "support/ServerProcess.h"

#include <QDeadlineTimer>
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

} // namespace testsupport
