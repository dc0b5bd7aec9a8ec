// vexo-cli's command line: one subcommand and its options.
//
//   vexo-cli leech [FILE]        vexo-cli verify [FILE]
//   vexo-cli check [FILE|-]      vexo-cli harvest [--duration D]
//   vexo-cli judge-page HOST:PORT  vexo-cli merge FILE...
//   vexo-cli history [--import FILE]
//
// Every setting that a run reads has an option; a setting without one on the
// command line comes from Options.ini of the data folder (see CliSettings.h).
#pragma once

#include "lists/ShardKey.h"
#include "net/ProxyType.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace cli {

enum class TSubcommand { Leech, Verify, Check, Harvest, JudgePage, Merge, History };
enum class TFormat { Txt, Csv, Json };
// The entries a check run takes: all, or only those of one earlier result.
enum class TOnly { All, Bad, Timeout, Unknown };

// Settings given on the command line; an empty optional leaves the value of
// Options.ini.
struct TSettingOverrides
{
    std::optional<int> Bots;
    std::optional<QString> Timeout;
    std::optional<bool> UseProxy;
    std::optional<QString> Proxy;
    std::optional<bool> ProxyAuth;
    std::optional<QString> ProxyUsername;
    std::optional<QString> ProxyPassword;
    std::optional<bool> RetryTimeout;
    std::optional<bool> Dupes;
    std::optional<bool> WriteFile;
    // The extraction fallback of the subcommand's pages: "Special" for leech,
    // "GooglerSpecial" for harvest.
    std::optional<bool> Special;
    std::optional<QString> Judge;
    std::optional<bool> Retry503;
    std::optional<QByteArray> SearchHost;
    // The harvest's search engine: "SearchEngine", "SearchURL",
    // "SearchLinkPattern", "SearchInterval".
    std::optional<QString> Engine;
    std::optional<QString> SearchUrl;
    std::optional<QString> LinkPattern;
    std::optional<QString> SearchInterval;
    std::optional<QString> OwnAddress;
    std::optional<bool> JudgeFallback;
    std::optional<int> ConnectTimeoutMs;
};

// check and history: the location and history options.
struct THistoryOptions
{
    std::optional<bool> Record;                // check: --history / --no-history
    std::optional<qint64> SkipCheckedWithinMs; // check
    QList<QByteArray> Countries;               // check, history: ISO codes, upper case
    qint64 GoodWithinMs = 0;                   // history: 0 for any
    double MinUptime = 0;                      // history: percent
    std::optional<net::TProxyType> Type;       // history
    QString Import;                            // history: a result file to record
};

struct TCliCommand
{
    enum TAction { RunCommand, ShowText };
    TAction Action = RunCommand;
    QString Text; // ShowText: help or version, for standard output

    TSubcommand Command = TSubcommand::Leech;
    std::optional<QString> Dir;
    // The list file (leech, verify: default Sites.ini; check: "-" or none
    // reads standard input); judge-page: the proxy as HOST:PORT.
    QString Input;
    TSettingOverrides Settings;
    TFormat Format = TFormat::Txt;
    QString Output; // empty or "-": standard output
    bool GoodOnly = false;
    bool Quiet = false;
    TOnly Only = TOnly::All;
    QByteArray Bind;                  // check, judge-page: the local address to connect from
    std::optional<qint64> DurationMs; // harvest
    bool Starter = false;             // leech: the starter site list instead of a file
    // check, judge-page: the type of proxy lines without a prefix ("http",
    // "socks4", "socks5"), or "detect" (each row tries the types in turn).
    QString Type = QStringLiteral("http");
    // check, verify, leech: only the entries of this shard are taken.
    leecher::TShard Shard;
    // merge: the result files, in the order named.
    QStringList Inputs;
    THistoryOptions History;
};

// "90", "90s", "15m", "2h", "7d": a length of time above 0, in ms.
std::optional<qint64> ParseDuration(QString text);

// The subcommand's name as typed.
QString SubcommandName(TSubcommand command);

// False with one line in `error` for anything unusable; --help and --version
// give ShowText.
bool ParseCliCommandLine(const QStringList &arguments, TCliCommand &command, QString *error);

} // namespace cli
