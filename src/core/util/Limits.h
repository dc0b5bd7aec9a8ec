// What a peer on the network can make the program hold or do, in one place.
//
// Pages, redirects and judge answers come from servers that may be written to
// break scrapers. Past any of these limits the request ends like other read
// errors: the connection is closed, exactly one completion follows, with
// StatusCode 404 and a ReasonPhrase that names the limit. The README's
// "Limits" table lists them for users.
//
// The last ones bound how long one peer can hold a run's bot: how often an
// entry is asked again, and how long one request may take as a whole.
#pragma once

#include <QtGlobal>

#include <algorithm>

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

// Times one entry of a run (a proxy, a site, a harvest's link or search) is
// asked again after an empty 200 answer, a 503 that the options repeat, or a
// time-out that the options repeat: three tries in all. After the last one
// the entry is recorded as it ended and the bot moves on.
inline constexpr int MaxRepeats = 2;
// The reason shown after the status code ("200 - Empty answer") for an entry
// whose every try answered 200 without a page.
inline constexpr const char *EmptyAnswerReason = "Empty answer";

// One request of a run as a whole, however steadily its bytes arrive (the
// per-request timeout counts only the time without data): ten times that
// timeout, and never less than half a minute. Past it the request ends as a
// time-out does.
inline constexpr qint64 RequestDeadlineFactor = 10;
inline constexpr qint64 MinRequestDeadlineSeconds = 30;

// The deadline in milliseconds for a per-request timeout of `timeoutSeconds`.
constexpr qint64 RequestDeadlineMs(qint64 timeoutSeconds)
{
    return std::max(timeoutSeconds * RequestDeadlineFactor, MinRequestDeadlineSeconds) * 1000;
}

} // namespace limits
