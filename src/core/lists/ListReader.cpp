#include "lists/ListReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace leecher {

namespace {

constexpr qint64 PieceBytes = 64 * 1024;

bool IsTextByte(uchar c)
{
    return c >= 0x20 || (c >= '\t' && c <= '\r') || c == 0x1a || c == 0x1b;
}

[[noreturn]] void Fail(const char *what, const QString &path, const QString &shownName,
                       const QString &reason)
{
    throw EFileError(path, QLatin1StringView(what) + shownName + QStringLiteral(". ") + reason,
                     reason);
}

} // namespace

qsizetype FirstNonTextByte(QByteArrayView content)
{
    for (qsizetype i = 0; i < content.size(); ++i) {
        if (!IsTextByte(uchar(content[i])))
            return i;
    }
    return -1;
}

bool TListLineFilter::Add(QByteArrayView piece)
{
    const char *p = piece.data();
    const char *const end = p + piece.size();
    while (p < end) {
        const char c = *p;
        if (c == '\n' && FAfterCr) { // the second half of CR LF
            FAfterCr = false;
            ++p;
            continue;
        }
        FAfterCr = false;
        if (c == '\r' || c == '\n') {
            EndLine();
            FAfterCr = c == '\r';
            ++p;
            continue;
        }
        // The rest of the line in this piece. Past the longest line kept only
        // its end is looked for, unless every byte must be checked.
        const char *stop = p;
        if (FLineLength > FRules.MaxLine && !FRules.TextOnly) {
            const auto *cr = static_cast<const char *>(std::memchr(p, '\r', size_t(end - p)));
            const auto *lf =
                static_cast<const char *>(std::memchr(p, '\n', size_t(cr ? cr - p : end - p)));
            stop = lf ? lf : cr ? cr : end;
        }
        while (stop < end && *stop != '\r' && *stop != '\n') {
            const uchar u = uchar(*stop);
            if (FRules.TextOnly && !IsTextByte(u)) {
                FBadOffset = FOffset + (stop - piece.data());
                FBadByte = u;
                return false;
            }
            if (u > ' ')
                FBlank = false;
            ++stop;
        }
        const qsizetype n = stop - p;
        FLineLength += n;
        if (FLineLength <= FRules.MaxLine)
            FLine.append(p, n);
        else if (!FLine.isEmpty())
            FLine = QByteArray(); // too long: no more of it is held
        p = stop;
    }
    FOffset += piece.size();
    return true;
}

void TListLineFilter::EndLine()
{
    if (FBlank) {
        if (FRules.KeepBlankLines)
            FOut.Text.append('\n');
    } else if (FLineLength > FRules.MaxLine) {
        ++FOut.LongLines;
        if (FRules.KeepBlankLines)
            FOut.Text.append('\n');
    } else {
        FOut.Text.append(FLine).append('\n');
    }
    FLine.resize(0);
    FLineLength = 0;
    FBlank = true;
}

TListText TListLineFilter::Finish()
{
    if (FLineLength > 0)
        EndLine();
    return std::move(FOut);
}

TListText ReadListText(QIODevice &device, const QString &path, const QString &shownName,
                       TListLineFilter::TRules rules)
{
    TListLineFilter filter(rules);
    QByteArray piece(PieceBytes, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 n = device.read(piece.data(), PieceBytes);
        if (n < 0)
            Fail("Cannot read file ", path, shownName, device.errorString());
        if (n == 0)
            return filter.Finish();
        total += n;
        if (total > MaxListFileBytes)
            Fail("Cannot read file ", path, shownName, QStringLiteral("It is larger than 1 GiB."));
        if (!filter.Add(QByteArrayView(piece.constData(), n)))
            Fail("Cannot use file ", path, shownName,
                 QStringLiteral("It is not a text file (byte %1 is 0x%2).")
                     .arg(filter.BadOffset())
                     .arg(uint(filter.BadByte()), 2, 16, QLatin1Char('0')));
    }
}

TListText ReadListFile(const QString &path, TListLineFilter::TRules rules)
{
    const QString shown = QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"');
    if (QFileInfo(path).isDir())
        Fail("Cannot open file ", path, shown, QStringLiteral("Is a directory"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Fail("Cannot open file ", path, shown, file.errorString());
    return ReadListText(file, path, shown, rules);
}

QString LongLinesSkippedText(qsizetype count, qsizetype maxLine)
{
    return QStringLiteral("%1 %2 longer than %3 KiB skipped")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
        .arg(maxLine / 1024);
}

QString WithLongLines(const QString &status, qsizetype longLines)
{
    return longLines > 0 ? status + QStringLiteral("; ") + LongLinesSkippedText(longLines) : status;
}

} // namespace leecher
