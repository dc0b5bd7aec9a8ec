#include "support/SocksPeer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace testsupport {

namespace {

quint8 At(const QByteArray &B, qsizetype I)
{
    return quint8(B[I]);
}

QByteArray Reply5(quint8 Code)
{
    return QByteArray("\x05", 1) + char(Code) + QByteArray("\x00\x01\x00\x00\x00\x00\x00\x00", 8);
}

QByteArray Reply4(quint8 Code)
{
    return QByteArray("\x00", 1) + char(Code) + QByteArray(6, '\0');
}

} // namespace

SocksPeer::SocksPeer(QObject *Parent) : QObject(Parent), FServer(new QTcpServer(this))
{
    FServer->listen(QHostAddress::LocalHost, 0);
    connect(FServer, &QTcpServer::newConnection, this, &SocksPeer::accept);
}

SocksPeer::~SocksPeer() = default;

quint16 SocksPeer::port() const
{
    return FServer->serverPort();
}

int SocksPeer::openConnections() const
{
    int Open = 0;
    for (const QTcpSocket *S : findChildren<QTcpSocket *>()) {
        if (S->property("client").toBool() && S->state() == QAbstractSocket::ConnectedState)
            ++Open;
    }
    return Open;
}

void SocksPeer::requirePassword(const QByteArray &User, const QByteArray &Password)
{
    FUser = User;
    FPassword = Password;
}

void SocksPeer::script(const QList<QByteArray> &Replies, bool CloseAfter)
{
    FScripted = true;
    FReplies = Replies;
    FCloseAfter = CloseAfter;
}

void SocksPeer::accept()
{
    while (QTcpSocket *Client = FServer->nextPendingConnection()) {
        ++FConnections;
        Client->setParent(this);
        Client->setProperty("client", true);
        connect(Client, &QTcpSocket::disconnected, Client, &QObject::deleteLater);
        if (FScripted)
            scripted(Client);
        else
            relay(Client);
    }
}

void SocksPeer::scripted(QTcpSocket *Client)
{
    auto Next = std::make_shared<int>(0);
    connect(Client, &QTcpSocket::readyRead, this, [this, Client, Next] {
        Client->readAll();
        if (*Next < FReplies.size()) {
            Client->write(FReplies[(*Next)++]);
            Client->flush();
        }
        if (*Next >= FReplies.size() && FCloseAfter)
            Client->disconnectFromHost();
    });
}

void SocksPeer::relay(QTcpSocket *Client)
{
    auto Buffer = std::make_shared<QByteArray>();
    connect(Client, &QTcpSocket::readyRead, this, [this, Client, Buffer] {
        if (Client->property("relaying").toBool())
            return; // the relay's own handler takes the bytes
        *Buffer += Client->readAll();
        while (!Client->property("relaying").toBool() && step(Client, *Buffer)) {
        }
    });
}

