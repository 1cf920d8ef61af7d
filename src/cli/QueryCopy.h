#pragma once
// The maintenance commands: `quilldata query` (any SQL text on an embedded database or a
// server, the rows as JSON or as a table), `quilldata copy` (a consistent copy of an embedded
// database) and `quilldata detach-copy` (a server database's files copied under a new name).
//
// query prints {"recordCount": n, "columns": ["name", ...], "rows": [[value, ...], ...]}: a
// row is an array in column order, since a statement may name two columns alike
// ("SELECT 1 a, 2 a"). Values are encoded as everywhere else (Json.h).
#include <ostream>
#include <string>

#include "cli/Json.h"

namespace QuillData::ado {
class Recordset;
}

namespace QuillData::cli {

// The rows from the recordset's first row on (it is moved to its first row first).
Json RecordsetToJson(ado::Recordset& rows);
// The rows as an aligned table followed by "(n records)"; a statement without result
// columns prints only its count.
void PrintRecordset(std::ostream& out, ado::Recordset& rows, size_t width = 120);

struct QuerySettings {
  std::string db;         // an embedded database file (must exist)
  std::string server;     // or a connection string
  std::string sqliteLib;  // folder holding libsqlite3.so.0; empty: the library's default
  std::string sql;
  bool table = false;  // a table for people instead of JSON
};
// Exit codes: 0 the rows were printed, 1 the SQL or the connection failed, 2 bad usage or
// a database file that does not exist.
int RunQuery(const QuerySettings& settings, std::ostream& out, std::ostream& err);

struct CopySettings {
  std::string source;
  std::string destination;
  std::string sqliteLib;
};
// Exit codes: 0 copied, 1 the copy failed, 2 refused (the destination exists, its folder
// does not, the source is missing or no database): nothing was written.
int RunCopy(const CopySettings& settings, std::ostream& out, std::ostream& err);

struct DetachCopySettings {
  std::string serverName;
  std::string login;  // empty: the operating system's identity
  std::string password;
  std::string database;
  std::string newName;  // the copies' file name without extension, beside the originals
};
// Exit codes: 0 the copy was made, 1 a failure was reported, 2 bad usage (nothing was
// touched).
int RunDetachCopy(const DetachCopySettings& settings, std::ostream& out, std::ostream& err);

}  // namespace QuillData::cli
