#include "lists/FileError.h"

#include <QDir>

namespace leecher {

EFileError::EFileError(const QString &path, const QString &message, const QString &reason)
    : std::runtime_error(message.toStdString()), path_(path), message_(message), reason_(reason)
{
}

void EFileError::Raise(const char *what, const QString &path, const QString &reason)
{
    throw EFileError(path,
                     QLatin1String(what) + QLatin1Char('"') + QDir::toNativeSeparators(path) +
                         QStringLiteral("\". ") + reason,
                     reason);
}

} // namespace leecher
