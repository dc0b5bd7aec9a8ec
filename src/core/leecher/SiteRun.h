// The main window's runs: the leech run (fetch every site, extract its
// proxies), the site verification (ask every site with HEAD) and the search
// harvest (find proxy pages through a web search and leech them).
//
// One TSiteRun holds the run state that the main window's runs share, so that
// only one of them is active at a time. A run creates up to N bots (N = the
// bots slider); a bot is one THttpCli, the bot's number travels in the
// client's BotNumber and the index of its site in its Tag. One sweep keeps
// every bot's time limits (net::TBotDeadlines): the time without data that the
// timeout edit gives, and the whole request's deadline. Sites are handed out
// in list order to whichever bot finishes first; when none is left, or Abort
// was asked for, each bot retires when its request has ended, and the last
// one ends the run: "Finished", then duplicate removal and Proxies.txt.
//
// The harvest is a mode of the same run (GoogleMode): it has no site list to
// work through, so each bot searches for a proxy address, leeches every result
// page it has not visited before (Leeched.ini remembers them across harvests)
// and searches again; it ends only through Abort. Its bots carry their number
// in the client's Tag.
//
// The run works on the window's lists (passed in, never copied), reads the
// options and the window's inputs at the moment it needs them, and reports
// everything through signals; it has no widgets. The window binds:
//   cmdStartClick      -> automation arming, then StartLeech()
//   cmdAbortClick      -> Abort(), then its automation steps
//   VerifySites1Click  -> StartVerify()
//   cmdGoogleClick     -> StartGoogle()
//   window close       -> Shutdown() before the lists go away
#pragma once

#include "harvester/SearchTerms.h"
#include "lists/LeechedLinks.h"
#include "lists/Records.h"
#include "net/BotDeadlines.h"
#include "settings/Options.h"
#include "util/Limits.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <climits>
#include <deque>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace net {
class THttpCli;
enum THttpRequest : int;
} // namespace net

namespace harvester {
class ISearchProfile;
class TSearchPace;
} // namespace harvester

namespace leecher {

class TCleanedProxies;

// What the run reads from its window when it needs it.
class IRunInputs
{
public:
    virtual ~IRunInputs() = default;

    // Bots slider position (1 to 100 in the window; the run keeps any value
    // within 1 and its bot limit).
    virtual int Bots() const = 0;
    // Per-request idle timeout in seconds, as the text of its edit. The
    // harvest lowers a number above 30 to "30" in the edit itself.
    virtual QString TimeoutText() const = 0;
    // The run writes "8" back when the text is empty.
    virtual void SetTimeoutText(const QString &text) = 0;
    // Automation ticked: the abort command then stays enabled after a run.
    virtual bool Automate() const = 0;
    // Called by StartLeech after the site states have been reset and before
    // the bots are created: reload the automation period (ticked) or switch
    // automation off (unticked). It may throw (for instance on a time edit
    // that is not a number): the start is then undone and the exception
    // passes on to StartLeech's caller.
    virtual void LeechStartAutomation() {}
};

// Plain values for tests and front ends without a window.
struct TRunInputValues : IRunInputs
{
    int bots = 15;
    QString timeout = QStringLiteral("8");
    bool automate = false;

    int Bots() const override { return bots; }
    QString TimeoutText() const override { return timeout; }
    void SetTimeoutText(const QString &text) override { timeout = text; }
    bool Automate() const override { return automate; }
};

class TSiteRun : public QObject
{
    Q_OBJECT

public:
    // The bot limit of a run object unless SetBotLimit says otherwise: the
    // most the window's slider gives.
    static constexpr int MaxBots = 100;
    // The highest bot limit there is (the command line's).
    static constexpr int MaxBotLimit = 4096;
    // A page is held in memory only up to this size by default.
    static constexpr qint64 DefaultPageLimit = limits::MaxPageBytes;

