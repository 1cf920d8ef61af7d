#pragma once
// The embedded database's schema and sample data, compiled into the library, and a helper
// that creates a database file from them.
//
//   QuillData::CreateDatabase("parts.db", /*withSample=*/true);  // false: it was there
//   auto db = std::make_shared<QuillData::clsQuillData_SqlLite>();
//   db->OpenDB(trace, errors, {L"", L"parts.db", L"0"});
#include <filesystem>
#include <string>
#include <string_view>

#include "QuillData/Export.h"

QUILLDATA_API_BEGIN

namespace QuillData {

// Every table and index of the database (schema/sqlite.sql), as UTF-8 SQL text.
QUILLDATA_API std::string_view SqliteSchemaSql();
// A small data set touching every table (schema/sample.sql), as UTF-8 SQL text.
QUILLDATA_API std::string_view SqliteSampleSql();

// Creates the schema (and the sample rows) in the database file `db`, which is created when
// missing, in one transaction, and returns true. A database that already holds every table
// of the schema is left as it is (no sample rows are added either) and the answer is false,
// so a program may call this on every start. The library is loaded from `libraryFolder` as
// OpenDB does (empty: this component's folder, then the system's search path). On failure
// nothing is left half-done and a QuillError is raised: number StatementError, source
// "CreateDatabase", the library's message ("file is not a database") or, for a database that
// holds only some of the schema's tables, a sentence saying so.
QUILLDATA_API bool CreateDatabase(const std::filesystem::path& db, bool withSample,
                                  const std::wstring& libraryFolder = L"");

}  // namespace QuillData

QUILLDATA_API_END
