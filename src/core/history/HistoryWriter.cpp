#include "HistoryWriter.h"

#include "history/RowRecord.h"

#include <QMetaObject>

namespace history {

THistoryWriter::THistoryWriter(THistoryDb &history, QObject *context, std::function<void()> ready)
    : FHistory(history), FContext(context), FReady(std::move(ready)), FThread([this] { Work(); })
{
}

THistoryWriter::~THistoryWriter()
{
    {
        const std::lock_guard<std::mutex> held(FLock);
        FStop = true;
    }
    FChanged.notify_all();
    FThread.join();
}

void THistoryWriter::Add(TBatch batch)
{
    {
        const std::lock_guard<std::mutex> held(FLock);
        FWaiting.push_back(std::move(batch));
    }
    FChanged.notify_all();
}

void THistoryWriter::Wait()
{
    std::unique_lock<std::mutex> held(FLock);
    FChanged.wait(held, [this] { return FWaiting.empty() && !FBusy; });
}

std::vector<THistoryWriter::TBatch> THistoryWriter::TakeDone()
{
    const std::lock_guard<std::mutex> held(FLock);
    return std::exchange(FDone, {});
}

bool THistoryWriter::Record(TBatch &batch)
{
    FRecords.clear();
    for (const analyser::TProxyItem &item : batch.Checked)
        FRecords.push_back(RecordOf(item));
    return FHistory.Record(FRecords, &batch.Figures);
}

void THistoryWriter::Work()
{
    std::unique_lock<std::mutex> held(FLock);
    for (;;) {
        // Every batch handed over is done before the thread ends.
        FChanged.wait(held, [this] { return FStop || !FWaiting.empty(); });
        if (FWaiting.empty())
            return;
        TBatch batch = std::move(FWaiting.front());
        FWaiting.pop_front();
        FBusy = true;
        const bool tried = !FFailed;
        held.unlock();
        if (tried)
            batch.Recorded = batch.PruneBefore ? FHistory.Prune(batch.PruneBefore) : Record(batch);
        held.lock();
        FFailed = FFailed || !batch.Recorded;
        FDone.push_back(std::move(batch));
        FBusy = false;
        FChanged.notify_all();
        // The figures go back on the thread of the rows.
        if (FContext && FReady)
            QMetaObject::invokeMethod(FContext, FReady, Qt::QueuedConnection);
    }
}

} // namespace history
