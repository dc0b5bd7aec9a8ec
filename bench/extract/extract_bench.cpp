// Extraction and list-step benchmark.
//
//  1. Throughput of proxy extraction over a ~50 MB corpus of generated pages
//     (HTML tables in three layouts, plain lists, pages without proxies),
//     and in the same run the first pattern with Python's re.finditer over
//     the same pages, for a ratio.
//  2. A 1 MiB page built to make a backtracking engine struggle, next to a
//     normal 1 MiB page.
//  3. One million proxies (a quarter of them duplicates): the end-of-run step
//     (sort, duplicate removal, Proxies.txt) and the column sorts of the view.
//
// Usage: extract_bench [corpus megabytes, default 50]
#include "leecher/Extraction.h"
#include "leecher/PageRegex.h"
#include "lists/EndOfRun.h"
#include "lists/ListFiles.h"
#include "lists/ListSort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace leecher;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Deterministic on every platform: the corpus is the same from run to run.
class Rng
{
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint32_t Next()
    {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return uint32_t(state_ >> 33);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
    uint32_t Between(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }
    template <class T, std::size_t N>
    const T &Pick(const T (&items)[N])
    {
        return items[Below(uint32_t(N))];
    }

private:
    uint64_t state_;
};

// ---------------------------------------------------------------- corpus

const char *const kWords[] = {"the",     "proxy",    "server",  "list",    "free",    "anonymous",
                              "updated", "every",    "minute",  "check",   "country", "speed",
                              "latency", "uptime",   "port",    "address", "our",     "users",
                              "network", "download", "support", "privacy", "policy",  "contact",
                              "best",    "online",   "service", "fast",    "secure",  "connection"};
const char *const kCountries[] = {"United States", "Germany", "Brazil",    "China",
                                  "Russia",        "France",  "Indonesia", "India"};
const char *const kLevels[] = {"transparent", "anonymous", "elite proxy", "high anonymous"};
const int kPorts[] = {80, 8080, 3128, 8000, 1080, 8888, 53281, 443, 9999, 8118, 3129, 6588};

std::string Ip(Rng &rng)
{
    return std::to_string(rng.Between(1, 223)) + '.' + std::to_string(rng.Below(256)) + '.' +
           std::to_string(rng.Below(256)) + '.' + std::to_string(rng.Between(1, 254));
}

std::string Port(Rng &rng)
{
    return std::to_string(rng.Below(5) ? rng.Pick(kPorts) : int(rng.Between(21, 65535)));
}

void Prose(Rng &rng, std::string &out, std::size_t bytes)
{
    const std::size_t end = out.size() + bytes;
    out += "<p>";
    while (out.size() < end) {
        switch (rng.Below(40)) {
        case 0:
            out += "<a href=\"https://www.example";
            out += std::to_string(rng.Below(100));
            out += ".org/docs/page-";
            out += std::to_string(rng.Below(1000));
            out += ".html\">read more</a>";
            break;
        case 1:
            out += "version " + std::to_string(rng.Below(9)) + '.' + std::to_string(rng.Below(20)) +
                   '.' + std::to_string(rng.Below(50));
            break;
        case 2:
            out += "mail support@mail.example.net";
            break;
        case 3:
            out += "at " + std::to_string(rng.Between(10, 23)) + ':' +
                   std::to_string(rng.Between(10, 59));
            break;
        case 4:
            out += "</p>\n<p>";
            break;
        default:
            out += rng.Pick(kWords);
            break;
        }
        out += rng.Below(12) ? " " : ", ";
    }
    out += "</p>\n";
}

void Head(Rng &rng, std::string &out, const char *title)
{
    out += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
    out += title;
    out += " - updated " + std::to_string(rng.Between(10, 28)) + ".0" +
           std::to_string(rng.Between(1, 9)) + ".2024</title>\n";
    out += "<link rel=\"stylesheet\" href=\"/css/site.css\"></head>\n<body>\n<div class=\"nav\">"
           "<a href=\"/\">Home</a> | <a href=\"/lists/http.html\">HTTP</a> | "
           "<a href=\"/lists/socks.html\">SOCKS</a></div>\n";
}

// Host and port in separate cells on separate lines (found by the table
// patterns only), host:port in one cell, or a bold host cell.
std::string TablePage(Rng &rng, std::size_t bytes)
{
    std::string page;
    Head(rng, page, "Free Proxy List");
    Prose(rng, page, 1500);
    page += "<table class=\"proxies\">\n<tr><th>IP Address</th><th>Port</th><th>Country</th>"
            "<th>Anonymity</th><th>Checked</th></tr>\n";
    const uint32_t layout = rng.Below(3);
    while (page.size() + 300 < bytes) {
        const std::string ip = Ip(rng);
        const std::string port = Port(rng);
        switch (layout) {
        case 0:
            page += "<tr>\n  <td>" + ip + "</td>\n  <td>" + port + "</td>\n  <td>" +
                    rng.Pick(kCountries) + "</td>\n  <td>" + rng.Pick(kLevels) + "</td>\n  <td>" +
                    std::to_string(rng.Between(1, 59)) + " minutes ago</td>\n</tr>\n";
            break;
        case 1:
            page += "<tr><td>" + ip + ':' + port + "</td><td>" + rng.Pick(kCountries) +
                    "</td><td>" + rng.Pick(kLevels) + "</td><td>yes</td></tr>\n";
            break;
        default:
            page += "<tr>\n<td><b>" + ip + "</b></td>\n<td>" + port + "</td>\n<td>HTTP</td><td>" +
                    rng.Pick(kCountries) + "</td></tr>\n";
            break;
        }
    }
    page += "</table>\n";
    Prose(rng, page, 200);
    page += "</body></html>\n";
    return page;
}

std::string ListPage(Rng &rng, std::size_t bytes)
{
    std::string page = "# HTTP proxy list, one per line\r\n# format: address:port\r\n\r\n";
    const bool crlf = rng.Below(2);
    while (page.size() < bytes) {
        page += Ip(rng) + ':' + Port(rng);
        switch (rng.Below(4)) {
        case 0:
            page += std::string(" # ") + rng.Pick(kCountries);
            break;
        case 1:
            page += "\tHTTP";
            break;
        default:
            break;
        }
        page += crlf ? "\r\n" : "\n";
    }
    return page;
}

std::string ArticlePage(Rng &rng, std::size_t bytes)
{
    std::string page;
    Head(rng, page, "How proxies work");
    while (page.size() + 100 < bytes)
        Prose(rng, page, 2000);
    page += "</body></html>\n";
    return page;
}

std::vector<std::string> Corpus(std::size_t totalBytes)
{
    Rng rng(0x5eed2024);
    std::vector<std::string> pages;
    std::size_t total = 0;
    while (total < totalBytes) {
        const std::size_t size = rng.Between(20'000, 250'000);
        const uint32_t kind = rng.Below(10);
        pages.push_back(kind < 4   ? TablePage(rng, size)
                        : kind < 7 ? ListPage(rng, size)
                                   : ArticlePage(rng, size));
        total += pages.back().size();
    }
    return pages;
}

// A page with long runs of the host characters and of host-and-space
// characters, none followed by a colon, runs of name characters without a dot
// that do end in a colon and a port, row and cell starts whose cells never
// close, and one cell end that no second cell end follows. Nothing in it is a
// proxy, and a backtracking engine retries every run from every position.
std::string AdversarialPage(std::size_t bytes)
{
    Rng rng(7);
    std::string page = "1.2.3.4</td>";
    const char hostChars[] = "a1.-_@Z9.";
    const char spacedChars[] = "b2. \t\n.-_";
    const char nameChars[] = "a1-_Z9";
    while (page.size() < bytes) {
        const uint32_t kind = rng.Below(3);
        switch (kind == 2 ? 3 : rng.Below(4)) {
        case 0:
            page += "<tr> <td>a.b.";
            break;
        case 1:
            page += "<td> a.b.c.";
            break;
        default:
            break;
        }
        const char *chars = kind == 0 ? hostChars : kind == 1 ? spacedChars : nameChars;
        const uint32_t count = uint32_t(std::strlen(chars));
        const std::size_t run = rng.Between(2000, 6000);
        for (std::size_t i = 0; i < run; ++i)
            page.push_back(chars[rng.Below(count)]);
        page += kind == 2 ? ":8080; " : "; ";
    }
    page.resize(bytes);
    return page;
}

// ---------------------------------------------------------------- python

const char kPythonScript[] = R"PY(
import re, sys, time
data = open(sys.argv[1], 'rb').read()
sizes = [int(x) for x in open(sys.argv[2]).read().split()]
pages, at = [], 0
for n in sizes:
    pages.append(data[at:at + n])
    at += n
p1 = re.compile(rb'[_a-zA-Z0-9\-@.]+[.][_a-zA-Z0-9\-]+[.][_a-zA-Z0-9\-.\t\n\r\f ]+:[0-9]+')
best, count = None, 0
for _ in range(int(sys.argv[3])):
    start = time.perf_counter()
    count = 0
    for page in pages:
        for m in p1.finditer(page):
            m.group(0)
            count += 1
    elapsed = time.perf_counter() - start
    best = elapsed if best is None else min(best, elapsed)
print(best, count)
)PY";

