// A proxy judge on loopback, and the answers of misbehaving proxies.
//
// The judge answers every request with a page in the usual judge form: the
// request's environment as NAME=value lines, "REMOTE_ADDR=" with the address
// the connection came from (padded with blanks, so that the 15-byte field
// after the marker holds the address and blanks only), every header line as
// HTTP_<NAME>=value, and "AnonyLevel" with the level digit after a ">":
//   1  no header that a proxy adds,
//   2  a proxy's header (Via, Proxy-Connection ...) but no forwarded client,
//   3  a header naming the client the proxy forwarded for (X-Forwarded-For,
//      Forwarded, X-Tinyproxy, Client-Ip, X-Real-Ip).
#pragma once

#include "support/HttpScript.h"
#include "support/OriginServer.h"

#include <QByteArray>
#include <QHash>

namespace testsupport {

// The judge's page for a request (peerAddress filled in).
QByteArray judgePage(const HttpRequest &Request);
// The level digit the judge gives that request.
char judgeLevel(const HttpRequest &Request);
// The whole answer as bytes: status line, header and page.
QByteArray judgeResponse(const HttpRequest &Request);
// That answer as a script.
Script judgeAnswer(const HttpRequest &Request);

// The forms of today's public judges, which state no level: AZ Environment
// lines "NAME = value", and httpbin's JSON behind a balancer that adds
// X-Forwarded-For (ending in the address it saw), -Port and -Proto.
enum class JudgeForm { Written, AzEnvironment, Httpbin };
QByteArray judgePage(const HttpRequest &Request, JudgeForm Form);

class JudgePeer : public OriginServer
{
public:
    explicit JudgePeer(QObject *Parent = nullptr);

    void setForm(JudgeForm Form) { FForm = Form; }

    // A NAT between the clients and the judge: requests that come from
    // `From` are reported as coming from `To`, the public address a judge on
    // the internet sees instead of the machine's own.
    void translate(const QByteArray &From, const QByteArray &To) { FNat.insert(From, To); }

private:
    QHash<QByteArray, QByteArray> FNat;
    JudgeForm FForm = JudgeForm::Written;
};

// Answers of proxies that misbehave (for RecordingProxy::answerWith).
Script serviceUnavailable(); // 503 Service Unavailable
Script emptyOk();            // 200 OK with an empty body
Script silent();             // reads the request and never answers
Script endlessBody();        // 200 OK and a body that never ends

} // namespace testsupport
