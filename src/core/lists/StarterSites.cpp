#include "lists/StarterSites.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef VEXO_STARTER_SITES_INSTALLED
#define VEXO_STARTER_SITES_INSTALLED "../share/vexo/StarterSites.ini"
#endif

namespace leecher {

QStringList &StarterSitesPlaces()
{
    static QStringList places = [] {
        const QDir exe(QCoreApplication::applicationDirPath());
        return QStringList{
            exe.filePath(QLatin1StringView(StarterSitesFileName)),
            QDir::cleanPath(exe.filePath(QLatin1StringView(VEXO_STARTER_SITES_INSTALLED)))};
    }();
    return places;
}

QString FindStarterSites()
{
    for (const QString &place : StarterSitesPlaces()) {
        if (QFileInfo(place).isFile())
            return place;
    }
    return {};
}

QString StarterSitesMissingText()
{
    return QStringLiteral("The starter site list is not installed: looked for %1.")
        .arg(StarterSitesPlaces().join(QStringLiteral(" and ")));
}

} // namespace leecher
