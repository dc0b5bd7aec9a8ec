// Responsiveness and throughput of the main window during a leech run: the
// real window, offscreen, runs over N sites with 100 bots while a 10 ms timer
// measures how late the event loop lets it fire; the same run object without
// a window, fed the same sites in the same process, alternates with it for
// the ratio of the two.
//
//   window_bench BASE_URL N [ROUNDS] [--profile window|run]
// fetches BASE_URL/0.html .. BASE_URL/(N-1).html and prints sites per second
// of both (median of ROUNDS, 3 by default), their ratio and the timer's
// lateness during the window's runs (largest, 99th percentile, mean).
// --profile runs only one side, ROUNDS times, and prints nothing.
#include "../lib/PairedRounds.h"
#include "../lib/TimerLateness.h"
#include "app/Dialogs.h"
#include "app/Startup.h"
#include "app/TfrmLeecher.h"
#include "leecher/SiteRun.h"
#include "settings/Options.h"
#include "util/EventDispatcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

QByteArray PageUrl(const QByteArray &base, int i)
{
    return base + '/' + QByteArray::number(i) + ".html";
}

struct TRound
{
    double seconds = 0;
    double cpu = 0; // of the thread that runs the window and the sockets
    TTimerLateness lateness;
    qint64 worstAt = 0;   // ms after the start
    qint64 fetchedAt = 0; // "Finished": the last site is in
    size_t proxies = 0;
    double Rate(int n) const { return n / seconds; }
};

// Runs `start` with the probe ticking until `finished` comes from `run`.
template <typename Run>
TRound Measure(QApplication &app, Run *run, const std::function<void()> &start)
{
    TRound r;
    r.lateness.us.reserve(100000);
    qint64 worst = -1;
    QElapsedTimer tick, clock;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, &app, [&] {
        r.lateness.us.push_back(std::max<qint64>(0, tick.nsecsElapsed() / 1000 - 10000));
        if (r.lateness.us.back() > worst) {
            worst = r.lateness.us.back();
            r.worstAt = clock.elapsed();
        }
        tick.restart();
    });
    const auto status =
        QObject::connect(run, &leecher::TSiteRun::statusChanged, &app, [&](const QString &t) {
            if (t == QStringLiteral("Finished"))
                r.fetchedAt = clock.elapsed();
        });
    const auto done =
        QObject::connect(run, &leecher::TSiteRun::finished, &app, [&] { app.exit(0); });
    QTimer::singleShot(0, &app, [&] {
        tick.start();
        probe.start(10);
        clock.start();
        start();
    });
    const double cpu0 = ThreadCpuSeconds();
    app.exec();
    r.seconds = double(clock.nsecsElapsed()) / 1e9;
    r.cpu = ThreadCpuSeconds() - cpu0;
    probe.stop();
    QObject::disconnect(status);
    QObject::disconnect(done);
    r.lateness.Sort();
    return r;
}

// The run object alone, on lists of its own, as the window would set it up.
TRound RunObjectRound(QApplication &app, const QByteArray &base, int n, const QString &folder)
{
    leecher::TSiteList sites;
    leecher::TProxyList proxies;
    leecher::KeepRoom(proxies);
    for (int i = 0; i < n; ++i)
        sites.push_back({PageUrl(base, i), {}, 0, 0});
    settings::TOptionValues options;
    leecher::TRunInputValues inputs;
    inputs.bots = 100;
    leecher::TSiteRun run(sites, proxies, options, inputs, folder);
    TRound r = Measure(app, &run, [&] { run.StartLeech(); });
    r.proxies = proxies.size();
    return r;
}

TRound WindowRound(QApplication &app, TfrmLeecher &w)
{
    // Each round starts from the same empty list, with room kept as at start.
    w.ClearProxyList();
    w.KeepProxyRoom();
    TRound r = Measure(app, &w.Run(), [&] { w.cmdStartClick(); });
    r.proxies = w.ProxyList.size();
    return r;
}

