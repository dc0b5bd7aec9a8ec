#include "HostCheck.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <string>

namespace net {

namespace {

constexpr qsizetype MaxLabel = 63;
constexpr qsizetype MaxName = 253;

bool IsDigit(char C)
{
    return C >= '0' && C <= '9';
}

bool IsNameChar(char C)
{
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || IsDigit(C) || C == '-' || C == '_';
}

bool IsDottedQuad(QByteArrayView Host)
{
    int Groups = 0;
    qsizetype I = 0;
    while (I < Host.size()) {
        if (Groups > 0 && Host[I++] != '.')
            return false;
        int Value = 0;
        const qsizetype Start = I;
        while (I < Host.size() && IsDigit(Host[I]) && I - Start < 3)
            Value = Value * 10 + (Host[I++] - '0');
        if (I == Start || Value > 255 || (I < Host.size() && Host[I] != '.'))
            return false;
        ++Groups;
    }
    return Groups == 4;
}

bool IsBracketedIPv6(QByteArrayView Host)
{
    // Longest text form with an IPv4 tail, and nothing else inside: a zone
    // ("%eth0") names an interface of this machine, never a remote host.
    if (Host.size() < 4 || Host.size() > 47 || Host.front() != '[' || Host.back() != ']')
        return false;
    const std::string Inner(Host.data() + 1, size_t(Host.size() - 2));
    in6_addr Addr;
    return inet_pton(AF_INET6, Inner.c_str(), &Addr) == 1;
}

bool IsName(QByteArrayView Host)
{
    if (Host.endsWith('.'))
        Host.chop(1);
    if (Host.isEmpty() || Host.size() > MaxName)
        return false;
    qsizetype LabelStart = 0;
    bool LastAllDigits = true;
    for (qsizetype I = 0; I <= Host.size(); ++I) {
        if (I == Host.size() || Host[I] == '.') {
            const qsizetype Length = I - LabelStart;
            if (Length == 0 || Length > MaxLabel)
                return false;
            LastAllDigits = std::all_of(Host.begin() + LabelStart, Host.begin() + I, IsDigit);
            LabelStart = I + 1;
        } else if (!IsNameChar(Host[I])) {
            return false;
        }
    }
    // "1.2.3" or "300.1.1.1": an address written wrong, which a resolver
    // would read in a way of its own or send out as a query.
    return !LastAllDigits;
}

} // namespace

THostForm HostForm(QByteArrayView Host)
{
    if (IsDottedQuad(Host))
        return THostForm::IPv4;
    if (IsBracketedIPv6(Host))
        return THostForm::IPv6;
    return IsName(Host) ? THostForm::Name : THostForm::Invalid;
}

} // namespace net
