#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace HiveDatabase {
class TConnection;
}

// The typed registry the program and the browser libraries keep their settings in: one
// hive file per user (HivePath()), shared safely by several processes. Key and value
// names are compared case-insensitively (ASCII); key paths are absolute below the root,
// components separated by "\" (leading, trailing and doubled separators are ignored).
// The value named "" is the key's default value. Text is UTF-8.
//
// Nothing here throws. When no hive can be opened, reads find nothing and writes fail.

enum THiveRoot : int {
    HKEY_CURRENT_USER = 1,
    HKEY_LOCAL_MACHINE = 2,
    HKEY_CLASSES_ROOT = 3,
};

enum TRegDataType : uint32_t {
    REG_NONE = 0,  // no such value
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
};

// One stored value. Each typed view gives nothing for a value of another type.
struct TRegValue {
    TRegDataType Type = REG_NONE;
    std::string Bytes;   // REG_SZ and REG_EXPAND_SZ (UTF-8), REG_BINARY
    uint32_t Dword = 0;  // REG_DWORD

    // REG_SZ or REG_EXPAND_SZ, expanding nothing.
    std::optional<std::string> AsString() const;
    std::optional<uint32_t> AsDword() const;
    std::optional<int32_t> AsInteger() const;
    std::optional<std::string> AsBinary() const;
};

// An accessor with at most one open key, like a registry key handle. Each call is a
// transaction of its own; an open key that another process deletes reads as empty and
// refuses writes. Cheap to create; keep one per thread.
class TRegistry {
public:
    explicit TRegistry(THiveRoot root = HKEY_CURRENT_USER);

    THiveRoot RootKey() const { return root; }

    // Opens key for reading and writing; with canCreate, creates it and its missing
    // parents first. False (and no key open) when it does not exist or cannot be made.
    bool OpenKey(const std::string& key, bool canCreate);
    // Opens an existing key for reading only: writes through it fail.
    bool OpenKeyReadOnly(const std::string& key);
    void CloseKey();
    bool HasOpenKey() const { return open; }
    // The open key's path as normalised (components joined by "\").
    const std::string& CurrentPath() const { return currentPath; }

    bool KeyExists(const std::string& key) const;
    bool CreateKey(const std::string& key);
    // Deletes key with all its sub-keys and values. A root cannot be deleted.
    bool DeleteKey(const std::string& key);

    // On the open key; empty, false or REG_NONE without one.
    std::vector<std::string> GetKeyNames() const;
    std::vector<std::string> GetValueNames() const;
    bool ValueExists(const std::string& name) const;
    TRegDataType GetDataType(const std::string& name) const;
    bool DeleteValue(const std::string& name);

    std::optional<TRegValue> ReadValue(const std::string& name) const;
    // One value of key, without opening it: a single statement, the cheapest read.
    std::optional<TRegValue> ReadValueAt(const std::string& key, const std::string& name) const;

    // Typed reads: nothing when the value is missing or of another type.
    // ReadString takes REG_SZ and REG_EXPAND_SZ and expands nothing.
    std::optional<std::string> ReadString(const std::string& name) const;
    std::optional<uint32_t> ReadDword(const std::string& name) const;
    std::optional<int32_t> ReadInteger(const std::string& name) const;
    std::optional<std::string> ReadBinaryData(const std::string& name) const;

    bool WriteString(const std::string& name, const std::string& value);
    bool WriteExpandString(const std::string& name, const std::string& value);
    bool WriteDword(const std::string& name, uint32_t value);
    bool WriteInteger(const std::string& name, int32_t value);
    bool WriteBinaryData(const std::string& name, const std::string& bytes);

private:
    int64_t OpenKeyId(HiveDatabase::TConnection& connection) const;
    std::vector<std::string> Names(bool subKeys) const;
    bool Write(const TRegValue& value, const std::string& name);

    THiveRoot root;
    std::string currentPath;
    bool open = false;
    bool readOnly = false;
    mutable int64_t keyId = 0;
    mutable uint64_t keySerial = 0;
};

// Splits a key path at "\" into its components, dropping empty ones.
std::vector<std::string> SplitKeyPath(const std::string& key);
