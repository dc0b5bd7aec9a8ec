// The analyser's run state: one set for the analyser window, shared by the
// window (its retry commands set a mode, the main window's verification
// clears the timeout total) and the check run that works through the list.
#pragma once

namespace analyser {

struct TCheckRunState
{
    // Index of the next list entry to hand to a bot; 0 at the start of a run.
    int NextEntry = 0;
    // The run is ending: set by Abort, or by the first bot that finds no
    // entry left.
    bool StopRequested = false;
    // The run's totals; 0 at the start of a run.
    int GoodCount = 0;
    int BadCount = 0;
    int TimeoutCount = 0;
    int RetryCount = 0;
    // Set by the retry commands before they start a run, which then checks
    // only the entries of that state; all three are cleared when a run ends.
    // With more than one set, the first of bad, timeouts, unknown applies.
    bool RetryBadMode = false;
    bool RetryTimeoutMode = false;
    bool RetryUnknownMode = false;
};

} // namespace analyser
