#include "QuillData/sqlite/Schema.h"

#include <set>
#include <string>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "QuillData/sqlite/clsSqlLite.h"

namespace QuillData {

namespace {

constexpr const wchar_t* kSource = L"CreateDatabase";

// One open database for the length of a call; closed whatever way the call ends.
class Session {
 public:
  Session(const std::wstring& folder, const std::filesystem::path& file) {
    if (sqlite_.sqlite3_initialize(folder) != 0 || !sqlite_.Initialized()) {
      std::wstring why = sqlite_.LoadError();
      throw QuillError(ErrNo::StatementError, kSource,
                       L"Cannot load the SQLite library" + (why.empty() ? L"" : L": " + why));
    }
    if (sqlite_.OpenDB(file.wstring(), db_) != 0) Fail();
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session() {
    try {
      sqlite_.sqlite3_close(db_);
      sqlite_.sqlite3_shutdown();
    } catch (...) {
      // Closing releases; a failure here has nobody left to report to.
    }
  }

  void Exec(std::string_view sql) {
    if (sqlite_.sqlite3_exec(db_, FromUtf8(sql)) != 0) Fail();
  }
  // Undoes the open transaction, keeping the message of the failure that led here.
  void Rollback() { sqlite_.sqlite3_exec(db_, L"ROLLBACK"); }

  // The names of the tables the database holds.
  std::set<std::wstring> Tables() {
    intptr_t stmt = 0, tail = 0;
    if (sqlite_.sqlite3_prepare_v2(db_, L"SELECT name FROM sqlite_master WHERE type = 'table'", 0,
                                   stmt, tail) != 0)
      Fail();
    std::set<std::wstring> names;
    int32_t rc = 0;
    while ((rc = sqlite_.sqlite3_step(stmt)) == kRow)
      names.insert(sqlite_.sqlite3_column_text(stmt, 0));
    sqlite_.sqlite3_finalize(stmt);
    if (rc != kDone) Fail();
    return names;
  }

 private:
  static constexpr int32_t kRow = 100, kDone = 101;

  [[noreturn]] void Fail() {
    throw QuillError(ErrNo::StatementError, kSource, sqlite_.sqlite3_errmsg(db_));
  }

  clsSqlLite sqlite_;
  intptr_t db_ = 0;
};

// The tables the schema creates, from its "CREATE TABLE name (" statements.
std::set<std::wstring> SchemaTables() {
  constexpr std::string_view kCreate = "CREATE TABLE ";
  const std::string_view sql = SqliteSchemaSql();
  std::set<std::wstring> names;
  for (size_t at = sql.find(kCreate); at != std::string_view::npos; at = sql.find(kCreate, at)) {
    at += kCreate.size();
    const size_t end = sql.find_first_of(" (\n", at);
    names.insert(FromUtf8(sql.substr(at, end - at)));
  }
  return names;
}

}  // namespace

bool CreateDatabase(const std::filesystem::path& db, bool withSample,
                    const std::wstring& libraryFolder) {
  Session session(libraryFolder, db);
  session.Exec("BEGIN IMMEDIATE");
  try {
    // Looked at inside the transaction, so that two creators cannot both find it empty.
    const std::set<std::wstring> present = session.Tables();
    const std::set<std::wstring> schema = SchemaTables();
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
    session.Exec(SqliteSchemaSql());
    if (withSample) session.Exec(SqliteSampleSql());
    session.Exec("COMMIT");
    return true;
  } catch (...) {
    session.Rollback();
    throw;
  }
}

}  // namespace QuillData
