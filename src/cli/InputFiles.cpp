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

QByteArray ReadAll(QFile &file, const QString &path)
{
    QByteArray content;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = file.read(buffer, sizeof buffer);
        if (n < 0)
            Fail("Cannot read file ", path, file.errorString());
        if (n == 0)
            return content;
        if (content.size() + n > MaxListFileBytes)
            Fail("Cannot read file ", path, QStringLiteral("It is larger than 1 GiB."));
        content.append(buffer, qsizetype(n));
    }
}

} // namespace

QString DisplayName(const QString &path)
{
    if (path == QStringLiteral("-"))
        return QStringLiteral("standard input");
    return u'"' + path + u'"';
}

QByteArray ReadTextFile(const QString &path)
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
    const QByteArray content = ReadAll(file, path);
    const qsizetype bad = FirstNonTextByte(content);
    if (bad >= 0)
        Fail("Cannot use file ", path,
             QStringLiteral("It is not a text file (byte %1 is 0x%2).")
                 .arg(bad)
                 .arg(uint(uchar(content[bad])), 2, 16, QLatin1Char('0')));
    return content;
}

qsizetype FirstNonTextByte(QByteArrayView content)
{
    for (qsizetype i = 0; i < content.size(); ++i) {
        const uchar c = uchar(content[i]);
        if (c >= 0x20 || (c >= '\t' && c <= '\r') || c == 0x1a || c == 0x1b)
            continue;
        return i;
    }
    return -1;
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
    if (first == CsvHeader())
        return TListForm::Csv;
    return TListForm::ProxyLines;
}

analyser::TAnalyserList ProxiesFromText(QByteArrayView content, const QString &name,
                                        TListForm *form)
{
    const TListForm found = DetectListForm(content);
    if (form)
        *form = found;
    analyser::TAnalyserList list;
    QString error;
    switch (found) {
    case TListForm::ProxyLines:
        analyser::AppendFileLines(list, content);
        return list;
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
