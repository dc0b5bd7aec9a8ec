#include "HistoryDb.h"

#include "lists/ShardKey.h"

#include <QDateTime>
#include <QFile>

#include <sqlite3.h>

#include <algorithm>

namespace history {

namespace {

constexpr qint32 GoodState = 6; // analyser::psGood
// How long a writer waits for the other process's transaction.
constexpr int BusyTimeoutMs = 10000;

const char *const Schema = R"(
CREATE TABLE IF NOT EXISTS proxies(
  id INTEGER PRIMARY KEY,
  type INTEGER NOT NULL, host TEXT NOT NULL, port TEXT NOT NULL,
  checks INTEGER NOT NULL, goods INTEGER NOT NULL,
  first_at INTEGER NOT NULL, last_at INTEGER NOT NULL, last_good INTEGER,
  state INTEGER, status TEXT, level TEXT, anonymous TEXT, speed INTEGER,
  gateway TEXT, exit TEXT, country TEXT,
  UNIQUE(type, host, port));
CREATE TABLE IF NOT EXISTS checks(
  proxy INTEGER NOT NULL, at INTEGER NOT NULL, state INTEGER NOT NULL,
  status TEXT, level TEXT, anonymous TEXT, speed INTEGER, gateway TEXT, exit TEXT,
  country TEXT);
)";

// The statements of recording take a check's values under the same numbers
// (BindKey, BindFigures, BindFields), the proxy's row as ?15. A proxy is
// found first, then added, or its figures are counted on; its last check's fields are replaced only
// by a check at least as recent (imports may bring older ones). (An upsert
// that returns the figures costs twice as much per check in SQLite.)
const char *const FindSql = "SELECT id, checks, goods, last_good, last_at FROM proxies "
                            "WHERE type = ?1 AND host = ?2 AND port = ?3";
const char *const AddSql = R"(
INSERT INTO proxies(type, host, port, checks, goods, first_at, last_at, last_good,
                    state, status, level, anonymous, speed, gateway, exit, country)
VALUES(?1, ?2, ?3, 1, ?4, ?5, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?14, ?12, ?13)
)";
const char *const CountSql = R"(
UPDATE proxies SET checks = checks + 1, goods = goods + ?4, first_at = min(first_at, ?5),
  last_good = CASE WHEN ?6 IS NULL THEN last_good ELSE max(coalesce(last_good, ?6), ?6) END
WHERE id = ?15
)";
const char *const LatestSql = R"(
UPDATE proxies SET checks = checks + 1, goods = goods + ?4, first_at = min(first_at, ?5),
  last_good = CASE WHEN ?6 IS NULL THEN last_good ELSE max(coalesce(last_good, ?6), ?6) END,
  last_at = ?5, state = ?7, status = ?8, level = ?9, anonymous = ?10, speed = ?11,
  exit = ?12, country = coalesce(?13, country), gateway = ?14
WHERE id = ?15
)";

const char *const InsertSql = R"(
INSERT INTO checks(proxy, at, state, status, level, anonymous, speed, gateway, exit, country)
VALUES(?15, ?5, ?7, ?8, ?9, ?10, ?11, ?14, ?12, ?13)
)";

const char *const ProxyColumns = "type, host, port, checks, goods, last_good, last_at, state, "
                                 "status, level, anonymous, speed, exit, country, gateway";

void BindText(sqlite3_stmt *s, int i, QByteArrayView text)
{
    if (text.isEmpty())
        sqlite3_bind_null(s, i);
    else
        sqlite3_bind_text(s, i, text.constData(), int(text.size()), SQLITE_STATIC);
}

QByteArray ColumnText(sqlite3_stmt *s, int i)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, i));
    return text ? QByteArray(text, sqlite3_column_bytes(s, i)) : QByteArray();
}

// A check's values under the numbers every statement of recording uses;
// each statement is given only the ones it reads.
void BindKey(sqlite3_stmt *s, int type, QByteArrayView host, QByteArrayView port) // ?1 .. ?3
{
    sqlite3_bind_int(s, 1, type);
    BindText(s, 2, host);
    BindText(s, 3, port);
}

void BindFigures(sqlite3_stmt *s, const TCheckRecord &r) // ?4 .. ?6
{
    const bool good = r.State == GoodState;
    sqlite3_bind_int(s, 4, good ? 1 : 0);
    sqlite3_bind_int64(s, 5, r.At);
    if (good)
        sqlite3_bind_int64(s, 6, r.At);
    else
        sqlite3_bind_null(s, 6);
}

