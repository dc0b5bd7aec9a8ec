#include "ConnectDeadlines.h"

#include <algorithm>
#include <chrono>

namespace analyser {

namespace {

qint64 NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TConnectDeadlines::TConnectDeadlines(TExpired expired, QObject *parent)
    : QObject(parent), FExpired(std::move(expired))
{
    FSweep.setTimerType(Qt::CoarseTimer);
    connect(&FSweep, &QTimer::timeout, this, &TConnectDeadlines::Sweep);
}

void TConnectDeadlines::Start(int bots, int timeoutMs)
{
    Stop();
    FTimeoutMs = std::max(timeoutMs, 0);
    if (FTimeoutMs == 0)
        return;
    FDue.assign(size_t(std::max(bots, 0)), 0);
    FSweep.start(std::clamp(FTimeoutMs / 10, 1, 100));
}

void TConnectDeadlines::Stop()
{
    FSweep.stop();
    FTimeoutMs = 0;
    FDue.clear();
}

void TConnectDeadlines::Begin(int bot)
{
    if (FTimeoutMs > 0 && bot >= 0 && size_t(bot) < FDue.size())
        FDue[size_t(bot)] = NowMs() + FTimeoutMs;
}

void TConnectDeadlines::Clear(int bot)
{
    if (bot >= 0 && size_t(bot) < FDue.size())
        FDue[size_t(bot)] = 0;
}

void TConnectDeadlines::Sweep()
{
    const qint64 now = NowMs();
    // The handler may stop the run (and so this): look at the list anew
    // after each call.
    for (size_t b = 0; b < FDue.size(); ++b) {
        if (FDue[b] == 0 || FDue[b] > now)
            continue;
        FDue[b] = 0;
        FExpired(int(b));
    }
}

} // namespace analyser
