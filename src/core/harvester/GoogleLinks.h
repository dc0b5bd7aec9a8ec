// The result links of a search result page.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <deque>

namespace harvester {

// Every result link of the page, in page order, each followed by CR LF
// (empty text when there is none). A result is "<p class=g><a href=http://"
// (or "https://", for sites that speak TLS only) and the link runs from its
// scheme up to the first ">" after it, exactly
// as the page writes it (quotes or further attributes included, line breaks
// too). Matching is case-sensitive, results never overlap, and the page is
// read up to its first NUL.
QByteArray GetGoogleLinks(QByteArrayView page);

// The links a bot takes in turn: the lines of GetGoogleLinks' text (a link
// that spanned a line break gives one entry per line), blank lines left out
// so that an empty text is never taken for a link.
std::deque<QByteArray> LinkLines(QByteArrayView links);

} // namespace harvester
