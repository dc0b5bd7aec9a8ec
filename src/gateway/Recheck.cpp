#include "Recheck.h"

#include <QPointer>

namespace gateway {

TRecheck::TRecheck(TPool &pool, analyser::TAnalyserList list, analyser::TCheckInputValues inputs,
                   QObject *parent)
    : QObject(parent), FPool(pool), FSource(std::move(list)), FInputs(std::move(inputs))
{
    FInputs.bots = std::clamp(FInputs.bots, 1, RecheckBots);
    connect(&FTimer, &QTimer::timeout, this, [this] { CheckNow(); });
}

TRecheck::~TRecheck()
{
    if (FRun)
        FRun->Shutdown();
}

void TRecheck::Start(int intervalMs)
{
    FTimer.start(intervalMs);
}

bool TRecheck::CheckNow()
{
    if (FRun || FSource.empty())
        return false;
    // Every entry from scratch: the file's verdicts are not the check's.
    FList.clear();
    for (const analyser::TProxyItem &e : FSource) {
        analyser::TProxyItem entry;
        entry.Host = e.Host;
        entry.Port = e.Port;
        entry.Type = e.Type;
        FList.push_back(entry);
    }
    FState = analyser::TCheckRunState();
    FRun = std::make_unique<analyser::TCheckRun>(FList, FState, FInputs);
    FRun->SetBotLimit(FInputs.bots);
    if (FWaitInterval)
        FRun->SetWaitInterval(FWaitInterval);
    connect(FRun.get(), &analyser::TCheckRun::finished, this, &TRecheck::Finished,
            Qt::QueuedConnection);
    if (!FRun->Start()) {
        FRun.reset();
        return false;
    }
    return true;
}

void TRecheck::Finished()
{
    FRun->Shutdown();
    FRun.reset();
    TUpstreams good = UpstreamsFromList(FList, false);
    const int count = int(good.size());
    // A check that found nothing good says more about the judge or the
    // network than about the proxies: the pool stays as it is.
    if (count > 0)
        FPool.Replace(std::move(good));
    Q_EMIT swapped(count, int(FList.size()));
}

} // namespace gateway
