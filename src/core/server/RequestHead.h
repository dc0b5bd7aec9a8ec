// Reading a request's head as a server receives it: the request line and
// the header lines up to the first empty line, within the server's limits.
//
// Data arrives in pieces; THeadScanner looks only at the new bytes of each
// piece for the end of the head and keeps count of lines and bytes, so a
// client that trickles its header costs no more than one that sends it at
// once. ParseRequestHead then takes the complete head apart.
#pragma once

#include "ServerLimits.h"
#include "analyser/JudgeLevel.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <vector>

namespace server {

// A header line as sent; the grading takes the same.
using analyser::THeaderField;
using analyser::THeaderFields;

struct TRequestHead
{
    QByteArray Method;  // "GET"
    QByteArray Target;  // "/?token=x" or "http://host/" as sent
    QByteArray Version; // "HTTP/1.1"
    THeaderFields Headers;
    // Bytes announced after the head (Content-Length, or any
    // Transfer-Encoding): a server that reads no body must not close on one
    // unread.
    bool HasBody = false;
};

class THeadScanner
{
public:
    enum TState { Incomplete, Complete, TooLarge };

    explicit THeadScanner(const TServerLimits &limits) : FLimits(limits) {}

    // Looks at the bytes of data from where the last call stopped. Complete:
    // HeadSize() bytes hold the head, the empty line included. TooLarge: the
    // head went over the size or line limit before it ended.
    TState Scan(QByteArrayView data);
    qsizetype HeadSize() const { return FHeadSize; }
    qsizetype Limit() const { return FLimits.HeaderBytes; }

private:
    const TServerLimits &FLimits;
    qsizetype FScanned = 0;
    qsizetype FHeadSize = 0;
    // Line ends seen since the request line began (empty lines before it are
    // skipped, as clients may send one after an earlier request).
    int FLineEnds = 0;
    bool FInRequestLine = false;
    bool FLineEmpty = true;
};

// The lines of a head (request or response) without their line ends, from
// the first that is not empty up to the empty line that ends it.
QList<QByteArrayView> HeadLines(QByteArrayView head);

// Takes a complete head apart. Returns 0 on success, otherwise the status to
// answer: 400 for a malformed request line or header line, 505 for an HTTP
// version other than 1.x.
int ParseRequestHead(QByteArrayView head, TRequestHead &request);

} // namespace server
