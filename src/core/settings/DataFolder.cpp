#include "DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

#include <unistd.h>

// The menu entry of an installed tree, relative to the folder of its programs
// (set by the build from the install layout). Its presence tells an installed
// copy from a portable one.
#ifndef VEXO_INSTALLED_MARKER
#define VEXO_INSTALLED_MARKER "../share/applications/vexo.desktop"
#endif

namespace settings {

namespace {

// Makes `path` an existing, writable folder; returns the error for the user.
QString Prepare(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        return QStringLiteral("The data folder %1 is a file, not a folder.").arg(path);
    if (!info.exists()) {
        std::error_code ec;
        std::filesystem::create_directories(QFile::encodeName(path).toStdString(), ec);
        if (ec)
            return QStringLiteral("Cannot create the data folder %1: %2")
                .arg(path, QString::fromLocal8Bit(ec.message()));
    }
    if (!IsWritableFolder(path))
        return QStringLiteral("The data folder %1 is not writable.").arg(path);
    return {};
}

TDataFolder Use(const QString &path, const QString &hint = {})
{
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    QString error = Prepare(absolute);
    if (error.isEmpty())
        return {absolute, {}};
    if (!hint.isEmpty())
        error += QLatin1Char(' ') + hint;
    return {{}, error};
}

} // namespace

bool IsWritableFolder(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    return ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

TDataFolder ChooseDataFolder(const TDataFolderPlaces &places)
{
    if (places.dirOption) {
        if (places.dirOption->isEmpty())
            return {{}, QStringLiteral("--dir needs a folder.")};
        return Use(*places.dirOption);
    }
    if (!places.exeFolderInstalled && IsWritableFolder(places.exeFolder))
        return Use(places.exeFolder);
    const QString hint = QStringLiteral("Start Vexo with --dir PATH to use another folder.");
    if (places.userFolder.isEmpty())
        return {{},
                QStringLiteral("No data folder: the program's folder %1 is not writable and the "
                               "system names no data location for the user.")
                        .arg(places.exeFolder) +
                    QLatin1Char(' ') + hint};
    return Use(places.userFolder, hint);
}

QString UserDataFolder()
{
    // The generic location plus a fixed name, not AppDataLocation, so that the
    // desktop program and the command line (whose application names differ)
    // share one folder.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base.isEmpty() ? QString() : base + QStringLiteral("/vexo");
}

TDataFolderPlaces ProgramPlaces(const std::optional<QString> &dirOption)
{
    TDataFolderPlaces places;
    places.dirOption = dirOption;
    places.exeFolder = QCoreApplication::applicationDirPath();
    places.exeFolderInstalled = QFileInfo::exists(places.exeFolder + QLatin1Char('/') +
                                                  QLatin1String(VEXO_INSTALLED_MARKER));
    places.userFolder = UserDataFolder();
    return places;
}

TDataFolder DataFolder(const std::optional<QString> &dirOption)
{
    return ChooseDataFolder(ProgramPlaces(dirOption));
}

} // namespace settings
