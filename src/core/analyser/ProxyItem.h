// The analyser's record of one proxy under test, and its list.
//
// A record of its own, apart from the main window's two-field proxy record
// (leecher::TProxyItem): besides the address it holds what the last check
// found. Every field is text held inside the record (see TCompactBytes), so
// a list of a million proxies is one block of memory.
#pragma once

#include "lists/CompactBytes.h"
#include "net/ProxyType.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <vector>

namespace analyser {

using leecher::TCompactBytes;

// What the last check of a proxy found; also the index of its row's image.
enum TProxyState : qint32 {
    psNone = 0,    // never checked, or a check of it has begun
    psBad = 2,     // the answer was not 200, or the judge saw the own address
    psTimeout = 3, // the bot's wait timer expired
    psGood = 6,    // the answer was 200 and the judge did not see the own address
    psUnknown = 8, // a check is being retried, or a judge-page marker was missing
};

// An ISO 3166 country code (two letters), or none.
struct TCountryCode
{
    char Letters[2] = {0, 0};

    TCountryCode() = default;
    // Anything but two letters gives none.
    explicit TCountryCode(QByteArrayView code)
    {
        if (code.size() == 2) {
            Letters[0] = code[0];
            Letters[1] = code[1];
        }
    }
    bool isEmpty() const { return Letters[0] == 0; }
    QByteArrayView view() const
    {
        return isEmpty() ? QByteArrayView() : QByteArrayView(Letters, 2);
    }
    friend bool operator==(const TCountryCode &, const TCountryCode &) = default;
};

struct TProxyItem
{
    TCompactBytes Host;       // the proxy's address as entered
    TCompactBytes Port;       // its port as entered (normally decimal digits)
    TCompactBytes Status;     // "", "Analyzing", "Retrying", "Timeout" or "200 - OK"
    TCompactBytes RemoteAddr; // the address the judge saw, or "Unknown"
    TCompactBytes Anonymous;  // "Yes", "No" or ""
    TCompactBytes Level;      // the judge's one-character level, "Unknown" or ""
    TCompactBytes Speed;      // milliseconds as decimal text, or ""
    qint32 State = psNone;
    net::TProxyType Type = net::ptHttp; // how the proxy is spoken to
    qint64 CheckedAt = 0;               // when its last check ended: ms since 1970 (UTC); 0 unknown
    // Where its exit address is, when a location database knows it. The
    // names live in the program's name pool (geo::PooledName): a record
    // holds only pointers to them.
    TCountryCode Country;
    quint32 Asn = 0;
    const char *CountryName = ""; // in English
    const char *AsOrg = "";       // the network's owner
    // How it fared in the check history, this check included: checks,
    // good ones, and when the last good one ended (ms since 1970, 0 never).
    quint32 Checks = 0;
    quint32 Goods = 0;
    qint64 LastGood = 0;
};

// The list owns its records and is addressed by index (index = row of the view).
using TAnalyserList = std::vector<TProxyItem>;

} // namespace analyser
