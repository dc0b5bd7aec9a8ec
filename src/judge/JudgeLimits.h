// What a client of the judge can make it hold or wait for: the limits every
// server of Vexo keeps (server/ServerLimits.h), and the size of the page.
#pragma once

#include "server/ServerLimits.h"

namespace judge {

using server::ListenBacklog;
using server::MaxConnections;
using server::MaxHeaderBytes;
using server::MaxHeaderLines;
using server::MaxLingerBytes;
using server::PerSourceShare;

// The page answered to one request, twice the largest request: escaping
// makes a byte of a header up to six on the page, and a request that would
// grow past this gets 431 instead.
inline constexpr qsizetype MaxPageBytes = 2 * MaxHeaderBytes;

struct TJudgeLimits : server::TServerLimits
{
    qsizetype PageBytes = MaxPageBytes;
};

} // namespace judge
