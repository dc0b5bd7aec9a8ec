// A loopback port that accepts connections (the kernel completes them) but
// never reads from them, so a sender fills its buffers and blocks; resetNext()
// then takes the oldest one and breaks it with a reset, as a peer that goes
// away in the middle of a request does.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace testsupport {

class SilentPort
{
public:
    SilentPort();
    ~SilentPort();
    SilentPort(const SilentPort &) = delete;
    SilentPort &operator=(const SilentPort &) = delete;

    quint16 port() const { return FPort; }
    QByteArray url(const QByteArray &Path = "/") const
    {
        return "http://127.0.0.1:" + QByteArray::number(FPort) + Path;
    }
    // Resets the oldest waiting connection; false when none is waiting.
    bool resetNext();

private:
    int FFd = -1;
    quint16 FPort = 0;
};

} // namespace testsupport
