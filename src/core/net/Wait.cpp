#include "Wait.h"

#include "util/Limits.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimerEvent>

#include <chrono>
#include <limits>

namespace net {

namespace {
quint16 GDefaultInterval = 1000;

qint64 NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

quint16 TWait::DefaultInterval()
{
    return GDefaultInterval;
}

void TWait::SetDefaultInterval(quint16 Milliseconds)
{
    GDefaultInterval = Milliseconds;
}

TWait::TWait(QObject *Owner)
    : QObject(Owner), FCaption(QStringLiteral("60")), FInterval(GDefaultInterval)
{
}

TWait::~TWait()
{
    SetTimer(false);
}

qint32 TWait::ReadCount(const QString &Text)
{
    qsizetype I = 0;
    while (I < Text.size() && Text[I] == QLatin1Char(' '))
        ++I;
    qint64 Value = 0;
    for (; I < Text.size() && Text[I] >= QLatin1Char('0') && Text[I] <= QLatin1Char('9'); ++I) {
        // Absurdly long numbers stop at the largest count rather than wrap.
        Value = Value * 10 + (Text[I].unicode() - '0');
        if (Value > std::numeric_limits<qint32>::max())
            return std::numeric_limits<qint32>::max();
    }
    return qint32(Value);
}

void TWait::SetTimer(bool On)
{
    FRestartedAt = -1;
    FCatchingUp = false;
    if (FTimerId != 0) {
        killTimer(FTimerId);
        FTimerId = 0;
    }
    if (On)
        FTimerId = startTimer(FInterval == 0 ? 1 : FInterval);
}

void TWait::SetInterval(quint16 Value)
{
    FInterval = Value;
    if (Running())
        SetTimer(true);
}

void TWait::SetRequestDeadline(qint64 Override)
{
    const qint32 Count = ReadCount(FCaption);
    SetDeadline(Override > 0 ? Override : limits::RequestDeadlineMs(Count == 0 ? 15 : Count));
}

void TWait::SetDeadlineTimer(bool On)
{
    if (FDeadlineId != 0) {
        killTimer(FDeadlineId);
        FDeadlineId = 0;
    }
    // Qt's timers take an int of milliseconds: a longer deadline is as good
    // as none.
    if (On && FDeadline > 0 && FDeadline <= std::numeric_limits<int>::max())
        FDeadlineId = startTimer(int(FDeadline));
}

void TWait::Begin(bool NewDeadline)
{
    FInitialCount = ReadCount(FCaption);
    if (FInitialCount == 0) {
        FInitialCount = 15;
        FCaption = QStringLiteral("15");
    }
    SetTimer(true);
    if (NewDeadline)
        SetDeadlineTimer(true);
    if (OnWaitStart)
        OnWaitStart(this);
}

void TWait::End(bool EndDeadline)
{
    FModalResult = 1;
    SetTimer(false);
    if (EndDeadline)
        SetDeadlineTimer(false);
    FCaption = QString::number(FInitialCount);
    if (OnWaitStop)
        OnWaitStop(this);
}

void TWait::Start()
{
    Begin(true);
}

void TWait::Stop()
{
    End(true);
}

void TWait::Restart()
{
    if (!Running() || OnWaitStop || OnWaitStart) {
        End(false);
        Begin(false);
        return;
    }
    // The same as End and Begin without handlers, but the ticking timer is
    // left as it is: a run restarts the countdown with every piece of data,
    // and re-registering a timer each time costs more than the piece. The
    // next tick puts itself off to a whole period after this (timerEvent).
    FModalResult = 1;
    if (ReadCount(FCaption) != FInitialCount)
        FCaption = QString::number(FInitialCount);
    FRestartedAt = NowMs();
}

qint32 TWait::RunModal()
{
    QPointer<TWait> Self(this);
    Start();
    while (Self && Running()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents |
                                        QEventLoop::ExcludeUserInputEvents);
        if (Self && OnWaiting)
            OnWaiting(this);
    }
    return Self ? FModalResult : 0;
}

void TWait::timerEvent(QTimerEvent *Event)
{
    if (Event->timerId() == FDeadlineId && FDeadlineId != 0) {
        Expire();
        return;
    }
    if (Event->timerId() != FTimerId) {
        QObject::timerEvent(Event);
        return;
    }
    const quint16 Period = FInterval == 0 ? 1 : FInterval;
    if (FRestartedAt >= 0) {
        // Restarted since the last tick: the countdown's next tick is due a
        // period after the restart, not now.
        const qint64 Due = FRestartedAt + Period - NowMs();
        if (Due > 0) {
            killTimer(FTimerId);
            FTimerId = startTimer(int(Due));
            FRestartedAt = -1;
            FCatchingUp = true;
            return;
        }
        FRestartedAt = -1;
    }
    if (FCatchingUp) {
        // The shortened period has run: back to whole periods from here.
        killTimer(FTimerId);
        FTimerId = startTimer(Period);
        FCatchingUp = false;
    }
    const qint32 Count = ReadCount(FCaption) - 1;
    if (OnWait) {
        QPointer<TWait> Self(this);
        OnWait(this, Count);
        if (!Self || !Running())
            return;
    }
    if (Count > 0) {
        FCaption = QString::number(Count);
        return;
    }
    Expire();
}

void TWait::Expire()
{
    SetTimer(false);
    SetDeadlineTimer(false);
    FCaption = QString::number(FInitialCount);
    FModalResult = 2;
    // The handler may free this timer (with its owner): nothing after it.
    if (OnTimeout)
        OnTimeout(this);
}

} // namespace net
