// A scriptable HTTP origin server on 127.0.0.1 (port chosen by the system),
// living inside the test's own process and event loop.
//
//   OriginServer Server;
//   Server.route("/a", Script::response(200, "OK", {"Content-Type: text/html"}, "hi"));
//   Server.setDefault(Script().send("<HTML>no header").close());
//   Client.SetURL(Server.url("/a"));
//
// Every accepted connection first reads the request header (up to the empty
// line) and the body its Content-Length announces, records them, and then
// runs the script chosen for it: the responder
// when one is set, else the route of the exact request target, else the
// default script, else a 404 answer.
#pragma once

#include "support/HttpScript.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

#include <functional>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace testsupport {

// Runs a script on a connected socket from the event loop; the socket is
// closed (and freed later) when the script says so.
void runScript(QTcpSocket *Socket, const Script &S);

class OriginServer : public QObject
{
    Q_OBJECT

public:
    using Responder = std::function<Script(const HttpRequest &)>;

    explicit OriginServer(QObject *Parent = nullptr);
    ~OriginServer() override;

    quint16 port() const;
    QByteArray address() const; // "127.0.0.1:<port>"
    QByteArray url(const QByteArray &Path = "/") const;

    void setResponder(Responder R) { FResponder = std::move(R); }
    void route(const QByteArray &Target, const Script &S) { FRoutes.insert(Target, S); }
    void setDefault(const Script &S) { FDefault = S; }
    // Runs the script as soon as a connection is accepted, without waiting
    // for (or recording) a request.
    void setAnswerWithoutRequest(bool On) { FNoRequest = On; }

    int connectionCount() const { return FConnections; }
    // Connections that the client closed while the server still held them.
    int closedByPeerCount() const { return FClosedByPeer; }
    const QList<HttpRequest> &requests() const { return FRequests; }

private:
    void accept();
    void answer(QTcpSocket *Socket, const HttpRequest &Request);

    QTcpServer *FServer;
    Responder FResponder;
    QHash<QByteArray, Script> FRoutes;
    std::optional<Script> FDefault;
    bool FNoRequest = false;
    int FConnections = 0;
    int FClosedByPeer = 0;
    QList<HttpRequest> FRequests;
};

} // namespace testsupport
