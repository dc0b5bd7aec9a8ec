#include "support/RecordingProxy.h"

#include "support/OriginServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace testsupport {

RecordingProxy::RecordingProxy(QObject *Parent) : QObject(Parent), FServer(new QTcpServer(this))
{
    FServer->listen(QHostAddress::LocalHost, 0);
    connect(FServer, &QTcpServer::newConnection, this, &RecordingProxy::accept);
}

RecordingProxy::~RecordingProxy() = default;

quint16 RecordingProxy::port() const
{
    return FServer->serverPort();
}

QByteArray RecordingProxy::address() const
{
    return host() + ':' + QByteArray::number(port());
}

void RecordingProxy::accept()
{
    while (QTcpSocket *Client = FServer->nextPendingConnection()) {
        Client->setParent(this);
        connect(Client, &QTcpSocket::disconnected, Client, &QObject::deleteLater);
        connect(Client, &QTcpSocket::readyRead, this, [this, Client] {
            if (Client->property("handled").toBool()) {
                Client->readAll();
                return;
            }
            QByteArray Buffer = Client->property("buffer").toByteArray() + Client->readAll();
            Client->setProperty("buffer", Buffer);
            const qsizetype End = Buffer.indexOf("\r\n\r\n");
            if (End < 0)
                return;
            Client->setProperty("handled", true);
            HttpRequest R = HttpRequest::parse(Buffer.left(End + 4));
            R.peerAddress = Client->peerAddress().toString().toLatin1();
            FRequests.append(R);
            handle(Client, R);
        });
    }
}

void RecordingProxy::handle(QTcpSocket *Client, const HttpRequest &Request)
{
    if (FResponder) {
        if (std::optional<Script> S = FResponder(Request)) {
            runScript(Client, *S);
            return;
        }
    }
    // Absolute form: http://host[:port]/path
    QByteArray Target = Request.target;
    QByteArray Host, Port = "80", Path = "/";
    if (Target.startsWith("http://")) {
        Target = Target.mid(7);
        const qsizetype Slash = Target.indexOf('/');
        QByteArray Authority = Slash < 0 ? Target : Target.left(Slash);
        Path = Slash < 0 ? QByteArray("/") : Target.mid(Slash);
        const qsizetype Colon = Authority.indexOf(':');
        Host = Colon < 0 ? Authority : Authority.left(Colon);
        if (Colon >= 0)
            Port = Authority.mid(Colon + 1);
    }
    if (Host != "127.0.0.1" && Host != "localhost") {
        // Never reach out beyond this machine's loopback.
        runScript(Client, Script::response(502, "Bad Gateway", {}, "loopback origins only"));
        return;
    }
    QByteArray Out = Request.method + ' ' + Path + ' ' + Request.version + "\r\n";
    for (qsizetype I = 1; I < Request.lines.size(); ++I) {
        if (Request.lines[I].startsWith("Proxy-Authorization:"))
            continue;
        Out += Request.lines[I] + "\r\n";
    }
    for (const QByteArray &Extra : FExtraHeaders)
        Out += Extra + "\r\n";
    Out += "\r\n";
    FForwarded.append(Out);

    auto *Upstream = new QTcpSocket(Client);
    QPointer<QTcpSocket> ClientPtr(Client);
    connect(Upstream, &QTcpSocket::connected, Upstream, [Upstream, Out] { Upstream->write(Out); });
    connect(Upstream, &QTcpSocket::readyRead, Upstream, [Upstream, ClientPtr] {
        if (ClientPtr)
            ClientPtr->write(Upstream->readAll());
    });
    connect(Upstream, &QTcpSocket::disconnected, Upstream, [ClientPtr] {
        if (ClientPtr)
            ClientPtr->disconnectFromHost();
    });
    connect(Upstream, &QTcpSocket::errorOccurred, Upstream,
            [ClientPtr](QAbstractSocket::SocketError E) {
                if (E == QAbstractSocket::ConnectionRefusedError && ClientPtr)
                    runScript(ClientPtr, Script::response(502, "Bad Gateway", {}, {}));
            });
    Upstream->connectToHost(QHostAddress::LocalHost, Port.toUShort());
}

} // namespace testsupport
