#include "OptionValues.h"

#include "net/WSocket.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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

TParsed ParseServerArguments(QCommandLineParser &parser, const QStringList &arguments,
                             QString &text, QString *error)
{
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return TParsed::Failed;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        text = parser.isSet(help) ? parser.helpText()
                                  : QCoreApplication::applicationName() + u' ' +
                                        QCoreApplication::applicationVersion() + u'\n';
        return TParsed::Text;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return TParsed::Failed;
    }
    return TParsed::Ok;
}

TCapOptions::TCapOptions()
    : Connections(QStringLiteral("max-connections"),
                  QStringLiteral("Connections served at once (default %1); more get 503.")
                      .arg(MaxConnections),
                  QStringLiteral("N")),
      PerSource(QStringLiteral("max-per-source"),
                QStringLiteral("Connections of one source address served at once (default "
                               "--max-connections / %1, at least 1); more get 503.")
                    .arg(PerSourceShare),
                QStringLiteral("N"))
{
}

bool TCapOptions::Apply(const QCommandLineParser &parser, TServerLimits &limits,
                        QString *error) const
{
    if (parser.isSet(Connections) &&
        !ParseCount(parser.value(Connections), "--max-connections", limits.Connections, error))
        return false;
    return !parser.isSet(PerSource) ||
           ParseCount(parser.value(PerSource), "--max-per-source", limits.PerSource, error);
}

} // namespace server
