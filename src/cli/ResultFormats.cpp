#include "ResultFormats.h"
#include "ResultTimes.h"

#include "location/NamePool.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

namespace cli {

using analyser::TProxyItem;

namespace {

constexpr std::array<std::pair<qint32, const char *>, 5> ProxyStates{{
    {analyser::psNone, "none"},
    {analyser::psBad, "bad"},
    {analyser::psTimeout, "timeout"},
    {analyser::psGood, "good"},
    {analyser::psUnknown, "unknown"},
}};

// "type", "checked_at", then the location and history columns came last,
// after results without them had been written: those read as HTTP rows
// checked at an unknown time, with nothing known of where they are or how
// they fared.
constexpr std::array<const char *, 17> CheckColumns{
    "host",  "port",   "status", "state",      "gateway",  "anonymous",
    "level", "speed",  "type",   "checked_at", "country",  "country_name",
    "asn",   "as_org", "checks", "goods",      "last_good"};
constexpr size_t SpeedColumn = 7, TypeColumn = 8, CheckedAtColumn = 9, CountryColumn = 10,
                 AsnColumn = 12, ChecksColumn = 14, GoodsColumn = 15, LastGoodColumn = 16;

QByteArray TypeText(net::TProxyType type)
{
    return net::ProxyTypeName(type).toLower();
}

bool TypeFromText(QByteArrayView text, net::TProxyType &type)
{
    for (net::TProxyType t : {net::ptHttp, net::ptSocks4, net::ptSocks5}) {
        if (text == TypeText(t)) {
            type = t;
            return true;
        }
    }
    return false;
}

constexpr char Hex[] = "0123456789abcdef";

bool IsControl(uchar c)
{
    return (c < 0x20 && c != '\t') || c == 0x7f;
}

// The second byte of a C1 control (U+0080 to U+009F) after 0xc2.
bool IsC1Tail(QByteArrayView bytes, qsizetype i)
{
    return uchar(bytes[i]) == 0xc2 && i + 1 < bytes.size() && uchar(bytes[i + 1]) >= 0x80 &&
           uchar(bytes[i + 1]) <= 0x9f;
}

void AppendEscapedByte(QByteArray &out, uchar c)
{
    out.append("\\x").append(Hex[c >> 4]).append(Hex[c & 15]);
}

// The offset of the first byte Escaped changes, or the size.
qsizetype PlainPrefix(QByteArrayView bytes, bool backslash = false)
{
    qsizetype i = 0;
    while (i < bytes.size() && !IsControl(uchar(bytes[i])) && !IsC1Tail(bytes, i) &&
           !(backslash && bytes[i] == '\\'))
        ++i;
    return i;
}

// Control bytes as "\x1b"; with `backslash`, a backslash as "\\" too, so
// that Unescaped gives the bytes back.
QByteArray Escaped(QByteArrayView bytes, bool backslash)
{
    qsizetype i = PlainPrefix(bytes, backslash);
    if (i == bytes.size())
        return bytes.toByteArray();
    QByteArray out = bytes.first(i).toByteArray();
    for (; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        if (IsC1Tail(bytes, i)) {
            AppendEscapedByte(out, c);
            AppendEscapedByte(out, uchar(bytes[++i]));
        } else if (IsControl(c)) {
            AppendEscapedByte(out, c);
        } else if (backslash && c == '\\') {
            out.append("\\\\");
        } else {
            out.append(char(c));
        }
    }
    return out;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray Unescaped(QByteArrayView text)
{
    if (!text.contains('\\'))
        return text.toByteArray();
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out.append('\\');
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   HexValue(text[i + 2]) >= 0 && HexValue(text[i + 3]) >= 0) {
            out.append(char(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3])));
            i += 3;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

void EndLine(QByteArray &out, TLineEnd end)
{
    out.append(end == TLineEnd::CrLf ? "\r\n" : "\n");
}

void AppendJsonString(QByteArray &out, QByteArrayView bytes)
{
    out.append('"');
    for (const QChar c : QString::fromUtf8(bytes)) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out.append('\\').append(char(u));
        } else if (u < 0x20 || (u >= 0x7f && u <= 0x9f)) {
            out.append("\\u00").append(Hex[u >> 4]).append(Hex[u & 15]);
        } else {
            out.append(QString(c).toUtf8());
        }
    }
    out.append('"');
}

