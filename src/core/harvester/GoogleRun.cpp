// The search harvest: the run's GoogleMode. Each bot searches the web for a
// proxy address, fetches every result page it has not leeched before, hands
// each page to extraction and searches again when its links run out, until
// Abort. It shares the run state, SiteAbort and the end of run with the site
// runs; it never touches the site list, the gauge or the cycle counter.
#include "leecher/SiteRun.h"

#include "harvester/SearchPace.h"
#include "harvester/SearchProfile.h"
#include "harvester/SearchTerms.h"
#include "leecher/Leech.h"
#include "leecher/OptionsProxy.h"
#include "lists/FileError.h"
#include "net/HttpProt.h"
#include "settings/Options.h"
#include "settings/OptionsFile.h"
#include "util/Automation.h"

#include <QDir>

#include <chrono>

namespace leecher {

using harvester::TSearchForm;
using harvester::TSearchOutcome;
using net::THttpCli;

namespace {

// The harvest never waits longer than this for a piece of data.
constexpr qint32 HarvestTimeoutCap = 30;

// Whether the timeout edit holds a whole number above the cap. A text that is
// no number is no cap: the wait timer then reads its leading digits as
// always. Digits too many for an integer are a number far above the cap.
bool AboveHarvestCap(const QString &text)
{
    qint32 value = 0;
    QString error;
    if (util::ParseIntegerEdit(text, value, error))
        return value > HarvestTimeoutCap;
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1Char('+')))
        digits.remove(0, 1);
    return !digits.isEmpty() &&
           std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); });
}

QString BotText(const char *before, int bot, const char *after = "")
{
    return QLatin1StringView(before) + QString::number(bot + 1) + QLatin1StringView(after);
}

// Answers by which an engine says it will not answer this address now.
bool IsRefusal(qint32 status)
{
    return status == 429 || status == 503 || status == 403;
}

} // namespace

settings::TSearchSettings TSiteRun::SearchSettings() const
{
    if (FSearchOverride)
        return *FSearchOverride;
    if (std::optional<settings::TSearchSettings> shown = FOptions.SearchSettings())
        return *shown;
    return settings::ReadSearchSettings(
        settings::TIniFile(QDir(FFolder).filePath(settings::OptionsFileName)));
}

bool TSiteRun::StartGoogle()
{
    if (FRunning)
        return false;
    // Everything is read before anything changes, so that an unreadable
    // Leeched.ini leaves the program idle instead of overwritten at the end,
    // and a search engine that cannot work starts nothing.
    harvester::TSearchEngine engine;
    try {
        engine = harvester::MakeSearchEngine(SearchSettings());
    } catch (const harvester::ESearchSetting &e) {
        Q_EMIT statusChanged(e.Message());
        throw;
    }
    auto leeched = std::make_unique<TLeechedLinks>();
    leeched->Load(FFolder);
    FProfile = std::move(engine.Profile);
    FPace->Reset(engine.IntervalMs);
    ReadVerifyCertificates();

    const auto clock = std::chrono::system_clock::now().time_since_epoch().count();
    FRandom.seed(FRandomSeed ? *FRandomSeed : quint64(clock));
    Q_EMIT botsEnabledChanged(false);
    FStopping = false;
    FAborted = false;
    FGoogleMode = true;
    SetRunning(true);
    Q_EMIT abortEnabledChanged(true);
    if (FInputs.TimeoutText().isEmpty())
        FInputs.SetTimeoutText(QStringLiteral("8"));
    FLiveClients.clear();
    FClientByBot.clear();
    FLeechedLinks = std::move(leeched);
    CreateGoogleBots();
    Q_EMIT statusChanged(QStringLiteral("Googling..."));
    return true;
}

