// Addresses as the HTTP client takes them apart, resolves and puts on the
// wire.
#pragma once

#include <QByteArray>

namespace net {

// An address split into its parts.
struct TURLParts
{
    QByteArray Proto, User, Pass, Host, Port, Path;
    bool operator==(const TURLParts &) const = default;
};

// Splits an address into scheme, user, password, host, port and path. Paths
// beginning with "./" or "../" are resolved against BasePath.
TURLParts ParseURL(const QByteArray &URL, const QByteArray &BasePath = {});

// A relocation value that is neither a path nor an absolute address, resolved
// against the current request path: the path is cut after its last "/" or ":"
// ahead of any query and the value appended. A path without either counts
// as "/".
QByteArray RelativePath(const QByteArray &Current, const QByteArray &Value);

// The file name a path stands for: its last segment without the query, or
// "document.htm" when that is empty.
QByteArray DocNameFromPath(const QByteArray &Path);

// A byte below 32 or DEL: such bytes would end or split a request line or
// header line on the wire.
bool HasControlByte(const QByteArray &Text);
// A control byte or a space: not allowed in a host or a port.
bool HasBlankOrControl(const QByteArray &Text);
// Spaces written as "%20", so that a path never splits the request line.
QByteArray SpacesEncoded(const QByteArray &Path);
// Spaces and tabs cut from both ends.
QByteArray TrimmedBlanks(const QByteArray &Text);

} // namespace net
