// The file step at the end of every run: duplicate removal and Proxies.txt.
#pragma once

#include "lists/ListSort.h"
#include "lists/Records.h"

#include <QString>

#include <functional>
#include <optional>

namespace leecher {

struct TEndOfRunResult
{
    // False when the proxy list was empty: nothing was done at all.
    bool Ran = false;
    // The list was sorted ascending by port then host and its duplicates
    // removed; the proxy view's sort flag becomes "ascending" and the view's
    // count must be refreshed.
    bool Sorted = false;
    qsizetype Removed = 0;
    // Proxies.txt was rewritten.
    bool Written = false;
};

using TStatusSink = std::function<void(const QString &)>;

// Removes duplicates (option `dupes`): `status` receives "Sorting List", then
// "Removing Duplicates", then "Removed N Duplicates"; entries are equal when
// Host and Port text and the type are equal (80 and 080 differ). Then, with
// `writeFile`, rewrites Proxies.txt in `folder` with the whole list in its
// current order. Afterwards the caller shows the list's count.
//
// Raises EFileError when Proxies.txt cannot be written; the list has then
// already been cleaned (Sorted/Removed are lost with the exception, so callers
// refresh their view in any case) and the old file is left as it was.
TEndOfRunResult EndOfRunFileStep(TProxyList &list, const QString &folder, bool dupes,
                                 bool writeFile, const TStatusSink &status = {});

// The same, reading `list` only: when Sorted is set, `cleaned` holds the
// cleaned list for the caller to put in place, else it is left alone. On
// EFileError `cleaned` may already hold it.
TEndOfRunResult EndOfRunFileStep(const TProxyList &list, std::optional<TCleanedProxies> &cleaned,
                                 const QString &folder, bool dupes, bool writeFile,
                                 const TStatusSink &status = {});

// Removes every entry equal to the entry just before it; returns how many.
qsizetype RemoveAdjacentDuplicates(TProxyList &list);

QString RemovedDuplicatesText(qsizetype count); // "Removed N Duplicates"

} // namespace leecher
