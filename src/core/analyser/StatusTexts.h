// The analyser's status-line messages: a fixed word, the decimal count and a
// fixed tail.
#pragma once

#include "analyser/ListEdits.h"

#include <QString>

namespace analyser {

QString LoadedProxiesText(qsizetype count);     // "Loaded N Proxies"
QString AddedProxyText();                       // "Added 1 Proxy"
QString ExtractedProxiesText(qsizetype count);  // "Extracted N Proxies From Clipboard"
QString DeletedProxiesText(qsizetype count);    // "Deleted N Proxies"
QString SortingListText();                      // "Sorting List"
QString RemovingDuplicatesText();               // "Removing Duplicates"
QString RemovedDuplicatesText(qsizetype count); // "Removed N Duplicates"
// "Deleted N Bad Proxies", "... Timeouts", "... Gateway Proxies", "... Unknown Proxies"
QString CleanedText(TCleaning cleaning, qsizetype count);
QString SavedProxiesText(qsizetype count); // "Saved N Proxies"

} // namespace analyser
