// The libpq provider: PostgreSQL through its own client library. A procedure call runs as
// SELECT * FROM name($1, ...), so a scalar function hands back its value and a set-returning
// one its rows. Every single statement is prepared once per connection and kept; its results
// come in binary when every column's type has a binary form read here, else as text. Behind a
// connection pooler, which lends server sessions out per transaction, nothing is kept in the
// server session: statements go unnamed and the session's settings go with each of them.
// Parameters go as text (bytes in binary) with their types left to the server, so that a
// procedure's own signature decides them, as with the ODBC drivers.
#include <poll.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "QuillData/ado/ConnectionString.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "QuillData/locale/Locale.h"
#include "ado/Detail.h"
#include "ado/Libpq.h"

namespace QuillData::ado {

using detail::Raise;

namespace {

constexpr wchar_t kLibpqSource[] = L"QuillData.ado (libpq)";
// Statements kept per connection, and the longest text kept: anything else (a text holding
// its values, run once) runs unprepared.
constexpr size_t kMaxPrepared = 256;
constexpr size_t kMaxPreparedText = 4096;

// Type OIDs of the server's built-in types; they are fixed across versions.
enum : Oid {
  kBool = 16,
  kBytea = 17,
  kName = 19,
  kInt8 = 20,
  kInt2 = 21,
  kInt4 = 23,
  kText = 25,
  kFloat4 = 700,
  kFloat8 = 701,
  kBpchar = 1042,
  kVarchar = 1043,
  kDate = 1082,
  kTime = 1083,
  kTimestamp = 1114,
  kTimestampTz = 1184,
  kNumeric = 1700,
  kVoid = 2278,
};

int32_t AdoTypeOf(Oid type) {
  switch (type) {
    case kBool:
      return adBoolean;
    case kBytea:
      return adLongVarBinary;
    case kInt2:
      return adSmallInt;
    case kInt4:
      return adInteger;
    case kInt8:
      return adBigInt;
    case kFloat4:
      return adSingle;
    case kFloat8:
      return adDouble;
    case kNumeric:
      return adNumeric;
    case kText:
      return adLongVarWChar;
    case kBpchar:
      return adWChar;
    case kDate:
      return adDBDate;
    case kTime:
      return adDBTime;
    case kTimestamp:
    case kTimestampTz:
      return adDBTimeStamp;
    default:
      return adVarWChar;  // anything else is read as text
  }
}

// The types whose binary form is read here; a result with any other column comes as text.
bool BinaryReadable(Oid type) {
  switch (type) {
    case kBool:
    case kBytea:
    case kName:
    case kInt8:
    case kInt2:
    case kInt4:
    case kText:
    case kFloat4:
    case kFloat8:
    case kBpchar:
    case kVarchar:
    case kVoid:
      return true;
    default:
      return false;
  }
}

// A 64-bit integer as the ODBC provider hands it out: Long when it fits, else Decimal.
Variant Whole(int64_t value) {
  if (value >= INT32_MIN && value <= INT32_MAX) return Variant(static_cast<int32_t>(value));
  Decimal d;
  d.mantissa = value;
  return Variant(d);
}

uint64_t BigEndian(const char* bytes, int length) {
  uint64_t value = 0;
  for (int i = 0; i < length; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

[[noreturn]] void Unreadable(std::string_view text, Oid type) {
  throw QuillError(ErrNo::TypeMismatch, kLibpqSource,
                   L"The server returned \"" + FromUtf8(text) + L"\" for a column of type " +
                       std::to_wstring(type) + L".");
}

Variant FromBinary(Oid type, const char* data, int length) {
  switch (type) {
    case kBool:
      return Variant(length > 0 && data[0] != 0);
    case kInt2:
      return Variant(static_cast<int32_t>(static_cast<int16_t>(BigEndian(data, 2))));
    case kInt4:
      return Variant(static_cast<int32_t>(static_cast<uint32_t>(BigEndian(data, 4))));
    case kInt8:
      return Whole(static_cast<int64_t>(BigEndian(data, 8)));
    case kFloat4:
      return Variant(
          static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(BigEndian(data, 4)))));
    case kFloat8:
      return Variant(std::bit_cast<double>(BigEndian(data, 8)));
    case kBytea:
      return Variant(Variant::Bytes(data, data + length));
    case kVoid:
      return Variant::Null();
    default:  // text types: UTF-8
      return Variant(FromUtf8(std::string_view(data, static_cast<size_t>(length))));
  }
}

// "HH:MM:SS[.ffffff]" at text[at]; false when it is not there.
bool ReadTime(std::string_view text, size_t at, int& h, int& mi, int& s, double& fraction) {
  auto number = [&](size_t from, size_t n, int& out) {
    if (from + n > text.size()) return false;
    return std::from_chars(text.data() + from, text.data() + from + n, out).ptr ==
           text.data() + from + n;
  };
  if (!number(at, 2, h) || !number(at + 3, 2, mi) || !number(at + 6, 2, s)) return false;
  fraction = 0;
  size_t i = at + 8;
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10)
      fraction += (text[i] - '0') * scale;
  }
  return true;
}

// ISO dates and times (the session's DateStyle), as days since 1899-12-30.
Variant DateFromText(Oid type, std::string_view text) {
  int h = 0, mi = 0, s = 0;
  double fraction = 0;
  if (type == kTime) {
    if (!ReadTime(text, 0, h, mi, s, fraction)) Unreadable(text, type);
    return Variant(Date{(h * 3600.0 + mi * 60.0 + s + fraction) / 86400.0});
  }
  int y = 0, m = 0, d = 0;
  const char* p = text.data();
  const char* end = p + text.size();
  auto r1 = std::from_chars(p, end, y);
  if (r1.ec != std::errc() || r1.ptr == end || *r1.ptr != '-') Unreadable(text, type);
  auto r2 = std::from_chars(r1.ptr + 1, end, m);
  if (r2.ec != std::errc() || r2.ptr == end || *r2.ptr != '-') Unreadable(text, type);
  auto r3 = std::from_chars(r2.ptr + 1, end, d);
  if (r3.ec != std::errc()) Unreadable(text, type);
  const size_t rest = static_cast<size_t>(r3.ptr - p);
  if (rest < text.size() && !ReadTime(text, rest + 1, h, mi, s, fraction)) Unreadable(text, type);
  auto days = DaysFromCivil(y, m, d, h, mi, s);
  if (!days) Unreadable(text, type);
  // Before the zero date the time of day still counts forward from the day's start.
  return Variant(Date{*days >= 0 ? *days + fraction / 86400.0 : *days - fraction / 86400.0});
}

