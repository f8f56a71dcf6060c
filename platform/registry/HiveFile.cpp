#include "platform/registry/HiveFile.h"

#include "platform/base/Clock.h"
#include "platform/base/DateTime.h"
#include "platform/base/Paths.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <pthread.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace HiveDatabase {
namespace {

// Writers from several processes (the program, the browser libraries) wait their turn.
constexpr int BusyTimeoutMs = 5000;

constexpr const char* SchemaSql =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: a stale key id finds nothing
    "  parent INTEGER,"
    "  root INTEGER NOT NULL,"
    "  path TEXT NOT NULL COLLATE NOCASE,"
    "  name TEXT NOT NULL,"
    "  UNIQUE(root, path));"
    "CREATE INDEX IF NOT EXISTS keys_parent ON keys(parent);"
    "CREATE TABLE IF NOT EXISTS vals("
    "  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data,"
    "  PRIMARY KEY(key, name)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, root, path, name)"
    "  VALUES(1, NULL, 1, '', ''), (2, NULL, 2, '', ''), (3, NULL, 3, '', '');"
    "PRAGMA user_version = 1;";

enum class TOutcome { Opened, Damaged, Failed };

struct TAttempt {
    TOutcome Outcome = TOutcome::Failed;
    std::unique_ptr<TConnection> Connection;
    std::string Reason;
};

TAttempt Failure(TOutcome outcome, std::string reason)
{
    TAttempt attempt;
    attempt.Outcome = outcome;
    attempt.Reason = std::move(reason);
    return attempt;
}

TAttempt SqliteFailure(sqlite3* db, int rc)
{
    return Failure(IsDamage(rc) ? TOutcome::Damaged : TOutcome::Failed, sqlite3_errmsg(db));
}

// The file is created by us, not by SQLite, so it is owner-only from its first byte; an
// existing hive is tightened to 0600. SQLite gives its -wal and -shm files the mode of
// the database file.
bool CreateOwnerOnly(const std::string& path, std::string& reason)
{
    if (!MakeFolders(fs::path(path).parent_path().string())) {
        reason = "cannot create the folder of " + path;
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && (info.st_mode & 07777) != 0600)
        fchmod(fd, 0600);
    ::close(fd);
    return true;
}

// First column of the first row of sql, or "" (rc tells why).
std::string QueryText(sqlite3* db, const char* sql, int& rc)
{
    sqlite3_stmt* statement = nullptr;
    rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    std::string text;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW && sqlite3_column_text(statement, 0))
            text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        if (rc == SQLITE_ROW || rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    sqlite3_finalize(statement);
    return text;
}

// The tables of the file besides SQLite's own: "" for a new file, "keys,vals" for a hive.
constexpr const char* TablesSql =
    "SELECT coalesce(group_concat(name), '') FROM (SELECT name FROM sqlite_master "
    "WHERE type = 'table' AND substr(name, 1, 7) <> 'sqlite_' ORDER BY name)";

int CreateSchema(sqlite3* db)
{
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, SchemaSql, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

// Everything up to the quick check only reads, so a file that turns out not to be a
// hive is kept aside exactly as it was found.
TAttempt TryOpen(const std::string& path)
{
    std::string reason;
    if (!CreateOwnerOnly(path, reason))
        return Failure(TOutcome::Failed, reason);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    auto connection = std::make_unique<TConnection>(db);  // closes db on every way out
    if (rc != SQLITE_OK)
        return SqliteFailure(db, rc);
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    const std::string tables = QueryText(db, TablesSql, rc);
    if (rc != SQLITE_OK)
        return SqliteFailure(db, rc);
    if (!tables.empty() && (tables != "keys,vals" || !connection->Prepare()))
        return Failure(TOutcome::Damaged, "not a settings hive");
    const std::string check = QueryText(db, "PRAGMA quick_check(1)", rc);
    if (rc != SQLITE_OK)
        return SqliteFailure(db, rc);
    if (check != "ok")
        return Failure(TOutcome::Damaged, check);
    QueryText(db, "PRAGMA journal_mode = WAL", rc);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK && tables.empty())
        rc = CreateSchema(db);
    if (rc != SQLITE_OK)
        return SqliteFailure(db, rc);
    if (tables.empty() && !connection->Prepare())
        return Failure(TOutcome::Failed, sqlite3_errmsg(db));
    TAttempt attempt;
    attempt.Outcome = TOutcome::Opened;
    attempt.Connection = std::move(connection);
    return attempt;
}

// registry.db -> registry.db.unreadable-20261210-153000 (-2, -3 ... when taken), with
// its -wal and -shm files beside it. Empty when the rename fails.
std::string SetAside(const std::string& path)
{
    const DateTimeParts now = DecodeDateTime(Now());
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    std::string aside = path + ".unreadable-" + stamp;
    std::error_code error;
    for (int n = 2; fs::exists(aside, error); ++n)
        aside = path + ".unreadable-" + stamp + "-" + std::to_string(n);
    if (std::rename(path.c_str(), aside.c_str()) != 0)
        return {};
    for (const char* suffix : {"-wal", "-shm"})
        if (fs::exists(path + suffix, error))
            std::rename((path + suffix).c_str(), (aside + suffix).c_str());
    return aside;
}

}

