// The check history and the location lookup, measured apart from any run:
//   record:   100,000 results recorded in batches (as a run does), first as
//             new proxies, then as second checks of the same proxies;
//   lookup:   a million lookups of numeric addresses in a country and an ASN
//             database (the tests' own, written by their Perl writer);
//   listing:  `vexo-cli history` over 1,000,000 checks of 100,000 proxies,
//             in-process: the listing read and written as csv, all of it and
//             filtered.
// Prints key=value lines.
//
//   history_bench [--proxies 100000] [--checks-per-proxy 10]
#include "ResultFormats.h"
#include "history/CheckRecorder.h"
#include "history/HistoryDb.h"
#include "location/Locator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

constexpr qint64 Now = qint64(1796832005) * 1000;

history::TCheckRecord Record(long I, long Round)
{
    history::TCheckRecord R;
    R.Host = "10." + QByteArray::number(I >> 16) + '.' + QByteArray::number((I >> 8) & 255) + '.' +
             QByteArray::number(I & 255);
    R.Port = "8080";
    R.At = Now - (Round + 1) * 3600 * 1000 + I;
    const bool Good = (I + Round) % 3 == 0;
    R.State = Good ? 6 : 3;
    R.Status = Good ? "200 - OK" : "Timeout";
    R.Level = Good ? "3" : "";
    R.Anonymous = Good ? "Yes" : "";
    R.SpeedMs = Good ? int(100 + I % 900) : -1;
    R.Gateway = Good ? R.Host : QByteArray();
    R.Exit = R.Host;
    R.Country = Good ? "DE" : "";
    return R;
}

// Seconds to record `Count` results of round `Round` in batches of a run's size.
double RecordRound(history::THistoryDb &Db, long Count, long Round)
{
    std::vector<history::TCheckRecord> Batch;
    std::vector<history::TFigures> Figures;
    QElapsedTimer Clock;
    Clock.start();
    for (long I = 0; I < Count; ++I) {
        Batch.push_back(Record(I, Round));
        if (Batch.size() == history::TCheckRecorder::BatchRows || I + 1 == Count) {
            if (!Db.Record(Batch, &Figures)) {
                std::fprintf(stderr, "%s\n", qPrintable(Db.Error()));
                return -1;
            }
            Batch.clear();
        }
    }
    return double(Clock.nsecsElapsed()) / 1e9;
}

double ListSeconds(history::THistoryDb &Db, const history::THistoryFilter &Filter, size_t &Rows)
{
    QElapsedTimer Clock;
    Clock.start();
    analyser::TAnalyserList List;
    Db.List(Filter,
            [&List](const history::TProxyHistory &H) { List.push_back(history::ItemOf(H)); });
    const QByteArray Csv =
        cli::FormatCheckResults(List, cli::TFormat::Csv, cli::TLineEnd::Lf, false);
    Rows = List.size();
    return Csv.isEmpty() ? -1 : double(Clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    long Proxies = 100000, PerProxy = 10;
    for (int I = 1; I + 1 < argc; I += 2) {
        const QByteArray Key = argv[I];
        if (Key == "--proxies")
            Proxies = std::max(1L, std::atol(argv[I + 1]));
        else if (Key == "--checks-per-proxy")
            PerProxy = std::max(1L, std::atol(argv[I + 1]));
    }
    QTemporaryDir Folder;
    history::THistoryDb Db;
    if (!Db.Open(Folder.filePath(QStringLiteral("History.sqlite")))) {
        std::fprintf(stderr, "%s\n", qPrintable(Db.Error()));
        return 1;
    }
    const double New = RecordRound(Db, Proxies, 0);
    const double Again = RecordRound(Db, Proxies, 1);
    std::printf("record_results=%ld\nrecord_new_seconds=%.3f\nrecord_again_seconds=%.3f\n", Proxies,
                New, Again);
    std::printf("record_us_per_result=%.2f\n", (New + Again) * 1e6 / double(2 * Proxies));

    // Lookups in the tests' databases.
    QProcess Writer;
    Writer.start(QStringLiteral("perl"), {QStringLiteral(VEXO_LOCATION_WRITER), Folder.path()});
    if (!Writer.waitForFinished(30000) || Writer.exitCode() != 0) {
        std::fprintf(stderr, "the location databases were not written\n");
        return 1;
    }
    geo::TLocator Locator;
    Locator.Open(Folder.filePath(QStringLiteral("Test-City.mmdb")),
                 Folder.filePath(QStringLiteral("Test-ASN.mmdb")), {});
    const QByteArray Addresses[] = {"127.0.0.9", "127.0.1.77", "192.0.2.200", "203.0.113.5",
                                    "2001:db8::7"};
    constexpr long Lookups = 1000000;
    quint64 Found = 0;
    QElapsedTimer Clock;
    Clock.start();
    for (long I = 0; I < Lookups; ++I)
        Found += Locator.Locate(Addresses[I % 5]).Asn;
    const double LookupNs = double(Clock.nsecsElapsed()) / double(Lookups);
    analyser::TProxyItem Item;
    Item.Host = "127.0.0.9";
    Item.RemoteAddr = "192.0.2.200";
    Clock.start();
    for (long I = 0; I < Lookups; ++I)
        Locator.Fill(Item);
    const double FillNs = double(Clock.nsecsElapsed()) / double(Lookups);
    std::printf("lookup_ns=%.0f\nfill_row_ns=%.0f\nlookup_checksum=%llu\n", LookupNs, FillNs,
                static_cast<unsigned long long>(Found));

    // The listing over PerProxy checks of each proxy.
    for (long Round = 2; Round < PerProxy; ++Round)
        RecordRound(Db, Proxies, Round);
    size_t Rows = 0;
    std::printf("listing_checks=%ld\nlisting_proxies=%ld\n", Proxies * PerProxy, Proxies);
    std::printf("listing_all_seconds=%.3f\n", ListSeconds(Db, {}, Rows));
    std::printf("listing_all_rows=%zu\n", Rows);
    history::THistoryFilter Filter;
    Filter.GoodSince = Now - 24 * 3600 * 1000;
    Filter.MinUptime = 25;
    Filter.Countries = {"DE"};
    std::printf("listing_filtered_seconds=%.3f\n", ListSeconds(Db, Filter, Rows));
    std::printf("listing_filtered_rows=%zu\n", Rows);
    const double Prune = [&] {
        QElapsedTimer C;
        C.start();
        Db.Prune(Now - qint64(PerProxy / 2) * 3600 * 1000);
        return double(C.nsecsElapsed()) / 1e9;
    }();
    std::printf("prune_half_seconds=%.3f\n", Prune);
    return 0;
}
