#include "ClientToken.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

namespace judge {

namespace {

constexpr qsizetype SignatureBytes = 16;

} // namespace

QByteArray SignClient(QByteArrayView secret, QByteArrayView address)
{
    return QMessageAuthenticationCode::hash(address.toByteArray(), secret.toByteArray(),
                                            QCryptographicHash::Sha256)
        .first(SignatureBytes)
        .toHex();
}

QByteArray ClientQuery(QByteArrayView secret, QByteArrayView address)
{
    return "client=" + address.toByteArray() + "&sig=" + SignClient(secret, address);
}

bool VerifyClient(QByteArrayView secret, QByteArrayView address, QByteArrayView sig)
{
    if (secret.size() < MinSecretBytes)
        return false;
    return SameBytes(SignClient(secret, address), sig.toByteArray().toLower());
}

} // namespace judge
