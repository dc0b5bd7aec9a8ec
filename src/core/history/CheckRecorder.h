// What happens to each row of a check run when its check ends, beside what
// the run itself records: the time is stamped, the location is looked up,
// and the check goes into the history, whose figures come back to the row.
//
// History is written in batches (one transaction per batch, never one per
// row) on a thread of its own (THistoryWriter), so that the run never waits
// for the file: a batch goes when it is full and a second after its first
// row; Flush (the front end calls it when the run has finished) hands over
// the rest and waits until everything is recorded.
#pragma once

#include "analyser/ProxyItem.h"
#include "history/HistoryDb.h"
#include "history/HistoryWriter.h"
#include "history/RowRecord.h"
#include "location/Locator.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <vector>

namespace analyser {
class TCheckRun;
}
namespace settings {
struct TProxyCheckerSection;
}

namespace history {

// Where the recorder finds its databases and what it keeps.
struct TRecordingSettings
{
    QString GeoDatabase; // empty: the first country or city database found
    QString AsnDatabase; // empty: the first ASN database found
    QStringList SearchFolders;
    bool History = true;
    QString HistoryPath; // the history file
    int HistoryDays = DefaultHistoryDays;
};

// The settings of the check history and location for a data folder and the
// ProxyChecker section of its Options.ini.
TRecordingSettings RecordingSettings(const QString &dataFolder,
                                     const settings::TProxyCheckerSection &section);

class TCheckRecorder : public QObject
{
    Q_OBJECT
public:
    static constexpr size_t BatchRows = 1024;
    static constexpr int BatchDelayMs = 1000;

    explicit TCheckRecorder(analyser::TAnalyserList &list, QObject *parent = nullptr);
    ~TCheckRecorder() override;
    // The list whose rows the run checks, when another than the one given
    // at the start (before the run starts).
    void SetList(analyser::TAnalyserList &list) { FList = &list; }

    // Opens the location databases and, when asked for, the history, whose
    // checks older than its days are then removed by the writer (a failure
    // there comes as historyFailed). Returns what the user should be told
    // (each once): databases missing or unusable, a history that cannot be
    // opened (the check goes on without it).
    QStringList Open(const TRecordingSettings &settings);
    const geo::TLocator &Locator() const { return FLocator; }
    // Open while checks are recorded; closed when switched off or failed.
    // Waits until the writer is done with it (Flush), so read it before a
    // run or after one, not while checks are recorded.
    THistoryDb &History();
    // Follows the run's rows from now on.
    void Follow(analyser::TCheckRun &run);
    // The row's check ended: stamp, locate, queue.
    void RowEnded(int index);
    // Records what is queued, waits for it, and gives the rows their figures.
    void Flush();

Q_SIGNALS:
    // A row's figures changed after its check was recorded.
    void rowChanged(int index);
    // The history could not be written (said once; recording stops).
    void historyFailed(const QString &message);

private:
    // Hands the rows queued so far to the writer.
    void HandOver();
    // Gives the rows of the recorded batches their figures.
    void TakeRecorded();
    void StopWriter();

    analyser::TAnalyserList *FList;
    geo::TLocator FLocator;
    THistoryDb FHistory;
    THistoryWriter::TBatch FPending;
    QTimer FTimer;
    // After FHistory: it goes first, waiting for what it still writes.
    std::unique_ptr<THistoryWriter> FWriter;
};

} // namespace history
