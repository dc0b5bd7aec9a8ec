// SIGINT (Ctrl-C), SIGTERM and SIGHUP during a run. The first asks the run
// to stop as its abort button does: requests under way end and are
// recorded, files are written. The second asks it to stop at once. After
// that a signal has its default effect again, the way out of a stop that
// hangs.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace cli {

class TStopSignals : public QObject
{
    Q_OBJECT

public:
    // One watcher at a time per program.
    explicit TStopSignals(QObject *parent = nullptr);
    ~TStopSignals() override; // gives the signals their default action back

    // How many signals have come.
    int Count() const { return FCount; }

Q_SIGNALS:
    // 1: stop in order; 2: stop at once.
    void stopAsked(int count);

private:
    void Arrived();

    QSocketNotifier *FNotifier = nullptr;
    int FCount = 0;
};

} // namespace cli
