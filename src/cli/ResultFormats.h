// The results vexo-cli prints or writes, as txt, csv or JSON Lines, and the
// reading of earlier check results (csv, JSON Lines) that --only takes up.
//
//   check, judge-page  txt: HOST:PORT (what the analyser's result files hold)
//                      csv/json: host, port, status, state, gateway,
//                      anonymous, level, speed, type, checked_at
//   leech, harvest     txt: HOST:PORT (SOCKS proxies after their prefix);
//                      csv/json: host, port, type
//   verify             txt: URL, state and status separated by tabs;
//                      csv/json: url, state, status
//
// Texts come from peers: in txt and csv their control bytes are shown
// escaped (ShownText), JSON escapes them in its own way and writes bytes that
// are not UTF-8 as U+FFFD. csv and json end every line with LF; txt ends them
// with LF, or CR LF in a file, as the desktop program's list files.
#pragma once

#include "CliCommand.h"

#include "analyser/ProxyItem.h"
#include "lists/Records.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace cli {

enum class TLineEnd { Lf, CrLf };

// `bytes` with every control byte but tab, DEL and the C1 controls in UTF-8
// written as "\x1b": printed on a terminal such bytes would be obeyed as its
// commands (a title, a cleared screen), and a proxy's answer may hold any.
QByteArray ShownText(QByteArrayView bytes);

// The first line of a csv result of check.
QByteArray CsvHeader();

// "none", "bad", "timeout", "good", "unknown"; nothing for other codes.
QByteArray ProxyStateName(qint32 state);
// False for a name that is none of these.
bool ProxyStateFromName(QByteArrayView name, qint32 &state);
// "idle", "good" (fetched), "bad", "timeout", "found", "receiving".
QByteArray SiteStateName(qint32 state);

// Check results in list order; `goodOnly` keeps the psGood entries.
QByteArray FormatCheckResults(const analyser::TAnalyserList &list, TFormat format, TLineEnd txtEnd,
                              bool goodOnly);
// One verdict; txt is a short report of one "name: value" line per field.
QByteArray FormatVerdict(const analyser::TProxyItem &entry, TFormat format);
QByteArray FormatProxies(const leecher::TProxyList &list, TFormat format, TLineEnd txtEnd);
QByteArray FormatSites(const leecher::TSiteList &list, TFormat format, TLineEnd txtEnd);

// Earlier results written by FormatCheckResults (csv or json); false with a
// message naming the line when one cannot be read.
bool ParseCsvResults(QByteArrayView content, analyser::TAnalyserList &list, QString *error);
bool ParseJsonResults(QByteArrayView content, analyser::TAnalyserList &list, QString *error);
// Earlier results of leech or harvest (txt, csv or json), in their order.
bool ParseProxyResults(QByteArrayView content, leecher::TProxyList &list, QString *error);

} // namespace cli
