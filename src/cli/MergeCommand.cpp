// merge: the results of several runs of check, or of leech, as one. Meant for
// the shards of one list checked on several machines: check keeps one row
// per proxy (the latest check), leech cleans the joined list as the end of a
// leech run does.
#include "Commands.h"
#include "ExitCodes.h"
#include "InputFiles.h"
#include "OutputFile.h"
#include "ResultFormats.h"

#include "lists/EndOfRun.h"
#include "lists/ListFiles.h"
#include "lists/ShardKey.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {

namespace {

enum class TResultKind { Empty, Check, Leech };

const char *KindName(TResultKind kind)
{
    return kind == TResultKind::Check ? "check" : "leech";
}

// Check results are csv with check's header or JSON objects with a state;
// anything else is taken for leech results (and refused by their reader
// when it is none).
TResultKind KindOf(QByteArrayView content)
{
    const std::vector<QByteArray> lines =
        leecher::SplitListLines(content.first(std::min<qsizetype>(content.size(), 4096)));
    if (lines.empty())
        return TResultKind::Empty;
    if (DetectListForm(content) == TListForm::Csv)
        return TResultKind::Check;
    const QByteArray first = lines.front().trimmed();
    if (first.startsWith('{')) {
        const QJsonObject o = QJsonDocument::fromJson(first).object();
        if (o.contains(QStringLiteral("state")) || o.contains(QStringLiteral("status")))
            return TResultKind::Check;
    }
    return TResultKind::Leech;
}

QByteArray KeyOf(const analyser::TProxyItem &e)
{
    return leecher::ProxyShardKey(e.Type, e.Host.view(), e.Port.view());
}

// One row per proxy in the order first seen; a later row replaces an earlier
// one unless both carry a time and the later one's is older.
void MergeChecks(analyser::TAnalyserList &merged, QHash<QByteArray, size_t> &rows,
                 analyser::TAnalyserList &&read)
{
    for (analyser::TProxyItem &e : read) {
        const QByteArray key = KeyOf(e);
        const auto found = rows.constFind(key);
        if (found == rows.constEnd()) {
            rows.insert(key, merged.size());
            merged.push_back(std::move(e));
            continue;
        }
        analyser::TProxyItem &kept = merged[*found];
        if (!(kept.CheckedAt > 0 && e.CheckedAt > 0 && e.CheckedAt < kept.CheckedAt))
            kept = std::move(e);
    }
}

} // namespace

int RunMergeCommand(const TCliCommand &c)
{
    const TOutput output(c.Output);
    TResultKind kind = TResultKind::Empty;
    QString kindFile;
    analyser::TAnalyserList checks;
    QHash<QByteArray, size_t> rows;
    leecher::TProxyList proxies;
    try {
        output.Check();
        for (const QString &path : c.Inputs) {
            const TListText text = ReadTextFile(path, MaxResultLineBytes);
            const QString name = DisplayName(path);
            const TResultKind fileKind = KindOf(text.Text);
            if (fileKind == TResultKind::Empty)
                continue;
            if (kind != TResultKind::Empty && fileKind != kind)
                throw leecher::EFileError(
                    path, QStringLiteral("Cannot merge %1: line 1 begins results of %2, but %3 "
                                         "holds results of %4.")
                              .arg(name, QLatin1StringView(KindName(fileKind)), kindFile,
                                   QLatin1StringView(KindName(kind))));
            kind = fileKind;
            kindFile = name;
            QString error;
            if (kind == TResultKind::Check) {
                analyser::TAnalyserList read = ProxiesFromText(text.Text, path);
                MergeChecks(checks, rows, std::move(read));
            } else if (!ParseProxyResults(text.Text, proxies, &error)) {
                throw leecher::EFileError(
                    path, QStringLiteral("Cannot use file %1. %2").arg(name, error));
            }
        }
        if (kind == TResultKind::Leech) {
            // Sorted by port, then host, duplicates removed: the leech run's end.
            leecher::EndOfRunFileStep(proxies, QString(), /*dupes=*/true, /*writeFile=*/false);
        }
        output.Write(kind == TResultKind::Leech
                         ? FormatProxies(proxies, c.Format, output.TxtLineEnd())
                         : FormatCheckResults(checks, c.Format, output.TxtLineEnd(), false));
    } catch (const leecher::EFileError &e) {
        Complain(e.Message());
        return ExitBadInput;
    }
    return checks.empty() && proxies.empty() ? ExitNothing : ExitDone;
}

} // namespace cli
