// Check run throughput: the real TCheckRun (no widgets) over N entries in one
// of three settings, printing key=value lines with the peak resident memory
// of the process.
//
//   judge:   every entry is the same fast local proxy, which hands the request
//            to a local judge; with --ab, "ab -c <bots> -X <proxy>" fetches
//            the judge through that proxy before each round, for a ratio.
//   refused: every entry is a loopback port that refuses the connection.
//   silent:  every entry is a loopback port that takes the connection and
//            the request and never answers: each check ends by its timeout.
//   socks:   the same checks through an HTTP proxy (--proxy) and through a
//            SOCKS5 proxy (--socks), alternated: our CPU per check for each
//            and their ratio.
//   history: the judge setting with the check history off and on (every
//            check recorded in a History.sqlite of a temporary folder, as
//            vexo-cli and the window do), alternated, and their ratio.
//
//   checkrun_bench --scenario judge --proxy 127.0.0.1:8081 --judge http://127.0.0.1:8082/j
//                  --entries 10000 --bots 100 --rounds 3 --ab /usr/bin/ab
//   checkrun_bench --scenario refused --entries 10000 --bots 100
//   checkrun_bench --scenario silent --entries 2000 --bots 100 --timeout 1
//   checkrun_bench --scenario socks --proxy 127.0.0.1:8888 --socks 127.0.0.1:1080
//                  --judge http://127.0.0.1:8082/j --entries 10000 --bots 100
#include "../lib/AbClient.h"
#include "analyser/CheckRun.h"
#include "history/CheckRecorder.h"
#include "util/EventDispatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace analyser;

