#include "lists/FileReplace.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace leecher {

namespace {

// Links followed one after the other before giving up, as the system does.
constexpr int MaxLinkHops = 40;
constexpr qsizetype BufferSize = 1 << 20;

QString SystemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray FolderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.first(slash);
}

// The writer itself, or the system: nobody else can have made the entry.
bool Trusted(uid_t owner)
{
    return owner == ::geteuid() || owner == 0;
}

QByteArray ReadLink(const QByteArray &path)
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
    return n < 0 ? QByteArray() : target.first(qsizetype(n));
}

// Refuses to follow the link at `link` (lying in `folder`) unless nobody but
// the writer or the system could have put it there.
void CheckLink(const QString &given, const QByteArray &link, const struct stat &linkStatus)
{
    const QByteArray folderPath = FolderOf(link);
    struct stat folder = {};
    if (::stat(folderPath.constData(), &folder) != 0)
        EFileError::Raise("Cannot write file ", given, SystemText(errno));
    const QString what =
        link == QFile::encodeName(given)
            ? QStringLiteral("It is")
            : QLatin1Char('"') + QFile::decodeName(link) + QLatin1Char('"') + QStringLiteral(" is");
    if ((folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH))
        EFileError::Raise("Cannot write file ", given,
                          what + QStringLiteral(" a symbolic link in a folder open to every user; "
                                                "give the file itself."));
    if (!Trusted(linkStatus.st_uid) || !Trusted(folder.st_uid))
        EFileError::Raise("Cannot write file ", given,
                          what + QStringLiteral(" a symbolic link of another user; give the "
                                                "file itself."));
}

} // namespace

TWritePlace FindWritePlace(const QString &given)
{
    TWritePlace place;
    place.Path = QFile::encodeName(given);
    for (int hop = 0;; ++hop) {
        struct stat entry = {};
        if (::lstat(place.Path.constData(), &entry) != 0) {
            if (errno != ENOENT)
                EFileError::Raise("Cannot write file ", given, SystemText(errno));
            place.Exists = false;
            return place;
        }
        if (!S_ISLNK(entry.st_mode)) {
            place.Exists = true;
            place.Status = entry;
            return place;
        }
        if (hop == MaxLinkHops)
            EFileError::Raise("Cannot write file ", given, SystemText(ELOOP));
        CheckLink(given, place.Path, entry);
        QByteArray target = ReadLink(place.Path);
        if (!target.startsWith('/'))
            target = FolderOf(place.Path) + '/' + target;
        // The links of /proc to open descriptors (a pipe, a socket) lead to no
        // name: the system follows them itself.
        struct stat followed = {};
        if (::lstat(target.constData(), &followed) != 0 &&
            ::stat(place.Path.constData(), &followed) == 0) {
            place.Exists = true;
            place.Status = followed;
            place.OnlyWritable = true;
            return place;
        }
        place.Path = target;
    }
}

TFileReplacer::TFileReplacer(const QString &path, TWriteTarget target) : FPath(path)
{
    const TWritePlace place = FindWritePlace(path);
    FFinal = place.Path;
    const mode_t type = place.Status.st_mode & S_IFMT;
    if (place.Exists && type == S_IFDIR)
        EFileError::Raise("Cannot create file ", FPath, SystemText(EISDIR));
    if (place.Exists && (type != S_IFREG || place.OnlyWritable) &&
        target == TWriteTarget::FileOrDevice) {
        // Only a link of the system's is followed here: what was checked.
        const int follow = place.OnlyWritable ? 0 : O_NOFOLLOW;
        FFd = ::open(FFinal.constData(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC | follow);
        if (FFd < 0)
            Fail("Cannot write file ", errno);
        return;
    }
    // A file its owner marked read-only stays unwritten, as it would anywhere.
    if (place.Exists && type == S_IFREG && ::access(FFinal.constData(), W_OK) != 0)
        Fail("Cannot create file ", errno);
    const QByteArray stem = FFinal + ".vexo-";
    for (int attempt = 0; FFd < 0; ++attempt) {
        FTemp = stem + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        // 0666 less the umask, as any new file; the old file's mode below.
        FFd = ::open(FTemp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (FFd < 0 && (errno != EEXIST || attempt == 100)) {
            FTemp.clear();
            Fail("Cannot create file ", errno);
        }
    }
    if (place.Exists) {
        const struct stat &old = place.Status;
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            if (::fchown(FFd, old.st_uid, old.st_gid) != 0) {
                // Only root may give a file away; others keep it as theirs.
            }
        }
        ::fchmod(FFd, old.st_mode & 0777);
    }
    FBuffer.reserve(BufferSize);
}

TFileReplacer::~TFileReplacer()
{
    if (FFd >= 0)
        ::close(FFd);
    if (!FTemp.isEmpty())
        ::unlink(FTemp.constData());
}

void TFileReplacer::Fail(const char *what, int error)
{
    EFileError::Raise(what, FPath, SystemText(error));
}

void TFileReplacer::Append(QByteArrayView bytes)
{
    if (FBuffer.size() + bytes.size() > BufferSize)
        Flush();
    if (bytes.size() >= BufferSize)
        WriteAll(bytes);
    else
        FBuffer.append(bytes);
}

void TFileReplacer::Flush()
{
    WriteAll(FBuffer);
    FBuffer.resize(0);
}

void TFileReplacer::WriteAll(QByteArrayView bytes)
{
    const char *next = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(FFd, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            Fail("Cannot write file ", written < 0 ? errno : EIO);
        next += written;
        left -= written;
    }
}

void TFileReplacer::Commit()
{
    Flush();
    if (FTemp.isEmpty()) {
        ::close(std::exchange(FFd, -1));
        return;
    }
    // On the disk before it takes the old file's name (where the file
    // system can say so at all).
    if (::fsync(FFd) != 0 && errno != EINVAL && errno != ENOTSUP)
        Fail("Cannot write file ", errno);
    if (::close(std::exchange(FFd, -1)) != 0)
        Fail("Cannot write file ", errno);
    // rename replaces whatever has the name now, a link too, never what a
    // link leads to.
    if (::rename(FTemp.constData(), FFinal.constData()) != 0)
        Fail("Cannot write file ", errno);
    FTemp.clear();
}

void WriteFileAtomically(const QString &path, QByteArrayView data, TWriteTarget target)
{
    TFileReplacer writer(path, target);
    writer.Append(data);
    writer.Commit();
}

} // namespace leecher
