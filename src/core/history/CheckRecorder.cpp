#include "CheckRecorder.h"

#include "analyser/CheckRun.h"
#include "settings/OptionsFile.h"

#include <QDir>

#include <QDateTime>

#include <utility>

namespace history {

bool CheckEnded(const analyser::TProxyItem &item)
{
    return item.State != analyser::psNone && item.Status.view() != QByteArrayView("Analyzing") &&
           item.Status.view() != QByteArrayView("Retrying");
}

TCheckRecord RecordOf(const analyser::TProxyItem &item)
{
    TCheckRecord r;
    r.Type = item.Type;
    r.Host = item.Host.view().toByteArray();
    r.Port = item.Port.view().toByteArray();
    r.At = item.CheckedAt;
    r.State = item.State;
    r.Status = item.Status.view().toByteArray();
    r.Level = item.Level.view().toByteArray();
    r.Anonymous = item.Anonymous.view().toByteArray();
    bool ok = false;
    const int speed = item.Speed.view().toInt(&ok);
    r.SpeedMs = ok && speed >= 0 ? speed : -1;
    r.Gateway = item.RemoteAddr.view().toByteArray();
    r.Exit = geo::ExitAddress(item);
    r.Country = item.Country.view().toByteArray();
    return r;
}

analyser::TProxyItem ItemOf(const TProxyHistory &h)
{
    analyser::TProxyItem item;
    item.Type = h.Last.Type;
    item.Host = h.Last.Host;
    item.Port = h.Last.Port;
    item.State = h.Last.State;
    item.Status = h.Last.Status;
    item.RemoteAddr = h.Last.Gateway;
    item.Anonymous = h.Last.Anonymous;
    item.Level = h.Last.Level;
    if (h.Last.SpeedMs >= 0)
        item.Speed = QByteArray::number(h.Last.SpeedMs);
    item.CheckedAt = h.Last.At;
    item.Country = analyser::TCountryCode(h.Last.Country);
    item.Checks = h.Figures.Checks;
    item.Goods = h.Figures.Goods;
    item.LastGood = h.Figures.LastGood;
    return item;
}

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
    FPending.Rows.push_back(index);
    FPending.Records.push_back(RecordOf(item));
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
            const TCheckRecord &r = batch.Records[i];
            // The list may have been reordered meanwhile: only the same
            // proxy takes the figures.
            if (item.Host.view() != QByteArrayView(r.Host) ||
                item.Port.view() != QByteArrayView(r.Port) || item.Type != r.Type)
                continue;
            item.Checks = batch.Figures[i].Checks;
            item.Goods = batch.Figures[i].Goods;
            item.LastGood = batch.Figures[i].LastGood;
            Q_EMIT rowChanged(index);
        }
    }
}

} // namespace history
