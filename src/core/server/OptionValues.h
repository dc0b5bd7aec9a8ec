// Values of the servers' command-line options.
#pragma once

#include "ServerLimits.h"

#include <QCommandLineOption>
#include <QHostAddress>
#include <QString>
#include <QStringList>

class QCommandLineParser;

namespace server {

// "ADDR:PORT" with a dotted IPv4 address and a port of 1 to 65535 (0 too,
// for "any free port").
bool ParseListen(const QString &text, QHostAddress &address, quint16 &port);

// A whole number from `low` to `high` for `option`; false with the message in
// `error` otherwise.
bool ParseCount(const QString &text, const char *option, int &count, QString *error, int low = 1,
                int high = 100000);

// Adds --help and --version to the parser's options and parses `arguments`.
// Ok: go on with the options; Text: help or version asked for, in `text`;
// Failed: `error` says why (an unknown option, a stray argument).
enum class TParsed { Ok, Text, Failed };
TParsed ParseServerArguments(QCommandLineParser &parser, const QStringList &arguments,
                             QString &text, QString *error);

// --max-connections and --max-per-source, as every server takes them.
struct TCapOptions
{
    TCapOptions();
    // Sets the limits from the parsed options; false with the message in
    // `error` for a value out of range.
    bool Apply(const QCommandLineParser &parser, TServerLimits &limits, QString *error) const;

    QCommandLineOption Connections;
    QCommandLineOption PerSource;
};

} // namespace server
