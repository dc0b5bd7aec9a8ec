// Values of the servers' command-line options.
#pragma once

#include <QHostAddress>
#include <QString>

namespace server {

// "ADDR:PORT" with a dotted IPv4 address and a port of 1 to 65535 (0 too,
// for "any free port").
bool ParseListen(const QString &text, QHostAddress &address, quint16 &port);

// A whole number from `low` to `high` for `option`; false with the message in
// `error` otherwise.
bool ParseCount(const QString &text, const char *option, int &count, QString *error, int low = 1,
                int high = 100000);

} // namespace server
