// The pace of a harvest's searches, shared by all its bots.
//
// A search engine blocks an address that asks too fast, and from then on the
// harvest finds nothing. So searches (never result pages) leave one at a time
// for the whole harvest, at most one per interval, and a refusal (an answer
// that says "too many requests", or a challenge page instead of results)
// holds every search back: for as long as the engine asked, else 30 s
// doubling up to 15 min, until a search brings links again. A bot whose turn
// has not come waits in line without a connection.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

namespace harvester {

// The longest back-off a refusal brings, whatever the engine asks for.
inline constexpr qint64 MaxRetryAfterMs = 3600 * 1000;
// The back-off of a refusal that names no time: the base, doubled with each
// further refusal up to the cap.
inline constexpr qint64 RefusalBackoffMs = 30 * 1000;
inline constexpr qint64 MaxRefusalBackoffMs = 15 * 60 * 1000;

// "Retry-After" of a response, as milliseconds from `now` (seconds, or an
// HTTP date), kept within 0 and MaxRetryAfterMs; none when absent or
// unreadable.
std::optional<qint64> RetryAfterMs(const QByteArrayList &header, const QDateTime &now);

// Whether a result page without links is an engine's challenge ("prove you
// are human") rather than an honest empty answer.
bool IsChallengePage(QByteArrayView page);

// How a search ended, as far as the pace is concerned.
enum class TSearchOutcome {
    Links,   // it brought result links: any back-off is over
    Nothing, // no links, no refusal (a failure, an empty answer)
    Refused, // the engine refused it
};

class TSearchPace : public QObject
{
    Q_OBJECT

public:
    explicit TSearchPace(QObject *parent = nullptr);

    // A new harvest: nobody waits, no back-off. `intervalMs` 0 lets every
    // search leave at once and side by side.
    void Reset(qint64 intervalMs);
    qint64 IntervalMs() const { return FIntervalMs; }
    // The back-off's base (RefusalBackoffMs unless set; tests shorten it).
    void SetBackoffBase(qint64 ms) { FBackoffBaseMs = ms; }

    // The bot wants to search: OnTurn(bot) is called when its turn has come,
    // at once (inside this call) when nothing holds it back.
    void Queue(int bot);
    // A search that left has ended. `refusal` names a refusal for the status
    // line; `retryAfterMs` is the engine's own wish, if it gave one.
    void Ended(TSearchOutcome outcome, const QString &refusal = {},
               std::optional<qint64> retryAfterMs = std::nullopt);
    // The bots waiting for their turn, taken out of the line (Abort).
    std::deque<int> TakeWaiting();
    // The back-off of the last refusal, 0 when none holds.
    qint64 BackoffMs() const { return FBackoffMs; }

    std::function<void(int bot)> OnTurn;
    std::function<void(const QString &text)> OnStatus;

private:
    void Pump();
    qint64 Now() const { return FClock.elapsed(); }

    QElapsedTimer FClock;
    QTimer FTimer;
    std::deque<int> FWaiting;
    qint64 FIntervalMs = 0;
    qint64 FBackoffBaseMs = RefusalBackoffMs;
    qint64 FBackoffMs = 0;
    int FRefusals = 0;  // in a row, since the last search with links
    int FInFlight = 0;  // searches that left and have not ended
    qint64 FNextMs = 0; // on FClock: no search leaves before this
    bool FHeld = false; // the next wait is a refusal's back-off
};

} // namespace harvester
