// Leech run over TLS: a whole site run (TSiteRun, no widgets) over N https
// pages against "ab -n N -c <bots>" fetching the same kind of page over
// https, alternated in one process; the same run over plain HTTP for
// reference; and the heap that one client holds while its request is under
// way, over TLS and over plain HTTP. Prints key=value lines.
//
//   tls_bench --base https://localhost:8443/p/ --plain-base http://127.0.0.1:8080/p/
//             --slow https://localhost:8443/slow.html --plain-slow http://127.0.0.1:8080/slow.html
//             --sites 2000 --bots 100 --rounds 3 --ab /usr/bin/ab --folder /tmp/x
//
// The pages are <base><i>.html for i = 0 .. N-1; the slow page is one that
// the server drips, so that every client stays in the middle of its body.
#include "leecher/SiteRun.h"
#include "net/HttpProt.h"
#include "settings/Options.h"
#include "util/EventDispatcher.h"

#include "../lib/AbClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace leecher;
using net::THttpCli;

namespace {

double CpuSeconds()
{
    rusage U{};
    getrusage(RUSAGE_SELF, &U);
    return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) +
           double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

struct RunResult
{
    double Wall = 0, Cpu = 0;
    long Sites = 0, Found = 0;
    double Rate() const { return double(Sites) / Wall; }
};

RunResult LeechRun(const QByteArray &Base, long Count, int Bots, const QString &Folder)
{
    RunResult R;
    TSiteList Sites;
    TProxyList Proxies;
    for (long I = 0; I < Count; ++I)
        Sites.push_back(
            TSiteItem{Base + QByteArray::number(qlonglong(I)) + ".html", {}, 0, ssIdle});
    settings::TOptionValues Options; // the program's defaults
    TRunInputValues Inputs;
    Inputs.bots = Bots;
    TSiteRun Run(Sites, Proxies, Options, Inputs, Folder);
    QObject::connect(&Run, &TSiteRun::finished, &Run, [] { QCoreApplication::quit(); });
    const double Cpu0 = CpuSeconds();
    QElapsedTimer Clock;
    Clock.start();
    if (!Run.StartLeech())
        return R;
    QCoreApplication::exec();
    R.Wall = double(Clock.nsecsElapsed()) / 1e9;
    R.Cpu = CpuSeconds() - Cpu0;
    R.Sites = long(Sites.size());
    for (const TSiteItem &S : Sites) {
        if (S.State == ssFound)
            ++R.Found;
        else if (R.Found == 0)
            std::fprintf(stderr, "site: %s\n", S.Status.toUtf8().constData());
    }
    return R;
}

// Heap bytes held per client while N clients are each in the middle of a
// body that the server drips; -1 when they did not all get there.
double HeapPerClient(const QByteArray &Url, int N)
{
    // One request first, so that what the process sets up once (the trust
    // store, the resolver) is not counted.
    {
        THttpCli Warm;
        Warm.SetURL(Url);
        Warm.OnDocData = [&](THttpCli *C, const char *, qint32) { C->Abort(); };
        Warm.OnRequestDone = [](THttpCli *, net::THttpRequest, quint16) {
            QCoreApplication::quit();
        };
        Warm.StartGet();
        QCoreApplication::exec();
    }
    malloc_trim(0);
    const size_t Before = mallinfo2().uordblks;
    std::vector<std::unique_ptr<THttpCli>> Clients;
    int Receiving = 0, Done = 0;
    for (int I = 0; I < N; ++I) {
        auto C = std::make_unique<THttpCli>();
        C->SetURL(Url);
        C->SetTag(0);
        C->OnDocData = [&](THttpCli *Sender, const char *, qint32) {
            if (Sender->Tag() == 0) {
                Sender->SetTag(1);
                if (++Receiving == N)
                    QCoreApplication::quit();
            }
        };
        C->OnRequestDone = [&](THttpCli *, net::THttpRequest, quint16) {
            if (++Done == N)
                QCoreApplication::quit();
        };
        C->StartGet();
        Clients.push_back(std::move(C));
    }
    QTimer::singleShot(30000, [] { QCoreApplication::quit(); }); // a client that never gets there
    QCoreApplication::exec();
    const size_t During = mallinfo2().uordblks;
    const bool AllThere = Receiving == N && Done == 0;
    for (auto &C : Clients)
        C->Abort();
    if (Done < N)
        QCoreApplication::exec();
    return AllThere ? (double(During) - double(Before)) / N : -1;
}

} // namespace

