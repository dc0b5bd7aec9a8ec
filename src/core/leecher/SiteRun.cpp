#include "leecher/SiteRun.h"

#include "harvester/SearchPace.h"
#include "harvester/SearchProfile.h"
#include "leecher/Leech.h"
#include "leecher/OptionsProxy.h"
#include "lists/EndOfRun.h"
#include "lists/FileError.h"
#include "lists/ListSort.h"
#include "net/HttpProt.h"
#include "net/Wait.h"
#include "settings/Options.h"
#include "settings/OptionsFile.h"
#include "util/Limits.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <utility>

namespace leecher {

using net::THttpCli;
using net::TWait;

QString ProgressText(int done, int total)
{
    const qint64 percent = total > 0 ? qint64(done) * 100 / total : 0;
    return QStringLiteral("[") + QString::number(done) + QStringLiteral(" / ") +
           QString::number(total) + QStringLiteral("] - ") + QString::number(percent) +
           QStringLiteral("% Complete");
}

TSiteRun::TSiteRun(TSiteList &sites, TProxyList &proxies, const settings::IOptions &options,
                   IRunInputs &inputs, const QString &folder, QObject *parent)
    : QObject(parent), FSites(sites), FProxies(proxies), FOptions(options), FInputs(inputs),
      FFolder(folder), FDeadlines([this](int bot) {
          if (FGoogleMode)
              AGWaitTimeout(bot);
          else
              AWaitTimeout(bot);
      }),
      FPace(new harvester::TSearchPace(this)), FWaitInterval(TWait::DefaultInterval())
{
    FPace->OnTurn = [this](int bot) { SearchTurn(bot); };
    FPace->OnStatus = [this](const QString &text) { Q_EMIT statusChanged(text); };
}

TSiteRun::~TSiteRun()
{
    Shutdown();
}

// ---------------------------------------------------------------------------
// Starting

bool TSiteRun::BeginRun()
{
    if (FRunning || FSites.empty())
        return false;
    FStopping = false;
    FAborted = false;
    SetRunning(true);
    return true;
}

bool TSiteRun::StartLeech()
{
    if (!BeginRun())
        return false;
    for (TSiteItem &site : FSites)
        site.State = ssIdle;
    Q_EMIT siteListChanged();
    try {
        FInputs.LeechStartAutomation();
    } catch (...) {
        // Nothing has been created yet: back to idle, so that the start
        // button works again, and let the window report the error.
        SetRunning(false);
        throw;
    }
    PrepareRun();
    ++FCycleCount;
    Q_EMIT cycleCountChanged(FCycleCount);
    CreateBots(TKind::Leech);
    return true;
}

bool TSiteRun::StartVerify()
{
    if (!BeginRun())
        return false;
    Q_EMIT verificationStarted();
    PrepareRun();
    CreateBots(TKind::Verify);
    return true;
}

// What every run sets up before its bots: the abort command, the first site,
// the timeout text ("8" when empty), empty bot lists and the gauge.
void TSiteRun::PrepareRun()
{
    ReadVerifyCertificates();
    Q_EMIT abortEnabledChanged(true);
    FNextSite = 0;
    if (FInputs.TimeoutText().isEmpty())
        FInputs.SetTimeoutText(QStringLiteral("8"));
    FLiveClients.clear();
    FClientByBot.clear();
    FProgressMax = int(FSites.size());
    FProgress = 0;
    Q_EMIT progressChanged(FProgress, FProgressMax);
}

int TSiteRun::PrepareBotSlots()
{
    // A run without bots would never end.
    const int bots = std::clamp(FInputs.Bots(), 1, FBotLimit);
    if (FPageText.size() < size_t(bots))
        FPageText.resize(size_t(bots));
    FReceived.assign(size_t(bots), 0);
    FRepeats.assign(size_t(bots), 0);
    return bots;
}

void TSiteRun::CreateBots(TKind kind)
{
    const int bots = PrepareBotSlots();
    StartDeadlines(bots);
    for (int b = 0; b < bots && FNextSite < int(FSites.size()); ++b) {
        auto *client = new THttpCli(this);
        FLiveClients.push_back(client);
        FClientByBot.push_back(client);
        client->SetTag(FNextSite);
        client->SetBotNumber(b);
        client->SetURL(FSites[size_t(FNextSite)].URL);
        client->SetVerifyCertificates(FVerifyCertificates);
        if (kind == TKind::Leech) {
            client->OnDocData = [this](THttpCli *c, const char *buffer, qint32 len) {
                APHttpCliDocData(c, buffer, len);
            };
            client->OnRequestDone = [this](THttpCli *c, net::THttpRequest rq, quint16 error) {
                APHttpCliRequestDone(c, rq, error);
            };
        } else {
            client->OnRequestDone = [this](THttpCli *c, net::THttpRequest rq, quint16 error) {
                ASHttpCliRequestDone(c, rq, error);
            };
        }
        AimAtOptionsProxy(*client, FOptions);
        const int site = FNextSite;
        FSites[size_t(site)].Status = QStringLiteral("Analyzing");
        Q_EMIT siteChanged(site);

        FDeadlines.Begin(b);
        ++FNextSite;
        if (kind == TKind::Leech)
            client->StartGet();
        else
            client->StartHead();
    }
}

void TSiteRun::StartDeadlines(int bots)
{
    qint32 ticks = TWait::ReadCount(FInputs.TimeoutText());
    if (ticks == 0)
        ticks = 15;
    const qint64 period = FWaitInterval == 0 ? 1 : FWaitInterval;
    const qint64 deadline =
        FRequestDeadline > 0 ? FRequestDeadline : limits::RequestDeadlineMs(ticks);
    FDeadlines.Start(bots, deadline, 0, qint64(ticks) * period);
}

void TSiteRun::ReadVerifyCertificates()
{
    FVerifyCertificates = settings::ReadVerifyCertificates(
        settings::TIniFile(QDir(FFolder).filePath(settings::OptionsFileName)));
}

// ---------------------------------------------------------------------------
// Looking things up

int TSiteRun::BotOf(const THttpCli *client) const
{
    // Site runs keep the bot number in BotNumber (Tag is the site), the
    // harvest keeps it in Tag.
    int b = -1;
    if (!FGoogleMode)
        b = client->BotNumber();
    else if (client->Tag() >= 0 && client->Tag() < qintptr(FClientByBot.size()))
        b = int(client->Tag());
    // Only a live bot of this run counts: a retired client has been detached
    // and is on its way out.
    if (b < 0 || b >= int(FClientByBot.size()) || FClientByBot[size_t(b)] != client)
        return -1;
    return b;
}

TSiteItem *TSiteRun::SiteOf(const THttpCli *client)
{
    const qintptr i = client->Tag();
    if (i < 0 || size_t(i) >= FSites.size())
        return nullptr;
    return &FSites[size_t(i)];
}

// ---------------------------------------------------------------------------
// Leech run handlers

void TSiteRun::APHttpCliDocData(THttpCli *client, const char *buffer, qint32 len)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    TSiteItem *site = SiteOf(client);
    if (site == nullptr) {
        FDeadlines.Clear(b);
        return;
    }
    if (qint64(site->BytesRead) + len > FPageLimit) {
        // More than a page may hold: drop what was collected and end the
        // request; its completion records it as failed. No limit runs.
        FDeadlines.Clear(b);
        FPageText[size_t(b)] = QByteArray();
        client->Abort();
        return;
    }
    const int i = int(client->Tag());
    site->State = ssReceiving;
    FPageText[size_t(b)].append(buffer, qsizetype(qstrnlen(buffer, uint(len))));
    site->BytesRead += len;
    site->Status = QString::number(site->BytesRead) + QStringLiteral(" bytes downloaded");
    Q_EMIT siteChanged(i);
    // The idle timeout measures the time without data; the request's
    // deadline runs on.
    FDeadlines.Active(b);
}

