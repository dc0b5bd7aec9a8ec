// The analyser's check run: fetches the judge page through every proxy of
// the analyser list and records what came back.
//
// Up to 100 bots work at once; a bot is one THttpCli, the bot's number
// travels in the client's BotNumber and the index of its entry in its Tag.
// Entries are handed out in list order to whichever bot finishes first (in a
// retry run only the entries of the mode's state; the others are skipped and
// count toward the gauge). A row without a proxy address (no host, or no port
// from 1 to 65535) is never fetched: it is recorded bad at once, so that the
// judge is never asked directly on its behalf. An empty 200 answer, and a 503
// while the 503 option is ticked, is asked again at once, at most
// limits::MaxRepeats times, and not once the run is stopping; after the last
// try the entry is recorded bad. A request ends as a time-out when the bot's
// wait runs out (the timeout's count of wait ticks), when its whole-request
// deadline passes, or when its connect timeout (if any) passes before the
// connection is up; one sweep keeps every bot's times (TBotDeadlines). A
// request that finds no free local port (every ephemeral port is taken) is no
// result: its bot keeps the entry and asks again once another request of the
// run has ended. When no entry is left, or Abort was asked for, each bot
// retires when its request has ended and the last one ends the run with
// "Finished".
//
// The run works on the window's list and run state (passed in, never
// copied), reads the window's inputs when it needs them and reports through
// signals; it has no widgets. The window binds:
//   cmdStartClick (and the retry commands, after setting their mode) -> Start()
//   cmdAbortClick                                                     -> Abort()
//   window close, program end                -> Shutdown() before the list goes
#pragma once

#include "analyser/CheckRunState.h"
#include "analyser/ProxyItem.h"
#include "net/BotDeadlines.h"
#include "util/Limits.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <deque>
#include <vector>

namespace net {
class THttpCli;
enum THttpRequest : int;
} // namespace net

namespace analyser {

// What the run reads from its window when it needs it.
class ICheckInputs
{
public:
    virtual ~ICheckInputs() = default;

    // Bots slider position (1 to 100 in the window; the run keeps any value
    // within 1 and its bot limit). Read at the start.
    virtual int Bots() const = 0;
    // Per-request timeout in seconds, as the text of its edit; read at the
    // start. The run writes "8" back when the text is empty.
    virtual QString TimeoutText() const = 0;
    virtual void SetTimeoutText(const QString &text) = 0;
    // The judge address (the combo box's text) and the combo box's items; a
    // start appends the address to the items when no item equals it exactly.
    virtual QString JudgeURL() const = 0;
    virtual QStringList JudgeItems() const = 0;
    virtual void AddJudgeItem(const QString &url) = 0;
    // Read at every completion, so that a change applies at once: whether a
    // 503 answer is asked again, and the own address that a judge page must
    // not show.
    virtual bool Retry503() const = 0;
    virtual QString OwnAddress() const = 0;
    // This machine's interface addresses (MachineAddresses in OwnAddress.h),
    // which a page must not show either; read at the start.
    virtual QList<QByteArray> MachineAddresses() const = 0;
    // Whether an "https" judge must show a valid certificate for its host
    // ("VerifyCertificates" of Options.ini); read at the start of a run whose
    // judge is one.
    virtual bool VerifyCertificates() const { return true; }
    // Whether each row is tried as HTTP, then SOCKS5, then SOCKS4 proxy, and
    // keeps the first type that brings a judge page; read at the start.
    // Otherwise each row is checked as the type it has.
    virtual bool DetectType() const { return false; }
    // Milliseconds a proxy has to take the connection (for a SOCKS proxy:
    // and to connect onwards) before its row is recorded as a time-out; 0
    // (the default) for none, the idle timeout alone. Read at the start.
    virtual int ConnectTimeoutMs() const { return 0; }
};

// Plain values for tests and front ends without a window.
struct TCheckInputValues : ICheckInputs
{
    int bots = 50;
    QString timeout = QStringLiteral("8");
    QString judgeURL;
    QStringList judgeItems;
    bool retry503 = false;
    QString ownAddress;
    QList<QByteArray> machineAddresses;
    bool verifyCertificates = true;
    bool detectType = false;
    int connectTimeoutMs = 0;

