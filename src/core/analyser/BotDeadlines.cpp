#include "BotDeadlines.h"

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

TBotDeadlines::TBotDeadlines(TExpired expired, QObject *parent)
    : QObject(parent), FExpired(std::move(expired))
{
    FSweep.setTimerType(Qt::CoarseTimer);
    connect(&FSweep, &QTimer::timeout, this, &TBotDeadlines::Sweep);
}

void TBotDeadlines::Start(int bots, qint64 requestMs, int connectMs)
{
    Stop();
    FRequestMs = std::max<qint64>(requestMs, 1);
    FConnectMs = std::max(connectMs, 0);
    FDue.assign(size_t(std::max(bots, 0)), TDue());
    const qint64 shortest = FConnectMs > 0 ? std::min<qint64>(FConnectMs, FRequestMs) : FRequestMs;
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
    FDue[size_t(bot)] = {now + FRequestMs, FConnectMs > 0 ? now + FConnectMs : 0};
}

void TBotDeadlines::Connected(int bot)
{
    if (bot >= 0 && size_t(bot) < FDue.size())
        FDue[size_t(bot)].connect = 0;
}

void TBotDeadlines::Clear(int bot)
{
    if (bot >= 0 && size_t(bot) < FDue.size())
        FDue[size_t(bot)] = TDue();
}

void TBotDeadlines::Sweep()
{
    const qint64 now = NowMs();
    // The handler may stop the run (and so this), or start the bot's next
    // request: look at the list anew after each call.
    for (size_t b = 0; b < FDue.size(); ++b) {
        const TDue due = FDue[b];
        const bool late =
            (due.request != 0 && due.request <= now) || (due.connect != 0 && due.connect <= now);
        if (!late)
            continue;
        FDue[b] = TDue();
        FExpired(int(b));
    }
}

} // namespace analyser
