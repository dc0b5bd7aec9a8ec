#include "HttpAddress.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

namespace net {

namespace {

QByteArray CutAfterLastSlash(const QByteArray &Path)
{
    const qsizetype P = Path.lastIndexOf('/');
    return P < 0 ? QByteArrayLiteral("/") : Path.left(P + 1);
}

bool IsSchemeChar(char C)
{
    return (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '+' || C == '-' || C == '.';
}

bool StartsWithNoCase(const QByteArray &S, const char *Prefix)
{
    const qsizetype N = qsizetype(std::strlen(Prefix));
    return S.size() >= N && qstrnicmp(S.constData(), Prefix, N) == 0;
}

} // namespace

TURLParts ParseURL(const QByteArray &URL, const QByteArray &BasePath)
{
    TURLParts R;
    if (URL.isEmpty())
        return R;

    // Relative to the directory of the base path.
    if (URL.startsWith("./")) {
        R.Path = CutAfterLastSlash(BasePath) + URL.mid(2);
        return R;
    }
    // Relative to its parent, one level up for each leading "../".
    if (URL.startsWith("../")) {
        QByteArray Base = CutAfterLastSlash(BasePath);
        QByteArray Rest = URL;
        while (Rest.startsWith("../")) {
            Rest = Rest.mid(3);
            if (Base.endsWith('/'))
                Base.chop(1);
            Base = CutAfterLastSlash(Base);
        }
        R.Path = Base + Rest;
        return R;
    }

    QByteArray Rest;
    bool SchemeTaken = false;
    const qsizetype Sep = URL.indexOf("://");
    if (Sep >= 0) {
        bool Plain = true;
        for (qsizetype I = 0; I < Sep && Plain; ++I)
            Plain = IsSchemeChar(URL[I]);
        if (Plain) {
            R.Proto = URL.left(Sep);
            Rest = URL.mid(Sep + 3);
            SchemeTaken = true;
        } else {
            R.Proto = QByteArrayLiteral("http");
        }
    }
    if (!SchemeTaken) {
        if (URL.startsWith('/')) {
            R.Proto = QByteArrayLiteral("http");
            if (URL.size() < 2 || URL[1] != '/') {
                R.Path = URL;
                return R;
            }
            Rest = URL.mid(1);
        } else if (StartsWithNoCase(URL, "http:")) {
            R.Proto = QByteArrayLiteral("http");
            if (URL.size() > 6 && URL[6] != '/') {
                R.Path = URL.mid(5);
                return R;
            }
            Rest = URL.mid(6);
        } else if (StartsWithNoCase(URL, "mailto:")) {
            R.Proto = QByteArrayLiteral("mailto");
            Rest = URL.mid(URL.indexOf(':') + 1);
        } else {
            Rest = URL;
        }
    }

    // The path begins at the first "/", or at the first "?" when that comes
    // earlier; what lies before it is the authority.
    qsizetype PathStart = Rest.indexOf('/');
    const qsizetype Query = Rest.indexOf('?');
    if (Query >= 0 && (PathStart < 0 || Query < PathStart))
        PathStart = Query;
    QByteArray Authority = Rest;
    if (PathStart >= 0) {
        R.Path = Rest.mid(PathStart);
        Authority = Rest.left(PathStart);
    }

    const qsizetype Colon = Authority.lastIndexOf(':');
    const qsizetype At = Authority.lastIndexOf('@');
    if (Colon < 0 && At < 0) {
        R.Host = Authority;
        return R;
    }
    if (At < Colon) {
        R.Port = Authority.mid(Colon + 1);
        R.Host = Authority.mid(At + 1, Colon - At - 1);
        if (At < 0)
            return R;
    } else {
        R.Host = Authority.mid(At + 1);
    }
    const QByteArray Credentials = Authority.left(At);
    const qsizetype Split = Credentials.indexOf(':');
    if (Split < 0) {
        R.User = Credentials;
    } else {
        R.User = Credentials.left(Split);
        R.Pass = Credentials.mid(Split + 1);
    }
    return R;
}

QByteArray RelativePath(const QByteArray &Current, const QByteArray &Value)
{
    const qsizetype Query = Current.indexOf('?');
    const qsizetype End = Query >= 0 ? Query : Current.size();
    qsizetype Cut = End - 1;
    while (Cut >= 0 && Current[Cut] != '/' && Current[Cut] != ':')
        --Cut;
    if (Cut < 0)
        return '/' + Value;
    QByteArray Path;
    Path.reserve(Cut + 1 + Value.size());
    Path.append(Current.constData(), Cut + 1).append(Value);
    return Path;
}

QByteArray DocNameFromPath(const QByteArray &Path)
{
    QByteArray P = Path;
    const qsizetype Q = P.indexOf('?');
    if (Q >= 0)
        P.truncate(Q);
    const QByteArray Name = P.mid(P.lastIndexOf('/') + 1);
    return Name.isEmpty() ? QByteArrayLiteral("document.htm") : Name;
}

bool HasControlByte(const QByteArray &Text)
{
    // Every request's address passes here: eight bytes at a time, a byte
    // below 0x20 (a borrow into its top bit) or equal to 0x7F (zero once
    // XORed with 0x7F) shows in the top bits.
    constexpr quint64 Ones = 0x0101010101010101ULL;
    constexpr quint64 Tops = 0x8080808080808080ULL;
    const char *P = Text.constData();
    const qsizetype N = Text.size();
    qsizetype I = 0;
    for (; I + 8 <= N; I += 8) {
        quint64 W;
        std::memcpy(&W, P + I, sizeof W);
        const quint64 Del = W ^ (Ones * 0x7F);
        if (((W - Ones * 0x20) & ~W & Tops) | ((Del - Ones) & ~Del & Tops))
            return true;
    }
    for (; I < N; ++I) {
        if (uchar(P[I]) < 0x20 || uchar(P[I]) == 0x7F)
            return true;
    }
    return false;
}

bool HasBlankOrControl(const QByteArray &Text)
{
    return std::any_of(Text.begin(), Text.end(),
                       [](char C) { return uchar(C) <= 0x20 || uchar(C) == 0x7F; });
}

QByteArray SpacesEncoded(const QByteArray &Path)
{
    if (!Path.contains(' '))
        return Path;
    QByteArray Out;
    Out.reserve(Path.size() + 16);
    for (const char C : Path) {
        if (C == ' ')
            Out.append("%20", 3);
        else
            Out.append(C);
    }
    return Out;
}

QByteArray TrimmedBlanks(const QByteArray &Text)
{
    qsizetype Begin = 0;
    qsizetype End = Text.size();
    while (Begin < End && (Text[Begin] == ' ' || Text[Begin] == '\t'))
        ++Begin;
    while (End > Begin && (Text[End - 1] == ' ' || Text[End - 1] == '\t'))
        --End;
    return Begin == 0 && End == Text.size() ? Text : Text.mid(Begin, End - Begin);
}

} // namespace net
