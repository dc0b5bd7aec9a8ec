#include "CliCommand.h"
#include "HistoryOptions.h"

#include "analyser/CheckRun.h"
#include "leecher/SiteRun.h"
#include "net/HostCheck.h"
#include "net/HttpAddress.h"
#include "net/ProxyType.h"
#include "net/WSocket.h"
#include "settings/OptionsFile.h"

#include <QCommandLineParser>
#include <QLocale>
#include <QUrl>

#include <array>

namespace cli {

namespace {

const QString Program = QStringLiteral("vexo-cli");
const QString Version = QStringLiteral("vexo-cli 1.3\n");

struct TSubcommandInfo
{
    TSubcommand Command;
    const char *Name;
    const char *Arguments; // the usage line's tail
    const char *Description;
};

const std::array<TSubcommandInfo, 7> Subcommands{{
    {TSubcommand::Leech, "leech", "[options] [FILE]",
     "Fetches every site of a site list (FILE, default Sites.ini of the data\n"
     "folder), extracts the proxies of each page, removes duplicates and writes\n"
     "Proxies.txt. Prints the proxies found."},
    {TSubcommand::Verify, "verify", "[options] [FILE]",
     "Asks every site of a site list (FILE, default Sites.ini of the data folder)\n"
     "with HEAD and prints each site's state (good, bad, timeout) and answer."},
    {TSubcommand::Check, "check", "[options] [FILE|-]",
     "Fetches the proxy judge through every proxy of a list (FILE, or standard\n"
     "input for - or no FILE) and prints each proxy's result. FILE may be a proxy\n"
     "list (HOST:PORT lines) or an earlier result of check in csv or json form,\n"
     "whose results --only takes up again."},
    {TSubcommand::Harvest, "harvest", "[options]",
     "Searches the web for pages that quote proxy addresses and leeches every\n"
     "result page not leeched before (Leeched.ini), until --duration has passed or\n"
     "Ctrl-C; then writes Leeched.ini and Proxies.txt. Prints the proxies found."},
    {TSubcommand::JudgePage, "judge-page", "[options] HOST:PORT",
     "Fetches the proxy judge through one proxy and prints the verdict: answer,\n"
     "state, gateway, anonymous, level and speed. For trying a judge out."},
    {TSubcommand::Merge, "merge", "[options] FILE...",
     "Merges result files of check (csv, json) or of leech (txt, csv, json), such\n"
     "as those of the shards of one list, into one: check results keep one row per\n"
     "proxy, the latest checked_at winning (else the file named last); leech\n"
     "results are sorted and their duplicates removed as at the end of a leech."},
    {TSubcommand::History, "history", "[options]",
     "Lists the proxies of the check history (History.sqlite of the data folder)\n"
     "with their checks, good checks, uptime and last good check; --import records\n"
     "a result file of check (such as a merge of shards) into it."},
}};

const char *ExitCodesText = "Exit status:\n"
                            "  0  done\n"
                            "  1  bad arguments, or a file that cannot be read or written\n"
                            "     (nothing is written then)\n"
                            "  2  interrupted (SIGINT, SIGTERM, SIGHUP)\n"
                            "  3  nothing found: no proxy, no good proxy, no good site\n";

const TSubcommandInfo *FindSubcommand(const QString &name)
{
    for (const TSubcommandInfo &info : Subcommands) {
        if (name == QLatin1StringView(info.Name))
            return &info;
    }
    return nullptr;
}

QString GeneralHelp()
{
    QString text = QStringLiteral("Usage: vexo-cli COMMAND [options]\n\n"
                                  "Vexo's runs without a screen: the same engines, files and "
                                  "results as the desktop program.\n\nCommands:\n");
    for (const TSubcommandInfo &info : Subcommands)
        text += QStringLiteral("  %1 %2\n")
                    .arg(QLatin1StringView(info.Name), QLatin1StringView(info.Arguments));
    text += QStringLiteral("\n`vexo-cli COMMAND --help` lists the options of a command.\n\n") +
            QLatin1StringView(ExitCodesText);
    return text;
}

bool ParseWholeNumber(const QString &text, qint64 low, qint64 high, qint64 &value)
{
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && !text.startsWith(u'+') && value >= low && value <= high;
}

// "HOST:PORT" with a host and a port of 1 to 65535.
bool IsProxyAddress(QString text)
{
    // An HTTP proxy, or a SOCKS one after its scheme ("socks5://").
    QByteArrayView rest = text.toUtf8();
    net::TProxyType type = net::ptHttp;
    if (net::TakeProxyPrefix(rest, type))
        text = QString::fromUtf8(rest);
    // Split at the first colon, as the runs split a proxy text.
    const qsizetype colon = text.indexOf(u':');
    qint64 port = 0;
    return colon > 0 && ParseWholeNumber(text.sliced(colon + 1), 1, 65535, port) &&
           net::IsValidHost(text.first(colon).toUtf8());
}

bool IsDottedAddress(const QString &text)
{
    return net::WSocketIsDottedIP(text.toLatin1(), nullptr);
}

struct TOptionSet
{
    bool Sites = false; // site list and the leech/verify settings
    bool Pages = false; // extraction and the end-of-run step
    bool Proxy = false; // the proxy the requests go through
    bool RetryTimeouts = false;
    bool Check = false;   // judge, own address, bind, 503
    bool Results = false; // --only, --good-only
    bool Harvest = false;
    bool Bots = true;
    bool Runs = true;     // a run: data folder and timeout
    bool Shard = false;   // --shard
    bool History = false; // location and history (HistoryOptions.cpp)
};

TOptionSet OptionsOf(TSubcommand command)
{
    TOptionSet set;
    switch (command) {
    case TSubcommand::Leech:
        set.Sites = set.Pages = set.Proxy = set.RetryTimeouts = set.Shard = true;
        break;
    case TSubcommand::Verify:
        set.Sites = set.Proxy = set.RetryTimeouts = set.Shard = true;
        break;
    case TSubcommand::Check:
        set.Check = set.Results = set.Shard = set.History = true;
        break;
    case TSubcommand::Merge:
        set.Bots = set.Runs = false;
        break;
    case TSubcommand::History:
        set.Bots = false;
        set.History = true;
        break;
    case TSubcommand::Harvest:
        set.Pages = set.Proxy = set.Harvest = true;
        break;
    case TSubcommand::JudgePage:
        set.Check = true;
        set.Bots = false;
        break;
    }
    return set;
}

// check takes the most bots: its time is ruled by dead proxies waiting.
int MostBots(TSubcommand command)
{
    return command == TSubcommand::Check ? analyser::TCheckRun::MaxBotLimit
                                         : leecher::TSiteRun::MaxBotLimit;
}

QCommandLineOption Option(const char *name, const char *description,
                          const char *valueName = nullptr)
{
    if (valueName)
        return QCommandLineOption(QLatin1StringView(name), QLatin1StringView(description),
                                  QLatin1StringView(valueName));
    return QCommandLineOption(QLatin1StringView(name), QLatin1StringView(description));
}

void AddOptions(QCommandLineParser &parser, TSubcommand command)
{
    const TOptionSet set = OptionsOf(command);
    if (set.Runs)
        parser.addOption(Option("dir",
                                "Data folder with Options.ini and the lists (default: the "
                                "program's folder when writable, else ~/.local/share/vexo).",
                                "FOLDER"));
    if (set.Bots)
        parser.addOption(
            QCommandLineOption(QStringLiteral("bots"),
                               QStringLiteral("Requests at once, 1 to %1 (default: Options.ini).")
                                   .arg(MostBots(command)),
                               QStringLiteral("N")));
    if (set.Runs)
        parser.addOption(Option(
            "timeout", "Seconds a request may go without data (default: Options.ini).", "S"));
    if (set.Shard)
        parser.addOption(Option("shard",
                                "Take only the entries of shard I of N (0 <= I < N), so that N "
                                "machines share one list; `merge` joins their results.",
                                "I/N"));
    if (set.Proxy) {
        parser.addOption(Option("proxy",
                                "Send the requests through this proxy (HOST:PORT, or "
                                "socks4://, socks4a://, socks5:// and HOST:PORT).",
                                "PROXY"));
        parser.addOption(Option("no-proxy", "Send the requests directly."));
        parser.addOption(
            Option("proxy-user", "User name for the proxy (turns its use on).", "NAME"));
        parser.addOption(Option("proxy-password", "Password for the proxy.", "TEXT"));
        parser.addOption(Option("no-proxy-auth", "Give the proxy no user name and password."));
    }
    if (set.RetryTimeouts) {
        parser.addOption(Option("retry-timeouts", "Fetch a site that timed out again."));
        parser.addOption(Option("no-retry-timeouts", "Do not fetch timed-out sites again."));
    }
    if (set.Pages) {
        parser.addOption(Option("dupes", "Remove duplicate proxies at the end."));
        parser.addOption(Option("no-dupes", "Keep duplicate proxies."));
        parser.addOption(Option("write-file", "Write Proxies.txt at the end."));
        parser.addOption(Option("no-write-file", "Do not write Proxies.txt."));
        parser.addOption(Option("special",
                                "Try the further extraction patterns on pages where the plain "
                                "one finds nothing."));
        parser.addOption(Option("no-special", "Use the plain extraction pattern only."));
    }
    if (command == TSubcommand::Leech)
        parser.addOption(Option("starter", "Leech the starter site list that comes with Vexo "
                                           "instead of FILE or Sites.ini."));
    if (set.Harvest) {
        parser.addOption(Option("duration", "Stop after this long: 90, 90s, 15m, 2h.", "TIME"));
        parser.addOption(Option("engine",
                                "The kind of search engine: classic, searxng or custom "
                                "(default: Options.ini).",
                                "KIND"));
        parser.addOption(Option("search-host",
                                "The web search to ask, or the searxng instance's address "
                                "(default: Options.ini).",
                                "HOST[:PORT]"));
        parser.addOption(Option("search-url",
                                "custom: the search address, with {query} and optionally {page} "
                                "(default: Options.ini).",
                                "URL"));
        parser.addOption(Option("link-pattern",
                                "custom: a pattern whose first group is a result link "
                                "(default: Options.ini).",
                                "PATTERN"));
        parser.addOption(Option("search-interval",
                                "Seconds between two searches, 0 for no pause (default: "
                                "Options.ini, else 3).",
                                "SECONDS"));
    }
    if (set.Check) {
        parser.addOption(
            Option("judge", "Address of the proxy judge (default: Options.ini).", "URL"));
        parser.addOption(Option("retry-503", "Check a proxy again when it answers 503."));
        parser.addOption(Option("no-retry-503", "Record a 503 answer as bad."));
        parser.addOption(Option("own-address",
                                "The address a judge page must not show (default: the address "
                                "the judge sees, asked directly before the run; the machine's "
                                "own when the judge cannot be reached); empty: no address of "
                                "this machine is looked for.",
                                "ADDR"));
        parser.addOption(Option("bind", "Connect from this local IPv4 address.", "ADDR"));
        parser.addOption(Option("connect-timeout",
                                "Seconds a proxy has to take the connection (a SOCKS proxy: and "
                                "to connect onwards), else it is recorded as a time-out at once; "
                                "0.5 and the like allowed (default: Options.ini, else none: the "
                                "timeout alone).",
                                "S"));
        parser.addOption(Option("type",
                                "The type of proxy lines without a prefix: http (default), "
                                "socks4, socks5, or detect (try HTTP, SOCKS5, SOCKS4 in turn).",
                                "TYPE"));
        parser.addOption(Option("judge-fallback",
                                "When the judge does not answer, use the next one of "
                                "ProxyJudges.ini that does (default: Options.ini, on)."));
        parser.addOption(
            Option("no-judge-fallback", "Check with the judge given, answering or not."));
    }
    if (set.Results) {
        parser.addOption(Option("only",
                                "Check only the proxies of FILE (an earlier result) with this "
                                "result: bad, timeout or unknown.",
                                "RESULT"));
        parser.addOption(Option("good-only", "Print only the good proxies."));
    }
    if (set.History)
        AddHistoryOptions(parser, command);
    parser.addOption(
        Option("format", "Results as txt, csv or json (JSON Lines); default txt.", "FORMAT"));
    parser.addOption(
        Option("output", "Write the results to FILE (default: standard output).", "FILE"));
    parser.addOption(Option("quiet", "No progress on standard error."));
}

QString SubcommandHelp(QCommandLineParser &parser, const TSubcommandInfo &info)
{
    QString text = parser.helpText();
    // Qt names the program alone in its usage line: put the command beside it.
    const qsizetype lineEnd = text.indexOf(u'\n');
    text.replace(0, lineEnd,
                 QStringLiteral("Usage: vexo-cli %1 %2\n")
                     .arg(QLatin1StringView(info.Name), QLatin1StringView(info.Arguments)));
    return text + u'\n' + QLatin1StringView(ExitCodesText);
}

bool ReadSettings(const QCommandLineParser &parser, TSubcommand command, TSettingOverrides &s,
                  QString *error)
{
    const TOptionSet set = OptionsOf(command);
    qint64 number = 0;
    if (set.Bots && parser.isSet(QStringLiteral("bots"))) {
        if (!ParseWholeNumber(Last(parser, QStringLiteral("bots")), 1, MostBots(command), number)) {
            *error = QStringLiteral("--bots wants a number from 1 to %1").arg(MostBots(command));
            return false;
        }
        s.Bots = int(number);
    }
    if (set.Runs && parser.isSet(QStringLiteral("timeout"))) {
        const QString text = Last(parser, QStringLiteral("timeout")).trimmed();
        if (!ParseWholeNumber(text, 1, settings::MaxTimeoutSeconds, number)) {
            *error = QStringLiteral("--timeout wants a whole number of seconds from 1 to %1")
                         .arg(settings::MaxTimeoutSeconds);
            return false;
        }
        s.Timeout = QString::number(number);
    }
    if (set.Proxy) {
        if (!ReadSwitch(parser, QStringLiteral("proxy"), s.UseProxy, error))
            return false;
        if (parser.isSet(QStringLiteral("proxy"))) {
            const QString proxy = Last(parser, QStringLiteral("proxy"));
            if (!IsProxyAddress(proxy)) {
                *error = QStringLiteral("--proxy wants HOST:PORT, as 127.0.0.1:3128, or a SOCKS "
                                        "proxy as socks5://127.0.0.1:1080");
                return false;
            }
            s.Proxy = proxy;
        } else if (s.UseProxy == false) {
            // The harvest uses the proxy text whenever there is one.
            s.Proxy = QString();
        }
        const bool user = parser.isSet(QStringLiteral("proxy-user"));
        const bool password = parser.isSet(QStringLiteral("proxy-password"));
        if (parser.isSet(QStringLiteral("no-proxy-auth"))) {
            if (user || password) {
                *error = QStringLiteral("--no-proxy-auth and a proxy user or password contradict "
                                        "each other");
                return false;
            }
            s.ProxyAuth = false;
            s.ProxyUsername = s.ProxyPassword = QString();
        }
        if (user) {
            s.ProxyAuth = true;
            s.ProxyUsername = Last(parser, QStringLiteral("proxy-user"));
        }
        if (password) {
            s.ProxyAuth = true;
            s.ProxyPassword = Last(parser, QStringLiteral("proxy-password"));
        }
    }
    if (set.RetryTimeouts &&
        !ReadSwitch(parser, QStringLiteral("retry-timeouts"), s.RetryTimeout, error))
        return false;
    if (set.Pages && (!ReadSwitch(parser, QStringLiteral("dupes"), s.Dupes, error) ||
                      !ReadSwitch(parser, QStringLiteral("write-file"), s.WriteFile, error) ||
                      !ReadSwitch(parser, QStringLiteral("special"), s.Special, error)))
        return false;
    if (set.Harvest && parser.isSet(QStringLiteral("search-host"))) {
        const QString host = Last(parser, QStringLiteral("search-host")).trimmed();
        if (host.isEmpty() ||
            !net::IsValidHost(net::ParseURL(settings::NormalSearchHost(host)).Host)) {
            *error = QStringLiteral("--search-host wants a host name, or HOST:PORT");
            return false;
        }
        s.SearchHost = host.toUtf8();
    }
    if (set.Harvest && parser.isSet(QStringLiteral("engine"))) {
        const QString engine = Last(parser, QStringLiteral("engine")).trimmed().toLower();
        if (engine != QLatin1String("classic") && engine != QLatin1String("searxng") &&
            engine != QLatin1String("custom")) {
            *error = QStringLiteral("--engine wants classic, searxng or custom");
            return false;
        }
        s.Engine = engine;
    }
    if (set.Harvest && parser.isSet(QStringLiteral("search-url")))
        s.SearchUrl = Last(parser, QStringLiteral("search-url"));
    if (set.Harvest && parser.isSet(QStringLiteral("link-pattern")))
        s.LinkPattern = Last(parser, QStringLiteral("link-pattern"));
    if (set.Harvest && parser.isSet(QStringLiteral("search-interval"))) {
        const QString interval = Last(parser, QStringLiteral("search-interval")).trimmed();
        bool ok = false;
        const double seconds = QLocale::c().toDouble(interval, &ok);
        if (!ok || !(seconds >= 0 && seconds <= 3600)) {
            *error = QStringLiteral("--search-interval wants seconds from 0 to 3600, as 3 or 0.5");
            return false;
        }
        s.SearchInterval = interval;
    }
    if (set.Check) {
        if (parser.isSet(QStringLiteral("judge"))) {
            const QString judge = Last(parser, QStringLiteral("judge"));
            const QUrl url(judge, QUrl::StrictMode);
            const bool web =
                url.scheme() == QStringLiteral("http") || url.scheme() == QStringLiteral("https");
            if (!url.isValid() || !web || !net::IsValidHost(net::ParseURL(judge.toUtf8()).Host)) {
                *error = QStringLiteral("--judge wants an http:// or https:// address, as "
                                        "http://judge.example.org/azenv.php");
                return false;
            }
            s.Judge = judge;
        }
        if (parser.isSet(QStringLiteral("connect-timeout"))) {
            const int ms =
                settings::ConnectTimeoutMs(Last(parser, QStringLiteral("connect-timeout")));
            if (ms == 0) {
                *error = QStringLiteral("--connect-timeout wants seconds above 0, at most 3600, "
                                        "as 3 or 0.5");
                return false;
            }
            s.ConnectTimeoutMs = ms;
        }
        if (!ReadSwitch(parser, QStringLiteral("retry-503"), s.Retry503, error) ||
            !ReadSwitch(parser, QStringLiteral("judge-fallback"), s.JudgeFallback, error))
            return false;
        if (parser.isSet(QStringLiteral("own-address"))) {
            const QString own = Last(parser, QStringLiteral("own-address")).trimmed();
            if (!own.isEmpty() && !IsDottedAddress(own)) {
                *error = QStringLiteral("--own-address wants an IPv4 address, or nothing");
                return false;
            }
            s.OwnAddress = own;
        }
    }
    return true;
}

bool ReadCommandOptions(const QCommandLineParser &parser, TCliCommand &c, QString *error)
{
    const TOptionSet set = OptionsOf(c.Command);
    if (set.Shard && parser.isSet(QStringLiteral("shard"))) {
        const std::optional<leecher::TShard> shard =
            leecher::ParseShard(Last(parser, QStringLiteral("shard")).trimmed());
        if (!shard) {
            *error = QStringLiteral("--shard wants I/N with 0 <= I < N, as 0/4");
            return false;
        }
        c.Shard = *shard;
    }
    if (set.Runs && parser.isSet(QStringLiteral("dir"))) {
        c.Dir = Last(parser, QStringLiteral("dir"));
        if (c.Dir->isEmpty()) {
            *error = QStringLiteral("--dir needs a folder");
            return false;
        }
    }
    if (set.Check && parser.isSet(QStringLiteral("type"))) {
        const QString type = Last(parser, QStringLiteral("type")).trimmed().toLower();
        static const QStringList Types = {QStringLiteral("http"), QStringLiteral("socks4"),
                                          QStringLiteral("socks5"), QStringLiteral("detect")};
        if (!Types.contains(type)) {
            *error = QStringLiteral("--type wants http, socks4, socks5 or detect");
            return false;
        }
        c.Type = type;
    }
    if (parser.isSet(QStringLiteral("format"))) {
        const QString format = Last(parser, QStringLiteral("format"));
        if (format == QStringLiteral("txt"))
            c.Format = TFormat::Txt;
        else if (format == QStringLiteral("csv"))
            c.Format = TFormat::Csv;
        else if (format == QStringLiteral("json"))
            c.Format = TFormat::Json;
        else {
            *error = QStringLiteral("--format wants txt, csv or json");
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("output"))) {
        c.Output = Last(parser, QStringLiteral("output"));
        if (c.Output.isEmpty()) {
            *error = QStringLiteral("--output needs a file name, or - for standard output");
            return false;
        }
    }
    c.Quiet = parser.isSet(QStringLiteral("quiet"));
    c.Starter = c.Command == TSubcommand::Leech && parser.isSet(QStringLiteral("starter"));
    if (set.Results) {
        c.GoodOnly = parser.isSet(QStringLiteral("good-only"));
        if (parser.isSet(QStringLiteral("only"))) {
            const QString only = Last(parser, QStringLiteral("only"));
            if (only == QStringLiteral("bad"))
                c.Only = TOnly::Bad;
            else if (only == QStringLiteral("timeout"))
                c.Only = TOnly::Timeout;
            else if (only == QStringLiteral("unknown"))
                c.Only = TOnly::Unknown;
            else {
                *error = QStringLiteral("--only wants bad, timeout or unknown");
                return false;
            }
        }
    }
    if (set.Check && parser.isSet(QStringLiteral("bind"))) {
        const QString bind = Last(parser, QStringLiteral("bind")).trimmed();
        if (!IsDottedAddress(bind)) {
            *error = QStringLiteral("--bind wants a local IPv4 address");
            return false;
        }
        c.Bind = bind.toLatin1();
    }
    if (set.Harvest && parser.isSet(QStringLiteral("duration"))) {
        c.DurationMs = ParseDuration(Last(parser, QStringLiteral("duration")).trimmed());
        if (!c.DurationMs) {
            *error = QStringLiteral("--duration wants a length of time, as 90, 90s, 15m or 2h");
            return false;
        }
    }
    if (set.History && !ReadHistoryOptions(parser, c, error))
        return false;
    return ReadSettings(parser, c.Command, c.Settings, error);
}

bool ReadPositional(const QStringList &positional, TCliCommand &c, QString *error)
{
    if (c.Command == TSubcommand::Merge) {
        if (positional.isEmpty()) {
            *error = QStringLiteral("merge wants the result files to merge");
            return false;
        }
        for (const QString &file : positional) {
            if (file.isEmpty()) {
                *error = QStringLiteral("the file name is empty");
                return false;
            }
        }
        c.Inputs = positional;
        return true;
    }
    const bool judgePage = c.Command == TSubcommand::JudgePage;
    const bool takesFile =
        c.Command != TSubcommand::Harvest && c.Command != TSubcommand::History && !judgePage;
    const qsizetype allowed = (takesFile || judgePage) ? 1 : 0;
    if (positional.size() > allowed) {
        *error = QStringLiteral("unexpected argument: ") + positional.at(allowed);
        return false;
    }
    if (judgePage) {
        if (positional.isEmpty() || !IsProxyAddress(positional.first())) {
            *error = QStringLiteral("judge-page wants the proxy to try as HOST:PORT");
            return false;
        }
    }
    if (c.Starter && !positional.isEmpty()) {
        *error = QStringLiteral("--starter and a FILE contradict each other");
        return false;
    }
    if (!positional.isEmpty()) {
        c.Input = positional.first();
        if (c.Input.isEmpty()) {
            *error = QStringLiteral("the file name is empty");
            return false;
        }
        if (c.Input == QStringLiteral("-") && c.Command != TSubcommand::Check) {
            *error = QStringLiteral("only check reads its list from standard input");
            return false;
        }
    }
    if (c.Only != TOnly::All && (c.Input.isEmpty() || c.Input == QStringLiteral("-"))) {
        *error = QStringLiteral("--only wants FILE, an earlier result of check");
        return false;
    }
    return true;
}

} // namespace

// An option of a pair such as --dupes / --no-dupes: set, cleared, or left
// to Options.ini. Both at once is an error.
bool ReadSwitch(const QCommandLineParser &parser, const QString &name, std::optional<bool> &value,
                QString *error)
{
    const QString off = QStringLiteral("no-") + name;
    const bool on = parser.isSet(name);
    const bool no = parser.isSet(off);
    if (on && no) {
        *error = QStringLiteral("--%1 and --%2 contradict each other").arg(name, off);
        return false;
    }
    if (on || no)
        value = on;
    return true;
}

// The last value of an option given more than once is the one that counts,
// as with most programs.
QString Last(const QCommandLineParser &parser, const QString &name)
{
    return parser.values(name).constLast();
}

std::optional<qint64> ParseDuration(QString text)
{
    constexpr qint64 Longest = qint64(366) * 24 * 3600; // seconds
    qint64 unit = 1;
    if (text.endsWith(u'm'))
        unit = 60;
    else if (text.endsWith(u'h'))
        unit = 3600;
    else if (text.endsWith(u'd'))
        unit = 24 * 3600;
    if (unit != 1 || text.endsWith(u's'))
        text.chop(1);
    qint64 count = 0;
    if (!ParseWholeNumber(text, 1, Longest / unit, count))
        return std::nullopt;
    return count * unit * 1000;
}

QString SubcommandName(TSubcommand command)
{
    for (const TSubcommandInfo &info : Subcommands) {
        if (info.Command == command)
            return QLatin1StringView(info.Name);
    }
    return {};
}

bool ParseCliCommandLine(const QStringList &arguments, TCliCommand &command, QString *error)
{
    // First the command word; what follows it belongs to the command.
    QCommandLineParser first;
    first.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help = first.addHelpOption();
    const QCommandLineOption version = first.addVersionOption();
    first.addPositionalArgument(QStringLiteral("command"), QString());
    if (!first.parse(arguments)) {
        *error = first.errorText();
        return false;
    }
    QStringList rest = first.positionalArguments();
    if (first.isSet(version)) {
        command.Action = TCliCommand::ShowText;
        command.Text = Version;
        return true;
    }
    if (rest.isEmpty() && first.isSet(help)) {
        command.Action = TCliCommand::ShowText;
        command.Text = GeneralHelp();
        return true;
    }
    if (rest.isEmpty()) {
        *error = QStringLiteral(
            "a command is needed: leech, verify, check, harvest, judge-page, merge or history");
        return false;
    }
    // "vexo-cli help [COMMAND]" reads as "vexo-cli [COMMAND] --help".
    bool helpWord = false;
    if (rest.first() == QStringLiteral("help")) {
        helpWord = true;
        rest.removeFirst();
        if (rest.isEmpty()) {
            command.Action = TCliCommand::ShowText;
            command.Text = GeneralHelp();
            return true;
        }
    }
    const TSubcommandInfo *info = FindSubcommand(rest.first());
    if (!info) {
        *error =
            QStringLiteral(
                "unknown command: %1 (leech, verify, check, harvest, judge-page, merge, history)")
                .arg(rest.first());
        return false;
    }
    command.Command = info->Command;

    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1StringView(info->Description));
    const QCommandLineOption commandHelp = parser.addHelpOption();
    AddOptions(parser, command.Command);
    rest.first() = Program + u' ' + rest.first();
    if (!parser.parse(rest)) {
        *error = parser.errorText();
        return false;
    }
    if (helpWord || first.isSet(help) || parser.isSet(commandHelp)) {
        command.Action = TCliCommand::ShowText;
        command.Text = SubcommandHelp(parser, *info);
        return true;
    }
    return ReadCommandOptions(parser, command, error) &&
           ReadPositional(parser.positionalArguments(), command, error);
}

} // namespace cli