    // `folder` is where Proxies.txt is written. The lists, options and
    // inputs must outlive the run object (or Shutdown must be called first).
    TSiteRun(TSiteList &sites, TProxyList &proxies, const settings::IOptions &options,
             IRunInputs &inputs, const QString &folder, QObject *parent = nullptr);
    ~TSiteRun() override;

    // The run part of the start button: resets every site to ssIdle, counts a
    // cycle and starts the bots. Returns false and does nothing when the site
    // list is empty or a run is already active (runs never overlap).
    bool StartLeech();
    // Site verification: HEAD requests; site states are not reset and no
    // cycle is counted. Returns false when nothing was started (as above).
    bool StartVerify();
    // The search harvest: reads the search engine (the options' or
    // Options.ini's) and Leeched.ini, then starts one bot per slider
    // position, each with a search in the line of the search pace. It runs
    // until Abort; at its end Leeched.ini is rewritten. Returns false and
    // does nothing while a run is active. Raises, with nothing started,
    // EFileError when Leeched.ini exists but cannot be read (a harvest
    // without it would overwrite it at its end), and
    // harvester::ESearchSetting (after saying it on the status line) when
    // the search engine's settings cannot work.
    bool StartGoogle();
    // The run part of the abort button: no new site is handed out; the bots
    // finish (or time out on) their current requests, which are recorded,
    // and retire. A timed-out request is no longer repeated.
    void Abort();
    // Stops every client at once (closing the window during a run): from
    // here on no event of the run reaches the lists and no signal is sent.
    // The run is idle afterwards.
    void Shutdown();

    bool IsRunning() const { return FRunning; }
    bool Stopping() const { return FStopping; }
    bool GoogleMode() const { return FGoogleMode; }
    int NextSite() const { return FNextSite; }
    // Bots of the current run (0 when idle) and how many are still alive.
    int BotCount() const { return int(FClientByBot.size()); }
    int LiveClientCount() const { return int(FLiveClients.size()); }
    // Leech runs started, and requests timed out, since the run object exists.
    int CycleCount() const { return FCycleCount; }
    int TimeoutCount() const { return FTimeoutCount; }
    int Progress() const { return FProgress; }
    int ProgressMax() const { return FProgressMax; }

    // The pace of the harvest's searches (tests shorten its back-off).
    harvester::TSearchPace &SearchPace() const { return *FPace; }
    // Links the harvest has leeched, Leeched.ini's included; null when no
    // harvest is running.
    const TLeechedLinks *LeechedLinks() const { return FLeechedLinks.get(); }
    // The term draws of every later harvest start from this seed (tests);
    // without one they are seeded from the clock at each start.
    void SetRandomSeed(std::optional<quint64> seed) { FRandomSeed = seed; }

