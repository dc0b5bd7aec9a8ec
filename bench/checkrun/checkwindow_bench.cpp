// The check run bound to the real analyser window, offscreen: N entries of
// one local proxy checked from the start button with 100 bots, while a 10 ms
// timer measures how late the event loop lets it fire. The same run object
// without a window, over a list of its own, alternates with it in the same
// process for the ratio of the two. With --ab, ab fetches the judge through
// the same proxy before each round, for the ratio of the window-bound run to
// it. --profile window|run runs only one side, ROUNDS times.
//
// The window records every check in its history (the default): the run object
// then does too, through the same recorder in a history of its own, so that
// both sides do the same work. --history off switches it off on both sides.
//
//   checkwindow_bench --proxy 127.0.0.1:8081 --judge http://127.0.0.1:8082/j
//                     --entries 10000 --rounds 3 [--ab /usr/bin/ab] [--profile run]
//                     [--history on|off]
#include "../lib/AbClient.h"
#include "../lib/PairedRounds.h"
#include "../lib/TimerLateness.h"
#include "analyser/CheckRun.h"
#include "analyser/TfrmProxy.h"
#include "app/Dialogs.h"
#include "app/Startup.h"
#include "history/CheckRecorder.h"
#include "settings/IniFile.h"
#include "settings/OptionsFile.h"
#include "util/EventDispatcher.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
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
    double cpu = 0; // of the thread that runs the window and the sockets
    int good = 0;
    TTimerLateness lateness;
    qint64 worstAt = 0; // ms after the start
    double Rate(long n) const { return double(n) / seconds; }
};

void ClearResults(analyser::TAnalyserList &list)
{
    for (analyser::TProxyItem &e : list) {
        e.State = analyser::psNone;
        e.Status = e.RemoteAddr = e.Anonymous = e.Level = e.Speed = analyser::TCompactBytes();
    }
}

// Runs `start` with the probe ticking until `run` has finished.
TRound Measure(QApplication &app, analyser::TCheckRun &run, const std::function<void()> &start)
{
    TRound r;
    r.lateness.us.reserve(100000);
    QElapsedTimer tick, clock;
    qint64 worst = -1;
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
    const auto done =
        QObject::connect(&run, &analyser::TCheckRun::finished, &app, [&] { app.exit(0); });
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
    QObject::disconnect(done);
    r.lateness.Sort();
    return r;
}

// One check of the whole list from the start button.
TRound CheckFromTheWindow(QApplication &app, TfrmProxy &w)
{
    ClearResults(w.AnalyserList);
    w.ProxiesChanged();
    TRound r = Measure(app, w.Run(), [&] { w.cmdStartClick(); });
    r.good = w.RunState.GoodCount;
    return r;
}

// The same check by the run object alone, its reports taken in as a window
// would take them; with a history folder, every check is recorded there as
// the window records it.
TRound CheckByTheRunObject(QApplication &app, analyser::TAnalyserList &list, const QString &judge,
                           const QString &historyFolder)
{
    ClearResults(list);
    analyser::TCheckRunState state;
    analyser::TCheckInputValues inputs;
    inputs.bots = 100;
    inputs.timeout = QStringLiteral("8");
    inputs.judgeURL = judge;
    inputs.ownAddress = QStringLiteral("10.1.2.3");
    analyser::TCheckRun run(list, state, inputs);
    QObject::connect(&run, &analyser::TCheckRun::rowChanged, &run, [](int) {});
    QObject::connect(&run, &analyser::TCheckRun::statusChanged, &run, [](const QString &) {});
    QObject::connect(&run, &analyser::TCheckRun::replyChanged, &run, [](const QString &) {});
    QObject::connect(&run, &analyser::TCheckRun::progressChanged, &run, [](int, int) {});
    history::TCheckRecorder recorder(list);
    QObject::connect(&run, &analyser::TCheckRun::runningChanged, &run, [&](bool running) {
        if (!running)
            recorder.Flush();
    });
    TRound r = Measure(app, run, [&] {
        if (!historyFolder.isEmpty()) {
            recorder.Open(history::RecordingSettings(historyFolder, {}));
            recorder.Follow(run);
        }
        run.Start();
    });
    r.good = state.GoodCount;
    return r;
}

