#include "analyser/CheckRun.h"

#include "analyser/JudgeAnalysis.h"
#include "analyser/ProxyEntries.h"
#include "leecher/Leech.h"
#include "leecher/SiteRun.h"
#include "net/HttpProt.h"
#include "net/ProxyType.h"
#include "net/Wait.h"
#include "util/TickCount.h"

#include <algorithm>
#include <cstring>

namespace analyser {

using net::THttpCli;

namespace {

QByteArray StatusText(const THttpCli *client)
{
    return QByteArray::number(client->StatusCode()) + " - " + client->ReasonPhrase();
}

// The order in which type detection tries a proxy.
constexpr net::TProxyType DetectOrder[] = {net::ptHttp, net::ptSocks5, net::ptSocks4};
constexpr int DetectTries = int(std::size(DetectOrder));

void Aim(THttpCli *client, const TProxyItem &entry, net::TProxyType type)
{
    net::UseProxy(*client, type, entry.Host.toByteArray(), entry.Port.toByteArray());
}

} // namespace

TCheckRun::TCheckRun(TAnalyserList &list, TCheckRunState &state, ICheckInputs &inputs,
                     QObject *parent)
    : QObject(parent), FList(list), FState(state), FInputs(inputs),
      FDeadlines([this](int bot) { AWaitTimeout(bot); }),
      FWaitInterval(net::TWait::DefaultInterval())
{
}

TCheckRun::~TCheckRun()
{
    Shutdown();
}

// ---------------------------------------------------------------------------
// Starting

bool TCheckRun::Start()
{
    if (FRunning || FList.empty())
        return false;
    const quint32 generation = FGeneration;
    FRunning = true;
    FState.StopRequested = false;
    FState.NextEntry = 0;
    FState.GoodCount = FState.BadCount = FState.TimeoutCount = FState.RetryCount = 0;
    // With more than one mode set, the first of bad, timeouts, unknown applies.
    FModeSet = FState.RetryBadMode || FState.RetryTimeoutMode || FState.RetryUnknownMode;
    FModeState = FState.RetryBadMode       ? psBad
                 : FState.RetryTimeoutMode ? psTimeout
                 : FState.RetryUnknownMode ? psUnknown
                                           : psNone;
    Q_EMIT runningChanged(true);
    if (!Current(generation))
        return true;

    const QString judge = FInputs.JudgeURL();
    if (!FInputs.JudgeItems().contains(judge, Qt::CaseSensitive))
        FInputs.AddJudgeItem(judge);
    if (FInputs.TimeoutText().isEmpty())
        FInputs.SetTimeoutText(QStringLiteral("8"));
    FJudgeURL = judge.toUtf8();
    FVerifyCertificates = !FJudgeURL.startsWith("https://") || FInputs.VerifyCertificates();
    FTimeoutText = FInputs.TimeoutText();
    FMachineAddresses = FInputs.MachineAddresses();
    FDetect = FInputs.DetectType();
    FAborted = false;

    FLiveBots.clear();
    FBotClients.clear();
    FParked.clear();
    FProgressMax = int(FList.size());
    FProgress = 0;
    Q_EMIT progressChanged(FProgress, FProgressMax);
    if (!Current(generation))
        return true;

    CreateBots();
    // A retry mode that found no entry of its state: the run ends at once,
    // the gauge standing full.
    if (Current(generation) && FLiveBots.empty())
        EndOfRun();
    return true;
}

void TCheckRun::CreateBots()
{
    const quint32 generation = FGeneration;
    // A run without bots would never end.
    const int bots = std::clamp(FInputs.Bots(), 1, FBotLimit);
    if (FBotPage.size() < size_t(bots))
        FBotPage.resize(size_t(bots));
    FBotStartTick.assign(size_t(bots), 0);
    FBotOverflow.assign(size_t(bots), false);
    FBotRepeats.assign(size_t(bots), 0);
    FBotDetect.assign(size_t(bots), TDetectTry());
    // The bot's wait: the timeout's count of ticks, or the whole-request
    // deadline when that comes first.
    qint32 ticks = net::TWait::ReadCount(FTimeoutText);
    if (ticks == 0)
        ticks = 15;
    const qint64 deadline =
        FRequestDeadline > 0 ? FRequestDeadline : limits::RequestDeadlineMs(ticks);
    const qint64 period = FWaitInterval == 0 ? 1 : FWaitInterval;
    FDeadlines.Start(bots, std::min(qint64(ticks) * period, deadline), FInputs.ConnectTimeoutMs());
    for (int b = 0; b < bots; ++b) {
        if (!FindNextEntry() || !Current(generation))
            return;
        const int i = FState.NextEntry;
        auto *client = new THttpCli(this);
        FLiveBots.push_back(client);
        FBotClients.push_back(client);
        client->SetTag(i);
        client->SetBotNumber(b);
        client->SetURL(FJudgeURL);
        client->SetLocalAddr(FLocalAddr);
        client->SetVerifyCertificates(FVerifyCertificates);
        client->OnDocData = [this](THttpCli *c, const char *buffer, qint32 len) {
            AHttpCliDocData(c, buffer, len);
        };
        client->OnRequestDone = [this](THttpCli *c, net::THttpRequest rq, quint16 error) {
            AHttpCliRequestDone(c, rq, error);
        };
        if (FDeadlines.ConnectLimited())
            client->OnSessionConnected = [this](THttpCli *c) { FDeadlines.Connected(BotOf(c)); };
        TProxyItem &entry = FList[size_t(i)];
        Aim(client, entry, FDetect ? DetectOrder[0] : entry.Type);
        entry.Status = "Analyzing";
        entry.State = psNone;

        Q_EMIT rowChanged(i);
        if (!Current(generation))
            return;
        ++FState.NextEntry;
        FBotPage[size_t(b)].clear();
        FBotOverflow[size_t(b)] = false;
        FBotStartTick[size_t(b)] = util::GetTickCount();
        FDeadlines.Begin(b);
        client->StartGet();
    }
}

void TCheckRun::SkipToModeState()
{
    const int entries = int(FList.size());
    const int from = FState.NextEntry;
    while (FState.NextEntry < entries && FList[size_t(FState.NextEntry)].State != FModeState) {
        ++FState.NextEntry;
        ++FProgress;
    }
    if (FState.NextEntry != from)
        Q_EMIT progressChanged(FProgress, FProgressMax);
}

bool TCheckRun::FindNextEntry()
{
    const quint32 generation = FGeneration;
    const int entries = int(FList.size());
    while (!FState.StopRequested && FState.NextEntry < entries) {
        if (FModeSet) {
            SkipToModeState();
            if (!Current(generation) || FState.NextEntry >= entries)
                return false;
        }
        if (HasProxyAddress(FList[size_t(FState.NextEntry)]))
            return true;
        // Without a proxy the client would fetch the judge directly and the
        // row would pass for a proxy that answered.
        RecordNoAddress(FState.NextEntry++);
        if (!Current(generation))
            return false;
    }
    return false;
}

void TCheckRun::RecordNoAddress(int index)
{
    const quint32 generation = FGeneration;
    TProxyItem &entry = FList[size_t(index)];
    entry.Status = NoProxyAddressStatus;
    entry.State = psBad;
    ++FState.BadCount;
    Q_EMIT rowChanged(index);
    if (Current(generation))
        Progressed();
}

bool TCheckRun::Progressed()
{
    const quint32 generation = FGeneration;
    ++FProgress;
    Q_EMIT progressChanged(FProgress, FProgressMax);
    if (!Current(generation))
        return false;
    ReplyLine();
    if (!Current(generation))
        return false;
    Q_EMIT statusChanged(leecher::ProgressText(FProgress, FProgressMax));
    return Current(generation);
}

// ---------------------------------------------------------------------------
// Looking things up

int TCheckRun::BotOf(const THttpCli *client) const
{
    const int b = client->BotNumber();
    // Only a live bot of this run counts: a retired client has been detached
    // and is on its way out.
    if (b < 0 || b >= int(FBotClients.size()) || FBotClients[size_t(b)] != client)
        return -1;
    return b;
}

TProxyItem *TCheckRun::EntryOf(const THttpCli *client)
{
    const qintptr i = client->Tag();
    if (i < 0 || size_t(i) >= FList.size())
        return nullptr;
    return &FList[size_t(i)];
}

// ---------------------------------------------------------------------------
// The bots' handlers

void TCheckRun::AHttpCliDocData(THttpCli *client, const char *buffer, qint32 len)
{
    const int b = BotOf(client);
    if (b < 0 || FBotOverflow[size_t(b)])
        return;
    // Each piece is text up to its first NUL byte.
    const qsizetype piece = qsizetype(qstrnlen(buffer, uint(std::max(len, 0))));
    QByteArray &page = FBotPage[size_t(b)];
    if (page.size() + piece > MaxJudgePage) {
        // More than any judge sends: give the memory back and end the
        // request; its completion records the proxy as bad.
        FBotOverflow[size_t(b)] = true;
        page = QByteArray();
        FDeadlines.Clear(b);
        client->Abort();
        return;
    }
    page.append(buffer, piece);
}

void TCheckRun::AWaitTimeout(int b)
{
    if (b < 0 || size_t(b) >= FBotClients.size() || FBotClients[size_t(b)] == nullptr)
        return;
    THttpCli *client = FBotClients[size_t(b)];
    if (FDetect) {
        // The completion decides: the next type is tried, or the HTTP
        // attempt's timeout is recorded.
        FBotDetect[size_t(b)].timedOut = true;
        client->Abort();
        return;
    }
    client->Abort();
    // The completion that Abort causes comes later and finds this mark.
    if (TProxyItem *entry = EntryOf(client))
        entry->State = psTimeout;
    ++FState.TimeoutCount;
}

void TCheckRun::AHttpCliRequestDone(THttpCli *client, net::THttpRequest, quint16 error)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    const quint32 generation = FGeneration;
    FDeadlines.Clear(b);
    FBotStartTick[size_t(b)] = util::GetTickCount() - FBotStartTick[size_t(b)];

