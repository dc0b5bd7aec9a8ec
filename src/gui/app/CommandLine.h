// The desktop program's command line.
#pragma once

#include "Language.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace gui {

struct TCommandLine
{
    std::optional<QString> dir;        // --dir PATH: the data folder
    std::optional<TLanguage> language; // --lang zh|en: over the desktop's language
    bool help = false;                 // --help: print `helpText` and end
    bool version = false;              // --version: print `versionText` and end
    QString helpText;
    QString versionText;
    QString error; // a command line that cannot be followed; empty when fine
};

// Reads `arguments` (the program's name first, as QCoreApplication gives them).
TCommandLine ParseCommandLine(const QStringList &arguments);

} // namespace gui
