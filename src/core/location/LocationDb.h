// One MaxMind-format database (a memory-mapped search tree), opened for
// looking up numeric addresses: a country or city database gives the
// country, an ASN database the network's number and owner.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <memory>

struct sockaddr;
struct sockaddr_storage;

namespace geo {

// A numeric IPv4 or IPv6 address (an IPv6 one may be bracketed) as a socket
// address; false for anything else. Parsed here, never by the name service.
bool ParseNumericAddress(QByteArrayView address, sockaddr_storage &storage);

enum class TDbKind { None, Country, Asn };

// What a database knows of an address; empty fields when nothing.
struct TLocation
{
    QByteArray CountryCode; // ISO 3166 two letters, upper case
    QByteArray CountryName; // in English
    quint32 Asn = 0;
    QByteArray AsOrg;
};

class TLocationDb
{
public:
    TLocationDb();
    ~TLocationDb();
    TLocationDb(TLocationDb &&) noexcept;
    TLocationDb &operator=(TLocationDb &&) noexcept;

    // Opens `path`; false with a message naming the file when it cannot be
    // read or is no MaxMind-format database.
    bool Open(const QString &path, QString *error);
    bool IsOpen() const { return FDb != nullptr; }
    const QString &Path() const { return FPath; }
    // Told by the database's own type ("GeoLite2-City", "DBIP-ASN-Lite", ...).
    TDbKind Kind() const { return FKind; }
    QByteArray TypeName() const;

    // Fills the fields this database holds for a numeric IPv4 or IPv6
    // address; false (location untouched) for anything else or an address
    // the database does not cover.
    bool Lookup(QByteArrayView address, TLocation &location) const;
    // The same for an address already parsed (a sockaddr_in or sockaddr_in6).
    bool Lookup(const sockaddr *address, TLocation &location) const;

private:
    struct TDb;
    std::unique_ptr<TDb> FDb;
    QString FPath;
    TDbKind FKind = TDbKind::None;
};

// The kind that a database type name tells.
TDbKind KindOfType(QByteArrayView typeName);

} // namespace geo