    if (NoLocalPort(error) && Park(client, b))
        return;

    const qint32 code = client->StatusCode();
    const bool empty = code == 200 && FBotPage[size_t(b)].isEmpty() && !FBotOverflow[size_t(b)];
    if ((empty || (code == 503 && FInputs.Retry503())) && !FState.StopRequested &&
        FBotRepeats[size_t(b)] < limits::MaxRepeats) {
        ++FBotRepeats[size_t(b)];
        Retry(client);
        return;
    }

    QByteArray fallbackStatus;
    if (FDetect && EntryOf(client) && DetectNext(client, b, code, fallbackStatus))
        return;

    const int i = int(client->Tag());
    if (TProxyItem *entry = EntryOf(client)) {
        if (entry->State == psTimeout) {
            entry->Status = "Timeout";
        } else if (!fallbackStatus.isEmpty()) {
            entry->State = psBad;
            ++FState.BadCount;
            entry->Status = fallbackStatus;
        } else if (FBotOverflow[size_t(b)]) {
            entry->State = psBad;
            ++FState.BadCount;
            entry->Status = PageTooLargeStatus;
        } else if (empty && FBotRepeats[size_t(b)] == limits::MaxRepeats) {
            // Every try answered without a page: nothing was judged.
            entry->State = psBad;
            ++FState.BadCount;
            entry->Status = QByteArray::number(code) + " - " + limits::EmptyAnswerReason;
        } else if (code == 200) {
            JudgeAnswer(FBotPage[size_t(b)], FInputs.OwnAddress().toUtf8(), *entry, FState,
                        FMachineAddresses);
            entry->Status = StatusText(client);
            entry->Speed = QByteArray::number(FBotStartTick[size_t(b)]);
        } else {
            entry->State = psBad;
            ++FState.BadCount;
            entry->Status = StatusText(client);
        }
        Q_EMIT rowChanged(i);
        if (!Current(generation))
            return;
    }
    // Most entries never send a byte: a bot holds no page while it connects.
    FBotPage[size_t(b)] = QByteArray();
    FBotOverflow[size_t(b)] = false;
    FBotStartTick[size_t(b)] = 0;
    if (!Progressed())
        return;