// A field that needs quotes has them, with its quotes doubled; blanks at
// either end are quoted too, so that no reader trims them away. Control
// bytes and backslashes are escaped first.
void AppendCsvField(QByteArray &out, QByteArrayView raw)
{
    const QByteArray field = Escaped(raw, true);
    const bool quote = field.contains(',') || field.contains('"') || field.contains('\r') ||
                       field.contains('\n') ||
                       (!field.isEmpty() && (field.front() == ' ' || field.back() == ' ' ||
                                             field.front() == '\t' || field.back() == '\t'));
    if (!quote) {
        out.append(field);
        return;
    }
    out.append('"');
    for (const char c : field) {
        if (c == '"')
            out.append('"');
        out.append(c);
    }
    out.append('"');
}

// "Host:Port" lines, the whole text sized at once: a run may have found
// hundreds of thousands of proxies.
QByteArray ProxyLines(const leecher::TProxyList &list, TLineEnd end)
{
    const qsizetype endSize = end == TLineEnd::CrLf ? 2 : 1;
    qsizetype total = 0;
    for (const leecher::TProxyItem &p : list)
        total += net::ProxyTypePrefix(p.Type).size() + p.Host.size() + 1 + p.Port.size() + endSize;
    QByteArray out(total, Qt::Uninitialized);
    char *at = out.data();
    const auto put = [&at](const char *bytes, qsizetype n) {
        std::memcpy(at, bytes, size_t(n));
        at += n;
    };
    for (const leecher::TProxyItem &p : list) {
        if (p.Type != net::ptHttp) {
            const QByteArray prefix = net::ProxyTypePrefix(p.Type);
            put(prefix.constData(), prefix.size());
        }
        put(p.Host.data(), p.Host.size());
        *at++ = ':';
        put(p.Port.data(), p.Port.size());
        put("\r\n" + 2 - endSize, endSize);
    }
    return out;
}

// A count or number that is 0 when unknown (no history, no database).
QByteArray KnownNumber(quint32 n)
{
    return n ? QByteArray::number(n) : QByteArray();
}

std::array<QByteArray, CheckColumns.size()> CheckFields(const TProxyItem &e)
{
    return {e.Host.toByteArray(),
            e.Port.toByteArray(),
            e.Status.toByteArray(),
            ProxyStateName(e.State),
            e.RemoteAddr.toByteArray(),
            e.Anonymous.toByteArray(),
            e.Level.toByteArray(),
            e.Speed.toByteArray(),
            TypeText(e.Type),
            ResultTimeText(e.CheckedAt),
            e.Country.view().toByteArray(),
            QByteArray(e.CountryName),
            KnownNumber(e.Asn),
            QByteArray(e.AsOrg),
            KnownNumber(e.Checks),
            e.Checks ? QByteArray::number(e.Goods) : QByteArray(),
            ResultTimeText(e.LastGood)};
}

// Numbers and times are written bare in JSON, or null when unknown.
bool IsJsonBare(size_t column)
{
    return column == SpeedColumn || column == CheckedAtColumn || column == AsnColumn ||
           column == ChecksColumn || column == GoodsColumn || column == LastGoodColumn;
}

void AppendCheckRecord(QByteArray &out, const TProxyItem &e, TFormat format, TLineEnd txtEnd)
{
    switch (format) {
    case TFormat::Txt:
        // As the analyser saves them: a SOCKS proxy after its prefix.
        out.append(net::ProxyTypePrefix(e.Type))
            .append(ShownText(e.Host.view()))
            .append(':')
            .append(ShownText(e.Port.view()));
        EndLine(out, txtEnd);
        return;
    case TFormat::Csv: {
        const auto fields = CheckFields(e);
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                out.append(',');
            AppendCsvField(out, fields[i]);
        }
        out.append('\n');
        return;
    }
    case TFormat::Json: {
        const auto fields = CheckFields(e);
        out.append('{');
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                out.append(',');
            out.append('"').append(CheckColumns[i]).append("\":");
            // milliseconds, or null before a 200 answer; a time, or null
            if (fields[i].isEmpty() && IsJsonBare(i))
                out.append("null");
            else if (i == SpeedColumn || i == AsnColumn || i == ChecksColumn || i == GoodsColumn)
                out.append(fields[i]);
            else
                AppendJsonString(out, fields[i]);
        }
        out.append("}\n");
        return;
    }
    }
}