void PrintRound(const char *prefix, const TRound &r, long n)
{
    std::printf("%s_seconds=%.3f\n%s_checks_per_second=%.1f\n%s_good=%d\n", prefix, r.seconds,
                prefix, r.Rate(n), prefix, r.good);
    std::printf("%s_timer_10ms_late_max_ms=%.1f\n%s_timer_10ms_late_p99_ms=%.1f\n"
                "%s_timer_10ms_late_mean_ms=%.2f\n%s_timer_ticks=%zu\n",
                prefix, r.lateness.At(1.0) / 1000.0, prefix, r.lateness.At(0.99) / 1000.0, prefix,
                r.lateness.Mean() / 1000.0, prefix, r.lateness.us.size());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    util::UsePlainEventDispatcher(); // as the program does
    QApplication app(argc, argv);
    QByteArray proxy = "127.0.0.1:8081";
    QString judge = QStringLiteral("http://127.0.0.1:8082/judge"), ab;
    QByteArray profile;
    long entries = 10000;
    int rounds = 1;
    bool history = true;
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
        else if (key == "--profile")
            profile = value;
        else if (key == "--history")
            history = QByteArray(value) != "off";
    }
    gui::Dialogs().error = [](QWidget *, const QString &m) {
        std::fprintf(stderr, "error box: %s\n", qPrintable(m));
    };

    QTemporaryDir folder, runFolder;
    if (!history) {
        settings::TIniFile ini(QDir(folder.path()).filePath(settings::OptionsFileName));
        ini.WriteBool(settings::SectionProxyChecker, QStringLiteral("History"), false);
    }
    const QString runHistory = history ? runFolder.path() : QString();
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

    analyser::TAnalyserList own(w.AnalyserList); // the run object's list
    if (!profile.isEmpty()) {
        for (int i = 0; i < rounds; ++i) {
            if (profile == "run")
                CheckByTheRunObject(app, own, judge, runHistory);
            else
                CheckFromTheWindow(app, w);
        }
        return 0;
    }
    if (!ab.isEmpty())
        RunAb(ab, 1000, 100, judge, proxy); // warms the proxy's connections to the judge
    // The machine may be shared: alternate them and take the median of each.
    std::vector<double> abRates;
    std::vector<TRound> runs, wins;
    for (int i = 0; i < rounds; ++i) {
        if (!ab.isEmpty())
            abRates.push_back(RunAb(ab, entries, 100, judge, proxy));
        runs.push_back(CheckByTheRunObject(app, own, judge, runHistory));
        wins.push_back(CheckFromTheWindow(app, w));
    }
    const auto byRate = [&](const TRound &a, const TRound &b) {
        return a.Rate(entries) < b.Rate(entries);
    };
    const TPaired paired = Paired(runs, wins, entries);
    std::sort(runs.begin(), runs.end(), byRate);
    std::sort(wins.begin(), wins.end(), byRate);
    const TRound &run = runs[runs.size() / 2];
    const TRound &mid = wins[wins.size() / 2];
    double worstMax = 0;
    QByteArray eachRound;
    for (const TRound &r : wins) {
        worstMax = std::max(worstMax, r.lateness.At(1.0) / 1000.0);
        eachRound += QByteArray::number(r.lateness.At(1.0) / 1000.0, 'f', 1) + " at " +
                     QByteArray::number(r.worstAt) + " of " +
                     QByteArray::number(qint64(r.seconds * 1000)) + " ms; ";
    }

    std::printf("rounds=%d (median shown)\nhistory=%s\n", rounds, history ? "on" : "off");
    PrintRound("run", run, entries);
    PrintRound("window", mid, entries);
    std::printf("window_status=%s\n", qPrintable(w.lblStatus->text()));
    std::printf("window_timer_10ms_late_max_ms_all_rounds=%.1f\n", worstMax);
    std::printf("window_timer_10ms_late_max_each_round=%s\n", eachRound.constData());
    std::printf("ratio_window_to_run=%.3f\n", mid.Rate(entries) / run.Rate(entries));
    std::printf("ratio_window_to_run_paired_median=%.3f\n", paired.ratio);
    std::printf("run_main_thread_cpu_us_per_check=%.1f\nwindow_main_thread_cpu_us_per_check=%.1f\n",
                paired.runCpuUs, paired.windowCpuUs);
    std::printf("ratio_cpu_run_to_window=%.3f\n", paired.runCpuUs / paired.windowCpuUs);
    if (!abRates.empty()) {
        std::sort(abRates.begin(), abRates.end());
        const double abRate = abRates[abRates.size() / 2];
        std::printf("ab_requests_per_second=%.1f\nratio_window_run_to_ab=%.3f\n", abRate,
                    abRate > 0 ? mid.Rate(entries) / abRate : 0.0);
    }
    std::printf("window_peak_rss_kib=%ld\n", PeakKiB());
    return mid.good == int(entries) && run.good == int(entries) ? 0 : 1;
}
