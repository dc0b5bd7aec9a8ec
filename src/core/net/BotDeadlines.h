// The time limits of many bots' requests, kept by one coarse sweep: a request
// must end within the request timeout, must have its connection within the
// connect timeout (when there is one) and must not go longer than the idle
// timeout without data (when there is one), else its bot is told at once.
//
// One timer serves every bot (a twentieth of the shortest timeout apart, at
// most 50 ms), so that tens of thousands of requests cost no timer registration
// each: a Qt timer per bot costs a walk over every other timer whenever one
// starts or stops. A time-out comes at most one sweep late.
#pragma once

#include <QObject>
#include <QTimer>
#include <QtGlobal>

#include <functional>
#include <vector>

namespace net {

class TBotDeadlines : public QObject
{
    Q_OBJECT

public:
    // Called with the bot whose request ran out of time (its limits are
    // cleared first).
    using TExpired = std::function<void(int bot)>;

    explicit TBotDeadlines(TExpired expired, QObject *parent = nullptr);

    // A run with `bots` bots: each request ends within requestMs (above 0),
    // has its connection within connectMs and goes without data no longer
    // than idleMs (0: no such limit).
    void Start(int bots, qint64 requestMs, int connectMs, qint64 idleMs = 0);
    void Stop();
    bool ConnectLimited() const { return FConnectMs > 0; }

    // A request of the bot begins: every limit runs from now.
    void Begin(int bot);
    // The bot's connection is up: the connect limit is met.
    void Connected(int bot);
    // Data came for the bot's request: the idle limit runs from now again;
    // the request's limit runs on.
    void Active(int bot);
    // The bot's request ended (or was ended): no limit runs.
    void Clear(int bot);

private:
    void Sweep();

    struct TDue
    {
        qint64 request = 0; // steady-clock ms; 0: nothing due
        qint64 connect = 0;
        qint64 idle = 0;
    };

    TExpired FExpired;
    QTimer FSweep;
    qint64 FRequestMs = 0;
    int FConnectMs = 0;
    qint64 FIdleMs = 0;
    std::vector<TDue> FDue;
};

} // namespace net
