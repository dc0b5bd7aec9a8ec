// The main window's two record lists: the sites to leech and the proxies found.
#pragma once

#include "lists/CompactBytes.h"
#include "net/ProxyType.h"
#include "util/HugePages.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace leecher {

// Site states; also the indices of the site list's state images.
enum TSiteState : qint32 {
    ssIdle = 0,      // not fetched in this run
    ssFetched = 1,   // the page answered 200
    ssBad = 2,       // the page answered with another status
    ssTimeout = 3,   // the site's wait timer expired
    ssFound = 4,     // at least one proxy was extracted from the page
    ssReceiving = 5, // page data is arriving
};

struct TSiteItem
{
    QByteArray URL; // the address as entered, loaded or pasted (bytes as held)
    QString Status; // free status text written by the runs
    qint32 BytesRead = 0;
    qint32 State = ssIdle;
};

// A leeched proxy: the text before the first colon and the decimal port after
// it, held inside the record (see TCompactBytes), and its type: HTTP, or the
// SOCKS version that the address of the page it came from named.
struct TProxyItem
{
    TCompactBytes Host;
    TCompactBytes Port;
    net::TProxyType Type = net::ptHttp;
};

// Lists own their records and are addressed by index (index = row of the view).
using TSiteList = std::vector<TSiteItem>;
using TProxyList = std::vector<TProxyItem>;

// Room kept in the proxy list so that it rarely has to grow while a run adds
// to it: growing moves every record, which at hundreds of thousands of
// records holds the window up for tens of milliseconds. Untouched room costs
// address space, not memory.
inline constexpr std::size_t ProxyListRoom = std::size_t(1) << 20;
inline void KeepRoom(TProxyList &list)
{
    if (list.capacity() < ProxyListRoom) {
        list.reserve(std::max(ProxyListRoom, list.size() * 2));
        util::AdviseHugePages(list);
    }
}

} // namespace leecher
