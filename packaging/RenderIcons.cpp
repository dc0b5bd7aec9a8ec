// Writes the program's icon as PNG files for the desktop's icon theme:
//   vexo-icons OUTDIR NAME SIZE...  ->  OUTDIR/hicolor/SIZExSIZE/apps/NAME.png
// The pictures come from the same drawing code as the windows' icon, so the
// menu entry and the running program look alike.
#include "app/Images.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fputs("usage: vexo-icons OUTDIR NAME SIZE...\n", stderr);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 16 || size > 1024) {
            std::fprintf(stderr, "vexo-icons: bad size %s\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(outDir).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(folder, name);
        if (!QDir().mkpath(folder) || !gui::AppIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "vexo-icons: cannot write %s\n", file.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