void BindFields(sqlite3_stmt *s, const TCheckRecord &r) // ?7 .. ?14
{
    sqlite3_bind_int(s, 7, r.State);
    BindText(s, 8, r.Status);
    BindText(s, 9, r.Level);
    BindText(s, 10, r.Anonymous);
    if (r.SpeedMs >= 0)
        sqlite3_bind_int(s, 11, r.SpeedMs);
    else
        sqlite3_bind_null(s, 11);
    BindText(s, 12, r.Exit);
    BindText(s, 13, r.Country);
    BindText(s, 14, r.Gateway);
}

// A row of ProxyColumns.
TProxyHistory ProxyRow(sqlite3_stmt *s)
{
    TProxyHistory p;
    const int type = sqlite3_column_int(s, 0);
    p.Last.Type = type == net::ptSocks4   ? net::ptSocks4
                  : type == net::ptSocks5 ? net::ptSocks5
                                          : net::ptHttp;
    p.Last.Host = ColumnText(s, 1);
    p.Last.Port = ColumnText(s, 2);
    p.Figures.Checks = quint32(sqlite3_column_int64(s, 3));
    p.Figures.Goods = quint32(sqlite3_column_int64(s, 4));
    p.Figures.LastGood = sqlite3_column_int64(s, 5);
    p.Last.At = sqlite3_column_int64(s, 6);
    p.Last.State = sqlite3_column_int(s, 7);
    p.Last.Status = ColumnText(s, 8);
    p.Last.Level = ColumnText(s, 9);
    p.Last.Anonymous = ColumnText(s, 10);
    p.Last.SpeedMs = sqlite3_column_type(s, 11) == SQLITE_NULL ? -1 : sqlite3_column_int(s, 11);
    p.Last.Exit = ColumnText(s, 12);
    p.Last.Country = ColumnText(s, 13);
    p.Last.Gateway = ColumnText(s, 14);
    return p;
}

} // namespace

THistoryDb::~THistoryDb()
{
    Close();
}

void THistoryDb::Close()
{
    FKnown.clear();
    FKnownVersion = -1;
    for (sqlite3_stmt **s : {&FFind, &FAdd, &FCount, &FLatest, &FInsert, &FDataVersion}) {
        sqlite3_finalize(*s);
        *s = nullptr;
    }
    if (FDb)
        sqlite3_close_v2(FDb);
    FDb = nullptr;
}

bool THistoryDb::Fail(int code, const char *what)
{
    const QString reason =
        FDb ? QString::fromUtf8(sqlite3_errmsg(FDb)) : QString::fromUtf8(sqlite3_errstr(code));
    FError = QStringLiteral("The check history %1 cannot be %2: %3.")
                 .arg(FPath, QLatin1StringView(what), reason);
    const int primary = code & 0xff;
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
        SetAside();
    return false;
}

