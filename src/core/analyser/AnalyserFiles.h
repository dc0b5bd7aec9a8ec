// The analyser's files: ProxyJudges.ini (the judge addresses offered), the
// proxy list files it loads and the result files it saves.
//
// Every function raises leecher::EFileError when a file cannot be read or
// written; a rewritten file goes through a temporary file renamed over the
// old one, so it is either the old file or the new one, never half of it.
#pragma once

#include "analyser/ProxyItem.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace analyser {

QString ProxyJudgesIniPath(const QString &folder);

// The judge addresses of ProxyJudges.ini in `folder`, one per non-blank line
// (kept whole), or nothing when the file does not exist.
std::optional<QStringList> ReadProxyJudges(const QString &folder);
// Rewrites ProxyJudges.ini: one address per line, CR LF after each.
void WriteProxyJudges(const QString &folder, const QStringList &judges);

// Appends the proxies of a proxy list file (see AppendFileLines). The list is
// only changed when the whole file was read. Returns the number appended;
// lines too long for an entry are skipped and counted in `longLines`.
qsizetype AppendProxyFile(const QString &path, TAnalyserList &list, qsizetype *longLines = nullptr);

// Writes "Host:Port" CR LF for the records at `rows` (ascending), or for
// every record; returns the number of lines written.
qsizetype SaveResults(const QString &path, const TAnalyserList &list, const std::vector<int> &rows);
qsizetype SaveResults(const QString &path, const TAnalyserList &list);

} // namespace analyser
