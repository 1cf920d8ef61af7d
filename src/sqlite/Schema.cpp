#include "QuillData/sqlite/Schema.h"

#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "sqlite/Database.h"
#include "sqlite/SchemaTables.h"

namespace QuillData {

namespace {

using sqlite_detail::Database;
using sqlite_detail::Statement;

constexpr const wchar_t* kSource = L"CreateDatabase";

// The first column of each row of a query.
template <class T>
std::vector<T> Column(const Database& file, const std::wstring& sql) {
  Statement stmt = file.Prepare(sql);
  std::vector<T> values;
  while (stmt.Step()) {
    if constexpr (std::is_same_v<T, std::wstring>) {
      values.push_back(stmt.Text(0));
    } else {
      values.push_back(stmt.Int64(0));
    }
  }
  return values;
}

int64_t Number(const Database& file, const std::wstring& sql) {
  const auto values = Column<int64_t>(file, sql);
  return values.empty() ? 0 : values.front();
}

// The tables a script creates.
std::set<std::wstring> CreatedTables(std::string_view sql) {
  constexpr std::string_view kCreate = "CREATE TABLE ";
  std::set<std::wstring> found;
  for (size_t at = sql.find(kCreate); at != std::string_view::npos; at = sql.find(kCreate, at)) {
    at += kCreate.size();
    const size_t end = sql.find_first_of(" (\n", at);
    found.insert(FromUtf8(sql.substr(at, end - at)));
  }
  return found;
}

// The tables a database of `version` holds: the schema's, but for those a later upgrade adds.
std::set<std::wstring> TablesOf(const SchemaScripts& scripts, int32_t version) {
  std::set<std::wstring> tables = CreatedTables(scripts.full);
  for (const SchemaStep& step : scripts.upgrades)
    if (step.version > version)
      for (const std::wstring& added : CreatedTables(step.sql)) tables.erase(added);
  return tables;
}

std::set<std::wstring> PresentTables(const Database& file) {
  const auto names =
      Column<std::wstring>(file, L"SELECT name FROM sqlite_master WHERE type = 'table'");
  return {names.begin(), names.end()};
}

void RecordVersion(const Database& file, int32_t version) {
  file.Exec(L"PRAGMA user_version = " + std::to_wstring(version));
}

}  // namespace

namespace sqlite_detail {

const std::set<std::wstring>& SchemaTables() {
  static const std::set<std::wstring> names = CreatedTables(SqliteSchemaSql());
  return names;
}

int32_t FileVersion(const Database& file, const SchemaScripts& scripts) {
  if (const int64_t recorded = Number(file, L"PRAGMA user_version"); recorded != 0)
    return static_cast<int32_t>(recorded);
  const std::set<std::wstring> present = PresentTables(file);
  bool any = false;
  for (const std::wstring& table : CreatedTables(scripts.full)) any = any || present.count(table);
  if (!any) return 0;
  // Made before versions were recorded: version 2 brought AUTOINCREMENT.
  return Number(file,
                L"SELECT count(*) FROM sqlite_master WHERE type = 'table' AND sql LIKE "
                L"'%AUTOINCREMENT%'") > 0
             ? 2
             : 1;
}

int32_t BringToVersion(const Database& file, const SchemaScripts& scripts) {
  const int32_t version = FileVersion(file, scripts);
  if (version == 0) {
    file.Exec(FromUtf8(scripts.full));
    RecordVersion(file, scripts.version);
    return 0;
  }
  if (version > scripts.version)
    throw QuillError(ErrNo::InvalidFileFormat, std::wstring(file.Source()),
                     NewerSchema(version, scripts.version) + L"; it is left as it is");
  const std::set<std::wstring> present = PresentTables(file);
  const std::set<std::wstring> schema = TablesOf(scripts, version);
  size_t found = 0;
  std::wstring missing;
  for (const std::wstring& table : schema) {
    if (present.count(table)) {
      ++found;
    } else if (missing.empty()) {
      missing = table;
    }
  }
  if (found != schema.size())
    throw QuillError(ErrNo::StatementError, std::wstring(file.Source()),
                     L"The database holds " + std::to_wstring(found) + L" of the schema's " +
                         std::to_wstring(schema.size()) + L" tables (" + missing +
                         L" is missing); it is left as it is")
        .WithKind(ErrorKind::RefusedArgument);
  for (const SchemaStep& step : scripts.upgrades) {
    if (step.version <= version) continue;
    try {
      file.Exec(FromUtf8(step.sql));
    } catch (const QuillError& e) {
      throw e.Described(L"The upgrade of the database to version " + std::to_wstring(step.version) +
                        L" of the schema failed, so it is left as it was: " + e.Description());
    }
    RecordVersion(file, step.version);
  }
  return version;
}

}  // namespace sqlite_detail

bool CreateDatabase(const std::filesystem::path& db, bool withSample,
                    const std::wstring& libraryFolder) {
  Database session(libraryFolder, db, kSource, Database::Open::Create);
  session.Exec(L"BEGIN IMMEDIATE");
  try {
    // Looked at inside the transaction, so that two creators cannot both find it empty.
    const int32_t held = sqlite_detail::BringToVersion(session);
    if (held == 0 && withSample) session.Exec(FromUtf8(SqliteSampleSql()));
    session.Exec(L"COMMIT");
    return held == 0;
  } catch (...) {
    session.Rollback();
    throw;
  }
}

int32_t SqliteSchemaVersion(const std::filesystem::path& db, const std::wstring& libraryFolder) {
  Database session(libraryFolder, db, kSource);
  session.Exec(L"BEGIN");
  try {
    const int32_t version = sqlite_detail::FileVersion(session);
    session.Rollback();
    return version;
  } catch (...) {
    session.Rollback();
    throw;
  }
}

}  // namespace QuillData
