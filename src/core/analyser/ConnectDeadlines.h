// A connect timeout for many bots at once: each bot's request must have its
// connection to the proxy within the time, else it ends as a time-out at
// once, whatever the idle timeout says.
//
// One coarse sweep timer serves every bot (a tenth of the timeout, at most
// 100 ms apart), so that tens of thousands of requests cost no timer
// registration each; a time-out comes at most one sweep late.
#pragma once

#include <QObject>
#include <QTimer>
#include <QtGlobal>

#include <functional>
#include <vector>

namespace analyser {

class TConnectDeadlines : public QObject
{
    Q_OBJECT

public:
    // Called with the bot whose connection did not come in time (its
    // deadline is cleared first).
    using TExpired = std::function<void(int bot)>;

    explicit TConnectDeadlines(TExpired expired, QObject *parent = nullptr);

    // A run with `bots` bots and this timeout; 0 ms: none (every call below
    // does nothing then).
    void Start(int bots, int timeoutMs);
    void Stop();
    bool Active() const { return FTimeoutMs > 0; }

    // A request of the bot begins: its connection is due within the timeout.
    void Begin(int bot);
    // The bot's connection is up, or its request ended.
    void Clear(int bot);

private:
    void Sweep();

    TExpired FExpired;
    QTimer FSweep;
    int FTimeoutMs = 0;
    std::vector<qint64> FDue; // steady-clock ms; 0: nothing due
};

} // namespace analyser
