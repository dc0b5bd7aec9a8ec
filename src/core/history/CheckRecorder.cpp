#include "CheckRecorder.h"

#include "analyser/CheckRun.h"
#include "settings/OptionsFile.h"

#include <QDir>

#include <QDateTime>

#include <utility>

namespace history {

TRecordingSettings RecordingSettings(const QString &dataFolder,
                                     const settings::TProxyCheckerSection &section)
{
    TRecordingSettings r;
    // A relative database name is one in the data folder.
    const QDir folder(dataFolder);
    if (!section.geoDatabase.isEmpty())
        r.GeoDatabase = folder.absoluteFilePath(section.geoDatabase);
    if (!section.asnDatabase.isEmpty())
        r.AsnDatabase = folder.absoluteFilePath(section.asnDatabase);
    r.SearchFolders = geo::LocationSearchFolders(dataFolder);
    r.History = section.history;
    r.HistoryPath = folder.filePath(QLatin1StringView(HistoryFileName));
    r.HistoryDays = section.historyDays;
    return r;
}

QStringList TCheckRecorder::Open(const TRecordingSettings &settings)
{
    Flush();
    StopWriter();
    QStringList messages =
        FLocator.Open(settings.GeoDatabase, settings.AsnDatabase, settings.SearchFolders);
    FHistory.Close();
    if (!settings.History)
        return messages;
    const qint64 keptFrom =
        QDateTime::currentMSecsSinceEpoch() - qint64(settings.HistoryDays) * 24 * 3600 * 1000;
    if (!FHistory.Open(settings.HistoryPath)) {
        messages << FHistory.Error() + QStringLiteral(" Checks are not recorded this time.");
        FHistory.Close();
        return messages;
    }
    FWriter = std::make_unique<THistoryWriter>(FHistory, this, [this] { TakeRecorded(); });
    // Tidying a long history can take a while: the writer does it first,
    // off the thread of the window or the run.
    THistoryWriter::TBatch prune;
    prune.PruneBefore = keptFrom;
    FWriter->Add(std::move(prune));
    return messages;
}

TCheckRecorder::TCheckRecorder(analyser::TAnalyserList &list, QObject *parent)
    : QObject(parent), FList(&list)
{
    FTimer.setSingleShot(true);
    FTimer.setInterval(BatchDelayMs);
    connect(&FTimer, &QTimer::timeout, this, &TCheckRecorder::HandOver);
}

TCheckRecorder::~TCheckRecorder()
{
    // What ended is still recorded; no row takes figures any more.
    HandOver();
    FWriter.reset();
}

void TCheckRecorder::StopWriter()
{
    FTimer.stop();
    FPending = {};
    FWriter.reset(); // waits for what it still writes
}

void TCheckRecorder::Follow(analyser::TCheckRun &run)
{
    connect(&run, &analyser::TCheckRun::rowChanged, this, &TCheckRecorder::RowEnded);
}

void TCheckRecorder::RowEnded(int index)
{
    if (index < 0 || size_t(index) >= FList->size())
        return;
    analyser::TProxyItem &item = (*FList)[size_t(index)];
    if (!CheckEnded(item))
        return;
    item.CheckedAt = QDateTime::currentMSecsSinceEpoch();
    FLocator.Fill(item);
    if (!FWriter)
        return;
    if (FPending.Rows.empty()) { // a new batch: room for all of it at once
        FPending.Rows.reserve(BatchRows);
        FPending.Checked.reserve(BatchRows);
    }
    FPending.Rows.push_back(index);
    FPending.Checked.push_back(item);
    if (FPending.Rows.size() >= BatchRows)
        HandOver();
    else if (!FTimer.isActive())
        FTimer.start();
}

void TCheckRecorder::HandOver()
{
    FTimer.stop();
    if (FWriter && !FPending.Rows.empty())
        FWriter->Add(std::exchange(FPending, {}));
}

THistoryDb &TCheckRecorder::History()
{
    Flush();
    return FHistory;
}

void TCheckRecorder::Flush()
{
    HandOver();
    if (!FWriter)
        return;
    FWriter->Wait();
    TakeRecorded();
}

void TCheckRecorder::TakeRecorded()
{
    if (!FWriter)
        return;
    for (const THistoryWriter::TBatch &batch : FWriter->TakeDone()) {
        if (!batch.Recorded) {
            // Nothing more is written: the writer tries no further batch.
            StopWriter();
            FHistory.Close();
            Q_EMIT historyFailed(FHistory.Error() +
                                 QStringLiteral(" Checks are not recorded from here on."));
            return;
        }
        for (size_t i = 0; i < batch.Rows.size() && i < batch.Figures.size(); ++i) {
            const int index = batch.Rows[i];
            if (size_t(index) >= FList->size())
                continue;
            analyser::TProxyItem &item = (*FList)[size_t(index)];
            const analyser::TProxyItem &checked = batch.Checked[i];
            // The list may have been reordered meanwhile: only the same
            // proxy takes the figures.
            if (item.Host != checked.Host || item.Port != checked.Port || item.Type != checked.Type)
                continue;
            item.Checks = batch.Figures[i].Checks;
            item.Goods = batch.Figures[i].Goods;
            item.LastGood = batch.Figures[i].LastGood;
            Q_EMIT rowChanged(index);
        }
    }
}

} // namespace history
