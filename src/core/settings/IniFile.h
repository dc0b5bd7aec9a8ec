// Options.ini and friends: a Windows-style INI file read and written key by key.
//
// Sections and keys match without regard to case; string values are read up to
// 2047 characters; integers are decimal or "0x" hexadecimal; booleans are
// integers (anything but 0 is true). A missing file, section or key, or a value
// that is not a number, gives the caller's default. Writing a key replaces only
// that key's line (creating the file and the section when missing) and keeps
// everything else; every write goes through a temporary file renamed over the
// old one, so the file is never left half written.
#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>
#include <string>

namespace settings {

// A write that could not be done; what() is "Unable to write to <file>",
// followed by the reason when there is one to tell.
class EIniWriteError : public std::runtime_error
{
public:
    explicit EIniWriteError(const QString &fileName, const QString &reason = {});
};

class TIniFile
{
public:
    static constexpr int MaxValueLength = 2047;

    explicit TIniFile(QString fileName);

    const QString &FileName() const { return FFileName; }
    bool Exists() const;

    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    int ReadInteger(const QString &section, const QString &key, int def) const;
    bool ReadBool(const QString &section, const QString &key, bool def) const;
    bool SectionExists(const QString &section) const;
    bool ValueExists(const QString &section, const QString &key) const;

    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);
    void WriteBool(const QString &section, const QString &key, bool value);

    // Parses an integer as the reads do: optional sign, decimal or 0x/0X hex,
    // surrounding spaces allowed. Returns false for anything else or overflow.
    static bool ParseInteger(const QString &text, int &value);

private:
    QByteArray Load() const;
    void Store(const QByteArray &content) const;

    QString FFileName;
};

} // namespace settings
