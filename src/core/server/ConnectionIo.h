// The steps every server of Vexo takes on an accepted connection, on plain
// non-blocking descriptors: who it comes from, reading the request's head
// within the limits, handing over an answer, and reading and dropping what
// the client still sends before the close.
#pragma once

#include "RequestHead.h"

#include <QByteArray>

class QTcpServer;
class QTimer;

namespace server {

struct TPeer
{
    bool Known = false;
    quint32 Source = 0; // IPv4 address in network order, as the admission counts it
    QByteArray Dotted;
    quint16 Port = 0;
};

// The peer of an accepted descriptor, which is made non-blocking.
TPeer TakeConnection(int fd);

enum class THeadRead { Complete, TooLarge, Wait, Closed };
// Reads from fd into `in` until the scanner finds the head complete or too
// large; Wait when nothing more is there yet, Closed at the end of the stream
// or an error. Bytes after the head may come along in `in`.
THeadRead ReadHead(int fd, QByteArray &in, THeadScanner &scanner);

enum class TSend { Done, Wait, Failed };
// Sends `out` from `sent` on, as far as the socket takes it.
TSend SendBytes(int fd, const QByteArray &out, qsizetype &sent);

// Reads and drops what the client sends, at most MaxLingerBytes in all
// (`drained` counts them): true while more may come, false once the client
// has closed, failed or sent too much.
bool DrainInput(int fd, qsizetype &drained);

// Out of descriptors, QTcpServer stops accepting; `timer` makes it try again
// shortly rather than never.
void ResumeAfterAcceptErrors(QTcpServer &server, QTimer &timer);

} // namespace server