// One message of the negotiation, when the buffer holds it whole.
bool SocksPeer::step(QTcpSocket *Client, QByteArray &B)
{
    const int Stage = Client->property("stage").toInt();
    if (B.isEmpty() || Stage < 0)
        return false;
    if (Stage == 0 && At(B, 0) == 4) {
        // VN CD DSTPORT DSTIP USERID NUL [HOST NUL]
        const qsizetype UserEnd = B.indexOf('\0', 8);
        if (B.size() < 9 || UserEnd < 0)
            return false;
        Request R;
        R.version = 4;
        R.port = quint16(At(B, 2) << 8 | At(B, 3));
        R.user = B.mid(8, UserEnd - 8);
        const bool NameFollows = At(B, 4) == 0 && At(B, 5) == 0 && At(B, 6) == 0 && At(B, 7) != 0;
        qsizetype End = UserEnd + 1;
        if (NameFollows) {
            const qsizetype HostEnd = B.indexOf('\0', End);
            if (HostEnd < 0)
                return false;
            R.host = B.mid(End, HostEnd - End);
            End = HostEnd + 1;
        } else {
            R.host = QByteArray::number(At(B, 4)) + '.' + QByteArray::number(At(B, 5)) + '.' +
                     QByteArray::number(At(B, 6)) + '.' + QByteArray::number(At(B, 7));
        }
        B.remove(0, End);
        FRequests.append(R);
        connectTarget(Client, 4, R.host, R.port);
        return false;
    }
    if (Stage == 0) {
        if (B.size() < 2 || B.size() < 2 + At(B, 1))
            return false;
        const QByteArray Greeting = B.left(2 + At(B, 1));
        B.remove(0, Greeting.size());
        Client->setProperty("greeting", Greeting);
        if (FOnly4) {
            Client->disconnectFromHost();
            Client->setProperty("stage", -1);
            return false;
        }
        const bool WantsPassword = !FUser.isEmpty();
        const char Method = WantsPassword ? '\x02' : '\x00';
        if (At(Greeting, 0) != 5 || !Greeting.mid(2).contains(Method)) {
            Client->write(QByteArray("\x05\xff", 2));
            Client->disconnectFromHost();
            Client->setProperty("stage", -1);
            return false;
        }
        Client->write(QByteArray("\x05", 1) + Method);
        Client->setProperty("stage", WantsPassword ? 1 : 2);
        return true;
    }
    if (Stage == 1) {
        // VER ULEN UNAME PLEN PASSWD
        if (B.size() < 2 || B.size() < 3 + At(B, 1) ||
            B.size() < 3 + At(B, 1) + At(B, 2 + At(B, 1)))
            return false;
        const int ULen = At(B, 1), PLen = At(B, 2 + ULen);
        const QByteArray User = B.mid(2, ULen), Pass = B.mid(3 + ULen, PLen);
        B.remove(0, 3 + ULen + PLen);
        Client->setProperty("user", User);
        Client->setProperty("password", Pass);
        if (User != FUser || Pass != FPassword) {
            Client->write(QByteArray("\x01\x01", 2));
            Client->disconnectFromHost();
            Client->setProperty("stage", -1);
            return false;
        }
        Client->write(QByteArray("\x01\x00", 2));
        Client->setProperty("stage", 2);
        return true;
    }
    // VER CMD RSV ATYP DST.ADDR DST.PORT
    if (B.size() < 5)
        return false;
    Request R;
    R.version = 5;
    R.greeting = Client->property("greeting").toByteArray();
    R.user = Client->property("user").toByteArray();
    R.password = Client->property("password").toByteArray();
    qsizetype End;
    if (At(B, 3) == 1) {
        End = 10;
        if (B.size() < End)
            return false;
        R.host = QByteArray::number(At(B, 4)) + '.' + QByteArray::number(At(B, 5)) + '.' +
                 QByteArray::number(At(B, 6)) + '.' + QByteArray::number(At(B, 7));
    } else {
        End = 7 + At(B, 4);
        if (B.size() < End)
            return false;
        R.host = B.mid(5, At(B, 4));
    }
    R.port = quint16(At(B, End - 2) << 8 | At(B, End - 1));
    B.remove(0, End);
    FRequests.append(R);
    Client->setProperty("stage", -1);
    connectTarget(Client, 5, R.host, R.port);
    return false;
}

void SocksPeer::connectTarget(QTcpSocket *Client, int Version, const QByteArray &Host, quint16 Port)
{
    Client->setProperty("stage", -1);
    const QHostAddress Address(Host == "localhost" ? QStringLiteral("127.0.0.1")
                                                   : QString::fromLatin1(Host));
    if (!Address.isLoopback() || Address.protocol() != QAbstractSocket::IPv4Protocol) {
        // Never reach out beyond this machine's loopback.
        Client->write(Version == 5 ? Reply5(2) : Reply4(91));
        Client->disconnectFromHost();
        return;
    }
    auto *Target = new QTcpSocket(Client);
    QPointer<QTcpSocket> C(Client);
    connect(Target, &QTcpSocket::connected, this, [C, Target, Version] {
        if (!C)
            return;
        C->setProperty("relaying", true);
        C->write(Version == 5 ? Reply5(0) : Reply4(90));
        connect(C, &QTcpSocket::readyRead, Target, [C, Target] { Target->write(C->readAll()); });
        connect(Target, &QTcpSocket::readyRead, C, [C, Target] { C->write(Target->readAll()); });
        connect(Target, &QTcpSocket::disconnected, C, [C, Target] {
            C->write(Target->readAll());
            C->disconnectFromHost();
        });
        connect(C, &QTcpSocket::disconnected, Target, [Target] { Target->disconnectFromHost(); });
        if (C->bytesAvailable())
            Target->write(C->readAll());
    });
    connect(Target, &QTcpSocket::errorOccurred, this, [C, Target, Version] {
        if (!C || C->property("relaying").toBool())
            return;
        C->write(Version == 5 ? Reply5(5) : Reply4(91));
        C->disconnectFromHost();
        Target->deleteLater();
    });
    Target->connectToHost(Address, Port);
}

} // namespace testsupport
