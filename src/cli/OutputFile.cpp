#include "OutputFile.h"

#include "InputFiles.h"

#include "lists/FileError.h"
#include "lists/FileReplace.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace cli {

namespace {

[[noreturn]] void Fail(const QString &path, const QString &reason)
{
    const QString name = path.isEmpty() ? QStringLiteral("standard output")
                                        : QStringLiteral("file ") + DisplayName(path);
    throw leecher::EFileError(path, QStringLiteral("Cannot write ") + name + QStringLiteral(". ") +
                                        reason);
}

QString SystemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool MayWrite(const QString &path, int mode = W_OK)
{
    return ::access(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

TOutput::TOutput(QString path) : FPath(path == QStringLiteral("-") ? QString() : std::move(path)) {}

void TOutput::Check() const
{
    if (!ToFile())
        return;
    // Refuses a link that may not be followed before the run, not after it.
    const leecher::TWritePlace place = leecher::FindWritePlace(FPath);
    const QString target = QFile::decodeName(place.Path);
    const QFileInfo info(target);
    if (info.isDir())
        Fail(FPath, QStringLiteral("Is a directory"));
    if (place.Exists) {
        if (!MayWrite(target))
            Fail(FPath, SystemReason());
        if (!info.isFile() || place.OnlyWritable)
            return; // a pipe or a device is written as it is
    }
    // A file is replaced by renaming a new one over it: its folder must take one.
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir())
        Fail(FPath, QStringLiteral("No such file or directory"));
    if (!MayWrite(folder, W_OK | X_OK))
        Fail(FPath, SystemReason());
}

void TOutput::Write(QByteArrayView data) const
{
    if (!ToFile()) {
        // Nothing to print is no write at all (an empty text has no bytes to point at).
        if ((!data.isEmpty() &&
             std::fwrite(data.data(), 1, size_t(data.size()), stdout) != size_t(data.size())) ||
            std::fflush(stdout) != 0)
            Fail(QString(), SystemReason());
        return;
    }
    leecher::WriteFileAtomically(FPath, data, leecher::TWriteTarget::FileOrDevice);
}

} // namespace cli
