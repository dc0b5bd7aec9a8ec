// Ordering the analyser's list: the column sorts of its view and the
// duplicate removal.
#pragma once

#include "analyser/ProxyItem.h"

#include <QtGlobal>

#include <functional>

namespace analyser {

// The view's columns, in order.
enum TAnalyserColumn : int {
    colHost = 0,
    colPort = 1,
    colStatus = 2,
    colRemoteAddr = 3,
    colAnonymous = 4,
    colLevel = 5,
    colSpeed = 6,
    colType = 7,
    colCountry = 8,   // the country's code
    colNetwork = 9,   // AS number and owner
    colUptime = 10,   // good checks over checks in the history
    colLastGood = 11, // the last good check in the history
    AnalyserColumnCount = 12,
};

// The last sort column and direction, kept while the program runs: no
// column and ascending at start.
struct TAnalyserSortState
{
    int Column = -1;
    bool Ascending = true;

    // The same column again inverts the direction; another column keeps it.
    void Click(int column)
    {
        if (column == Column)
            Ascending = !Ascending;
        Column = column;
    }
};

// Sorts by one column: the text columns byte by byte (case-sensitive, a
// prefix first), Port by its decimal value, Speed by its value with empty
// speeds last in both directions, Type by its name, Country by its code,
// Network by its AS number, Uptime by its share and Last good by its time,
// rows with nothing known in these last in both directions. Port and speed texts that are not
// numbers sort after every number (before them when descending). Records that compare equal keep
// their order. Another column leaves the list as it is.
void SortAnalyserList(TAnalyserList &list, int column, bool ascending);

// Sorts ascending by port value, then Host bytes, then Port text (so that
// "80" and "080" never interleave), calls `sorted` (if set), then removes
// every record whose Host and Port equal those of the record before it, so
// the first of each run of equal records stays (the earliest in list order).
// Returns the number removed.
qsizetype RemoveDuplicates(TAnalyserList &list, const std::function<void()> &sorted = {});

} // namespace analyser