struct PythonResult
{
    bool ok = false;
    bool timedOut = false;
    double seconds = 0;
    long matches = 0;
};

PythonResult RunPython(const QString &dir, const std::vector<std::string> &pages, int repeats,
                       int timeoutMs)
{
    PythonResult result;
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        return result;
    QFile data(dir + QStringLiteral("/corpus.bin"));
    QFile sizes(dir + QStringLiteral("/sizes.txt"));
    QFile script(dir + QStringLiteral("/p1.py"));
    if (!data.open(QIODevice::WriteOnly) || !sizes.open(QIODevice::WriteOnly) ||
        !script.open(QIODevice::WriteOnly))
        return result;
    for (const std::string &page : pages) {
        data.write(page.data(), qint64(page.size()));
        sizes.write(QByteArray::number(qulonglong(page.size())) + '\n');
    }
    script.write(kPythonScript);
    data.close();
    sizes.close();
    script.close();

    QProcess process;
    process.start(python,
                  {script.fileName(), data.fileName(), sizes.fileName(), QString::number(repeats)});
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.timedOut = true;
        return result;
    }
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 2) {
        std::fprintf(stderr, "python failed: %s\n", process.readAllStandardError().constData());
        return result;
    }
    result.ok = true;
    result.seconds = fields[0].toDouble();
    result.matches = fields[1].toLong();
    return result;
}

