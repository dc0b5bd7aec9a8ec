// Where a program of Vexo keeps the files it names itself (Options.ini,
// Sites.ini, Proxies.txt, Leeched.ini, ProxyJudges.ini). One rule for every
// program:
//   1. the folder given with `--dir PATH`, when there is one;
//   2. otherwise the executable's folder when the user may write there, so a
//      copy unpacked anywhere (or started from its build folder) keeps its
//      files beside it; an installed copy never writes among its programs;
//   3. otherwise the user's data location, normally ~/.local/share/vexo.
// The chosen folder is created when it is missing.
#pragma once

#include <QString>

#include <optional>

namespace settings {

struct TDataFolderPlaces
{
    std::optional<QString> dirOption; // `--dir` as given (relative to the current folder)
    QString exeFolder;                // the executable's folder
    bool exeFolderInstalled = false;  // the executable belongs to an installed tree
    QString userFolder;               // the user's data location; empty when unknown
};

struct TDataFolder
{
    QString path;  // absolute; empty when no folder could be used
    QString error; // why, for the user; empty on success
};

// Decides the data folder for `places`, creating it when needed.
TDataFolder ChooseDataFolder(const TDataFolderPlaces &places);

// The places of the running program: its executable's folder, whether that is
// part of an installed tree, and the user's data location.
TDataFolderPlaces ProgramPlaces(const std::optional<QString> &dirOption);

// The data folder of the running program: ChooseDataFolder(ProgramPlaces(...)).
TDataFolder DataFolder(const std::optional<QString> &dirOption);

// The user's data location for Vexo ($XDG_DATA_HOME/vexo, normally
// ~/.local/share/vexo), the same for every program of Vexo; empty when the
// system names none.
QString UserDataFolder();

// True when `path` is an existing folder in which the user may create files.
bool IsWritableFolder(const QString &path);

} // namespace settings
