#pragma once
// One operation of the SQLite backend: its error trap and the statement steps it is built
// from. The statement error carries the procedure's name as source, so an operation reads
// as a list of statements:
//
//   int32_t result = 0;
//   Operation op(*this, L"clsQuillData_DELMachining");
//   op.Run([&](Trap& t) {
//     t.Step([&] { op.Exec(SqlText(L" DELETE FROM Machining WHERE MachID = ") << MachID); });
//     t.Step([&] { op.Exec(SqlText(L" DELETE FROM MachVertical WHERE MachID = ") << MachID); });
//   });
//   return result;
//
// Whatever way the operation ends (normally, left by the error companion, or with an error
// reaching the caller), the statement slot is finalized.
//
// A writer whose look-up decides its write runs as one unit (RunAtomic). It first runs its
// look-up without any lock: a row that is there is returned at once, even while another
// connection holds the write lock. Only when it has to write does it run again, from the
// start, under BEGIN IMMEDIATE, which takes the database's write lock before the look-up, so
// that no other connection can write between the look-up and the write it decides; COMMIT
// ends it. A unit is never left open: when the operation leaves after a failure, goes on past
// a failed COMMIT, or lets an error reach the caller, it is rolled back. Retry re-runs the
// failed step inside the open unit.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "contract/Trap.h"
#include "sqlite/SqlText.h"
#include "sqlite/SqliteFile.h"

namespace QuillData::sqlite_detail {

class Operation {
 public:
  // `procedure` is also the source of the statement errors.
  Operation(clsQuillData_SqlLite& db, std::wstring procedure, TrapOptions options = {});
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;
  ~Operation();

  template <class Body>
  void Run(Body&& body) {
    trap_.Run(std::forward<Body>(body));
  }

  // Runs `body` in the trap as one unit (see above). A unit that could not begin writes
  // nothing, whatever the error companion answers other than retry: without the lock the
  // look-up would decide nothing for sure. When the rollback undoes a write, `result` is reset
  // to its empty value: the identifier it holds may name a row that is gone. Otherwise it
  // keeps what it held (an identifier found by the look-up still names its row).
  template <class Result, class Body>
  void RunAtomic(Result& result, Body&& body) {
    if (FoundWithoutLock(result, body)) return;
    if (RunUnit(body)) result = Result{};
  }
  template <class Body>
  void RunAtomic(Body&& body) {
    bool none = false;
    RunAtomic(none, body);
  }
  // The same unit for an operation without a trap: a failure rolls it back and reaches the
  // caller.
  template <class Fn>
  void Atomically(Fn&& fn) {
    if (FoundWithoutLock(fn)) return;
    BeginUnit();
    try {
      fn();
      CommitUnit();
    } catch (...) {
      EndUnit();
      throw;
    }
  }

  // Runs a change; raises the statement error on a result other than SQLITE_OK.
  void Exec(const std::wstring& sql);
  // Runs an INSERT; true when it wrote a row (a trigger may have refused it without an error).
  bool Insert(const std::wstring& sql);
  // Prepares a query into the statement slot (finalizing what it held); raises the
  // statement error on failure.
  void Prepare(const std::wstring& sql);
  // Steps the slot: true while it answers a row, false at the end; raises the statement error
  // when the library fails (a busy or damaged database): rows must not go missing silently.
  // An unprepared slot has no rows.
  bool Step();
  // Prepares a query into a statement of the caller's, who resets and finalizes it (the slot
  // stays as it is); raises the statement error on failure.
  intptr_t PrepareOwn(const std::wstring& sql);
  // Steps a statement of the caller's as Step steps the slot.
  bool Step(intptr_t stmt);
  // Finalizes the slot (nothing when it is empty).
  void Finalize();
  // Column 0 of the query's first row as a whole number, or nothing when it has no row; the
  // statement is finalized before this returns.
  std::optional<int32_t> QueryInt(const std::wstring& sql);
  // The rowid of the last insert on this connection.
  std::optional<int32_t> NewId() { return QueryInt(L" select last_insert_rowid() "); }
  // `column` as a name to put into a statement, once the live schema says that `table` has
  // it (letter case ignored); else the statement error "no such column: <column>".
  Name CheckedColumn(std::wstring_view table, const std::wstring& column);
  // `table` as a name to put into a statement, once the live schema has it.
  Name CheckedTable(const std::wstring& table);

  [[noreturn]] void RaiseStatementError();
  [[noreturn]] void RaiseStatementError(const std::wstring& description);

  clsSqlLite& Binding() { return db_.Binding(); }
  intptr_t Statement() const { return db_.m_lngStmt; }
  const std::wstring& Procedure() const { return procedure_; }

 private:
  enum class Unit { None, Transaction, Savepoint };

  // Thrown by a change while the operation looks up without the lock; it passes every trap.
  struct NeedsWriteLock : TrapPassThrough {};
  // Marks the connection as looking up without the lock while it lives.
  class Probing {
   public:
    explicit Probing(clsQuillData_SqlLite& db) : db_(db) { db_.m_probing = true; }
    ~Probing() { db_.m_probing = false; }
    Probing(const Probing&) = delete;
    Probing& operator=(const Probing&) = delete;

   private:
    clsQuillData_SqlLite& db_;
  };

  // Runs `body` once without any lock and without reporting failures: true when it ran to its
  // end without wanting to write (a found row), `result` holding what it found. A write, or
  // any failure, ends the try: `result` is put back, and the caller runs the unit under the
  // lock, where a failure is reported as usual.
  template <class Result, class Body>
  bool FoundWithoutLock(Result& result, Body& body) {
    const Result before = result;
    try {
      Probing probing(db_);
      Trap quiet(L"clsQuillData_SqlLite", procedure_, {.reportFailures = false});
      quiet.Run([&](Trap& t) { body(t); });
      Finalize();
      return true;
    } catch (...) {
      Finalize();
      result = before;
      return false;
    }
  }
  template <class Fn>
  bool FoundWithoutLock(Fn& fn) {
    try {
      Probing probing(db_);
      fn();
      Finalize();
      return true;
    } catch (...) {
      Finalize();
      return false;
    }
  }

  // True when the rollback undid a write.
  template <class Body>
  bool RunUnit(Body&& body) {
    try {
      trap_.Run([&](Trap& t) {
        bool begun = false;
        t.Step([&] {
          BeginUnit();
          begun = true;
        });
        if (!begun) return;
        body(t);
        t.Step([&] { CommitUnit(); });
      });
    } catch (...) {
      EndUnit();
      throw;
    }
    return EndUnit();
  }
  // BEGIN IMMEDIATE; inside a transaction the host opened on this connection, a savepoint, so
  // that the host's transaction decides and a failure undoes only this operation.
  void BeginUnit();
  void CommitUnit();
  // Rolls an open unit back; true when a write of it was undone.
  bool EndUnit() noexcept;
  // Raises the statement error when the library has rolled the open unit, or the host's
  // transaction, back by itself (after a full disk or an I/O error): a statement run now
  // would run outside it and be committed on its own.
  void CheckUnit();

  clsQuillData_SqlLite& db_;
  std::wstring procedure_;
  Trap trap_;
  Unit unit_ = Unit::None;
  bool wrote_ = false;  // a change ran inside the open unit
};

}  // namespace QuillData::sqlite_detail