    // Tick period of the bots' idle timeout in milliseconds (1000 by
    // default; the timeout edit counts these); applies to the next run.
    // Tests shorten it.
    void SetWaitInterval(quint16 ms) { FWaitInterval = ms; }
    quint16 WaitInterval() const { return FWaitInterval; }
    // Whole-request deadline of the bots' requests in milliseconds; 0 (the
    // default) for the limits' rule, ten times the timeout and at least 30 s.
    // Applies to the next run. Tests shorten it.
    void SetRequestDeadline(qint64 ms) { FRequestDeadline = ms; }
    // Most bots a run starts, kept within 1 and MaxBotLimit; MaxBots unless
    // set. Applies to the next run.
    void SetBotLimit(int bots) { FBotLimit = std::clamp(bots, 1, MaxBotLimit); }
    int BotLimit() const { return FBotLimit; }
    // The search engine of the next harvests instead of the options' (a
    // front end's own settings); nothing goes back to Options.ini.
    void SetSearchSettings(std::optional<settings::TSearchSettings> search)
    {
        FSearchOverride = std::move(search);
    }
    // Largest page held in memory; a site that sends more is aborted and
    // recorded as failed. 64 MiB by default.
    // (Kept below 2 GiB, the most a site's byte count can show.)
    void SetPageLimit(qint64 bytes) { FPageLimit = std::clamp<qint64>(bytes, 0, INT32_MAX); }
    qint64 PageLimit() const { return FPageLimit; }

Q_SIGNALS:
    // Text for the status line.
    void statusChanged(const QString &text);
    // One site record changed: redraw its row.
    void siteChanged(int index);
    // Many site records changed (the states reset at a leech start).
    void siteListChanged();
    // Proxy records were added or removed: reset the view's count.
    void proxyListChanged();
    // Proxies were appended at the end of the list (one page's extraction).
    void proxiesAppended();
    // The proxy list was sorted ascending by port, then host: the proxy
    // view's sort direction becomes ascending.
    void proxyListSorted();
    // The proxy counter's value.
    void proxyCountChanged(qsizetype count);
    void cycleCountChanged(int count);
    void timeoutCountChanged(int count);
    // The progress gauge.
    void progressChanged(int value, int max);
    // A run began (true) or ended (false): the start button's enabling is
    // the opposite.
    void runningChanged(bool running);
    void abortEnabledChanged(bool enabled);
    // A verification starts: the analyser's timeout counter goes to 0.
    void verificationStarted();
    // The bots slider may be moved (false while a harvest runs: its bots and
    // their link lists are fixed until the end).
    void botsEnabledChanged(bool enabled);
    // Proxies.txt or Leeched.ini could not be written; the message names the
    // file and the system's reason. Sent last, after finished(), so that an error box
    // shown from it may let a new run start.
    void fileError(const QString &message);
    // The last bot has retired and the end-of-run steps are done; sent right
    // after runningChanged(false).
    void finished();
    // The end-of-run file step works on a copy of the proxy list beside the
    // user-interface thread (true) and has put its result in place (false):
    // meanwhile nothing else may change the proxy list.
    void proxyListLocked(bool locked);

protected:
    // Client and timer handlers, under the names the runs give them.
    void APHttpCliDocData(net::THttpCli *client, const char *buffer, qint32 len);
    void APHttpCliRequestDone(net::THttpCli *client, net::THttpRequest rqType, quint16 error);
    void ASHttpCliRequestDone(net::THttpCli *client, net::THttpRequest rqType, quint16 error);
    // The bot's request has run out of time.
    void AWaitTimeout(int bot);
    // Repeats the bot's current request; `kind` is "Get" or "Head".
    void Retry(net::THttpCli *client, QLatin1StringView kind);
    // Retires the bot when the run is stopping (returns true; the client is
    // gone), and ends the run after the last one. Returns false otherwise.
    bool SiteAbort(net::THttpCli *client);

    // Harvest handlers.
    void GSearchHttpCliDocData(net::THttpCli *client, const char *buffer, qint32 len);
    void GSearchHttpCliRequestDone(net::THttpCli *client, net::THttpRequest rqType, quint16 error);
    void GLeechHttpCliRequestDone(net::THttpCli *client, net::THttpRequest rqType, quint16 error);
    void AGWaitTimeout(int bot);
    // Repeats the bot's current search or page.
    void RetryGoogle(net::THttpCli *client);
    // Extracts the bot's page into the proxy list and reports the count.
    void LeechGoogleProxies(net::THttpCli *client);
    // End of a search harvest; called by the end of run while GoogleMode is
    // set: the link lists go, the slider comes back, Leeched.ini is written.
    void FinishGoogleMode();

private:
    enum class TKind { Leech, Verify };

