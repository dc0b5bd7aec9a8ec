#include "support/RawExchange.h"

#include "support/EventLoop.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace testsupport {

int RawAnswer::status() const
{
    if (!raw.startsWith("HTTP/"))
        return 0;
    const qsizetype sp = raw.indexOf(' ');
    return sp < 0 ? 0 : raw.mid(sp + 1, 3).toInt();
}

QByteArray RawAnswer::header(const QByteArray &Name) const
{
    const qsizetype end = raw.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = raw.left(end < 0 ? raw.size() : end).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0 && lines[i].left(colon).compare(Name, Qt::CaseInsensitive) == 0)
            return lines[i].mid(colon + 1).trimmed();
    }
    return {};
}

QByteArray RawAnswer::body() const
{
    const qsizetype end = raw.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : raw.mid(end + 4);
}

RawAnswer exchange(const QByteArray &Host, quint16 Port, const QByteArray &Bytes,
                   const QByteArray &From, int TimeoutMs)
{
    RawAnswer A;
    QTcpSocket S;
    if (!From.isEmpty())
        S.bind(QHostAddress(QString::fromLatin1(From)), 0);
    QObject::connect(&S, &QTcpSocket::readyRead, &S, [&] { A.raw += S.readAll(); });
    QObject::connect(&S, &QTcpSocket::disconnected, &S, [&] { A.closed = true; });
    QObject::connect(&S, &QTcpSocket::errorOccurred, &S, [&](QAbstractSocket::SocketError E) {
        if (E != QAbstractSocket::SocketTimeoutError)
            A.closed = true;
    });
    S.connectToHost(QHostAddress(QString::fromLatin1(Host)), Port);
    S.write(Bytes);
    waitUntil([&] { return A.closed; }, TimeoutMs);
    A.raw += S.readAll();
    return A;
}

} // namespace testsupport
