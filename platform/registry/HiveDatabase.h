#pragma once
#include "platform/registry/Registry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The SQLite file behind the registry: one process-wide connection with its prepared
// statements, opened on first use and kept. Internal to platform/registry; TRegistry
// is the interface.
//
// Keys live in `keys` (one row per key, the path below its root in `path`, compared
// case-insensitively for ASCII like the registry does) and values in `vals`.
namespace HiveDatabase {

// The key id FindKey and CreateKey give for "no such key".
constexpr int64_t NoKey = 0;

class TConnection;

// Runs work on the open hive under the process-wide lock. forWrite opens (and creates)
// the hive file when needed; a read when no hive file exists yet runs nothing. Returns
// what work returned, or false when no hive could be used.
bool Run(bool forWrite, const std::function<bool(TConnection&)>& work);

class TConnection {
public:
    explicit TConnection(sqlite3* db);
    ~TConnection();
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    // Prepares every statement; false when the file is not a hive we can use.
    bool Prepare();
    // Unique per connection in this process: key ids remembered from an earlier
    // connection (another hive path, a hive set aside, a forked child) are stale.
    uint64_t Serial() const { return serial; }

    int64_t FindKey(int root, const std::string& path);
    // Creates the key and its missing parents in one transaction.
    int64_t CreateKey(int root, const std::vector<std::string>& components);
    bool DeleteKey(int64_t id);
    std::vector<std::string> SubKeyNames(int64_t id);
    std::vector<std::string> ValueNames(int64_t id);
    std::optional<TRegValue> ReadValue(int64_t id, const std::string& name);
    std::optional<TRegValue> ReadValueAt(int root, const std::string& path, const std::string& name);
    bool WriteValue(int64_t id, const std::string& name, const TRegValue& value);
    bool DeleteValue(int64_t id, const std::string& name);

    // A step reported a damaged file: the connection is replaced on the next use.
    bool Damaged() const { return damaged; }

private:
    bool Check(int rc);
    bool Exec(sqlite3_stmt* statement);
    bool InTransaction(const std::function<bool()>& work);
    std::vector<std::string> Names(sqlite3_stmt* statement, int64_t id);
    std::optional<TRegValue> ValueOf(sqlite3_stmt* statement);

    sqlite3* db;
    uint64_t serial;
    bool damaged = false;
    sqlite3_stmt* findKey = nullptr;
    sqlite3_stmt* insertKey = nullptr;
    sqlite3_stmt* deleteKey = nullptr;
    sqlite3_stmt* subKeys = nullptr;
    sqlite3_stmt* valueNames = nullptr;
    sqlite3_stmt* readValue = nullptr;
    sqlite3_stmt* readValueAt = nullptr;
    sqlite3_stmt* writeValue = nullptr;
    sqlite3_stmt* deleteValue = nullptr;
    sqlite3_stmt* begin = nullptr;
    sqlite3_stmt* commit = nullptr;
    sqlite3_stmt* rollback = nullptr;
};

}
