// The check history: every check of every proxy, kept in one SQLite file of
// the data folder, and per proxy its figures (checks, good ones, the last
// good one) and its last check.
//
// The window and vexo-cli may record at the same time: the file is in WAL
// mode, each batch of results is one transaction and a writer waits for the
// other (busy timeout) instead of failing. A file that is no database or is
// damaged is set aside under a new name, never deleted, and the caller goes
// on without history.
#pragma once

#include "net/ProxyType.h"
#include "util/TextHash.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace history {

inline constexpr const char *HistoryFileName = "History.sqlite";
inline constexpr int DefaultHistoryDays = 90;

// One check as recorded. Host and port are stored as a proxy's key holds
// them (host in lower case, port without leading zeros).
struct TCheckRecord
{
    net::TProxyType Type = net::ptHttp;
    QByteArray Host;
    QByteArray Port;
    qint64 At = 0;     // when it ended, ms since 1970 (UTC)
    qint32 State = 0;  // analyser::TProxyState
    QByteArray Status; // as the analyser shows it
    QByteArray Level;
    QByteArray Anonymous;
    qint32 SpeedMs = -1; // -1: none
    QByteArray Gateway;  // the address the judge saw, as shown
    QByteArray Exit;     // the exit address, when known
    QByteArray Country;  // ISO code, when known
};

struct TFigures
{
    quint32 Checks = 0;
    quint32 Goods = 0;
    qint64 LastGood = 0; // 0: never
};

// A proxy of the history: its figures and its last check.
struct TProxyHistory
{
    TCheckRecord Last;
    TFigures Figures;
};

// Which proxies a listing gives; every field empty or zero: all of them.
struct THistoryFilter
{
    qint64 GoodSince = 0;        // last good check at or after (ms since 1970)
    qint64 CheckedSince = 0;     // last check at or after
    double MinUptime = 0;        // goods over checks, in percent
    QList<QByteArray> Countries; // ISO codes, upper case
    std::optional<net::TProxyType> Type;
};

class THistoryDb
{
public:
    THistoryDb() = default;
    ~THistoryDb();
    THistoryDb(const THistoryDb &) = delete;
    THistoryDb &operator=(const THistoryDb &) = delete;

    // Opens the file, creating it when missing. False, with a message for
    // the user, when it cannot be used; a damaged file is set aside first.
    bool Open(const QString &path);
    bool IsOpen() const { return FDb != nullptr; }
    void Close();
    // Why the last call failed (the file, and what is wrong with it).
    const QString &Error() const { return FError; }
    const QString &Path() const { return FPath; }

    // Removes the checks that ended before `before` (ms since 1970), and
    // the proxies left without any.
    bool Prune(qint64 before);
    // Records the checks in one transaction; `figures` (when given) gets
    // each proxy's figures after its check, in the order of `records`.
    bool Record(std::span<const TCheckRecord> records, std::vector<TFigures> *figures = nullptr);
    // Each proxy that passes the filter, in the order first recorded.
    bool List(const THistoryFilter &filter, const std::function<void(const TProxyHistory &)> &each);

private:
    bool Fail(int code, const char *what);
    // A proxy's key as stored: its parts, and all of it in one text (the
    // shard key's).
    struct TKey
    {
        net::TProxyType Type;
        QByteArrayView Host;
        QByteArrayView Port;
        std::string_view Text;
    };
    // A proxy's row as this connection last wrote or read it.
    struct TKnown
    {
        qint64 Id;
        qint64 Checks, Goods, LastGood, LastAt;
    };
    // Keeps `row` as the proxy's, while there is room; the row kept.
    TKnown &Remember(std::string_view key, const TKnown &row);
    // One check: its proxy found, added or counted on, the check added.
    int RecordOne(const TCheckRecord &record, const TKey &key, TFigures &figures);
    bool Exec(const char *sql);
    sqlite3_stmt *Prepare(const char *sql);
    void SetAside();

    sqlite3 *FDb = nullptr;
    QString FPath;
    QString FError;

    // Prepared once: FindSql, AddSql, CountSql, LatestSql, InsertSql, and
    // the file's data_version.
    sqlite3_stmt *FFind = nullptr;
    sqlite3_stmt *FAdd = nullptr;
    sqlite3_stmt *FCount = nullptr;
    sqlite3_stmt *FLatest = nullptr;
    sqlite3_stmt *FInsert = nullptr;
    sqlite3_stmt *FDataVersion = nullptr;

    // The proxies recorded lately, so that recording them again needs no
    // search of the file (a run checks the same list over and over). Kept
    // while no other connection has written (FKnownVersion, the file's
    // data_version) and up to MaxKnown proxies (about 130 bytes each).
    static constexpr size_t MaxKnown = size_t(1) << 18;
    std::unordered_map<std::string, TKnown, util::TTextHash, std::equal_to<>> FKnown;
    qint64 FKnownVersion = -1;
    TKnown FLooked{};    // a proxy found when FKnown is full
    QByteArray FKeyText; // the key being recorded
};

} // namespace history
