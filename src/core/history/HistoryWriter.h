// Records batches of checks in the history on a thread of its own, so that
// a check run never waits for the file: a batch is handed over at once and
// its figures come back later, on the thread that handed it over.
#pragma once

#include "analyser/ProxyItem.h"
#include "history/HistoryDb.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace history {

class THistoryWriter
{
public:
    struct TBatch
    {
        std::vector<int> Rows; // the list rows of the checks, for the caller
        // The rows as their checks ended. Their texts are held inline, so
        // copying a row allocates nothing on the run's thread; the records
        // are made from them on the writer's.
        std::vector<analyser::TProxyItem> Checked;
        std::vector<TFigures> Figures; // filled when recorded
        // Not 0: no records, but the checks before this time are removed.
        qint64 PruneBefore = 0;
        bool Recorded = false;
    };

    // `history` is used by the writer's thread alone while batches are under
    // way; `ready` is called on `context`'s thread after each batch.
    THistoryWriter(THistoryDb &history, QObject *context, std::function<void()> ready);
    // Waits for the batches handed over.
    ~THistoryWriter();
    THistoryWriter(const THistoryWriter &) = delete;
    THistoryWriter &operator=(const THistoryWriter &) = delete;

    void Add(TBatch batch);
    // Blocks until every batch handed over has been recorded (or refused).
    void Wait();
    // The batches done so far, in the order handed over. After one that was
    // not recorded, the rest are not tried (History().Error() says why).
    std::vector<TBatch> TakeDone();

private:
    void Work();
    bool Record(TBatch &batch);

    THistoryDb &FHistory;
    QObject *FContext; // outlives the writer (its owner)
    std::function<void()> FReady;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TBatch> FWaiting;
    std::vector<TBatch> FDone;
    bool FBusy = false;
    bool FFailed = false;
    bool FStop = false;
    std::vector<TCheckRecord> FRecords; // the writer thread's, reused batch to batch
    std::thread FThread;
};

} // namespace history
