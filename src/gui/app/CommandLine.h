// The desktop program's command line.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace gui {

struct TCommandLine
{
    std::optional<QString> dir; // --dir PATH: the data folder
    bool help = false;          // --help: print `helpText` and end
    bool version = false;       // --version: print `versionText` and end
    QString helpText;
    QString versionText;
    QString error; // a command line that cannot be followed; empty when fine
};

// Reads `arguments` (the program's name first, as QCoreApplication gives them).
TCommandLine ParseCommandLine(const QStringList &arguments);

} // namespace gui