void TSiteRun::CreateGoogleBots()
{
    // Every slider position gets a bot and a link list, however few links
    // there will be.
    const int bots = PrepareBotSlots();
    FLinkList.assign(size_t(bots), {});
    if (AboveHarvestCap(FInputs.TimeoutText()))
        FInputs.SetTimeoutText(QString::number(HarvestTimeoutCap));
    StartDeadlines(bots);
    for (int b = 0; b < bots; ++b) {
        auto *client = new THttpCli(this);
        FLiveClients.push_back(client);
        FClientByBot.push_back(client);
        client->SetTag(b);
        client->SetVerifyCertificates(FVerifyCertificates);
        client->SetURL(FProfile->SearchUrl(TSearchForm::First, ChooseTerm()));
        leecher::AimHarvestAtOptionsProxy(*client, FOptions);
        client->OnDocData = [this](THttpCli *c, const char *buffer, qint32 len) {
            GSearchHttpCliDocData(c, buffer, len);
        };
        client->OnRequestDone = [this](THttpCli *c, net::THttpRequest rq, quint16 error) {
            GSearchHttpCliRequestDone(c, rq, error);
        };
    }
    // The bots exist before the first search leaves: the pace may start one
    // at once.
    for (int b = 0; b < bots; ++b)
        QueueSearch(b);
}

void TSiteRun::QueueSearch(int bot)
{
    FPace->Queue(bot);
}

void TSiteRun::SearchTurn(int bot)
{
    THttpCli *client = size_t(bot) < FClientByBot.size() ? FClientByBot[size_t(bot)] : nullptr;
    if (client == nullptr || SiteAbort(client))
        return;
    StartGoogleRequest(client, bot);
}

void TSiteRun::RetireWaitingSearches()
{
    if (!FGoogleMode || !FStopping)
        return;
    for (const int bot : FPace->TakeWaiting()) {
        if (size_t(bot) < FClientByBot.size() && FClientByBot[size_t(bot)] != nullptr)
            SiteAbort(FClientByBot[size_t(bot)]);
    }
}

QByteArray TSiteRun::ChooseTerm()
{
    return harvester::ChooseTerm(FProxies, FRandom);
}

void TSiteRun::StartGoogleRequest(THttpCli *client, int bot)
{
    FReceived[size_t(bot)] = 0;
    FDeadlines.Begin(bot);
    client->StartGet();
}

void TSiteRun::GSearchHttpCliDocData(THttpCli *client, const char *buffer, qint32 len)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    qint64 &received = FReceived[size_t(b)];
    if (received + len > FPageLimit) {
        // More than a page may hold, result pages too: drop the text and end
        // the request, which then counts as failed. No limit runs.
        FDeadlines.Clear(b);
        FPageText[size_t(b)] = QByteArray();
        client->Abort();
        return;
    }
    received += len;
    FPageText[size_t(b)].append(buffer, qsizetype(qstrnlen(buffer, uint(len))));
    FDeadlines.Active(b); // the time without data; the request's deadline runs on
}

void TSiteRun::AGWaitTimeout(int b)
{
    if (b < 0 || size_t(b) >= FClientByBot.size() || FClientByBot[size_t(b)] == nullptr)
        return;
    // The completion this causes arrives later, at the bot's current
    // handler, with status 404: a failed search or page.
    FClientByBot[size_t(b)]->Abort();
    ++FTimeoutCount;
    Q_EMIT timeoutCountChanged(FTimeoutCount);
    Q_EMIT statusChanged(BotText("Timeout on Bot ", int(b)));
}

bool TSiteRun::TakeNextLink(THttpCli *client, int bot)
{
    client->SetURL({});
    std::deque<QByteArray> &links = FLinkList[size_t(bot)];
    while (!links.empty() && client->URL().isEmpty()) {
        if (FLeechedLinks->Add(links.front()))
            client->SetURL(links.front());
        links.pop_front();
    }
    return !client->URL().isEmpty();
}

