#include "InputFiles.h"

#include "ResultFormats.h"

#include "analyser/ProxyEntries.h"
#include "lists/ListFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace cli {

namespace {

[[noreturn]] void Fail(const char *what, const QString &path, const QString &reason)
{
    throw leecher::EFileError(path, QLatin1StringView(what) + DisplayName(path) +
                                        QStringLiteral(". ") + reason);
}

} // namespace

QString DisplayName(const QString &path)
{
    if (path == QStringLiteral("-"))
        return QStringLiteral("standard input");
    return u'"' + path + u'"';
}

TListText ReadTextFile(const QString &path, qsizetype maxLine)
{
    QFile file;
    if (path == QStringLiteral("-")) {
        if (!file.open(stdin, QIODevice::ReadOnly))
            Fail("Cannot read ", path, file.errorString());
    } else {
        if (QFileInfo(path).isDir())
            Fail("Cannot open file ", path, QStringLiteral("Is a directory"));
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly))
            Fail("Cannot open file ", path, file.errorString());
    }
    return leecher::ReadListText(file, path, DisplayName(path),
                                 {maxLine, /*TextOnly=*/true, /*KeepBlankLines=*/true});
}

leecher::TSiteList SitesFromText(QByteArrayView content)
{
    leecher::TSiteList sites;
    for (QByteArray &line : leecher::SplitListLines(content))
        sites.push_back(leecher::TSiteItem{std::move(line), QString(), 0, leecher::ssIdle});
    return sites;
}

TListForm DetectListForm(QByteArrayView content)
{
    const std::vector<QByteArray> lines =
        leecher::SplitListLines(content.first(std::min<qsizetype>(content.size(), 4096)));
    if (lines.empty())
        return TListForm::ProxyLines;
    const QByteArray first = lines.front().trimmed();
    if (first.startsWith('{'))
        return TListForm::JsonLines;
    // The header, or the start of it up to "speed" or "type" (written before
    // results had their last columns).
    const QByteArray header = CsvHeader();
    if (first == header || (header.startsWith(first + ',') && first.count(',') >= 7))
        return TListForm::Csv;
    return TListForm::ProxyLines;
}

analyser::TAnalyserList ProxiesFromText(QByteArrayView content, const QString &name,
                                        TListForm *form, qsizetype *longLines,
                                        net::TProxyType unprefixed)
{
    const TListForm found = DetectListForm(content);
    if (form)
        *form = found;
    analyser::TAnalyserList list;
    QString error;
    switch (found) {
    case TListForm::ProxyLines: {
        // Read with room for result lines: a proxy line is held to an entry's length.
        leecher::TListLineFilter entries({});
        entries.Add(content);
        const TListText kept = entries.Finish();
        if (longLines)
            *longLines += kept.LongLines;
        analyser::AppendFileLines(list, kept.Text, unprefixed);
        return list;
    }
    case TListForm::Csv:
        if (!ParseCsvResults(content, list, &error))
            Fail("Cannot use file ", name, error);
        return list;
    case TListForm::JsonLines:
        if (!ParseJsonResults(content, list, &error))
            Fail("Cannot use file ", name, error);
        return list;
    }
    return list;
}

} // namespace cli