void PrintRound(const char *prefix, const TRound &r, int n)
{
    std::printf("%s_seconds=%.3f\n%s_sites_per_second=%.0f\n%s_proxies=%zu\n", prefix, r.seconds,
                prefix, r.Rate(n), prefix, r.proxies);
    std::printf("%s_last_site_in_ms=%lld\n%s_latest_tick_at_ms=%lld\n", prefix,
                static_cast<long long>(r.fetchedAt), prefix, static_cast<long long>(r.worstAt));
    std::printf("%s_timer_10ms_late_max_ms=%.1f\n%s_timer_10ms_late_p99_ms=%.1f\n"
                "%s_timer_10ms_late_mean_ms=%.2f\n%s_timer_ticks=%zu\n",
                prefix, r.lateness.At(1.0) / 1000.0, prefix, r.lateness.At(0.99) / 1000.0, prefix,
                r.lateness.Mean() / 1000.0, prefix, r.lateness.us.size());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    util::UsePlainEventDispatcher();
    QApplication app(argc, argv);
    std::vector<const char *> args;
    const char *profile = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--profile") == 0 && i + 1 < argc)
            profile = argv[++i];
        else
            args.push_back(argv[i]);
    }
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: %s BASE_URL N [ROUNDS] [--profile window|run]\n", argv[0]);
        return 2;
    }
    const QByteArray base = args[0];
    const int n = std::atoi(args[1]);
    const int rounds = args.size() > 2 ? std::max(1, std::atoi(args[2])) : 3;
    gui::Dialogs().error = [](QWidget *, const QString &m) {
        std::fprintf(stderr, "error box: %s\n", qPrintable(m));
    };

    QTemporaryDir folder, runFolder;
    gui::TWindows windows = gui::CreateWindows(folder.path());
    TfrmLeecher &w = *windows.leecher;
    w.show();
    for (int i = 0; i < n; ++i)
        w.SiteList.push_back({PageUrl(base, i), {}, 0, 0});
    w.SitesChanged();
    w.sldBots->setValue(100);
    w.chkAutomate->setChecked(false);

    if (profile) {
        for (int i = 0; i < rounds; ++i) {
            if (std::strcmp(profile, "run") == 0)
                RunObjectRound(app, base, n, runFolder.path());
            else
                WindowRound(app, w);
        }
        return 0;
    }

    // The machine may be shared: alternate the two and take the median of each.
    std::vector<TRound> runs, wins;
    for (int i = 0; i < rounds; ++i) {
        runs.push_back(RunObjectRound(app, base, n, runFolder.path()));
        wins.push_back(WindowRound(app, w));
    }
    const auto byRate = [&](const TRound &a, const TRound &b) { return a.Rate(n) < b.Rate(n); };
    const TPaired paired = Paired(runs, wins, n);
    std::sort(runs.begin(), runs.end(), byRate);
    std::sort(wins.begin(), wins.end(), byRate);
    const TRound &run = runs[runs.size() / 2];
    const TRound &win = wins[wins.size() / 2];
    double worstMax = 0;
    for (const TRound &r : wins)
        worstMax = std::max(worstMax, r.lateness.At(1.0) / 1000.0);
    std::printf("sites=%d\nbots=100\nrounds=%d (median shown)\n", n, rounds);
    PrintRound("run", run, n);
    PrintRound("window", win, n);
    std::printf("window_timer_10ms_late_max_ms_all_rounds=%.1f\n", worstMax);
    std::printf("ratio_window_to_run=%.3f\n", win.Rate(n) / run.Rate(n));
    std::printf("ratio_window_to_run_paired_median=%.3f\n", paired.ratio);
    std::printf("run_main_thread_cpu_us_per_site=%.1f\nwindow_main_thread_cpu_us_per_site=%.1f\n",
                paired.runCpuUs, paired.windowCpuUs);
    std::printf("ratio_cpu_run_to_window=%.3f\n", paired.runCpuUs / paired.windowCpuUs);
    return 0;
}
