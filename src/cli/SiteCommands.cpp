// leech, verify and harvest: the main window's runs (TSiteRun) on a site
// list of their own, with the end-of-run step, Proxies.txt and Leeched.ini
// as the window has them.
#include "CliSettings.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "FileLimit.h"
#include "InputFiles.h"
#include "OutputFile.h"
#include "Progress.h"
#include "ResultFormats.h"
#include "RunWait.h"

#include "harvester/SearchProfile.h"
#include "leecher/SiteRun.h"
#include "lists/EndOfRun.h"
#include "lists/ListFiles.h"
#include "lists/StarterSites.h"
#include "settings/OptionsFile.h"

#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>

namespace cli {

namespace {

using leecher::TSiteRun;

struct TSiteCounts
{
    qint64 Good = 0, Bad = 0, Timeouts = 0;
};

TSiteCounts CountSites(const leecher::TSiteList &sites)
{
    TSiteCounts c;
    for (const leecher::TSiteItem &s : sites) {
        if (s.State == leecher::ssFetched || s.State == leecher::ssFound)
            ++c.Good;
        else if (s.State == leecher::ssBad)
            ++c.Bad;
        else if (s.State == leecher::ssTimeout)
            ++c.Timeouts;
    }
    return c;
}

QString Summary(const TCliCommand &c, const TSiteRun &run, const leecher::TSiteList &sites,
                const leecher::TProxyList &proxies, qint64 pages, qint64 elapsedMs)
{
    const QString in = QStringLiteral(" in ") + SecondsText(elapsedMs);
    switch (c.Command) {
    case TSubcommand::Verify: {
        const TSiteCounts n = CountSites(sites);
        return QStringLiteral("%1 of %2 sites asked: %3 good, %4 bad, %5 timeouts")
                   .arg(run.Progress())
                   .arg(sites.size())
                   .arg(n.Good)
                   .arg(n.Bad)
                   .arg(n.Timeouts) +
               in;
    }
    case TSubcommand::Harvest:
        return QStringLiteral("%1 pages leeched, %2 proxies, %3 timeouts")
                   .arg(pages)
                   .arg(proxies.size())
                   .arg(run.TimeoutCount()) +
               in;
    default:
        return QStringLiteral("%1 of %2 sites fetched, %3 proxies, %4 timeouts")
                   .arg(run.Progress())
                   .arg(sites.size())
                   .arg(proxies.size())
                   .arg(run.TimeoutCount()) +
               in;
    }
}

} // namespace

int RunSiteCommand(const TCliCommand &c, const QString &folder)
{
    const bool harvest = c.Command == TSubcommand::Harvest;
    const bool pages = c.Command != TSubcommand::Verify;
    const TOutput output(c.Output);
    TSiteRunSettings settings;
    leecher::TSiteList sites;
    QString listName;
    qsizetype longLines = 0;
    // Everything is read and checked before anything is written.
    try {
        settings = ReadSiteRunSettings(folder, c.Command, c.Settings);
        if (!harvest) {
            QString path = c.Input.isEmpty() ? leecher::SitesIniPath(folder) : c.Input;
            if (c.Starter) {
                path = leecher::FindStarterSites();
                if (path.isEmpty())
                    throw leecher::EFileError(QString(), leecher::StarterSitesMissingText());
            }
            listName = DisplayName(path);
            const TListText text = ReadTextFile(path);
            longLines = text.LongLines;
            sites = SitesFromText(text.Text);
        }
        output.Check();
        if (pages && settings.Options.writeFile)
            TOutput(leecher::ProxiesTxtPath(folder)).Check();
        if (harvest)
            TOutput(leecher::LeechedIniPath(folder)).Check();
    } catch (const leecher::EFileError &e) {
        Complain(e.Message());
        return ExitBadInput;
    }
    if (!harvest && sites.empty()) {
        Complain(QStringLiteral("No sites in %1.").arg(listName));
        return ExitNothing;
    }
    if (!c.Shard.IsWhole()) {
        std::erase_if(sites, [&c](const leecher::TSiteItem &s) { return !c.Shard.Holds(s.URL); });
        if (sites.empty()) {
            // Proxies.txt is left alone.
            return EmptyShard(output, QStringLiteral("No site of %1 falls into shard %2/%3."),
                              listName, c.Shard,
                              pages ? FormatProxies({}, c.Format, output.TxtLineEnd())
                                    : FormatSites({}, c.Format, output.TxtLineEnd()));
        }
    }

    TProgress progress(ProgressModeFor(c.Quiet), stderr);
    if (longLines > 0)
        progress.Say(leecher::LongLinesSkippedText(longLines));
    if (settings.TimeoutCapped)
        progress.Say(::settings::TimeoutCappedText());
    const TFileLimit limit = FitFileLimit(settings.Inputs.bots);
    if (limit.Capped)
        progress.Say(QStringLiteral("The open-file limit is %1: %2 bots instead of %3.")
                         .arg(limit.Limit)
                         .arg(limit.Bots)
                         .arg(settings.Inputs.bots));
    settings.Inputs.bots = limit.Bots;

    leecher::TProxyList proxies;
    leecher::KeepRoom(proxies);
    TSiteRun run(sites, proxies, settings.Options, settings.Inputs, folder);
    run.SetBotLimit(TSiteRun::MaxBotLimit);
    if (harvest)
        run.SetSearchSettings(settings.Search);

    QStringList fileErrors;
    qint64 pagesLeeched = 0;
    // The harvest says "Found N Proxies" after each page it has leeched.
    const QString found = QStringLiteral("Found ");
    QObject::connect(&run, &TSiteRun::statusChanged, &run, [&](const QString &text) {
        if (harvest && text.startsWith(found))
            ++pagesLeeched;
        progress.Status(text);
    });
    QObject::connect(&run, &TSiteRun::fileError, &run,
                     [&](const QString &message) { fileErrors << message; });
    progress.SetSource([&]() -> TProgressCounts {
        const QString counts =
            QStringLiteral("proxies %1  timeouts %2").arg(proxies.size()).arg(run.TimeoutCount());
        if (harvest)
            return {0, 0, QStringLiteral("pages %1  ").arg(pagesLeeched) + counts};
        if (c.Command == TSubcommand::Verify) {
            const TSiteCounts n = CountSites(sites);
            return {run.Progress(), run.ProgressMax(),
                    QStringLiteral("good %1  bad %2  timeouts %3")
                        .arg(n.Good)
                        .arg(n.Bad)
                        .arg(n.Timeouts)};
        }
        return {run.Progress(), run.ProgressMax(), counts};
    });

    TRunWait wait(
        progress, [&] { run.Abort(); }, [&] { run.Shutdown(); });
    QObject::connect(&run, &TSiteRun::finished, &run, [&] { wait.Finished(); });
    if (harvest && c.DurationMs) {
        progress.SetDuration(*c.DurationMs);
        wait.StopAfter(*c.DurationMs,
                       QStringLiteral("Time is up: the requests under way end first."));
    }

    QElapsedTimer clock;
    clock.start();
    try {
        if (c.Command == TSubcommand::Leech)
            run.StartLeech();
        else if (c.Command == TSubcommand::Verify)
            run.StartVerify();
        else
            run.StartGoogle();
    } catch (const leecher::EFileError &e) { // Leeched.ini that cannot be read
        progress.Finish({});
        Complain(e.Message());
        return ExitBadInput;
    } catch (const harvester::ESearchSetting &e) { // a search engine that cannot work
        progress.Finish({});
        Complain(e.Message());
        return ExitBadInput;
    }
    progress.Start(); // the counts are known from here on
    wait.Exec([&] { return run.IsRunning(); });

    if (wait.Forced() && pages) {
        // Stopped at once: the run's own end was skipped, so the found
        // proxies go through the same end-of-run step here. Leeched.ini stays
        // as it was: the pages under way were not leeched.
        try {
            leecher::EndOfRunFileStep(proxies, folder, settings.Options.dupes,
                                      settings.Options.writeFile);
        } catch (const leecher::EFileError &e) {
            fileErrors << e.Message();
        }
    }
    progress.Finish(Summary(c, run, sites, proxies, pagesLeeched, clock.elapsed()));

    // Status 1 means nothing was printed: when the run's own files failed at
    // its end, standard output stays empty (an --output file still keeps
    // the results).
    if (fileErrors.isEmpty() || output.ToFile()) {
        try {
            output.Write(pages ? FormatProxies(proxies, c.Format, output.TxtLineEnd())
                               : FormatSites(sites, c.Format, output.TxtLineEnd()));
        } catch (const leecher::EFileError &e) {
            fileErrors << e.Message();
        }
    }
    for (const QString &message : fileErrors)
        Complain(message);
    if (!fileErrors.isEmpty())
        return ExitBadInput;
    if (wait.Interrupted())
        return ExitInterrupted;
    const bool nothing = pages ? proxies.empty() : CountSites(sites).Good == 0;
    return nothing ? ExitNothing : ExitDone;
}

} // namespace cli
