#include "Locator.h"

#include "location/NamePool.h"

#include <QDir>

#include <sys/socket.h>

namespace geo {

QStringList LocationSearchFolders(const QString &dataFolder)
{
    QStringList folders;
    if (!dataFolder.isEmpty())
        folders << dataFolder;
    folders << QStringLiteral("/usr/share/GeoIP") << QStringLiteral("/var/lib/GeoIP");
    return folders;
}

namespace {

bool IsNumericAddress(QByteArrayView text)
{
    sockaddr_storage storage;
    return !text.startsWith('[') && ParseNumericAddress(text, storage);
}

QString WrongKindText(const QString &path, const QByteArray &type, TDbKind wanted)
{
    return QStringLiteral("%1 is no %2 database (its type is \"%3\"); locations go without it.")
        .arg(path,
             wanted == TDbKind::Asn ? QStringLiteral("ASN") : QStringLiteral("country or city"),
             QString::fromUtf8(type));
}

// The named database when a name is given, else the first of the kind found.
void OpenOne(TLocationDb &db, const QString &path, TDbKind wanted, const QStringList &folders,
             QStringList &messages)
{
    QString error;
    if (!path.isEmpty()) {
        if (!db.Open(path, &error))
            messages << error;
        else if (db.Kind() != wanted) {
            messages << WrongKindText(path, db.TypeName(), wanted);
            db = TLocationDb();
        }
        return;
    }
    for (const QString &folder : folders) {
        const QDir dir(folder);
        const QStringList names =
            dir.entryList({QStringLiteral("*.mmdb")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QString &name : names) {
            // Files that do not open are someone else's business here: the
            // folders are shared with other programs.
            if (db.Open(dir.filePath(name), nullptr) && db.Kind() == wanted)
                return;
            db = TLocationDb();
        }
    }
}

} // namespace

QByteArray ExitAddress(const analyser::TProxyItem &item)
{
    if (IsNumericAddress(item.RemoteAddr.view()))
        return item.RemoteAddr.view().toByteArray();
    QByteArrayView host = item.Host.view();
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.sliced(1, host.size() - 2);
    if (IsNumericAddress(host))
        return host.toByteArray();
    return {};
}

QStringList TLocator::Open(const QString &geoPath, const QString &asnPath,
                           const QStringList &folders)
{
    QStringList messages;
    OpenOne(FCountry, geoPath, TDbKind::Country, folders, messages);
    OpenOne(FAsn, asnPath, TDbKind::Asn, folders, messages);
    if (!FCountry.IsOpen() && !FAsn.IsOpen() && geoPath.isEmpty() && asnPath.isEmpty())
        messages << QString::fromLatin1(NoLocationDatabaseText);
    return messages;
}

TLocation TLocator::Locate(QByteArrayView address) const
{
    TLocation location;
    sockaddr_storage storage;
    if ((FCountry.IsOpen() || FAsn.IsOpen()) && ParseNumericAddress(address, storage)) {
        const auto *parsed = reinterpret_cast<const sockaddr *>(&storage);
        FCountry.Lookup(parsed, location);
        FAsn.Lookup(parsed, location);
    }
    return location;
}

void TLocator::Fill(analyser::TProxyItem &item) const
{
    const TLocation location =
        FCountry.IsOpen() || FAsn.IsOpen() ? Locate(ExitAddress(item)) : TLocation();
    item.Country = analyser::TCountryCode(location.CountryCode);
    item.CountryName = PooledName(location.CountryName);
    item.Asn = location.Asn;
    item.AsOrg = PooledName(location.AsOrg);
}

} // namespace geo
