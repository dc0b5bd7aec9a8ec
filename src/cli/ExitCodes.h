// What vexo-cli's exit status tells a script.
#pragma once

namespace cli {

enum TExitCode : int {
    ExitDone = 0,        // the run went through
    ExitBadInput = 1,    // bad arguments, or a file that cannot be read or written
    ExitInterrupted = 2, // stopped by SIGINT, SIGTERM or SIGHUP
    ExitNothing = 3,     // nothing found: no proxy, no good proxy, no good site
};

} // namespace cli
