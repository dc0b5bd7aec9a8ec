#include "OptionValues.h"

#include "net/WSocket.h"

namespace server {

bool ParseListen(const QString &text, QHostAddress &address, quint16 &port)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    QByteArray dotted;
    if (!net::WSocketIsDottedIP(text.first(colon).toLatin1(), &dotted))
        return false;
    bool ok = false;
    const uint number = text.sliced(colon + 1).toUInt(&ok);
    if (!ok || number > 65535)
        return false;
    address = QHostAddress(QString::fromLatin1(dotted));
    port = quint16(number);
    return true;
}

bool ParseCount(const QString &text, const char *option, int &count, QString *error, int low,
                int high)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < low || n > high) {
        *error = QLatin1StringView(option) +
                 QStringLiteral(" wants a number from %1 to %2").arg(low).arg(high);
        return false;
    }
    count = n;
    return true;
}

} // namespace server
