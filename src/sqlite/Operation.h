#pragma once
// One operation of the SQLite backend: its error trap and the statement steps it is built
// from. The statement error carries the procedure's name as source, so an operation reads
// as a list of statements:
//
//   int32_t result = 0;
//   Operation op(*this, L"clsQuillData_DELMachining");
//   op.RunWriter([&](Trap& t) {
//     t.Step([&] { op.Exec(SqlText(L" DELETE FROM Machining WHERE MachID = ") << MachID); });
//     t.Step([&] { op.Exec(SqlText(L" DELETE FROM MachVertical WHERE MachID = ") << MachID); });
//   });
//   return result;
//
// Whatever way the operation ends (normally, left by the error companion, or with an error
// reaching the caller), the statement slot is finalized.
//
// A writer whose look-up decides its write runs as one unit (RunAtomic). Outside a
// transaction it first runs its look-up without any lock: a row that is there is returned at
// once, even while another connection holds the write lock. Only when it has to write does it
// run again, from the start, under BEGIN IMMEDIATE, which takes the database's write lock
// before the look-up, so that no other connection can write between the look-up and the
// write it decides; COMMIT ends it. Inside a transaction (the host's) nothing can change
// between the two runs, so the unit runs once, as a savepoint taken at its first change.
//
// To the error companion a unit is one statement. A failure anywhere in it rolls it back
// before the companion is asked, so the companion (and any operation it calls) finds the
// database as it was before the writer began, and the writer's work is never half there:
// retry runs the whole unit again from its start (also after the database rolled it back by
// itself, on a full disk or an I/O error), continue goes on after it with nothing written,
// and leave leaves. A refused argument is reported before any lock is taken.
//
// Every statement is prepared once per connection and kept, keyed by its fixed text (SqlText),
// its values bound anew each time and reset after each use, so that it holds no lock between
// calls. The library prepares a kept statement again by itself after a schema change.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "contract/Trap.h"
#include "sqlite/Backend.h"
#include "sqlite/Database.h"
#include "sqlite/SqlText.h"

namespace QuillData::sqlite_detail {

// A column of the live schema: its name as it goes into a statement, and whether it turns
// number text it is given into a number (its declared type gives it INTEGER, REAL or NUMERIC
// affinity).
struct Column {
  Name name;
  bool numeric = false;
};

class Operation {
 public:
  // `procedure` (which outlives the operation: a literal) is also the source of the statement
  // errors (the connection's while the operation lives). An operation that another one runs
  // inside its unit (or its look-up without the lock) is part of that unit: it reports nothing
  // itself, its failures are the unit's.
  Operation(clsQuillData_SqlLite& db, std::wstring_view procedure, TrapOptions options = {});
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;
  ~Operation();

  // Readers and the transaction calls: the trap, one step at a time.
  template <class Body>
  void Run(Body&& body) {
    trap_.Run(std::forward<Body>(body));
  }

  // A writer without a look-up: outside a transaction each of its statements commits by
  // itself and is its own step; inside the host's transaction the writer is one unit (a
  // savepoint), so that a failure undoes only this writer's statements.
  template <class Body>
  void RunWriter(Body&& body) {
    if (nested_ || !db_.inTrans) {
      trap_.Run(std::forward<Body>(body));
      return;
    }
    bool none = false;
    trap_.Run([&](Trap& t) { t.Step([&] { RunUnit(none, none, body); }); });
  }

  // Runs `body` as one unit (see above). When the rollback undoes a write, `result` is put
  // back to what it held on entry: the identifier it holds may name a row that is gone.
  // Otherwise it keeps what it held (an identifier found by the look-up still names its row).
  template <class Result, class Body>
  void RunAtomic(Result& result, Body&& body) {
    if (nested_) {
      trap_.Run(std::forward<Body>(body));
      return;
    }
    const Result before = result;
    trap_.Run([&](Trap& t) {
      t.Step([&] {
        result = before;
        if (!InTransaction() && Probe(result, [&] { Quietly(body); })) return;
        RunUnit(result, before, body);
      });
    });
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
    bool none = false;
    if (!InTransaction() && Probe(none, fn)) return;
    BeginUnit();
    try {
      fn();
      CommitUnit();
    } catch (...) {
      EndUnit();
      RethrowUnitFailure();
    }
  }