void TSiteRun::AWaitTimeout(int b)
{
    if (b < 0 || size_t(b) >= FClientByBot.size() || FClientByBot[size_t(b)] == nullptr)
        return;
    THttpCli *client = FClientByBot[size_t(b)];
    client->Abort();
    // The completion that Abort causes comes later and finds this mark.
    if (TSiteItem *site = SiteOf(client)) {
        site->State = ssTimeout;
        Q_EMIT siteChanged(int(client->Tag()));
    }
    ++FTimeoutCount;
    Q_EMIT timeoutCountChanged(FTimeoutCount);
}

void TSiteRun::APHttpCliRequestDone(THttpCli *client, net::THttpRequest, quint16)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    FDeadlines.Clear(b);
    QByteArray &page = FPageText[size_t(b)];
    TSiteItem *site = SiteOf(client);
    const int i = int(client->Tag());
    if (site)
        site->BytesRead = 0;

    const bool empty = page.isEmpty() && client->StatusCode() == 200;
    if (empty && !FStopping && MayRepeat(b)) {
        Retry(client, QLatin1StringView("Get"));
        return;
    }
    if (site && site->State == ssTimeout) {
        site->Status = QStringLiteral("Timeout");
        EmptyPageText(page);
        // After Abort a site that never answers would be repeated for ever
        // and the run would not end.
        if (FOptions.RetryTimeout() && !FAborted && MayRepeat(b)) {
            Retry(client, QLatin1StringView("Get"));
            return;
        }
    } else if (empty && FRepeats[size_t(b)] == limits::MaxRepeats && site) {
        // Every try answered without a page.
        site->State = ssBad;
        site->Status = QStringLiteral("200 - ") + QLatin1StringView(limits::EmptyAnswerReason);
    } else if (client->StatusCode() == 200 && site) {
        site->Status = QStringLiteral("Extracting Proxies");
        site->State = ssFetched;
        Q_EMIT siteChanged(i);
        const TLeechReport report = LeechProxies(page, FOptions.Special(), FProxies, *site);
        if (report.Count > 0) {
            Q_EMIT proxiesAppended();
            Q_EMIT proxyCountChanged(qsizetype(FProxies.size()));
        }
    } else {
        EmptyPageText(page);
        if (site) {
            site->State = ssBad;
            site->Status = QString::number(client->StatusCode()) + QStringLiteral(" - ") +
                           QString::fromUtf8(client->ReasonPhrase());
        }
    }
    if (site)
        Q_EMIT siteChanged(i);
    AdvanceProgress();
    NextOrRetire(client, b, TKind::Leech);
}

