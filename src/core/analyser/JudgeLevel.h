// The judge's anonymity level for a request, from its header lines and the
// address the connection came from (the peer: the proxy, or the client
// itself when no proxy is in between).
//
//   1  no trace of a proxy
//   2  proxy traces only: Via, Proxy-Connection, X-Proxy-ID, Forwarded
//      without a "for" address, or a forwarding header that names nobody but
//      the peer itself or hides the client behind an obfuscated name
//   3  a forwarding header (X-Forwarded-For, Forwarded for=, Client-IP,
//      X-Real-IP ...) names an address other than the peer's, or "unknown"
//   4  such an address is a private or loopback one, while the peer is in a
//      wider realm (private behind a public peer, loopback behind a private
//      or public one): it reveals an inner network, not the client
//   5  an address the judge knows as the client's shows in any header's
//      name or value, or the peer is the client itself
// Where several apply, the highest number wins. A pure function shared by
// vexo-judge, which writes the level on its page (passing the client
// addresses it was given: --client-ip, or a signed one in the query), and the
// analyser, which grades the pages of judges that write no level from the
// headers they show (passing the own address and the machine's).
//
// Header names are taken as a judge page shows them: a judge writes
// "X_Forwarded_For" and "X-Forwarded-For" alike as HTTP_X_FORWARDED_FOR, so
// names compare without regard to case and with "-" and "_" alike.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

#include <vector>

namespace analyser {

struct THeaderField
{
    QByteArray Name;  // as sent
    QByteArray Value; // without the blanks around it
};
using THeaderFields = std::vector<THeaderField>;

enum TAnonyLevel : int {
    alNoProxy = 1,
    alProxyTraces = 2,
    alAddressForwarded = 3,
    alInnerAddress = 4,
    alClientShown = 5,
};

// Peer and client addresses are dotted IPv4 text as the server writes it.
TAnonyLevel JudgeLevel(const THeaderFields &headers, QByteArrayView peer,
                       const QByteArrayList &clients);

// A short English description of each level, for the page and the README.
const char *LevelMeaning(TAnonyLevel level);

// Where an address lives, narrowest first. Text that is no address at all is
// taken as public: it may name anything.
enum class TRealm { Loopback, Private, Public };
TRealm RealmOf(QByteArrayView address);

// True when two header names are the same as a judge page shows them.
bool SameHeaderName(QByteArrayView a, QByteArrayView b);

// True when the dotted IPv4 address stands in text as an address of its own:
// "10.0.0.1" is in "for=10.0.0.1:80" but not in "10.0.0.15".
bool ShowsAddress(QByteArrayView text, QByteArrayView address);

} // namespace analyser
