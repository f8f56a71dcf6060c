#pragma once
#include "platform/registry/HiveDatabase.h"

#include <memory>
#include <string>

namespace HiveDatabase {

// SQLITE_CORRUPT or SQLITE_NOTADB: the file is damaged or not a hive at all.
bool IsDamage(int rc);

// Opens (creating when missing) the hive file at path, owner-only, in WAL mode with a
// busy timeout, with its schema in place. A damaged file is renamed aside (never
// deleted), reported once on stderr, and a fresh hive is started in its place. Null,
// with reason set, when no hive can be opened there.
std::unique_ptr<TConnection> OpenHiveFile(const std::string& path, std::string& reason);

}