void THistoryDb::SetAside()
{
    Close();
    // The journal files belong to the damaged file: they move with it.
    const QString aside =
        FPath + QStringLiteral(".damaged-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const bool moved = QFile::rename(FPath, aside);
    if (moved) {
        for (const char *suffix : {"-wal", "-shm"}) {
            if (QFile::exists(FPath + QLatin1StringView(suffix)))
                QFile::rename(FPath + QLatin1StringView(suffix), aside + QLatin1StringView(suffix));
        }
    }
    FError +=
        moved ? QStringLiteral(" It was set aside as %1; the next run starts a new one.").arg(aside)
              : QStringLiteral(" It could not be set aside.");
}

bool THistoryDb::Exec(const char *sql)
{
    char *message = nullptr;
    const int rc = sqlite3_exec(FDb, sql, nullptr, nullptr, &message);
    sqlite3_free(message);
    return rc == SQLITE_OK || Fail(rc, "used");
}

sqlite3_stmt *THistoryDb::Prepare(const char *sql)
{
    sqlite3_stmt *s = nullptr;
    const int rc = sqlite3_prepare_v3(FDb, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(s);
        Fail(rc, "read");
        return nullptr;
    }
    return s;
}

bool THistoryDb::Open(const QString &path)
{
    // SQLite keeps memory statistics under a global lock on every
    // allocation; nothing here reads them. This takes effect only before
    // SQLite's first use in the process (later it is refused, harmlessly).
    static const int noMemoryStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    Q_UNUSED(noMemoryStatistics);
    Close();
    FPath = path;
    FError.clear();
    const QByteArray name = QFile::encodeName(path);
    const int rc =
        sqlite3_open_v2(name.constData(), &FDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        return Fail(rc, "opened");
    sqlite3_busy_timeout(FDb, BusyTimeoutMs);
    // A damaged file shows itself at the first read of its schema.
    // A batch of results touches pages all over the indexes: a cache that
    // holds them, and a journal that is folded into the file less often,
    // keep recording cheap.
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=NORMAL") ||
        !Exec("PRAGMA cache_size=-32768") || !Exec("PRAGMA wal_autocheckpoint=4096") ||
        !Exec(Schema))
        return false;
    return (FFind = Prepare(FindSql)) && (FAdd = Prepare(AddSql)) && (FCount = Prepare(CountSql)) &&
           (FLatest = Prepare(LatestSql)) && (FInsert = Prepare(InsertSql)) &&
           (FDataVersion = Prepare("PRAGMA data_version"));
}

bool THistoryDb::Prune(qint64 before)
{
    if (!FDb)
        return false;
    FKnown.clear(); // the figures of proxies may change below
    const auto step = [this, before](const char *sql) {
        sqlite3_stmt *s = nullptr;
        int rc = sqlite3_prepare_v2(FDb, sql, -1, &s, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_bind_int64(s, 1, before);
            rc = sqlite3_step(s);
        }
        sqlite3_finalize(s);
        return rc;
    };
    const auto fail = [this](int rc) {
        sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
        return Fail(rc, "tidied");
    };
    // Only proxies whose first check is gone need their figures again: one
    // grouped pass over the checks gives them (no index on the checks, which
    // every recorded check would pay for).
    const char *const steps[] = {
        "DELETE FROM checks WHERE at < ?1", "UPDATE proxies SET checks = 0 WHERE first_at < ?1",
        "UPDATE proxies SET checks = g.n, goods = g.good, first_at = g.first, "
        "last_good = g.lastGood FROM (SELECT proxy, count(*) AS n, sum(state = 6) AS good, "
        "min(at) AS first, max(CASE WHEN state = 6 THEN at END) AS lastGood FROM checks "
        "GROUP BY proxy) AS g WHERE proxies.id = g.proxy AND proxies.first_at < ?1",
        "DELETE FROM proxies WHERE checks = 0"};
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    // A proxy's first_at is its oldest check: when no proxy has one that
    // old, nothing goes, and the (larger) checks are not read at all.
    int rc = step("SELECT 1 FROM proxies WHERE first_at < ?1 LIMIT 1");
    if (rc == SQLITE_DONE)
        return Exec("COMMIT");
    if (rc != SQLITE_ROW)
        return fail(rc);
    for (const char *sql : steps) {
        rc = step(sql);
        if (rc != SQLITE_DONE && rc != SQLITE_OK)
            return fail(rc);
    }
    return Exec("COMMIT");
}

int THistoryDb::RecordOne(const TCheckRecord &r, const TKey &key, TFigures &figures)
{
    const bool good = r.State == GoodState;
    TKnown *known = nullptr;
    if (const auto it = FKnown.find(key.Text); it != FKnown.end()) {
        known = &it->second;
    } else {
        sqlite3_reset(FFind);
        BindKey(FFind, key.Type, key.Host, key.Port);
        const int found = sqlite3_step(FFind);
        if (found == SQLITE_ROW) {
            const TKnown row{sqlite3_column_int64(FFind, 0), sqlite3_column_int64(FFind, 1),
                             sqlite3_column_int64(FFind, 2), sqlite3_column_int64(FFind, 3),
                             sqlite3_column_int64(FFind, 4)};
            sqlite3_reset(FFind);
            known = &Remember(key.Text, row);
        } else {
            sqlite3_reset(FFind);
            if (found != SQLITE_DONE)
                return found;
        }
    }
    sqlite3_stmt *change = FAdd;
    if (known)
        change = r.At >= known->LastAt ? FLatest : FCount;
    sqlite3_reset(change);
    BindFigures(change, r);
    if (known) {
        if (change == FLatest)
            BindFields(change, r);
        sqlite3_bind_int64(change, 15, known->Id);
    } else {
        BindKey(change, key.Type, key.Host, key.Port);
        BindFields(change, r);
    }
    int rc = sqlite3_step(change);
    sqlite3_reset(change);
    if (rc != SQLITE_DONE)
        return rc;
    // The proxy's row as it now stands in the file.
    if (!known) {
        known = &Remember(key.Text, TKnown{sqlite3_last_insert_rowid(FDb), 0, 0, 0, r.At});
    }
    known->Checks += 1;
    known->Goods += good ? 1 : 0;
    if (good)
        known->LastGood = std::max(known->LastGood, r.At);
    known->LastAt = std::max(known->LastAt, r.At);
    figures = {quint32(known->Checks), quint32(known->Goods), known->LastGood};

    sqlite3_reset(FInsert);
    sqlite3_bind_int64(FInsert, 5, r.At);
    BindFields(FInsert, r);
    sqlite3_bind_int64(FInsert, 15, known->Id);
    rc = sqlite3_step(FInsert);
    sqlite3_reset(FInsert);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

THistoryDb::TKnown &THistoryDb::Remember(std::string_view key, const TKnown &row)
{
    if (FKnown.size() < MaxKnown)
        return FKnown.emplace(key, row).first->second;
    return FLooked = row;
}

bool THistoryDb::Record(std::span<const TCheckRecord> records, std::vector<TFigures> *figures)
{
    if (!FDb)
        return false;
    if (figures)
        figures->clear();
    if (records.empty())
        return true;
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    // What is known of the proxies holds only while no other connection
    // (the other program) has written since this one last did.
    sqlite3_reset(FDataVersion);
    int rc = sqlite3_step(FDataVersion);
    if (rc == SQLITE_ROW) {
        const qint64 version = sqlite3_column_int64(FDataVersion, 0);
        if (version != FKnownVersion)
            FKnown.clear();
        FKnownVersion = version;
        rc = SQLITE_OK;
    }
    sqlite3_reset(FDataVersion);
    TFigures after;
    for (size_t i = 0; i < records.size() && rc == SQLITE_OK; ++i) {
        const TCheckRecord &given = records[i];
        // Stored under the proxy's key: the host in lower case, the port
        // without leading zeros, both also in the shard key that finds
        // known proxies.
        leecher::WriteProxyShardKey(FKeyText, given.Type, given.Host, given.Port);
        const QByteArrayView port = leecher::ProxyKeyPort(given.Port);
        const qsizetype hostAt = FKeyText.size() - port.size() - 1 - given.Host.size();
        const TKey key{given.Type, QByteArrayView(FKeyText).sliced(hostAt, given.Host.size()), port,
                       std::string_view(FKeyText.constData(), size_t(FKeyText.size()))};
        rc = RecordOne(given, key, after);
        if (rc == SQLITE_OK && figures)
            figures->push_back(after);
    }
    if (rc != SQLITE_OK) {
        sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
        FKnown.clear();
        if (figures)
            figures->clear();
        return Fail(rc, "written");
    }
    if (!Exec("COMMIT")) {
        FKnown.clear();
        return false;
    }
    return true;
}

bool THistoryDb::List(const THistoryFilter &filter,
                      const std::function<void(const TProxyHistory &)> &each)
{
    if (!FDb)
        return false;
    QByteArray sql = QByteArray("SELECT ") + ProxyColumns +
                     " FROM proxies WHERE coalesce(last_good, 0) >= ?1"
                     " AND goods * 100.0 >= ?2 * checks AND last_at >= ?3";
    if (filter.Type)
        sql += " AND type = ?4";
    if (!filter.Countries.isEmpty()) {
        sql += " AND country IN (";
        for (qsizetype i = 0; i < filter.Countries.size(); ++i)
            sql += (i ? ", ?" : "?") + QByteArray::number(5 + i);
        sql += ")";
    }
    sql += " ORDER BY id";
    sqlite3_stmt *s = nullptr;
    int rc = sqlite3_prepare_v2(FDb, sql.constData(), -1, &s, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_int64(s, 1, filter.GoodSince);
        sqlite3_bind_double(s, 2, filter.MinUptime);
        sqlite3_bind_int64(s, 3, filter.CheckedSince);
        if (filter.Type)
            sqlite3_bind_int(s, 4, *filter.Type);
        for (qsizetype i = 0; i < filter.Countries.size(); ++i)
            BindText(s, int(5 + i), filter.Countries[i]);
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            each(ProxyRow(s));
    }
    sqlite3_finalize(s);
    return rc == SQLITE_DONE || Fail(rc, "read");
}

} // namespace history
