#include "support/OriginServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace testsupport {

namespace {

// Walks a script step by step; owned by its socket.
class ScriptRun : public QObject
{
public:
    ScriptRun(QTcpSocket *Socket, const Script &S) : QObject(Socket), FSocket(Socket), FScript(S)
    {
        connect(FSocket, &QTcpSocket::bytesWritten, this, [this] {
            if (FResumeWhenWritten) {
                FResumeWhenWritten = false;
                next();
            }
        });
    }

    void next()
    {
        while (FIndex < FScript.steps().size()) {
            const Step &S = FScript.steps()[FIndex++];
            switch (S.kind) {
            case Step::Send:
                FSocket->write(S.data);
                FSocket->flush();
                break;
            case Step::Wait:
                QTimer::singleShot(S.ms, this, [this] { next(); });
                return;
            case Step::Close:
                FSocket->setProperty("closingByServer", true);
                FSocket->disconnectFromHost();
                return;
            case Step::Reset: {
                FSocket->flush();
                linger L{1, 0};
                setsockopt(int(FSocket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &L, sizeof L);
                FSocket->setProperty("closingByServer", true);
                FSocket->abort();
                return;
            }
            case Step::KeepOpen:
                return;
            case Step::Repeat:
                if (!repeat(S))
                    return;
                break;
            }
        }
        FSocket->setProperty("closingByServer", true);
        FSocket->disconnectFromHost();
    }

private:
    // Sends units of a repeat step; false while the step goes on (it comes
    // back here when the socket has room again or the pause is over).
    bool repeat(const Step &S)
    {
        if (!FInRepeat) {
            FInRepeat = true;
            FRepeatLeft = S.times;
        }
        if (FSocket->state() != QAbstractSocket::ConnectedState)
            return false; // the peer has gone: the stream ends here
        constexpr qint64 Room = 64 * 1024;
        do {
            if (FRepeatLeft == 0)
                break;
            FSocket->write(S.data);
            if (FRepeatLeft > 0)
                --FRepeatLeft;
        } while (S.ms == 0 && FSocket->bytesToWrite() < Room);
        FSocket->flush();
        if (FRepeatLeft == 0) {
            FInRepeat = false;
            return true;
        }
        --FIndex; // this step again
        if (S.ms > 0 || FSocket->bytesToWrite() < Room)
            QTimer::singleShot(S.ms, this, [this] { next(); });
        else
            FResumeWhenWritten = true; // the socket says when it has room
        return false;
    }

    QTcpSocket *FSocket;
    Script FScript;
    size_t FIndex = 0;
    bool FInRepeat = false;
    qint64 FRepeatLeft = 0;
    bool FResumeWhenWritten = false;
};

} // namespace

void runScript(QTcpSocket *Socket, const Script &S)
{
    auto *Run = new ScriptRun(Socket, S);
    Run->next();
}

OriginServer::OriginServer(QObject *Parent) : QObject(Parent), FServer(new QTcpServer(this))
{
    FServer->listen(QHostAddress::LocalHost, 0);
    connect(FServer, &QTcpServer::newConnection, this, &OriginServer::accept);
}

OriginServer::~OriginServer() = default;

quint16 OriginServer::port() const
{
    return FServer->serverPort();
}

QByteArray OriginServer::address() const
{
    return "127.0.0.1:" + QByteArray::number(port());
}

QByteArray OriginServer::url(const QByteArray &Path) const
{
    return "http://" + address() + Path;
}

void OriginServer::accept()
{
    while (QTcpSocket *Socket = FServer->nextPendingConnection()) {
        ++FConnections;
        Socket->setParent(this);
        connect(Socket, &QTcpSocket::disconnected, this, [this, Socket] {
            if (!Socket->property("closingByServer").toBool())
                ++FClosedByPeer;
            Socket->deleteLater();
        });
        if (FNoRequest) {
            Socket->setProperty("answered", true);
            answer(Socket, HttpRequest());
        }
        connect(Socket, &QTcpSocket::readyRead, this, [this, Socket] {
            const QByteArray Buffer = Socket->property("buffer").toByteArray() + Socket->readAll();
            if (Socket->property("answered").toBool())
                return;
            Socket->setProperty("buffer", Buffer);
            const qsizetype End = Buffer.indexOf("\r\n\r\n");
            if (End < 0)
                return;
            HttpRequest R = HttpRequest::parse(Buffer.left(End + 4));
            const qsizetype BodyLen = R.header("Content-Length").toLongLong();
            if (Buffer.size() < End + 4 + BodyLen)
                return; // the body is still on its way
            R.body = Buffer.mid(End + 4, BodyLen);
            R.peerAddress = Socket->peerAddress().toString().toLatin1();
            Socket->setProperty("answered", true);
            FRequests.append(R);
            answer(Socket, R);
        });
    }
}

void OriginServer::answer(QTcpSocket *Socket, const HttpRequest &Request)
{
    Script S;
    if (FResponder)
        S = FResponder(Request);
    else if (FRoutes.contains(Request.target))
        S = FRoutes.value(Request.target);
    else if (FDefault)
        S = *FDefault;
    else
        S = Script::response(404, "Not Found", {"Content-Type: text/html"}, "<html>404</html>");
    runScript(Socket, S);
}

} // namespace testsupport
