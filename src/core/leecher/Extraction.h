// Turns the text of one downloaded page into Host:Port proxy entries.
//
// Normal extraction searches the page with one pattern for "host:port" texts.
// When that finds nothing and the caller's fallback option is on, special
// extraction tries four table-oriented patterns (the first one that matches at
// all is used) and pairs host lines with port lines (SParse).
//
// Everything here is a pure function of its arguments: the windows and runs
// apply the result to their lists, views and status texts.
#pragma once

#include <vector>

#include "lists/Records.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <string_view>

namespace leecher {

class TPageRegex;

// The five patterns, numbered 1 to 5 (RE2 syntax, character sets spelled out).
// 1 finds "host:port" anywhere; 2 to 5 find proxies laid out in table cells.
enum : int { kPatternCount = 5 };
std::string_view ProxyPatternText(int number);
// The compiled pattern `number` (1..5), built once and shared.
const TPageRegex &ProxyPattern(int number);

struct TExtraction
{
    // Accepted proxies, in the order they were found.
    TProxyList Proxies;
    // Candidates tried, accepted or not: the number that "Found N Proxies" reports.
    qsizetype Count = 0;
    // 1 when normal extraction found candidates; 2..5 the pattern special
    // extraction used; 0 when nothing matched.
    int Pattern = 0;
};

// Extracts the proxies of one page. `fallback` allows special extraction when
// the first pattern finds nothing. The page is searched up to its first NUL.
TExtraction ExtractProxies(QByteArrayView page, bool fallback);

// The same, appending the accepted proxies to `into` (a list that a run fills
// page after page) instead of a list of their own.
struct TExtractionCount
{
    qsizetype Count = 0;
    int Pattern = 0;
};
TExtractionCount ExtractProxies(QByteArrayView page, bool fallback, TProxyList &into);

// Every match of pattern 1 in `page`, in order: the same matches a search of
// the whole page finds, found by searching only the stretches that can hold one.
std::vector<QByteArrayView> FindPlainMatches(QByteArrayView page);

// Validates one candidate "host:port" text and appends it to `list`.
// Returns whether it was accepted. The port (the text after the first colon)
// must be 1 to 5 decimal digits worth 21 to 65555, and the text must begin with
// an ASCII letter or digit. Host and port are stored exactly as found.
bool AddProxy(QByteArrayView candidate, TProxyList &list);

// The text with every space (code 32) removed; TABs and line breaks stay.
QByteArray DeleteSpaces(QByteArrayView text);

// Cleans the joined matches of a table pattern into "host:port" candidates:
// tags are removed from each line, lines are trimmed, blank lines dropped,
// and each line of digits is joined to the entry at its own position minus one
// ("1.2.3.4" then "8080" gives "1.2.3.4:8080"). Only entries holding a colon
// are candidates.
//
// A digit line joined to an entry that already holds a colon (a second port
// line, "1.2.3.4:8080" then "3128") makes a candidate whose port text holds a
// colon, which is never a proxy. Such candidates are counted but not built:
// built, each would repeat the whole chain before it, and a long run of digit
// lines would take memory in the square of its length.
struct TSParseResult
{
    // The candidates that may be proxies, in order.
    QList<QByteArray> Candidates;
    // All candidates, those counted only included.
    qsizetype Count = 0;
};
TSParseResult SParse(QByteArrayView text);

} // namespace leecher
