// Turning text into analyser records and records back into text: proxy list
// files, the clipboard, a proxy typed by hand, the main window's leeched
// proxies, and the "Host:Port" lines of result files and copies.
#pragma once

#include "analyser/ProxyItem.h"
#include "lists/Records.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace analyser {

// The digits 0 to 9 of `text`, in their order ("80/tcp" and "8a0" give "80").
QByteArray DeleteNonNumbers(QByteArrayView text);

// Appends one new record per line of a proxy list file (lines end at CR LF,
// LF or CR). A leading "http://", "socks4://", "socks4a://", "socks5://" or
// "socks5h://" (any case) sets the record's type and is taken off; without
// one the record is HTTP and the line is read as it stands. Host is the text before the line's
// first colon exactly as it stands, Port the digits of the rest; a line without a colon gives an
// empty Host and all digits of the line. Blank lines, and lines that give neither a host nor a
// port, add nothing. Returns the number appended.
// `unprefixed` is the type of lines without a prefix.
qsizetype AppendFileLines(TAnalyserList &list, QByteArrayView content,
                          net::TProxyType unprefixed = net::ptHttp);

// The same for clipboard text, with Host trimmed and the digits taken from
// the trimmed text after the colon.
qsizetype AppendClipboardLines(TAnalyserList &list, QByteArrayView text);

// A proxy typed by hand: the text before the first colon and the text after
// it, both as typed; without a colon, an empty Host and the whole text as Port.
TProxyItem TypedProxy(QByteArrayView answer);

// Whether a record names a proxy to go through: a Host that passes the host
// check and a Port of one to five digits (blanks around them aside) from 1
// to 65535. An empty host would mean a direct connection to the judge.
bool HasProxyAddress(const TProxyItem &item);

// A fresh list holding the main window's proxies, in their order, unchecked.
TAnalyserList TakeOver(const leecher::TProxyList &proxies);

// "Host:Port" CR LF, after the type's prefix for a SOCKS record, for every record at `rows`
// (ascending), or for every record of the list.
QByteArray ProxyLines(const TAnalyserList &list, const std::vector<int> &rows);
QByteArray ProxyLines(const TAnalyserList &list);

} // namespace analyser
