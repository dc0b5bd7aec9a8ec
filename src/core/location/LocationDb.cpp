#include "LocationDb.h"

#include <QFile>

#include <maxminddb.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

namespace geo {

struct TLocationDb::TDb
{
    MMDB_s Mmdb{};
    bool Opened = false; // a failed open leaves nothing to close
    ~TDb()
    {
        if (Opened)
            MMDB_close(&Mmdb);
    }
};

TLocationDb::TLocationDb() = default;
TLocationDb::~TLocationDb() = default;
TLocationDb::TLocationDb(TLocationDb &&) noexcept = default;
TLocationDb &TLocationDb::operator=(TLocationDb &&) noexcept = default;

TDbKind KindOfType(QByteArrayView typeName)
{
    const QByteArray type = typeName.toByteArray().toLower();
    if (type.contains("asn"))
        return TDbKind::Asn;
    if (type.contains("country") || type.contains("city"))
        return TDbKind::Country;
    return TDbKind::None;
}

bool TLocationDb::Open(const QString &path, QString *error)
{
    FDb.reset();
    FPath = path;
    FKind = TDbKind::None;
    auto db = std::make_unique<TDb>();
    const QByteArray name = QFile::encodeName(path);
    const int status = MMDB_open(name.constData(), MMDB_MODE_MMAP, &db->Mmdb);
    if (status != MMDB_SUCCESS) {
        if (error) {
            const QString reason = status == MMDB_FILE_OPEN_ERROR
                                       ? QString::fromLocal8Bit(std::strerror(errno))
                                       : QString::fromUtf8(MMDB_strerror(status));
            *error =
                QStringLiteral("The location database %1 cannot be read: %2.").arg(path, reason);
        }
        return false;
    }
    db->Opened = true;
    FDb = std::move(db);
    FKind = KindOfType(TypeName());
    return true;
}

QByteArray TLocationDb::TypeName() const
{
    if (!FDb || !FDb->Mmdb.metadata.database_type)
        return {};
    return QByteArray(FDb->Mmdb.metadata.database_type);
}

namespace {

QByteArray TextAt(MMDB_entry_s &entry, const char *const *path)
{
    MMDB_entry_data_s data{};
    if (MMDB_aget_value(&entry, &data, path) != MMDB_SUCCESS || !data.has_data ||
        data.type != MMDB_DATA_TYPE_UTF8_STRING)
        return {};
    return QByteArray(data.utf8_string, qsizetype(data.data_size));
}

quint32 NumberAt(MMDB_entry_s &entry, const char *const *path)
{
    MMDB_entry_data_s data{};
    if (MMDB_aget_value(&entry, &data, path) != MMDB_SUCCESS || !data.has_data)
        return 0;
    switch (data.type) {
    case MMDB_DATA_TYPE_UINT16:
        return data.uint16;
    case MMDB_DATA_TYPE_UINT32:
        return data.uint32;
    case MMDB_DATA_TYPE_INT32:
        return data.int32 > 0 ? quint32(data.int32) : 0;
    case MMDB_DATA_TYPE_UINT64:
        return data.uint64 <= 0xffffffffu ? quint32(data.uint64) : 0;
    default:
        return 0;
    }
}

} // namespace

bool ParseNumericAddress(QByteArrayView address, sockaddr_storage &storage)
{
    char text[INET6_ADDRSTRLEN + 2];
    if (address.size() >= qsizetype(sizeof text) - 1 || address.isEmpty())
        return false;
    QByteArrayView a = address;
    if (a.startsWith('[') && a.endsWith(']'))
        a = a.sliced(1, a.size() - 2);
    std::memcpy(text, a.data(), size_t(a.size()));
    text[a.size()] = 0;
    std::memset(&storage, 0, sizeof storage);
    auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
    if (inet_pton(AF_INET, text, &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        return true;
    }
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
    if (inet_pton(AF_INET6, text, &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        return true;
    }
    return false;
}

bool TLocationDb::Lookup(QByteArrayView address, TLocation &location) const
{
    sockaddr_storage storage;
    return FDb && ParseNumericAddress(address, storage) &&
           Lookup(reinterpret_cast<const sockaddr *>(&storage), location);
}

bool TLocationDb::Lookup(const sockaddr *address, TLocation &location) const
{
    if (!FDb)
        return false;
    int error = MMDB_SUCCESS;
    MMDB_lookup_result_s result = MMDB_lookup_sockaddr(&FDb->Mmdb, address, &error);
    if (error != MMDB_SUCCESS || !result.found_entry)
        return false;
    if (FKind == TDbKind::Asn) {
        static const char *const number[] = {"autonomous_system_number", nullptr};
        static const char *const org[] = {"autonomous_system_organization", nullptr};
        location.Asn = NumberAt(result.entry, number);
        location.AsOrg = TextAt(result.entry, org);
        return location.Asn != 0;
    }
    // Ranges without a country of their own (anycast, satellite) carry the
    // country they are registered in.
    static const char *const code[] = {"country", "iso_code", nullptr};
    static const char *const name[] = {"country", "names", "en", nullptr};
    static const char *const regCode[] = {"registered_country", "iso_code", nullptr};
    static const char *const regName[] = {"registered_country", "names", "en", nullptr};
    QByteArray iso = TextAt(result.entry, code);
    QByteArray english = TextAt(result.entry, name);
    if (iso.isEmpty()) {
        iso = TextAt(result.entry, regCode);
        english = TextAt(result.entry, regName);
    }
    if (iso.size() != 2)
        return false;
    location.CountryCode = iso.toUpper();
    location.CountryName = english;
    return true;
}

} // namespace geo
