#pragma once
// The one builder of SQL statements. Fixed pieces are string literals; arguments never become
// statement text: each is bound to a parameter ("?") of the statement, so that the fixed text
// is the statement's shape, prepared once per connection and kept (Operation), and the values
// change from call to call.
//
//   SqlText(L" SELECT MachID FROM Machining ") << L" WHERE [MachName] = '" << strMachName
//       << L"' AND MachLibID = " << MachLibID
//
// gives " SELECT MachID FROM Machining  WHERE [MachName] = ? AND MachLibID = ?" with the text
// and the whole number bound. Each value stores exactly what its literal stored when values
// travelled inside the text:
// - An argument inside the quotes of a literal makes the whole literal one text value: the
//   literal's fixed characters and the argument's text ("'" << 5 << "'" binds the text "5").
//   Text that cannot be stored as written (a NUL, a lone surrogate) is refused.
// - Outside a literal, a whole number or a boolean (1/0) binds as an integer; a double as the
//   literal its shortest text was: an integer when that text is digits only ("12", which a
//   TEXT column stores as "12"), else a double, bit for bit.
// A literal without an argument stays in the fixed text. A quote at the end of a piece ends
// its literal.
//
// A name taken from an argument (a column or table) enters only as a Name, made by the
// operation after checking it against the live schema (Operation::CheckedColumn).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "QuillData/sqlite/modMain.h"

namespace QuillData::sqlite_detail {

// A piece of statement text that is trusted as it stands (a checked identifier).
struct Name {
  std::wstring text;
};

// A value for a parameter of a statement, as a caller gives it.
using SqlValue = std::variant<int64_t, double, std::wstring>;
// A value as it is bound: text already in UTF-8.
using BoundValue = std::variant<int64_t, double, std::string>;

// The value a double's shortest text stood for as a literal: digits only (a whole number
// that the shortest text writes without a point or an exponent, within 64 bits) an integer,
// else the double itself.
inline SqlValue NumberValue(double value) {
  constexpr double kTwo63 = 9223372036854775808.0;
  if (value == std::trunc(value) && value >= -kTwo63 && value < kTwo63) {
    const std::wstring text = NumberToSql(value);
    if (text.find_first_of(L".e") == std::wstring::npos) return static_cast<int64_t>(value);
  }
  return value;
}

class SqlText {
 public:
  SqlText() = default;
  explicit SqlText(const wchar_t* fragment) { Fixed(fragment); }

  // A fixed piece of the statement.
  SqlText& operator<<(const wchar_t* fragment) {
    Fixed(fragment);
    return *this;
  }
  // A text argument.
  SqlText& operator<<(const std::wstring& value) {
    // What the database could not store as written (a NUL, a lone surrogate) is refused.
    RequireValidText(value);
    if (InLiteral()) {
      literalValue_ += ToUtf8(value);
    } else {
      Bind(ToUtf8(value));
    }
    return *this;
  }
  SqlText& operator<<(int32_t value) {
    if (InLiteral()) {
      literalValue_ += std::to_string(value);
    } else {
      Bind(int64_t{value});
    }
    return *this;
  }
  SqlText& operator<<(bool value) {
    if (InLiteral()) {
      literalValue_ += value ? '1' : '0';
    } else {
      Bind(int64_t{value ? 1 : 0});
    }
    return *this;
  }
  SqlText& operator<<(double value) {
    if (InLiteral()) {
      literalValue_ += ToUtf8(NumberToSql(value));
    } else {
      *this << NumberValue(value);
    }
    return *this;
  }
  // A value chosen by the caller, bound as it is (never inside a literal).
  SqlText& operator<<(const SqlValue& value) {
    if (const auto* text = std::get_if<std::wstring>(&value)) return *this << *text;
    if (const auto* whole = std::get_if<int64_t>(&value)) {
      Bind(*whole);
    } else {
      Bind(std::get<double>(value));
    }
    return *this;
  }
  SqlText& operator<<(const Name& name) {
    Fixed(name.text);
    return *this;
  }
  // Other argument types would slip in through conversions; say which one is meant.
  SqlText& operator<<(const std::wstring_view&) = delete;
  SqlText& operator<<(int64_t) = delete;
  SqlText& operator<<(wchar_t) = delete;

