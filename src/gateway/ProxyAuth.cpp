#include "ProxyAuth.h"

#include "server/SameBytes.h"

#include <QFile>

namespace gateway {

namespace {

// An auth file holds a few credentials; anything larger is a wrong file.
constexpr qint64 MaxAuthFileBytes = 1024 * 1024;

} // namespace

bool TProxyAuth::Load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray content = file.read(MaxAuthFileBytes + 1);
    if (content.size() > MaxAuthFileBytes) {
        *error = QStringLiteral("%1 is too large for an auth file").arg(path);
        return false;
    }
    int number = 0;
    for (QByteArray line : content.split('\n')) {
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        if (line.indexOf(':') <= 0) {
            *error = QStringLiteral("%1, line %2: not user:password").arg(path).arg(number);
            return false;
        }
        FCredentials.append(line);
    }
    if (FCredentials.isEmpty()) {
        *error = QStringLiteral("%1 holds no user:password line").arg(path);
        return false;
    }
    return true;
}

bool TProxyAuth::Accepts(QByteArrayView headerValue) const
{
    const QByteArrayView value = headerValue.trimmed();
    if (value.size() < 6 || value.first(6).compare("Basic ", Qt::CaseInsensitive) != 0)
        return false;
    const auto decoded = QByteArray::fromBase64Encoding(value.sliced(6).trimmed().toByteArray(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    bool found = false;
    for (const QByteArray &c : FCredentials)
        found = server::SameBytes(c, *decoded) || found;
    return found;
}

} // namespace gateway
