// Responsiveness of the main window during a leech run: the real window,
// offscreen, runs over N sites with 100 bots while a 10 ms timer measures how
// late the event loop lets it fire.
//
//   window_bench BASE_URL N
// fetches BASE_URL/0.html .. BASE_URL/(N-1).html and prints sites per second
// and the timer's lateness (largest, 99th percentile, mean).
#include "app/Dialogs.h"
#include "app/Startup.h"
#include "app/TfrmLeecher.h"
#include "util/EventDispatcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    util::UsePlainEventDispatcher();
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BASE_URL N\n", argv[0]);
        return 2;
    }
    const QByteArray base = argv[1];
    const int n = std::atoi(argv[2]);
    gui::Dialogs().error = [](QWidget *, const QString &m) {
        std::fprintf(stderr, "error box: %s\n", qPrintable(m));
    };

    QTemporaryDir folder;
    gui::TWindows windows = gui::CreateWindows(folder.path());
    TfrmLeecher &w = *windows.leecher;
    w.show();
    for (int i = 0; i < n; ++i)
        w.SiteList.push_back({base + '/' + QByteArray::number(i) + ".html", {}, 0, 0});
    w.SitesChanged();
    w.sldBots->setValue(100);
    w.chkAutomate->setChecked(false);

    std::vector<qint64> lateness;
    lateness.reserve(100000);
    qint64 worstAt = 0, worst = -1; // when the latest tick came, ms after the start
    size_t worstProxies = 0;        // and how many proxies the list held then
    QElapsedTimer tick;
    QElapsedTimer clock;
    qint64 fetchedAt = 0; // "Finished": the last site is in
    QObject::connect(&w.Run(), &leecher::TSiteRun::statusChanged, &app, [&](const QString &t) {
        if (t == QStringLiteral("Finished"))
            fetchedAt = clock.elapsed();
    });
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, &app, [&] {
        lateness.push_back(std::max<qint64>(0, tick.nsecsElapsed() / 1000 - 10000));
        if (lateness.back() > worst) {
            worst = lateness.back();
            worstAt = clock.elapsed();
            worstProxies = w.ProxyList.size();
        }
        tick.restart();
    });

    QObject::connect(&w.Run(), &leecher::TSiteRun::finished, &app, [&] { app.exit(0); });
    QTimer::singleShot(0, &app, [&] {
        tick.start();
        probe.start(10);
        clock.start();
        w.cmdStartClick();
    });
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    probe.stop();

    std::sort(lateness.begin(), lateness.end());
    const auto at = [&](double q) {
        return lateness.empty() ? 0 : lateness[size_t(q * double(lateness.size() - 1))];
    };
    double mean = 0;
    for (qint64 l : lateness)
        mean += double(l);
    mean = lateness.empty() ? 0 : mean / double(lateness.size());
    std::printf("window run: %d sites in %.2f s = %.0f sites/s, %zu proxies\n", n, seconds,
                n / seconds, w.ProxyList.size());
    std::printf("latest tick at %lld ms of the run (%zu proxies listed); the last site was in at "
                "%lld ms\n",
                static_cast<long long>(worstAt), worstProxies, static_cast<long long>(fetchedAt));
    std::printf("10 ms timer lateness: max %.1f ms, p99 %.1f ms, mean %.2f ms over %zu ticks\n",
                double(lateness.empty() ? 0 : lateness.back()) / 1000.0, double(at(0.99)) / 1000.0,
                mean / 1000.0, lateness.size());
    return 0;
}
