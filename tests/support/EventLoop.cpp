#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace testsupport {

bool waitUntil(const std::function<bool()> &Condition, int TimeoutMs)
{
    QElapsedTimer Clock;
    Clock.start();
    QTimer Wake; // keeps WaitForMoreEvents from sleeping past the deadline
    Wake.start(2);
    while (!Condition()) {
        if (Clock.elapsed() > TimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void spinFor(int Ms)
{
    QElapsedTimer Clock;
    Clock.start();
    waitUntil([&] { return Clock.elapsed() >= Ms; }, Ms + 1000);
}

void drainPosted()
{
    for (int I = 0; I < 5; ++I) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

} // namespace testsupport
