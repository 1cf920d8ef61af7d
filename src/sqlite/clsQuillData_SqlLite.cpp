// The frame of the SQLite backend: creation and teardown, OpenDB, Conn, and the statement
// steps every operation is built from.
#include "QuillData/sqlite/clsQuillData_SqlLite.h"

#include <iostream>
#include <optional>
#include <set>
#include <variant>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Text.h"
#include "QuillData/sqlite/modMain.h"
#include "contract/EveryOperation.h"
#include "contract/ModuleText.h"
#include "contract/Trap.h"
#include "sqlite/ConnLayout.h"
#include "sqlite/Operation.h"
#include "sqlite/SchemaTables.h"

namespace QuillData {

using sqlite_detail::SqlText;

namespace {

thread_local clsQuillData_SqlLite::MessageHook gDefaultMessageHook;

constexpr int32_t kOpenReadWrite = 0x2;
constexpr int32_t kOpenNoMutex = 0x8000;
// How long a statement waits for another connection's lock before it fails with "database is
// locked": long enough for any one write of this component, short enough to report a stuck
// lock.
constexpr int32_t kBusyTimeoutMs = 5000;
// A writer's unit inside a transaction.
constexpr const wchar_t* kSavepoint = L"SAVEPOINT quilldata_unit";
constexpr const wchar_t* kRelease = L"RELEASE quilldata_unit";
constexpr const wchar_t* kRollbackTo = L"ROLLBACK TO quilldata_unit";

// The text of a message when the library has none to give (it is not loaded).
std::wstring NotLoadedText(const clsSqlLite& binding) {
  if (!binding.LoadError().empty()) {
    return L"Cannot load the SQLite library: " + binding.LoadError();
  }
  if (binding.Loaded()) return L"The SQLite library did not initialize";
  return L"The SQLite library is not loaded";
}

// The first table of the schema in the file that has no rowid (declared WITHOUT ROWID), or
// nothing. An insert into such a table leaves the connection's last rowid as it was, so a
// writer would return another row's identifier.
std::optional<std::wstring> TableWithoutRowid(clsSqlLite& sqlite, intptr_t db) {
  std::set<std::wstring> present;
  intptr_t stmt = 0, tail = 0;
  if (sqlite.sqlite3_prepare_v2(db, L"SELECT name FROM sqlite_schema WHERE type = 'table'", 0, stmt,
                                tail) == sqlite_detail::kSqliteOk) {
    while (sqlite.sqlite3_step(stmt) == sqlite_detail::kSqliteRow) {
      present.insert(sqlite.sqlite3_column_text(stmt, 0));
    }
  }
  sqlite.sqlite3_finalize(stmt);
  for (const std::wstring& table : sqlite_detail::SchemaTables()) {
    if (!present.count(table)) continue;
    stmt = 0;
    const int32_t rc =
        sqlite.sqlite3_prepare_v2(db, L"SELECT rowid FROM \"" + table + L"\"", 0, stmt, tail);
    sqlite.sqlite3_finalize(stmt);
    if (rc != sqlite_detail::kSqliteOk) return table;
  }
  return std::nullopt;
}

}  // namespace

clsQuillData_SqlLite::clsQuillData_SqlLite() : m_oBase(std::make_shared<clsQuillData>()) {
#define QUILLDATA_OPERATION(Result, Name, Params, Args) \
  QUILLDATA_REQUIRE_OVERRIDE(clsQuillData_SqlLite, Name)
#include "QuillData/contract/Operations.inc"
  ReadDecimalSeparator();
}

clsQuillData_SqlLite::~clsQuillData_SqlLite() {
  try {
    const bool tracing = TracingOn() && gSP;
    if (tracing) gSP->TraceEnter(L"Class_Terminate", L"clsQuillData");
    if (m_oSqlite) CloseDatabase();
    m_oBase.reset();
    if (tracing && gSP) gSP->TraceExit(L"Class_Terminate");
  } catch (...) {
    // A teardown has no trap and must not throw.
  }
}

void clsQuillData_SqlLite::CloseDatabase() {
  clsSqlLite& sqlite = *m_oSqlite;
  FinalizeReaderStatements();
  FinalizeKeptStatements();
  if (m_lngStmt != 0) sqlite.sqlite3_finalize(m_lngStmt);
  m_lngStmt = 0;
  sqlite.sqlite3_close(m_lngDb);  // an open transaction ends rolled back
  m_lngDb = 0;
  m_inTrans = m_unitOpen = m_unitWrote = m_unitPending = false;
  sqlite.sqlite3_shutdown();
  m_oSqlite.reset();
}

ConnectionPtr clsQuillData_SqlLite::Conn() const {
  return m_oBase->Conn();
}

void clsQuillData_SqlLite::Conn(const ConnectionPtr& vData) {
  m_oBase->Conn(vData);
}

void clsQuillData_SqlLite::SetDefaultMessageHook(MessageHook hook) {
  gDefaultMessageHook = std::move(hook);
}

void clsQuillData_SqlLite::ShowMessage(const std::wstring& text) const {
  if (m_messageHook) {
    m_messageHook(text);
  } else if (gDefaultMessageHook) {
    gDefaultMessageHook(text);
  } else {
    std::cerr << ToUtf8(text) << std::endl;
  }
}

clsSqlLite& clsQuillData_SqlLite::Binding() {
  if (!m_oSqlite) throw QuillError(ErrNo::ObjectNotSet);
  if (m_lngDb == 0 && !m_notOpen.empty()) {
    throw QuillError(ErrNo::StatementError, L"QuillData", L"The database is not open: " + m_notOpen)
        .WithKind(ErrorKind::Unsupported);
  }
  return *m_oSqlite;
}

bool clsQuillData_SqlLite::OpenDB(const std::shared_ptr<cSP>& cSP, const std::shared_ptr<cE>& cE,
                                  const std::vector<Variant>& ConnArgs) {
  bool result = false;
  Trap(L"clsQuillData", L"OpenDB", {.flag = 2}).Run([&](Trap& t) {
    gSP = cSP;
    gE = cE;

    std::wstring folder, path, trace;
    bool haveArgs = false;
    t.Step([&] {
      RequireConnArgs(sqlite_detail::kConnLayout, ConnArgs);
      folder = CStr(ConnArgs.at(0));
      path = CStr(ConnArgs.at(1));
      trace = CStr(ConnArgs.at(2));
      haveArgs = true;
    });
    if (!haveArgs) return;  // nothing sensible to open

    t.Step([&] {
      if (!m_oSqlite) m_oSqlite = std::make_shared<clsSqlLite>();
      clsSqlLite& sqlite = *m_oSqlite;
      // A second open replaces the first database; its handle would otherwise leak.
      if (m_lngDb != 0 && sqlite.Initialized()) {
        FinalizeReaderStatements();
        FinalizeKeptStatements();
        if (m_lngStmt != 0) sqlite.sqlite3_finalize(m_lngStmt);
        m_lngStmt = 0;
        sqlite.sqlite3_close(m_lngDb);
      }
      m_lngDb = 0;
      m_lngStmt = 0;
      m_keptStatements.clear();
      m_inTrans = m_unitOpen = m_unitWrote = m_unitPending = false;
      m_notOpen.clear();

      // Why the store did not open is shown, and reported to the error companion as well, so
      // that a host without a screen can act on it.
      auto fail = [&] {
        std::wstring text = sqlite.sqlite3_errmsg(m_lngDb);
        const bool fromLibrary = !text.empty();
        if (!fromLibrary) text = NotLoadedText(sqlite);
        ShowMessage(text);
        QuillError e(fromLibrary ? ErrNo::StatementError : ErrNo::DllNotLoaded,
                     L"clsQuillData_OpenDB", fromLibrary ? text + L": " + path : text);
        if (fromLibrary) e.WithSqliteCode(sqlite.sqlite3_extended_errcode(m_lngDb));
        throw e;
      };
      if (sqlite.sqlite3_initialize(folder) != 0) fail();
      // Read and write, without the connection's own mutex: the connection never leaves this
      // object, which one thread uses at a time. A missing file is not created: a mistyped
      // path would otherwise open a new, empty database, and every call would fail later.
      if (sqlite.sqlite3_open_v2(path, m_lngDb, kOpenReadWrite | kOpenNoMutex, L"") != 0) fail();
      // Writers from other processes wait for each other instead of failing at once.
      if (sqlite.SetBusyTimeout(m_lngDb, kBusyTimeoutMs) != 0) fail();
      // The library reads the file only when it first needs to: read its schema now, so that
      // a file that is not a database ("file is not a database") fails here, not at the first
      // operation. An empty file is an empty database.
      if (sqlite.sqlite3_exec(m_lngDb, L"SELECT 1 FROM sqlite_schema LIMIT 1") != 0) fail();
      if (auto table = TableWithoutRowid(sqlite, m_lngDb)) {
        m_notOpen = L"its table " + *table +
                    L" is declared WITHOUT ROWID: an insert into it could not read its new "
                    L"row's identifier. Copy the table into one with a rowid first";
        const std::wstring text = L"The database cannot be used: " + m_notOpen;
        ShowMessage(text);
        sqlite.sqlite3_close(m_lngDb);
        m_lngDb = 0;
        throw QuillError(ErrNo::StatementError, L"clsQuillData_OpenDB", text + L": " + path)
            .WithKind(ErrorKind::Unsupported);
      }
      gTraceFlag = trace;
      result = true;
    });
  });
  return result;
}

int32_t clsQuillData_SqlLite::BeginTrans() {
  int32_t level = 0;
  sqlite_detail::Operation op(*this, L"clsQuillData_BeginTrans");
  op.Run([&](Trap& t) {
    t.Step([&] {
      if (m_inTrans) {
        throw QuillError(ErrNo::InvalidProcedureCall, op.Procedure(),
                         L"A transaction is open already: transactions do not nest");
      }
      op.Exec(SqlText(L"BEGIN IMMEDIATE"));
      m_inTrans = true;
      level = 1;
    });
  });
  return level;
}

bool clsQuillData_SqlLite::CommitTrans() {
  bool committed = false;
  sqlite_detail::Operation op(*this, L"clsQuillData_CommitTrans");
  op.Run([&](Trap& t) {
    t.Step([&] {
      if (!m_inTrans) {
        throw QuillError(ErrNo::InvalidProcedureCall, op.Procedure(),
                         L"No transaction is open: BeginTrans first");
      }
      op.Exec(SqlText(L"COMMIT"));
      m_inTrans = false;
      committed = true;
    });
  });
  // Whatever the companion answered, a commit that did not happen ends as nothing committed.
  if (m_inTrans) RollbackTrans();
  return committed;
}

void clsQuillData_SqlLite::RollbackTrans() {
  if (!m_inTrans) return;
  m_inTrans = false;
  if (!m_oSqlite || m_lngDb == 0) return;
  // Nothing to undo when the database ended the transaction itself.
  if (m_oSqlite->sqlite3_get_autocommit(m_lngDb) != 0) return;
  sqlite_detail::Operation op(*this, L"clsQuillData_RollbackTrans");
  op.Run([&](Trap& t) { t.Step([&] { op.Exec(SqlText(L"ROLLBACK")); }); });
}

bool clsQuillData_SqlLite::InTransaction() const {
  return m_inTrans;
}

void clsQuillData_SqlLite::FinalizeKeptStatements() noexcept {
  for (const auto& [sql, stmt] : m_keptStatements) {
    if (m_oSqlite) m_oSqlite->sqlite3_finalize(stmt);
  }
  m_keptStatements.clear();
}

namespace sqlite_detail {

Operation::Operation(clsQuillData_SqlLite& db, std::wstring_view procedure, TrapOptions options)
    : db_(db),
      procedure_(procedure),
      nested_(db.m_unitOpen || db.m_probing),
      trap_(L"clsQuillData_SqlLite", procedure_,
            nested_ ? TrapOptions{.reportFailures = false} : options) {}

Operation::~Operation() {
  EndUnit();
  try {
    Finalize();
  } catch (...) {
    // Finalizing releases; there is nothing to report it to here.
  }
}

bool Operation::InTransaction() const {
  return db_.m_oSqlite && db_.m_lngDb != 0 &&
         db_.m_oSqlite->sqlite3_get_autocommit(db_.m_lngDb) == 0;
}

void Operation::BeginUnit() {
  clsSqlLite& sqlite = Binding();
  CheckUnit();
  // 0: a transaction is open on this connection (the library not loaded answers 0 as well, and
  // the unit's first statement then fails as any would).
  if (sqlite.sqlite3_get_autocommit(db_.m_lngDb) == 0) {
    unit_ = Unit::Savepoint;
    db_.m_unitPending = true;
  } else {
    static const SqlText begin(L"BEGIN IMMEDIATE");
    Exec(begin);
    unit_ = Unit::Transaction;
  }
  db_.m_unitOpen = true;
  db_.m_unitWrote = false;
}

void Operation::CommitUnit() {
  static const SqlText release(kRelease);
  static const SqlText commit(L"COMMIT");
  Finalize();
  if (unit_ == Unit::Transaction) {
    Exec(commit);
  } else if (!db_.m_unitPending) {
    Exec(release);
  }
  unit_ = Unit::None;
  db_.m_unitOpen = false;
  db_.m_unitWrote = false;
  db_.m_unitPending = false;
}

bool Operation::EndUnit() noexcept {
  if (unit_ == Unit::None) return false;
  const Unit unit = unit_;
  unit_ = Unit::None;
  const bool undone = db_.m_unitWrote;
  const bool taken = !db_.m_unitPending;
  db_.m_unitOpen = false;
  db_.m_unitWrote = false;
  db_.m_unitPending = false;
  if (!taken) return undone;  // a savepoint never taken: nothing changed
  try {
    Finalize();
    clsSqlLite& sqlite = Binding();
    // Nothing to undo when the library has rolled the transaction back itself.
    if (sqlite.sqlite3_get_autocommit(db_.m_lngDb) != 0) return undone;
    if (unit == Unit::Savepoint) {
      sqlite.sqlite3_exec(db_.m_lngDb, kRollbackTo);
      sqlite.sqlite3_exec(db_.m_lngDb, kRelease);
    } else {
      sqlite.sqlite3_exec(db_.m_lngDb, L"ROLLBACK");
    }
  } catch (...) {
    // The failure that led here is the one being reported.
  }
  return undone;
}

namespace {
QuillError TransactionEnded(std::wstring_view procedure, std::wstring description) {
  return QuillError(ErrNo::StatementError, std::wstring(procedure), std::move(description))
      .WithKind(ErrorKind::TransactionAborted);
}
constexpr const wchar_t* kEnded =
    L"the database rolled the transaction back by itself: nothing done since BeginTrans is "
    L"committed, and nothing more will be until it is ended with RollbackTrans";
}  // namespace

void Operation::RethrowUnitFailure() {
  const bool ended = db_.m_inTrans && db_.m_oSqlite && db_.m_lngDb != 0 &&
                     db_.m_oSqlite->sqlite3_get_autocommit(db_.m_lngDb) != 0;
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
  if (!db_.m_unitOpen && !db_.m_inTrans) return;
  if (Binding().sqlite3_get_autocommit(db_.m_lngDb) == 0) return;
  if (db_.m_inTrans) {
    throw TransactionEnded(procedure_,
                           L"An earlier failure ended the transaction: " + std::wstring(kEnded));
  }
  RaiseStatementError(L"the writer's unit was rolled back by the database after a failure");
}

void Operation::RaiseStatementError() {
  clsSqlLite& sqlite = Binding();
  std::wstring message = sqlite.sqlite3_errmsg(db_.m_lngDb);
  if (message.empty() && !sqlite.Initialized()) message = NotLoadedText(sqlite);
  throw QuillError(ErrNo::StatementError, std::wstring(procedure_), message)
      .WithSqliteCode(sqlite.sqlite3_extended_errcode(db_.m_lngDb));
}

void Operation::RaiseStatementError(const std::wstring& description) {
  throw QuillError(ErrNo::StatementError, std::wstring(procedure_), description);
}

namespace {

constexpr size_t kMostKept = 256;

// Resets a kept statement when it goes out of scope, so that it holds no lock between calls.
class Resetting {
 public:
  Resetting(clsSqlLite& sqlite, intptr_t stmt) : sqlite_(sqlite), stmt_(stmt) {}
  ~Resetting() { sqlite_.sqlite3_reset(stmt_); }
  Resetting(const Resetting&) = delete;
  Resetting& operator=(const Resetting&) = delete;