void TSiteRun::GSearchHttpCliRequestDone(THttpCli *client, net::THttpRequest, quint16)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    FDeadlines.Clear(b);
    QByteArray &page = FPageText[size_t(b)];
    const qint32 status = client->StatusCode();
    if (page.isEmpty() && !FStopping && status == 200 && MayRepeat(b)) {
        // Asked again, in the line like any other search.
        FPace->Ended(TSearchOutcome::Nothing);
        Q_EMIT statusChanged(BotText("Retrying Bot ", b));
        EmptyPageText(page);
        QueueSearch(b);
        return;
    }
    // Whatever comes next is a new request: a link or a search with a new
    // term (also after an empty search's last try).
    FRepeats[size_t(b)] = 0;
    // A failed search still gives whatever links arrived before it failed;
    // a refusal gives none.
    const bool refused = IsRefusal(status);
    if (!page.isEmpty() && !refused)
        FLinkList[size_t(b)] = FProfile->Links(page);
    const bool challenge = !refused && FLinkList[size_t(b)].empty() && status == 200 &&
                           FProfile->ShowsChallenges() && harvester::IsChallengePage(page);
    if (refused) {
        FPace->Ended(
            TSearchOutcome::Refused,
            QString::number(status) + u' ' + QString::fromLatin1(client->ReasonPhrase()),
            harvester::RetryAfterMs(client->ReceivedHeader(), QDateTime::currentDateTimeUtc()));
    } else if (challenge) {
        FPace->Ended(TSearchOutcome::Refused, QStringLiteral("challenge page"));
    } else {
        FPace->Ended(FLinkList[size_t(b)].empty() ? TSearchOutcome::Nothing
                                                  : TSearchOutcome::Links);
    }
    EmptyPageText(page);
    if (SiteAbort(client))
        return;
    if (TakeNextLink(client, b)) {
        client->OnRequestDone = [this](THttpCli *c, net::THttpRequest rq, quint16 error) {
            GLeechHttpCliRequestDone(c, rq, error);
        };
        StartGoogleRequest(client, b);
        return;
    }
    const QByteArray term = ChooseTerm();
    if (!refused && !challenge) // a refusal has said why the bot searches later
        Q_EMIT statusChanged(BotText("No Links were found, Relaunching Bot ", b));
    client->SetURL(FProfile->SearchUrl(TSearchForm::First, term));
    QueueSearch(b);
}

void TSiteRun::GLeechHttpCliRequestDone(THttpCli *client, net::THttpRequest, quint16)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    FDeadlines.Clear(b);
    QByteArray &page = FPageText[size_t(b)];
    const bool empty = page.isEmpty() && client->StatusCode() == 200;
    if (empty && !FStopping && MayRepeat(b)) {
        Q_EMIT statusChanged(BotText("Retrying Bot ", b));
        RetryGoogle(client);
        return;
    }
    // A failed page is skipped, and so is one that came empty on every try.
    const bool emptyEveryTry = empty && FRepeats[size_t(b)] == limits::MaxRepeats;
    FRepeats[size_t(b)] = 0;
    if (client->StatusCode() == 200 && !emptyEveryTry)
        LeechGoogleProxies(client);
    else
        EmptyPageText(page);
    if (SiteAbort(client))
        return;
    if (!TakeNextLink(client, b)) {
        const QByteArray term = ChooseTerm();
        Q_EMIT statusChanged(BotText("Launching Bot ", b, " for more links"));
        client->SetURL(FProfile->SearchUrl(TSearchForm::AfterPage, term));
        client->OnRequestDone = [this](THttpCli *c, net::THttpRequest rq, quint16 error) {
            GSearchHttpCliRequestDone(c, rq, error);
        };
        QueueSearch(b);
        return;
    }
    StartGoogleRequest(client, b);
}

void TSiteRun::RetryGoogle(THttpCli *client)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    EmptyPageText(FPageText[size_t(b)]);
    FDeadlines.Clear(b);
    StartGoogleRequest(client, b);
}

void TSiteRun::LeechGoogleProxies(THttpCli *client)
{
    const int b = BotOf(client);
    if (b < 0)
        return;
    Q_EMIT statusChanged(LeechingWithBotText(b));
    const TLeechReport report = leecher::LeechGoogleProxies(
        FPageText[size_t(b)], FOptions.GooglerSpecial(), FProxies, client->URL());
    if (report.Count > 0) {
        Q_EMIT proxiesAppended();
        Q_EMIT proxyCountChanged(qsizetype(FProxies.size()));
    }
    Q_EMIT statusChanged(FoundProxiesText(report.Count));
}

void TSiteRun::FinishGoogleMode()
{
    FLinkList.clear();
    FPace->Reset(0);
    FProfile.reset();
    Q_EMIT botsEnabledChanged(true);
    if (!FLeechedLinks)
        return;
    try {
        FLeechedLinks->Save(FFolder);
    } catch (const EFileError &e) {
        // Reported once the run has ended; the links stay in the old file.
        FLeechedFailure = e.Message();
    }
    FLeechedLinks.reset();
}

} // namespace leecher
