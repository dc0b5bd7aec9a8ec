#include "RunWait.h"

#include <QTimer>

namespace cli {

TRunWait::TRunWait(TProgress &progress, std::function<void()> abort, std::function<void()> shutdown)
    : FProgress(progress), FAbort(std::move(abort)), FShutdown(std::move(shutdown))
{
    QObject::connect(&FSignals, &util::TStopSignals::stopAsked, &FLoop, [this](int count) {
        if (count == 1) {
            FProgress.Say(QStringLiteral("Stopping: the requests under way end first (interrupt "
                                         "again to stop at once)."));
            FAbort();
            return;
        }
        FProgress.Say(QStringLiteral("Stopping at once."));
        FForced = true;
        FShutdown();
        FLoop.quit();
    });
}

void TRunWait::StopAfter(qint64 ms, const QString &message)
{
    QTimer::singleShot(std::chrono::milliseconds(ms), &FLoop, [this, message] {
        if (Interrupted())
            return;
        FProgress.Say(message);
        FAbort();
    });
}

void TRunWait::Exec(const std::function<bool()> &running)
{
    if (running() && !FForced)
        FLoop.exec();
}

} // namespace cli
