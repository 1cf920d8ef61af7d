#include "sqlite/Operation.h"

#include <variant>

#include "QuillData/contract/Error.h"

namespace QuillData::sqlite_detail {

namespace {

// A writer's unit inside a transaction.
constexpr const wchar_t* kSavepoint = L"SAVEPOINT quilldata_unit";
constexpr const wchar_t* kRelease = L"RELEASE quilldata_unit";
constexpr const wchar_t* kRollbackTo = L"ROLLBACK TO quilldata_unit";

constexpr size_t kMostKept = 256;

QuillError TransactionEnded(std::wstring_view procedure, std::wstring description) {
  return QuillError(ErrNo::StatementError, std::wstring(procedure), std::move(description))
      .WithKind(ErrorKind::TransactionAborted);
}
constexpr const wchar_t* kEnded =
    L"the database rolled the transaction back by itself: nothing done since BeginTrans is "
    L"committed, and nothing more will be until it is ended with RollbackTrans";

// Resets a kept statement when it goes out of scope, so that it holds no lock between calls.
class Resetting {
 public:
  explicit Resetting(Statement& stmt) : stmt_(stmt) {}
  ~Resetting() { stmt_.Reset(); }
  Resetting(const Resetting&) = delete;
  Resetting& operator=(const Resetting&) = delete;