    // This request's local port is free again: a bot that found none tries
    // its entry first, before this bot takes the next one.
    WakeParked();
    if (!Current(generation))
        return;
    if (Abort(client))
        return;
    if (!FindNextEntry()) {
        if (!Current(generation))
            return;
        FState.StopRequested = true;
        Abort(client);
        return;
    }
    HandOut(client, b);
}

bool TCheckRun::DetectNext(THttpCli *client, int bot, qint32 code, QByteArray &fallbackStatus)
{
    TDetectTry &d = FBotDetect[size_t(bot)];
    TProxyItem &entry = *EntryOf(client);
    const bool overflow = FBotOverflow[size_t(bot)];
    if (!d.timedOut && !overflow && code == 200 && !FBotPage[size_t(bot)].isEmpty()) {
        entry.Type = DetectOrder[d.attempt];
        return false;
    }
    if (d.attempt == 0) {
        d.httpTimedOut = d.timedOut;
        d.httpStatus = overflow ? QByteArray(PageTooLargeStatus) : StatusText(client);
    }
    // Only the abort button cuts detection short: a row under way when the
    // list runs out still gets every type.
    if (!FAborted && d.attempt + 1 < DetectTries) {
        ++d.attempt;
        d.timedOut = false;
        Aim(client, entry, DetectOrder[d.attempt]);
        leecher::EmptyPageText(FBotPage[size_t(bot)]);
        FBotOverflow[size_t(bot)] = false;
        FBotRepeats[size_t(bot)] = 0;
        FBotStartTick[size_t(bot)] = util::GetTickCount();
        FDeadlines.Begin(bot);
        client->StartGet();
        return true;
    }
    // No type brought the judge's page: the row is what its HTTP attempt was.
    entry.Type = net::ptHttp;
    if (d.httpTimedOut) {
        entry.State = psTimeout;
        ++FState.TimeoutCount;
    } else {
        fallbackStatus = d.httpStatus;
    }
    return false;
}

