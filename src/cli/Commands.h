// vexo-cli's subcommands. Each drives the run object the windows drive,
// with the same files, and returns the exit status (ExitCodes.h).
#pragma once

#include "CliCommand.h"
#include "OutputFile.h"

#include <QString>

namespace cli {

// The whole program after its application object exists: the command line,
// the data folder, the subcommand.
int RunCli(const QStringList &arguments);

// leech, verify and harvest (the main window's runs).
int RunSiteCommand(const TCliCommand &command, const QString &folder);
// check and judge-page (the analyser's run).
int RunCheckCommand(const TCliCommand &command, const QString &folder);

// history: the check history's proxies, or --import of a result file.
int RunHistoryCommand(const TCliCommand &command, const QString &folder);

// merge: result files of check or leech into one.
int RunMergeCommand(const TCliCommand &command);

// A shard that holds no entry of the list: says so (`message` with the
// list's name, the shard's index and count) and writes the empty result, so
// that a merge of all shards finds every file. ExitNothing, or ExitBadInput
// when the result cannot be written.
int EmptyShard(const TOutput &output, const QString &message, const QString &listName,
               const leecher::TShard &shard, const QByteArray &empty);

// One line on standard error, "vexo-cli: " first; errors are shown also
// with --quiet.
void Complain(const QString &line);

// "12.3 s"
QString SecondsText(qint64 ms);

} // namespace cli