 private:
  Statement& stmt_;
};

// Binds the statement's values to its parameters, in order; raises what the library refuses.
// `copy` false: `sql` outlives the statement's run, which the text then need not be copied
// for (every parameter is bound again before the statement runs again).
void BindValues(Statement& stmt, const SqlText& sql, bool copy) {
  int32_t i = 0;
  for (const BoundValue& value : sql.Values()) {
    ++i;
    if (const auto* whole = std::get_if<int64_t>(&value)) {
      stmt.BindInt64(i, *whole);
    } else if (const auto* real = std::get_if<double>(&value)) {
      stmt.BindReal(i, *real);
    } else {
      stmt.BindText(i, std::get<std::string>(value), copy);
    }
  }
}

std::wstring QuotedName(const std::wstring& name) {
  std::wstring out = L"\"";
  for (wchar_t c : name) {
    out += c;
    if (c == L'"') out += L'"';
  }
  return out + L"\"";
}

// True when a column declared with `type` turns number text into a number: the declared
// type's affinity, by the library's rules in their order, is INTEGER, REAL or NUMERIC.
bool NumericAffinity(std::wstring type) {
  for (wchar_t& c : type) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  auto has = [&](const wchar_t* part) { return type.find(part) != std::wstring::npos; };
  if (has(L"INT")) return true;
  if (has(L"CHAR") || has(L"CLOB") || has(L"TEXT")) return false;
  if (has(L"BLOB") || type.empty()) return false;
  return true;  // REAL, FLOA, DOUB, or anything else: NUMERIC
}

}  // namespace

Operation::Operation(clsQuillData_SqlLite& db, std::wstring_view procedure, TrapOptions options)
    : db_(clsQuillData_SqlLite::Impl::Of(db)),
      procedure_(procedure),
      outerSource_(db_.db.Source()),
      nested_(db_.unitOpen || db_.probing),
      trap_(L"clsQuillData_SqlLite", procedure_,
            nested_ ? TrapOptions{.reportFailures = false} : options) {
  db_.db.SetSource(procedure_);
}

Operation::~Operation() {
  EndUnit();
  Finalize();
  db_.db.SetSource(outerSource_);
}

bool Operation::InTransaction() const {
  return db_.db.Connected() && !db_.db.Autocommit();
}

void Operation::BeginUnit() {
  Database& db = Connection();
  CheckUnit();
  // A transaction is open on this connection (the library not loaded answers so as well, and
  // the unit's first statement then fails as any would).
  if (!db.Autocommit()) {
    unit_ = Unit::Savepoint;
    db_.unitPending = true;
  } else {
    static const SqlText begin(L"BEGIN IMMEDIATE");
    Exec(begin);
    unit_ = Unit::Transaction;
  }
  db_.unitOpen = true;
  db_.unitWrote = false;
}

void Operation::CommitUnit() {
  static const SqlText release(kRelease);
  static const SqlText commit(L"COMMIT");
  Finalize();
  if (unit_ == Unit::Transaction) {
    Exec(commit);
  } else if (!db_.unitPending) {
    Exec(release);
  }
  unit_ = Unit::None;
  db_.unitOpen = false;
  db_.unitWrote = false;
  db_.unitPending = false;
}

bool Operation::EndUnit() noexcept {
  if (unit_ == Unit::None) return false;
  const Unit unit = unit_;
  unit_ = Unit::None;
  const bool undone = db_.unitWrote;
  const bool taken = !db_.unitPending;
  db_.unitOpen = false;
  db_.unitWrote = false;
  db_.unitPending = false;
  if (!taken) return undone;  // a savepoint never taken: nothing changed
  try {
    Finalize();
    const Database& db = Connection();
    // Nothing to undo when the library has rolled the transaction back itself.
    if (db.Autocommit()) return undone;
    if (unit == Unit::Savepoint) {
      db.TryExec(kRollbackTo);
      db.TryExec(kRelease);
    } else {
      db.Rollback();
    }
  } catch (...) {
    // The failure that led here is the one being reported.
  }
  return undone;
}

void Operation::RethrowUnitFailure() {
  const bool ended = db_.inTrans && db_.db.Connected() && db_.db.Autocommit();
  try {
    throw;
  } catch (const QuillError& e) {
    if (!ended || e.Kind() == ErrorKind::TransactionAborted) throw;
    // The cause stays in the text and in the store's code; the kind says what the host must do.
    QuillError aborted = e.Described(e.Description() + L"; " + kEnded);
    throw aborted.WithKind(ErrorKind::TransactionAborted);
  }
}

void Operation::CheckUnit() {
  if (!db_.unitOpen && !db_.inTrans) return;
  if (!Connection().Autocommit()) return;
  if (db_.inTrans) {
    throw TransactionEnded(procedure_,
                           L"An earlier failure ended the transaction: " + std::wstring(kEnded));
  }
  RaiseStatementError(L"the writer's unit was rolled back by the database after a failure");
}

void Operation::RaiseStatementError() {
  Connection().Raise();
}

void Operation::RaiseStatementError(const std::wstring& description) {
  throw QuillError(ErrNo::StatementError, std::wstring(procedure_), description);
}

Statement& Operation::Kept(const SqlText& sql) {
  const Database& db = Connection();
  CheckUnit();
  auto& kept = db_.keptStatements;
  auto found = kept.find(sql.Text());
  if (found == kept.end()) {
    Statement made = db.Prepare(sql.Text());
    // The shapes are few (one or two per writer); a limit keeps an unforeseen many from
    // growing without end.
    if (kept.size() >= kMostKept) db_.FinalizeKeptStatements();
    found = kept.emplace(sql.Text(), std::move(made)).first;
  }
  BindValues(found->second, sql, false);
  return found->second;
}

void Operation::RunKept(Statement& stmt) {
  Resetting reset(stmt);
  stmt.Run();
}

void Operation::Exec(const SqlText& sql) {
  if (db_.probing) throw NeedsWriteLock{};
  if (db_.unitPending) {
    // The unit's first change: its savepoint now.
    static const SqlText savepoint(kSavepoint);
    RunKept(Kept(savepoint));
    db_.unitPending = false;
  }
  RunKept(Kept(sql));
  if (db_.unitOpen) db_.unitWrote = true;
}

void Operation::Prepare(const SqlText& sql) {
  Finalize();
  db_.slot = PrepareOwn(sql.Text());
  // The slot is stepped after `sql` is gone: its text is copied.
  BindValues(db_.slot, sql, true);
}

Statement Operation::PrepareOwn(const std::wstring& sql) {
  CheckUnit();
  return Connection().Prepare(sql);
}

bool Operation::Insert(const SqlText& sql) {
  Exec(sql);
  return Connection().Changes() > 0;
}

bool Operation::Step() {
  return db_.slot.Step();
}

void Operation::Finalize() {
  db_.slot.Finalize();
}

std::optional<int32_t> Operation::QueryInt(const SqlText& sql) {
  Statement& stmt = Kept(sql);
  std::optional<int64_t> value;
  {
    Resetting reset(stmt);
    if (stmt.Step()) value = stmt.Int64(0);
  }
  if (!value) return std::nullopt;
  if (*value < INT32_MIN || *value > INT32_MAX) throw QuillError(ErrNo::Overflow);
  return static_cast<int32_t>(*value);
}

Column Operation::CheckedColumn(std::wstring_view table, const std::wstring& column) {
  Prepare(SqlText(L"SELECT name, type FROM pragma_table_info('")
          << std::wstring(table) << L"') WHERE name = '" << column << L"' COLLATE NOCASE");
  bool found = Step();
  std::wstring name = found ? db_.slot.Text(0) : std::wstring();
  std::wstring type = found ? db_.slot.Text(1) : std::wstring();
  Finalize();
  if (!found) RaiseStatementError(L"no such column: " + column);
  return {Name{QuotedName(name)}, NumericAffinity(std::move(type))};
}

Name Operation::CheckedTable(const std::wstring& table) {
  Prepare(SqlText(L"SELECT name FROM sqlite_schema WHERE type = 'table' AND name = '")
          << table << L"' COLLATE NOCASE");
  bool found = Step();
  std::wstring name = found ? db_.slot.Text(0) : std::wstring();
  Finalize();
  if (!found) RaiseStatementError(L"no such table: " + table);
  return Name{QuotedName(name)};
}

}  // namespace QuillData::sqlite_detail
