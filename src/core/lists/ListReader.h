// Reading list files in pieces: a list may be any file a user points at (a
// device, a sparse file of zeros, one endless line), so no more than one piece
// of it and the lines kept are ever held, and a file that is not text or too
// large is refused as soon as that shows, not after reading it whole.
#pragma once

#include "lists/FileError.h"
#include "util/Limits.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;

namespace leecher {

// A list file larger than this is refused.
inline constexpr qint64 MaxListFileBytes = qint64(1) << 30;
// A longer line is skipped and counted: an entry (a site address, a proxy) is
// no longer than an address a relocation may lead to.
inline constexpr qsizetype MaxListEntryBytes = limits::MaxLocationBytes;

// Text, as list files are: no NUL byte and no other control byte apart from
// tab, the line ends, vertical tab, form feed, and the end-of-file mark and
// escape that old editors leave. Returns the offset of the first byte that
// is not, or -1.
qsizetype FirstNonTextByte(QByteArrayView content);

struct TListText
{
    QByteArray Text;         // the lines kept, each ended by LF
    qsizetype LongLines = 0; // non-blank lines skipped for their length
};

// Takes a file piece by piece and keeps its lines that are not blank (after
// trimming spaces and control bytes) and no longer than `maxLine`, whole.
class TListLineFilter
{
public:
    struct TRules
    {
        qsizetype MaxLine = MaxListEntryBytes;
        bool TextOnly = false;       // refuse bytes that are not text
        bool KeepBlankLines = false; // as empty lines, so lines keep their numbers
    };

    explicit TListLineFilter(TRules rules) : FRules(rules) {}

    // False at a byte that is not text (TextOnly); BadOffset() says where.
    bool Add(QByteArrayView piece);
    // Ends the last line; what was kept.
    TListText Finish();

    qint64 BadOffset() const { return FBadOffset; }
    uchar BadByte() const { return FBadByte; }

private:
    void EndLine();

    TRules FRules;
    TListText FOut;
    QByteArray FLine;
    qint64 FLineLength = 0;
    bool FBlank = true;
    bool FAfterCr = false;
    qint64 FOffset = 0;
    qint64 FBadOffset = -1;
    uchar FBadByte = 0;
};

// Reads `device` to its end through the filter; raises EFileError for `path`,
// named `shownName` in the message, when it cannot be read, is larger than
// MaxListFileBytes or holds a byte that is not text (TextOnly).
TListText ReadListText(QIODevice &device, const QString &path, const QString &shownName,
                       TListLineFilter::TRules rules);
// The file at `path`, refused as above or when it cannot be opened.
TListText ReadListFile(const QString &path, TListLineFilter::TRules rules = {});

// "1 line longer than 8 KiB skipped", "3 lines longer than 8 KiB skipped".
QString LongLinesSkippedText(qsizetype count, qsizetype maxLine = MaxListEntryBytes);
// A load command's status with that count after it, when lines were skipped:
// "Loaded 5 Sites; 3 lines longer than 8 KiB skipped".
QString WithLongLines(const QString &status, qsizetype longLines);

} // namespace leecher
