// How an analyser row and a history record turn into each other.
#pragma once

#include "analyser/ProxyItem.h"
#include "history/HistoryDb.h"

namespace history {

// True when the row's check has ended (it is not waiting or under way).
bool CheckEnded(const analyser::TProxyItem &item);

// The history record of a row whose check has ended.
TCheckRecord RecordOf(const analyser::TProxyItem &item);

// A row as the history last saw the proxy: its last check and its figures.
analyser::TProxyItem ItemOf(const TProxyHistory &history);

} // namespace history
