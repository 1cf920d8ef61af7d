#pragma once
// The one builder of SQL text. Fixed pieces are string literals; arguments enter by their
// type: text with every single quote doubled (the quotes around it belong to the fixed
// pieces; a text that cannot be stored as written is refused), whole numbers as decimal text,
// booleans as 1/0, doubles through NumberToSql.
//
//   SqlText(L" SELECT MachID FROM Machining ") << L" WHERE [MachName] = '" << strMachName
//       << L"' AND MachLibID = " << MachLibID
//
// A name taken from an argument (a column or table) enters only as a Name, made by the
// operation after checking it against the live schema (Operation::CheckedColumn).
#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "QuillData/sqlite/modMain.h"

namespace QuillData::sqlite_detail {

// A piece of statement text that is trusted as it stands (a checked identifier).
struct Name {
  std::wstring text;
};

class SqlText {
 public:
  SqlText() = default;
  explicit SqlText(const wchar_t* fragment) : text_(fragment) {}

  // A fixed piece of the statement.
  SqlText& operator<<(const wchar_t* fragment) {
    text_ += fragment;
    return *this;
  }
  // A text argument.
  SqlText& operator<<(const std::wstring& value) {
    // What the database could not store as written (a NUL, a lone surrogate) is refused.
    RequireValidText(value);
    text_.reserve(text_.size() + value.size());
    for (wchar_t c : value) {
      text_ += c;
      if (c == L'\'') text_ += L'\'';
    }
    return *this;
  }
  SqlText& operator<<(int32_t value) {
    text_ += std::to_wstring(value);
    return *this;
  }
  SqlText& operator<<(bool value) {
    text_ += value ? L'1' : L'0';
    return *this;
  }
  SqlText& operator<<(double value) {
    text_ += NumberToSql(value);
    return *this;
  }
  SqlText& operator<<(const Name& name) {
    text_ += name.text;
    return *this;
  }
  // Other argument types would slip in through conversions; say which one is meant.
  SqlText& operator<<(const std::wstring_view&) = delete;
  SqlText& operator<<(int64_t) = delete;
  SqlText& operator<<(wchar_t) = delete;

  const std::wstring& str() const { return text_; }
  operator const std::wstring&() const { return text_; }

 private:
  std::wstring text_;
};

}  // namespace QuillData::sqlite_detail
