// A loopback HTTP proxy that records every request it receives and forwards
// an absolute-form GET or HEAD ("GET http://127.0.0.1:<port>/a HTTP/1.0") to
// the origin named in it, relaying the answer back.
//
// Only loopback origins are ever contacted; any other target is answered
// with 502. A responder can answer instead of forwarding (a 503, an empty
// 200, a stall ...), and extra header lines can be added to what is
// forwarded (as a transparent proxy adds Via or X-Forwarded-For).
#pragma once

#include "support/HttpScript.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace testsupport {

class RecordingProxy : public QObject
{
    Q_OBJECT

public:
    // Returns a script to answer with it, or nothing to forward.
    using Responder = std::function<std::optional<Script>(const HttpRequest &)>;

    explicit RecordingProxy(QObject *Parent = nullptr);
    ~RecordingProxy() override;

    quint16 port() const;
    QByteArray host() const { return "127.0.0.1"; }
    QByteArray address() const; // "127.0.0.1:<port>"

    void setResponder(Responder R) { FResponder = std::move(R); }
    // Answers every request with this script instead of forwarding it.
    void answerWith(const Script &S)
    {
        FResponder = [S](const HttpRequest &) { return std::optional<Script>(S); };
    }
    // Header lines ("Via: 1.0 test") added to every forwarded request.
    void addForwardHeader(const QByteArray &Line) { FExtraHeaders.append(Line); }

    const QList<HttpRequest> &requests() const { return FRequests; }
    // What was sent on to the origins, in the same order.
    const QList<QByteArray> &forwarded() const { return FForwarded; }

private:
    void accept();
    void handle(QTcpSocket *Client, const HttpRequest &Request);

    QTcpServer *FServer;
    Responder FResponder;
    QList<QByteArray> FExtraHeaders;
    QList<HttpRequest> FRequests;
    QList<QByteArray> FForwarded;
};

} // namespace testsupport
