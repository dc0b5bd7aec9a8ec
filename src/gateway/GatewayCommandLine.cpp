#include "GatewayCommandLine.h"

#include "CliCommand.h"
#include "server/OptionValues.h"

#include <QCommandLineParser>

namespace gateway {

namespace {

QCommandLineOption Option(const char *name, const QString &text, const char *value = nullptr,
                          const QString &fallback = {})
{
    return value ? QCommandLineOption(QLatin1StringView(name), text, QLatin1StringView(value),
                                      fallback)
                 : QCommandLineOption(QLatin1StringView(name), text);
}

} // namespace

bool ParseGatewayCommandLine(const QStringList &arguments, TGatewayCommand &command, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "An HTTP proxy on one local address that sends each request and CONNECT tunnel out "
        "through another good proxy of a result file, stepping around those that fail."));
    const auto pool = Option("pool",
                             QStringLiteral("The proxies: the analyser's saved list, or vexo-cli "
                                            "check output (txt, csv or JSON); its good ones."),
                             "FILE");
    const auto fromHistory =
        Option("from-history", QStringLiteral("The proxies of the check history (History.sqlite "
                                              "of the data folder) with a good check within "
                                              "--good-within, instead of --pool."));
    const auto goodWithin =
        Option("good-within",
               QStringLiteral("--from-history: how recent the last good check must be, as 90m, "
                              "24h or 7d (default 24h)."),
               "TIME", QStringLiteral("24h"));
    const auto listen =
        Option("listen",
               QStringLiteral("IPv4 address and port to listen on (default %1). Off loopback, "
                              "--auth-file is required.")
                   .arg(QLatin1StringView(DefaultListen)),
               "ADDR:PORT", QString::fromLatin1(DefaultListen));
    const auto authFile =
        Option("auth-file",
               QStringLiteral("user:password lines; clients must send one of them "
                              "(Proxy-Authorization: Basic)."),
               "FILE");
    const auto rotate =
        Option("rotate", QStringLiteral("round-robin (default), random, fastest or sticky."),
               "POLICY", QStringLiteral("round-robin"));
    const auto sticky = Option(
        "sticky-minutes",
        QStringLiteral("sticky: how long a client keeps its upstream for a host (default 10)."),
        "N", QStringLiteral("10"));
    const auto timeout = Option(
        "timeout", QStringLiteral("Seconds for an upstream to connect and answer (default 10)."),
        "SECONDS", QStringLiteral("10"));
    const auto tries =
        Option("tries", QStringLiteral("Upstreams tried for one request at most (default 3)."), "N",
               QStringLiteral("3"));
    const auto coolDown = Option(
        "cool-down",
        QStringLiteral("Seconds a failed upstream is left alone the first time; doubled while "
                       "it keeps failing (default %1).")
            .arg(CoolDownMs / 1000),
        "SECONDS", QString::number(CoolDownMs / 1000));
    const auto admin =
        Option("admin", QStringLiteral("Serve GET /status and GET /pool (JSON) on this address."),
               "ADDR:PORT");
    const auto recheck =
        Option("recheck", QStringLiteral("Check the pool again every MINUTES and use the result."),
               "MINUTES");
    const auto judge =
        Option("judge", QStringLiteral("Judge for --recheck (default: Options.ini's)."), "URL");
    const auto dir =
        Option("dir", QStringLiteral("Data folder with Options.ini and ProxyJudges.ini."), "PATH");
    const server::TCapOptions caps;
    parser.addOptions({pool, fromHistory, goodWithin, listen, authFile, rotate, sticky, timeout,
                       tries, coolDown, admin, recheck, judge, dir, caps.Connections,
                       caps.PerSource});
    switch (server::ParseServerArguments(parser, arguments, command.Text, error)) {
    case server::TParsed::Failed:
        return false;
    case server::TParsed::Text:
        command.ShowText = true;
        return true;
    case server::TParsed::Ok:
        break;
    }
    command.FromHistory = parser.isSet(fromHistory);
    if (command.FromHistory == parser.isSet(pool)) {
        *error =
            QStringLiteral("--pool FILE or --from-history names the proxies to use (one of them)");
        return false;
    }
    const std::optional<qint64> within = cli::ParseDuration(parser.value(goodWithin).trimmed());
    if (!within) {
        *error = QStringLiteral("--good-within wants a length of time, as 24h or 7d");
        return false;
    }
    command.GoodWithinMs = *within;
    command.PoolFile = parser.value(pool);
    TGatewayConfig &config = command.Config;
    if (!server::ParseListen(parser.value(listen), config.Address, config.Port)) {
        *error = QStringLiteral("--listen wants an IPv4 address and a port, as 127.0.0.1:8899");
        return false;
    }
    if (parser.isSet(admin) &&
        !server::ParseListen(parser.value(admin), config.AdminAddress, config.AdminPort)) {
        *error = QStringLiteral("--admin wants an IPv4 address and a port, as 127.0.0.1:8898");
        return false;
    }
    if (parser.isSet(authFile) && !config.Auth.Load(parser.value(authFile), error))
        return false;
    // Anyone who reaches an open gateway uses its proxies in the user's name.
    const bool open = !config.Address.isLoopback() ||
                      (!config.AdminAddress.isNull() && !config.AdminAddress.isLoopback());
    if (open && config.Auth.IsEmpty()) {
        *error = QStringLiteral("an address off loopback needs --auth-file");
        return false;
    }
    const auto policy = RotateFromName(parser.value(rotate).toLatin1());
    if (!policy) {
        *error = QStringLiteral("--rotate wants round-robin, random, fastest or sticky");
        return false;
    }
    config.Rotate = *policy;
    int minutes = 0, seconds = 0;
    if (!server::ParseCount(parser.value(sticky), "--sticky-minutes", minutes, error, 1, 10080))
        return false;
    config.StickyMs = minutes * 60 * 1000;
    if (!server::ParseCount(parser.value(timeout), "--timeout", seconds, error, 1, 3600))
        return false;
    config.TimeoutMs = seconds * 1000;
    if (!server::ParseCount(parser.value(tries), "--tries", config.Tries, error, 1, 100))
        return false;
    if (!server::ParseCount(parser.value(coolDown), "--cool-down", seconds, error, 1, 86400))
        return false;
    config.CoolDownMs = seconds * 1000;
    if (parser.isSet(recheck) && !server::ParseCount(parser.value(recheck), "--recheck",
                                                     command.RecheckMinutes, error, 1, 10080))
        return false;
    if (parser.isSet(judge))
        command.Judge = parser.value(judge);
    if (parser.isSet(dir))
        command.Dir = parser.value(dir);
    return caps.Apply(parser, config.Limits, error);
}

} // namespace gateway
