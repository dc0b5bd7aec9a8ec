// The end-of-run cleaning of a leech run's proxy list: sorting by port then
// host and dropping duplicates, as the run does it, against the plain way
// (a stable sort of the records, then std::unique) on the same list in the
// same process. The list is what a run over 10,000 pages of 50 proxies
// leaves: 40 proxies of each page's own and 10 from a pool of 1,000 that
// many pages share, appended page by page.
//
//   endofrun_bench [pages] [rounds]
#include "lists/EndOfRun.h"
#include "lists/ListFiles.h"
#include "lists/ListSort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace leecher;

namespace {

TProxyList RunLikeList(int pages)
{
    std::mt19937 rng(1234);
    const auto ip = [&rng] {
        return std::to_string(rng() % 223 + 1) + '.' + std::to_string(rng() % 256) + '.' +
               std::to_string(rng() % 256) + '.' + std::to_string(rng() % 254 + 1);
    };
    const char *ports[] = {"80", "3128", "8000", "8080", "8888", "1080"};
    std::vector<TProxyItem> pool;
    for (int i = 0; i < 1000; ++i)
        pool.push_back(TProxyItem{ip().c_str(), ports[rng() % 6]});
    TProxyList list;
    KeepRoom(list);
    for (int p = 0; p < pages; ++p) {
        std::vector<TProxyItem> page;
        for (int i = 0; i < 40; ++i)
            page.push_back(TProxyItem{ip().c_str(), ports[rng() % 6]});
        for (int i = 0; i < 10; ++i)
            page.push_back(pool[rng() % pool.size()]);
        std::shuffle(page.begin(), page.end(), rng);
        list.insert(list.end(), page.begin(), page.end());
    }
    return list;
}

// The straightforward cleaning the run's is measured against.
std::size_t PlainClean(TProxyList &list)
{
    std::stable_sort(list.begin(), list.end(), [](const TProxyItem &a, const TProxyItem &b) {
        const quint32 pa = PortValue(a.Port.view()), pb = PortValue(b.Port.view());
        if (pa != pb)
            return pa < pb;
        if (a.Host != b.Host)
            return a.Host < b.Host;
        return a.Port < b.Port;
    });
    const std::size_t before = list.size();
    list.erase(std::unique(list.begin(), list.end(),
                           [](const TProxyItem &a, const TProxyItem &b) {
                               return a.Host == b.Host && a.Port == b.Port;
                           }),
               list.end());
    return before - list.size();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    QTemporaryDir dir;
    const TProxyList source = RunLikeList(pages);

    // Alternated, so that both see the same machine.
    std::vector<double> plain, ours, step;
    std::size_t plainRemoved = 0, ourRemoved = 0;
    for (int r = 0; r < rounds; ++r) {
        TProxyList copy = source;
        QElapsedTimer clock;
        clock.start();
        plainRemoved = PlainClean(copy);
        plain.push_back(double(clock.nsecsElapsed()) / 1e6);

        clock.restart();
        TProxyList cleaned = source; // the shown list, cleaned in place as the run does
        const TCleanedProxies order(cleaned);
        order.PutInto(cleaned);
        ours.push_back(double(clock.nsecsElapsed()) / 1e6);
        ourRemoved = source.size() - cleaned.size();
        if (cleaned.size() != copy.size() ||
            !std::equal(cleaned.begin(), cleaned.end(), copy.begin(),
                        [](auto &a, auto &b) { return a.Host == b.Host && a.Port == b.Port; })) {
            std::fprintf(stderr, "the two cleanings differ\n");
            return 1;
        }

        std::optional<TCleanedProxies> cleanedByStep;
        clock.restart();
        EndOfRunFileStep(source, cleanedByStep, dir.path(), true, true);
        step.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("proxies=%zu removed=%zu (plain %zu) rounds=%d (medians)\n", source.size(),
                ourRemoved, plainRemoved, rounds);
    std::printf("plain_sort_unique_ms=%.1f\nsorted_without_duplicates_ms=%.1f\n", Median(plain),
                Median(ours));
    std::printf("end_of_run_step_with_file_ms=%.1f\n", Median(step));
    // The first round meets fresh memory, as every run's step does.
    std::printf("first_round_ms: plain=%.1f ours=%.1f step=%.1f\n", plain[0], ours[0], step[0]);
    std::printf("ratio_plain_to_ours=%.2f\n", Median(plain) / Median(ours));
    return 0;
}