 private:
  clsSqlLite& sqlite_;
  intptr_t stmt_;
};

// Binds the statement's values to its parameters, in order; the library's result code.
// `copy` false: `sql` outlives the statement's run, which the text then need not be copied
// for (every parameter is bound again before the statement runs again).
int32_t BindValues(clsSqlLite& sqlite, intptr_t stmt, const SqlText& sql, bool copy) {
  int32_t i = 0;
  for (const BoundValue& value : sql.Values()) {
    ++i;
    int32_t rc = kSqliteOk;
    if (const auto* whole = std::get_if<int64_t>(&value)) {
      rc = sqlite.BindInt64(stmt, i, *whole);
    } else if (const auto* real = std::get_if<double>(&value)) {
      rc = sqlite.BindReal(stmt, i, *real);
    } else {
      rc = sqlite.BindUtf8(stmt, i, std::get<std::string>(value), copy);
    }
    if (rc != kSqliteOk) return rc;
  }
  return kSqliteOk;
}

}  // namespace

intptr_t Operation::Kept(const SqlText& sql) {
  clsSqlLite& sqlite = Binding();
  CheckUnit();
  auto& kept = db_.m_keptStatements;
  auto found = kept.find(sql.Text());
  intptr_t stmt = 0;
  if (found != kept.end()) {
    stmt = found->second;
  } else {
    intptr_t tail = 0;
    if (sqlite.sqlite3_prepare_v2(db_.m_lngDb, sql.Text(), 0, stmt, tail) != kSqliteOk) {
      RaiseStatementError();
    }
    // The shapes are few (one or two per writer); a limit keeps an unforeseen many from
    // growing without end.
    if (kept.size() >= kMostKept) db_.FinalizeKeptStatements();
    kept.emplace(sql.Text(), stmt);
  }
  if (BindValues(sqlite, stmt, sql, false) != kSqliteOk) RaiseStatementError();
  return stmt;
}

void Operation::RunKept(intptr_t stmt) {
  clsSqlLite& sqlite = Binding();
  Resetting reset(sqlite, stmt);
  int32_t rc = kSqliteRow;
  while (rc == kSqliteRow) rc = sqlite.sqlite3_step(stmt);
  if (rc != kSqliteDone) RaiseStatementError();
}

void Operation::Exec(const SqlText& sql) {
  if (db_.m_probing) throw NeedsWriteLock{};
  if (db_.m_unitPending) {
    // The unit's first change: its savepoint now.
    static const SqlText savepoint(kSavepoint);
    RunKept(Kept(savepoint));
    db_.m_unitPending = false;
  }
  RunKept(Kept(sql));
  if (db_.m_unitOpen) db_.m_unitWrote = true;
}

void Operation::Prepare(const SqlText& sql) {
  Finalize();
  db_.m_lngStmt = PrepareOwn(sql.Text());
  // The slot is stepped after `sql` is gone: its text is copied.
  if (BindValues(Binding(), db_.m_lngStmt, sql, true) != kSqliteOk) RaiseStatementError();
}

intptr_t Operation::PrepareOwn(const std::wstring& sql) {
  CheckUnit();
  intptr_t stmt = 0;
  intptr_t tail = 0;
  if (Binding().sqlite3_prepare_v2(db_.m_lngDb, sql, 0, stmt, tail) != kSqliteOk) {
    RaiseStatementError();
  }
  return stmt;
}

bool Operation::Insert(const SqlText& sql) {
  Exec(sql);
  return Binding().Changes(db_.m_lngDb) > 0;
}

bool Operation::Step() {
  return Step(db_.m_lngStmt);
}

bool Operation::Step(intptr_t stmt) {
  if (stmt == 0) return false;
  const int32_t rc = Binding().sqlite3_step(stmt);
  if (rc == kSqliteRow) return true;
  if (rc != kSqliteDone) RaiseStatementError();
  return false;
}

void Operation::Finalize() {
  if (db_.m_lngStmt == 0) return;
  intptr_t stmt = db_.m_lngStmt;
  db_.m_lngStmt = 0;
  if (db_.m_oSqlite) db_.m_oSqlite->sqlite3_finalize(stmt);
}

std::optional<int32_t> Operation::QueryInt(const SqlText& sql) {
  const intptr_t stmt = Kept(sql);
  std::optional<int64_t> value;
  {
    Resetting reset(Binding(), stmt);
    if (Step(stmt)) value = Binding().ColumnInt64(stmt, 0);
  }
  if (!value) return std::nullopt;
  if (*value < INT32_MIN || *value > INT32_MAX) throw QuillError(ErrNo::Overflow);
  return static_cast<int32_t>(*value);
}

namespace {
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

Column Operation::CheckedColumn(std::wstring_view table, const std::wstring& column) {
  Prepare(SqlText(L"SELECT name, type FROM pragma_table_info('")
          << std::wstring(table) << L"') WHERE name = '" << column << L"' COLLATE NOCASE");
  bool found = Step();
  std::wstring name = found ? Binding().sqlite3_column_text(db_.m_lngStmt, 0) : std::wstring();
  std::wstring type = found ? Binding().sqlite3_column_text(db_.m_lngStmt, 1) : std::wstring();
  Finalize();
  if (!found) RaiseStatementError(L"no such column: " + column);
  return {Name{QuotedName(name)}, NumericAffinity(std::move(type))};
}

Name Operation::CheckedTable(const std::wstring& table) {
  Prepare(SqlText(L"SELECT name FROM sqlite_schema WHERE type = 'table' AND name = '")
          << table << L"' COLLATE NOCASE");
  bool found = Step();
  std::wstring name = found ? Binding().sqlite3_column_text(db_.m_lngStmt, 0) : std::wstring();
  Finalize();
  if (!found) RaiseStatementError(L"no such table: " + table);
  return Name{QuotedName(name)};
}

}  // namespace sqlite_detail

}  // namespace QuillData
