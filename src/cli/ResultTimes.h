// The times in results (checked_at, last_good): UTC in ISO 8601 with its
// zone, "2026-12-09T14:20:05Z".
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

namespace cli {

// The time of `ms` (ms since 1970), or nothing when it is 0 or less (unknown).
QByteArray ResultTimeText(qint64 ms);
// An ISO 8601 time with its zone ("Z" or an offset), or nothing (ms = 0).
// False for a time without a zone: it would be another moment on every
// machine.
bool ResultTimeFromText(QByteArrayView text, qint64 &ms);

} // namespace cli
