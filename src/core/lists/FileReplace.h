// How every file the programs write is written: to a new file in the folder
// where the file lies, renamed over the old one at the end, so that a crash
// or a full disk leaves either the old file or the new one, never half of it.
//
// A path whose last part is a symbolic link is only written through when the
// link and its folder belong to the user writing (or to the system), and never
// in a folder that everyone may write to and only owners may clean up (/tmp):
// there another user's link could point a write at any file the writer may
// change. Such a path is refused with EFileError. A replaced file keeps its
// permissions (and, where the writer may keep it, its owner).
#pragma once

#include "lists/FileError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <sys/stat.h>

namespace leecher {

// What a write may find at its path besides a file. FileOnly replaces
// whatever is not a folder; FileOrDevice writes an existing pipe, terminal or
// device directly (the output of a command line), and replaces files.
enum class TWriteTarget { FileOnly, FileOrDevice };

// Where a write of `path` lands: the path itself, or the file its links lead
// to when they may be followed. Raises EFileError for a link that may not be.
struct TWritePlace
{
    QByteArray Path; // in the file system's encoding
    bool Exists = false;
    struct stat Status = {}; // of what lies at Path, when it exists
    // Path is a link only the system can follow (/proc/self/fd/1, a pipe or
    // a file the shell opened): it can be written, not replaced.
    bool OnlyWritable = false;
};
TWritePlace FindWritePlace(const QString &path);

class TFileReplacer
{
public:
    // Opens the new file (or the device); raises EFileError.
    explicit TFileReplacer(const QString &path, TWriteTarget target = TWriteTarget::FileOnly);
    // Without Commit the old file stays as it was and the new one goes.
    ~TFileReplacer();
    TFileReplacer(const TFileReplacer &) = delete;
    TFileReplacer &operator=(const TFileReplacer &) = delete;

    void Append(QByteArrayView bytes);
    // Writes what is left, syncs and renames the new file over the old one.
    void Commit();

private:
    void Flush();
    void WriteAll(QByteArrayView bytes);
    [[noreturn]] void Fail(const char *what, int error);

    QString FPath;
    QByteArray FFinal; // the file replaced
    QByteArray FTemp;  // the new file; empty when a device is written directly
    int FFd = -1;
    QByteArray FBuffer;
};

// The whole file at once.
void WriteFileAtomically(const QString &path, QByteArrayView data,
                         TWriteTarget target = TWriteTarget::FileOnly);

} // namespace leecher
