#include "StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace util {

namespace {

// A signal handler may do almost nothing: it writes one byte into this
// pair, whose other end the event loop watches.
int Pair[2] = {-1, -1};

extern "C" void OnStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(Pair[0], &byte, 1);
    errno = saved;
}

void SetAction(void (*handler)(int))
{
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : TStopSignals::Signals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace

const int TStopSignals::Signals[3] = {SIGTERM, SIGINT, SIGHUP};

TStopSignals::TStopSignals(int taken, QObject *parent) : QObject(parent), FTaken(taken)
{
    if (Pair[0] >= 0 || FTaken < 1)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, Pair) != 0) {
        Pair[0] = Pair[1] = -1;
        return; // the signals keep their default action
    }
    FNotifier = new QSocketNotifier(Pair[1], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TStopSignals::Arrived);
    SetAction(OnStopSignal);
}

TStopSignals::~TStopSignals()
{
    if (!FNotifier)
        return;
    SetAction(SIG_DFL);
    delete FNotifier;
    ::close(Pair[0]);
    ::close(Pair[1]);
    Pair[0] = Pair[1] = -1;
}

void TStopSignals::Arrived()
{
    char bytes[16];
    ssize_t n = 0;
    int arrived = 0;
    while ((n = ::read(Pair[1], bytes, sizeof bytes)) > 0)
        arrived += int(n);
    for (int i = 0; i < arrived && FCount < FTaken; ++i) {
        ++FCount;
        if (FCount == FTaken)
            SetAction(SIG_DFL);
        Q_EMIT stopAsked(FCount);
    }
}

} // namespace util