// ---------------------------------------------------------------- measuring

template <class F>
double Best(int repeats, F &&run)
{
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, Seconds(start));
    }
    return best;
}

double MegaBytes(std::size_t bytes)
{
    return double(bytes) / 1e6;
}

// 750,000 different proxies and 250,000 repeats of them, scattered through the
// list. The records are made in list order, as extraction appends them, so
// their texts lie in memory in that order too.
TProxyList MillionProxies()
{
    Rng rng(1'000'000);
    std::vector<std::pair<std::string, std::string>> unique;
    unique.reserve(750'000);
    for (int i = 0; i < 750'000; ++i)
        unique.emplace_back(Ip(rng), Port(rng));
    std::vector<uint32_t> picks(unique.size());
    for (uint32_t i = 0; i < picks.size(); ++i)
        picks[i] = i;
    for (int i = 0; i < 250'000; ++i)
        picks.push_back(rng.Below(uint32_t(unique.size())));
    for (std::size_t i = picks.size() - 1; i > 0; --i)
        std::swap(picks[i], picks[rng.Below(uint32_t(i + 1))]);
    TProxyList list;
    list.reserve(picks.size());
    for (uint32_t pick : picks) {
        const auto &[host, port] = unique[pick];
        list.push_back(TProxyItem{QByteArray(host.data(), qsizetype(host.size())),
                                  QByteArray(port.data(), qsizetype(port.size()))});
    }
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::size_t corpusMb = argc > 1 ? std::size_t(std::atol(argv[1])) : 50;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }

    // 1. Corpus throughput.
    const std::vector<std::string> corpus = Corpus(corpusMb * 1'000'000);
    std::size_t corpusBytes = 0;
    for (const std::string &p : corpus)
        corpusBytes += p.size();
    std::vector<QByteArray> pages;
    for (const std::string &p : corpus)
        pages.push_back(QByteArray::fromRawData(p.data(), qsizetype(p.size())));

    // Pattern 1 twice: searched over the whole page, and as extraction
    // searches it (only the stretches around a colon and a digit).
    long p1Matches = 0, plainMatches = 0;
    const double p1Time = Best(3, [&] {
        p1Matches = 0;
        for (const QByteArray &page : pages)
            p1Matches += long(ProxyPattern(1).FindAll(page).size());
    });
    const double plainTime = Best(3, [&] {
        plainMatches = 0;
        for (const QByteArray &page : pages)
            plainMatches += long(FindPlainMatches(page).size());
    });
    long candidates = 0, accepted = 0, special = 0;
    const double fullTime = Best(3, [&] {
        candidates = accepted = special = 0;
        for (const QByteArray &page : pages) {
            const TExtraction r = ExtractProxies(page, true);
            candidates += long(r.Count);
            accepted += long(r.Proxies.size());
            special += r.Pattern > 1 ? 1 : 0;
        }
    });
    const PythonResult py = RunPython(dir.path(), corpus, 3, 600'000);

    std::printf("corpus: %zu pages, %.1f MB (seed fixed)\n", corpus.size(), MegaBytes(corpusBytes));
    std::printf("pattern 1, whole pages:  %8.3f s  %8.1f MB/s  %ld matches\n", p1Time,
                MegaBytes(corpusBytes) / p1Time, p1Matches);
    std::printf("pattern 1, as extracted: %8.3f s  %8.1f MB/s  %ld matches\n", plainTime,
                MegaBytes(corpusBytes) / plainTime, plainMatches);
    if (py.ok) {
        std::printf("pattern 1, python re:    %8.3f s  %8.1f MB/s  %ld matches\n", py.seconds,
                    MegaBytes(corpusBytes) / py.seconds, py.matches);
        const bool same = py.matches == p1Matches && py.matches == plainMatches;
        std::printf("ratio to python:         %8.1f x whole pages, %.1f x as extracted %s\n",
                    py.seconds / p1Time, py.seconds / plainTime,
                    same ? "(same matches)" : "(MATCH COUNTS DIFFER)");
    } else {
        std::printf("pattern 1, python re:    not run (%s)\n",
                    py.timedOut ? "timed out" : "python3 unavailable");
    }
    std::printf("full extraction (fallback on): %8.3f s  %8.1f MB/s  %ld candidates, %ld "
                "accepted, %ld pages by table patterns\n",
                fullTime, MegaBytes(corpusBytes) / fullTime, candidates, accepted, special);

    // 2. Adversarial page against a normal page of the same size.
    constexpr std::size_t kMiB = 1 << 20;
    const QByteArray hostile = QByteArray::fromStdString(AdversarialPage(kMiB));
    Rng normalRng(99);
    QByteArray normal = QByteArray::fromStdString(TablePage(normalRng, kMiB));
    normal.resize(kMiB);
    qsizetype hostileCount = 0, normalCount = 0;
    const double hostileTime = Best(5, [&] { hostileCount = ExtractProxies(hostile, true).Count; });
    const double normalTime = Best(5, [&] { normalCount = ExtractProxies(normal, true).Count; });
    std::printf("1 MiB normal table page:  %8.4f s  (%lld candidates)\n", normalTime,
                static_cast<long long>(normalCount));
    std::printf("1 MiB adversarial page:   %8.4f s  (%lld candidates)  ratio %.2f x\n", hostileTime,
                static_cast<long long>(hostileCount), hostileTime / normalTime);
    const PythonResult pyHostile = RunPython(dir.path(), {hostile.toStdString()}, 1, 20'000);
    if (pyHostile.ok)
        std::printf("  python re, pattern 1 on it: %.3f s\n", pyHostile.seconds);
    else if (pyHostile.timedOut)
        std::printf("  python re, pattern 1 on it: gave up after 20 s\n");

    // 3. One million proxies; best of three, each on a fresh copy.
    const TProxyList million = MillionProxies();
    TEndOfRunResult step;
    double stepTime = 1e300;
    for (int i = 0; i < 3; ++i) {
        TProxyList list = million;
        const auto start = Clock::now();
        step = EndOfRunFileStep(list, dir.path(), true, true);
        stepTime = std::min(stepTime, Seconds(start));
    }
    std::printf("end-of-run step, 1,000,000 proxies: %.3f s  (removed %lld, wrote %.1f MB)\n",
                stepTime, static_cast<long long>(step.Removed),
                MegaBytes(std::size_t(QFile(ProxiesTxtPath(dir.path())).size())));
    for (int column = 0; column < 2; ++column) {
        double up = 1e300, down = 1e300;
        for (int i = 0; i < 3; ++i) {
            TProxyList list = million;
            auto start = Clock::now();
            SortProxyList(list, column, true);
            up = std::min(up, Seconds(start));
            start = Clock::now();
            SortProxyList(list, column, false);
            down = std::min(down, Seconds(start));
        }
        std::printf("column %d sort, 1,000,000 proxies: %.3f s ascending, %.3f s descending "
                    "(the latter from sorted)\n",
                    column, up, down);
    }
    return 0;
}