// Splits csv text into records of fields; quoted fields may hold commas,
// doubled quotes and line ends. `lines` receives each record's first line.
bool SplitCsv(QByteArrayView text, std::vector<std::vector<QByteArray>> &records,
              std::vector<int> &lines, QString *error)
{
    std::vector<QByteArray> fields;
    QByteArray field;
    bool quoted = false, wasQuoted = false, any = false;
    int line = 1, recordLine = 1;
    const auto endField = [&] {
        fields.push_back(std::exchange(field, QByteArray()));
        wasQuoted = false;
    };
    const auto endRecord = [&] {
        endField();
        // A blank line is no record.
        if (any) {
            records.push_back(std::move(fields));
            lines.push_back(recordLine);
        }
        fields.clear();
        any = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field.append('"');
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n')
                    ++line;
                field.append(c);
            }
            continue;
        }
        if (!any)
            recordLine = line;
        if (c == '"' && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = any = true;
        } else if (c == ',') {
            any = true;
            endField();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            endRecord();
            ++line;
        } else if (wasQuoted) {
            *error = QStringLiteral("Line %1 has text after a closing quote.").arg(line);
            return false;
        } else {
            any = true;
            field.append(c);
        }
    }
    if (quoted) {
        *error = QStringLiteral("Line %1 opens a quote that is never closed.").arg(recordLine);
        return false;
    }
    endRecord();
    return true;
}

bool IsSpeed(QByteArrayView text)
{
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return text.size() <= 10;
}

QString NotARecord(int line)
{
    return QStringLiteral("Line %1 is not a result of check (%2).")
        .arg(line)
        .arg(QString::fromLatin1(CsvHeader()));
}

// The text of a JSON field: a string, a number written as decimal digits, or
// nothing (null or missing).
std::optional<QByteArray> JsonText(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1StringView(key));
    if (value.isUndefined() || value.isNull())
        return QByteArray();
    if (value.isString())
        return value.toString().toUtf8();
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (d >= 0 && d <= 4294967295.0 && d == double(qint64(d)))
            return QByteArray::number(qint64(d));
    }
    return std::nullopt;
}

// The location and history columns of a row read back, each `text(i)`
// (empty when the result has none); false when one is malformed.
template <class Text>
bool ReadLaterColumns(TProxyItem &e, Text text)
{
    const QByteArray country = text(CountryColumn);
    qint64 lastGood = 0;
    if ((!country.isEmpty() && country.size() != 2) || !IsSpeed(text(AsnColumn)) ||
        !IsSpeed(text(ChecksColumn)) || !IsSpeed(text(GoodsColumn)) ||
        !ResultTimeFromText(text(LastGoodColumn), lastGood))
        return false;
    e.Country = analyser::TCountryCode(country);
    e.CountryName = geo::PooledName(text(CountryColumn + 1));
    e.Asn = text(AsnColumn).toUInt();
    e.AsOrg = geo::PooledName(text(AsnColumn + 1));
    e.Checks = text(ChecksColumn).toUInt();
    e.Goods = text(GoodsColumn).toUInt();
    e.LastGood = lastGood;
    return true;
}

// A file's records join the list only once all of them were read.
template <class Item>
bool MoveAppend(std::vector<Item> &list, std::vector<Item> &read)
{
    list.insert(list.end(), std::make_move_iterator(read.begin()),
                std::make_move_iterator(read.end()));
    return true;
}

// Calls `take` with every non-blank line (trimmed) and its number, until it
// returns false; false then.
template <class Take>
bool ForEachLine(QByteArrayView content, Take take)
{
    int line = 0;
    for (QByteArrayView rest = content; !rest.isEmpty();) {
        ++line;
        const qsizetype end = rest.indexOf('\n');
        const QByteArrayView text = (end < 0 ? rest : rest.first(end)).trimmed();
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        if (!text.isEmpty() && !take(text, line))
            return false;
    }
    return true;
}

} // namespace