    bool BeginRun();
    void PrepareRun();
    // "VerifyCertificates" of Options.ini, for the bots of the run starting.
    void ReadVerifyCertificates();
    void CreateBots(TKind kind);
    void EndOfRun();
    // The file step's result is back on the user-interface thread; `cleaned`
    // holds the cleaned list when duplicates were removed.
    void FileStepDone(std::shared_ptr<std::optional<TCleanedProxies>> cleaned, bool ran,
                      const QString &failure);
    void FinishRun(const QString &failure);
    void JoinFileStep();
    int BotOf(const net::THttpCli *client) const;
    TSiteItem *SiteOf(const net::THttpCli *client);
    void HandOutNext(net::THttpCli *client, int bot, TKind kind);
    // Counts one more try of the bot's current entry; false (and nothing
    // counted) when it has had all that limits::MaxRepeats allows.
    bool MayRepeat(int bot);
    // The time limits of the run starting, for `bots` bots: the timeout
    // edit's count of wait ticks without data ("8" when empty, 15 for no
    // number), and the request deadline.
    void StartDeadlines(int bots);
    void NextOrRetire(net::THttpCli *client, int bot, TKind kind);
    void AdvanceProgress();
    void ReleaseClient(net::THttpCli *client);
    void SetRunning(bool running);
    // The number of bots the next run starts (the inputs' count within the
    // bot limit); the per-bot slots are made ready for that many.
    int PrepareBotSlots();
    // Harvest steps.
    void CreateGoogleBots();
    QByteArray ChooseTerm();
    // The bot's next link that is not in LeechedLinks becomes its URL (and is
    // added there); false when its list holds none.
    bool TakeNextLink(net::THttpCli *client, int bot);
    void StartGoogleRequest(net::THttpCli *client, int bot);
    // The bot's search (its URL) waits for its turn in the search pace.
    void QueueSearch(int bot);
    // The search pace's turn for the bot has come.
    void SearchTurn(int bot);
    // Abort retires the bots that wait for a turn: they hold no request
    // whose end would retire them.
    void RetireWaitingSearches();
    // The search engine of the harvest starting.
    settings::TSearchSettings SearchSettings() const;

    TSiteList &FSites;
    TProxyList &FProxies;
    const settings::IOptions &FOptions;
    IRunInputs &FInputs;
    QString FFolder;

    // The shared run state.
    bool FRunning = false;
    bool FStopping = false;
    bool FAborted = false; // Abort was asked for during this run
    bool FGoogleMode = false;
    int FNextSite = 0;
    std::vector<net::THttpCli *> FLiveClients;
    std::vector<net::THttpCli *> FClientByBot;
    net::TBotDeadlines FDeadlines;
    // One page buffer per bot number; they keep their room between runs.
    std::vector<QByteArray> FPageText;
    // Times the bot's current site, link or search was asked again.
    std::vector<int> FRepeats;

    // The harvest's state: per bot the result links not taken yet, the bytes
    // of the request under way (for the page cap), and for the whole harvest
    // the links already leeched, the term draws and the search host.
    std::vector<std::deque<QByteArray>> FLinkList;
    std::vector<qint64> FReceived;
    std::unique_ptr<TLeechedLinks> FLeechedLinks;
    harvester::TRandom FRandom;
    std::optional<quint64> FRandomSeed;
    std::unique_ptr<harvester::ISearchProfile> FProfile;
    harvester::TSearchPace *FPace = nullptr;
    std::optional<settings::TSearchSettings> FSearchOverride;
    // TLS peers must show a valid certificate for their host (Options.ini).
    bool FVerifyCertificates = true;
    // Leeched.ini could not be written at the end of the harvest: reported
    // with the run's other file error.
    QString FLeechedFailure;

    int FCycleCount = 0;
    int FTimeoutCount = 0;
    int FProgress = 0;
    int FProgressMax = 0;

    // The end-of-run file step (sort, de-duplicate, write Proxies.txt) runs on
    // this thread, so that sorting hundreds of thousands of proxies never
    // stalls the window.
    std::thread FFileStep;

    quint16 FWaitInterval = 1000;
    qint64 FRequestDeadline = 0;
    int FBotLimit = MaxBots;
    qint64 FPageLimit = DefaultPageLimit;
};

// "[" done " / " total "] - " percent "% Complete", percent being the integer
// part of 100 * done / total (0 when total is 0).
QString ProgressText(int done, int total);

} // namespace leecher
