// The libpq provider: PostgreSQL through its own client library. A procedure call runs as
// SELECT * FROM name($1, ...), so a scalar function hands back its value and a set-returning
// one its rows. Every single statement is prepared once per connection and kept; its results
// come in binary when every column's type has a binary form read here, else as text.
// Parameters go as text (bytes in binary) with their types left to the server, so that a
// procedure's own signature decides them, as with the ODBC drivers.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
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

class LibpqSession : public Session {
 public:
  LibpqSession(const std::vector<const char*>& keywords, const std::vector<const char*>& values,
               bool expand, ConnectionTimeouts timeouts)
      : timeouts_(timeouts) {
    conn_ = PQconnectdbParams(keywords.data(), values.data(), expand ? 1 : 0);
    if (!conn_) throw std::bad_alloc();
    if (PQstatus(conn_) != CONNECTION_OK) {
      const std::wstring message = Trimmed(PQerrorMessage(conn_));
      PQfinish(conn_);
      conn_ = nullptr;
      QuillError failure(adErrDataSource, kLibpqSource, message + L" (SQLSTATE 08001)");
      failure.WithSqlState(L"08001", 0);
      if (message.find(L"timeout expired") != std::wstring::npos && timeouts_.connect > 0)
        detail::RaiseTimedOut(failure, L"Opening the connection", timeouts_.connect,
                              L"Connect Timeout");
      throw failure;
    }
    // ISO dates and exact doubles are what the readers here expect, whatever the role's
    // settings; the command timeout is the server's, so it cancels the statement alone.
    Result set(PQexec(conn_, ("SET DateStyle = ISO, MDY; SET extra_float_digits = 3; "
                              "SET statement_timeout = " +
                              std::to_string(int64_t{timeouts_.command} * 1000))
                                 .c_str()));
    if (PQresultStatus(set.get()) != PGRES_COMMAND_OK) {
      QuillError failure = Failure(conn_, set.get());
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
  }

  bool Lost() const noexcept override { return lost_; }

  ExecuteResult Execute(const CommandData& command) override { return Guarded(command, nullptr); }

  ExecuteResult Stream(const CommandData& command, RowSink& sink) override {
    return Guarded(command, &sink);
  }

  ExecuteResult Guarded(const CommandData& command, RowSink* sink) {
    if (!conn_) Raise(adErrInvalidConnection, L"The connection is closed.");
    if (lost_) Raise(adErrDataSource, L"The connection to the server is lost.");
    const Call call = CallOf(command);
    const Values values = ValuesOf(command, call);
    try {
      try {
        return Run(command, call, values, sink);
      } catch (const QuillError& failure) {
        // A kept SELECT * of a table whose columns changed since (0A000), or a statement that
        // SQL text deallocated (26000): prepared again, once, when no transaction was aborted.
        if ((failure.SqlState() != L"0A000" && failure.SqlState() != L"26000") ||
            !prepared_.contains(call.sql) || PQtransactionStatus(conn_) != PQTRANS_IDLE)
          throw;
        Forget(call.sql);
        return Run(command, call, values, sink);
      }
    } catch (const QuillError& failure) {
      lost_ = ShowsLoss(conn_, failure);
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
    lost_ = lost_ || ShowsLoss(conn_, failure);
    throw failure;
  }

 private:
  struct Prepared {
    std::string name;
    bool binary = false;  // its results come in binary
  };

  // The statement kept for a text, prepared now when it is not yet; nullptr for a text that
  // runs unprepared.
  const Prepared* Prepare(const Call& call, int parameters) {
    if (auto it = prepared_.find(call.sql); it != prepared_.end()) return &it->second;
    if (!call.single || call.sql.size() > kMaxPreparedText || prepared_.size() >= kMaxPrepared)
      return nullptr;
    Prepared statement{"quilldata_" + std::to_string(++named_), false};
    Result made(PQprepare(conn_, statement.name.c_str(), call.sql.c_str(), parameters, nullptr));
    if (PQresultStatus(made.get()) != PGRES_COMMAND_OK) Fail(made.get());
    Result described(PQdescribePrepared(conn_, statement.name.c_str()));
    if (PQresultStatus(described.get()) != PGRES_COMMAND_OK) Fail(described.get());
    const int fields = PQnfields(described.get());
    statement.binary = fields > 0;
    for (int c = 0; c < fields; ++c)
      statement.binary = statement.binary && BinaryReadable(PQftype(described.get(), c));
    return &prepared_.emplace(call.sql, std::move(statement)).first->second;
  }

  void Forget(const std::string& sql) {
    auto it = prepared_.find(sql);
    Result(PQexec(conn_, ("DEALLOCATE " + it->second.name).c_str()));
    prepared_.erase(it);
  }

  // Sends the call and reads every result; the rows of the first one with columns go to
  // `sink` when given (once every result is in and none failed), else into the result.
  ExecuteResult Run(const CommandData& command, const Call& call, const Values& values,
                    RowSink* sink) {
    const Prepared* prepared = Prepare(call, values.Count());
    int sent;
    if (prepared) {
      sent = PQsendQueryPrepared(conn_, prepared->name.c_str(), values.Count(),
                                 values.pointers.data(), values.lengths.data(),
                                 values.formats.data(), prepared->binary ? 1 : 0);
    } else if (values.Count() == 0) {
      sent = PQsendQuery(conn_, call.sql.c_str());
    } else {
      sent = PQsendQueryParams(conn_, call.sql.c_str(), values.Count(), nullptr,
                               values.pointers.data(), values.lengths.data(), values.formats.data(),
                               0);
    }
    if (!sent) Fail(nullptr);

    ExecuteResult result;
    const bool wantsRows = detail::WantsRows(command.options) && call.outputs.empty();
    Result first;  // the first result with columns
    Result failed;
    // Every result is read, so that the connection is ready for the next command.
    while (Result r{PQgetResult(conn_)}) {
      switch (PQresultStatus(r.get())) {
        case PGRES_TUPLES_OK:
          if (!first && !failed && (wantsRows || !call.outputs.empty())) first = std::move(r);
          break;
        case PGRES_COMMAND_OK:
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
          break;
        default:
          if (!failed) failed = std::move(r);
      }
      if (PQstatus(conn_) == CONNECTION_BAD && !failed) Fail(nullptr);
    }
    if (failed) Fail(failed.get());
    if (PQstatus(conn_) == CONNECTION_BAD) Fail(nullptr);

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

  PGconn* conn_ = nullptr;
  ConnectionTimeouts timeouts_;
  bool lost_ = false;
  std::unordered_map<std::string, Prepared> prepared_;
  uint64_t named_ = 0;
  std::unique_ptr<libpq::Copy> copy_;  // made on first use
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
constexpr std::wstring_view kOwnKeys[] = {L"Provider",           L"Connect Timeout",
                                          L"Connection Timeout", L"LoginTimeout",
                                          L"Command Timeout",    L"QueryTimeout"};

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
    const bool uri = detail::IsPostgresUri(connectionString);
    if (uri) {
      // The URI's own settings win over the connect timeout put before it.
      pairs.emplace_back("connect_timeout", std::to_string(timeouts.connect));
      pairs.emplace_back("dbname", ToUtf8(connectionString));
    } else {
      const auto items = ParseConnectionString(connectionString);
      timeouts = TimeoutsOf(items);
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
    return std::make_unique<LibpqSession>(keywords, values, uri, timeouts);
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
