// A timer with the semantics the automation relies on: enabling a disabled
// timer starts its period from that moment; setting a different interval
// restarts the period when the timer is on; setting the interval it already
// has changes nothing; an interval of 0 (or less) never fires.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace util {

class TPeriodTimer : public QObject
{
    Q_OBJECT
public:
    explicit TPeriodTimer(int interval = 1000, QObject *parent = nullptr);

    int Interval() const { return FInterval; }
    void SetInterval(int interval);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    // Whether a period is counting now (enabled with an interval above 0).
    bool Counting() const { return FTimer.isActive(); }

    std::function<void(TPeriodTimer *sender)> OnTimer;

private:
    void Restart();

    QTimer FTimer;
    int FInterval;
    bool FEnabled = false;
};

} // namespace util
