// The starter site list: public proxy lists that ship with the program as
// StarterSites.ini, a site list like Sites.ini, for a first start with no
// site list of one's own.
//
// It is looked for beside the program (a build folder, a portable copy),
// then in the package's data folder of an installed tree
// (<prefix>/share/vexo).
#pragma once

#include <QString>
#include <QStringList>

namespace leecher {

inline constexpr const char *StarterSitesFileName = "StarterSites.ini";

// The files looked at, in order. Starts with the running program's places;
// tests replace them.
QStringList &StarterSitesPlaces();

// The first of those that exists; empty when none does.
QString FindStarterSites();

// Why there is no starter list, for the user.
QString StarterSitesMissingText();

} // namespace leecher
