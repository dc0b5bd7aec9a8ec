// A countdown in whole seconds that raises OnTimeout when it runs out.
//
// The runs create one per HTTP client (owned by that client), start it with
// each request, stop it when the request completes and abort the client when
// it times out; the timer itself only raises its events. It is never shown.
//
// The countdown measures time without data when a run restarts it with every
// piece; a deadline, when set, bounds the whole request however often the
// countdown is restarted, and runs out through the same OnTimeout.
#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <functional>

namespace net {

class TWait : public QObject
{
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TWait *Sender)>;
    using TWaitEvent = std::function<void(TWait *Sender, qint32 Count)>;

    explicit TWait(QObject *Owner = nullptr);
    ~TWait() override;

    // The seconds left as decimal text; "60" at creation.
    const QString &Caption() const { return FCaption; }
    void SetCaption(const QString &Value) { FCaption = Value; }
    // 1 after Stop, 2 after a time-out, 0 before either.
    qint32 ModalResult() const { return FModalResult; }
    void SetModalResult(qint32 Value) { FModalResult = Value; }
    // Tick period in milliseconds; new timers take DefaultInterval().
    quint16 Interval() const { return FInterval; }
    void SetInterval(quint16 Value);
    bool Running() const { return FTimerId != 0; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value) { FVisible = Value; }
    qintptr Tag() const { return FTag; }
    void SetTag(qintptr Value) { FTag = Value; }
    // Milliseconds from Start that the timer runs out at the latest, whatever
    // Restart does meanwhile; 0 (the default) for none. Applies from the
    // next Start.
    qint64 Deadline() const { return FDeadline; }
    void SetDeadline(qint64 Milliseconds) { FDeadline = std::max<qint64>(Milliseconds, 0); }
    // The deadline of a run's request for the timeout that Caption holds:
    // ten times it and at least 30 s (util/Limits.h), or `Override` when
    // that is above 0 (tests shorten it).
    void SetRequestDeadline(qint64 Override = 0);

    // Tick period given to every timer created from now on (1000 unless set).
    // Tests shorten it so that a count of seconds passes in milliseconds.
    static quint16 DefaultInterval();
    static void SetDefaultInterval(quint16 Milliseconds);

    // Reads the initial count from Caption (0 or no leading digits: 15) and
    // starts ticking.
    void Start();
    // Stops ticking and shows the initial count again.
    void Stop();
    // Stop and Start for the same request: the countdown begins anew while
    // the deadline that Start began keeps running.
    void Restart();
    // Starts and then runs the event loop until the timer stops; returns
    // ModalResult. User input is not processed meanwhile.
    qint32 RunModal();

    // The number that Caption-like text starts with: leading spaces skipped,
    // then decimal digits up to the first other character; 0 when there are
    // none.
    static qint32 ReadCount(const QString &Text);

    TWaitEvent OnWait;
    TNotifyEvent OnWaiting;
    TNotifyEvent OnWaitStart;
    TNotifyEvent OnWaitStop;
    TNotifyEvent OnTimeout;

protected:
    void timerEvent(QTimerEvent *Event) override;

private:
    void SetTimer(bool On);
    void SetDeadlineTimer(bool On);
    void Begin(bool NewDeadline);
    void End(bool EndDeadline);
    void Expire();

    QString FCaption;
    qint32 FModalResult = 0;
    quint16 FInterval;
    bool FVisible = false;
    qintptr FTag = 0;
    qint32 FInitialCount = 60;
    int FTimerId = 0;
    qint64 FDeadline = 0;
    int FDeadlineId = 0;
    // A Restart since the last tick: when it happened (steady clock, ms), so
    // that the next tick can be put off to a whole period after it without
    // re-registering the timer at every Restart.
    qint64 FRestartedAt = -1;
    bool FCatchingUp = false; // the timer runs the shortened period once
};

} // namespace net
