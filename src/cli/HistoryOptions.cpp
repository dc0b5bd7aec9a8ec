#include "HistoryOptions.h"

#include <QLocale>

namespace cli {

namespace {

QCommandLineOption Named(const char *name, const QString &description, const char *value = nullptr)
{
    return value
               ? QCommandLineOption(QLatin1StringView(name), description, QLatin1StringView(value))
               : QCommandLineOption(QLatin1StringView(name), description);
}

// "DE,fr, NL": ISO codes in upper case; false for anything but two letters.
bool ReadCountries(const QString &text, QList<QByteArray> &codes)
{
    for (const QString &part : text.split(u',')) {
        const QString code = part.trimmed().toUpper();
        if (code.size() != 2 || !code[0].isLetter() || !code[1].isLetter() ||
            code[0].unicode() > 'Z' || code[1].unicode() > 'Z')
            return false;
        codes << code.toLatin1();
    }
    return !codes.isEmpty();
}

} // namespace

void AddHistoryOptions(QCommandLineParser &parser, TSubcommand command)
{
    parser.addOption(Named("country",
                           QStringLiteral("Keep only proxies whose exit address is in one of "
                                          "these countries (ISO codes, as DE,NL; needs a location "
                                          "database, see the README)."),
                           "CC[,CC...]"));
    if (command == TSubcommand::Check) {
        parser.addOption(Named("history", QStringLiteral("Record every check in the check history "
                                                         "(default: Options.ini, on).")));
        parser.addOption(Named("no-history", QStringLiteral("Record nothing in the history.")));
        parser.addOption(Named("skip-checked-within",
                               QStringLiteral("Leave out proxies the history shows checked within "
                                              "this time (as 6h, 2d); their last result is "
                                              "printed as it stands."),
                               "TIME"));
        return;
    }
    parser.addOption(Named("good-within",
                           QStringLiteral("Only proxies with a good check within this time (as "
                                          "24h, 7d)."),
                           "TIME"));
    parser.addOption(Named("min-uptime",
                           QStringLiteral("Only proxies good in at least this share of their "
                                          "checks, in percent."),
                           "PERCENT"));
    parser.addOption(
        Named("type", QStringLiteral("Only proxies of this type: http, socks4, socks5."), "TYPE"));
    parser.addOption(Named("import",
                           QStringLiteral("Record the checks of a result file of check (csv or "
                                          "json, such as a merge of shards) in the history "
                                          "instead of listing it."),
                           "FILE"));
}

bool ReadHistoryOptions(const QCommandLineParser &parser, TCliCommand &c, QString *error)
{
    THistoryOptions &h = c.History;
    if (parser.isSet(QStringLiteral("country")) &&
        !ReadCountries(Last(parser, QStringLiteral("country")), h.Countries)) {
        *error = QStringLiteral("--country wants ISO country codes, as DE or DE,NL");
        return false;
    }
    if (c.Command == TSubcommand::Check) {
        if (!ReadSwitch(parser, QStringLiteral("history"), h.Record, error))
            return false;
        if (parser.isSet(QStringLiteral("skip-checked-within"))) {
            h.SkipCheckedWithinMs =
                ParseDuration(Last(parser, QStringLiteral("skip-checked-within")).trimmed());
            if (!h.SkipCheckedWithinMs) {
                *error =
                    QStringLiteral("--skip-checked-within wants a length of time, as 6h or 2d");
                return false;
            }
            if (h.Record == false) {
                *error = QStringLiteral("--skip-checked-within reads the history: not with "
                                        "--no-history");
                return false;
            }
        }
        return true;
    }
    if (parser.isSet(QStringLiteral("good-within"))) {
        const std::optional<qint64> ms =
            ParseDuration(Last(parser, QStringLiteral("good-within")).trimmed());
        if (!ms) {
            *error = QStringLiteral("--good-within wants a length of time, as 24h or 7d");
            return false;
        }
        h.GoodWithinMs = *ms;
    }
    if (parser.isSet(QStringLiteral("min-uptime"))) {
        bool ok = false;
        QString text = Last(parser, QStringLiteral("min-uptime")).trimmed();
        if (text.endsWith(u'%'))
            text.chop(1);
        h.MinUptime = QLocale::c().toDouble(text, &ok);
        if (!ok || !(h.MinUptime >= 0 && h.MinUptime <= 100)) {
            *error = QStringLiteral("--min-uptime wants a percentage from 0 to 100");
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("type"))) {
        const QString type = Last(parser, QStringLiteral("type")).trimmed().toLower();
        if (type == QStringLiteral("http"))
            h.Type = net::ptHttp;
        else if (type == QStringLiteral("socks4"))
            h.Type = net::ptSocks4;
        else if (type == QStringLiteral("socks5"))
            h.Type = net::ptSocks5;
        else {
            *error = QStringLiteral("--type wants http, socks4 or socks5");
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("import"))) {
        h.Import = Last(parser, QStringLiteral("import"));
        if (h.Import.isEmpty()) {
            *error = QStringLiteral("--import needs a result file of check");
            return false;
        }
        if (!h.Countries.isEmpty() || h.GoodWithinMs || h.MinUptime > 0 || h.Type) {
            *error = QStringLiteral("--import records a file; the listing's filters do not apply");
            return false;
        }
    }
    return true;
}

} // namespace cli
