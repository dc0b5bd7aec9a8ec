#include "Commands.h"
#include "ExitCodes.h"

#include "lists/FileError.h"
#include "settings/DataFolder.h"

#include <cstdio>

namespace cli {

void Complain(const QString &line)
{
    std::fprintf(stderr, "vexo-cli: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

QString SecondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000, 'f', 1) + QStringLiteral(" s");
}

int EmptyShard(const TOutput &output, const QString &message, const QString &listName,
               const leecher::TShard &shard, const QByteArray &empty)
{
    Complain(message.arg(listName).arg(shard.Index).arg(shard.Count));
    try {
        output.Write(empty);
    } catch (const leecher::EFileError &e) {
        Complain(e.Message());
        return ExitBadInput;
    }
    return ExitNothing;
}

int RunCli(const QStringList &arguments)
{
    TCliCommand command;
    QString error;
    if (!ParseCliCommandLine(arguments, command, &error)) {
        Complain(error + QStringLiteral(" (--help lists the commands and options)"));
        return ExitBadInput;
    }
    if (command.Action == TCliCommand::ShowText) {
        std::fputs(command.Text.toLocal8Bit().constData(), stdout);
        return ExitDone;
    }
    if (command.Command == TSubcommand::Merge)
        return RunMergeCommand(command);
    // The same data folder as the desktop program: --dir, else the program's
    // folder when writable, else the user's data location.
    const settings::TDataFolder folder = settings::DataFolder(command.Dir);
    if (folder.path.isEmpty()) {
        Complain(folder.error);
        return ExitBadInput;
    }
    switch (command.Command) {
    case TSubcommand::Leech:
    case TSubcommand::Verify:
    case TSubcommand::Harvest:
        return RunSiteCommand(command, folder.path);
    case TSubcommand::Check:
    case TSubcommand::JudgePage:
        return RunCheckCommand(command, folder.path);
    case TSubcommand::History:
        return RunHistoryCommand(command, folder.path);
    case TSubcommand::Merge:
        break;
    }
    return ExitBadInput;
}

} // namespace cli