void TSiteRun::HandOutNext(THttpCli *client, int bot, TKind kind)
{
    const int i = FNextSite;
    client->SetURL(FSites[size_t(i)].URL);
    client->SetTag(i);
    FRepeats[size_t(bot)] = 0;
    FSites[size_t(i)].Status = QStringLiteral("Analyzing");
    Q_EMIT siteChanged(i);
    FDeadlines.Begin(bot);
    ++FNextSite;
    if (kind == TKind::Leech)
        client->StartGet();
    else
        client->StartHead();
}

// After an outcome was recorded: the bot retires when the run is stopping,
// else takes the next site, else starts the stopping and retires.
void TSiteRun::NextOrRetire(THttpCli *client, int bot, TKind kind)
{
    if (SiteAbort(client))
        return;
    if (FNextSite < int(FSites.size())) {
        HandOutNext(client, bot, kind);
    } else {
        FStopping = true;
        SiteAbort(client);
    }
}

bool TSiteRun::MayRepeat(int bot)
{
    int &repeats = FRepeats[size_t(bot)];
    if (repeats >= limits::MaxRepeats)
        return false;
    ++repeats;
    return true;
}

void TSiteRun::AdvanceProgress()
{
    ++FProgress;
    Q_EMIT progressChanged(FProgress, FProgressMax);
    Q_EMIT statusChanged(ProgressText(FProgress, FProgressMax));
}

void TSiteRun::Retry(THttpCli *client, QLatin1StringView kind)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    if (TSiteItem *site = SiteOf(client)) {
        site->Status = QStringLiteral("Retrying");
        site->State = ssIdle;
        Q_EMIT siteChanged(int(client->Tag()));
    }
    EmptyPageText(FPageText[size_t(b)]);
    FDeadlines.Begin(b);
    if (kind == QLatin1StringView("Get"))
        client->StartGet();
    else if (kind == QLatin1StringView("Head"))
        client->StartHead();
}

// ---------------------------------------------------------------------------
// Verification handler

void TSiteRun::ASHttpCliRequestDone(THttpCli *client, net::THttpRequest, quint16)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    FDeadlines.Clear(b);
    TSiteItem *site = SiteOf(client);
    const int i = int(client->Tag());
    if (site) {
        const qint32 code = client->StatusCode();
        site->Status = QString::number(code) + QStringLiteral(" - ") +
                       QString::fromUtf8(client->ReasonPhrase());
        if (site->State == ssTimeout && code == 404) {
            // An aborted request ends with 404: read together with the
            // timeout mark it is a time-out, not a missing page.
            site->Status = QStringLiteral("Timeout");
            if (FOptions.RetryTimeout() && !FAborted && MayRepeat(b)) {
                Retry(client, QLatin1StringView("Head"));
                return;
            }
        } else if (code == 200) {
            site->State = ssFetched;
        } else {
            site->State = ssBad;
        }
        Q_EMIT siteChanged(i);
    }
    AdvanceProgress();
    NextOrRetire(client, b, TKind::Verify);
}

// ---------------------------------------------------------------------------
// Stopping and the end of a run

void TSiteRun::Abort()
{
    FStopping = true;
    if (FRunning)
        FAborted = true;
    // Bots waiting for the search pace hold no request whose end would
    // retire them; they go once this call has returned, like the others.
    if (FGoogleMode)
        QMetaObject::invokeMethod(this, &TSiteRun::RetireWaitingSearches, Qt::QueuedConnection);
}

