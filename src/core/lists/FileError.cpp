#include "lists/FileError.h"

namespace leecher {

EFileError::EFileError(const QString &path, const QString &message)
    : std::runtime_error(message.toStdString()), path_(path), message_(message)
{
}

} // namespace leecher
