// The location and history options of check and history, and the option
// reading that they share with the other options.
#pragma once

#include "CliCommand.h"

#include <QCommandLineParser>
#include <QString>

#include <optional>

namespace cli {

// An option of a pair such as --dupes / --no-dupes: set, cleared, or left
// to Options.ini. Both at once is an error.
bool ReadSwitch(const QCommandLineParser &parser, const QString &name, std::optional<bool> &value,
                QString *error);
// The last value of an option given more than once.
QString Last(const QCommandLineParser &parser, const QString &name);

void AddHistoryOptions(QCommandLineParser &parser, TSubcommand command);
bool ReadHistoryOptions(const QCommandLineParser &parser, TCliCommand &c, QString *error);

} // namespace cli
