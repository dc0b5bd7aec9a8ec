#include "analyser/AnalyserFiles.h"

#include "analyser/ProxyEntries.h"
#include "lists/ListFiles.h"
#include "lists/ListReader.h"

#include <QDir>
#include <QFileInfo>

namespace analyser {

QString ProxyJudgesIniPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("ProxyJudges.ini"));
}

std::optional<QStringList> ReadProxyJudges(const QString &folder)
{
    const QString path = ProxyJudgesIniPath(folder);
    if (!QFileInfo::exists(path))
        return std::nullopt;
    QStringList judges;
    for (const QByteArray &line : leecher::SplitListLines(leecher::ReadListFile(path).Text))
        judges << QString::fromUtf8(line);
    return judges;
}

void WriteProxyJudges(const QString &folder, const QStringList &judges)
{
    std::vector<QByteArray> lines;
    lines.reserve(size_t(judges.size()));
    for (const QString &judge : judges)
        lines.push_back(judge.toUtf8());
    leecher::WriteFileAtomically(ProxyJudgesIniPath(folder), leecher::JoinListLines(lines));
}

qsizetype AppendProxyFile(const QString &path, TAnalyserList &list, qsizetype *longLines)
{
    const leecher::TListText text = leecher::ReadListFile(path);
    if (longLines)
        *longLines = text.LongLines;
    return AppendFileLines(list, text.Text);
}

qsizetype SaveResults(const QString &path, const TAnalyserList &list, const std::vector<int> &rows)
{
    leecher::WriteFileAtomically(path, ProxyLines(list, rows));
    return qsizetype(rows.size());
}

qsizetype SaveResults(const QString &path, const TAnalyserList &list)
{
    leecher::WriteFileAtomically(path, ProxyLines(list));
    return qsizetype(list.size());
}

} // namespace analyser
