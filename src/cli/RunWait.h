// Waits for one run object to finish while the stop signals and a time
// limit may end it early: the first signal (or the time limit) asks the run
// to stop in order, the second stops it at once.
#pragma once

#include "Progress.h"
#include "util/StopSignals.h"

#include <QEventLoop>
#include <QString>

#include <functional>

namespace cli {

class TRunWait
{
public:
    // `abort` asks the run to stop in order; `shutdown` stops it at once.
    TRunWait(TProgress &progress, std::function<void()> abort, std::function<void()> shutdown);

    // The run has finished (connect its finished signal here).
    void Finished() { FLoop.quit(); }
    // Asks the run to stop in order after `ms`, saying `message`.
    void StopAfter(qint64 ms, const QString &message);
    // Runs the event loop while `running` says the run is active.
    void Exec(const std::function<bool()> &running);

    // A stop signal came; the second one stopped the run at once.
    bool Interrupted() const { return FSignals.Count() > 0; }
    bool Forced() const { return FForced; }

private:
    TProgress &FProgress;
    std::function<void()> FAbort;
    std::function<void()> FShutdown;
    util::TStopSignals FSignals{2}; // the first stops in order, the second at once
    QEventLoop FLoop;
    bool FForced = false;
};

} // namespace cli