Variant FromText(Oid type, const char* data, int length) {
  const std::string_view text(data, static_cast<size_t>(length));
  switch (type) {
    case kBool:
      return Variant(text == "t");
    case kInt2:
    case kInt4:
    case kInt8: {
      int64_t value = 0;
      if (std::from_chars(data, data + length, value).ptr != data + length) Unreadable(text, type);
      return Whole(value);
    }
    case kFloat4:
    case kFloat8: {
      double value = 0;
      if (std::from_chars(data, data + length, value).ptr != data + length) Unreadable(text, type);
      return Variant(value);
    }
    case kNumeric:
      return detail::NumberFromText(FromUtf8(text));
    case kBytea: {
      // Hex output ("\x0a1b...").
      if (!text.starts_with("\\x") || text.size() % 2 != 0) Unreadable(text.substr(0, 16), type);
      Variant::Bytes bytes((text.size() - 2) / 2);
      for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned value = 0;
        if (std::from_chars(data + 2 + 2 * i, data + 4 + 2 * i, value, 16).ptr != data + 4 + 2 * i)
          Unreadable(text.substr(0, 16), type);
        bytes[i] = static_cast<unsigned char>(value);
      }
      return Variant(std::move(bytes));
    }
    case kDate:
    case kTime:
    case kTimestamp:
    case kTimestampTz:
      return DateFromText(type, text);
    case kVoid:
      return Variant::Null();
    default:
      return Variant(FromUtf8(text));
  }
}

// A cell of a result as a Variant (Null for a database NULL).
Variant CellOf(const PGresult* result, int row, int column) {
  if (PQgetisnull(result, row, column)) return Variant::Null();
  const Oid type = PQftype(result, column);
  const char* data = PQgetvalue(result, row, column);
  const int length = PQgetlength(result, row, column);
  return PQfformat(result, column) == 1 ? FromBinary(type, data, length)
                                        : FromText(type, data, length);
}

std::shared_ptr<RowSet> RowsOf(const PGresult* result) {
  auto rows = std::make_shared<RowSet>();
  const int fields = PQnfields(result);
  const int tuples = PQntuples(result);
  rows->columns.reserve(static_cast<size_t>(fields));
  for (int c = 0; c < fields; ++c) {
    rows->columns.push_back({FromUtf8(PQfname(result, c)), AdoTypeOf(PQftype(result, c))});
  }
  rows->rows.reserve(static_cast<size_t>(tuples));
  for (int r = 0; r < tuples; ++r) {
    std::vector<Variant> row;
    row.reserve(static_cast<size_t>(fields));
    for (int c = 0; c < fields; ++c) row.push_back(CellOf(result, r, c));
    rows->rows.push_back(std::move(row));
  }
  return rows;
}

// The rows of a result handed to a sink one by one, each cell read from the result as it
// stands (binary or text) straight into what the sink asks for.
class ResultRows final : public Row {
 public:
  explicit ResultRows(const PGresult* result) : result_(result) {}

  void Stream(RowSink& sink) {
    const int fields = PQnfields(result_);
    std::vector<Column> columns;
    columns.reserve(static_cast<size_t>(fields));
    for (int c = 0; c < fields; ++c) {
      columns.push_back({FromUtf8(PQfname(result_, c)), AdoTypeOf(PQftype(result_, c))});
    }
    const int tuples = PQntuples(result_);
    sink.Begin(columns, tuples);
    for (row_ = 0; row_ < tuples; ++row_) sink.Take(*this);
  }

  bool IsNull(size_t column) override {
    return PQgetisnull(result_, row_, Index(column)) || PQftype(result_, Index(column)) == kVoid;
  }
  int64_t Integer(size_t column) override {
    const int c = Index(column);
    const Oid type = PQftype(result_, c);
    if (Binary(c)) {
      const char* data = PQgetvalue(result_, row_, c);
      if (type == kInt2) return static_cast<int16_t>(BigEndian(data, 2));
      if (type == kInt4) return static_cast<int32_t>(static_cast<uint32_t>(BigEndian(data, 4)));
      return static_cast<int64_t>(BigEndian(data, 8));
    }
    return Parsed<int64_t>(c, type);
  }
  double Double(size_t column) override {
    const int c = Index(column);
    const Oid type = PQftype(result_, c);
    if (Binary(c)) {
      const char* data = PQgetvalue(result_, row_, c);
      if (type == kFloat4) {
        return static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(BigEndian(data, 4))));
      }
      return std::bit_cast<double>(BigEndian(data, 8));
    }
    return Parsed<double>(c, type);
  }
  bool Boolean(size_t column) override {
    const int c = Index(column);
    const char* data = PQgetvalue(result_, row_, c);
    if (Binary(c)) return PQgetlength(result_, row_, c) > 0 && data[0] != 0;
    return std::string_view(data) == "t";
  }
  std::wstring_view Text(size_t column) override {
    const int c = Index(column);
    AssignUtf8(text_, std::string_view(PQgetvalue(result_, row_, c),
                                       static_cast<size_t>(PQgetlength(result_, row_, c))));
    return text_;
  }
  Date When(size_t column) override { return *Value(column).Get<Date>(); }
  Variant Value(size_t column) override { return CellOf(result_, row_, Index(column)); }

 private:
  int Index(size_t column) const {
    if (column >= static_cast<size_t>(PQnfields(result_))) {
      throw QuillError(ErrNo::SubscriptOutOfRange, kLibpqSource);
    }
    return static_cast<int>(column);
  }
  bool Binary(int column) const { return PQfformat(result_, column) == 1; }
  // A number in text form, as FromText reads it.
  template <class T>
  T Parsed(int column, Oid type) const {
    const char* data = PQgetvalue(result_, row_, column);
    const int length = PQgetlength(result_, row_, column);
    T value{};
    if (std::from_chars(data, data + length, value).ptr != data + length) {
      Unreadable(std::string_view(data, static_cast<size_t>(length)), type);
    }
    return value;
  }

  const PGresult* result_;
  int row_ = 0;
  std::wstring text_;
};

// Results ------------------------------------------------------------------------------------

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

std::wstring Trimmed(const char* text) {
  std::string s = text ? text : "";
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  std::replace(s.begin(), s.end(), '\n', ' ');
  return FromUtf8(s);
}

