// The clients a gateway lets in: `user:password` lines of an auth file,
// checked against "Proxy-Authorization: Basic ..." (or "Authorization" on the
// status address).
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

namespace gateway {

class TProxyAuth
{
public:
    // Reads the file: one `user:password` per line, blank lines and lines
    // starting with '#' skipped. False with the reason in `error` when it
    // cannot be read or holds no credentials or a line without a colon.
    bool Load(const QString &path, QString *error);
    void Add(const QByteArray &userColonPassword) { FCredentials.append(userColonPassword); }

    bool IsEmpty() const { return FCredentials.isEmpty(); }
    // Whether a header value ("Basic dXNlcjpwYXNz") carries known
    // credentials. Every entry is compared, each in a time that depends on the
    // lengths only, so the answer's time does not tell which came closer.
    bool Accepts(QByteArrayView headerValue) const;

private:
    QByteArrayList FCredentials;
};

} // namespace gateway
