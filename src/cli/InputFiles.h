// Reading the lists a user hands vexo-cli: site lists, proxy lists and
// earlier results of check. Every failure raises leecher::EFileError with
// one line that names the file and the reason; nothing is changed then.
#pragma once

#include "analyser/ProxyItem.h"
#include "lists/FileError.h"
#include "lists/Records.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace cli {

// A list file is read whole; beyond this it is refused rather than read into
// memory without end (a device, say).
inline constexpr qint64 MaxListFileBytes = qint64(1) << 30;

// The whole file; "-" reads standard input. Refuses a missing file, a
// folder, a file that may not be read, one that is too large and one that is
// not text.
QByteArray ReadTextFile(const QString &path);

// Text, as list files are: no NUL byte and no other control byte apart from
// tab, the line ends, vertical tab, form feed, and the end-of-file mark and
// escape that old editors leave. Returns the offset of the first byte that
// is not, or -1.
qsizetype FirstNonTextByte(QByteArrayView content);

// One unchecked site per non-blank line, each line kept whole.
leecher::TSiteList SitesFromText(QByteArrayView content);

// What a proxy file holds: HOST:PORT lines (what the analyser's files hold),
// or an earlier result of check in csv or json form, with its results.
enum class TListForm { ProxyLines, Csv, JsonLines };
TListForm DetectListForm(QByteArrayView content);

// The proxies of such a file, in its order. `name` names the file in an
// error about a result line that cannot be read.
analyser::TAnalyserList ProxiesFromText(QByteArrayView content, const QString &name,
                                        TListForm *form = nullptr);

// How a file is named in messages ("standard input" for "-").
QString DisplayName(const QString &path);

} // namespace cli