QuillError Failure(PGconn* conn, const PGresult* result) {
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  std::wstring message = Trimmed(result ? PQresultErrorMessage(result) : nullptr);
  if (message.empty()) message = Trimmed(PQerrorMessage(conn));
  if (message.empty()) message = L"The server reported a failure without a message.";
  // libpq's own failures carry no SQLSTATE; a connection that broke under them is class 08.
  std::wstring sqlState = state ? FromUtf8(state) : std::wstring();
  if (sqlState.empty() && PQstatus(conn) == CONNECTION_BAD) sqlState = L"08006";
  if (!sqlState.empty()) message += L" (SQLSTATE " + sqlState + L")";
  QuillError error(adErrDataSource, kLibpqSource, std::move(message));
  if (!sqlState.empty()) error.WithSqlState(sqlState, 0);
  return error;
}

bool ShowsLoss(PGconn* conn, const QuillError& failure) {
  return PQstatus(conn) == CONNECTION_BAD || failure.SqlState().starts_with(L"08") ||
         failure.SqlState().starts_with(L"57P0");
}

// Call texts ---------------------------------------------------------------------------------

// The SQL a command runs, which parameter goes to each $n, and which parameters take the
// columns of the first row (the return value, then output parameters).
struct Call {
  std::string sql;
  std::vector<size_t> args;
  std::vector<size_t> outputs;
  bool single = true;  // one statement: it can be prepared
};

// Replaces the ? markers outside literals, quoted names and comments by $1, $2, ... and
// tells whether the text holds more than one statement.
std::string NumberMarkers(std::string_view text, bool number, bool& single) {
  std::string out;
  out.reserve(text.size() + 16);
  int marker = 0;
  bool ended = false;  // a ; was seen outside literals
  single = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    auto copyUntil = [&](std::string_view close) {
      const size_t end = text.find(close, i + 1);
      const size_t stop = end == std::string_view::npos ? text.size() : end + close.size();
      out.append(text.substr(i, stop - i));
      i = stop - 1;
    };
    if (ended && !std::isspace(static_cast<unsigned char>(c)) && c != ';') single = false;
    if (c == '\'') {
      copyUntil("'");  // a doubled quote reads as two literals, which is the same here
    } else if (c == '"') {
      copyUntil("\"");
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      copyUntil("\n");
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      copyUntil("*/");
    } else if (c == '$' && (i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1])))) {
      // A dollar quote: $tag$ ... $tag$.
      size_t j = i + 1;
      while (j < text.size() &&
             (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_'))
        ++j;
      if (j < text.size() && text[j] == '$' &&
          (j == i + 1 || !std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
        const std::string tag(text.substr(i, j - i + 1));
        const size_t end = text.find(tag, j + 1);
        const size_t stop = end == std::string_view::npos ? text.size() : end + tag.size();
        out.append(text.substr(i, stop - i));
        i = stop - 1;
      } else {
        out += c;
      }
    } else if (c == '?' && number) {
      out += '$' + std::to_string(++marker);
    } else {
      if (c == ';') ended = true;
      out += c;
    }
  }
  return out;
}

Call CallOf(const CommandData& command) {
  Call call;
  const auto& params = command.parameters;
  if (command.commandType == adCmdStoredProc) {
    detail::CheckProcedureName(command.text);
    std::string list;
    for (size_t i = 0; i < params.size(); ++i) {
      const int32_t direction = params[i].direction;
      if (direction == adParamReturnValue) call.outputs.insert(call.outputs.begin(), i);
      if (direction == adParamOutput || direction == adParamInputOutput) call.outputs.push_back(i);
      if (direction == adParamInput || direction == adParamInputOutput) {
        call.args.push_back(i);
        list += (list.empty() ? "$" : ", $") + std::to_string(call.args.size());
      }
    }
    call.sql = "SELECT * FROM " + ToUtf8(command.text) + "(" + list + ")";
    return call;
  }
  for (size_t i = 0; i < params.size(); ++i) call.args.push_back(i);
  if (command.commandType == adCmdTable) {
    call.sql = "SELECT * FROM " + ToUtf8(command.text);
    return call;
  }
  call.sql = NumberMarkers(ToUtf8(command.text), !params.empty(), call.single);
  return call;
}

// The values of a call's parameters as libpq takes them.
struct Values {
  std::vector<std::string> text;
  std::vector<const char*> pointers;
  std::vector<int> lengths;
  std::vector<int> formats;
  int Count() const { return static_cast<int>(pointers.size()); }
};

std::string WireText(const ParameterData& p) {
  const Variant& v = p.wire;
  if (const auto* i = v.Get<int32_t>()) return std::to_string(*i);
  if (const auto* i = v.Get<int16_t>()) return std::to_string(*i);
  if (const auto* b = v.Get<bool>()) return *b ? "1" : "0";
  if (const auto* d = v.Get<Decimal>()) return d->ToString();
  if (const auto* d = v.Get<double>()) {
    if (std::isnan(*d)) return "NaN";
    if (std::isinf(*d)) return *d > 0 ? "Infinity" : "-Infinity";
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, *d).ptr);
  }
  if (const auto* d = v.Get<Date>()) return ToUtf8(IsoText(d->value));
  std::string text = ToUtf8(CStr(v));
  // A text parameter ends at its first zero byte on the way to the server, which could not
  // store the character anyway: refused rather than cut short.
  if (text.find('\0') != std::string::npos) {
    Raise(adErrDataConversion, L"Parameter \"" + p.name +
                                   L"\" holds a zero character, which the server cannot "
                                   L"store; nothing was sent.");
  }
  return text;
}

Values ValuesOf(const CommandData& command, const Call& call) {
  Values values;
  const size_t n = call.args.size();
  values.text.resize(n);
  values.pointers.resize(n, nullptr);
  values.lengths.resize(n, 0);
  values.formats.resize(n, 0);
  for (size_t k = 0; k < n; ++k) {
    const ParameterData& p = command.parameters[call.args[k]];
    if (p.wire.IsNull() || p.wire.IsEmpty()) continue;
    if (const auto* bytes = p.wire.Get<Variant::Bytes>()) {
      values.text[k].assign(bytes->begin(), bytes->end());
      values.formats[k] = 1;
    } else {
      values.text[k] = WireText(p);
    }
    values.lengths[k] = static_cast<int>(values.text[k].size());
  }
  for (size_t k = 0; k < n; ++k) {
    const ParameterData& p = command.parameters[call.args[k]];
    if (!p.wire.IsNull() && !p.wire.IsEmpty()) values.pointers[k] = values.text[k].c_str();
  }
  return values;
}

// Session ------------------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;
// No deadline: wait for as long as the server takes.
constexpr Clock::time_point kNever = Clock::time_point::max();

