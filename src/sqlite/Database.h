#pragma once
// One open database file for the length of a call, through the library binding: loaded,
// opened, and closed and unloaded whatever way the call ends. The schema's creation and the
// maintenance copy, query and transfer share it; the backend keeps its own handle, which
// lives across calls.
#include <cstdint>
#include <filesystem>
#include <string>

#include "QuillData/sqlite/clsSqlLite.h"

namespace QuillData::sqlite_detail {

// The library's result codes, declared here once for the whole library.
constexpr int32_t kSqliteOk = 0;
constexpr int32_t kSqliteCorrupt = 11;
constexpr int32_t kSqliteNotADb = 26;
constexpr int32_t kSqliteRow = 100;
constexpr int32_t kSqliteDone = 101;
// The storage class of a value (sqlite3_column_type).
constexpr int32_t kSqliteInteger = 1;
constexpr int32_t kSqliteFloat = 2;
constexpr int32_t kSqliteText = 3;
constexpr int32_t kSqliteBlob = 4;
constexpr int32_t kSqliteNull = 5;

class SqliteFile {
 public:
  enum class Open {
    Existing,  // never created; read-only when the file is, with a busy timeout
    Create,    // created when missing
  };
  // `source` names the caller in the errors raised.
  SqliteFile(const std::wstring& libraryFolder, const std::filesystem::path& file,
             std::wstring source, Open how = Open::Existing);
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;
  ~SqliteFile();

  clsSqlLite& Lib() { return sqlite_; }
  intptr_t Db() const { return db_; }
  const std::wstring& Source() const { return source_; }

  void Exec(const std::wstring& sql);
  // Undoes the open transaction, if any, keeping the failure that led here: never throws.
  void Rollback() noexcept;
  // The library's last error on this database as a QuillError (StatementError).
  [[noreturn]] void Fail();

 private:
  void Close() noexcept;

  clsSqlLite sqlite_;
  intptr_t db_ = 0;
  std::wstring source_;
};

// A prepared statement, finalized when it goes.
class SqliteStatement {
 public:
  explicit SqliteStatement(SqliteFile& file) : file_(file) {}
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  ~SqliteStatement() {
    if (handle != 0) file_.Lib().sqlite3_finalize(handle);
  }
  intptr_t handle = 0;

 private:
  SqliteFile& file_;
};

}  // namespace QuillData::sqlite_detail