int main(int argc, char **argv)
{
    util::UsePlainEventDispatcher();
    QCoreApplication App(argc, argv);
    QByteArray Base, PlainBase, Slow, PlainSlow;
    QString Ab = QStringLiteral("ab");
    QString Folder = QStringLiteral(".");
    long Sites = 2000;
    int Bots = 100;
    int Rounds = 3;
    for (int I = 1; I + 1 < argc; I += 2) {
        const QByteArray Key = argv[I];
        const char *V = argv[I + 1];
        if (Key == "--base")
            Base = V;
        else if (Key == "--plain-base")
            PlainBase = V;
        else if (Key == "--slow")
            Slow = V;
        else if (Key == "--plain-slow")
            PlainSlow = V;
        else if (Key == "--sites")
            Sites = std::atol(V);
        else if (Key == "--bots")
            Bots = std::atoi(V);
        else if (Key == "--rounds")
            Rounds = std::max(1, std::atoi(V));
        else if (Key == "--ab")
            Ab = QString::fromLocal8Bit(V);
        else if (Key == "--folder")
            Folder = QString::fromLocal8Bit(V);
    }
    // ab does not check certificates: it is asked for the address, the run
    // by the name that its certificate carries.
    QByteArray AbUrl = Base + "0.html";
    AbUrl.replace("://localhost:", "://127.0.0.1:");

    LeechRun(Base, std::min(Sites, 200L), Bots, Folder); // warm-up
    std::vector<double> AbRates, RunRates, PlainRates, Ratios;
    std::vector<RunResult> Runs;
    long Missing = 0;
    for (int R = 0; R < Rounds; ++R) {
        const double AbRate = RunAb(Ab, Sites, Bots, QString::fromLatin1(AbUrl));
        const RunResult Run = LeechRun(Base, Sites, Bots, Folder);
        const RunResult Plain = LeechRun(PlainBase, Sites, Bots, Folder);
        Missing += (Run.Sites - Run.Found) + (Plain.Sites - Plain.Found);
        AbRates.push_back(AbRate);
        RunRates.push_back(Run.Rate());
        PlainRates.push_back(Plain.Rate());
        Ratios.push_back(AbRate > 0 ? Run.Rate() / AbRate : 0);
        Runs.push_back(Run);
        std::printf("round_%d: ab=%.1f run=%.1f plain_run=%.1f ratio=%.3f\n", R + 1, AbRate,
                    Run.Rate(), Plain.Rate(), Ratios.back());
        std::fflush(stdout);
    }
    auto Median = [](std::vector<double> V) {
        std::sort(V.begin(), V.end());
        return V[V.size() / 2];
    };
    std::sort(Runs.begin(), Runs.end(), [](auto &A, auto &B) { return A.Rate() < B.Rate(); });
    const RunResult &Mid = Runs[Runs.size() / 2];
    const double TlsHeap = HeapPerClient(Slow, Bots);
    const double PlainHeap = HeapPerClient(PlainSlow, Bots);

    std::printf("pages=%ld\nbots=%d\nrounds=%d (medians)\n", Sites, Bots, Rounds);
    std::printf("sites_not_found=%ld\n", Missing);
    std::printf("ab_https_pages_per_second=%.1f\n", Median(AbRates));
    std::printf("run_https_pages_per_second=%.1f\n", Median(RunRates));
    std::printf("run_https_cpu_us_per_page=%.1f\n", Mid.Cpu * 1e6 / double(Mid.Sites));
    std::printf("run_plain_pages_per_second=%.1f\n", Median(PlainRates));
    std::printf("ratio_run_https_to_ab=%.3f (median of the rounds' ratios)\n", Median(Ratios));
    std::printf("heap_bytes_per_client_tls=%.0f\nheap_bytes_per_client_plain=%.0f\n", TlsHeap,
                PlainHeap);
    std::printf("heap_bytes_per_client_tls_extra=%.0f\n", TlsHeap - PlainHeap);
    return Missing == 0 ? 0 : 1;
}
