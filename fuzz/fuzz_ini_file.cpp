// Arbitrary bytes as an INI file (Options.ini and friends are plain files a
// user or another program may have edited). Reading must never crash and
// must keep its promises; writing one key must change that key only.
//
// Input: the file's content. Its first four bytes, when there are four, also
// give an integer for the number parser's round trip.
#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstring>

using settings::TIniFile;

namespace {

void Check(bool Condition)
{
    if (!Condition)
        std::abort();
}

// In memory when the system offers a tmpfs: every write is synced to disk.
const QString &FilePath()
{
    static QTemporaryDir Dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/vexo-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/vexo-fuzz-XXXXXX"));
    static const QString Path = Dir.filePath(QStringLiteral("Options.ini"));
    return Path;
}

// The sections and keys the program reads, in the letter cases a hand-edited
// file may use.
const char *const Sections[] = {"Main", "options", "ProxyChecker"};
const char *const Keys[] = {"Bots", "timeout", "Judge"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    {
        QFile F(FilePath());
        Check(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Check(F.write(reinterpret_cast<const char *>(Data), qint64(Size)) == qint64(Size));
    }
    TIniFile Ini(FilePath());
    const QString Missing = QStringLiteral("\x01missing");

    // Reads: bounded values, and a key that does not exist gives the default.
    QString Before[std::size(Sections)][std::size(Keys)];
    for (size_t S = 0; S < std::size(Sections); ++S) {
        for (size_t K = 0; K < std::size(Keys); ++K) {
            const QString Section = QLatin1String(Sections[S]);
            const QString Key = QLatin1String(Keys[K]);
            const QString Value = Ini.ReadString(Section, Key, Missing);
            Check(Value.size() <= TIniFile::MaxValueLength);
            if (!Ini.ValueExists(Section, Key))
                Check(Value == Missing);
            else
                Check(Ini.SectionExists(Section));
            Ini.ReadBool(Section, Key, true);
            Before[S][K] = Value;
        }
    }

    // Writing one key: it reads back, and every other key keeps its value.
    Ini.WriteString(QStringLiteral("Main"), QStringLiteral("Bots"), QStringLiteral("42"));
    Check(Ini.ReadString(QStringLiteral("Main"), QStringLiteral("bots"), Missing) ==
          QStringLiteral("42"));
    Check(Ini.ReadInteger(QStringLiteral("MAIN"), QStringLiteral("Bots"), 0) == 42);
    for (size_t S = 0; S < std::size(Sections); ++S) {
        for (size_t K = 0; K < std::size(Keys); ++K) {
            const QString Section = QLatin1String(Sections[S]);
            const QString Key = QLatin1String(Keys[K]);
            if (Section.compare(QStringLiteral("Main"), Qt::CaseInsensitive) == 0 &&
                Key.compare(QStringLiteral("Bots"), Qt::CaseInsensitive) == 0)
                continue;
            Check(Ini.ReadString(Section, Key, Missing) == Before[S][K]);
        }
    }

    // The number parser takes back what it would write, in both forms.
    if (Size >= 4) {
        qint32 Value;
        std::memcpy(&Value, Data, sizeof Value);
        int Parsed = 0;
        Check(TIniFile::ParseInteger(QString::number(Value), Parsed) && Parsed == Value);
        const QString Hex = QStringLiteral("0x") + QString::number(quint32(Value), 16);
        Check(TIniFile::ParseInteger(Hex, Parsed) && Parsed == Value);
    }
    return 0;
}
