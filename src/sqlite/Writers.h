#pragma once
// Steps shared by the writers (inserts, deletes, updates): a look-up, an insert that reads
// the new identifier, the check that a double can be written as a number at all, and the
// value of a text for a column named by an argument.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "QuillData/contract/Error.h"
#include "contract/Trap.h"
#include "locale/NumberText.h"
#include "sqlite/Operation.h"

namespace QuillData::sqlite_detail {

// The look-up as one step: column 0 of its first row, or nothing (no row, or the look-up
// failed and the error companion went on).
inline std::optional<int32_t> LookUp(Operation& op, Trap& t, const SqlText& sql) {
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
void InsertWithNewId(Operation& op, Trap& t, const SqlText& sql, Result& result) {
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
  static const SqlText kSequence(L"SELECT 1 FROM sqlite_schema WHERE name = 'sqlite_sequence'");
  if (op.QueryInt(kSequence)) {
    sql +=
        L", ifnull((SELECT seq FROM sqlite_sequence WHERE name = "
        L"'tblGlobal_Imprint_Assignments'), 0)";
  }
  return Name{sql + L") + 1)"};
}

// A text a column with numeric affinity is given becomes the number it reads as, by the
// library's own reading (blanks around, a sign, digits with at most one point among them and
// at least one digit, an exponent with its digits): the double nearest to it, where the
// library would make it a double (a point, an exponent, or a whole number past 64 bits). The
// library's reading may miss the nearest double by a unit in the last place; this one does
// not. Nothing for any other text, which the library reads exactly (a whole number) or keeps
// as text.
inline std::optional<double> RealText(const std::wstring& text) {
  auto blank = [](wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); };
  auto digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
  size_t i = 0, end = text.size();
  while (i < end && blank(text[i])) ++i;
  while (end > i && blank(text[end - 1])) --end;
  const size_t first = i;
  if (i < end && (text[i] == L'+' || text[i] == L'-')) ++i;
  size_t digits = 0;
  while (i < end && digit(text[i])) ++i, ++digits;
  bool real = false;
  if (i < end && text[i] == L'.') {
    real = true;
    for (++i; i < end && digit(text[i]); ++i) ++digits;
  }
  if (i < end && (text[i] == L'e' || text[i] == L'E')) {
    real = true;
    ++i;
    if (i < end && (text[i] == L'+' || text[i] == L'-')) ++i;
    if (i == end || !digit(text[i])) return std::nullopt;
    while (i < end && digit(text[i])) ++i;
  }
  if (i != end || digits == 0) return std::nullopt;
  const std::string ascii(text.begin() + static_cast<std::ptrdiff_t>(first),
                          text.begin() + static_cast<std::ptrdiff_t>(end));
  if (!real) {
    // A whole number within 64 bits is read exactly; only a longer one becomes a double.
    char* stop = nullptr;
    errno = 0;
    (void)std::strtoll(ascii.c_str(), &stop, 10);
    if (errno != ERANGE) return std::nullopt;
  }
  return detail::CanonicalToDouble(ascii);
}

// The value for a column named by an argument, from the text its literal held: a double
// where the column would have made the text one (RealText), else the text.
inline SqlValue ColumnValue(const Column& column, std::wstring text) {
  if (column.numeric) {
    if (auto real = RealText(text)) return *real;
  }
  return text;
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
