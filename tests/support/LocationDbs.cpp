#include "LocationDbs.h"

#include "location/Locator.h"

#include <QDir>
#include <QProcess>

namespace testsupport {

bool WriteLocationDbs(const QString &folder, QString *error)
{
    QProcess writer;
    writer.setProcessChannelMode(QProcess::MergedChannels);
    writer.start(QStringLiteral("perl"), {QStringLiteral(VEXO_LOCATION_WRITER), folder});
    const bool done = writer.waitForFinished(30000) &&
                      writer.exitStatus() == QProcess::NormalExit && writer.exitCode() == 0;
    if (!done && error)
        *error = QString::fromLocal8Bit(writer.readAll()) + writer.errorString();
    return done;
}

QString NoLocationNote()
{
    for (const QString &folder : geo::LocationSearchFolders({})) {
        if (!QDir(folder).entryList({QStringLiteral("*.mmdb")}, QDir::Files).isEmpty())
            return {};
    }
    return QStringLiteral("; ") + QLatin1StringView(geo::NoLocationDatabaseText);
}

} // namespace testsupport
