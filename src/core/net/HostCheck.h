// What may stand as a host in an address before anything is looked up or
// connected: a dotted IPv4 address, a bracketed IPv6 address, or a name of
// ASCII letters, digits, hyphens, underscores and dots. Hosts come from
// pages, answers and lists that anyone may write; whatever fails this check
// is refused at once and never reaches a resolver.
#pragma once

#include <QByteArrayView>

namespace net {

enum class THostForm {
    Invalid,
    IPv4, // four decimal groups of at most 255: "10.0.0.1"
    IPv6, // in brackets: "[::1]"
    Name, // labels of 1 to 63 bytes, 253 in all, one trailing dot allowed
};

// The form of Host, taken exactly as given (no blanks around it). A name
// whose last label is all digits is a malformed address, not a name; an
// internationalised name counts only in its ASCII ("xn--") form.
THostForm HostForm(QByteArrayView Host);

inline bool IsValidHost(QByteArrayView Host)
{
    return HostForm(Host) != THostForm::Invalid;
}

} // namespace net
