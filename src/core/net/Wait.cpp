#include "Wait.h"

#include "util/Limits.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimerEvent>

#include <limits>

namespace net {

namespace {
quint16 GDefaultInterval = 1000;
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
    End(false);
    Begin(false);
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
