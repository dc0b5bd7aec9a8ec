#include "IniFile.h"

#include "lists/FileReplace.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <optional>

namespace settings {

namespace {

// One line of the file, split into what the lookups need.
struct Line
{
    enum Kind { Other, Section, Key } kind = Other;
    QByteArray name;  // section name or key, trimmed
    QByteArray value; // trimmed value of a key line
};

Line classify(const QByteArray &raw)
{
    Line line;
    const QByteArray text = raw.trimmed();
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        if (close > 0) {
            line.kind = Line::Section;
            line.name = text.mid(1, close - 1).trimmed();
        }
        return line;
    }
    if (text.startsWith(';'))
        return line;
    const qsizetype eq = text.indexOf('=');
    if (eq > 0) {
        line.kind = Line::Key;
        line.name = text.left(eq).trimmed();
        line.value = text.mid(eq + 1).trimmed();
    }
    return line;
}

bool sameName(const QByteArray &a, const QString &b)
{
    return QString::fromUtf8(a).compare(b, Qt::CaseInsensitive) == 0;
}

QList<QByteArray> splitLines(const QByteArray &content)
{
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the terminator of the last line
    for (QByteArray &l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

// Finds the key's value in the first section of that name.
std::optional<QByteArray> findValue(const QByteArray &content, const QString &section,
                                    const QString &key)
{
    bool inSection = false;
    bool seenSection = false;
    for (const QByteArray &raw : splitLines(content)) {
        const Line line = classify(raw);
        if (line.kind == Line::Section) {
            if (seenSection && inSection)
                break;
            inSection = sameName(line.name, section);
            seenSection = seenSection || inSection;
        } else if (inSection && line.kind == Line::Key && sameName(line.name, key)) {
            return line.value;
        }
    }
    return std::nullopt;
}

QByteArray unquote(QByteArray value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

} // namespace

EIniWriteError::EIniWriteError(const QString &fileName, const QString &reason)
    : std::runtime_error((QStringLiteral("Unable to write to ") + fileName +
                          (reason.isEmpty() ? QString() : QStringLiteral(". ") + reason))
                             .toStdString())
{
}

TIniFile::TIniFile(QString fileName) : FFileName(std::move(fileName)) {}

bool TIniFile::Exists() const
{
    return QFileInfo::exists(FFileName);
}

QByteArray TIniFile::Load() const
{
    QFile file(FFileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void TIniFile::Store(const QByteArray &content) const
{
    // A file marked read-only refuses writes, as it would for its owner
    // anywhere else (the rename below would otherwise replace it).
    const QFileInfo info(FFileName);
    if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner))
        throw EIniWriteError(FFileName);
    try {
        leecher::WriteFileAtomically(FFileName, content);
    } catch (const leecher::EFileError &e) {
        throw EIniWriteError(FFileName, e.Reason());
    }
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &def) const
{
    const auto value = findValue(Load(), section, key);
    if (!value)
        return def;
    return QString::fromUtf8(unquote(*value)).left(MaxValueLength);
}

bool TIniFile::ParseInteger(const QString &text, int &value)
{
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) {
        negative = t.front() == QLatin1Char('-');
        t.remove(0, 1);
    }
    int base = 10;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t.remove(0, 2);
    }
    if (t.isEmpty())
        return false;
    for (QChar c : t) {
        const bool ok = base == 16 ? isxdigit(c.unicode()) && c.unicode() < 128
                                   : c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!ok)
            return false;
    }
    bool ok = false;
    const qlonglong magnitude = t.toLongLong(&ok, base);
    if (!ok)
        return false;
    const qlonglong signedValue = negative ? -magnitude : magnitude;
    // Hexadecimal takes the full 32-bit pattern, so 0xFFFFFFFF reads as -1.
    if (base == 16 && !negative && magnitude <= 0xFFFFFFFFLL) {
        value = static_cast<int>(static_cast<quint32>(magnitude));
        return true;
    }
    if (signedValue < INT_MIN || signedValue > INT_MAX)
        return false;
    value = static_cast<int>(signedValue);
    return true;
}

int TIniFile::ReadInteger(const QString &section, const QString &key, int def) const
{
    const auto value = findValue(Load(), section, key);
    int result = def;
    if (!value || !ParseInteger(QString::fromUtf8(unquote(*value)), result))
        return def;
    return result;
}

bool TIniFile::ReadBool(const QString &section, const QString &key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const QString &section) const
{
    for (const QByteArray &raw : splitLines(Load())) {
        const Line line = classify(raw);
        if (line.kind == Line::Section && sameName(line.name, section))
            return true;
    }
    return false;
}

bool TIniFile::ValueExists(const QString &section, const QString &key) const
{
    return findValue(Load(), section, key).has_value();
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    QList<QByteArray> lines = splitLines(Load());
    const QByteArray newLine = key.toUtf8() + '=' + value.toUtf8();

    qsizetype sectionAt = -1; // header line of the section
    qsizetype lastKeyAt = -1; // last key line of the section
    qsizetype replaceAt = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line line = classify(lines[i]);
        if (line.kind == Line::Section) {
            if (sectionAt >= 0)
                break;
            if (sameName(line.name, section))
                sectionAt = lastKeyAt = i;
        } else if (sectionAt >= 0 && line.kind == Line::Key) {
            lastKeyAt = i;
            if (sameName(line.name, key)) {
                replaceAt = i;
                break;
            }
        }
    }

    if (replaceAt >= 0) {
        lines[replaceAt] = newLine;
    } else if (sectionAt >= 0) {
        lines.insert(lastKeyAt + 1, newLine);
    } else {
        lines.append('[' + section.toUtf8() + ']');
        lines.append(newLine);
    }

    QByteArray content;
    for (const QByteArray &l : lines)
        content += l + "\r\n";
    Store(content);
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace settings
