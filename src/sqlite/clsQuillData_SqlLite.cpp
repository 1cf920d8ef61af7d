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
#include "sqlite/Backend.h"
#include "sqlite/ConnLayout.h"
#include "sqlite/Operation.h"
#include "sqlite/SchemaTables.h"

namespace QuillData {

using sqlite_detail::Database;
using sqlite_detail::SqlText;
using sqlite_detail::Statement;

namespace {

thread_local clsQuillData_SqlLite::MessageHook gDefaultMessageHook;

// The first table of the schema in the file that has no rowid (declared WITHOUT ROWID), or
// nothing. An insert into such a table leaves the connection's last rowid as it was, so a
// writer would return another row's identifier.
std::optional<std::wstring> TableWithoutRowid(const Database& db) {
  std::set<std::wstring> present;
  Statement tables = db.Prepare(L"SELECT name FROM sqlite_schema WHERE type = 'table'");
  while (tables.Step()) present.insert(tables.Text(0));
  for (const std::wstring& table : sqlite_detail::SchemaTables()) {
    if (!present.count(table)) continue;
    try {
      db.Prepare(L"SELECT rowid FROM \"" + table + L"\"");
    } catch (const QuillError&) {
      return table;
    }
  }
  return std::nullopt;
}

}  // namespace

clsQuillData_SqlLite::clsQuillData_SqlLite() : m_impl(std::make_unique<Impl>()) {
#define QUILLDATA_OPERATION(Result, Name, Params, Args) \
  QUILLDATA_REQUIRE_OVERRIDE(clsQuillData_SqlLite, Name)
#include "QuillData/contract/Operations.inc"
  ReadDecimalSeparator();
}

clsQuillData_SqlLite::~clsQuillData_SqlLite() {
  try {
    const bool tracing = TracingOn() && gSP;
    if (tracing) gSP->TraceEnter(L"Class_Terminate", L"clsQuillData");
    if (m_impl->db.Binding()) {
      m_impl->CloseConnection();
      m_impl->db.Unload();
    }
    m_impl->base.reset();
    if (tracing && gSP) gSP->TraceExit(L"Class_Terminate");
  } catch (...) {
    // A teardown has no trap and must not throw.
  }
}

void clsQuillData_SqlLite::Impl::CloseConnection() noexcept {
  FinalizeReaderStatements();
  FinalizeKeptStatements();
  slot.Finalize();
  db.Close();
  inTrans = unitOpen = unitWrote = unitPending = false;
}

void clsQuillData_SqlLite::Impl::FinalizeKeptStatements() noexcept {
  keptStatements.clear();
}

ConnectionPtr clsQuillData_SqlLite::Conn() const {
  return m_impl->base->Conn();
}

void clsQuillData_SqlLite::Conn(const ConnectionPtr& vData) {
  m_impl->base->Conn(vData);
}

void clsQuillData_SqlLite::SetMessageHook(MessageHook hook) {
  m_impl->messageHook = std::move(hook);
}

void clsQuillData_SqlLite::SetDefaultMessageHook(MessageHook hook) {
  gDefaultMessageHook = std::move(hook);
}

const std::shared_ptr<clsSqlLite>& clsQuillData_SqlLite::Sqlite() const {
  return m_impl->db.Binding();
}

intptr_t clsQuillData_SqlLite::DatabaseHandle() const {
  return m_impl->db.Handle();
}

void clsQuillData_SqlLite::Impl::ShowMessage(const std::wstring& text) const {
  if (messageHook) {
    messageHook(text);
  } else if (gDefaultMessageHook) {
    gDefaultMessageHook(text);
  } else {
    std::cerr << ToUtf8(text) << std::endl;
  }
}

Database& clsQuillData_SqlLite::Impl::Connection() {
  if (!db.Binding()) throw QuillError(ErrNo::ObjectNotSet);
  if (!db.Connected() && !notOpen.empty()) {
    throw QuillError(ErrNo::StatementError, L"QuillData", L"The database is not open: " + notOpen)
        .WithKind(ErrorKind::Unsupported);
  }
  return db;
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
      Impl& impl = *m_impl;
      Database& db = impl.db;
      // A second open replaces the first database; its handle would otherwise leak.
      impl.CloseConnection();
      impl.notOpen.clear();
      db.SetSource(L"clsQuillData_OpenDB");

      // Why the store did not open is shown, and reported to the error companion as well, so
      // that a host without a screen can act on it.
      auto fail = [&] {
        const bool fromLibrary = db.Ready();
        const std::wstring text = db.Message();
        impl.ShowMessage(text);
        QuillError e(fromLibrary ? ErrNo::StatementError : ErrNo::DllNotLoaded,
                     L"clsQuillData_OpenDB", fromLibrary ? text + L": " + path : text);
        if (fromLibrary) e.WithSqliteCode(db.ExtendedCode());
        throw e;
      };
      if (!db.Load(folder)) fail();
      // Read and write, without the connection's own mutex: the connection never leaves this
      // object, which one thread uses at a time. A missing file is not created: a mistyped
      // path would otherwise open a new, empty database, and every call would fail later.
      if (!db.Connect(path, sqlite_detail::kOpenReadWrite | sqlite_detail::kOpenNoMutex)) fail();
      // The library reads the file only when it first needs to: read its schema now, so that
      // a file that is not a database ("file is not a database") fails here, not at the first
      // operation. An empty file is an empty database.
      if (!db.TryExec(L"SELECT 1 FROM sqlite_schema LIMIT 1")) fail();
      if (auto table = TableWithoutRowid(db)) {
        impl.notOpen = L"its table " + *table +
                       L" is declared WITHOUT ROWID: an insert into it could not read its new "
                       L"row's identifier. Copy the table into one with a rowid first";
        const std::wstring text = L"The database cannot be used: " + impl.notOpen;
        impl.ShowMessage(text);
        db.Close();
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
      if (m_impl->inTrans) {
        throw QuillError(ErrNo::InvalidProcedureCall, op.Procedure(),
                         L"A transaction is open already: transactions do not nest");
      }
      op.Exec(SqlText(L"BEGIN IMMEDIATE"));
      m_impl->inTrans = true;
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
      if (!m_impl->inTrans) {
        throw QuillError(ErrNo::InvalidProcedureCall, op.Procedure(),
                         L"No transaction is open: BeginTrans first");
      }
      op.Exec(SqlText(L"COMMIT"));
      m_impl->inTrans = false;
      committed = true;
    });
  });
  // Whatever the companion answered, a commit that did not happen ends as nothing committed.
  if (m_impl->inTrans) RollbackTrans();
  return committed;
}

void clsQuillData_SqlLite::RollbackTrans() {
  if (!m_impl->inTrans) return;
  m_impl->inTrans = false;
  const Database& db = m_impl->db;
  if (!db.Binding() || !db.Connected()) return;
  // Nothing to undo when the database ended the transaction itself.
  if (db.Autocommit()) return;
  sqlite_detail::Operation op(*this, L"clsQuillData_RollbackTrans");
  op.Run([&](Trap& t) { t.Step([&] { op.Exec(SqlText(L"ROLLBACK")); }); });
}

bool clsQuillData_SqlLite::InTransaction() const {
  return m_impl->inTrans;
}

}  // namespace QuillData
