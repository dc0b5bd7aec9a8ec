// What a peer on the network can make the program hold or do, in one place.
//
// Pages, redirects and judge answers come from servers that may be written to
// break scrapers. Past any of these limits the request ends like other read
// errors: the connection is closed, exactly one completion follows, with
// StatusCode 404 and a ReasonPhrase that names the limit. The README's
// "Limits" table lists them for users.
#pragma once

#include <QtGlobal>

namespace limits {

// One header line (status line included) must fit the client's receive
// buffer: "HTTP line too long".
inline constexpr qint32 MaxHeaderLineBytes = 8192;

// One response header as a whole, line ends included, and its non-empty
// lines: "HTTP header too large".
inline constexpr qint32 MaxHeaderBytes = 64 * 1024;
inline constexpr qint32 MaxHeaderLines = 256;

// "www-authenticate" values kept of one response: "Too many authentication
// challenges".
inline constexpr qint32 MaxAuthenticateValues = 16;

// Relocations one request follows: "Too many relocations".
inline constexpr int MaxRelocations = 20;

// Length of the absolute address a relocation leads to: "Relocation address
// too long".
inline constexpr qint32 MaxLocationBytes = 8 * 1024;

// A page held in memory by the leech run or the harvest (a site, a search
// result page); a bigger one is aborted and recorded as failed.
inline constexpr qint64 MaxPageBytes = qint64(64) * 1024 * 1024;

// A judge page held by the check run or the own-address ask: judges send a
// few KiB, so a proxy that sends more is cut off and recorded as bad.
inline constexpr qint64 MaxJudgePageBytes = 1024 * 1024;

} // namespace limits