  // Runs a change; raises the statement error on a result other than SQLITE_OK.
  void Exec(const SqlText& sql);
  // Runs an INSERT; true when it wrote a row (a trigger may have refused it without an error).
  bool Insert(const SqlText& sql);
  // Prepares a query into the statement slot (finalizing what it held) and binds its values;
  // raises the statement error on failure.
  void Prepare(const SqlText& sql);
  // Steps the slot: true while it answers a row, false at the end; raises the statement error
  // when the library fails (a busy or damaged database): rows must not go missing silently.
  // An unprepared slot has no rows.
  bool Step();
  // Prepares a query into a statement of the caller's (the slot stays as it is); raises the
  // statement error on failure.
  Statement PrepareOwn(const std::wstring& sql);
  // Finalizes the slot (nothing when it is empty).
  void Finalize();
  // Column 0 of the query's first row as a whole number, or nothing when it has no row.
  std::optional<int32_t> QueryInt(const SqlText& sql);
  // The rowid of the last insert on this connection.
  std::optional<int32_t> NewId() {
    static const SqlText kNewId(L" select last_insert_rowid() ");
    return QueryInt(kNewId);
  }
  // `column` as a name to put into a statement, once the live schema says that `table` has
  // it (letter case ignored); else the statement error "no such column: <column>".
  Column CheckedColumn(std::wstring_view table, const std::wstring& column);
  // `table` as a name to put into a statement, once the live schema has it.
  Name CheckedTable(const std::wstring& table);

  // Raises an error when the database has rolled the open unit, or the host's transaction,
  // back by itself (after a full disk or an I/O error): a statement run now would run outside
  // it (a change would be committed on its own, a read would not see the transaction).
  void CheckUnit();

  // The library's last error (Database::Raise), or one of the operation's own.
  [[noreturn]] void RaiseStatementError();
  [[noreturn]] void RaiseStatementError(const std::wstring& description);

  Database& Connection() { return db_.Connection(); }
  const Statement& Slot() const { return db_.slot; }
  std::wstring Procedure() const { return std::wstring(procedure_); }

 private:
  enum class Unit { None, Transaction, Savepoint };

  // Thrown by a change while the operation looks up without the lock; it passes every trap.
  struct NeedsWriteLock : TrapPassThrough {};
  // Marks the connection as looking up without the lock while it lives.
  class Probing {
   public:
    explicit Probing(clsQuillData_SqlLite::Impl& db) : db_(db) { db_.probing = true; }
    ~Probing() { db_.probing = false; }
    Probing(const Probing&) = delete;
    Probing& operator=(const Probing&) = delete;

   private:
    clsQuillData_SqlLite::Impl& db_;
  };

  // Runs `body` with a trap that reports nothing: its steps' failures leave it as they are.
  template <class Body>
  void Quietly(Body& body) {
    Trap quiet(L"clsQuillData_SqlLite", procedure_, {.reportFailures = false});
    quiet.Run([&](Trap& t) { body(t); });
  }

  // Runs `run` once without any lock: true when it ran to its end without wanting to write
  // (a found row), `result` holding what it found. A write, or a failure, ends the try with
  // `result` put back, and the caller runs the unit under the lock, where a failure is
  // reported as usual; only a refused argument is raised at once: no lock changes it.
  template <class Result, class Fn>
  bool Probe(Result& result, Fn&& run) {
    const Result before = result;
    try {
      Probing probing(db_);
      run();
      Finalize();
      return true;
    } catch (const NeedsWriteLock&) {
    } catch (const QuillError& e) {
      if (e.Kind() == ErrorKind::RefusedArgument) {
        Finalize();
        result = before;
        throw;
      }
    } catch (...) {
    }
    Finalize();
    result = before;
    return false;
  }

  // One pass of the unit, from BEGIN to COMMIT; a failure rolls it back (putting `result`
  // back to `before` when a write was undone) and is raised again.
  template <class Result, class Body>
  void RunUnit(Result& result, const Result& before, Body& body) {
    BeginUnit();
    try {
      Quietly(body);
      CommitUnit();
    } catch (...) {
      if (EndUnit()) result = before;
      RethrowUnitFailure();
    }
  }
  // True while a transaction is open on this connection (the host's, or one begun on the
  // connection by other means): the write lock is held, or nothing it read can change.
  bool InTransaction() const;
  // BEGIN IMMEDIATE; inside a transaction open on this connection, a savepoint, so that the
  // transaction decides and a failure undoes only this operation. The savepoint is taken at
  // the unit's first change (a unit that only reads needs none).
  void BeginUnit();
  void CommitUnit();
  // Rolls an open unit back; true when a write of it was undone.
  bool EndUnit() noexcept;
  // The connection's kept statement of `sql`'s fixed text (prepared now if it is not kept
  // yet), with `sql`'s values bound; it must run while `sql` lives (its text is not copied).
  Statement& Kept(const SqlText& sql);
  // Steps a kept statement to its end, then resets it; raises the statement error on failure.
  static void RunKept(Statement& stmt);
  // Raises the failure in flight again; when it ended the host's transaction (the database
  // rolled it back by itself), as the transaction's end, which the host must act on.
  [[noreturn]] void RethrowUnitFailure();

  clsQuillData_SqlLite::Impl& db_;
  std::wstring_view procedure_;
  // The connection's source when the operation began (an enclosing operation's).
  std::wstring_view outerSource_;
  bool nested_;
  Trap trap_;
  Unit unit_ = Unit::None;
};

}  // namespace QuillData::sqlite_detail
