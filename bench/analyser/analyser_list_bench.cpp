// The analyser's list operations on one million entries, each against the
// plain way of doing the same (std::stable_sort, std::unique, std::erase_if,
// a line-by-line parse and write) over the same records in the same run.
//
//   analyser_list_bench [entries] [rounds] [operation-name-part]
//
// Prints the median and the fastest time of each side with the ratio
// plain / ours (the machine is shared: the fastest rounds are the ones least
// disturbed), and the peak memory of the process after our operations alone
// and after both sides.
#include "analyser/AnalyserFiles.h"
#include "analyser/AnalyserSort.h"
#include "analyser/ListEdits.h"
#include "analyser/ProxyEntries.h"
#include "lists/ListFiles.h"
#include "lists/ListSort.h"
#include "util/HugePages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace analyser;

namespace {

// A checked list: random addresses, common ports, one entry in ten a
// duplicate of an earlier one, results of every kind.
TAnalyserList CheckedList(int entries, std::mt19937 &rng)
{
    const auto ip = [&rng] {
        return std::to_string(rng() % 223 + 1) + '.' + std::to_string(rng() % 256) + '.' +
               std::to_string(rng() % 256) + '.' + std::to_string(rng() % 254 + 1);
    };
    const char *ports[] = {"80", "3128", "8000", "8080", "8888", "1080", "443", "9999"};
    const qint32 states[] = {psNone, psBad, psTimeout, psGood, psUnknown};
    const char *statuses[] = {"", "200 - OK", "Timeout", "404 - Connection refused",
                              "503 - Service Unavailable"};
    TAnalyserList list;
    list.reserve(size_t(entries));
    for (int i = 0; i < entries; ++i) {
        if (i > 0 && rng() % 10 == 0) {
            list.push_back(list[rng() % list.size()]);
            continue;
        }
        TProxyItem p;
        p.Host = ip().c_str();
        p.Port = ports[rng() % std::size(ports)];
        const int kind = int(rng() % 5);
        p.State = states[kind];
        p.Status = statuses[kind];
        if (p.State == psGood) {
            p.RemoteAddr = rng() % 2 ? p.Host : TCompactBytes(ip().c_str());
            p.Anonymous = "Yes";
            p.Level = "1";
            p.Speed = std::to_string(rng() % 8000).c_str();
        }
        list.push_back(std::move(p));
    }
    return list;
}

QByteArray ListFile(const TAnalyserList &list)
{
    QByteArray file;
    for (std::size_t i = 0; i < list.size(); ++i) {
        file += list[i].Host.view();
        file += ':';
        file += list[i].Port.view();
        file += i % 50 == 0 ? " (elite)\r\n" : "\r\n";
    }
    return file;
}

// The plain ways.
qsizetype PlainLoad(const QString &path, TAnalyserList &list)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qsizetype added = 0;
    for (QByteArray line : file.readAll().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        const QByteArray host = colon < 0 ? QByteArray() : line.left(colon);
        const QByteArray port = DeleteNonNumbers(colon < 0 ? line : line.mid(colon + 1));
        if (host.isEmpty() && port.isEmpty())
            continue;
        TProxyItem item;
        item.Host = host;
        item.Port = port;
        list.push_back(item);
        ++added;
    }
    return added;
}

quint64 SpeedValue(const TCompactBytes &speed)
{
    return leecher::PortValue(speed.view());
}

void PlainSort(TAnalyserList &list, int column, bool ascending)
{
    std::function<bool(const TProxyItem &, const TProxyItem &)> less;
    if (column == colPort) {
        less = [](const TProxyItem &a, const TProxyItem &b) {
            return leecher::PortValue(a.Port.view()) < leecher::PortValue(b.Port.view());
        };
    } else if (column == colSpeed) {
        less = [](const TProxyItem &a, const TProxyItem &b) {
            return SpeedValue(a.Speed) < SpeedValue(b.Speed);
        };
    } else {
        less = [](const TProxyItem &a, const TProxyItem &b) { return a.Host < b.Host; };
    }
    std::stable_sort(list.begin(), list.end(), [&](const TProxyItem &a, const TProxyItem &b) {
        if (column == colSpeed && a.Speed.isEmpty() != b.Speed.isEmpty())
            return b.Speed.isEmpty();
        return ascending ? less(a, b) : less(b, a);
    });
}

