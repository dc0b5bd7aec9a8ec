// Every bot holds one connection, hence one open file: before a run the
// soft open-file limit is raised as far as the bots need and the system
// allows, and a run gets fewer bots when it does not allow enough.
#pragma once

#include <QtGlobal>

namespace cli {

// Files the program keeps open besides the bots' connections (standard
// streams, the event loop, the list and result files, name lookups).
inline constexpr int SpareFiles = 64;

// The bots that fit in a limit of `limit` open files (at least 1).
int BotsWithin(quint64 limit, int bots);

struct TFileLimit
{
    int Bots = 0;      // the bots the run may start
    quint64 Limit = 0; // the open-file limit now
    bool Capped = false;
};

TFileLimit FitFileLimit(int bots);

} // namespace cli