bool TCheckRun::NoLocalPort(quint16 error)
{
    // Without a local address (--bind) the kernel says "address not
    // available" when every ephemeral port to the destination is taken;
    // binding to a chosen address says "address in use".
    return error == net::WSAEADDRNOTAVAIL || error == net::WSAEADDRINUSE;
}

bool TCheckRun::Park(THttpCli *client, int bot)
{
    // Only another request of this run can give a port back. With none
    // under way the error is final (also for a local address that this
    // machine does not have, which fails the same way every time), and the
    // entry is recorded with it.
    const qsizetype othersUnderWay = qsizetype(FLiveBots.size() - FParked.size()) - 1;
    const TProxyItem *entry = EntryOf(client);
    if (othersUnderWay <= 0 || entry == nullptr || entry->State == psTimeout)
        return false;
    FParked.push_back(bot);
    return true;
}

void TCheckRun::WakeParked()
{
    if (FParked.empty())
        return;
    const int b = FParked.front();
    FParked.pop_front();
    THttpCli *client = FBotClients[size_t(b)];
    if (client == nullptr)
        return;
    FBotStartTick[size_t(b)] = util::GetTickCount();
    FDeadlines.Begin(b);
    client->StartGet();
}

void TCheckRun::HandOut(THttpCli *client, int bot)
{
    const int i = FState.NextEntry;
    TProxyItem &entry = FList[size_t(i)];
    Aim(client, entry, FDetect ? DetectOrder[0] : entry.Type);
    FBotDetect[size_t(bot)] = TDetectTry();
    client->SetTag(i);
    entry.State = psNone;
    entry.Status = "Analyzing";
    const quint32 generation = FGeneration;
    Q_EMIT rowChanged(i);
    if (!Current(generation))
        return;
    FBotStartTick[size_t(bot)] = util::GetTickCount();
    FDeadlines.Begin(bot);
    FBotRepeats[size_t(bot)] = 0;
    ++FState.NextEntry;
    client->StartGet();
}