    int Bots() const override { return bots; }
    QString TimeoutText() const override { return timeout; }
    void SetTimeoutText(const QString &text) override { timeout = text; }
    QString JudgeURL() const override { return judgeURL; }
    QStringList JudgeItems() const override { return judgeItems; }
    void AddJudgeItem(const QString &url) override { judgeItems << url; }
    bool Retry503() const override { return retry503; }
    QString OwnAddress() const override { return ownAddress; }
    QList<QByteArray> MachineAddresses() const override { return machineAddresses; }
    bool VerifyCertificates() const override { return verifyCertificates; }
    bool DetectType() const override { return detectType; }
    int ConnectTimeoutMs() const override { return connectTimeoutMs; }
};

class TCheckRun : public QObject
{
    Q_OBJECT

public:
    // The bot limit of a run object unless SetBotLimit says otherwise: the
    // most the window's slider gives.
    static constexpr int MaxBots = 100;
    // The highest bot limit there is (the command line's): a check of many
    // dead proxies is bound by how many wait at once.
    static constexpr int MaxBotLimit = 32768;
    // A judge page is held only up to this size (judges send a few KiB); a
    // proxy that sends more is aborted and recorded as bad with
    // PageTooLargeStatus.
    static constexpr qsizetype MaxJudgePage = limits::MaxJudgePageBytes;
    static constexpr const char *PageTooLargeStatus = "Judge page over 1 MiB";
    // The status of a row that gives no proxy to ask the judge through.
    static constexpr const char *NoProxyAddressStatus = "No proxy address";

    // The list, run state and inputs must outlive the run object (or
    // Shutdown must be called before they go).
    TCheckRun(TAnalyserList &list, TCheckRunState &state, ICheckInputs &inputs,
              QObject *parent = nullptr);
    ~TCheckRun() override;

    // The start button (also the retry commands, after they set their mode).
    // Returns false and does nothing when the list is empty or a run is
    // already active. True when the run was started, also when a retry mode
    // found nothing to check and the run ended at once.
    bool Start();
    // The abort button: no new entry is handed out and nothing is asked
    // again; the bots finish (or time out on) their current requests, which
    // are recorded, and retire.
    void Abort();
    // Stops every client at once (the window or the program closes during a
    // run): from here on no event of the run reaches the list or the run
    // state, and no signal is sent. The run is idle afterwards and the retry
    // modes are cleared.
    void Shutdown();

    bool IsRunning() const { return FRunning; }
    // Bots of the current run (0 when idle) and how many are still alive.
    int BotCount() const { return int(FBotClients.size()); }
    int LiveBotCount() const { return int(FLiveBots.size()); }
    int Progress() const { return FProgress; }
    int ProgressMax() const { return FProgressMax; }

    // Tick period of the bots' waits in milliseconds (1000 by
    // default); applies to the next run. Tests shorten it.
    void SetWaitInterval(quint16 ms) { FWaitInterval = ms; }
    // Whole-request deadline of the bots' requests in milliseconds; 0 (the
    // default) for the limits' rule, ten times the timeout and at least 30 s.
    // Applies to the next run. Tests shorten it.
    void SetRequestDeadline(qint64 ms) { FRequestDeadline = ms; }
    // Local address that the bots' connections come from ("0.0.0.0", any, by
    // default); applies to the next run. For tests and the command line,
    // where the judge must tell the client's address from the proxies'.
    void SetLocalAddr(const QByteArray &addr) { FLocalAddr = addr; }
    // Most bots a run starts, kept within 1 and MaxBotLimit; MaxBots unless
    // set. Applies to the next run.
    void SetBotLimit(int bots) { FBotLimit = std::clamp(bots, 1, MaxBotLimit); }
    int BotLimit() const { return FBotLimit; }

Q_SIGNALS:
    // A run began (true: start disabled, abort enabled) or ended (false).
    void runningChanged(bool running);
    // The entry at this index changed: redraw its row.
    void rowChanged(int index);
    // The totals line: "[Good=" .. "] [Bad=" .. "] [Timeouts=" .. "] [Retries=" .. "]".
    void replyChanged(const QString &text);
    // The status panel: the progress line, then "Finished".
    void statusChanged(const QString &text);
    // The progress gauge.
    void progressChanged(int value, int max);
    // The run has ended: repaint the whole view.
    void repaintRequested();
    // The last bot has retired; sent last, after runningChanged(false).
    void finished();

protected:
    // Client and timer handlers, under the names the run gives them.
    void AHttpCliDocData(net::THttpCli *client, const char *buffer, qint32 len);
    void AHttpCliRequestDone(net::THttpCli *client, net::THttpRequest rqType, quint16 error);
    // The bot's request ran out of time (its wait or its connect timeout).
    void AWaitTimeout(int bot);
    // Asks again for the bot's current entry.
    void Retry(net::THttpCli *client);
    // Retires the bot when the run is stopping (returns true; the client is
    // gone) and ends the run after the last one. Returns false otherwise.
    bool Abort(net::THttpCli *client);

private:
    enum class TStep { Next, Retried, Ended };