QByteArray ShownText(QByteArrayView bytes)
{
    return Escaped(bytes, false);
}

QByteArray CsvHeader()
{
    QByteArray header;
    for (const char *column : CheckColumns)
        header.append(header.isEmpty() ? "" : ",").append(column);
    return header;
}

QByteArray ProxyStateName(qint32 state)
{
    for (const auto &[code, name] : ProxyStates) {
        if (code == state)
            return name;
    }
    return {};
}

bool ProxyStateFromName(QByteArrayView name, qint32 &state)
{
    for (const auto &[code, text] : ProxyStates) {
        if (name == QByteArrayView(text)) {
            state = code;
            return true;
        }
    }
    return false;
}

QByteArray SiteStateName(qint32 state)
{
    switch (state) {
    case leecher::ssIdle:
        return "idle";
    case leecher::ssFetched:
        return "good";
    case leecher::ssBad:
        return "bad";
    case leecher::ssTimeout:
        return "timeout";
    case leecher::ssFound:
        return "found";
    case leecher::ssReceiving:
        return "receiving";
    }
    return {};
}

QByteArray FormatCheckResults(const analyser::TAnalyserList &list, TFormat format, TLineEnd txtEnd,
                              bool goodOnly)
{
    QByteArray out;
    if (format == TFormat::Csv)
        out.append(CsvHeader()).append('\n');
    for (const TProxyItem &e : list) {
        if (!goodOnly || e.State == analyser::psGood)
            AppendCheckRecord(out, e, format, txtEnd);
    }
    return out;
}

QByteArray FormatVerdict(const TProxyItem &e, TFormat format)
{
    if (format != TFormat::Txt) {
        QByteArray out = format == TFormat::Csv ? CsvHeader() + '\n' : QByteArray();
        AppendCheckRecord(out, e, format, TLineEnd::Lf);
        return out;
    }
    const auto fields = CheckFields(e);
    QByteArray out = "proxy: " + ShownText(e.Host.view()) + ':' + ShownText(e.Port.view()) + '\n';
    for (size_t i = 2; i < fields.size(); ++i) {
        // Location and history only when known.
        if (i >= CountryColumn && fields[i].isEmpty())
            continue;
        out.append(CheckColumns[i]).append(": ").append(ShownText(fields[i]));
        if (i == SpeedColumn && !fields[i].isEmpty())
            out.append(" ms");
        out.append('\n');
    }
    return out;
}

QByteArray FormatProxies(const leecher::TProxyList &list, TFormat format, TLineEnd txtEnd)
{
    const auto plain = [](const leecher::TProxyItem &p) {
        return PlainPrefix(p.Host.view()) == p.Host.size() &&
               PlainPrefix(p.Port.view()) == p.Port.size();
    };
    if (format == TFormat::Txt && std::all_of(list.begin(), list.end(), plain))
        return ProxyLines(list, txtEnd);
    QByteArray out;
    if (format == TFormat::Csv)
        out.append("host,port,type\n");
    for (const leecher::TProxyItem &p : list) {
        switch (format) {
        case TFormat::Txt: // a host of a page may hold line ends
            out.append(net::ProxyTypePrefix(p.Type))
                .append(ShownText(p.Host.view()))
                .append(':')
                .append(ShownText(p.Port.view()));
            EndLine(out, txtEnd);
            break;
        case TFormat::Csv:
            AppendCsvField(out, p.Host.view());
            out.append(',');
            AppendCsvField(out, p.Port.view());
            out.append(',').append(TypeText(p.Type)).append('\n');
            break;
        case TFormat::Json:
            out.append("{\"host\":");
            AppendJsonString(out, p.Host.view());
            out.append(",\"port\":");
            AppendJsonString(out, p.Port.view());
            out.append(",\"type\":\"").append(TypeText(p.Type)).append("\"}\n");
            break;
        }
    }
    return out;
}

