#include "CloseOnSignal.h"

#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace gui {

namespace {

// A signal handler may do almost nothing; it writes one byte into this pair,
// whose other end the event loop watches.
int Pair[2] = {-1, -1};

extern "C" void OnSignal(int)
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
    for (int signal : TCloseOnSignal::Signals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace

const int TCloseOnSignal::Signals[3] = {SIGTERM, SIGINT, SIGHUP};

TCloseOnSignal::TCloseOnSignal(QObject *parent) : QObject(parent)
{
    if (Pair[0] >= 0)
        return; // another watcher is active; there is one per program
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, Pair) != 0) {
        Pair[0] = Pair[1] = -1;
        return; // the signals keep their default action
    }
    FNotifier = new QSocketNotifier(Pair[1], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TCloseOnSignal::SignalArrived);
    SetAction(OnSignal);
}

TCloseOnSignal::~TCloseOnSignal()
{
    if (!FNotifier)
        return;
    SetAction(SIG_DFL);
    delete FNotifier;
    ::close(Pair[0]);
    ::close(Pair[1]);
    Pair[0] = Pair[1] = -1;
}

void TCloseOnSignal::SetWindow(QWidget *window)
{
    FWindow = window;
    if (FPending && FWindow) {
        FPending = false;
        // Once the program runs its message loop, as a signal would be seen.
        QMetaObject::invokeMethod(FWindow, &QWidget::close, Qt::QueuedConnection);
    }
}

void TCloseOnSignal::SignalArrived()
{
    char bytes[16];
    while (::read(Pair[1], bytes, sizeof bytes) > 0) {
    }
    // From now on a signal ends the program at once: the way out when the
    // close itself hangs, say on an error box nobody answers.
    SetAction(SIG_DFL);
    if (FWindow)
        FWindow->close();
    else
        FPending = true;
}

} // namespace gui
