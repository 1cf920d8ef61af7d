#include "sqlite/SqliteFile.h"

#include <utility>

#include "QuillData/contract/Error.h"

namespace QuillData::sqlite_detail {

namespace {
constexpr int32_t kOpenReadWrite = 0x2;  // SQLITE_OPEN_READWRITE
constexpr int32_t kOpenCreate = 0x4;     // SQLITE_OPEN_CREATE
}  // namespace

SqliteFile::SqliteFile(const std::wstring& libraryFolder, const std::filesystem::path& file,
                       std::wstring source, Open how)
    : source_(std::move(source)) {
  if (sqlite_.sqlite3_initialize(libraryFolder) != 0 || !sqlite_.Initialized()) {
    const std::wstring why = sqlite_.LoadError();
    throw QuillError(ErrNo::StatementError, source_,
                     L"Cannot load the SQLite library" + (why.empty() ? L"" : L": " + why))
        .WithKind(ErrorKind::NotFound);
  }
  try {
    // A read-only file opens read-only: a copy or a query need not write it.
    const int32_t flags = kOpenReadWrite | (how == Open::Create ? kOpenCreate : 0);
    if (sqlite_.sqlite3_open_v2(file.wstring(), db_, flags, L"") != 0) Fail();
    // A writer's commit in progress is waited for instead of failing at once.
    Exec(L"PRAGMA busy_timeout=5000");
  } catch (...) {
    Close();  // a failed open still holds a handle
    throw;
  }
}

SqliteFile::~SqliteFile() {
  Close();
}

void SqliteFile::Close() noexcept {
  try {
    if (db_ != 0) sqlite_.sqlite3_close(db_);
    db_ = 0;
    if (sqlite_.Loaded()) sqlite_.sqlite3_shutdown();
  } catch (...) {
    // Closing releases; a failure here has nobody left to report to.
  }
}

void SqliteFile::Exec(const std::wstring& sql) {
  if (sqlite_.sqlite3_exec(db_, sql) != 0) Fail();
}

void SqliteFile::Rollback() noexcept {
  try {
    sqlite_.sqlite3_exec(db_, L"ROLLBACK");
  } catch (...) {
    // The failure that led here is the one to report.
  }
}

void SqliteFile::Fail() {
  throw QuillError(ErrNo::StatementError, source_, sqlite_.sqlite3_errmsg(db_))
      .WithSqliteCode(sqlite_.sqlite3_extended_errcode(db_));
}

}  // namespace QuillData::sqlite_detail
