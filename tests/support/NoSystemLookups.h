// No test looks a name up anywhere but on this machine. The test programs
// ask names of the loopback resolver only ("localhost" answers 127.0.0.1,
// other names fail at once as not found), and they replace the system's
// lookup functions themselves: a test that would still ask the system for a
// name fails, and the question is never sent.
#pragma once

namespace net {
class TLoopbackResolver;
}

namespace testsupport {

// Puts the loopback resolver in place for the whole program (test_main
// calls it first) and returns it, so that a test can see the names asked.
net::TLoopbackResolver &loopbackResolver();

} // namespace testsupport
