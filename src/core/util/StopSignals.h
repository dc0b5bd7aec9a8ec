// The system's requests to end (SIGTERM at logout or from `kill`, SIGINT from
// Ctrl+C in a terminal, SIGHUP when the terminal goes), delivered through the
// event loop so that a front end can stop in order: each signal is counted
// and reported by stopAsked. After `taken` signals the default action is
// back, the way out of a stop that hangs.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace util {

class TStopSignals : public QObject
{
    Q_OBJECT

public:
    // One watcher at a time per program; a second one watches nothing.
    explicit TStopSignals(int taken, QObject *parent = nullptr);
    ~TStopSignals() override; // gives the signals their default action back

    // How many signals have come.
    int Count() const { return FCount; }

    static const int Signals[3];

Q_SIGNALS:
    // 1 for the first signal, 2 for the second, ... up to `taken`.
    void stopAsked(int count);

private:
    void Arrived();

    QSocketNotifier *FNotifier = nullptr;
    int FTaken;
    int FCount = 0;
};

} // namespace util