// The savepoints the commands of a transaction run under. Each command sets one, nested in
// the last; the first of a run is the base, and releasing the base every kUnitsPerRelease
// commands releases the whole run at once: one statement more per command, not two, and the
// nesting stays shallow.
constexpr char kBaseSavepoint[] = "SAVEPOINT quilldata_base";
constexpr char kUnitSavepoint[] = "SAVEPOINT quilldata_unit";
constexpr char kReleaseBase[] = "RELEASE SAVEPOINT quilldata_base";
constexpr int kUnitsPerRelease = 32;

// The settings the readers here rely on, whatever the role's: ISO dates and exact doubles. For
// the session; for the transaction that a BEGIN before them opens; or as one query, for the
// transaction under way: outside a transaction block, that of the pipeline or text it leads.
constexpr char kSessionSettings[] = "SET DateStyle = ISO, MDY; SET extra_float_digits = 3";
constexpr char kLocalSettings[] =
    "SET LOCAL DateStyle = ISO, MDY; SET LOCAL extra_float_digits = 3";
constexpr char kSettingsQuery[] =
    "SELECT set_config('DateStyle', 'ISO, MDY', true), set_config('extra_float_digits', '3', "
    "true)";

// Result columns whose text form those settings change.
bool ReadsSettings(Oid type) {
  switch (type) {
    case kFloat4:
    case kFloat8:
    case kDate:
    case kTime:
    case kTimestamp:
    case kTimestampTz:
      return true;
    default:
      return false;
  }
}

// True for a text that opens a transaction itself (BEGIN, START TRANSACTION): its isolation
// level must come before any query of the transaction.
bool OpensTransaction(std::string_view sql) {
  const size_t at = sql.find_first_not_of(" \t\r\n");
  if (at == std::string_view::npos) return false;
  for (std::string_view word : {"BEGIN", "START"}) {
    if (sql.size() - at < word.size()) continue;
    const size_t end = at + word.size();
    if (std::equal(
            word.begin(), word.end(), sql.begin() + at,
            [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); }) &&
        (end == sql.size() || !std::isalnum(static_cast<unsigned char>(sql[end]))))
      return true;
  }
  return false;
}

// The server's SQLSTATE in a verbose connection failure ("FATAL:  28P01: password ..."),
// taken out of the message; empty when the server said nothing (refused, unreachable).
std::wstring TakeSqlState(std::wstring& message) {
  for (size_t at = message.find(L":  "); at != std::wstring::npos;
       at = message.find(L":  ", at + 1)) {
    const size_t code = at + 3;
    if (code + 6 > message.size() || message[code + 5] != L':') continue;
    const std::wstring state = message.substr(code, 5);
    if (!std::all_of(state.begin(), state.end(),
                     [](wchar_t c) { return std::iswdigit(c) || std::iswupper(c); }))
      continue;
    message.erase(code, 7);
    return state;
  }
  return {};
}

class LibpqSession : public Session {
 public:
  // prepare: whether statements are kept prepared in the server session; unset, they are
  // unless a pooler stands in between.
  LibpqSession(const std::vector<const char*>& keywords, const std::vector<const char*>& values,
               bool expand, ConnectionTimeouts timeouts, std::optional<bool> prepare)
      : timeouts_(timeouts) {
    conn_ = PQconnectStartParams(keywords.data(), values.data(), expand ? 1 : 0);
    if (!conn_) throw std::bad_alloc();
    // The server's SQLSTATE of a refused login comes only in the verbose message: it tells a
    // refusal that lasts (a password, a database) from a server on its way up.
    PQsetErrorVerbosity(conn_, PQERRORS_VERBOSE);
    const Clock::time_point deadline =
        timeouts_.connect > 0 ? Clock::now() + std::chrono::seconds(timeouts_.connect) : kNever;
    PostgresPollingStatusType polled = PGRES_POLLING_WRITING;
    bool timedOut = false;
    while (PQstatus(conn_) != CONNECTION_BAD && polled != PGRES_POLLING_OK &&
           polled != PGRES_POLLING_FAILED) {
      if (!Wait(polled == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline)) {
        timedOut = true;
        break;
      }
      polled = PQconnectPoll(conn_);
    }
    if (timedOut || PQstatus(conn_) != CONNECTION_OK) {
      std::wstring message = timedOut ? L"timeout expired" : Trimmed(PQerrorMessage(conn_));
      std::wstring state = TakeSqlState(message);
      PQfinish(conn_);
      conn_ = nullptr;
      if (state.empty()) state = L"08001";
      QuillError failure(adErrDataSource, kLibpqSource, message + L" (SQLSTATE " + state + L")");
      failure.WithSqlState(state, 0);
      // Too many connections now is a server that is busy, not one that refuses this login.
      if (state == L"53300") failure.WithKind(ErrorKind::ConnectionLost);
      if (timedOut) {
        failure.WithKind(ErrorKind::Timeout);
        detail::RaiseTimedOut(failure, L"Opening the connection", timeouts_.connect,
                              L"Connect Timeout");
      }
      throw failure;
    }
    PQsetErrorVerbosity(conn_, PQERRORS_DEFAULT);
    // Notices go nowhere, but a FATAL one (the server ending the session while it is idle)
    // marks the connection gone.
    PQsetNoticeReceiver(conn_, &LibpqSession::Notice, this);
    // A pooler answers the connection itself, with a process id of its own, and lends the
    // server's sessions out: then the settings go with every statement (or transaction), and
    // nothing is left in a session that another client gets next.
    Result who(PQexec(conn_, "SELECT pg_backend_pid()"));
    if (PQresultStatus(who.get()) == PGRES_TUPLES_OK && PQntuples(who.get()) == 1) {
      pooled_ = std::atoi(PQgetvalue(who.get(), 0, 0)) != PQbackendPID(conn_);
      serverPrepare_ = prepare.value_or(!pooled_);
      // The command timeout is the server's own, so that it cancels the statement alone;
      // behind a pooler the statement is cancelled from here instead (Next).
      if (!pooled_)
        who.reset(PQexec(conn_, (std::string(kSessionSettings) + "; SET statement_timeout = " +
                                 std::to_string(int64_t{timeouts_.command} * 1000))
                                    .c_str()));
    }
    if (PQresultStatus(who.get()) != (pooled_ ? PGRES_TUPLES_OK : PGRES_COMMAND_OK)) {
      QuillError failure = Failure(conn_, who.get());
      Close();
      throw failure;
    }
  }

  ~LibpqSession() override { Close(); }

