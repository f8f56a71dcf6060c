#include "platform/registry/Registry.h"

#include "platform/registry/HiveDatabase.h"

#include <cstring>

using HiveDatabase::TConnection;

namespace {
// The limits of the registry this stands in for.
constexpr size_t MaxKeyNameLength = 255;
constexpr size_t MaxKeyDepth = 512;

std::string JoinKeyPath(const std::vector<std::string>& components)
{
    std::string path;
    for (const std::string& name : components)
        path += (path.empty() ? "" : "\\") + name;
    return path;
}

bool ValidKeyPath(const std::vector<std::string>& components)
{
    if (components.size() > MaxKeyDepth)
        return false;
    for (const std::string& name : components)
        if (name.size() > MaxKeyNameLength)
            return false;
    return true;
}
}

std::vector<std::string> SplitKeyPath(const std::string& key)
{
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= key.size()) {
        const size_t end = std::min(key.find('\\', start), key.size());
        if (end > start)
            components.push_back(key.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

TRegistry::TRegistry(THiveRoot rootKey) : root(rootKey) {}

bool TRegistry::OpenKey(const std::string& key, bool canCreate)
{
    CloseKey();
    const std::vector<std::string> components = SplitKeyPath(key);
    const std::string path = JoinKeyPath(components);
    int64_t id = 0;
    uint64_t serial = 0;
    HiveDatabase::Run(canCreate, [&](TConnection& connection) {
        id = connection.FindKey(root, path);
        if (id == 0 && canCreate && ValidKeyPath(components))
            id = connection.CreateKey(root, components);
        serial = connection.Serial();
        return id != 0;
    });
    if (id == 0)
        return false;
    open = true;
    currentPath = path;
    keyId = id;
    keySerial = serial;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key)
{
    if (!OpenKey(key, false))
        return false;
    readOnly = true;
    return true;
}

void TRegistry::CloseKey()
{
    open = false;
    readOnly = false;
    currentPath.clear();
    keyId = 0;
    keySerial = 0;
}

bool TRegistry::KeyExists(const std::string& key) const
{
    const std::string path = JoinKeyPath(SplitKeyPath(key));
    return HiveDatabase::Run(false, [&](TConnection& connection) { return connection.FindKey(root, path) != 0; });
}

bool TRegistry::CreateKey(const std::string& key)
{
    const std::vector<std::string> components = SplitKeyPath(key);
    if (!ValidKeyPath(components))
        return false;
    return HiveDatabase::Run(true, [&](TConnection& connection) {
        return connection.FindKey(root, JoinKeyPath(components)) != 0 || connection.CreateKey(root, components) != 0;
    });
}

bool TRegistry::DeleteKey(const std::string& key)
{
    const std::string path = JoinKeyPath(SplitKeyPath(key));
    if (path.empty())
        return false;
    return HiveDatabase::Run(true, [&](TConnection& connection) {
        const int64_t id = connection.FindKey(root, path);
        return id != 0 && connection.DeleteKey(id);
    });
}

int64_t TRegistry::OpenKeyId(TConnection& connection) const
{
    if (!open)
        return 0;
    if (keySerial != connection.Serial()) {
        keyId = connection.FindKey(root, currentPath);
        keySerial = connection.Serial();
    }
    return keyId;
}

std::vector<std::string> TRegistry::Names(bool subKeys) const
{
    std::vector<std::string> names;
    HiveDatabase::Run(false, [&](TConnection& connection) {
        if (const int64_t id = OpenKeyId(connection))
            names = subKeys ? connection.SubKeyNames(id) : connection.ValueNames(id);
        return true;
    });
    return names;
}

std::vector<std::string> TRegistry::GetKeyNames() const
{
    return Names(true);
}

std::vector<std::string> TRegistry::GetValueNames() const
{
    return Names(false);
}

std::optional<std::string> TRegValue::AsString() const
{
    return Type == REG_SZ || Type == REG_EXPAND_SZ ? std::optional(Bytes) : std::nullopt;
}

std::optional<uint32_t> TRegValue::AsDword() const
{
    return Type == REG_DWORD ? std::optional(Dword) : std::nullopt;
}

std::optional<int32_t> TRegValue::AsInteger() const
{
    return Type == REG_DWORD ? std::optional(int32_t(Dword)) : std::nullopt;
}

std::optional<std::string> TRegValue::AsBinary() const
{
    return Type == REG_BINARY ? std::optional(Bytes) : std::nullopt;
}

std::optional<TRegValue> TRegistry::ReadValue(const std::string& name) const
{
    std::optional<TRegValue> value;
    HiveDatabase::Run(false, [&](TConnection& connection) {
        if (const int64_t id = OpenKeyId(connection))
            value = connection.ReadValue(id, name);
        return value.has_value();
    });
    return value;
}

std::optional<TRegValue> TRegistry::ReadValueAt(const std::string& key, const std::string& name) const
{
    const std::string path = JoinKeyPath(SplitKeyPath(key));
    std::optional<TRegValue> value;
    HiveDatabase::Run(false, [&](TConnection& connection) {
        value = connection.ReadValueAt(root, path, name);
        return value.has_value();
    });
    return value;
}

bool TRegistry::ValueExists(const std::string& name) const
{
    return ReadValue(name).has_value();
}

TRegDataType TRegistry::GetDataType(const std::string& name) const
{
    const auto value = ReadValue(name);
    return value ? value->Type : REG_NONE;
}

bool TRegistry::DeleteValue(const std::string& name)
{
    if (readOnly)
        return false;
    return HiveDatabase::Run(true, [&](TConnection& connection) {
        const int64_t id = OpenKeyId(connection);
        return id != 0 && connection.DeleteValue(id, name);
    });
}

std::optional<std::string> TRegistry::ReadString(const std::string& name) const
{
    const auto value = ReadValue(name);
    return value ? value->AsString() : std::nullopt;
}

std::optional<uint32_t> TRegistry::ReadDword(const std::string& name) const
{
    const auto value = ReadValue(name);
    return value ? value->AsDword() : std::nullopt;
}

std::optional<int32_t> TRegistry::ReadInteger(const std::string& name) const
{
    const auto value = ReadValue(name);
    return value ? value->AsInteger() : std::nullopt;
}

std::optional<std::string> TRegistry::ReadBinaryData(const std::string& name) const
{
    const auto value = ReadValue(name);
    return value ? value->AsBinary() : std::nullopt;
}

bool TRegistry::Write(const TRegValue& value, const std::string& name)
{
    if (readOnly)
        return false;
    return HiveDatabase::Run(true, [&](TConnection& connection) {
        const int64_t id = OpenKeyId(connection);
        return id != 0 && connection.WriteValue(id, name, value);
    });
}

bool TRegistry::WriteString(const std::string& name, const std::string& value)
{
    return Write({REG_SZ, value, 0}, name);
}

bool TRegistry::WriteExpandString(const std::string& name, const std::string& value)
{
    return Write({REG_EXPAND_SZ, value, 0}, name);
}

bool TRegistry::WriteDword(const std::string& name, uint32_t value)
{
    return Write({REG_DWORD, {}, value}, name);
}

bool TRegistry::WriteInteger(const std::string& name, int32_t value)
{
    return WriteDword(name, uint32_t(value));
}

bool TRegistry::WriteBinaryData(const std::string& name, const std::string& bytes)
{
    return Write({REG_BINARY, bytes, 0}, name);
}