namespace {

// The process's CPU in user code and in the kernel on its behalf.
struct TCpu
{
    double User = 0, System = 0;
    double Total() const { return User + System; }
    TCpu operator-(const TCpu &o) const { return {User - o.User, System - o.System}; }
};

TCpu CpuNow(int Who = RUSAGE_SELF)
{
    rusage U{};
    getrusage(Who, &U);
    return {double(U.ru_utime.tv_sec) + double(U.ru_utime.tv_usec) / 1e6,
            double(U.ru_stime.tv_sec) + double(U.ru_stime.tv_usec) / 1e6};
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

// A loopback socket bound to a port of its own; listening (never accepting)
// when Backlog is above 0, otherwise refusing every connection.
int LoopbackSocket(int Backlog, quint16 &Port)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (Fd < 0 || ::bind(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) != 0 ||
        (Backlog > 0 && ::listen(Fd, Backlog) != 0)) {
        std::perror("loopback socket");
        std::exit(2);
    }
    socklen_t Len = sizeof A;
    ::getsockname(Fd, reinterpret_cast<sockaddr *>(&A), &Len);
    Port = ntohs(A.sin_port);
    return Fd;
}

struct Result
{
    double Wall = 0, Cpu = 0;
    TCpu Split;         // Cpu as user and system time
    double MainCpu = 0; // of the thread that runs the sockets (the history writer has its own)
    long PeakKiB = 0;
    int Good = 0, Bad = 0, Timeouts = 0, Unknown = 0, Retries = 0;
    QString LastStatus;
    double Rate(size_t N) const { return double(N) / Wall; }
};

Result CheckAll(TAnalyserList &List, const QString &Judge, int Bots, const QString &Timeout,
                const QString &HistoryFolder = {})
{
    for (TProxyItem &E : List) {
        E.State = psNone;
        E.Status = E.RemoteAddr = E.Anonymous = E.Level = E.Speed = TCompactBytes();
    }
    TCheckRunState State;
    TCheckInputValues Inputs;
    Inputs.bots = Bots;
    Inputs.timeout = Timeout;
    Inputs.judgeURL = Judge;
    Inputs.ownAddress = QStringLiteral("10.1.2.3");
    TCheckRun Run(List, State, Inputs);
    // The bots asked for, as vexo-cli allows them (a run object alone keeps
    // to the window's 100).
    Run.SetBotLimit(TCheckRun::MaxBotLimit);
    Result R;
    // As a window would: the rows, both lines and the gauge are taken in.
    int Rows = 0;
    QObject::connect(&Run, &TCheckRun::rowChanged, &Run, [&](int) { ++Rows; });
    QObject::connect(&Run, &TCheckRun::statusChanged, &Run,
                     [&](const QString &T) { R.LastStatus = T; });
    QObject::connect(&Run, &TCheckRun::replyChanged, &Run, [](const QString &) {});
    QObject::connect(&Run, &TCheckRun::progressChanged, &Run, [](int, int) {});
    QObject::connect(&Run, &TCheckRun::finished, &Run, [] { QCoreApplication::quit(); });
    // With a folder, each check is located (no database: nothing found) and
    // recorded in its history, the last batch when the run has finished.
    history::TCheckRecorder Recorder(List);
    if (!HistoryFolder.isEmpty()) {
        history::TRecordingSettings Recording;
        Recording.HistoryPath = QDir(HistoryFolder).filePath(QStringLiteral("History.sqlite"));
        for (const QString &Message : Recorder.Open(Recording))
            std::fprintf(stderr, "%s\n", qPrintable(Message));
        Recorder.Follow(Run);
    }

    ResetPeak();
    const TCpu Cpu0 = CpuNow();
    const TCpu MainCpu0 = CpuNow(RUSAGE_THREAD);
    QElapsedTimer Clock;
    Clock.start();
    if (!Run.Start())
        return R;
    if (Run.IsRunning())
        QCoreApplication::exec();
    Recorder.Flush();
    R.Wall = double(Clock.nsecsElapsed()) / 1e9;
    R.Split = CpuNow() - Cpu0;
    R.MainCpu = (CpuNow(RUSAGE_THREAD) - MainCpu0).Total();
    R.Cpu = R.Split.Total();
    R.PeakKiB = StatusKiB("VmHWM");
    R.Good = State.GoodCount;
    R.Bad = State.BadCount;
    R.Timeouts = State.TimeoutCount;
    R.Retries = State.RetryCount;
    for (const TProxyItem &E : List)
        R.Unknown += E.State == psUnknown;
    return R;
}

template <typename T>
T Median(std::vector<T> V)
{
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

void PrintRun(const char *Prefix, const Result &R, size_t N)
{
    std::printf("%s_seconds=%.3f\n%s_checks_per_second=%.1f\n%s_cpu_us_per_check=%.1f\n", Prefix,
                R.Wall, Prefix, R.Rate(N), Prefix, R.Cpu * 1e6 / double(N));
    std::printf("%s_user_us_per_check=%.1f\n%s_system_us_per_check=%.1f\n", Prefix,
                R.Split.User * 1e6 / double(N), Prefix, R.Split.System * 1e6 / double(N));
    std::printf("%s_good=%d\n%s_bad=%d\n%s_timeouts=%d\n%s_unknown=%d\n%s_retries=%d\n", Prefix,
                R.Good, Prefix, R.Bad, Prefix, R.Timeouts, Prefix, R.Unknown, Prefix, R.Retries);
    std::printf("%s_last_status=%s\n%s_peak_rss_kib=%ld\n", Prefix, qPrintable(R.LastStatus),
                Prefix, R.PeakKiB);
}

} // namespace

int main(int argc, char **argv)
{
    util::UsePlainEventDispatcher();
    QCoreApplication App(argc, argv);
    QByteArray Scenario = "judge", Proxy = "127.0.0.1:8081", Socks = "127.0.0.1:1080";
    QString Judge = QStringLiteral("http://127.0.0.1:8082/judge");
    QString Ab;
    long Entries = 10000;
    int Bots = 100, Rounds = 3;
    QString Timeout = QStringLiteral("8");
    for (int I = 1; I + 1 < argc; I += 2) {
        const QByteArray Key = argv[I];
        const char *Value = argv[I + 1];
        if (Key == "--scenario")
            Scenario = Value;
        else if (Key == "--proxy")
            Proxy = Value;
        else if (Key == "--socks")
            Socks = Value;
        else if (Key == "--judge")
            Judge = QString::fromLocal8Bit(Value);
        else if (Key == "--ab")
            Ab = QString::fromLocal8Bit(Value);
        else if (Key == "--entries")
            Entries = std::max(1L, std::atol(Value));
        else if (Key == "--bots")
            Bots = std::atoi(Value);
        else if (Key == "--rounds")
            Rounds = std::max(1, std::atoi(Value));
        else if (Key == "--timeout")
            Timeout = QString::fromLocal8Bit(Value);
    }
    const long StartKiB = StatusKiB("VmRSS");
    TAnalyserList List;
    List.reserve(size_t(Entries));
    std::vector<int> Sockets;
    std::printf("scenario=%s\nentries=%ld\nbots=%d\ntimeout_seconds=%s\n", Scenario.constData(),
                Entries, Bots, qPrintable(Timeout));

    if (Scenario == "judge") {
        const qsizetype Colon = Proxy.indexOf(':');
        for (long I = 0; I < Entries; ++I)
            List.push_back(TProxyItem{Proxy.left(Colon), Proxy.mid(Colon + 1)});
        TAnalyserList Warm(List.begin(), List.begin() + std::min<long>(Entries, 1000));
        CheckAll(Warm, Judge, Bots, Timeout);
        if (!Ab.isEmpty())
            RunAb(Ab, 1000, Bots, Judge, Proxy);
        // The machine may be shared: alternate the two and take the median of each.
        std::vector<double> AbRates, RunRates;
        std::vector<Result> Runs;
        for (int R = 0; R < Rounds; ++R) {
            if (!Ab.isEmpty())
                AbRates.push_back(RunAb(Ab, Entries, Bots, Judge, Proxy));
            Runs.push_back(CheckAll(List, Judge, Bots, Timeout));
            RunRates.push_back(Runs.back().Rate(List.size()));
        }
        const double RunRate = Median(RunRates);
        const auto Mid = std::find_if(Runs.begin(), Runs.end(), [&](const Result &R) {
            return R.Rate(List.size()) == RunRate;
        });
        std::printf("rounds=%d (median shown)\n", Rounds);
        PrintRun("run", *Mid, List.size());
        if (!AbRates.empty()) {
            const double AbRate = Median(AbRates);
            std::printf("ab_requests_per_second=%.1f\n", AbRate);
            std::printf("ratio_run_to_ab=%.3f\n", AbRate > 0 ? RunRate / AbRate : 0.0);
        }
        std::printf("start_rss_kib=%ld\n", StartKiB);
        return Mid->Good == int(List.size()) ? 0 : 1;
    }

    if (Scenario == "history") {
        const qsizetype Colon = Proxy.indexOf(':');
        for (long I = 0; I < Entries; ++I)
            List.push_back(TProxyItem{Proxy.left(Colon), Proxy.mid(Colon + 1)});
        QTemporaryDir Folder;
        TAnalyserList Warm(List.begin(), List.begin() + std::min<long>(Entries, 1000));
        CheckAll(Warm, Judge, Bots, Timeout, Folder.path());
        std::vector<double> Off, On, OffCpu, OnCpu, OffMain, OnMain;
        const double N = double(List.size());
        for (int R = 0; R < Rounds; ++R) {
            const Result Without = CheckAll(List, Judge, Bots, Timeout);
            const Result With = CheckAll(List, Judge, Bots, Timeout, Folder.path());
            Off.push_back(Without.Rate(List.size()));
            On.push_back(With.Rate(List.size()));
            OffCpu.push_back(Without.Cpu * 1e6 / N);
            OnCpu.push_back(With.Cpu * 1e6 / N);
            OffMain.push_back(Without.MainCpu * 1e6 / N);
            OnMain.push_back(With.MainCpu * 1e6 / N);
        }
        std::printf("rounds=%d (median shown)\n", Rounds);
        std::printf("history_off_checks_per_second=%.1f\n", Median(Off));
        std::printf("history_on_checks_per_second=%.1f\n", Median(On));
        // The process's CPU (all its threads, the history's writer too).
        std::printf("history_off_cpu_us_per_check=%.1f\n", Median(OffCpu));
        std::printf("history_on_cpu_us_per_check=%.1f\n", Median(OnCpu));
        std::printf("history_off_main_thread_cpu_us_per_check=%.1f\n", Median(OffMain));
        std::printf("history_on_main_thread_cpu_us_per_check=%.1f\n", Median(OnMain));
        std::printf("ratio_history_on_to_off=%.3f\n", Median(On) / Median(Off));
        return 0;
    }

    if (Scenario == "socks") {
        const auto ListOf = [&](const QByteArray &Address, net::TProxyType Type) {
            const qsizetype Colon = Address.indexOf(':');
            TAnalyserList L;
            L.reserve(size_t(Entries));
            for (long I = 0; I < Entries; ++I) {
                L.push_back(TProxyItem{Address.left(Colon), Address.mid(Colon + 1)});
                L.back().Type = Type;
            }
            return L;
        };
        TAnalyserList Http = ListOf(Proxy, net::ptHttp), Socks5 = ListOf(Socks, net::ptSocks5);
        TAnalyserList WarmHttp(Http.begin(), Http.begin() + std::min<long>(Entries, 1000));
        TAnalyserList WarmSocks(Socks5.begin(), Socks5.begin() + std::min<long>(Entries, 1000));
        CheckAll(WarmHttp, Judge, Bots, Timeout);
        CheckAll(WarmSocks, Judge, Bots, Timeout);
        // Alternated on a shared machine; the median of each.
        std::vector<Result> HttpRuns, SocksRuns;
        std::vector<double> HttpCpu, SocksCpu;
        for (int R = 0; R < Rounds; ++R) {
            HttpRuns.push_back(CheckAll(Http, Judge, Bots, Timeout));
            HttpCpu.push_back(HttpRuns.back().Cpu);
            SocksRuns.push_back(CheckAll(Socks5, Judge, Bots, Timeout));
            SocksCpu.push_back(SocksRuns.back().Cpu);
        }
        const auto MedianRun = [](const std::vector<Result> &Runs, double Cpu) {
            return *std::find_if(Runs.begin(), Runs.end(),
                                 [&](const Result &R) { return R.Cpu == Cpu; });
        };
        const Result H = MedianRun(HttpRuns, Median(HttpCpu));
        const Result S = MedianRun(SocksRuns, Median(SocksCpu));
        std::printf("rounds=%d (median CPU shown)\n", Rounds);
        PrintRun("http", H, Http.size());
        PrintRun("socks5", S, Socks5.size());
        std::printf("ratio_socks5_cpu_to_http_cpu=%.3f\n", H.Cpu > 0 ? S.Cpu / H.Cpu : 0.0);
        // SOCKS5 needs two more round trips per check than an HTTP proxy
        // (greeting, connect request): kernel time that no client can save.
        std::printf("ratio_socks5_user_cpu_to_http_user_cpu=%.3f\n",
                    H.Split.User > 0 ? S.Split.User / H.Split.User : 0.0);
        std::printf("start_rss_kib=%ld\n", StartKiB);
        return H.Good == int(Entries) && S.Good == int(Entries) ? 0 : 1;
    }

    if (Scenario == "refused" || Scenario == "silent") {
        // Refused: one bound port per entry as far as the descriptor limit
        // allows, then they repeat. Silent: one listening port with a queue
        // long enough for every connection of the run.
        rlimit L{};
        getrlimit(RLIMIT_NOFILE, &L);
        L.rlim_cur = L.rlim_max;
        setrlimit(RLIMIT_NOFILE, &L);
        const long Ports =
            Scenario == "silent" ? 1 : std::min<long>(Entries, long(L.rlim_cur) - 2 * Bots - 64);
        std::vector<quint16> PortOf;
        for (long I = 0; I < Ports; ++I) {
            quint16 Port = 0;
            Sockets.push_back(LoopbackSocket(Scenario == "silent" ? 65535 : 0, Port));
            PortOf.push_back(Port);
        }
        for (long I = 0; I < Entries; ++I)
            List.push_back(TProxyItem{"127.0.0.1", QByteArray::number(PortOf[size_t(I % Ports)])});
        std::printf("distinct_ports=%ld\n", Ports);
        const Result R = CheckAll(List, Judge, Bots, Timeout);
        PrintRun("run", R, List.size());
        if (Scenario == "silent") {
            // Every bot waits out its timeout once per round of entries.
            const double Bound = std::ceil(double(Entries) / Bots) * Timeout.toDouble();
            std::printf("bound_seconds=%.1f\nover_bound_percent=%.2f\n", Bound,
                        (R.Wall / Bound - 1) * 100);
        }
        std::printf("start_rss_kib=%ld\n", StartKiB);
        for (const int Fd : Sockets)
            ::close(Fd);
        const bool AllExpected =
            Scenario == "silent" ? R.Timeouts == int(Entries) : R.Bad == int(Entries);
        return AllExpected ? 0 : 1;
    }
    std::fprintf(stderr, "unknown scenario %s\n", Scenario.constData());
    return 2;
}