  void Close() noexcept override {
    copy_.reset();  // a load under way is abandoned while the connection is there
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    prepared_.clear();
    inTransaction_ = false;
  }

  bool Lost() const noexcept override { return lost_; }

  bool Dead() noexcept override {
    if (lost_ || !conn_) return lost_;
    pollfd ready{PQsocket(conn_), POLLIN, 0};
    if (poll(&ready, 1, 0) <= 0) return false;
    // Reading parses too (PQisBusy): a FATAL message reaches the notice receiver.
    if (!PQconsumeInput(conn_) || (PQisBusy(conn_), PQstatus(conn_) == CONNECTION_BAD) || ending_) {
      MarkLost();
    }
    return lost_;
  }

  void Begin() override {
    try {
      Simple(pooled_ ? (std::string("BEGIN; ") + kLocalSettings).c_str() : "BEGIN");
    } catch (const QuillError& failure) {
      // A pooler that lends server sessions per statement ends the connection at BEGIN with
      // an error of its own (08P01): it cannot hold a transaction.
      if (!pooled_ || !lost_ || failure.SqlState() != L"08P01") throw;
      throw QuillError(adErrFeatureNotAvailable, kLibpqSource,
                       L"The connection pooler in front of the server cannot hold a "
                       L"transaction (it lends server sessions per statement) and ended the "
                       L"connection at BEGIN: " +
                           failure.Description() +
                           L" Transactions need a pool in transaction or session mode; nothing "
                           L"was written.")
          .WithKind(ErrorKind::Unsupported);
    }
    inTransaction_ = true;
    depth_ = 0;
  }

  void Commit() override {
    Result done = Simple("COMMIT");
    inTransaction_ = false;
    // A transaction the server had aborted "commits" as a rollback.
    if (std::string_view(PQcmdStatus(done.get())) == "ROLLBACK") {
      throw QuillError(adErrDataSource, kLibpqSource,
                       L"The server rolled the transaction back instead of committing it.")
          .WithKind(ErrorKind::TransactionAborted);
    }
  }

  void Rollback() override {
    inTransaction_ = false;
    Simple("ROLLBACK");
  }

  bool InTransaction() const noexcept override { return inTransaction_; }

  ExecuteResult Execute(const CommandData& command) override { return Guarded(command, nullptr); }

  ExecuteResult Stream(const CommandData& command, RowSink& sink) override {
    return Guarded(command, &sink);
  }

  ExecuteResult Guarded(const CommandData& command, RowSink* sink) {
    if (!conn_) Raise(adErrInvalidConnection, L"The connection is closed.");
    if (lost_) {
      throw QuillError(adErrDataSource, kLibpqSource, L"The connection to the server is lost.")
          .WithKind(ErrorKind::ConnectionLost);
    }
    const Call call = CallOf(command);
    const Values values = ValuesOf(command, call);
    try {
      try {
        return Run(command, call, values, sink);
      } catch (const QuillError& failure) {
        const std::wstring& state = failure.SqlState();
        // Sent again only outside a transaction: a failure in one has aborted it.
        if (lost_ || PQtransactionStatus(conn_) != PQTRANS_IDLE) throw;
        // A name that this server session does not hold (26000) or holds already (42P05): a
        // pooler not seen at connect hands over other sessions, or SQL text deallocated it.
        // The statement failed before it ran; from now on statements go unnamed.
        if ((state == L"26000" || state == L"42P05") && serverPrepare_) {
          serverPrepare_ = false;
          pooled_ = true;
          prepared_.clear();
          return Run(command, call, values, sink);
        }
        // A kept SELECT * of a table whose columns changed since: prepared again, once.
        if (state != L"0A000" || !prepared_.contains(call.sql)) throw;
        Forget(call.sql);
        return Run(command, call, values, sink);
      }
    } catch (const QuillError& failure) {
      if (!lost_ && failure.SqlState() == L"57014" && timeouts_.command > 0)
        detail::RaiseTimedOut(failure, L"The command", timeouts_.command, L"Command Timeout");
      throw;
    }
  }

  BulkCopy* Bulk() override {
    if (!copy_) copy_ = std::make_unique<libpq::Copy>(*this);
    return copy_.get();
  }

  PGconn* Raw() { return conn_; }
  [[noreturn]] void Fail(const PGresult* result) {
    QuillError failure = Failure(conn_, result);
    if (ShowsLoss(conn_, failure)) MarkLost();
    throw failure;
  }

 private:
  struct Prepared {
    std::string name;
    bool binary = false;  // its results come in binary
  };

  static void Notice(void* self, const PGresult* notice) {
    const char* severity = PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (severity &&
        (std::string_view(severity) == "FATAL" || std::string_view(severity) == "PANIC"))
      static_cast<LibpqSession*>(self)->ending_ = true;
  }

  void MarkLost() noexcept {
    lost_ = true;
    inTransaction_ = false;
  }

  // When a command given now must have its answer: the command timeout, and a second for the
  // server's own statement timeout (behind a pooler, the cancel sent at the timeout) to end it
  // first; no deadline without a command timeout.
  Clock::time_point CommandDeadline() {
    if (timeouts_.command <= 0) return kNever;
    const Clock::time_point now = Clock::now();
    cancelAt_ = pooled_ ? now + std::chrono::seconds(timeouts_.command) : kNever;
    return now + std::chrono::seconds(timeouts_.command) + std::chrono::seconds(1);
  }

  // Asks the server to cancel the statement under way, which it ends as its statement timeout
  // would (57014); the pooler passes the request on to the server session it lent. The request
  // goes from a thread of its own: a pooler that does not answer must not hold the caller past
  // its deadline.
  void Cancel() {
    if (PGcancel* cancel = PQgetCancel(conn_)) {
      std::thread([cancel] {
        char error[256];
        PQcancel(cancel, error, sizeof error);
        PQfreeCancel(cancel);
      }).detach();
    }
  }