bool IsDamage(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

std::unique_ptr<TConnection> OpenHiveFile(const std::string& path, std::string& reason)
{
    TAttempt attempt = TryOpen(path);
    if (attempt.Outcome == TOutcome::Damaged) {
        const std::string aside = SetAside(path);
        if (aside.empty()) {
            reason = "damaged (" + attempt.Reason + ") and cannot be renamed aside";
            return nullptr;
        }
        std::fprintf(stderr,
                     "corvane: the settings hive %s could not be read (%s); it was kept as %s and a "
                     "new one was started\n",
                     path.c_str(), attempt.Reason.c_str(), aside.c_str());
        attempt = TryOpen(path);
    }
    if (attempt.Outcome != TOutcome::Opened)
        reason = attempt.Reason;
    return std::move(attempt.Connection);
}

namespace {

struct THiveState {
    std::mutex lock;
    std::unique_ptr<TConnection> connection;
    std::string openPath;
    dev_t openDevice = 0;
    ino_t openInode = 0;
    bool forked = false;
    std::set<std::string> reportedUnavailable;
};

THiveState& State()
{
    static THiveState* state = [] {
        // A connection must not cross fork(): the child starts its own.
        pthread_atfork(nullptr, nullptr, [] { State().forked = true; });
        return new THiveState;  // outlives every static destructor that might read settings
    }();
    return *state;
}

// The file at path is still the one the connection has open: not renamed aside by
// another process, nor deleted or replaced by the user.
bool SameFile(const THiveState& state, const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && info.st_dev == state.openDevice && info.st_ino == state.openInode;
}

void ReportUnavailable(THiveState& state, const std::string& path, const std::string& reason)
{
    if (!state.reportedUnavailable.insert(path).second)
        return;
    std::fprintf(stderr, "corvane: cannot open the settings hive %s (%s); settings are not kept\n",
                 path.c_str(), reason.c_str());
}

}

bool Run(bool forWrite, const std::function<bool(TConnection&)>& work)
{
    THiveState& state = State();
    std::lock_guard guard(state.lock);
    if (state.forked) {
        state.forked = false;
        (void)state.connection.release();  // the parent's; closing it here could disturb its locks
    }
    const std::string path = HivePath();
    // Closing the connection of a moved file neither checkpoints nor deletes anything by
    // name, so it cannot touch the hive that now lies at path.
    if (state.connection && (path != state.openPath || state.connection->Damaged() || !SameFile(state, path)))
        state.connection.reset();
    if (!state.connection) {
        std::error_code error;
        if (!forWrite && !fs::exists(path, error))
            return false;  // nothing stored yet; the first write creates the hive
        std::string reason;
        state.connection = OpenHiveFile(path, reason);
        if (!state.connection) {
            ReportUnavailable(state, path, reason);
            return false;
        }
        state.openPath = path;
        struct stat info {};
        ::stat(path.c_str(), &info);
        state.openDevice = info.st_dev;
        state.openInode = info.st_ino;
    }
    return work(*state.connection);
}

}
