// Reading the lists a user hands vexo-cli: site lists, proxy lists and
// earlier results of check. Every failure raises leecher::EFileError with
// one line that names the file and the reason; nothing is changed then.
#pragma once

#include "analyser/ProxyItem.h"
#include "lists/FileError.h"
#include "lists/ListReader.h"
#include "lists/Records.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace cli {

using leecher::FirstNonTextByte;
using leecher::TListText;

// A line of an earlier result longer than this is skipped: every field of a
// result comes from a bounded answer, escaped.
inline constexpr qsizetype MaxResultLineBytes = 8 * 1024 * 1024;

// The lines of a list file read in pieces; "-" reads standard input. Lines
// are kept up to `maxLine` bytes, blank ones as empty lines (so that messages
// name lines by their number in the file). Refuses a missing file, a folder,
// a file that may not be read, one that is too large and one that is not
// text, at the first byte that is not.
TListText ReadTextFile(const QString &path, qsizetype maxLine = leecher::MaxListEntryBytes);

// One unchecked site per non-blank line, each line kept whole.
leecher::TSiteList SitesFromText(QByteArrayView content);

// What a proxy file holds: HOST:PORT lines (what the analyser's files hold),
// or an earlier result of check in csv or json form, with its results.
enum class TListForm { ProxyLines, Csv, JsonLines };
TListForm DetectListForm(QByteArrayView content);

// The proxies of such a file, in its order. `name` names the file in an
// error about a result line that cannot be read. Proxy lines longer than an
// entry may be are skipped and counted in `longLines`; `unprefixed` is the
// type of proxy lines without a prefix.
analyser::TAnalyserList ProxiesFromText(QByteArrayView content, const QString &name,
                                        TListForm *form = nullptr, qsizetype *longLines = nullptr,
                                        net::TProxyType unprefixed = net::ptHttp);

// How a file is named in messages ("standard input" for "-").
QString DisplayName(const QString &path);

} // namespace cli
