// Arithmetic of the automation period and its countdown display.
#pragma once

#include <QString>

namespace util {

// hours * 3 600 000 + minutes * 60 000 + seconds * 1000, in 32-bit signed
// arithmetic (it wraps as such arithmetic does).
qint32 TimeToMS(qint32 hours, qint32 minutes, qint32 seconds);

// "H:M:S" with each part at least two digits, zero-padded, a minus sign in
// front of a negative part; division truncates towards zero.
QString CountdownText(qint32 secondsLeft);

// An edit's text as a decimal integer, or the conversion error
// "'<text>' is not a valid integer value".
bool ParseIntegerEdit(const QString &text, qint32 &value, QString &error);

} // namespace util
