#pragma once
// The embedded schema's tables, and its versions: what the file records, and the upgrade of
// an older file, inside the caller's write transaction.
#include <cstdint>
#include <set>
#include <string>

#include "contract/SchemaScripts.h"
#include "sqlite/Database.h"

namespace QuillData::sqlite_detail {

// schema/sqlite.sql and schema/sqlite/, as compiled in.
const SchemaScripts& ShippedSchema();
// Every table schema/sqlite.sql creates.
const std::set<std::wstring>& SchemaTables();

// The version the file holds: the one it records, else, for a file made before versions were
// recorded, the one its tables tell; 0 when it holds none of the schema's tables.
int32_t FileVersion(const Database& file, const SchemaScripts& scripts = ShippedSchema());

// Brings the file to the scripts' version inside the caller's write transaction: creates the
// schema where the file holds none of its tables, runs the upgrades above the version it
// holds. Refuses a newer version and a file that lacks tables of its version, and names the
// upgrade that failed. Returns the version the file held (0: created).
int32_t BringToVersion(const Database& file, const SchemaScripts& scripts = ShippedSchema());

}  // namespace QuillData::sqlite_detail
