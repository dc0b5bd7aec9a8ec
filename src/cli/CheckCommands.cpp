// check and judge-page: the analyser's check run (TCheckRun) over a proxy
// list, an earlier result, or one proxy.
#include "CliSettings.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "FileLimit.h"
#include "InputFiles.h"
#include "OutputFile.h"
#include "Progress.h"
#include "ResultFormats.h"
#include "RunWait.h"

#include "analyser/CheckRun.h"
#include "analyser/JudgeFallback.h"
#include "analyser/OwnAddress.h"
#include "analyser/OwnAddressProbe.h"
#include "history/CheckRecorder.h"
#include "settings/OptionsFile.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>

#include <algorithm>

#include <unistd.h>

namespace cli {

namespace {

using analyser::TCheckRun;

// The type that --type gives lines without a prefix ("detect" starts them as
// HTTP).
net::TProxyType UnprefixedType(const TCliCommand &c)
{
    return c.Type == QStringLiteral("socks4")   ? net::ptSocks4
           : c.Type == QStringLiteral("socks5") ? net::ptSocks5
                                                : net::ptHttp;
}

// The proxy list of check: FILE, or standard input for "-" or no FILE
// (never a terminal: that would wait for typing).
analyser::TAnalyserList ReadProxies(const TCliCommand &c, QString &name, qsizetype &longLines)
{
    QString path = c.Input;
    if (c.Command == TSubcommand::JudgePage) {
        const qsizetype colon = path.indexOf(u':');
        analyser::TProxyItem entry;
        entry.Type = UnprefixedType(c);
        entry.Host = path.first(colon).toUtf8();
        entry.Port = path.sliced(colon + 1).toUtf8();
        return {entry};
    }
    if (path.isEmpty()) {
        if (::isatty(STDIN_FILENO))
            throw leecher::EFileError(
                QStringLiteral("-"),
                QStringLiteral("check wants a proxy list: a FILE, or one on standard input."));
        path = QStringLiteral("-");
    }
    name = DisplayName(path);
    TListForm form = TListForm::ProxyLines;
    const TListText text = ReadTextFile(path, MaxResultLineBytes);
    longLines = text.LongLines;
    analyser::TAnalyserList list =
        ProxiesFromText(text.Text, path, &form, &longLines, UnprefixedType(c));
    if (c.Only != TOnly::All && form == TListForm::ProxyLines)
        throw leecher::EFileError(path, QStringLiteral("--only takes up an earlier result of "
                                                       "check in csv or json form; %1 is a "
                                                       "plain proxy list.")
                                            .arg(name));
    return list;
}

// The entries of the command's shard, in list order.
void KeepShard(analyser::TAnalyserList &list, const leecher::TShard &shard)
{
    if (shard.IsWhole())
        return;
    std::erase_if(list, [&shard](const analyser::TProxyItem &e) {
        return !shard.Holds(leecher::ProxyShardKey(e.Type, e.Host.view(), e.Port.view()));
    });
}

// --skip-checked-within: the rows that the history shows checked since
// `since` take their last result from it; the others are moved to `rest`
// (with their indices in `where`) to be checked.
void SplitRecentlyChecked(analyser::TAnalyserList &list, history::TCheckRecorder &recorder,
                          qint64 since, analyser::TAnalyserList &rest, std::vector<size_t> &where)
{
    QHash<QByteArray, history::TProxyHistory> recent;
    history::THistoryFilter filter;
    filter.CheckedSince = since;
    recorder.History().List(filter, [&recent](const history::TProxyHistory &h) {
        recent.insert(leecher::ProxyShardKey(h.Last.Type, h.Last.Host, h.Last.Port), h);
    });
    for (size_t i = 0; i < list.size(); ++i) {
        analyser::TProxyItem &e = list[i];
        const auto found =
            recent.constFind(leecher::ProxyShardKey(e.Type, e.Host.view(), e.Port.view()));
        if (found == recent.constEnd()) {
            where.push_back(i);
            rest.push_back(std::move(e));
            continue;
        }
        analyser::TProxyItem last = history::ItemOf(*found);
        // The row keeps its address as written.
        last.Host = std::move(e.Host);
        last.Port = std::move(e.Port);
        recorder.Locator().Fill(last);
        e = std::move(last);
    }
}

// --country: the rows whose exit address is in one of the countries.
void KeepCountries(analyser::TAnalyserList &list, const QList<QByteArray> &countries)
{
    if (countries.isEmpty())
        return;
    std::erase_if(list, [&countries](const analyser::TProxyItem &e) {
        return e.Country.isEmpty() || !countries.contains(e.Country.view());
    });
}

qint64 CountState(const analyser::TAnalyserList &list, qint32 state)
{
    return std::count_if(list.begin(), list.end(),
                         [state](const analyser::TProxyItem &e) { return e.State == state; });
}

} // namespace

int RunCheckCommand(const TCliCommand &c, const QString &folder)
{
    const bool judgePage = c.Command == TSubcommand::JudgePage;
    const TOutput output(c.Output);
    analyser::TCheckInputValues inputs;
    analyser::TAnalyserList list;
    QString listName;
    bool judgeFallback = true;
    qsizetype longLines = 0;
    bool timeoutCapped = false;
    // Everything is read and checked before the run; the own address last,
    // as it may ask the name service.
    try {
        list = ReadProxies(c, listName, longLines);
        output.Check();
        inputs = ReadCheckSettings(
            folder, c.Settings, [] { return analyser::FindOwnAddress(); }, &timeoutCapped);
        judgeFallback = ReadJudgeFallback(folder, c.Settings);
        inputs.detectType = c.Type == QStringLiteral("detect");
    } catch (const leecher::EFileError &e) {
        Complain(e.Message());
        return ExitBadInput;
    }
    if (list.empty()) {
        Complain(QStringLiteral("No proxies in %1.").arg(listName));
        return ExitNothing;
    }
    KeepShard(list, c.Shard);
    if (list.empty()) {
        return EmptyShard(output, QStringLiteral("No proxy of %1 falls into shard %2/%3."),
                          listName, c.Shard,
                          FormatCheckResults(list, c.Format, output.TxtLineEnd(), c.GoodOnly));
    }

    TProgress progress(ProgressModeFor(c.Quiet), stderr);
    if (longLines > 0)
        progress.Say(leecher::LongLinesSkippedText(longLines));
    if (timeoutCapped)
        progress.Say(settings::TimeoutCappedText());
    if (judgePage)
        inputs.bots = 1;
    const TFileLimit limit = FitFileLimit(inputs.bots);
    if (limit.Capped)
        progress.Say(QStringLiteral("The open-file limit is %1: %2 bots instead of %3.")
                         .arg(limit.Limit)
                         .arg(limit.Bots)
                         .arg(inputs.bots));
    inputs.bots = limit.Bots;
    // A page showing any address of this machine's interfaces gives the user
    // away too; an empty --own-address asks for no such search at all.
    if (!c.Settings.OwnAddress || !c.Settings.OwnAddress->isEmpty())
        inputs.machineAddresses = analyser::MachineAddresses();

    analyser::TCheckRunState state;
    state.RetryBadMode = c.Only == TOnly::Bad;
    state.RetryTimeoutMode = c.Only == TOnly::Timeout;
    state.RetryUnknownMode = c.Only == TOnly::Unknown;
    // Location and history: what cannot be used is said and left out.
    history::TCheckRecorder recorder(list);
    QObject::connect(&recorder, &history::TCheckRecorder::historyFailed, &recorder,
                     [&](const QString &message) { progress.Say(message); });
    // judge-page tries a judge out: nothing of it goes into the history.
    history::TRecordingSettings recording = ReadRecordingSettings(folder, c.History.Record);
    recording.History = recording.History && !judgePage;
    for (const QString &message : recorder.Open(recording))
        progress.Say(message);
    if (!c.History.Countries.isEmpty() && !recorder.Locator().HasCountry()) {
        Complain(QStringLiteral("--country needs a country or city database (see the README)."));
        return ExitBadInput;
    }
    analyser::TAnalyserList rest;
    std::vector<size_t> where;
    const bool skipping = c.History.SkipCheckedWithinMs && recorder.History().IsOpen();
    if (skipping)
        SplitRecentlyChecked(list, recorder,
                             QDateTime::currentMSecsSinceEpoch() - *c.History.SkipCheckedWithinMs,
                             rest, where);
    else if (c.History.SkipCheckedWithinMs)
        progress.Say(QStringLiteral("Without the history every proxy is checked."));
    analyser::TAnalyserList &work = skipping ? rest : list;
    recorder.SetList(work);

    TCheckRun run(work, state, inputs);
    run.SetBotLimit(TCheckRun::MaxBotLimit);
    if (!c.Bind.isEmpty())
        run.SetLocalAddr(c.Bind);

    QString reply;
    QObject::connect(&run, &TCheckRun::replyChanged, &run,
                     [&](const QString &text) { reply = text; });
    QObject::connect(&run, &TCheckRun::statusChanged, &run, [&](const QString &text) {
        // The window shows the totals beside the progress line.
        progress.Status(text.startsWith(u'[') && !reply.isEmpty() ? text + u' ' + reply : text);
    });
    progress.SetSource([&]() -> TProgressCounts {
        return {run.Progress(), run.ProgressMax(),
                QStringLiteral("good %1  bad %2  timeouts %3  retries %4")
                    .arg(state.GoodCount)
                    .arg(state.BadCount)
                    .arg(state.TimeoutCount)
                    .arg(state.RetryCount)};
    });

    // Unless --own-address names it, the own address is the one the judge
    // sees: behind NAT the machine's own is a private one no judge shows.
    analyser::TOwnAddressProbe probe;
    bool noJudge = false;
    TRunWait wait(
        progress,
        [&] {
            if (!probe.IsAsking()) {
                run.Abort();
                return;
            }
            probe.Cancel(); // nothing was checked yet: the run never starts
            wait.Finished();
        },
        [&] {
            probe.Cancel();
            run.Shutdown();
        });
    QObject::connect(&run, &TCheckRun::finished, &run, [&] { wait.Finished(); });
    recorder.Follow(run);
    if (!c.Settings.OwnAddress) {
        probe.SetMachineAddress(inputs.ownAddress);
        if (!c.Bind.isEmpty())
            probe.SetLocalAddr(c.Bind);
        // The ask takes an https judge's certificate as the run will.
        probe.SetVerifyCertificates(inputs.verifyCertificates);
        QObject::connect(&probe, &analyser::TOwnAddressProbe::found, &probe,
                         [&](const QString &address, analyser::TOwnAddressSource source) {
                             inputs.ownAddress = address;
                             if (source == analyser::TOwnAddressSource::Machine &&
                                 !(judgeFallback && probe.Judge().isEmpty()))
                                 progress.Say(QLatin1StringView(
                                     analyser::TOwnAddressProbe::JudgeNotReachableText));
                             wait.Finished();
                         });
        const QByteArray chosen = inputs.judgeURL.toUtf8();
        if (probe.Find(analyser::JudgesToAsk(inputs.judgeURL, inputs.judgeItems, judgeFallback),
                       inputs.timeout)) {
            wait.Exec([&] { return probe.IsAsking(); });
            // No judge gives a page to read: every proxy would come out
            // unknown or bad, so nothing is checked.
            noJudge = judgeFallback && probe.Judge().isEmpty() && !wait.Interrupted();
            if (noJudge)
                progress.Say(QLatin1StringView(analyser::NoJudgeAnsweringText));
            else if (!probe.Judge().isEmpty() && probe.Judge() != chosen) {
                progress.Say(analyser::JudgeReplacedText(chosen, probe.Judge()));
                inputs.judgeURL = QString::fromUtf8(probe.Judge());
            }
        }
    }
    if (inputs.ownAddress.isEmpty() && !wait.Interrupted() && !noJudge)
        progress.Say(QStringLiteral("No own address is known: every proxy that answers counts as "
                                    "anonymous (--own-address names it)."));

    QElapsedTimer clock;
    clock.start();
    // A stop asked for while the judge was asked leaves every entry unchecked.
    if (!wait.Interrupted() && !noJudge && !work.empty()) {
        run.Start();
        progress.Start(); // the counts are known from here on
        wait.Exec([&] { return run.IsRunning(); });
    }
    recorder.Flush();
    for (size_t i = 0; i < where.size(); ++i)
        list[where[i]] = std::move(rest[i]);
    progress.Finish(judgePage ? QString()
                              : QStringLiteral("%1 of %2 proxies checked: %3 good, %4 bad, %5 "
                                               "timeouts, %6 retries in %7")
                                    .arg(run.Progress())
                                    .arg(list.size())
                                    .arg(state.GoodCount)
                                    .arg(state.BadCount)
                                    .arg(state.TimeoutCount)
                                    .arg(state.RetryCount)
                                    .arg(SecondsText(clock.elapsed())));
    KeepCountries(list, c.History.Countries);

    try {
        output.Write(judgePage
                         ? FormatVerdict(list.front(), c.Format)
                         : FormatCheckResults(list, c.Format, output.TxtLineEnd(), c.GoodOnly));
    } catch (const leecher::EFileError &e) {
        Complain(e.Message());
        return ExitBadInput;
    }
    if (wait.Interrupted())
        return ExitInterrupted;
    return CountState(list, analyser::psGood) == 0 ? ExitNothing : ExitDone;
}

} // namespace cli
