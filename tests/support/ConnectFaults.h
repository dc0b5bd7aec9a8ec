// The system's connect(), replaced in the test programs that use this: while
// a ConnectFaults is alive, connections to its port fail at once with the
// errno it names, as the kernel fails them when every local port is taken,
// and every other connection goes through as usual.
#pragma once

#include <QtGlobal>

namespace testsupport {

class ConnectFaults
{
public:
    // The next `Failures` connects to 127.0.0.1:Port fail; -1: every one.
    ConnectFaults(quint16 Port, int Failures, int Errno);
    ~ConnectFaults();
    ConnectFaults(const ConnectFaults &) = delete;
    ConnectFaults &operator=(const ConnectFaults &) = delete;

    // Connects to the port failed so far.
    int failed() const;
};

} // namespace testsupport
