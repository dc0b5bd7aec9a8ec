// The pool checked again every so often with the check run (the engine of
// the analyser and of vexo-cli check), and its good proxies swapped in. The
// requests and tunnels under way keep their upstreams; an upstream that stays
// keeps its counts.
#pragma once

#include "Pool.h"

#include "analyser/CheckRun.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace gateway {

// At most this many proxies are checked at once: each costs a descriptor
// the gateway's clients may need.
inline constexpr int RecheckBots = 256;

class TRecheck : public QObject
{
    Q_OBJECT

public:
    // `list` is what the pool file held: every entry of it is checked again.
    TRecheck(TPool &pool, analyser::TAnalyserList list, analyser::TCheckInputValues inputs,
             QObject *parent = nullptr);
    ~TRecheck() override;

    // Re-checks every `intervalMs` from now on.
    void Start(int intervalMs);
    // Checks now, unless a check is under way; false then.
    bool CheckNow();
    bool IsChecking() const { return FRun != nullptr; }
    void SetWaitInterval(quint16 ms) { FWaitInterval = ms; }

Q_SIGNALS:
    // A check ended and its good proxies are the pool now.
    void swapped(int good, int checked);

private:
    void Finished();

    TPool &FPool;
    const analyser::TAnalyserList FSource;
    analyser::TAnalyserList FList;
    analyser::TCheckRunState FState;
    analyser::TCheckInputValues FInputs;
    std::unique_ptr<analyser::TCheckRun> FRun;
    QTimer FTimer;
    quint16 FWaitInterval = 0;
};

} // namespace gateway
