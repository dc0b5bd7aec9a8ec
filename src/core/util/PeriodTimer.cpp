#include "PeriodTimer.h"

namespace util {

TPeriodTimer::TPeriodTimer(int interval, QObject *parent) : QObject(parent), FInterval(interval)
{
    connect(&FTimer, &QTimer::timeout, this, [this] {
        if (OnTimer)
            OnTimer(this);
    });
}

void TPeriodTimer::Restart()
{
    FTimer.stop();
    if (FEnabled && FInterval > 0)
        FTimer.start(FInterval);
}

void TPeriodTimer::SetInterval(int interval)
{
    if (interval == FInterval)
        return;
    FInterval = interval;
    Restart();
}

void TPeriodTimer::SetEnabled(bool enabled)
{
    if (enabled == FEnabled)
        return;
    FEnabled = enabled;
    Restart();
}

} // namespace util
