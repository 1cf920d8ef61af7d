#include "QuillData/sqlite/Schema.h"

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

 private:
  [[noreturn]] void Fail() {
    throw QuillError(ErrNo::StatementError, kSource, sqlite_.sqlite3_errmsg(db_));
  }

  clsSqlLite sqlite_;
  intptr_t db_ = 0;
};

}  // namespace

void CreateDatabase(const std::filesystem::path& db, bool withSample,
                    const std::wstring& libraryFolder) {
  Session session(libraryFolder, db);
  session.Exec("BEGIN");
  try {
    session.Exec(SqliteSchemaSql());
    if (withSample) session.Exec(SqliteSampleSql());
    session.Exec("COMMIT");
  } catch (...) {
    session.Rollback();
    throw;
  }
}

}  // namespace QuillData
