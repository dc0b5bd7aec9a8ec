// Where a checked proxy is: its exit address looked up in the country (or
// city) database and the ASN database that the settings name or that are
// found in the usual folders.
#pragma once

#include "analyser/ProxyItem.h"
#include "location/LocationDb.h"

#include <QString>
#include <QStringList>

namespace geo {

// Shown once when neither kind of database was found.
inline constexpr const char *NoLocationDatabaseText = "No location database (see README)";

// Where databases are looked for when the settings name none: the data
// folder, then where the distributions' update tools put them.
QStringList LocationSearchFolders(const QString &dataFolder);

// The address a proxy's traffic comes from: the address the judge saw when
// it is a whole numeric address, else the proxy's own when that is numeric;
// empty otherwise (a host name is not resolved for this).
QByteArray ExitAddress(const analyser::TProxyItem &item);

class TLocator
{
public:
    // Opens the named databases (an empty name: the first *.mmdb of the
    // right kind in `folders`, in order, by file name within a folder).
    // Returns what the user should be told: a database that cannot be read
    // or is of the wrong kind, or NoLocationDatabaseText when none is found.
    QStringList Open(const QString &geoPath, const QString &asnPath, const QStringList &folders);
    bool HasCountry() const { return FCountry.IsOpen(); }
    bool HasAsn() const { return FAsn.IsOpen(); }

    TLocation Locate(QByteArrayView address) const;
    // Sets the record's country and network from its exit address (cleared
    // when nothing is known of it).
    void Fill(analyser::TProxyItem &item) const;

private:
    TLocationDb FCountry;
    TLocationDb FAsn;
};

} // namespace geo
