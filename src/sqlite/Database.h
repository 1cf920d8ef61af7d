#pragma once
// The one wrapper over the binding: a connection (Database) and its prepared statements
// (Statement). The backend, the schema's creation and upgrade, and the maintenance copy,
// query and transfer all go through it. Whatever the library refuses is raised the same way:
// a statement error from the connection's source, with the library's message and its extended
// result code, which gives the error its kind.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "QuillData/sqlite/clsSqlLite.h"
#include "sqlite/SqliteApi.h"

namespace QuillData::sqlite_detail {

class Database;

// A prepared statement, finalized when it goes, which must be before its connection closes
// (the library closes no connection with a statement open). Movable, not copyable.
class Statement {
 public:
  Statement() = default;
  Statement(Statement&& other) noexcept { *this = std::move(other); }
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { Finalize(); }

  explicit operator bool() const { return stmt_ != nullptr; }

  // True with a row, false at the end (and for no statement at all). A failure (a busy or
  // damaged database) is raised: rows never go missing silently.
  bool Step() {
    if (stmt_ == nullptr) return false;
    const int rc = api_->step(stmt_);
    if (rc == kSqliteRow) return true;
    if (rc != kSqliteDone) Raise();
    return false;
  }
  // Steps to the end: a change, or a query whose rows nobody wants.
  void Run() {
    while (Step()) {
    }
  }
  // Makes the statement ready to run again and lets go of what it read. Its result repeats
  // the last step's, which was raised already.
  void Reset() noexcept {
    if (stmt_ != nullptr) api_->reset(stmt_);
  }
  void Finalize() noexcept;

  // The binders (iParam from 1) raise what the library refuses. The library copies text and
  // bytes before they return; with `copy` false it keeps the address instead, and the text
  // must stay as it is until the statement has run and is reset or bound again.
  void BindInt64(int32_t iParam, int64_t value);
  void BindReal(int32_t iParam, double value);
  void BindText(int32_t iParam, std::string_view utf8, bool copy = true);
  void BindBytes(int32_t iParam, std::string_view bytes);
  void BindNull(int32_t iParam);

  // The current row's columns (from 0). Utf8 is valid until the next step, reset or
  // finalize; for a blob it is the blob's bytes as they are.
  int32_t Type(int32_t col) const { return api_->column_type(stmt_, col); }
  int64_t Int64(int32_t col) const { return api_->column_int64(stmt_, col); }
  double Real(int32_t col) const { return api_->column_double(stmt_, col); }
  std::string_view Utf8(int32_t col) const {
    const auto* text = reinterpret_cast<const char*>(api_->column_text(stmt_, col));
    if (text == nullptr) return {};
    return {text, static_cast<size_t>(api_->column_bytes(stmt_, col))};
  }
  // The column as wide text, zero bytes inside it kept.
  std::wstring Text(int32_t col) const;
  int32_t Columns() const { return api_->column_count(stmt_); }
  std::wstring Name(int32_t col) const;
  // How many times the library has prepared the statement again by itself after a schema
  // change; -1 when it cannot say.
  int32_t Reprepares() const;

 private:
  friend class Database;
  Statement(const Database& db, const clsSqlLite::Api& api, void* stmt)
      : db_(&db), api_(&api), stmt_(stmt) {}
  // The connection's error; also for a binder's failure, which the library records there.
  [[noreturn]] void Raise() const;
  void Check(int rc) const {
    if (rc != kSqliteOk) Raise();
  }

  const Database* db_ = nullptr;
  const clsSqlLite::Api* api_ = nullptr;
  void* stmt_ = nullptr;
};

class Database {
 public:
  enum class Open {
    Existing,  // never created; read-only when the file is
    Create,    // created when missing
  };
  // A connection for the length of a call: loads the library from `libraryFolder` (empty:
  // this component's folder, then the system's search path) and opens `file`; closes and
  // unloads them whatever way the call ends. `source` (a literal) names the caller in the
  // errors raised.
  Database(const std::wstring& libraryFolder, const std::filesystem::path& file,
           std::wstring_view source, Open how = Open::Existing);
  // A connection made later with Load and Connect (the backend's, which lives across calls).
  Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  ~Database();

  // Loads the library from `folder` into the binding, made now when there is none; false
  // when it cannot be loaded or does not initialize (Message says why).
  bool Load(const std::wstring& folder);
  // Opens `file` with sqlite3_open_v2's `flags` and sets the busy policy; false when the
  // library is not loaded or refuses (Message says why). A failed open leaves a handle,
  // which Close releases.
  bool Connect(const std::wstring& file, int32_t flags);
  // Closes the connection; its statements must be gone (finalized) first.
  void Close() noexcept;
  // Closes, then shuts the library down (when it was loaded) and lets go of the binding.
  void Unload() noexcept;

  // Prepares the first statement of `sql`; raises the library's error when it does not
  // compile. `used` receives how many bytes of `sql` the statement took (the rest holds the
  // next ones); the statement is empty when only blanks or comments were left.
  Statement Prepare(std::string_view sql, size_t* used = nullptr) const;
  Statement Prepare(std::wstring_view sql) const;
  // Runs one or more statements; raises the library's error.
  void Exec(std::wstring_view sql) const;
  // The same, reporting nothing: false when it failed.
  bool TryExec(std::wstring_view sql) const noexcept;
  // Undoes the open transaction, if any, keeping the failure that led here: never throws.
  void Rollback() const noexcept;

  // False while a transaction is open. A library that is not loaded answers false as well,
  // and the next statement fails as any would.
  bool Autocommit() const;
  // The rows the last INSERT, UPDATE or DELETE changed.
  int32_t Changes() const;

  // What the library says of the last failure on this connection, or why the library is
  // not there.
  std::wstring Message() const;
  // The library's extended result code of that failure (SQLITE_ERROR while not loaded).
  int32_t ExtendedCode() const;
  // The last failure as a QuillError (StatementError) from Source(): Message, ExtendedCode.
  [[noreturn]] void Raise() const;

  // Whom the errors name; the backend names each operation while it runs (a literal, or text
  // that outlives the operation).
  std::wstring_view Source() const { return source_; }
  void SetSource(std::wstring_view source) { source_ = source; }

  bool Ready() const { return Api() != nullptr; }
  bool Connected() const { return db_ != 0; }
  const std::shared_ptr<clsSqlLite>& Binding() const { return binding_; }
  intptr_t Handle() const { return db_; }

 private:
  const clsSqlLite::Api* Api() const { return binding_ ? clsSqlLite::Api::Of(*binding_) : nullptr; }

  std::shared_ptr<clsSqlLite> binding_;
  intptr_t db_ = 0;
  std::wstring_view source_;
};

}  // namespace QuillData::sqlite_detail
