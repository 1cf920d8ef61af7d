#pragma once
// Steps shared by the writers (inserts, deletes, updates): a look-up, an insert that reads
// the new identifier, and the check that a double can be written as a number at all.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "QuillData/contract/Error.h"
#include "contract/Trap.h"
#include "sqlite/Operation.h"

namespace QuillData::sqlite_detail {

// The look-up as one step: column 0 of its first row, or nothing (no row, or the look-up
// failed and the error companion went on).
inline std::optional<int32_t> LookUp(Operation& op, Trap& t, const std::wstring& sql) {
  std::optional<int32_t> found;
  t.Step([&] {
    // Into a variable of its own first: assigned straight from a call that throws, `found`
    // loses its empty start under g++ 12 -O2, and a failed look-up under "continue" found
    // a row with a random identifier.
    const std::optional<int32_t> value = op.QueryInt(sql);
    found = value;
  });
  return found;
}

// The insert, then the new row's identifier into `result`, each its own step. `result` is
// left as it is when no row was written: after a failed insert (the error companion went
// on) or one a trigger refused, the connection's last rowid names some other row.
template <class Result>
void InsertWithNewId(Operation& op, Trap& t, const std::wstring& sql, Result& result) {
  bool inserted = false;
  t.Step([&] { inserted = op.Insert(sql); });
  if (!inserted) return;
  t.Step([&] {
    if (auto id = op.NewId()) result = Result(*id);
  });
}

// A NaN or an infinity has no number text the database would read back as the same value
// (it would store the text "NaN" or fail to parse); refuse it before anything is written.
inline void RequireFinite(const Operation& op, const wchar_t* argument, double value) {
  if (std::isfinite(value)) return;
  const wchar_t* what = std::isnan(value) ? L"NaN" : (value > 0 ? L"infinity" : L"-infinity");
  throw QuillError(
      ErrNo::InvalidProcedureCall, op.Procedure(),
      std::wstring(argument) + L" cannot be written: it is not a finite number (" + what + L")");
}

// The identifier for a new imprint assignment, as an expression: above every imprint
// assignment and imprint definition there is, and every assignment there was where the table
// counts them (AUTOINCREMENT). A definition outlives its assignment, and must not become a
// new assignment's.
inline Name NewImprintId(Operation& op) {
  std::wstring sql =
      L"(SELECT max(ifnull((SELECT max(fldlngRelationPattern) FROM "
      L"tblGlobal_Imprint_Assignments), 0), ifnull((SELECT max(fldlngRelationPattern) FROM "
      L"tblGlobal_Imprint_Definitions), 0)";
  if (op.QueryInt(L"SELECT 1 FROM sqlite_schema WHERE name = 'sqlite_sequence'")) {
    sql +=
        L", ifnull((SELECT seq FROM sqlite_sequence WHERE name = "
        L"'tblGlobal_Imprint_Assignments'), 0)";
  }
  return Name{sql + L") + 1)"};
}

// Runs `checks` as one step; true when it ran through. A failed check leaves the operation
// whatever the error companion answers (other than retry): going on after it would write
// what the check refused. Its errors are refused arguments: reported before any lock.
template <class Checks>
bool Checked(Trap& t, Checks&& checks) {
  bool passed = false;
  t.Step([&] {
    try {
      checks();
    } catch (QuillError& e) {
      // What the store said (a lock, a damaged file) is not about the argument.
      if (e.SqliteCode() == 0) e.WithKind(ErrorKind::RefusedArgument);
      throw;
    }
    passed = true;
  });
  return passed;
}

}  // namespace QuillData::sqlite_detail
