// The check run bound to the real analyser window, offscreen: N entries of
// one local proxy checked from the start button with 100 bots, while a 10 ms
// timer measures how late the event loop lets it fire. With --ab, ab fetches
// the judge through the same proxy before each round, for the ratio of the
// window-bound run to it.
//
//   checkwindow_bench --proxy 127.0.0.1:8081 --judge http://127.0.0.1:8082/j
//                     --entries 10000 --rounds 1 [--ab /usr/bin/ab]
#include "../lib/AbClient.h"
#include "analyser/CheckRun.h"
#include "analyser/TfrmProxy.h"
#include "app/Dialogs.h"
#include "app/Startup.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

long PeakKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

struct TRound
{
    double seconds = 0;
    int good = 0;
    std::vector<qint64> lateness; // microseconds per tick, sorted
    double Rate(long n) const { return double(n) / seconds; }
    double At(double q) const
    {
        return lateness.empty() ? 0 : double(lateness[size_t(q * double(lateness.size() - 1))]);
    }
};

// One check of the whole list from the start button, the probe ticking.
TRound CheckFromTheWindow(QApplication &app, TfrmProxy &w)
{
    for (analyser::TProxyItem &e : w.AnalyserList) {
        e.State = analyser::psNone;
        e.Status = e.RemoteAddr = e.Anonymous = e.Level = e.Speed = analyser::TCompactBytes();
    }
    w.ProxiesChanged();
    TRound r;
    r.lateness.reserve(100000);
    QElapsedTimer tick, clock;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, &app, [&] {
        r.lateness.push_back(std::max<qint64>(0, tick.nsecsElapsed() / 1000 - 10000));
        tick.restart();
    });
    const auto done =
        QObject::connect(&w.Run(), &analyser::TCheckRun::finished, &app, [&] { app.exit(0); });
    QTimer::singleShot(0, &app, [&] {
        tick.start();
        probe.start(10);
        clock.start();
        w.cmdStartClick();
    });
    app.exec();
    r.seconds = double(clock.nsecsElapsed()) / 1e9;
    probe.stop();
    QObject::disconnect(done);
    std::sort(r.lateness.begin(), r.lateness.end());
    r.good = w.RunState.GoodCount;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QByteArray proxy = "127.0.0.1:8081";
    QString judge = QStringLiteral("http://127.0.0.1:8082/judge"), ab;
    long entries = 10000;
    int rounds = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray key = argv[i];
        const char *value = argv[i + 1];
        if (key == "--proxy")
            proxy = value;
        else if (key == "--judge")
            judge = QString::fromLocal8Bit(value);
        else if (key == "--ab")
            ab = QString::fromLocal8Bit(value);
        else if (key == "--entries")
            entries = std::max(1L, std::atol(value));
        else if (key == "--rounds")
            rounds = std::max(1, std::atoi(value));
    }
    gui::Dialogs().error = [](QWidget *, const QString &m) {
        std::fprintf(stderr, "error box: %s\n", qPrintable(m));
    };

    QTemporaryDir folder;
    gui::TWindows windows = gui::CreateWindows(folder.path());
    TfrmProxy &w = *windows.proxy;
    // The own address is typed before the window opens: no judge is asked
    // for it, and the loopback proxies pass as anonymous.
    gui::Dialogs().input = [](QWidget *, const QString &, const QString &, QString &value) {
        value = QStringLiteral("10.1.2.3");
        return true;
    };
    w.lblIPClick();
    w.show();
    const qsizetype colon = proxy.indexOf(':');
    for (long i = 0; i < entries; ++i) {
        analyser::TProxyItem e;
        e.Host = proxy.left(colon);
        e.Port = proxy.mid(colon + 1);
        w.AnalyserList.push_back(e);
    }
    w.sldBots->setValue(100);
    w.txtTimeout->setText(QStringLiteral("8"));
    w.cboProxyJudge->setEditText(judge);

    if (!ab.isEmpty())
        RunAb(ab, 1000, 100, judge, proxy); // warms the proxy's connections to the judge
    std::vector<double> abRates;
    std::vector<TRound> runs;
    for (int i = 0; i < rounds; ++i) {
        if (!ab.isEmpty())
            abRates.push_back(RunAb(ab, entries, 100, judge, proxy));
        runs.push_back(CheckFromTheWindow(app, w));
    }
    std::sort(runs.begin(), runs.end(),
              [&](const TRound &a, const TRound &b) { return a.Rate(entries) < b.Rate(entries); });
    const TRound &mid = runs[runs.size() / 2];
    double mean = 0;
    for (qint64 l : mid.lateness)
        mean += double(l);
    mean = mid.lateness.empty() ? 0 : mean / double(mid.lateness.size());

    std::printf("window_rounds=%d (median shown)\n", rounds);
    std::printf("window_seconds=%.3f\nwindow_checks_per_second=%.1f\nwindow_good=%d\n", mid.seconds,
                mid.Rate(entries), mid.good);
    std::printf("window_status=%s\n", qPrintable(w.lblStatus->text()));
    std::printf("timer_10ms_late_max_ms=%.1f\ntimer_10ms_late_p99_ms=%.1f\n"
                "timer_10ms_late_mean_ms=%.2f\ntimer_ticks=%zu\n",
                mid.At(1.0) / 1000.0, mid.At(0.99) / 1000.0, mean / 1000.0, mid.lateness.size());
    if (!abRates.empty()) {
        std::sort(abRates.begin(), abRates.end());
        const double abRate = abRates[abRates.size() / 2];
        std::printf("ab_requests_per_second=%.1f\nratio_window_run_to_ab=%.3f\n", abRate,
                    abRate > 0 ? mid.Rate(entries) / abRate : 0.0);
    }
    std::printf("window_peak_rss_kib=%ld\n", PeakKiB());
    return mid.good == int(entries) ? 0 : 1;
}