  // Waits until the socket is ready for `events`; false at the deadline.
  bool Wait(short events, Clock::time_point deadline) {
    for (;;) {
      int ms = -1;
      if (deadline != kNever) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        ms = static_cast<int>(std::min<int64_t>(left, 60000));
      }
      pollfd ready{PQsocket(conn_), events, 0};
      const int n = poll(&ready, 1, ms);
      if (n > 0) return true;
      if (n < 0 && errno != EINTR) return true;  // libpq reports what is wrong with the socket
    }
  }

  // The next result of the command under way, once libpq has it; at the deadline the
  // connection is given up: a server that does not answer (a frozen process, a dead network)
  // must not hold the caller for ever.
  Result Next(Clock::time_point deadline) {
    while (PQisBusy(conn_)) {
      if (cancelAt_ < deadline && !Wait(POLLIN, cancelAt_)) {
        cancelAt_ = kNever;
        Cancel();
        continue;
      }
      if (!Wait(POLLIN, deadline)) {
        Close();
        MarkLost();
        throw QuillError(adErrDataSource, kLibpqSource,
                         L"The server gave no answer within the command timeout of " +
                             std::to_wstring(timeouts_.command) +
                             L" seconds (Command Timeout), so the connection was given up; "
                             L"whether the command took effect is unknown.")
            .WithKind(ErrorKind::Timeout);
      }
      if (!PQconsumeInput(conn_)) break;  // PQgetResult tells what went wrong
    }
    return Result(PQgetResult(conn_));
  }

  // The failure of a command: a connection that broke under it is lost, and the failure says
  // whether the command surely took no effect. It did not when it never left (it was being
  // prepared, or its sending failed), or when the server ended the session before answering
  // a command sent in the extended protocol (whose commit comes after its answer); otherwise
  // its outcome is unknown.
  [[noreturn]] void FailCommand(const PGresult* result, bool sent, bool answered, bool extended) {
    QuillError failure = Failure(conn_, result);
    if (ShowsLoss(conn_, failure)) {
      MarkLost();
      const bool noEffect =
          !sent || (extended && !answered && failure.SqlState().starts_with(L"57P0"));
      failure.WithKind(noEffect ? ErrorKind::ConnectionLost : ErrorKind::OutcomeUnknown);
    }
    throw failure;
  }

  // Runs a statement without parameters and waits for its answer; the last result.
  Result Simple(const char* sql) {
    if (lost_ || !conn_) {
      throw QuillError(adErrDataSource, kLibpqSource, L"The connection to the server is lost.")
          .WithKind(ErrorKind::ConnectionLost);
    }
    if (!PQsendQuery(conn_, sql)) FailCommand(nullptr, false, false, false);
    const Clock::time_point deadline = CommandDeadline();
    Result last, failed;
    while (Result r = Next(deadline)) {
      if (PQresultStatus(r.get()) == PGRES_FATAL_ERROR && !failed)
        failed = std::move(r);
      else
        last = std::move(r);
    }
    if (failed || PQstatus(conn_) == CONNECTION_BAD) FailCommand(failed.get(), true, false, false);
    return last;
  }

  // The statement kept for a text, prepared now when it is not yet; nullptr for a text that
  // runs unprepared.
  const Prepared* Prepare(const std::string& sql, bool single, int parameters) {
    if (auto it = prepared_.find(sql); it != prepared_.end()) return &it->second;
    if (!serverPrepare_ || !single || sql.size() > kMaxPreparedText ||
        prepared_.size() >= kMaxPrepared)
      return nullptr;
    // Named after the text, so that a name another session holds never stands for another
    // statement.
    char hash[17];
    const auto end = std::to_chars(hash, hash + 16, std::hash<std::string>{}(sql), 16).ptr;
    Prepared statement{"quilldata_" + std::string(hash, end), false};
    const Clock::time_point deadline = CommandDeadline();
    // Nothing of the command has run while it is being prepared.
    if (!PQsendPrepare(conn_, statement.name.c_str(), sql.c_str(), parameters, nullptr))
      FailCommand(nullptr, false, false, true);
    Result made = Drain(deadline);
    if (PQresultStatus(made.get()) != PGRES_COMMAND_OK) FailCommand(made.get(), false, false, true);
    if (!PQsendDescribePrepared(conn_, statement.name.c_str()))
      FailCommand(nullptr, false, false, true);
    Result described = Drain(deadline);
    if (PQresultStatus(described.get()) != PGRES_COMMAND_OK)
      FailCommand(described.get(), false, false, true);
    const int fields = PQnfields(described.get());
    statement.binary = fields > 0;
    for (int c = 0; c < fields; ++c)
      statement.binary = statement.binary && BinaryReadable(PQftype(described.get(), c));
    return &prepared_.emplace(sql, std::move(statement)).first->second;
  }

  // Every result of the exchange under way; the first one (a failure when there was one).
  Result Drain(Clock::time_point deadline) {
    Result first;
    while (Result r = Next(deadline)) {
      if (!first || (PQresultStatus(r.get()) == PGRES_FATAL_ERROR &&
                     PQresultStatus(first.get()) != PGRES_FATAL_ERROR))
        first = std::move(r);
    }
    return first;
  }

  void Forget(const std::string& sql) {
    auto it = prepared_.find(sql);
    Result(PQexec(conn_, ("DEALLOCATE " + it->second.name).c_str()));
    prepared_.erase(it);
  }

  // Sends the call and reads every result; the rows of the first one with columns go to
  // `sink` when given (once every result is in and none failed), else into the result. In a
  // transaction the call runs under a savepoint, sent with it in one pipeline (the savepoint
  // is released behind it), so that a failure undoes the call alone. Behind a pooler, outside
  // a transaction, the session's settings go in one pipeline with the call, which makes them
  // one transaction on one server session.
  ExecuteResult Run(const CommandData& command, const Call& call, const Values& values,
                    RowSink* sink) {
    const bool unit = inTransaction_;
    // In a transaction: the command's savepoint, and whether the run is released behind it.
    const char* savepoint = depth_ == 0 ? kBaseSavepoint : kUnitSavepoint;
    const bool releases = unit && depth_ + 1 >= kUnitsPerRelease;
    // What the last run of an unnamed statement showed of its result.
    const auto known = pooled_ || !serverPrepare_ ? learned_.find(call.sql) : learned_.end();
    // The statement that goes before the command, if any. Behind a pooler the settings go with
    // a statement unless its last result had no column that they change; a transaction that
    // SQL text opened has them from its start, and a text that opens one gets them after it.
    const bool opens = pooled_ && !unit && OpensTransaction(call.sql);
    const bool quiet = known != learned_.end() && !known->second.settings;
    const char* lead = unit ? savepoint
                       : pooled_ && !opens && !quiet && PQtransactionStatus(conn_) == PQTRANS_IDLE
                           ? kSettingsQuery
                           : nullptr;
    const Prepared* prepared = nullptr;
    bool leadSent = false;  // by a statement of its own, before the command
    if (unit) {
      for (const char* sql : {kBaseSavepoint, kUnitSavepoint, kReleaseBase}) Prepare(sql, true, 0);
      // A statement that fails to prepare aborts the transaction as a failing one does: it is
      // prepared under the savepoint.
      if (serverPrepare_ && !prepared_.contains(call.sql)) {
        Simple(savepoint);
        leadSent = true;
        try {
          prepared = Prepare(call.sql, call.single, values.Count());
        } catch (const QuillError& failure) {
          if (!lost_) UndoUnit(failure, savepoint);
          throw;
        }
      }
    }
    if (!prepared) prepared = Prepare(call.sql, call.single, values.Count());
    // One statement goes in one pipeline with what leads it (and the release of the run
    // behind it). Several in one text cannot: a savepoint is set on its own first, and the
    // settings go in the same text ahead of them.
    const bool pipeline = lead && !leadSent && (prepared || call.single);
    if (unit && !pipeline && !leadSent) {
      Simple(savepoint);
      leadSent = true;
    }
    const bool prefixed = lead && !unit && !pipeline && values.Count() == 0;
    if (pipeline && !PQenterPipelineMode(conn_)) FailCommand(nullptr, false, false, true);
    auto sendPiece = [&](const char* sql) {
      auto it = prepared_.find(sql);
      return it != prepared_.end()
                 ? PQsendQueryPrepared(conn_, it->second.name.c_str(), 0, nullptr, nullptr, nullptr,
                                       0)
                 : PQsendQueryParams(conn_, sql, 0, nullptr, nullptr, nullptr, nullptr, 0);
    };
    // An unnamed statement's results come in binary once a run has shown every column's type
    // readable so; a procedure's (one row) always as text.
    const bool learns = !prepared && call.single && (pooled_ || !serverPrepare_);
    const bool binary = learns && known != learned_.end() && known->second.binary &&
                        command.commandType != adCmdStoredProc;
    int sent = pipeline ? sendPiece(lead) : 1;
    if (!sent) {
    } else if (prefixed) {
      sent = PQsendQuery(conn_, (std::string(kSettingsQuery) + "; " + call.sql).c_str());
    } else if (prepared) {
      sent = PQsendQueryPrepared(conn_, prepared->name.c_str(), values.Count(),
                                 values.pointers.data(), values.lengths.data(),
                                 values.formats.data(), prepared->binary ? 1 : 0);
    } else if (values.Count() == 0 && !pipeline && !binary) {
      sent = PQsendQuery(conn_, call.sql.c_str());
    } else {
      sent = PQsendQueryParams(conn_, call.sql.c_str(), values.Count(), nullptr,
                               values.pointers.data(), values.lengths.data(), values.formats.data(),
                               binary ? 1 : 0);
    }
    if (sent && pipeline) sent = (!releases || sendPiece(kReleaseBase)) && PQpipelineSync(conn_);
    const bool extended = prepared || pipeline || binary || values.Count() > 0;
    if (!sent) FailCommand(nullptr, false, false, extended);

    ExecuteResult result;
    const bool wantsRows = detail::WantsRows(command.options) && call.outputs.empty();
    const Clock::time_point deadline = CommandDeadline();
    Result first;  // the first result with columns
    Result failed;
    bool answered = false;
    // In a pipeline the lead's results come first, then the call's, then the release's if
    // any, each set ended by a null result, and a sync closes them all. Settings put ahead of
    // the text give the first result of it.
    int part = pipeline ? 0 : 1;
    int skip = prefixed ? 1 : 0;
    // Every result is read, so that the connection is ready for the next command.
    for (;;) {
      Result r = Next(deadline);
      if (PQstatus(conn_) == CONNECTION_BAD) {
        if (!failed && r && PQresultStatus(r.get()) == PGRES_FATAL_ERROR) failed = std::move(r);
        FailCommand(failed.get(), true, answered, extended);
      }
      if (!r) {
        if (!pipeline) break;
        ++part;
        continue;
      }
      const ExecStatusType status = PQresultStatus(r.get());
      if (status == PGRES_PIPELINE_SYNC) break;
      if (part != 1 || skip > 0) {
        skip = std::max(skip - 1, 0);
        if (status == PGRES_FATAL_ERROR && !failed) failed = std::move(r);
        continue;
      }
      switch (status) {
        case PGRES_TUPLES_OK:
          answered = true;
          if (!first && !failed && (wantsRows || !call.outputs.empty())) first = std::move(r);
          break;
        case PGRES_COMMAND_OK:
          answered = true;
          if (const char* count = PQcmdTuples(r.get()); count && *count)
            result.recordsAffected = std::max(result.recordsAffected, 0) + std::atoi(count);
          break;
        case PGRES_COPY_IN:
          PQputCopyEnd(conn_, "COPY FROM STDIN is not carried by a command");
          break;
        case PGRES_COPY_OUT: {
          char* buffer = nullptr;
          while (PQgetCopyData(conn_, &buffer, 0) > 0) PQfreemem(buffer);
          break;
        }
        case PGRES_EMPTY_QUERY:
        case PGRES_PIPELINE_ABORTED:
          break;
        default:
          if (!failed) failed = std::move(r);
      }
    }
    if (pipeline) PQexitPipelineMode(conn_);
    if (PQstatus(conn_) == CONNECTION_BAD) FailCommand(failed.get(), true, answered, extended);
    if (failed) {
      if (unit) UndoUnit(Failure(conn_, failed.get()), savepoint);
      FailCommand(failed.get(), true, answered, extended);
    }
    if (unit && !pipeline && releases) Simple(kReleaseBase);
    if (opens && PQtransactionStatus(conn_) == PQTRANS_INTRANS) Simple(kLocalSettings);
    if (unit) depth_ = releases ? 0 : depth_ + 1;
    if (learns && first) {
      Learned seen{PQnfields(first.get()) > 0, false};
      for (int c = 0; c < PQnfields(first.get()); ++c) {
        seen.binary = seen.binary && BinaryReadable(PQftype(first.get(), c));
        seen.settings = seen.settings || ReadsSettings(PQftype(first.get(), c));
      }
      if (known != learned_.end() || learned_.size() < kMaxPrepared) learned_[call.sql] = seen;
      // Columns whose types changed since the last run (an altered table) came in a binary
      // form not read here: reported, and read as text from the next run on.
      if (binary && !seen.binary) {
        throw QuillError(ErrNo::TypeMismatch, kLibpqSource,
                         L"The result's columns changed since the statement last ran, so they "
                         L"came in a form not read here; the next run reads them as text.");
      }
    }

    result.outputs.resize(command.parameters.size());
    if (!call.outputs.empty()) {
      for (size_t k = 0; k < call.outputs.size(); ++k) {
        const bool there =
            first && PQntuples(first.get()) > 0 && static_cast<int>(k) < PQnfields(first.get());
        result.outputs[call.outputs[k]] =
            there ? CellOf(first.get(), 0, static_cast<int>(k)) : Variant::Null();
      }
    } else if (wantsRows && first) {
      if (sink) {
        ResultRows(first.get()).Stream(*sink);
      } else {
        result.rows = RowsOf(first.get());
      }
    }
    return result;
  }

  // After a command of a transaction failed: its savepoint is rolled back, so that the
  // transaction goes on without it (the savepoint stays, empty, in the run). A serialization
  // failure or deadlock ends the whole transaction instead (its snapshot cannot be trusted any
  // more).
  void UndoUnit(const QuillError& failure, const char* savepoint) {
    try {
      if (failure.SqlState() == L"40001" || failure.SqlState() == L"40P01") {
        Rollback();
      } else {
        Simple((std::string("ROLLBACK TO ") + savepoint).c_str());
        ++depth_;
      }
    } catch (const QuillError&) {
      // The command's own failure is the one to report; the transaction is over.
      inTransaction_ = false;
    }
  }

  PGconn* conn_ = nullptr;
  ConnectionTimeouts timeouts_;
  bool lost_ = false;
  bool ending_ = false;  // the server sent a FATAL notice: it is closing the connection
  bool inTransaction_ = false;
  int depth_ = 0;              // savepoints of the transaction's run not yet released
  bool pooled_ = false;        // a pooler stands between: nothing is left in the server session
  bool serverPrepare_ = true;  // statements are kept prepared in the server session
  Clock::time_point cancelAt_ = kNever;  // behind a pooler: when the command is cancelled
  std::unordered_map<std::string, Prepared> prepared_;
  std::unique_ptr<libpq::Copy> copy_;  // made on first use
  // What the last result of an unnamed statement showed: whether it can come in binary, and
  // whether it has a column that the settings change.
  struct Learned {
    bool binary = false;
    bool settings = true;
  };
  std::unordered_map<std::string, Learned> learned_;
};