void TCheckRun::Retry(THttpCli *client)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    const quint32 generation = FGeneration;
    if (TProxyItem *entry = EntryOf(client)) {
        entry->Status = "Retrying";
        entry->State = psUnknown;
        Q_EMIT rowChanged(int(client->Tag()));
        if (!Current(generation))
            return;
    }
    // The line shows the retries so far, without this one.
    ReplyLine();
    if (!Current(generation))
        return;
    leecher::EmptyPageText(FBotPage[size_t(b)]);
    ++FState.RetryCount;
    FBotStartTick[size_t(b)] = util::GetTickCount();
    FDeadlines.Begin(b);
    client->StartGet();
}

void TCheckRun::ReplyLine()
{
    Q_EMIT replyChanged(QStringLiteral("[Good=") + QString::number(FState.GoodCount) +
                        QStringLiteral("] [Bad=") + QString::number(FState.BadCount) +
                        QStringLiteral("] [Timeouts=") + QString::number(FState.TimeoutCount) +
                        QStringLiteral("] [Retries=") + QString::number(FState.RetryCount) +
                        QStringLiteral("]"));
}

// ---------------------------------------------------------------------------
// Stopping and the end of a run

void TCheckRun::Abort()
{
    if (FRunning)
        FState.StopRequested = FAborted = true;
}

bool TCheckRun::Abort(THttpCli *client)
{
    if (!FState.StopRequested)
        return false;
    ReleaseBot(client, BotOf(client));
    if (FLiveBots.empty())
        EndOfRun();
    return true;
}

void TCheckRun::ReleaseBot(THttpCli *client, int bot)
{
    if (bot >= 0) {
        FDeadlines.Clear(bot);
        FBotClients[size_t(bot)] = nullptr;
        FBotPage[size_t(bot)] = QByteArray();
    }
    client->OnDocData = nullptr;
    client->OnRequestDone = nullptr;
    const auto it = std::find(FLiveBots.begin(), FLiveBots.end(), client);
    if (it != FLiveBots.end())
        FLiveBots.erase(it);
    // This may run inside the client's own completion: it goes (with its
    // timer) once that has returned.
    client->deleteLater();
}

void TCheckRun::EndOfRun()
{
    FDeadlines.Stop();
    FLiveBots.clear();
    FBotClients.clear();
    FParked.clear();
    FState.RetryBadMode = FState.RetryTimeoutMode = FState.RetryUnknownMode = false;
    FModeSet = false;
    const quint32 generation = FGeneration;
    Q_EMIT statusChanged(QStringLiteral("Finished"));
    if (!Current(generation))
        return;
    Q_EMIT repaintRequested();
    if (!Current(generation))
        return;
    // From here on a new run may start (from a slot): nothing below touches
    // the run state.
    FRunning = false;
    Q_EMIT runningChanged(false);
    Q_EMIT finished();
}

void TCheckRun::Shutdown()
{
    if (!FRunning)
        return;
    FDeadlines.Stop();
    ++FGeneration;
    for (size_t b = 0; b < FBotClients.size(); ++b) {
        THttpCli *client = FBotClients[b];
        if (client == nullptr)
            continue;
        client->OnDocData = nullptr;
        client->OnRequestDone = nullptr;
        client->OnSessionConnected = nullptr;
        // Closes the connection; the completion it posts has no handler.
        client->Abort();
        client->deleteLater();
    }
    FLiveBots.clear();
    FBotClients.clear();
    FParked.clear();
    for (QByteArray &page : FBotPage)
        page = QByteArray();
    std::fill(FBotOverflow.begin(), FBotOverflow.end(), false);
    std::fill(FBotStartTick.begin(), FBotStartTick.end(), 0);
    FState.StopRequested = false;
    FState.RetryBadMode = FState.RetryTimeoutMode = FState.RetryUnknownMode = false;
    FModeSet = false;
    FRunning = false;
}

} // namespace analyser
