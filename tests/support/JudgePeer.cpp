#include "support/JudgePeer.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace testsupport {

namespace {

bool hasAny(const HttpRequest &R, std::initializer_list<const char *> Names)
{
    for (const char *N : Names) {
        if (R.hasHeader(N))
            return true;
    }
    return false;
}

} // namespace

char judgeLevel(const HttpRequest &R)
{
    if (hasAny(R, {"X-Forwarded-For", "Forwarded", "X-Tinyproxy", "Client-Ip", "X-Real-Ip"}))
        return '3';
    if (hasAny(R, {"Via", "Proxy-Connection", "X-Proxy-Id"}))
        return '2';
    return '1';
}

QByteArray judgePage(const HttpRequest &R)
{
    QByteArray Page = "<html><head><title>Proxy judge</title></head><body><pre>\n";
    Page += "REMOTE_ADDR=" + R.peerAddress.leftJustified(15, ' ') + "\n";
    Page += "REQUEST_METHOD=" + R.method + "\n";
    Page += "REQUEST_URI=" + R.target + "\n";
    Page += "SERVER_PROTOCOL=" + R.version + "\n";
    for (const auto &[Name, Value] : R.headers)
        Page += "HTTP_" + Name.toUpper().replace('-', '_') + "=" + Value + "\n";
    Page += "</pre>\n<p>AnonyLevel: <b>";
    Page += judgeLevel(R);
    Page += "</b></p></body></html>\n";
    return Page;
}

QByteArray judgePage(const HttpRequest &R, JudgeForm Form)
{
    if (Form == JudgeForm::Written)
        return judgePage(R);
    if (Form == JudgeForm::AzEnvironment) {
        QByteArray Page = "<html><head><title>AZ Environment variables 1.04</title></head>\n"
                          "<body>\n<pre>\nREMOTE_ADDR = " +
                          R.peerAddress + "\nREQUEST_METHOD = " + R.method + "\n";
        for (const auto &[Name, Value] : R.headers)
            Page += "HTTP_" + Name.toUpper().replace('-', '_') + " = " + Value + "\n";
        return Page + "</pre>\n</body>\n</html>\n";
    }
    QJsonObject Headers;
    for (const auto &[Name, Value] : R.headers)
        Headers.insert(QString::fromLatin1(Name), QString::fromLatin1(Value));
    const QByteArray Forwarded = R.hasHeader("X-Forwarded-For")
                                     ? R.header("X-Forwarded-For") + ", " + R.peerAddress
                                     : R.peerAddress;
    Headers.insert(QStringLiteral("X-Forwarded-For"), QString::fromLatin1(Forwarded));
    Headers.insert(QStringLiteral("X-Forwarded-Port"), QStringLiteral("80"));
    Headers.insert(QStringLiteral("X-Forwarded-Proto"), QStringLiteral("http"));
    return QJsonDocument(QJsonObject{{QStringLiteral("args"), QJsonObject()},
                                     {QStringLiteral("headers"), Headers},
                                     {QStringLiteral("origin"), QString::fromLatin1(Forwarded)}})
        .toJson();
}

namespace {

QByteArray responseWith(const QByteArray &Page)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
           QByteArray::number(Page.size()) + "\r\n\r\n" + Page;
}

} // namespace

QByteArray judgeResponse(const HttpRequest &R)
{
    return responseWith(judgePage(R));
}

Script judgeAnswer(const HttpRequest &R)
{
    return Script().send(judgeResponse(R));
}

JudgePeer::JudgePeer(QObject *Parent) : OriginServer(Parent)
{
    setResponder([this](const HttpRequest &R) {
        HttpRequest Seen = R;
        Seen.peerAddress = FNat.value(R.peerAddress, R.peerAddress);
        return Script().send(responseWith(judgePage(Seen, FForm)));
    });
}

Script serviceUnavailable()
{
    return Script::response(503, "Service Unavailable", {"Content-Type: text/html"},
                            "<html>busy</html>");
}

Script emptyOk()
{
    return Script::response(200, "OK", {"Content-Type: text/html"});
}

Script silent()
{
    return Script().keepOpen();
}

Script endlessBody()
{
    return Script()
        .send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n")
        .sendForever(QByteArray(16384, 'x'));
}

} // namespace testsupport
