// N GET requests with C concurrent HTTP clients, each starting its next
// request from inside its completion handler as the runs' bots do (and, like
// them, restarting its wait timer on every request and body piece). Prints
// key=value lines: requests per second, CPU time per request and the heap
// taken by an idle client (and by a client with its wait timer).
//
//   http_bench --url http://127.0.0.1:8080/page.html --requests 20000 --concurrency 100
//              [--dispatcher unix|glib]
//
// The event dispatcher is the program's (Qt's plain Unix one) unless
// "--dispatcher glib" asks for the GLib one.
#include "net/HttpProt.h"
#include "net/Wait.h"
#include "util/EventDispatcher.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <vector>

using namespace net;

namespace {

double CpuSeconds()
{
    rusage U{};
    getrusage(RUSAGE_SELF, &U);
    return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) +
           double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

size_t HeapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

// Heap bytes per idle client, measured over Count clients.
double BytesPerIdleClient(int Count, bool WithTimer)
{
    std::vector<std::unique_ptr<THttpCli>> Clients;
    Clients.reserve(size_t(Count));
    const size_t Before = HeapInUse();
    for (int I = 0; I < Count; ++I) {
        auto C = std::make_unique<THttpCli>();
        if (WithTimer)
            new TWait(C.get());
        C->SetBotNumber(I);
        Clients.push_back(std::move(C));
    }
    const size_t After = HeapInUse();
    return double(After - Before) / Count;
}

} // namespace

int main(int argc, char **argv)
{
    bool Glib = false;
    for (int I = 1; I + 1 < argc; I += 2)
        Glib = Glib || (QByteArray(argv[I]) == "--dispatcher" && QByteArray(argv[I + 1]) == "glib");
    if (Glib)
        qunsetenv("QT_NO_GLIB");
    else
        util::UsePlainEventDispatcher();
    QCoreApplication App(argc, argv);
    QByteArray Url = "http://127.0.0.1:8080/";
    long Requests = 10000;
    int Concurrency = 100;
    for (int I = 1; I + 1 < argc; I += 2) {
        const QByteArray Key = argv[I];
        if (Key == "--url")
            Url = argv[I + 1];
        else if (Key == "--requests")
            Requests = atol(argv[I + 1]);
        else if (Key == "--concurrency")
            Concurrency = atoi(argv[I + 1]);
    }

    long Started = 0, Completed = 0, Failed = 0;
    qint64 Bytes = 0;
    std::vector<std::unique_ptr<THttpCli>> Bots;
    QElapsedTimer Clock;

    auto StartNext = [&](THttpCli *C) {
        if (Started >= Requests)
            return;
        ++Started;
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
        C->SetURL(Url);
        C->SetBotNumber(I);
        C->OnDocData = [W, &Bytes](THttpCli *, const char *, qint32 Len) {
            Bytes += Len;
            W->Stop();
            W->Start();
        };
        C->OnRequestDone = [&, W](THttpCli *Sender, THttpRequest, quint16 Error) {
            W->Stop();
            ++Completed;
            if (Error != 0 || Sender->StatusCode() != 200)
                ++Failed;
            if (Completed >= Requests)
                QCoreApplication::quit();
            else
                StartNext(Sender);
        };
        Bots.push_back(std::move(C));
    }

    const double Cpu0 = CpuSeconds();
    Clock.start();
    for (auto &B : Bots)
        StartNext(B.get());
    App.exec();
    const double Wall = double(Clock.nsecsElapsed()) / 1e9;
    const double Cpu = CpuSeconds() - Cpu0;
    Bots.clear();

    std::printf("dispatcher=%s\n", QAbstractEventDispatcher::instance()->metaObject()->className());
    std::printf("requests=%ld\nfailed=%ld\nbody_bytes=%lld\n", Completed, Failed,
                static_cast<long long>(Bytes));
    std::printf("seconds=%.3f\nrequests_per_second=%.1f\n", Wall, double(Completed) / Wall);
    std::printf("cpu_us_per_request=%.1f\n", Cpu * 1e6 / double(Completed));
    std::printf("idle_client_bytes=%.0f\n", BytesPerIdleClient(1000, false));
    std::printf("idle_bot_bytes=%.0f\n", BytesPerIdleClient(1000, true));
    return Failed == 0 ? 0 : 1;
}
