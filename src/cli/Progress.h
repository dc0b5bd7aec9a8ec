// Progress of a vexo-cli run on standard error: on a terminal one live line
// with the counts, the rate and the time left; otherwise the run's status
// texts as the window's status line shows them, at most one line a second
// during the run; nothing with --quiet. What the run says from "Finished"
// on, and the command's own messages, are always lines of their own. Texts
// may hold a peer's bytes: their control bytes are shown escaped.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdio>
#include <functional>

class QTimer;

namespace cli {

enum class TProgressMode { Quiet, Plain, Live };

// Live when standard error is a terminal that can redraw a line.
TProgressMode ProgressModeFor(bool quiet);

struct TProgressCounts
{
    qint64 Done = 0;
    qint64 Total = 0; // 0: no end is known (a harvest)
    QString Detail;   // the run's own counts, as "good 3  bad 5"
};

// The live line for these counts after `elapsedMs` of a run that may end
// after `durationMs` (0: none), cut to `width` characters.
QString LiveLine(const TProgressCounts &counts, qint64 elapsedMs, qint64 durationMs, int width);

// "m:ss", or "h:mm:ss" from an hour on.
QString ClockText(qint64 ms);

class TProgress : public QObject
{
    Q_OBJECT

public:
    TProgress(TProgressMode mode, std::FILE *out, QObject *parent = nullptr);
    ~TProgress() override;

    // Asked for the counts whenever the live line is drawn.
    void SetSource(std::function<TProgressCounts()> source) { FSource = std::move(source); }
    // A harvest ends after this long: the live line counts down to it.
    void SetDuration(qint64 ms) { FDurationMs = ms; }
    void Start();
    // A status text of the run.
    void Status(const QString &text);
    // A message of the command's own: a line at once (nothing when quiet).
    void Say(const QString &text);
    // The run is over: the live line goes, a status text still held back is
    // printed, then `summary`.
    void Finish(const QString &summary);

private:
    void Line(const QString &text);
    void Redraw();
    void ClearLive();
    void PrintPending();

    TProgressMode FMode;
    std::FILE *FOut;
    std::function<TProgressCounts()> FSource;
    qint64 FDurationMs = 0;
    QElapsedTimer FClock;
    QTimer *FTimer = nullptr;
    bool FLiveShown = false;
    bool FEnded = false; // the run said "Finished"
    QString FPending;
    qint64 FLastLineMs = -1000000;
};

} // namespace cli