qsizetype PlainRemoveDuplicates(TAnalyserList &list)
{
    std::stable_sort(list.begin(), list.end(), [](const TProxyItem &a, const TProxyItem &b) {
        const quint32 pa = leecher::PortValue(a.Port.view()),
                      pb = leecher::PortValue(b.Port.view());
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
    return qsizetype(before - list.size());
}

qsizetype PlainSave(const QString &path, const TAnalyserList &list)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    for (const TProxyItem &p : list)
        file.write(p.Host.toByteArray() + ':' + p.Port.toByteArray() + "\r\n");
    return file.commit() ? qsizetype(list.size()) : -1;
}

long PeakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return std::atol(line.mid(6).trimmed().constData());
    return -1;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Fastest(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

struct TOperation
{
    std::string name;
    // Each side gets a fresh copy of the source list, not timed.
    std::function<qsizetype(TAnalyserList &)> ours, plain;
    bool fromEmpty = false; // starts from an empty list (loading)
};

// A copy held as the window holds a list it loaded or took over: in one block
// advised for huge pages.
TAnalyserList Copy(const TAnalyserList &source)
{
    TAnalyserList list;
    list.reserve(source.size());
    util::AdviseHugePages(list);
    list.insert(list.end(), source.begin(), source.end());
    return list;
}

double Timed(const TOperation &op, bool ours, const TAnalyserList &source, qsizetype &result)
{
    TAnalyserList list = op.fromEmpty ? TAnalyserList() : Copy(source);
    QElapsedTimer clock;
    clock.start();
    result = ours ? op.ours(list) : op.plain(list);
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string only = argc > 3 ? argv[3] : "";
    QTemporaryDir dir;
    std::mt19937 rng(2024);
    const TAnalyserList source = CheckedList(entries, rng);
    const QString listPath = dir.filePath(QStringLiteral("list.txt"));
    {
        QFile f(listPath);
        if (!f.open(QIODevice::WriteOnly) || f.write(ListFile(source)) < 0)
            return 1;
    }
    const QString ourOut = dir.filePath(QStringLiteral("ours.txt"));
    const QString plainOut = dir.filePath(QStringLiteral("plain.txt"));

    std::vector<TOperation> ops;
    ops.push_back({"load_file", [&](TAnalyserList &l) { return AppendProxyFile(listPath, l); },
                   [&](TAnalyserList &l) { return PlainLoad(listPath, l); }, true});
    const std::pair<int, const char *> columns[] = {
        {colHost, "host"}, {colPort, "port"}, {colSpeed, "speed"}};
    for (const auto &[column, name] : columns) {
        for (bool ascending : {true, false}) {
            const int c = column;
            ops.push_back({std::string("sort_") + name + (ascending ? "_asc" : "_desc"),
                           [c, ascending](TAnalyserList &l) {
                               SortAnalyserList(l, c, ascending);
                               return qsizetype(l.size());
                           },
                           [c, ascending](TAnalyserList &l) {
                               PlainSort(l, c, ascending);
                               return qsizetype(l.size());
                           }});
        }
    }
    ops.push_back({"remove_duplicates", [](TAnalyserList &l) { return RemoveDuplicates(l); },
                   [](TAnalyserList &l) { return PlainRemoveDuplicates(l); }});
    ops.push_back(
        {"delete_gateways", [](TAnalyserList &l) { return Clean(l, TCleaning::Gateways); },
         [](TAnalyserList &l) {
             return qsizetype(
                 std::erase_if(l, [](const TProxyItem &p) { return p.RemoteAddr != p.Host; }));
         }});
    ops.push_back({"save_all", [&](TAnalyserList &l) { return SaveResults(ourOut, l); },
                   [&](TAnalyserList &l) { return PlainSave(plainOut, l); }});

    std::erase_if(
        ops, [&only](const TOperation &op) { return op.name.find(only) == std::string::npos; });
    const long baseline = PeakKiB();
    // Our side alone first, for its peak memory.
    qsizetype result = 0;
    for (const TOperation &op : ops)
        Timed(op, true, source, result);
    const long oursPeak = PeakKiB();

    std::printf("entries=%d rounds=%d (ms)\n", entries, rounds);
    std::printf("%-20s %10s %10s %7s | %10s %10s %7s\n", "operation", "ours_med", "plain_med",
                "ratio", "ours_min", "plain_min", "ratio");
    bool agree = true;
    for (const TOperation &op : ops) {
        std::vector<double> ours, plain;
        qsizetype ourResult = 0, plainResult = 0;
        for (int r = 0; r < rounds; ++r) { // alternated, so both see the same machine
            ours.push_back(Timed(op, true, source, ourResult));
            plain.push_back(Timed(op, false, source, plainResult));
        }
        agree = agree && ourResult == plainResult;
        std::printf("%-20s %10.1f %10.1f %7.2f | %10.1f %10.1f %7.2f%s\n", op.name.c_str(),
                    Median(ours), Median(plain), Median(plain) / Median(ours), Fastest(ours),
                    Fastest(plain), Fastest(plain) / Fastest(ours),
                    ourResult == plainResult ? "" : "  (results differ!)");
    }
    if (QFile::exists(ourOut))
        agree = agree && leecher::ReadFileBytes(ourOut) == leecher::ReadFileBytes(plainOut);
    std::printf("peak_memory_MiB: list_built=%.0f after_ours=%.0f after_both=%.0f\n",
                double(baseline) / 1024, double(oursPeak) / 1024, double(PeakKiB()) / 1024);
    std::printf("record_bytes=%zu\n", sizeof(TProxyItem));
    return agree ? 0 : 1;
}