    void CreateBots();
    // A request that found no free local port: its bot waits with its entry
    // (true) until another request ends, when WakeParked asks again.
    static bool NoLocalPort(quint16 error);
    bool Park(net::THttpCli *client, int bot);
    void WakeParked();
    void HandOut(net::THttpCli *client, int bot);
    // Advances NextEntry past the entries that the retry mode does not check.
    void SkipToModeState();
    // Advances NextEntry to the next entry a bot is to fetch: past the ones
    // the retry mode skips, and past rows without a proxy address, which are
    // recorded bad on the way. False when none is left, Abort was asked for,
    // or the run was shut down meanwhile.
    bool FindNextEntry();
    void RecordNoAddress(int index);
    // The progress gauge, the totals line and the progress line after an
    // entry was recorded; false when the run was shut down meanwhile.
    bool Progressed();
    TStep Record(net::THttpCli *client, int bot);
    // Type detection: starts the bot's next type on its entry (true), or
    // settles the entry's type and, when no type reached the judge, the HTTP
    // attempt's outcome (FallbackStatus: what it is recorded with).
    bool DetectNext(net::THttpCli *client, int bot, qint32 code, QByteArray &fallbackStatus);
    void ReplyLine();
    void EndOfRun();
    void ReleaseBot(net::THttpCli *client, int bot);
    int BotOf(const net::THttpCli *client) const;
    TProxyItem *EntryOf(const net::THttpCli *client);
    // False once the run this handler belongs to was shut down (from a slot
    // of a signal just sent): the handler must then touch nothing more.
    bool Current(quint32 generation) const { return generation == FGeneration; }

    TAnalyserList &FList;
    TCheckRunState &FState;
    ICheckInputs &FInputs;

    bool FRunning = false;
    quint32 FGeneration = 0;
    // The state that this run checks (psNone: every entry), fixed at the start
    // so that a retry mode set during a run cannot change the run under way.
    qint32 FModeState = psNone;
    bool FModeSet = false;
    QByteArray FJudgeURL;
    bool FVerifyCertificates = true;
    QString FTimeoutText;
    QList<QByteArray> FMachineAddresses;
    int FProgress = 0;
    int FProgressMax = 0;

    std::vector<net::THttpCli *> FLiveBots;
    std::vector<net::THttpCli *> FBotClients; // by bot number; null once retired
    // Bots waiting for a local port, first come first asked again.
    std::deque<int> FParked;
    // Per bot number, sized for the run at its start.
    std::vector<QByteArray> FBotPage;
    std::vector<quint32> FBotStartTick;
    // The bot's page went over MaxJudgePage and its request was aborted.
    std::vector<char> FBotOverflow;
    // Times the bot's current entry was asked again.
    std::vector<int> FBotRepeats;
    // Per bot while detecting types: the attempt under way (an index of the
    // order tried), whether it timed out, and how the HTTP attempt ended.
    struct TDetectTry
    {
        int attempt = 0;
        bool timedOut = false;
        bool httpTimedOut = false;
        QByteArray httpStatus;
    };
    bool FDetect = false;
    bool FAborted = false; // the abort button was pressed during this run
    std::vector<TDetectTry> FBotDetect;

    net::TBotDeadlines FDeadlines;
    quint16 FWaitInterval;
    qint64 FRequestDeadline = 0;
    QByteArray FLocalAddr = QByteArrayLiteral("0.0.0.0");
    int FBotLimit = MaxBots;
};

} // namespace analyser