// Connection strings -------------------------------------------------------------------------

// The library's key names for libpq's connection keywords.
struct KeyName {
  std::wstring_view key;
  const char* keyword;
};
constexpr KeyName kKeys[] = {
    {L"Host", "host"},         {L"Server", "host"},     {L"Data Source", "host"},
    {L"Port", "port"},         {L"Database", "dbname"}, {L"Initial Catalog", "dbname"},
    {L"User", "user"},         {L"User ID", "user"},    {L"UID", "user"},
    {L"Password", "password"}, {L"PWD", "password"},    {L"SSLMode", "sslmode"},
};
// Keys the connection reads for itself.
constexpr std::wstring_view kOwnKeys[] = {
    L"Provider",        L"Connect Timeout", L"Connection Timeout",  L"LoginTimeout",
    L"Command Timeout", L"QueryTimeout",    L"UseServerSidePrepare"};

// A libpq keyword of the same name (sslrootcert, application_name, ...), else empty.
std::string NativeKeyword(const std::wstring& key) {
  std::string lower = ToUtf8(key);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  PQconninfoOption* options = PQconndefaults();
  std::string found;
  for (PQconninfoOption* o = options; o && o->keyword; ++o) {
    if (lower == o->keyword) found = lower;
  }
  PQconninfoFree(options);
  return found;
}

