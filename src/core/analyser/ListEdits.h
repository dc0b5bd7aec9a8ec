// Removing records from the analyser's list: the selection, and the four
// cleanings by check result.
#pragma once

#include "analyser/ProxyItem.h"

#include <QtGlobal>

#include <vector>

namespace analyser {

// Removes the records at `rows` (ascending, each once); returns how many.
qsizetype DeleteRows(TAnalyserList &list, const std::vector<int> &rows);

enum class TCleaning {
    BadProxies, // State psBad
    Timeouts,   // State psTimeout
    Gateways,   // RemoteAddr not exactly Host: never checked, "Unknown" and gateways alike
    Unknowns,   // State psUnknown
};

// Removes every record the cleaning names, keeping the others in order;
// returns how many went.
qsizetype Clean(TAnalyserList &list, TCleaning cleaning);

} // namespace analyser
