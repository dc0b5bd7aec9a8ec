#include "settings/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using settings::ChooseDataFolder;
using settings::TDataFolderPlaces;

namespace {

class DataFolderTest : public ::testing::Test
{
protected:
    QString Path(const QString &name) const { return dir.filePath(name); }
    QString MakeFolder(const QString &name) const
    {
        EXPECT_TRUE(QDir().mkpath(Path(name)));
        return Path(name);
    }
    void MakeFile(const QString &name) const
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // A portable copy: the executable's folder is writable.
    TDataFolderPlaces Portable() const
    {
        TDataFolderPlaces places;
        places.exeFolder = MakeFolder(QStringLiteral("portable"));
        places.userFolder = Path(QStringLiteral("home/.local/share/vexo"));
        return places;
    }
    QTemporaryDir dir;
};

TEST_F(DataFolderTest, AWritableProgramFolderKeepsTheFilesBesideTheProgram)
{
    const TDataFolderPlaces places = Portable();
    const settings::TDataFolder chosen = ChooseDataFolder(places);
    EXPECT_EQ(chosen.path, places.exeFolder);
    EXPECT_TRUE(chosen.error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(places.userFolder)); // nothing made elsewhere
}

TEST_F(DataFolderTest, AnInstalledOrUnwritableProgramFolderSendsTheFilesToTheUsersFolder)
{
    // Installed: even a writable program folder (root, or a prefix the user
    // owns) never receives the files.
    TDataFolderPlaces installed = Portable();
    installed.exeFolderInstalled = true;
    settings::TDataFolder chosen = ChooseDataFolder(installed);
    EXPECT_EQ(chosen.path, installed.userFolder);
    EXPECT_TRUE(QFileInfo(installed.userFolder).isDir()) << "created on first start";

    // A second start finds the folder there and uses it as it is.
    MakeFile(QStringLiteral("home/.local/share/vexo/Options.ini"));
    chosen = ChooseDataFolder(installed);
    EXPECT_EQ(chosen.path, installed.userFolder);
    EXPECT_TRUE(QFileInfo::exists(installed.userFolder + QStringLiteral("/Options.ini")));

    // A program folder that is gone or cannot be written to.
    TDataFolderPlaces missing = Portable();
    missing.exeFolder = Path(QStringLiteral("no-such-folder"));
    missing.userFolder = Path(QStringLiteral("other/vexo"));
    EXPECT_EQ(ChooseDataFolder(missing).path, missing.userFolder);
    EXPECT_FALSE(QFileInfo::exists(missing.exeFolder));
}

TEST_F(DataFolderTest, AReadOnlyProgramFolderIsNotWritable)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write into any folder";
    TDataFolderPlaces places = Portable();
    ASSERT_TRUE(QFile::setPermissions(places.exeFolder,
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther));
    EXPECT_FALSE(settings::IsWritableFolder(places.exeFolder));
    EXPECT_EQ(ChooseDataFolder(places).path, places.userFolder);
    QFile::setPermissions(places.exeFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(DataFolderTest, DirOptionWinsAndIsCreatedAndMadeAbsolute)
{
    TDataFolderPlaces places = Portable();
    places.dirOption = Path(QStringLiteral("chosen/deeper"));
    settings::TDataFolder chosen = ChooseDataFolder(places);
    EXPECT_EQ(chosen.path, *places.dirOption);
    EXPECT_TRUE(QFileInfo(chosen.path).isDir());

    // Over an installed tree too, and relative to the current folder.
    places.exeFolderInstalled = true;
    places.dirOption = QStringLiteral("relative/./data");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    chosen = ChooseDataFolder(places);
    QDir::setCurrent(before);
    EXPECT_EQ(chosen.path, Path(QStringLiteral("relative/data")));
    EXPECT_TRUE(QFileInfo(chosen.path).isDir());
    EXPECT_FALSE(QFileInfo::exists(places.userFolder));
}

TEST_F(DataFolderTest, AFolderThatCannotBeUsedIsReportedNotGuessed)
{
    MakeFile(QStringLiteral("a-file"));

    TDataFolderPlaces places = Portable();
    places.dirOption = Path(QStringLiteral("a-file"));
    settings::TDataFolder chosen = ChooseDataFolder(places);
    EXPECT_TRUE(chosen.path.isEmpty());
    EXPECT_TRUE(chosen.error.contains(QStringLiteral("is a file"))) << chosen.error.toStdString();

    places.dirOption = Path(QStringLiteral("a-file/below"));
    chosen = ChooseDataFolder(places);
    EXPECT_TRUE(chosen.path.isEmpty());
    EXPECT_TRUE(chosen.error.startsWith(QStringLiteral("Cannot create the data folder")));

    places.dirOption = QString();
    EXPECT_EQ(ChooseDataFolder(places).error, QStringLiteral("--dir needs a folder."));

    // The user's folder cannot be made: the message says how to go on.
    TDataFolderPlaces installed = Portable();
    installed.exeFolderInstalled = true;
    installed.userFolder = Path(QStringLiteral("a-file/vexo"));
    chosen = ChooseDataFolder(installed);
    EXPECT_TRUE(chosen.path.isEmpty());
    EXPECT_TRUE(chosen.error.contains(QStringLiteral("--dir PATH"))) << chosen.error.toStdString();

    installed.userFolder.clear();
    chosen = ChooseDataFolder(installed);
    EXPECT_TRUE(chosen.path.isEmpty());
    EXPECT_TRUE(chosen.error.contains(QStringLiteral("--dir PATH"))) << chosen.error.toStdString();
}

TEST_F(DataFolderTest, TheUsersFolderFollowsTheDesktopsDataLocation)
{
    const QByteArray savedHome = qgetenv("HOME");
    const QByteArray savedXdg = qgetenv("XDG_DATA_HOME");
    qputenv("HOME", QFile::encodeName(Path(QStringLiteral("home"))));
    qunsetenv("XDG_DATA_HOME");
    const QString fromHome = settings::UserDataFolder();
    qputenv("XDG_DATA_HOME", QFile::encodeName(Path(QStringLiteral("xdg"))));
    const QString fromXdg = settings::UserDataFolder();
    qputenv("HOME", savedHome);
    if (savedXdg.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", savedXdg);

    EXPECT_EQ(fromHome, Path(QStringLiteral("home/.local/share/vexo")));
    EXPECT_EQ(fromXdg, Path(QStringLiteral("xdg/vexo")));
}

TEST_F(DataFolderTest, TheRunningProgramFromItsBuildFolderIsPortable)
{
    const TDataFolderPlaces places = settings::ProgramPlaces(std::nullopt);
    EXPECT_EQ(places.exeFolder, QCoreApplication::applicationDirPath());
    EXPECT_FALSE(places.exeFolderInstalled);
    EXPECT_FALSE(places.dirOption.has_value());
}

} // namespace
