// Small location databases for the tests, written at run time by the
// Debian package libmaxmind-db-writer-perl (support/write_location_dbs.pl):
// Test-Country.mmdb, Test-City.mmdb, Test-ASN.mmdb and Test-Other.mmdb.
//   127.0.0.0/24 DE Germany, 127.0.1.0/24 FR France, 192.0.2.0/24 JP Japan,
//   198.51.100.0/24 registered in AU Australia (no country of its own),
//   2001:db8::/32 NL Netherlands; AS64500 "Loopback Networks" for
//   127.0.0.0/16, AS64501 "Doc Net" for 192.0.2.0/24, AS64502 "Doc Six"
//   for 2001:db8::/32.
#pragma once

#include <QString>

namespace testsupport {

// Writes them into `folder`; false with the writer's output in `error`.
bool WriteLocationDbs(const QString &folder, QString *error);

// What a window's first status line adds on a machine whose system folders
// hold no location database (a test's data folder holds none):
// "; No location database (see README)", else nothing.
QString NoLocationNote();

} // namespace testsupport
