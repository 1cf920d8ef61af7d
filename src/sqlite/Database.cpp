#include "sqlite/Database.h"

#include <utility>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"

namespace QuillData::sqlite_detail {

namespace {

// How long a statement waits for another connection's lock before it fails with "database
// is locked": long enough for any one write of this component, short enough to report a
// stuck lock.
constexpr int32_t kBusyTimeoutMs = 5000;

// The text of a message when the library has none to give (it is not loaded).
std::wstring NotLoadedText(const clsSqlLite* binding) {
  if (binding != nullptr && !binding->LoadError().empty()) {
    return L"Cannot load the SQLite library: " + binding->LoadError();
  }
  if (binding != nullptr && binding->Loaded()) return L"The SQLite library did not initialize";
  return L"The SQLite library is not loaded";
}

}  // namespace

// ---- Statement

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    Finalize();
    db_ = std::exchange(other.db_, nullptr);
    api_ = std::exchange(other.api_, nullptr);
    stmt_ = std::exchange(other.stmt_, nullptr);
  }
  return *this;
}

void Statement::Finalize() noexcept {
  if (stmt_ == nullptr) return;
  // A library shut down meanwhile has taken its statements with it.
  if (api_->finalize != nullptr) api_->finalize(stmt_);
  stmt_ = nullptr;
}

void Statement::Raise() const {
  db_->Raise();
}

void Statement::BindInt64(int32_t iParam, int64_t value) {
  Check(api_->bind_int64(stmt_, iParam, value));
}

void Statement::BindReal(int32_t iParam, double value) {
  Check(api_->bind_double(stmt_, iParam, value));
}

void Statement::BindText(int32_t iParam, std::string_view utf8, bool copy) {
  Check(api_->bind_text(stmt_, iParam, utf8.data(), static_cast<int>(utf8.size()),
                        copy ? kTransient : nullptr));
}

void Statement::BindBytes(int32_t iParam, std::string_view bytes) {
  // A zero-length blob needs an address: a null one would bind NULL.
  Check(api_->bind_blob(stmt_, iParam, bytes.data() ? bytes.data() : "",
                        static_cast<int>(bytes.size()), kTransient));
}

void Statement::BindNull(int32_t iParam) {
  Check(api_->bind_null(stmt_, iParam));
}

std::wstring Statement::Text(int32_t col) const {
  return FromUtf8(Utf8(col));
}

std::wstring Statement::Name(int32_t col) const {
  const char* name = api_->column_name(stmt_, col);
  return name == nullptr ? std::wstring() : FromUtf8(name);
}

int32_t Statement::Reprepares() const {
  if (api_->stmt_status == nullptr) return -1;
  return api_->stmt_status(stmt_, kStmtStatusReprepare, 0);
}

// ---- Database

Database::Database(const std::wstring& libraryFolder, const std::filesystem::path& file,
                   std::wstring_view source, Open how)
    : source_(source) {
  if (!Load(libraryFolder)) {
    const std::wstring why = binding_->LoadError();
    throw QuillError(ErrNo::StatementError, std::wstring(source_),
                     L"Cannot load the SQLite library" + (why.empty() ? L"" : L": " + why))
        .WithKind(ErrorKind::NotFound);
  }
  try {
    if (!Connect(file.wstring(), kOpenReadWrite | (how == Open::Create ? kOpenCreate : 0))) {
      Raise();
    }
  } catch (...) {
    Unload();  // a failed open still holds a handle
    throw;
  }
}

Database::~Database() {
  Unload();
}

bool Database::Load(const std::wstring& folder) {
  if (!binding_) binding_ = std::make_shared<clsSqlLite>();
  return binding_->sqlite3_initialize(folder) == 0 && Ready();
}

bool Database::Connect(const std::wstring& file, int32_t flags) {
  if (!Ready()) return false;
  if (binding_->sqlite3_open_v2(file, db_, flags, L"") != kSqliteOk) return false;
  // The one busy policy of every connection this component makes: a statement that meets
  // another connection's lock waits for it, trying again about every millisecond rather
  // than with the library's own timeout, which backs off to 100 ms between tries. A process
  // that writes in a loop releases its lock only for moments, and a waiter that sleeps long
  // misses every one of them.
  return binding_->SetBusyTimeout(db_, kBusyTimeoutMs) == kSqliteOk;
}

void Database::Close() noexcept {
  try {
    if (db_ != 0 && binding_) binding_->sqlite3_close(db_);  // an open transaction ends rolled back
  } catch (...) {
    // Closing releases; a failure here has nobody left to report to.
  }
  db_ = 0;
}

void Database::Unload() noexcept {
  Close();
  try {
    if (binding_ && binding_->Loaded()) binding_->sqlite3_shutdown();
  } catch (...) {
    // As Close.
  }
  binding_.reset();
}

Statement Database::Prepare(std::string_view sql, size_t* used) const {
  const clsSqlLite::Api* api = Api();
  if (api == nullptr) Raise();
  void* stmt = nullptr;
  const char* tail = nullptr;
  if (api->prepare_v2(Ptr(db_), sql.data(), static_cast<int>(sql.size()), &stmt, &tail) !=
      kSqliteOk) {
    Raise();
  }
  if (used != nullptr)
    *used = tail != nullptr ? static_cast<size_t>(tail - sql.data()) : sql.size();
  return Statement(*this, *api, stmt);
}

Statement Database::Prepare(std::wstring_view sql) const {
  return Prepare(ToUtf8(sql));
}

void Database::Exec(std::wstring_view sql) const {
  if (!TryExec(sql)) Raise();
}

bool Database::TryExec(std::wstring_view sql) const noexcept {
  const clsSqlLite::Api* api = Api();
  if (api == nullptr) return false;
  try {
    const std::string text = ToUtf8(sql);
    return api->exec(Ptr(db_), text.c_str(), nullptr, nullptr, nullptr) == kSqliteOk;
  } catch (...) {
    return false;
  }
}

void Database::Rollback() const noexcept {
  TryExec(L"ROLLBACK");
}

bool Database::Autocommit() const {
  const clsSqlLite::Api* api = Api();
  return api != nullptr && api->get_autocommit(Ptr(db_)) != 0;
}

int32_t Database::Changes() const {
  const clsSqlLite::Api* api = Api();
  return api != nullptr ? api->changes(Ptr(db_)) : 0;
}

std::wstring Database::Message() const {
  const clsSqlLite::Api* api = Api();
  if (api == nullptr) return NotLoadedText(binding_.get());
  const char* message = api->errmsg(Ptr(db_));
  return message == nullptr ? std::wstring() : FromUtf8(message);
}

int32_t Database::ExtendedCode() const {
  const clsSqlLite::Api* api = Api();
  return api != nullptr ? api->extended_errcode(Ptr(db_)) : 1;
}

void Database::Raise() const {
  throw QuillError(ErrNo::StatementError, std::wstring(source_), Message())
      .WithSqliteCode(ExtendedCode());
}

}  // namespace QuillData::sqlite_detail
