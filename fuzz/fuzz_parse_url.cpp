// Arbitrary addresses (and base paths) through the address parser and the
// host check: no crash, the parts keep the shape that the client relies on,
// and no host passes the check that a resolver could read as anything but a
// plain name or address.
//
// Input: the address, then optionally a NUL byte and the base path.
#include "net/HostCheck.h"
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

    // The host check, on the host found and on the raw input.
    for (const QByteArray &Host : {P.Host, Url}) {
        const net::THostForm Form = net::HostForm(Host);
        if (Form == net::THostForm::Invalid)
            continue;
        if (Host.size() > 254 || Host.startsWith('.') || Host.contains(".."))
            std::abort();
        for (const char C : Host) {
            const bool Plain = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') ||
                               (C >= '0' && C <= '9') || C == '-' || C == '_' || C == '.';
            const bool InBrackets =
                Form == net::THostForm::IPv6 && ((C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F') ||
                                                 C == ':' || C == '[' || C == ']');
            if (!Plain && !InBrackets)
                std::abort();
        }
        // A dotted address is one the socket converts itself; nothing else
        // that passes is.
        if ((Form == net::THostForm::IPv4) != net::WSocketIsDottedIP(Host))
            std::abort();
    }
    return 0;
}
