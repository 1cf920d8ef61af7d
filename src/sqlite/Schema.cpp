#include "QuillData/sqlite/Schema.h"

#include <set>
#include <string>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "sqlite/SchemaTables.h"
#include "sqlite/SqliteFile.h"

namespace QuillData {

namespace {

constexpr const wchar_t* kSource = L"CreateDatabase";

// The names of the tables the database holds.
std::set<std::wstring> Tables(sqlite_detail::SqliteFile& file) {
  sqlite_detail::SqliteStatement stmt(file);
  intptr_t tail = 0;
  if (file.Lib().sqlite3_prepare_v2(file.Db(),
                                    L"SELECT name FROM sqlite_master WHERE type = 'table'", 0,
                                    stmt.handle, tail) != 0)
    file.Fail();
  std::set<std::wstring> names;
  int32_t rc = 0;
  while ((rc = file.Lib().sqlite3_step(stmt.handle)) == sqlite_detail::kSqliteRow)
    names.insert(file.Lib().sqlite3_column_text(stmt.handle, 0));
  if (rc != sqlite_detail::kSqliteDone) file.Fail();
  return names;
}

}  // namespace

namespace sqlite_detail {

const std::set<std::wstring>& SchemaTables() {
  static const std::set<std::wstring> names = [] {
    constexpr std::string_view kCreate = "CREATE TABLE ";
    const std::string_view sql = SqliteSchemaSql();
    std::set<std::wstring> found;
    for (size_t at = sql.find(kCreate); at != std::string_view::npos; at = sql.find(kCreate, at)) {
      at += kCreate.size();
      const size_t end = sql.find_first_of(" (\n", at);
      found.insert(FromUtf8(sql.substr(at, end - at)));
    }
    return found;
  }();
  return names;
}

}  // namespace sqlite_detail

bool CreateDatabase(const std::filesystem::path& db, bool withSample,
                    const std::wstring& libraryFolder) {
  sqlite_detail::SqliteFile session(libraryFolder, db, kSource,
                                    sqlite_detail::SqliteFile::Open::Create);
  session.Exec(L"BEGIN IMMEDIATE");
  try {
    // Looked at inside the transaction, so that two creators cannot both find it empty.
    const std::set<std::wstring> present = Tables(session);
    const std::set<std::wstring>& schema = sqlite_detail::SchemaTables();
    size_t found = 0;
    std::wstring missing;
    for (const std::wstring& table : schema) {
      if (present.count(table)) {
        ++found;
      } else if (missing.empty()) {
        missing = table;
      }
    }
    if (found == schema.size()) {
      session.Rollback();
      return false;
    }
    if (found != 0)
      throw QuillError(ErrNo::StatementError, kSource,
                       L"The database holds " + std::to_wstring(found) + L" of the schema's " +
                           std::to_wstring(schema.size()) + L" tables (" + missing +
                           L" is missing); it is left as it is");
    session.Exec(FromUtf8(SqliteSchemaSql()));
    if (withSample) session.Exec(FromUtf8(SqliteSampleSql()));
    session.Exec(L"COMMIT");
    return true;
  } catch (...) {
    session.Rollback();
    throw;
  }
}

}  // namespace QuillData
