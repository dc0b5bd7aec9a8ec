// Leech run throughput: a whole site run (TSiteRun, no widgets) over N pages
// against the raw HTTP client fetching the same pages with the same number of
// concurrent clients, each starting its next request from inside its
// completion handler and restarting a wait timer of its own on every piece
// (a client alone needs its own timeout; the run keeps every bot's time
// limits in one sweep). Prints key=value lines: sites per second of both,
// their ratio, CPU time per site and the peak resident memory of each phase.
//
//   siterun_bench --base http://127.0.0.1:8080/p/ --sites 10000 --bots 100 --rounds 3
//                 --folder /tmp/x [--profile raw|run]
//
// The pages are <base><i>.html for i = 0 .. N-1.
#include "leecher/Leech.h"
#include "leecher/SiteRun.h"
#include "net/HttpProt.h"
#include "net/Wait.h"
#include "settings/Options.h"
#include "util/EventDispatcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace leecher;
using net::THttpCli;
using net::TWait;

namespace {

// CPU time of the whole process, or of the calling thread alone.
double CpuSeconds(int Who = RUSAGE_SELF)
{
    rusage U{};
    getrusage(Who, &U);
    return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) +
           double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS").
long StatusKiB(const char *Field)
{
    QFile F(QStringLiteral("/proc/self/status"));
    if (!F.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray Key = QByteArray(Field) + ':';
    for (const QByteArray &Line : F.readAll().split('\n')) {
        if (Line.startsWith(Key))
            return Line.mid(Key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Starts a new peak-memory measurement from the current resident size.
void ResetPeak()
{
    QFile F(QStringLiteral("/proc/self/clear_refs"));
    if (F.open(QIODevice::WriteOnly))
        F.write("5");
}

struct Phase
{
    double Wall = 0, Cpu = 0;
    long Done = 0, Failed = 0, PeakKiB = 0;
    qint64 Bytes = 0;
    QByteArray FirstPage; // the body of page 0
    double Rate() const { return double(Done) / Wall; }
};

QByteArray PageUrl(const QByteArray &Base, long I)
{
    return Base + QByteArray::number(qlonglong(I)) + ".html";
}

Phase RawClients(const QByteArray &Base, long Count, int Concurrency)
{
    Phase P;
    long Started = 0;
    std::vector<std::unique_ptr<THttpCli>> Bots;
    auto StartNext = [&](THttpCli *C) {
        if (Started >= Count)
            return;
        C->SetTag(qintptr(Started));
        C->SetURL(PageUrl(Base, Started++));
        auto *W = C->findChild<TWait *>();
        W->Stop();
        W->Start();
        C->StartGet();
    };
    for (int I = 0; I < Concurrency; ++I) {
        auto C = std::make_unique<THttpCli>();
        auto *W = new TWait(C.get());
        W->SetCaption(QStringLiteral("8"));
        W->OnTimeout = [C = C.get()](TWait *) { C->Abort(); };
        C->SetBotNumber(I);
        C->OnDocData = [W, &P](THttpCli *Sender, const char *Buffer, qint32 Len) {
            P.Bytes += Len;
            if (Sender->Tag() == 0)
                P.FirstPage.append(Buffer, Len);
            W->Stop();
            W->Start();
        };
        C->OnRequestDone = [&, W](THttpCli *Sender, net::THttpRequest, quint16 Error) {
            W->Stop();
            ++P.Done;
            if (Error != 0 || Sender->StatusCode() != 200)
                ++P.Failed;
            if (P.Done >= Count)
                QCoreApplication::quit();
            else
                StartNext(Sender);
        };
        Bots.push_back(std::move(C));
    }
    ResetPeak();
    const double Cpu0 = CpuSeconds();
    QElapsedTimer Clock;
    Clock.start();
    for (auto &B : Bots)
        StartNext(B.get());
    QCoreApplication::exec();
    P.Wall = double(Clock.nsecsElapsed()) / 1e9;
    P.Cpu = CpuSeconds() - Cpu0;
    P.PeakKiB = StatusKiB("VmHWM");
    return P;
}

struct RunResult
{
    Phase P;
    double FetchWall = 0; // until "Finished", before the end-of-run file step
    double FetchCpu = 0;
    double FetchThreadCpu = 0; // of the thread that runs the sockets and the window
    long Found = 0;
    size_t Proxies = 0;
    QString LastStatus;
};

RunResult SiteRun(const QByteArray &Base, long Count, int Bots, const QString &Folder)
{
    RunResult R;
    TSiteList Sites;
    TProxyList Proxies;
    KeepRoom(Proxies); // as the main window keeps it
    Sites.reserve(size_t(Count));
    for (long I = 0; I < Count; ++I)
        Sites.push_back(TSiteItem{PageUrl(Base, I), {}, 0, ssIdle});
    settings::TOptionValues Options; // the program's defaults
    TRunInputValues Inputs;
    Inputs.bots = Bots;
    TSiteRun Run(Sites, Proxies, Options, Inputs, Folder);
    QElapsedTimer Clock;
    double Cpu0 = 0, ThreadCpu0 = 0;
    QObject::connect(&Run, &TSiteRun::statusChanged, &Run, [&](const QString &Text) {
        R.LastStatus = Text;
        if (Text == QStringLiteral("Finished")) {
            R.FetchWall = double(Clock.nsecsElapsed()) / 1e9;
            R.FetchCpu = CpuSeconds() - Cpu0;
            R.FetchThreadCpu = CpuSeconds(RUSAGE_THREAD) - ThreadCpu0;
        }
    });
    QObject::connect(&Run, &TSiteRun::finished, &Run, [] { QCoreApplication::quit(); });

    ResetPeak();
    Cpu0 = CpuSeconds();
    ThreadCpu0 = CpuSeconds(RUSAGE_THREAD);
    Clock.start();
    if (!Run.StartLeech())
        return R;
    QCoreApplication::exec();
    R.P.Wall = double(Clock.nsecsElapsed()) / 1e9;
    R.P.Cpu = CpuSeconds() - Cpu0;
    R.P.PeakKiB = StatusKiB("VmHWM");
    for (const TSiteItem &S : Sites) {
        ++R.P.Done;
        if (S.State == ssFound)
            ++R.Found;
        else
            ++R.P.Failed;
    }
    R.Proxies = Proxies.size();
    return R;
}

} // namespace

int main(int argc, char **argv)
{
    util::UsePlainEventDispatcher();
    QCoreApplication App(argc, argv);
    QByteArray Base = "http://127.0.0.1:8080/p/";
    long Sites = 10000;
    int Bots = 100;
    int Rounds = 3;
    QString Folder = QStringLiteral(".");
    QByteArray Profile;
    for (int I = 1; I + 1 < argc; I += 2) {
        const QByteArray Key = argv[I];
        if (Key == "--base")
            Base = argv[I + 1];
        else if (Key == "--sites")
            Sites = std::atol(argv[I + 1]);
        else if (Key == "--bots")
            Bots = std::atoi(argv[I + 1]);
        else if (Key == "--rounds")
            Rounds = std::max(1, std::atoi(argv[I + 1]));
        else if (Key == "--folder")
            Folder = QString::fromLocal8Bit(argv[I + 1]);
        else if (Key == "--profile")
            Profile = QByteArray(argv[I + 1]);
    }
    // Profiling one side alone: runs only it, Rounds times, and prints nothing.
    if (Profile == "raw" || Profile == "run") {
        for (int R = 0; R < Rounds; ++R) {
            if (Profile == "raw")
                RawClients(Base, Sites, Bots);
            else
                SiteRun(Base, Sites, Bots, Folder);
        }
        return 0;
    }

    const long BaseKiB = StatusKiB("VmRSS");
    RawClients(Base, std::min(Sites, 1000L), Bots); // warm-up
    // The machine may be shared: alternate the two and take the median of each.
    std::vector<Phase> Raws;
    std::vector<RunResult> Runs;
    for (int R = 0; R < Rounds; ++R) {
        Raws.push_back(RawClients(Base, Sites, Bots));
        Runs.push_back(SiteRun(Base, Sites, Bots, Folder));
    }
    long Failed = 0, RunPeak = 0;
    for (const Phase &P : Raws)
        Failed += P.Failed;
    for (const RunResult &R : Runs) {
        Failed += R.P.Failed;
        RunPeak = std::max(RunPeak, R.P.PeakKiB);
    }
    // Each round's own ratios (its two sides ran one after the other), whose
    // median holds better on a shared machine than the ratio of the medians.
    std::vector<double> RunRatios, FetchRatios;
    for (size_t R = 0; R < Raws.size(); ++R) {
        RunRatios.push_back(Runs[R].P.Rate() / Raws[R].Rate());
        FetchRatios.push_back(double(Runs[R].P.Done) / Runs[R].FetchWall / Raws[R].Rate());
    }
    std::sort(RunRatios.begin(), RunRatios.end());
    std::sort(FetchRatios.begin(), FetchRatios.end());
    std::sort(Raws.begin(), Raws.end(), [](auto &A, auto &B) { return A.Rate() < B.Rate(); });
    std::sort(Runs.begin(), Runs.end(), [](auto &A, auto &B) { return A.P.Rate() < B.P.Rate(); });
    const Phase &Raw = Raws[Raws.size() / 2];
    const RunResult &Run = Runs[Runs.size() / 2];

    // What extraction alone costs per page (the raw client does none).
    double ExtractUs = 0;
    {
        // Into a list with room, emptied now and then, so that this counts
        // the search and the appending rather than first touches of memory.
        TProxyList Scratch;
        KeepRoom(Scratch);
        TSiteItem Site;
        QElapsedTimer Clock;
        Clock.start();
        for (int I = 0; I < 2000; ++I) {
            QByteArray Page = Raws.front().FirstPage;
            LeechProxies(Page, true, Scratch, Site);
            if (Scratch.size() > 10000)
                Scratch.clear();
        }
        ExtractUs = double(Clock.nsecsElapsed()) / 1e3 / 2000;
    }

    const double RawRate = Raw.Rate();
    const double RunRate = Run.P.Rate();
    std::printf("sites=%ld\nbots=%d\nrounds=%d (median shown)\n", Sites, Bots, Rounds);
    std::printf("failed_requests=%ld\nraw_body_bytes=%lld\n", Failed,
                static_cast<long long>(Raw.Bytes));
    std::printf("raw_seconds=%.3f\nraw_sites_per_second=%.1f\nraw_cpu_us_per_site=%.1f\n", Raw.Wall,
                RawRate, Raw.Cpu * 1e6 / double(Raw.Done));
    std::printf("raw_peak_rss_kib=%ld\n", Raw.PeakKiB);
    std::printf("run_found=%ld\nrun_proxies_after_dedupe=%zu\n", Run.Found, Run.Proxies);
    std::printf("run_last_status=%s\n", Run.LastStatus.toUtf8().constData());
    std::printf("run_seconds=%.3f\nrun_sites_per_second=%.1f\nrun_cpu_us_per_site=%.1f\n",
                Run.P.Wall, RunRate, Run.P.Cpu * 1e6 / double(Run.P.Done));
    std::printf("run_fetch_seconds=%.3f\nrun_fetch_sites_per_second=%.1f\n"
                "run_fetch_cpu_us_per_site=%.1f\nend_of_run_seconds=%.3f\n",
                Run.FetchWall, double(Run.P.Done) / Run.FetchWall,
                Run.FetchCpu * 1e6 / double(Run.P.Done), Run.P.Wall - Run.FetchWall);
    std::printf("run_fetch_main_thread_cpu_us_per_site=%.1f\n",
                Run.FetchThreadCpu * 1e6 / double(Run.P.Done));
    std::printf("extraction_us_per_page=%.1f (page 0, %lld bytes)\n", ExtractUs,
                static_cast<long long>(Raws.front().FirstPage.size()));
    std::printf("run_peak_rss_kib=%ld\nstart_rss_kib=%ld\n", RunPeak, BaseKiB);
    std::printf("ratio_run_to_raw=%.3f\n", RunRate / RawRate);
    std::printf("ratio_fetch_to_raw=%.3f\n", double(Run.P.Done) / Run.FetchWall / RawRate);
    std::printf("ratio_run_to_raw_paired_median=%.3f\nratio_fetch_to_raw_paired_median=%.3f\n",
                RunRatios[RunRatios.size() / 2], FetchRatios[FetchRatios.size() / 2]);
    return Failed == 0 ? 0 : 1;
}
