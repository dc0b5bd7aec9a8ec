// Scripted answers of the loopback peers: what to send, when, and how the
// connection ends.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <vector>

namespace testsupport {

struct Step
{
    enum Kind { Send, Wait, Close, Reset, KeepOpen, Repeat };
    Kind kind;
    QByteArray data;  // Send, Repeat
    int ms = 0;       // Wait; Repeat: pause between two units
    qint64 times = 0; // Repeat: how often; below 0 until the peer goes away
};

// Built fluently: Script().send("HTTP/1.0 200 OK\r\n\r\n").wait(5).send("body").
// Unless it says otherwise, a script ends by closing the connection (FIN)
// after everything has been sent.
class Script
{
public:
    Script &send(const QByteArray &Bytes);
    Script &wait(int Ms);
    Script &close();    // graceful close (FIN)
    Script &reset();    // abortive close (RST)
    Script &keepOpen(); // end here and leave the connection open
    // Sends Chunk again and again for as long as the peer reads, never
    // ending (an endless body): repeat(Chunk, -1).
    Script &sendForever(const QByteArray &Chunk);

    // A complete HTTP/1.0 response: status line, the given header lines, an
    // empty line and the body.
    static Script response(int Status, const QByteArray &Reason, const QList<QByteArray> &Headers,
                           const QByteArray &Body = {});
    // The body split into pieces of PieceSize bytes with Ms between them.
    Script &sendInPieces(const QByteArray &Bytes, int PieceSize, int Ms);
    // Unit sent Times times (below 0: without end, until the peer goes
    // away), PauseMs apart, or back to back when 0. Never more than 64 KiB
    // wait in the server's socket, so a peer that stops reading holds the
    // stream up instead of filling this process's memory.
    Script &repeat(const QByteArray &Unit, qint64 Times, int PauseMs = 0);

    const std::vector<Step> &steps() const { return FSteps; }

private:
    std::vector<Step> FSteps;
};

// A request as a peer received it.
struct HttpRequest
{
    QByteArray raw;          // request line and header lines up to the empty line
    QByteArray method;       // "GET"
    QByteArray target;       // "/a?b=1" or "http://host:port/a" (proxied)
    QByteArray version;      // "HTTP/1.0"
    QList<QByteArray> lines; // header lines without line ends, request line first
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body; // the Content-Length bytes after the header, when announced
    // The address the connection came from ("127.0.0.1"), filled in by the
    // peer that received the request.
    QByteArray peerAddress;
    // The value of the first header of that name (any letter case); empty
    // when absent.
    QByteArray header(const QByteArray &Name) const;
    bool hasHeader(const QByteArray &Name) const;

    // Parses a complete header block ("...\r\n\r\n").
    static HttpRequest parse(const QByteArray &Raw);
};

} // namespace testsupport