QByteArray FormatSites(const leecher::TSiteList &list, TFormat format, TLineEnd txtEnd)
{
    QByteArray out;
    if (format == TFormat::Csv)
        out.append("url,state,status\n");
    for (const leecher::TSiteItem &s : list) {
        const QByteArray state = SiteStateName(s.State);
        const QByteArray status = s.Status.toUtf8();
        switch (format) {
        case TFormat::Txt:
            out.append(ShownText(s.URL)).append('\t').append(state).append('\t');
            out.append(ShownText(status));
            EndLine(out, txtEnd);
            break;
        case TFormat::Csv:
            AppendCsvField(out, s.URL);
            out.append(',').append(state).append(',');
            AppendCsvField(out, status);
            out.append('\n');
            break;
        case TFormat::Json:
            out.append("{\"url\":");
            AppendJsonString(out, s.URL);
            out.append(",\"state\":");
            AppendJsonString(out, state);
            out.append(",\"status\":");
            AppendJsonString(out, status);
            out.append("}\n");
            break;
        }
    }
    return out;
}

bool ParseCsvResults(QByteArrayView content, analyser::TAnalyserList &list, QString *error)
{
    std::vector<std::vector<QByteArray>> records;
    std::vector<int> lines;
    if (!SplitCsv(content, records, lines, error))
        return false;
    const auto isHeader = [](const std::vector<QByteArray> &fields) {
        if (fields.size() < TypeColumn || fields.size() > CheckColumns.size())
            return false;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].trimmed() != CheckColumns[i])
                return false;
        }
        return true;
    };
    if (records.empty() || !isHeader(records.front())) {
        *error = NotARecord(lines.empty() ? 1 : lines.front());
        return false;
    }
    analyser::TAnalyserList read;
    for (size_t r = 1; r < records.size(); ++r) {
        const std::vector<QByteArray> &f = records[r];
        qint32 state = analyser::psNone;
        net::TProxyType type = net::ptHttp;
        qint64 checkedAt = 0;
        if (f.size() != records.front().size() || !ProxyStateFromName(f[3], state) ||
            !IsSpeed(f[SpeedColumn]) ||
            (f.size() > TypeColumn && !TypeFromText(f[TypeColumn], type)) ||
            (f.size() > CheckedAtColumn && !ResultTimeFromText(f[CheckedAtColumn], checkedAt))) {
            *error = NotARecord(lines[r]);
            return false;
        }
        TProxyItem e;
        e.Host = Unescaped(f[0]);
        e.Port = Unescaped(f[1]);
        e.Status = Unescaped(f[2]);
        e.State = state;
        e.RemoteAddr = Unescaped(f[4]);
        e.Anonymous = Unescaped(f[5]);
        e.Level = Unescaped(f[6]);
        e.Speed = f[7];
        e.Type = type;
        e.CheckedAt = checkedAt;
        if (!ReadLaterColumns(e, [&f](size_t i) { return i < f.size() ? f[i] : QByteArray(); })) {
            *error = NotARecord(lines[r]);
            return false;
        }
        read.push_back(std::move(e));
    }
    MoveAppend(list, read);
    return true;
}