void TSiteRun::ReleaseClient(THttpCli *client)
{
    const int b = BotOf(client);
    client->OnDocData = nullptr;
    client->OnRequestDone = nullptr;
    if (b >= 0) {
        FDeadlines.Clear(b);
        FClientByBot[size_t(b)] = nullptr;
    }
    const auto it = std::find(FLiveClients.begin(), FLiveClients.end(), client);
    if (it != FLiveClients.end())
        FLiveClients.erase(it);
    // This may run inside the client's own completion: it goes once that
    // has returned.
    client->deleteLater();
}

bool TSiteRun::SiteAbort(THttpCli *client)
{
    if (!FStopping)
        return false;
    ReleaseClient(client);
    if (!FLiveClients.empty())
        return true;
    EndOfRun();
    return true;
}

void TSiteRun::EndOfRun()
{
    FDeadlines.Stop();
    FLiveClients.clear();
    FClientByBot.clear();
    if (FGoogleMode) {
        FinishGoogleMode();
        FGoogleMode = false;
    }
    Q_EMIT statusChanged(QStringLiteral("Finished"));

    if (FProxies.empty()) {
        FinishRun({});
        return;
    }
    // Duplicate removal and Proxies.txt, with the options as they are now,
    // beside this thread: the shown list is only read meanwhile (the commands
    // that change it wait) and is replaced by the cleaned one when done.
    const bool dupes = FOptions.Dupes();
    const bool writeFile = FOptions.WriteFile();
    Q_EMIT proxyListLocked(true);
    JoinFileStep();                      // the previous run's clean-up, if still going
    const TProxyList *shown = &FProxies; // only read until the result is back
    FFileStep = std::thread([this, shown, dupes, writeFile, folder = FFolder] {
        auto cleaned = std::make_shared<std::optional<TCleanedProxies>>();
        const auto status = [this](const QString &text) {
            QMetaObject::invokeMethod(
                this, [this, text] { Q_EMIT statusChanged(text); }, Qt::QueuedConnection);
        };
        bool ran = false;
        QString failure;
        try {
            ran = EndOfRunFileStep(*shown, *cleaned, folder, dupes, writeFile, status).Ran;
        } catch (const EFileError &e) {
            // The list may have been cleaned before the write failed.
            ran = true;
            failure = e.Message();
        }
        QMetaObject::invokeMethod(
            this,
            [this, cleaned = std::move(cleaned), ran, failure]() mutable {
                FileStepDone(std::move(cleaned), ran, failure);
            },
            Qt::QueuedConnection);
    });
}

void TSiteRun::JoinFileStep()
{
    if (FFileStep.joinable())
        FFileStep.join();
}

void TSiteRun::FileStepDone(std::shared_ptr<std::optional<TCleanedProxies>> cleaned, bool ran,
                            const QString &failure)
{
    JoinFileStep();
    if (!FRunning) // shut down meanwhile: the lists may be gone
        return;
    if (cleaned->has_value()) { // the list was sorted and de-duplicated
        // Sequential writes over the records in place: a few milliseconds for
        // hundreds of thousands, and the list keeps its room.
        (*cleaned)->PutInto(FProxies);
        Q_EMIT proxyListSorted();
        Q_EMIT proxyListChanged();
    }
    if (ran)
        Q_EMIT proxyCountChanged(qsizetype(FProxies.size()));
    Q_EMIT proxyListLocked(false);
    FinishRun(failure);
}

void TSiteRun::FinishRun(const QString &failure)
{
    QStringList failures;
    if (!FLeechedFailure.isEmpty())
        failures << std::exchange(FLeechedFailure, QString());
    if (!failure.isEmpty())
        failures << failure;
    if (!FInputs.Automate())
        Q_EMIT abortEnabledChanged(false);
    // From here on a new run may start (from a slot, or from the event loop
    // of an error box): nothing below touches the run state.
    SetRunning(false);
    Q_EMIT finished();
    for (const QString &message : failures)
        Q_EMIT fileError(message);
}

void TSiteRun::SetRunning(bool running)
{
    if (FRunning == running)
        return;
    FRunning = running;
    Q_EMIT runningChanged(running);
}

void TSiteRun::Shutdown()
{
    // A file step under way finishes its file first; its result and status
    // texts, still queued for this object, are dropped.
    JoinFileStep();
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    for (THttpCli *client : FLiveClients) {
        client->OnDocData = nullptr;
        client->OnRequestDone = nullptr;
        // Closes the connection; the completion it posts has no handler.
        client->Abort();
        client->deleteLater();
    }
    FDeadlines.Stop();
    FLiveClients.clear();
    FClientByBot.clear();
    for (QByteArray &page : FPageText)
        page = QByteArray();
    // A harvest cut short by the window closing keeps Leeched.ini as it was.
    FLinkList.clear();
    FPace->Reset(0);
    FProfile.reset();
    FLeechedLinks.reset();
    FLeechedFailure.clear();
    FRunning = false;
    FStopping = false;
    FGoogleMode = false;
}

} // namespace leecher