class LibpqProvider : public Provider {
 public:
  std::unique_ptr<Session> Open(const std::wstring& connectionString, const std::wstring& userId,
                                const std::wstring& password) override {
    if (connectionString.find_first_not_of(L" \t\r\n;") == std::wstring::npos)
      Raise(adErrInvalidConnection, L"The connection string is empty.");
    std::vector<std::pair<std::string, std::string>> pairs;
    ConnectionTimeouts timeouts;
    std::optional<bool> prepare;
    const bool uri = detail::IsPostgresUri(connectionString);
    if (uri) {
      // The URI's own settings win over the connect timeout put before it.
      pairs.emplace_back("connect_timeout", std::to_string(timeouts.connect));
      pairs.emplace_back("dbname", ToUtf8(connectionString));
    } else {
      const auto items = ParseConnectionString(connectionString);
      timeouts = TimeoutsOf(items);
      // The ODBC driver's name for the same switch.
      if (const std::wstring value = ConnectionStringValue(items, L"UseServerSidePrepare");
          !value.empty()) {
        if (value != L"0" && value != L"1")
          Raise(adErrInvalidArgument,
                L"UseServerSidePrepare must be 0 or 1, not \"" + value + L"\".");
        prepare = value == L"1";
      }
      pairs.emplace_back("connect_timeout", std::to_string(timeouts.connect));
      for (const auto& item : items) {
        if (std::any_of(std::begin(kOwnKeys), std::end(kOwnKeys),
                        [&](std::wstring_view k) { return detail::SameText(item.key, k); }))
          continue;
        auto known = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const KeyName& k) {
          return detail::SameText(item.key, k.key);
        });
        std::string keyword = known != std::end(kKeys) ? known->keyword : NativeKeyword(item.key);
        if (keyword.empty())
          Raise(adErrInvalidArgument,
                L"The connection string key \"" + item.key + L"\" means nothing to PostgreSQL.");
        pairs.emplace_back(std::move(keyword), ToUtf8(item.value));
      }
    }
    if (!userId.empty()) pairs.emplace_back("user", ToUtf8(userId));
    if (!password.empty()) pairs.emplace_back("password", ToUtf8(password));
    // Text crosses as UTF-8 whatever the URI or the environment says.
    pairs.emplace_back("client_encoding", "UTF8");
    std::vector<const char*> keywords, values;
    for (const auto& [k, v] : pairs) {
      keywords.push_back(k.c_str());
      values.push_back(v.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    return std::make_unique<LibpqSession>(keywords, values, uri, timeouts, prepare);
  }
};

}  // namespace

std::shared_ptr<Provider> MakeLibpqProvider() {
  return std::make_shared<LibpqProvider>();
}

namespace libpq {

PGconn* Raw(Session& session) {
  auto* own = dynamic_cast<LibpqSession*>(&session);
  return own ? own->Raw() : nullptr;
}

void Fail(Session& session, const PGresult* result) {
  auto* own = dynamic_cast<LibpqSession*>(&session);
  if (!own) Raise(adErrInvalidConnection, L"The connection is not a PostgreSQL one.");
  own->Fail(result);
}

}  // namespace libpq

}  // namespace QuillData::ado
