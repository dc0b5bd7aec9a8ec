// What the judge sends back: the judge page and the short answers to
// requests it refuses.
//
// The page echoes what reached the judge in the form analysers read:
//
//   REMOTE_ADDR=<peer address padded with blanks to 15 characters>
//   AnonyLevel=<b>N</b> <meaning>
//   REMOTE_PORT=..., REQUEST_METHOD=..., SERVER_PROTOCOL=...
//   HTTP_<NAME>=value for every header line, in the order received
//
// Both markers come before anything the client sent, so a header cannot
// plant an earlier one. The request target is not echoed: its query may
// carry the client's address or the access token. Everything the client
// sent is HTML-escaped, control bytes included (a NUL would cut the page
// short in a reader that takes it as C text).
#pragma once

#include "JudgeLevel.h"
#include "JudgeLimits.h"
#include "JudgeRequest.h"

#include <QByteArray>
#include <QByteArrayView>

namespace judge {

// & < > " ' as named or numeric references, and bytes below 32 (tab
// excepted) and 127 as numeric references; other bytes unchanged.
QByteArray HtmlEscape(QByteArrayView text);

// Empty when the page would be longer than maxBytes: escaping can make a
// request's bytes up to six times as many, and a hostile client should not
// get more out of the judge than a multiple of what it sends.
QByteArray JudgePage(const TRequestHead &request, QByteArrayView peer, quint16 peerPort,
                     TAnonyLevel level, qsizetype maxBytes = MaxPageBytes);

// A whole answer: status line, header lines, and the body unless the
// request was HEAD (Content-Length is the body's either way). Every answer
// closes the connection and may not be stored by any cache.
QByteArray Response(int status, QByteArrayView contentType, QByteArrayView body, bool headOnly);
// A refusal: the status and its reason as a one-line text body (405 also
// names the methods allowed).
QByteArray ErrorResponse(int status, bool headOnly = false);
const char *ReasonPhrase(int status);

} // namespace judge
