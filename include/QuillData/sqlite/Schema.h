#pragma once
// The embedded database's schema, its upgrades and sample data, compiled into the library,
// and a helper that creates a database file from them or upgrades an older one.
//
//   QuillData::CreateDatabase("parts.db", /*withSample=*/true);  // false: it was there
//   auto db = std::make_shared<QuillData::clsQuillData_SqlLite>();
//   db->OpenDB(trace, errors, {L"", L"parts.db", L"0"});
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "QuillData/Config.h"
#include "QuillData/Export.h"

QUILLDATA_API_BEGIN

namespace QuillData {

// Every table and index of the database (schema/sqlite.sql), as UTF-8 SQL text.
QUILLDATA_API std::string_view SqliteSchemaSql();
// A small data set touching every table (schema/sample.sql), as UTF-8 SQL text.
QUILLDATA_API std::string_view SqliteSampleSql();

// The version of the schema that CreateDatabase creates, and up to which it upgrades an older
// file. The file records its version in its header (PRAGMA user_version); a file made before
// versions were recorded is version 1 when its identity columns are plain INTEGER PRIMARY KEY
// (identifiers could come back after a delete), version 2 when they are AUTOINCREMENT.
inline constexpr int32_t kSqliteSchemaVersion = QUILLDATA_SQLITE_SCHEMA_VERSION;

// Creates the schema (and the sample rows) in the database file `db`, which is created when
// missing, in one transaction, and returns true. A database that already holds the schema is
// not created again and the answer is false, so a program may call this on every start: one
// of the current version is left as it is (no sample rows are added either), one of an older
// version is upgraded in one transaction by the numbered scripts (schema/sqlite/), its rows
// kept. The library is loaded from `libraryFolder` as OpenDB does (empty: this component's
// folder, then the system's search path). On failure nothing is left half-done and a
// QuillError (source "CreateDatabase") is raised: number StatementError with the library's
// message ("file is not a database"), or for a database that holds only some of the schema's
// tables a sentence saying so (ErrorKind::RefusedArgument), or for an upgrade that failed the
// script's message; number InvalidFileFormat for a database of a newer version than
// kSqliteSchemaVersion, which this library does not know.
QUILLDATA_API bool CreateDatabase(const std::filesystem::path& db, bool withSample,
                                  const std::wstring& libraryFolder = L"");

// The schema version the database file `db` holds (as CreateDatabase finds it), read without
// changing the file: 0 when it holds none of the schema's tables. A file that cannot be
// opened or read raises StatementError with the library's message.
QUILLDATA_API int32_t SqliteSchemaVersion(const std::filesystem::path& db,
                                          const std::wstring& libraryFolder = L"");

}  // namespace QuillData

QUILLDATA_API_END
