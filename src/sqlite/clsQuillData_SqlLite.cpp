// The frame of the SQLite backend: creation and teardown, OpenDB, Conn, and the statement
// steps every operation is built from.
#include "QuillData/sqlite/clsQuillData_SqlLite.h"

#include <iostream>
#include <optional>
#include <set>

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

namespace {

thread_local clsQuillData_SqlLite::MessageHook gDefaultMessageHook;

constexpr int32_t kOpenReadWrite = 0x2;
constexpr int32_t kOpenNoMutex = 0x8000;
// How long a statement waits for another connection's lock before it fails with "database is
// locked": long enough for any one write of this component, short enough to report a stuck
// lock.
constexpr int32_t kBusyTimeoutMs = 5000;
constexpr const wchar_t* kSavepoint = L"quilldata_unit";

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
  if (m_lngStmt != 0) sqlite.sqlite3_finalize(m_lngStmt);
  m_lngStmt = 0;
  sqlite.sqlite3_close(m_lngDb);  // an open transaction ends rolled back
  m_lngDb = 0;
  m_inTrans = m_unitOpen = m_unitWrote = false;
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
        if (m_lngStmt != 0) sqlite.sqlite3_finalize(m_lngStmt);
        m_lngStmt = 0;
        sqlite.sqlite3_close(m_lngDb);
      }
      m_lngDb = 0;
      m_lngStmt = 0;
      m_inTrans = m_unitOpen = m_unitWrote = false;
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
      op.Exec(L"BEGIN IMMEDIATE");
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
      op.Exec(L"COMMIT");
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
  op.Run([&](Trap& t) { t.Step([&] { op.Exec(L"ROLLBACK"); }); });
}

bool clsQuillData_SqlLite::InTransaction() const {
  return m_inTrans;
}

namespace sqlite_detail {

Operation::Operation(clsQuillData_SqlLite& db, std::wstring procedure, TrapOptions options)
    : db_(db),
      procedure_(std::move(procedure)),
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

void Operation::BeginUnit() {
  clsSqlLite& sqlite = Binding();
  CheckUnit();
  // 0: a transaction is open on this connection (the library not loaded answers 0 as well, and
  // the statement below then fails as any would).
  if (sqlite.sqlite3_get_autocommit(db_.m_lngDb) == 0) {
    Exec(std::wstring(L"SAVEPOINT ") + kSavepoint);
    unit_ = Unit::Savepoint;
  } else {
    Exec(L"BEGIN IMMEDIATE");
    unit_ = Unit::Transaction;
  }
  db_.m_unitOpen = true;
  db_.m_unitWrote = false;
}

void Operation::CommitUnit() {
  Finalize();
  Exec(unit_ == Unit::Savepoint ? std::wstring(L"RELEASE ") + kSavepoint : L"COMMIT");
  unit_ = Unit::None;
  db_.m_unitOpen = false;
  db_.m_unitWrote = false;
}

bool Operation::EndUnit() noexcept {
  if (unit_ == Unit::None) return false;
  const Unit unit = unit_;
  unit_ = Unit::None;
  const bool undone = db_.m_unitWrote;
  db_.m_unitOpen = false;
  db_.m_unitWrote = false;
  try {
    Finalize();
    clsSqlLite& sqlite = Binding();
    // Nothing to undo when the library has rolled the transaction back itself.
    if (sqlite.sqlite3_get_autocommit(db_.m_lngDb) != 0) return undone;
    if (unit == Unit::Savepoint) {
      sqlite.sqlite3_exec(db_.m_lngDb, std::wstring(L"ROLLBACK TO ") + kSavepoint);
      sqlite.sqlite3_exec(db_.m_lngDb, std::wstring(L"RELEASE ") + kSavepoint);
    } else {
      sqlite.sqlite3_exec(db_.m_lngDb, L"ROLLBACK");
    }
  } catch (...) {
    // The failure that led here is the one being reported.
  }
  return undone;
}

namespace {
QuillError TransactionEnded(const std::wstring& procedure, std::wstring description) {
  return QuillError(ErrNo::StatementError, procedure, std::move(description))
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
  throw QuillError(ErrNo::StatementError, procedure_, message)
      .WithSqliteCode(sqlite.sqlite3_extended_errcode(db_.m_lngDb));
}

void Operation::RaiseStatementError(const std::wstring& description) {
  throw QuillError(ErrNo::StatementError, procedure_, description);
}

void Operation::Exec(const std::wstring& sql) {
  if (db_.m_probing) throw NeedsWriteLock{};
  CheckUnit();
  if (Binding().sqlite3_exec(db_.m_lngDb, sql) != kSqliteOk) RaiseStatementError();
  if (db_.m_unitOpen) db_.m_unitWrote = true;
}

void Operation::Prepare(const std::wstring& sql) {
  Finalize();
  db_.m_lngStmt = PrepareOwn(sql);
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

bool Operation::Insert(const std::wstring& sql) {
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

std::optional<int32_t> Operation::QueryInt(const std::wstring& sql) {
  Prepare(sql);
  std::optional<int64_t> value;
  if (Step()) value = Binding().ColumnInt64(db_.m_lngStmt, 0);
  Finalize();
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
}  // namespace

Name Operation::CheckedColumn(std::wstring_view table, const std::wstring& column) {
  Prepare(SqlText(L"SELECT name FROM pragma_table_info('")
          << std::wstring(table) << L"') WHERE name = '" << column << L"' COLLATE NOCASE");
  bool found = Step();
  std::wstring name = found ? Binding().sqlite3_column_text(db_.m_lngStmt, 0) : std::wstring();
  Finalize();
  if (!found) RaiseStatementError(L"no such column: " + column);
  return Name{QuotedName(name)};
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
