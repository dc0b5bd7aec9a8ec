#include "Progress.h"

#include "ResultFormats.h"

#include <QTimer>

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace cli {

namespace {

// Plain lines during a run come at most this often.
constexpr qint64 PlainLineMs = 1000;
constexpr int LiveRedrawMs = 250;

int TerminalWidth(std::FILE *out)
{
    winsize size{};
    if (::ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

TProgressMode ProgressModeFor(bool quiet)
{
    if (quiet)
        return TProgressMode::Quiet;
    const char *term = std::getenv("TERM");
    const bool dumb = term == nullptr || std::strcmp(term, "dumb") == 0;
    return ::isatty(STDERR_FILENO) && !dumb ? TProgressMode::Live : TProgressMode::Plain;
}

QString ClockText(qint64 ms)
{
    const qint64 s = std::max<qint64>(ms, 0) / 1000;
    const auto two = [](qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (s >= 3600)
        return QString::number(s / 3600) + u':' + two(s / 60 % 60) + u':' + two(s % 60);
    return QString::number(s / 60) + u':' + two(s % 60);
}

QString LiveLine(const TProgressCounts &c, qint64 elapsedMs, qint64 durationMs, int width)
{
    QString line;
    const double seconds = double(elapsedMs) / 1000;
    if (c.Total > 0) {
        line = QStringLiteral("[%1 / %2] %3%").arg(c.Done).arg(c.Total).arg(c.Done * 100 / c.Total);
        if (!c.Detail.isEmpty())
            line += QStringLiteral("  ") + c.Detail;
        if (c.Done > 0 && seconds >= 1) {
            const double rate = double(c.Done) / seconds;
            const qint64 left = qint64(double(c.Total - c.Done) / rate * 1000);
            line += QStringLiteral("  %1/s  %2 left").arg(rate, 0, 'f', 1).arg(ClockText(left));
        }
    } else {
        line = ClockText(elapsedMs);
        if (!c.Detail.isEmpty())
            line += QStringLiteral("  ") + c.Detail;
        if (durationMs > 0)
            line += QStringLiteral("  %1 left").arg(ClockText(durationMs - elapsedMs));
    }
    if (width > 1 && line.size() >= width)
        line.truncate(width - 1);
    return line;
}

TProgress::TProgress(TProgressMode mode, std::FILE *out, QObject *parent)
    : QObject(parent), FMode(mode), FOut(out)
{
}

TProgress::~TProgress()
{
    ClearLive();
}

void TProgress::Start()
{
    FClock.start();
    if (FMode != TProgressMode::Live)
        return;
    FTimer = new QTimer(this);
    connect(FTimer, &QTimer::timeout, this, &TProgress::Redraw);
    FTimer->start(LiveRedrawMs);
    Redraw();
}

void TProgress::Line(const QString &text)
{
    ClearLive();
    std::fprintf(FOut, "%s\n", ShownText(text.toLocal8Bit()).constData());
    std::fflush(FOut);
    FLastLineMs = FClock.isValid() ? FClock.elapsed() : 0;
}

void TProgress::Redraw()
{
    if (FMode != TProgressMode::Live || FEnded || !FSource)
        return;
    const QString line = LiveLine(FSource(), FClock.elapsed(), FDurationMs, TerminalWidth(FOut));
    std::fprintf(FOut, "\r%s\033[K", ShownText(line.toLocal8Bit()).constData());
    std::fflush(FOut);
    FLiveShown = true;
}

void TProgress::ClearLive()
{
    if (!FLiveShown)
        return;
    std::fputs("\r\033[K", FOut);
    std::fflush(FOut);
    FLiveShown = false;
}

void TProgress::PrintPending()
{
    if (!FPending.isEmpty())
        Line(std::exchange(FPending, QString()));
}

void TProgress::Status(const QString &text)
{
    if (FMode == TProgressMode::Quiet)
        return;
    if (text == QStringLiteral("Finished") && !FEnded) {
        FEnded = true;
        if (FMode == TProgressMode::Plain)
            PrintPending();
        FPending.clear();
    }
    if (FEnded) {
        Line(text);
        return;
    }
    if (FMode == TProgressMode::Live)
        return; // the live line shows the counts
    const qint64 now = FClock.isValid() ? FClock.elapsed() : 0;
    if (now - FLastLineMs >= PlainLineMs) {
        FPending.clear();
        Line(text);
        return;
    }
    // Held back until the second is over; a later text replaces it.
    const bool waiting = !FPending.isEmpty();
    FPending = text;
    if (!waiting)
        QTimer::singleShot(PlainLineMs - (now - FLastLineMs), this, [this] {
            if (!FEnded)
                PrintPending();
        });
}

void TProgress::Say(const QString &text)
{
    if (FMode == TProgressMode::Quiet)
        return;
    Line(text);
    Redraw();
}

void TProgress::Finish(const QString &summary)
{
    if (FTimer)
        FTimer->stop();
    if (FMode == TProgressMode::Quiet)
        return;
    FEnded = true;
    PrintPending();
    ClearLive();
    if (!summary.isEmpty())
        Line(summary);
}

} // namespace cli
