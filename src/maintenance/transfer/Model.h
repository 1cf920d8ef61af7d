#pragma once
// What the transfer carries: tables and columns as both sides agree on them, values in their
// carried form, batches of rows, and what a target's column can hold.
#include <charconv>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/contract/Error.h"

namespace QuillData::transfer {

inline constexpr wchar_t kSource[] = L"TransferDatabase";
// Rows per batch: one statement or message on a server, one progress report.
inline constexpr size_t kBatchRows = 2000;

[[noreturn]] void Refuse(int32_t number, const std::wstring& why);
// A failure while copying (StatementError), of the kind the number does not tell.
[[noreturn]] void Fail(const std::wstring& why, ErrorKind kind = ErrorKind::Other);

// What a column carries, the same on both sides.
enum class Kind { Integer, Real, Text, Blob, Bool, Date };

// What a column can hold beyond its kind. A field at its default holds anything.
struct Limit {
  int64_t minInteger = std::numeric_limits<int64_t>::min();
  int64_t maxInteger = std::numeric_limits<int64_t>::max();
  int32_t maxChars = -1;      // characters of a text; -1: any length
  bool zeroChar = true;       // a text may hold U+0000
  int32_t precision = 0;      // a number's decimal digits in all, 0: a double
  int32_t scale = 0;          // of which after the point
  bool fileDates = false;     // only dates the embedded database's readers read (AD 1-9999)
  int32_t secondDigits = -1;  // a date's digits after the second; -1: any

  bool operator==(const Limit&) const = default;
};

// True when every value `inner` admits is one `outer` admits too.
bool Within(const Limit& inner, const Limit& outer);

struct Cell;

struct ColumnSpec {
  std::string name;
  Kind kind = Kind::Text;
  // What an empty (NULL) value becomes: the server's default for a column that refuses NULL,
  // which is what the readers of either backend show for an empty value.
  std::shared_ptr<const Cell> nullAs;
  std::wstring serverType;  // the server's type name ("integer", "text", ...)
  bool identity = false;    // the server numbers new rows through it
  Limit holds;              // what the source's column can hold
  Limit takes;              // what the target's column can hold
};

struct TableSpec {
  std::string name;
  std::vector<ColumnSpec> columns;
  int key = -1;  // the integer primary key (the id) among the columns, -1 when none
};

// One value in its carried form: Bool as 0/1 in i, Date as its canonical text (Dates below)
// in s, Text as UTF-8 and Blob as bytes in s.
struct Cell {
  bool null = true;
  int64_t i = 0;
  double d = 0;
  std::string s;
};

// A batch of rows, row after row, `width` cells each.
struct Batch {
  size_t width = 0;
  std::vector<Cell> cells;
  size_t Rows() const { return width == 0 ? 0 : cells.size() / width; }
  const Cell* Row(size_t r) const { return cells.data() + r * width; }
};

// A whole number's decimal digits, appended without a string of its own: the codec and the
// checksum do it for every value of every row.
template <class Number>
void AppendDecimal(std::string& out, Number value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// "Table.Column (row N)": where a value is, rows counted from 1 in key order.
std::wstring Where(const TableSpec& table, const ColumnSpec& column, int64_t row);
// A value that cannot be carried as its column's kind, named by its place (Fail, Conversion).
[[noreturn]] void Unreadable(const TableSpec& table, const ColumnSpec& column, int64_t row,
                             const std::wstring& what);

// Dates. The canonical text is the server's own ISO form: "YYYY-MM-DD HH:MM:SS" with a
// fraction only when it is not zero (no trailing zeros), the year in four digits or more,
// " BC" after a date before year 1, and "infinity" and "-infinity". A date is read from
// that form, with "T" or a blank between date and time, or without a time; a day, month or
// time of day that does not exist is no date.
struct DateText {
  std::string text;         // canonical
  bool fileCanHold = true;  // finite, AD, year at most 9999
};
std::optional<DateText> ReadDate(std::string_view text);

// Why `cell` cannot go into a column that takes `limit`; nullopt when it can.
std::optional<std::wstring> Misfit(const Cell& cell, Kind kind, const Limit& limit);

}  // namespace QuillData::transfer
