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
#include "QuillData/sqlite/modMain.h"

namespace QuillData::sqlite_detail {

// A text argument the database could not store as written is refused: a NUL would end it
// (the statement would not even read), and what is not a character (a lone surrogate, a value
// past U+10FFFF) would become U+FFFD, so that two different names found the same row.
inline void RequireStorableText(const std::wstring& value) {
  for (size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<uint32_t>(value[i]);
    if (c != 0 && c < 0xD800) continue;
    if (c == 0) {
      throw QuillError(ErrNo::InvalidProcedureCall, L"QuillData",
                       L"A text argument holds a NUL character (at position " +
                           std::to_wstring(i + 1) + L"), which the database cannot store")
          .WithKind(ErrorKind::RefusedArgument);
    }
    if (c <= 0xDFFF || c > 0x10FFFF) {
      wchar_t code[16];
      std::swprintf(code, 16, L"U+%04X", c);
      throw QuillError(ErrNo::InvalidProcedureCall, L"QuillData",
                       L"A text argument holds " + std::wstring(code) + L" (at position " +
                           std::to_wstring(i + 1) +
                           L"), which is not a character: it cannot be stored as written")
          .WithKind(ErrorKind::RefusedArgument);
    }
  }
}

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
    RequireStorableText(value);
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