bool ParseJsonResults(QByteArrayView content, analyser::TAnalyserList &list, QString *error)
{
    analyser::TAnalyserList read;
    const bool whole = ForEachLine(content, [&](QByteArrayView text, int line) {
        const QJsonDocument doc = QJsonDocument::fromJson(text.toByteArray());
        const QJsonObject o = doc.object();
        std::array<std::optional<QByteArray>, TypeColumn> f;
        for (size_t i = 0; i < f.size(); ++i)
            f[i] = JsonText(o, CheckColumns[i]);
        // A type left out reads as HTTP.
        net::TProxyType type = net::ptHttp;
        const std::optional<QByteArray> typeText = JsonText(o, CheckColumns[TypeColumn]);
        const bool typeOk =
            !o.contains(QStringLiteral("type")) || (typeText && TypeFromText(*typeText, type));
        // So does a time left out, as unknown.
        qint64 checkedAt = 0;
        const std::optional<QByteArray> timeText = JsonText(o, CheckColumns[CheckedAtColumn]);
        const bool timeOk = timeText && ResultTimeFromText(*timeText, checkedAt);
        const bool fieldsOk =
            std::all_of(f.begin(), f.end(), [](const auto &v) { return bool(v); });
        // A state left out reads as never checked.
        qint32 state = analyser::psNone;
        const bool stateOk = fieldsOk && (f[3]->isEmpty() || ProxyStateFromName(*f[3], state));
        if (!doc.isObject() || !o.contains(QStringLiteral("host")) || !stateOk || !typeOk ||
            !timeOk || !IsSpeed(*f[7])) {
            *error = QStringLiteral("Line %1 is not a result of check (a JSON object with host, "
                                    "port, status, state, gateway, anonymous, level, speed).")
                         .arg(line);
            return false;
        }
        TProxyItem e;
        e.Host = *f[0];
        e.Port = *f[1];
        e.Status = *f[2];
        e.State = state;
        e.RemoteAddr = *f[4];
        e.Anonymous = *f[5];
        e.Level = *f[6];
        e.Speed = *f[7];
        e.Type = type;
        e.CheckedAt = checkedAt;
        bool laterOk = true;
        const auto later = [&o, &laterOk](size_t i) {
            const std::optional<QByteArray> v = JsonText(o, CheckColumns[i]);
            laterOk = laterOk && v;
            return v.value_or(QByteArray());
        };
        if (!ReadLaterColumns(e, later) || !laterOk) {
            *error = QStringLiteral("Line %1 is not a result of check (a JSON object with host, "
                                    "port, status, state, gateway, anonymous, level, speed).")
                         .arg(line);
            return false;
        }
        read.push_back(std::move(e));
        return true;
    });
    return whole && MoveAppend(list, read);
}

bool ParseProxyResults(QByteArrayView content, leecher::TProxyList &list, QString *error)
{
    leecher::TProxyList read;
    const auto add = [&read](QByteArray host, QByteArray port, net::TProxyType type) {
        leecher::TProxyItem p;
        p.Host = host;
        p.Port = port;
        p.Type = type;
        read.push_back(std::move(p));
    };
    const auto fail = [error](int line) {
        *error = QStringLiteral("Line %1 is not a result of leech (HOST:PORT, csv with host,port, "
                                "or JSON objects with host and port).")
                     .arg(line);
        return false;
    };
    std::vector<std::vector<QByteArray>> records;
    std::vector<int> lines;
    const QByteArrayView start = content.first(std::min<qsizetype>(content.size(), 64)).trimmed();
    if (start.startsWith("host,port")) {
        if (!SplitCsv(content, records, lines, error))
            return false;
        // "type" came last, after results without it had been written.
        const size_t columns = records.empty() ? 0 : records.front().size();
        if (columns < 2 || columns > 3 || records.front()[1].trimmed() != "port" ||
            (columns == 3 && records.front()[2].trimmed() != "type"))
            return fail(1);
        for (size_t r = 1; r < records.size(); ++r) {
            net::TProxyType type = net::ptHttp;
            if (records[r].size() != columns ||
                (columns == 3 && !TypeFromText(records[r][2], type)))
                return fail(lines[r]);
            add(Unescaped(records[r][0]), Unescaped(records[r][1]), type);
        }
    } else {
        const bool whole = ForEachLine(content, [&](QByteArrayView text, int line) {
            if (text.startsWith('{')) {
                const QJsonObject o = QJsonDocument::fromJson(text.toByteArray()).object();
                const std::optional<QByteArray> host = JsonText(o, "host");
                const std::optional<QByteArray> port = JsonText(o, "port");
                const std::optional<QByteArray> typeText = JsonText(o, "type");
                net::TProxyType type = net::ptHttp;
                if (!host || !port || host->isEmpty() || !typeText ||
                    (!typeText->isEmpty() && !TypeFromText(*typeText, type)))
                    return fail(line);
                add(*host, *port, type);
                return true;
            }
            // [PREFIX]HOST:PORT as printed: split at the first colon, as the runs do.
            net::TProxyType type = net::ptHttp;
            net::TakeProxyPrefix(text, type);
            const qsizetype colon = text.indexOf(':');
            if (colon <= 0)
                return fail(line);
            add(text.first(colon).toByteArray(), text.sliced(colon + 1).toByteArray(), type);
            return true;
        });
        if (!whole)
            return false;
    }
    return MoveAppend(list, read);
}

} // namespace cli
