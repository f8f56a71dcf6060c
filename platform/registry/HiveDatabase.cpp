#include "platform/registry/HiveDatabase.h"

#include "platform/registry/HiveFile.h"

#include <sqlite3.h>

#include <atomic>

namespace HiveDatabase {
namespace {

// Leaves a statement ready for its next use however the caller leaves the scope.
class TReset {
public:
    explicit TReset(sqlite3_stmt* s) : statement(s) {}
    ~TReset()
    {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
    TReset(const TReset&) = delete;
    TReset& operator=(const TReset&) = delete;

private:
    sqlite3_stmt* statement;
};

void BindText(sqlite3_stmt* statement, int index, const std::string& text)
{
    sqlite3_bind_text(statement, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

// A sub-tree is deleted in one statement; the values follow through the foreign key.
constexpr const char* DeleteTreeSql =
    "WITH RECURSIVE doomed(id) AS (SELECT ?1 UNION ALL "
    "SELECT k.id FROM keys k JOIN doomed d ON k.parent = d.id) "
    "DELETE FROM keys WHERE id IN doomed";

}

TConnection::TConnection(sqlite3* database) : db(database)
{
    static std::atomic<uint64_t> connections{0};
    serial = ++connections;
}

TConnection::~TConnection()
{
    for (sqlite3_stmt* statement : {findKey, insertKey, deleteKey, subKeys, valueNames, readValue,
                                    readValueAt, writeValue, deleteValue, begin, commit, rollback})
        sqlite3_finalize(statement);
    sqlite3_close_v2(db);
}

bool TConnection::Prepare()
{
    const std::pair<sqlite3_stmt**, const char*> statements[] = {
        {&findKey, "SELECT id FROM keys WHERE root = ?1 AND path = ?2"},
        {&insertKey, "INSERT INTO keys(parent, root, path, name) VALUES(?1, ?2, ?3, ?4)"},
        {&deleteKey, DeleteTreeSql},
        {&subKeys, "SELECT name FROM keys WHERE parent = ?1 ORDER BY name COLLATE NOCASE"},
        {&valueNames, "SELECT name FROM vals WHERE key = ?1 ORDER BY name"},
        {&readValue, "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2"},
        {&readValueAt, "SELECT v.type, v.data FROM keys k JOIN vals v ON v.key = k.id "
                       "WHERE k.root = ?1 AND k.path = ?2 AND v.name = ?3"},
        {&writeValue, "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
                      "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data"},
        {&deleteValue, "DELETE FROM vals WHERE key = ?1 AND name = ?2"},
        {&begin, "BEGIN IMMEDIATE"},
        {&commit, "COMMIT"},
        {&rollback, "ROLLBACK"},
    };
    for (const auto& [target, sql] : statements)
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, target, nullptr) != SQLITE_OK)
            return false;
    return true;
}

bool TConnection::Check(int rc)
{
    if (IsDamage(rc))
        damaged = true;
    return rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE;
}

bool TConnection::Exec(sqlite3_stmt* statement)
{
    TReset reset(statement);
    const int rc = sqlite3_step(statement);
    return Check(rc) && rc == SQLITE_DONE;
}

bool TConnection::InTransaction(const std::function<bool()>& work)
{
    if (!Exec(begin))
        return false;
    if (work() && Exec(commit))
        return true;
    Exec(rollback);
    return false;
}

int64_t TConnection::FindKey(int root, const std::string& path)
{
    TReset reset(findKey);
    sqlite3_bind_int(findKey, 1, root);
    BindText(findKey, 2, path);
    const int rc = sqlite3_step(findKey);
    Check(rc);
    return rc == SQLITE_ROW ? sqlite3_column_int64(findKey, 0) : NoKey;
}

int64_t TConnection::CreateKey(int root, const std::vector<std::string>& components)
{
    int64_t id = NoKey;
    InTransaction([&] {
        int64_t parent = FindKey(root, "");
        std::string path;
        for (const std::string& name : components) {
            path += (path.empty() ? "" : "\\") + name;
            int64_t child = FindKey(root, path);
            if (child == NoKey) {
                TReset reset(insertKey);
                sqlite3_bind_int64(insertKey, 1, parent);
                sqlite3_bind_int(insertKey, 2, root);
                BindText(insertKey, 3, path);
                BindText(insertKey, 4, name);
                if (!Check(sqlite3_step(insertKey)))
                    return false;
                child = sqlite3_last_insert_rowid(db);
            }
            parent = child;
        }
        id = parent;
        return id != NoKey;
    });
    return id;
}

bool TConnection::DeleteKey(int64_t id)
{
    {
        TReset reset(deleteKey);
        sqlite3_bind_int64(deleteKey, 1, id);
        if (!Check(sqlite3_step(deleteKey)))
            return false;
    }
    return sqlite3_changes(db) > 0;
}

std::vector<std::string> TConnection::Names(sqlite3_stmt* statement, int64_t id)
{
    std::vector<std::string> names;
    TReset reset(statement);
    sqlite3_bind_int64(statement, 1, id);
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)),
                           size_t(sqlite3_column_bytes(statement, 0)));
    Check(rc);
    return names;
}

