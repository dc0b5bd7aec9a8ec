// A loopback SOCKS proxy for tests, in two modes.
//
// Relay (the default): a working SOCKS 4, 4A and 5 proxy that connects only
// to loopback targets (any other is refused as the protocol's "not allowed")
// and relays both ways; with requirePassword it takes only the user name and
// password method. Every request is recorded.
//
// Scripted: script() replaces the proxy's side: each message the client
// sends is answered with the next reply of the list, byte for byte; after
// the last one the connection is closed or left silent.
//
//   SocksPeer P;
//   P.script({QByteArray("\x05\x00", 2), QByteArray("\x05\x05", 2)});
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

class QTcpServer;
class QTcpSocket;

namespace testsupport {

class SocksPeer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        int version = 0; // 4 (4A included) or 5
        QByteArray host; // as asked: a dotted address or a name
        quint16 port = 0;
        QByteArray user; // the version 4 user id or the version 5 user name
        QByteArray password;
        QByteArray greeting; // the version 5 greeting as received
    };

    explicit SocksPeer(QObject *Parent = nullptr);
    ~SocksPeer() override;

    QByteArray host() const { return "127.0.0.1"; }
    quint16 port() const;

    void requirePassword(const QByteArray &User, const QByteArray &Password);
    // Speaks version 4 (and 4A) only: a version 5 greeting is closed on.
    void onlyVersion4() { FOnly4 = true; }
    void script(const QList<QByteArray> &Replies, bool CloseAfter = true);

    const QList<Request> &requests() const { return FRequests; }
    // Connections accepted so far.
    int connections() const { return FConnections; }
    // Connections currently open (the client's side).
    int openConnections() const;

private:
    void accept();
    void scripted(QTcpSocket *Client);
    void relay(QTcpSocket *Client);
    // Parses what the client has sent so far; false when more is needed.
    bool step(QTcpSocket *Client, QByteArray &Buffer);
    void connectTarget(QTcpSocket *Client, int Version, const QByteArray &Host, quint16 Port);

    QTcpServer *FServer;
    QByteArray FUser, FPassword;
    bool FScripted = false;
    bool FOnly4 = false;
    QList<QByteArray> FReplies;
    bool FCloseAfter = true;
    QList<Request> FRequests;
    int FConnections = 0;
};

} // namespace testsupport
