// Fuzz target: the SQL text builder (src/sqlite/SqlText.h). A text argument placed between
// the quotes of a fixed fragment, as every operation writes it, never becomes statement text:
// the statement's fixed text is the same whatever the argument, and each literal holding it
// is one bound value. Prepared by SQLite (with its full length, as the backend prepares) and
// run with the values bound, the statement leaves no tail, has the columns the fixed pieces
// say, and answers one row whose first column is ToUtf8(argument), byte for byte. The argument
// comes from the input either as UTF-8 (through FromUtf8, so any bytes are valid) or as raw
// 32-bit wide units, which may be lone surrogates or past U+10FFFF.
//
// An argument the database could not store as written is refused by the builder with one
// clear error (a refused argument), before any statement exists: U+0000 (stores and drivers
// cut the text there) and units that are not characters (they would reach SQLite as U+FFFD,
// so that two different arguments found the same row).
#include <sqlite3.h>

#include <optional>
#include <string>
#include <variant>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "fuzz/FuzzCheck.h"
#include "sqlite/SqlText.h"

namespace QuillData::fuzz {

namespace {

using sqlite_detail::SqlText;

sqlite3* Db() {
  static sqlite3* db = [] {
    sqlite3* d = nullptr;
    if (sqlite3_open(":memory:", &d) != SQLITE_OK) std::abort();
    return d;
  }();
  return db;
}

struct Statement {
  sqlite3_stmt* stmt = nullptr;
  ~Statement() { sqlite3_finalize(stmt); }
};

// The statement's tail after prepare holds nothing but blanks.
bool OnlyBlanks(const char* tail, const char* end) {
  for (; tail < end; ++tail) {
    if (*tail != ' ' && *tail != '\t' && *tail != '\n' && *tail != '\r') return false;
  }
  return true;
}

// Two shapes of statement text the backend writes: a literal as a result column, and the
// same argument twice in a comparison, followed by more fixed text.
// A pair of surrogates stands for the character it encodes; a lone one is no character.
bool Storable(const std::wstring& arg) {
  for (size_t i = 0; i < arg.size(); ++i) {
    const auto u = static_cast<uint32_t>(arg[i]);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < arg.size() &&
        static_cast<uint32_t>(arg[i + 1]) >= 0xDC00 &&
        static_cast<uint32_t>(arg[i + 1]) <= 0xDFFF) {
      ++i;
      continue;
    }
    if (u == 0 || (u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF) return false;
  }
  return true;
}

void CheckStatement(const std::wstring& arg, bool comparison) {
  std::optional<SqlText> sql;
  try {
    sql = comparison ? SqlText(L"SELECT '")
                           << arg << L"', 7 WHERE '" << arg << L"' = '" << arg << L"' AND 1 = 1"
                     : SqlText(L"SELECT '") << arg << L"', 7";
  } catch (const QuillError& e) {
    QD_FUZZ_CHECK(!Storable(arg) && e.Kind() == ErrorKind::RefusedArgument,
                  "refused: " + Show(ToUtf8(arg)) + ": " + e.what());
    return;
  }
  QD_FUZZ_CHECK(Storable(arg), "not refused: " + Show(ToUtf8(arg)));
  const std::string text = ToUtf8(sql->Text());
  const char* shape = comparison ? "SELECT ?, 7 WHERE ? = ? AND 1 = 1" : "SELECT ?, 7";
  QD_FUZZ_CHECK(text == shape, "the argument changed the statement: " + Show(text));
  const std::string expected = ToUtf8(arg);
  Statement st;
  const char* tail = nullptr;
  const int rc =
      sqlite3_prepare_v2(Db(), text.c_str(), static_cast<int>(text.size()), &st.stmt, &tail);
  QD_FUZZ_CHECK(rc == SQLITE_OK && st.stmt != nullptr,
                "did not prepare: " + Show(text) + ": " + sqlite3_errmsg(Db()));
  QD_FUZZ_CHECK(OnlyBlanks(tail, text.c_str() + text.size()),
                "more than one statement: " + Show(text) + ", tail " + Show(std::string(tail)));
  const auto& values = sql->Values();
  QD_FUZZ_CHECK(static_cast<int>(values.size()) == sqlite3_bind_parameter_count(st.stmt),
                "values for " + Show(text));
  for (size_t i = 0; i < values.size(); ++i) {
    const auto* value = std::get_if<std::string>(&values[i]);
    QD_FUZZ_CHECK(value != nullptr && *value == expected, "bound value of " + Show(expected));
    sqlite3_bind_text(st.stmt, static_cast<int>(i + 1), value->data(),
                      static_cast<int>(value->size()), SQLITE_STATIC);
  }
  QD_FUZZ_CHECK(sqlite3_column_count(st.stmt) == 2, "column count of " + Show(text));
  QD_FUZZ_CHECK(sqlite3_step(st.stmt) == SQLITE_ROW, "no row: " + Show(text));
  const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(st.stmt, 0));
  const int length = sqlite3_column_bytes(st.stmt, 0);
  const std::string got = value ? std::string(value, static_cast<size_t>(length)) : std::string();
  QD_FUZZ_CHECK(sqlite3_column_type(st.stmt, 0) == SQLITE_TEXT, "not text: " + Show(text));
  QD_FUZZ_CHECK(got == expected, "literal " + Show(got) + " != argument " + Show(expected));
  QD_FUZZ_CHECK(sqlite3_column_int(st.stmt, 1) == 7, "fixed column lost: " + Show(text));
  QD_FUZZ_CHECK(sqlite3_step(st.stmt) == SQLITE_DONE, "more than one row: " + Show(text));
}

}  // namespace

void CheckSqlText(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t mode = in.Byte();
  const std::string_view rest = in.Rest();
  std::wstring arg;
  if ((mode & 1) == 0) {
    arg = FromUtf8(rest);
  } else {
    arg.resize(rest.size() / sizeof(wchar_t));
    std::memcpy(arg.data(), rest.data(), arg.size() * sizeof(wchar_t));
  }
  CheckStatement(arg, (mode & 2) != 0);
}

}  // namespace QuillData::fuzz

QD_FUZZ_ENTRY(CheckSqlText)