std::vector<std::string> TConnection::SubKeyNames(int64_t id)
{
    return Names(subKeys, id);
}

std::vector<std::string> TConnection::ValueNames(int64_t id)
{
    return Names(valueNames, id);
}

std::optional<TRegValue> TConnection::ValueOf(sqlite3_stmt* statement)
{
    const int rc = sqlite3_step(statement);
    if (!Check(rc) || rc != SQLITE_ROW)
        return std::nullopt;
    TRegValue value;
    value.Type = TRegDataType(sqlite3_column_int64(statement, 0));
    if (value.Type == REG_DWORD) {
        value.Dword = uint32_t(sqlite3_column_int64(statement, 1));
    } else if (const void* bytes = sqlite3_column_blob(statement, 1)) {
        value.Bytes.assign(static_cast<const char*>(bytes), size_t(sqlite3_column_bytes(statement, 1)));
    }
    return value;
}

std::optional<TRegValue> TConnection::ReadValue(int64_t id, const std::string& name)
{
    TReset reset(readValue);
    sqlite3_bind_int64(readValue, 1, id);
    BindText(readValue, 2, name);
    return ValueOf(readValue);
}

std::optional<TRegValue> TConnection::ReadValueAt(int root, const std::string& path, const std::string& name)
{
    TReset reset(readValueAt);
    sqlite3_bind_int(readValueAt, 1, root);
    BindText(readValueAt, 2, path);
    BindText(readValueAt, 3, name);
    return ValueOf(readValueAt);
}

bool TConnection::WriteValue(int64_t id, const std::string& name, const TRegValue& value)
{
    TReset reset(writeValue);
    sqlite3_bind_int64(writeValue, 1, id);
    BindText(writeValue, 2, name);
    sqlite3_bind_int64(writeValue, 3, value.Type);
    if (value.Type == REG_DWORD)
        sqlite3_bind_int64(writeValue, 4, value.Dword);
    else if (value.Type == REG_BINARY)
        sqlite3_bind_blob(writeValue, 4, value.Bytes.data(), int(value.Bytes.size()), SQLITE_TRANSIENT);
    else
        BindText(writeValue, 4, value.Bytes);
    // A key deleted meanwhile (by another process) fails the foreign key: the write fails.
    const int rc = sqlite3_step(writeValue);
    return Check(rc) && rc == SQLITE_DONE;
}

bool TConnection::DeleteValue(int64_t id, const std::string& name)
{
    {
        TReset reset(deleteValue);
        sqlite3_bind_int64(deleteValue, 1, id);
        BindText(deleteValue, 2, name);
        if (!Check(sqlite3_step(deleteValue)))
            return false;
    }
    return sqlite3_changes(db) > 0;
}

}
