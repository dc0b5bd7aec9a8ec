#include "ResultTimes.h"

#include <QDateTime>

#include <cstdio>

namespace cli {

// "2026-12-09T14:20:05Z", or nothing when the time is unknown. Written by
// hand: a listing of the history writes two per row, and a QDateTime takes
// microseconds for each.
QByteArray ResultTimeText(qint64 ms)
{
    if (ms <= 0)
        return {};
    const qint64 seconds = ms / 1000;
    // The civil date of a day count (days since 1970-01-01).
    const qint64 days = seconds / 86400 + 719468;
    const qint64 era = days / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = int(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const int year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    const int inDay = int(seconds % 86400);
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month,
                                day, inDay / 3600, inDay / 60 % 60, inDay % 60);
    return QByteArray(text, n);
}

// An ISO 8601 time with its zone ("Z" or an offset), or nothing.
bool ResultTimeFromText(QByteArrayView text, qint64 &ms)
{
    ms = 0;
    if (text.isEmpty())
        return true;
    const QDateTime time = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
    if (!time.isValid() || time.timeSpec() == Qt::LocalTime)
        return false;
    ms = time.toMSecsSinceEpoch();
    return ms > 0;
}

} // namespace cli