  // The statement's fixed text, with a "?" for each value: its shape.
  const std::wstring& Text() const { return text_; }
  // The values of the "?" in order.
  const std::vector<BoundValue>& Values() const { return values_; }

 private:
  enum class Quote : uint8_t { None, Literal, Identifier };

  // Inside a literal that holds an argument: its value is gathered, not written.
  bool InLiteral() {
    if (quote_ != Quote::Literal) return false;
    if (!valueLiteral_) {
      // The literal's characters so far, written into the text, become its value ('' stands
      // for one quote).
      std::wstring value;
      for (size_t i = literalStart_ + 1; i < text_.size(); ++i) {
        value += text_[i];
        if (text_[i] == L'\'') ++i;
      }
      literalValue_ = ToUtf8(value);
      text_.resize(literalStart_);
      valueLiteral_ = true;
    }
    return true;
  }

  void Bind(BoundValue value) {
    if (values_.empty()) values_.reserve(8);
    values_.push_back(std::move(value));
    text_ += L'?';
  }

  // Writes fixed text, following the quotes: '...' is a literal (its '' a quote in it),
  // "..." an identifier, in which a ' is a character like any.
  void Fixed(std::wstring_view fragment) {
    if (text_.empty()) text_.reserve(128);  // most statements fit: one allocation
    size_t i = 0;
    auto next = [&](wchar_t quote) {
      const wchar_t* p = std::wmemchr(fragment.data() + i, quote, fragment.size() - i);
      return p == nullptr ? fragment.size() : static_cast<size_t>(p - fragment.data());
    };
    const bool identifiers = next(L'"') != fragment.size();  // most pieces have none
    while (i < fragment.size()) {
      // The next quote that matters here; the text up to it is copied as it is.
      size_t at = next(quote_ == Quote::Identifier ? L'"' : L'\'');
      if (quote_ == Quote::None && identifiers) at = std::min(at, next(L'"'));
      const std::wstring_view run = fragment.substr(i, at - i);
      if (valueLiteral_) {
        if (!run.empty()) literalValue_ += ToUtf8(run);
      } else {
        text_.append(run);
      }
      if (at == fragment.size()) return;
      const bool doubled = at + 1 < fragment.size() && fragment[at + 1] == fragment[at];
      i = at + 1 + Quoted(fragment[at], doubled);
    }
  }

  // A quote character `c` (`doubled`: the next character is the same quote); returns how
  // many characters after it it took as well.
  size_t Quoted(wchar_t c, bool doubled) {
    if (valueLiteral_) {
      if (doubled) {
        literalValue_ += '\'';
        return 1;
      }
      Bind(std::move(literalValue_));
      literalValue_.clear();
      valueLiteral_ = false;
      quote_ = Quote::None;
      return 0;
    }
    text_ += c;
    const Quote kind = c == L'\'' ? Quote::Literal : Quote::Identifier;
    if (quote_ == Quote::None) {
      literalStart_ = text_.size() - 1;
      quote_ = kind;
    } else if (quote_ == kind) {
      if (doubled && kind == Quote::Literal) {
        text_ += c;  // a quote inside the literal
        return 1;
      }
      quote_ = Quote::None;
    }
    return 0;
  }

  std::wstring text_;
  std::vector<BoundValue> values_;
  Quote quote_ = Quote::None;
  size_t literalStart_ = 0;    // where the open literal's quote is in text_
  bool valueLiteral_ = false;  // the open literal holds an argument
  std::string literalValue_;
};

}  // namespace QuillData::sqlite_detail
