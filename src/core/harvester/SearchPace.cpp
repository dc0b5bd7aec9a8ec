#include "harvester/SearchPace.h"

#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <array>

namespace harvester {

namespace {

// What the common engines write on the page they show instead of results
// when they want a person to prove that a person asks. Compared in lower case.
constexpr std::array<QByteArrayView, 5> ChallengeMarkers = {"captcha", "unusual traffic",
                                                            "our systems have detected",
                                                            "automated queries", "are not a robot"};

QString Seconds(qint64 ms)
{
    return QString::number((ms + 999) / 1000);
}

} // namespace

std::optional<qint64> RetryAfterMs(const QByteArrayList &header, const QDateTime &now)
{
    static constexpr QByteArrayView Name = "retry-after:";
    for (const QByteArray &line : header) {
        if (line.size() < Name.size() || line.first(Name.size()).toLower() != Name)
            continue;
        const QByteArray value = line.sliced(Name.size()).trimmed();
        bool number = false;
        const qint64 seconds = value.toLongLong(&number);
        qint64 ms = 0;
        if (number) {
            if (seconds < 0)
                return std::nullopt;
            ms = seconds > MaxRetryAfterMs / 1000 ? MaxRetryAfterMs : seconds * 1000;
        } else {
            // An HTTP date: "Wed, 21 Oct 2015 07:28:00 GMT".
            QDateTime when = QLocale::c().toDateTime(
                QString::fromLatin1(value), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
            if (!when.isValid())
                return std::nullopt;
            when = QDateTime(when.date(), when.time(), QTimeZone::utc());
            ms = now.msecsTo(when);
        }
        return std::clamp<qint64>(ms, 0, MaxRetryAfterMs);
    }
    return std::nullopt;
}

bool IsChallengePage(QByteArrayView page)
{
    // Challenge pages are small: the head of a big page says enough.
    const QByteArray lower =
        page.first(std::min<qsizetype>(page.size(), 1 << 20)).toByteArray().toLower();
    return std::any_of(ChallengeMarkers.begin(), ChallengeMarkers.end(),
                       [&lower](QByteArrayView marker) { return lower.contains(marker); });
}

TSearchPace::TSearchPace(QObject *parent) : QObject(parent)
{
    FClock.start();
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, &TSearchPace::Pump);
}

void TSearchPace::Reset(qint64 intervalMs)
{
    FTimer.stop();
    FWaiting.clear();
    FIntervalMs = std::max<qint64>(intervalMs, 0);
    FBackoffMs = 0;
    FRefusals = 0;
    FInFlight = 0;
    FNextMs = 0;
    FHeld = false;
}

void TSearchPace::Queue(int bot)
{
    FWaiting.push_back(bot);
    Pump();
}

void TSearchPace::Ended(TSearchOutcome outcome, const QString &refusal,
                        std::optional<qint64> retryAfterMs)
{
    FInFlight = std::max(FInFlight - 1, 0);
    if (outcome == TSearchOutcome::Links) {
        FRefusals = 0;
        FBackoffMs = 0;
    } else if (outcome == TSearchOutcome::Refused) {
        if (retryAfterMs) {
            FBackoffMs = *retryAfterMs;
        } else {
            // 30 s, 60 s, 120 s ... up to the cap.
            FBackoffMs = FBackoffBaseMs;
            for (int i = 0; i < FRefusals && FBackoffMs < MaxRefusalBackoffMs; ++i)
                FBackoffMs *= 2;
            FBackoffMs = std::min(FBackoffMs, MaxRefusalBackoffMs);
            ++FRefusals;
        }
        FNextMs = std::max(FNextMs, Now() + FBackoffMs);
        FHeld = true;
        FTimer.stop();
        if (OnStatus)
            OnStatus(QStringLiteral("Search engine refused (%1): next search in %2 s")
                         .arg(refusal, Seconds(FBackoffMs)));
    }
    Pump();
}

std::deque<int> TSearchPace::TakeWaiting()
{
    FTimer.stop();
    return std::exchange(FWaiting, {});
}

void TSearchPace::Pump()
{
    while (!FWaiting.empty()) {
        // One search at a time, unless the written pace was asked for.
        if (FIntervalMs > 0 && FInFlight > 0)
            return;
        const qint64 wait = FNextMs - Now();
        if (wait > 0) {
            if (!FTimer.isActive()) {
                FTimer.start(std::chrono::milliseconds(wait));
                if (!FHeld && OnStatus)
                    OnStatus(
                        QStringLiteral("Waiting %1 s for the search engine").arg(Seconds(wait)));
            }
            return;
        }
        FHeld = false;
        const int bot = FWaiting.front();
        FWaiting.pop_front();
        ++FInFlight;
        FNextMs = Now() + FIntervalMs;
        if (OnTurn)
            OnTurn(bot);
    }
}

} // namespace harvester
