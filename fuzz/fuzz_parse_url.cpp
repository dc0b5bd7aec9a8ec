// Arbitrary addresses (and base paths) through the address parser: no crash,
// and the parts keep the shape that the client relies on.
//
// Input: the address, then optionally a NUL byte and the base path.
#include "net/HttpProt.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const QByteArray Input(reinterpret_cast<const char *>(Data), qsizetype(Size));
    const qsizetype Nul = Input.indexOf('\0');
    const QByteArray Url = Nul < 0 ? Input : Input.left(Nul);
    const QByteArray Base = Nul < 0 ? QByteArray("/dir/page.html") : Input.mid(Nul + 1);
    const net::TURLParts P = net::ParseURL(Url, Base);

    if (Url.isEmpty() && !(P == net::TURLParts{}))
        std::abort();
    // The host never holds the path, and the port never a colon.
    if (P.Host.contains('/') || P.Port.contains(':') || P.Port.contains('/'))
        std::abort();
    // A path found in the address starts it at "/" or "?".
    const bool Relative = Url.startsWith("./") || Url.startsWith("../");
    const bool HttpShort = Url.size() > 6 && qstrnicmp(Url.constData(), "http:", 5) == 0;
    if (!Relative && !HttpShort && !P.Path.isEmpty() && P.Path[0] != '/' && P.Path[0] != '?')
        std::abort();
    if (!Relative && P.Path.size() > Url.size())
        std::abort();
    return 0;
}
