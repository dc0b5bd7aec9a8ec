#include "Automation.h"

#include "settings/IniFile.h"

namespace util {

qint32 TimeToMS(qint32 hours, qint32 minutes, qint32 seconds)
{
    const quint32 ms = static_cast<quint32>(hours) * 3600000u +
                       static_cast<quint32>(minutes) * 60000u +
                       static_cast<quint32>(seconds) * 1000u;
    return static_cast<qint32>(ms);
}

QString CountdownText(qint32 secondsLeft)
{
    const qint32 h = secondsLeft / 3600;
    const qint32 m = (secondsLeft - h * 3600) / 60;
    const qint32 s = secondsLeft % 60;
    return QString::asprintf("%.2d:%.2d:%.2d", h, m, s);
}

bool ParseIntegerEdit(const QString &text, qint32 &value, QString &error)
{
    int parsed = 0;
    if (!settings::TIniFile::ParseInteger(text, parsed)) {
        error = QStringLiteral("'%1' is not a valid integer value").arg(text);
        return false;
    }
    value = parsed;
    return true;
}

} // namespace util
