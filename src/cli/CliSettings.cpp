#include "CliSettings.h"

#include "InputFiles.h"

#include "analyser/AnalyserFiles.h"
#include "analyser/JudgeFallback.h"
#include "settings/OptionsFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace cli {

namespace {

settings::TIniFile OptionsIni(const QString &folder)
{
    const QString path = QDir(folder).filePath(settings::OptionsFileName);
    // A file that is there must be one we can read: a setting silently taken
    // from the defaults would run the wrong way.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        ReadTextFile(path);
    return settings::TIniFile(path);
}

// The windows' sliders show a stored count within 1 and 100; the command
// line starts from what the window would show.
int SliderBots(int stored)
{
    return std::clamp(stored, 1, leecher::TSiteRun::MaxBots);
}

template <typename T>
void Take(T &value, const std::optional<T> &given)
{
    if (given)
        value = *given;
}

} // namespace

TSiteRunSettings ReadSiteRunSettings(const QString &folder, TSubcommand command,
                                     const TSettingOverrides &o)
{
    const settings::TIniFile ini = OptionsIni(folder);
    const settings::TMainSection main = settings::ReadMainSection(ini);
    TSiteRunSettings s;
    s.Options = settings::ReadOptionsSection(ini);
    s.Inputs.bots = SliderBots(main.bots);
    s.Inputs.timeout = main.timeout;
    s.TimeoutCapped = main.timeoutCapped && !o.Timeout;
    s.Inputs.automate = false;

    Take(s.Inputs.bots, o.Bots);
    Take(s.Inputs.timeout, o.Timeout);
    Take(s.Options.useProxy, o.UseProxy);
    Take(s.Options.proxy, o.Proxy);
    Take(s.Options.proxyAuth, o.ProxyAuth);
    Take(s.Options.proxyUsername, o.ProxyUsername);
    Take(s.Options.proxyPassword, o.ProxyPassword);
    Take(s.Options.retryTimeout, o.RetryTimeout);
    Take(s.Options.dupes, o.Dupes);
    Take(s.Options.writeFile, o.WriteFile);
    Take(command == TSubcommand::Harvest ? s.Options.googlerSpecial : s.Options.special, o.Special);
    s.Search = settings::ReadSearchSettings(ini);
    if (o.SearchHost)
        s.Search.Host = QString::fromUtf8(*o.SearchHost);
    Take(s.Search.Engine, o.Engine);
    Take(s.Search.Url, o.SearchUrl);
    Take(s.Search.LinkPattern, o.LinkPattern);
    Take(s.Search.Interval, o.SearchInterval);
    return s;
}

analyser::TCheckInputValues ReadCheckSettings(const QString &folder, const TSettingOverrides &o,
                                              const std::function<QString()> &ownAddress,
                                              bool *timeoutCapped)
{
    const settings::TIniFile ini = OptionsIni(folder);
    const settings::TProxyCheckerSection checker = settings::ReadProxyCheckerSection(ini);
    analyser::TCheckInputValues s;
    s.bots = SliderBots(checker.bots);
    s.timeout = checker.timeout;
    if (timeoutCapped)
        *timeoutCapped = checker.timeoutCapped && !o.Timeout;
    s.judgeURL = checker.proxyJudge;
    s.retry503 = checker.retry503;
    s.connectTimeoutMs = checker.connectTimeoutMs;
    s.verifyCertificates = settings::ReadVerifyCertificates(ini);

    Take(s.bots, o.Bots);
    Take(s.timeout, o.Timeout);
    Take(s.judgeURL, o.Judge);
    Take(s.retry503, o.Retry503);
    Take(s.connectTimeoutMs, o.ConnectTimeoutMs);
    s.judgeItems = analyser::ReadProxyJudges(folder).value_or(analyser::DefaultProxyJudges());
    s.ownAddress = o.OwnAddress ? *o.OwnAddress : ownAddress();
    return s;
}

bool ReadJudgeFallback(const QString &folder, const TSettingOverrides &o)
{
    bool fallback = settings::ReadProxyCheckerSection(OptionsIni(folder)).judgeFallback;
    Take(fallback, o.JudgeFallback);
    return fallback;
}

history::TRecordingSettings ReadRecordingSettings(const QString &folder, std::optional<bool> record)
{
    history::TRecordingSettings r =
        history::RecordingSettings(folder, settings::ReadProxyCheckerSection(OptionsIni(folder)));
    Take(r.History, record);
    return r;
}

} // namespace cli
