#include "CommandLine.h"

#include <QCommandLineParser>

namespace gui {

TCommandLine ParseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Vexo collects open HTTP proxies from proxy-list pages and tests them."));
    const QCommandLineOption dirOption(
        QStringLiteral("dir"),
        QStringLiteral("Keep the settings and lists in <folder> (created when missing) instead of "
                       "beside the program or in the user's data folder."),
        QStringLiteral("folder"));
    parser.addOption(dirOption);
    const QCommandLineOption langOption(
        QStringLiteral("lang"),
        QStringLiteral("Show the windows in <language>: zh (Chinese) or en (English). Without "
                       "it, English on an English desktop, else Chinese."),
        QStringLiteral("language"));
    parser.addOption(langOption);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();

    TCommandLine result;
    result.helpText = parser.helpText();
    result.versionText = QStringLiteral("Vexo 1.3\n");
    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    result.help = parser.isSet(helpOption);
    result.version = parser.isSet(versionOption);
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("Unexpected argument '%1'.")
                           .arg(parser.positionalArguments().constFirst());
        return result;
    }
    if (parser.isSet(dirOption)) {
        const QStringList dirs = parser.values(dirOption);
        if (dirs.size() > 1)
            result.error = QStringLiteral("--dir is given more than once.");
        else if (dirs.constFirst().isEmpty())
            result.error = QStringLiteral("--dir needs a folder.");
        else
            result.dir = dirs.constFirst();
    }
    if (parser.isSet(langOption)) {
        const QStringList codes = parser.values(langOption);
        if (codes.size() > 1)
            result.error = QStringLiteral("--lang is given more than once.");
        else if (!(result.language = LanguageFromCode(codes.constFirst())))
            result.error =
                QStringLiteral("--lang takes zh or en, not '%1'.").arg(codes.constFirst());
    }
    return result;
}

} // namespace gui
