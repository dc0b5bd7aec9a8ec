#include "support/Tinyproxy.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace testsupport {

namespace {

// A port that is free on that address right now.
quint16 FreePort(const QByteArray &Host)
{
    QTcpServer Probe;
    if (!Probe.listen(QHostAddress(QString::fromLatin1(Host)), 0))
        return 0;
    return Probe.serverPort();
}

bool Accepts(const QByteArray &Host, quint16 Port)
{
    QTcpSocket S;
    S.connectToHost(QHostAddress(QString::fromLatin1(Host)), Port);
    return S.waitForConnected(200);
}

} // namespace

QString Tinyproxy::program()
{
    QString P = QStandardPaths::findExecutable(QStringLiteral("tinyproxy"));
    if (P.isEmpty())
        P = QStandardPaths::findExecutable(
            QStringLiteral("tinyproxy"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    return P;
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
    FPort = FreePort(FHost);
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

    FProcess.setProcessChannelMode(QProcess::MergedChannels);
    FProcess.start(Program, {QStringLiteral("-d"), QStringLiteral("-c"), F.fileName()});
    if (!FProcess.waitForStarted(5000)) {
        FError = QStringLiteral("tinyproxy did not start: ") + FProcess.errorString();
        return;
    }
    const QDeadlineTimer Deadline(10000);
    while (!Accepts(FHost, FPort)) {
        if (FProcess.state() != QProcess::Running || Deadline.hasExpired()) {
            FError = QStringLiteral("tinyproxy does not accept on ") +
                     QString::fromLatin1(address()) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(FProcess.readAll() + log());
            return;
        }
        QThread::msleep(20);
    }
}

Tinyproxy::~Tinyproxy()
{
    if (FProcess.state() == QProcess::NotRunning)
        return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(3000)) {
        FProcess.kill();
        FProcess.waitForFinished(3000);
    }
}

QByteArray Tinyproxy::log() const
{
    QFile F(FDir.filePath(QStringLiteral("tinyproxy.log")));
    return F.open(QIODevice::ReadOnly) ? F.readAll().right(4000) : QByteArray();
}

} // namespace testsupport
