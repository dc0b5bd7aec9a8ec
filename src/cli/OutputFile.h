// Where vexo-cli's results go: standard output, or a file that is replaced
// whole once the run is over, so that an interrupted run never leaves half
// a file behind.
#pragma once

#include "ResultFormats.h"

#include <QByteArrayView>
#include <QString>

namespace cli {

class TOutput
{
public:
    // Empty or "-": standard output.
    explicit TOutput(QString path);

    bool ToFile() const { return !FPath.isEmpty(); }
    const QString &Path() const { return FPath; }
    // txt lines end as the desktop program's files in a file, with LF on
    // standard output.
    TLineEnd TxtLineEnd() const { return ToFile() ? TLineEnd::CrLf : TLineEnd::Lf; }

    // Before the run: raises leecher::EFileError when the file could not be
    // written (a folder, a missing folder, no permission, a symbolic link that
    // may not be followed). Changes nothing.
    void Check() const;
    // A file is replaced through a temporary file renamed over it (a pipe or
    // a device is written directly). Raises leecher::EFileError.
    void Write(QByteArrayView data) const;

private:
    QString FPath;
};

} // namespace cli
