// history: the proxies of the check history with their figures, as check
// prints its results (so that merge and --import take them up again), and
// --import, which records a result file of check in the history.
#include "CliSettings.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "InputFiles.h"
#include "OutputFile.h"
#include "ResultFormats.h"

#include "history/CheckRecorder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace cli {

namespace {

int ListHistory(const TCliCommand &c, history::THistoryDb &db,
                const history::TRecordingSettings &settings, const TOutput &output)
{
    history::THistoryFilter filter;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (c.History.GoodWithinMs > 0)
        filter.GoodSince = now - c.History.GoodWithinMs;
    filter.MinUptime = c.History.MinUptime;
    filter.Countries = c.History.Countries;
    filter.Type = c.History.Type;
    // The names of countries and networks come from the location databases
    // when there are any; the history keeps the country's code.
    geo::TLocator locator;
    locator.Open(settings.GeoDatabase, settings.AsnDatabase, settings.SearchFolders);
    analyser::TAnalyserList rows;
    if (!db.List(filter, [&](const history::TProxyHistory &h) {
            analyser::TProxyItem item = history::ItemOf(h);
            const analyser::TCountryCode recorded = item.Country;
            locator.Fill(item);
            if (!recorded.isEmpty())
                item.Country = recorded;
            rows.push_back(std::move(item));
        })) {
        Complain(db.Error());
        return ExitBadInput;
    }
    try {
        output.Write(FormatCheckResults(rows, c.Format, output.TxtLineEnd(), false));
    } catch (const leecher::EFileError &e) {
        Complain(e.Message());
        return ExitBadInput;
    }
    return rows.empty() ? ExitNothing : ExitDone;
}

int ImportResults(const TCliCommand &c, history::THistoryDb &db)
{
    analyser::TAnalyserList rows;
    try {
        TListForm form = TListForm::ProxyLines;
        rows = ProxiesFromText(ReadTextFile(c.History.Import, MaxResultLineBytes).Text,
                               c.History.Import, &form);
        if (form == TListForm::ProxyLines)
            throw leecher::EFileError(c.History.Import,
                                      QStringLiteral("%1 is a plain proxy list: --import takes "
                                                     "a result of check in csv or json form.")
                                          .arg(DisplayName(c.History.Import)));
    } catch (const leecher::EFileError &e) {
        Complain(e.Message());
        return ExitBadInput;
    }
    // A row without a time was checked at an unknown moment: it counts as
    // checked now.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    std::vector<history::TCheckRecord> batch;
    qint64 recorded = 0;
    for (size_t i = 0; i <= rows.size(); ++i) {
        if (i < rows.size() && history::CheckEnded(rows[i])) {
            batch.push_back(history::RecordOf(rows[i]));
            if (batch.back().At <= 0)
                batch.back().At = now;
        }
        if (batch.size() >= history::TCheckRecorder::BatchRows ||
            (i == rows.size() && !batch.empty())) {
            if (!db.Record(batch)) {
                Complain(db.Error());
                return ExitBadInput;
            }
            recorded += qint64(batch.size());
            batch.clear();
        }
    }
    if (!c.Quiet)
        Complain(QStringLiteral("%1 checks of %2 recorded in %3.")
                     .arg(recorded)
                     .arg(DisplayName(c.History.Import))
                     .arg(QDir::toNativeSeparators(db.Path())));
    return recorded == 0 ? ExitNothing : ExitDone;
}

} // namespace

int RunHistoryCommand(const TCliCommand &c, const QString &folder)
{
    const TOutput output(c.Output);
    history::TRecordingSettings settings;
    try {
        output.Check();
        settings = ReadRecordingSettings(folder, true);
    } catch (const leecher::EFileError &e) {
        Complain(e.Message());
        return ExitBadInput;
    }
    const bool importing = !c.History.Import.isEmpty();
    if (!importing && !QFileInfo::exists(settings.HistoryPath)) {
        Complain(QStringLiteral("There is no check history in %1 yet: check records one.")
                     .arg(QDir::toNativeSeparators(folder)));
        return ExitNothing;
    }
    history::THistoryDb db;
    if (!db.Open(settings.HistoryPath)) {
        Complain(db.Error());
        return ExitBadInput;
    }
    return importing ? ImportResults(c, db) : ListHistory(c, db, settings, output);
}

} // namespace cli
