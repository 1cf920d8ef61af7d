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
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "QuillData/contract/Trap.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "sqlite/SqlText.h"

namespace QuillData::sqlite_detail {

constexpr int kSqliteOk = 0;
constexpr int kSqliteRow = 100;

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

  // Runs a change; raises the statement error on a result other than SQLITE_OK.
  void Exec(const std::wstring& sql);
  // Prepares a query into the statement slot (finalizing what it held); raises the
  // statement error on failure.
  void Prepare(const std::wstring& sql);
  // Steps the slot: true while it answers a row. An unprepared slot has no rows.
  bool Step();
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
  clsQuillData_SqlLite& db_;
  std::wstring procedure_;
  Trap trap_;
};

}  // namespace QuillData::sqlite_detail
