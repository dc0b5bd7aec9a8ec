#include "BotDeadlines.h"

#include <algorithm>
#include <chrono>

namespace net {

namespace {

qint64 NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TBotDeadlines::TBotDeadlines(TExpired expired, QObject *parent)
    : QObject(parent), FExpired(std::move(expired))
{
    FSweep.setTimerType(Qt::CoarseTimer);
    connect(&FSweep, &QTimer::timeout, this, &TBotDeadlines::Sweep);
}

void TBotDeadlines::Start(int bots, qint64 requestMs, int connectMs, qint64 idleMs)
{
    Stop();
    FRequestMs = std::max<qint64>(requestMs, 1);
    FConnectMs = std::max(connectMs, 0);
    FIdleMs = std::max<qint64>(idleMs, 0);
    FDue.assign(size_t(std::max(bots, 0)), TDue());
    qint64 shortest = FRequestMs;
    if (FConnectMs > 0)
        shortest = std::min<qint64>(shortest, FConnectMs);
    if (FIdleMs > 0)
        shortest = std::min(shortest, FIdleMs);
    FSweep.start(int(std::clamp<qint64>(shortest / 20, 1, 50)));
}

void TBotDeadlines::Stop()
{
    FSweep.stop();
    FDue.clear();
}

void TBotDeadlines::Begin(int bot)
{
    if (bot < 0 || size_t(bot) >= FDue.size())
        return;
    const qint64 now = NowMs();
    FDue[size_t(bot)] = {now + FRequestMs, FConnectMs > 0 ? now + FConnectMs : 0,
                         FIdleMs > 0 ? now + FIdleMs : 0};
}

void TBotDeadlines::Connected(int bot)
{
    if (bot >= 0 && size_t(bot) < FDue.size())
        FDue[size_t(bot)].connect = 0;
}

void TBotDeadlines::Active(int bot)
{
    if (bot < 0 || size_t(bot) >= FDue.size())
        return;
    TDue &due = FDue[size_t(bot)];
    if (due.idle != 0)
        due.idle = NowMs() + FIdleMs;
}

void TBotDeadlines::Clear(int bot)
{
    if (bot >= 0 && size_t(bot) < FDue.size())
        FDue[size_t(bot)] = TDue();
}

void TBotDeadlines::Sweep()
{
    const qint64 now = NowMs();
    const auto due = [now](qint64 at) { return at != 0 && at <= now; };
    // The handler may stop the run (and so this), or start the bot's next
    // request: look at the list anew after each call.
    for (size_t b = 0; b < FDue.size(); ++b) {
        const TDue d = FDue[b];
        if (!due(d.request) && !due(d.connect) && !due(d.idle))
            continue;
        FDue[b] = TDue();
        FExpired(int(b));
    }
}

} // namespace net
