// The main window's list files: site lists (Sites.ini and files the user
// picks), proxy lists (Proxies.txt and files the user picks).
//
// Files are bytes, one entry per line. Reading splits lines at CR, LF or
// CR LF and skips lines that are blank after trimming spaces and control
// characters; other lines are kept whole, leading and trailing spaces included.
// Writing ends every line, the last one too, with CR LF, and always goes
// through TFileReplacer (a new file renamed over the old one).
// Every function raises EFileError when a file cannot be read or written.
#pragma once

#include "lists/FileError.h"
#include "lists/FileReplace.h"
#include "lists/Records.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace leecher {
class TCleanedProxies;
}

namespace leecher {

// Fixed file names, inside the program's folder.
QString SitesIniPath(const QString &folder);
QString ProxiesTxtPath(const QString &folder);
QString LeechedIniPath(const QString &folder);

// The whole file; raises EFileError when it cannot be opened or read.
QByteArray ReadFileBytes(const QString &path);

// The non-blank lines of file content, each kept whole.
std::vector<QByteArray> SplitListLines(QByteArrayView content);
// The lines with CR LF after each one.
QByteArray JoinListLines(const std::vector<QByteArray> &lines);

// "Host:Port", a SOCKS proxy after its prefix ("socks5://Host:Port"), as the
// analyser reads them back.
QByteArray ProxyText(const TProxyItem &proxy);

// Reads a site list file and appends one new site (empty status, state 0) per
// non-blank line. Returns the number appended; lines too long for an address
// are skipped and counted in `longLines`. The list is only changed when the
// whole file was read.
qsizetype AppendSitesFromFile(const QString &path, TSiteList &list, qsizetype *longLines = nullptr);
// Writes every site's URL, in list order.
void WriteSiteList(const QString &path, const TSiteList &list);
// ProxyText and CR LF, after what `out` holds.
void AppendProxyLine(QByteArray &out, const TProxyItem &proxy);
// Writes every proxy as ProxyText gives it, in list order.
void WriteProxyList(const QString &path, const TProxyList &list);
void WriteCleanedProxyList(const QString &path, const TCleanedProxies &list);

// Sites.ini of `folder`: loaded only when it exists (otherwise nothing happens
// and nullopt comes back); saved only when the list is not empty, so that an
// empty list keeps the previous file (returns whether it was written).
std::optional<qsizetype> LoadSitesIni(const QString &folder, TSiteList &list,
                                      qsizetype *longLines = nullptr);
bool SaveSitesIni(const QString &folder, const TSiteList &list);
// Deletes Proxies.txt of `folder`; a missing file is no error. Returns whether
// a file was deleted.
bool DeleteProxiesTxt(const QString &folder);

// Status texts of the load and save commands.
QString LoadedSitesText(qsizetype count);  // "Loaded N Sites"
QString SavedSitesText(qsizetype count);   // "Saved N Sites"
QString SavedProxiesText(qsizetype count); // "Saved N Proxies"

} // namespace leecher
