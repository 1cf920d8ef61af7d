// The ODBC provider: unixODBC through its Unicode entry points. Text crosses as UTF-16
// (SQLWCHAR is 16 bits on unixODBC). A procedure call is prepared once per connection and its
// statement kept, so that the server parses and plans it once; a call the driver will not
// prepare runs directly (SQLExecDirectW), as does every other statement. Every result set is
// drained before output values are read, because some drivers deliver a return value only
// then.
#include "platform/Odbc.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <optional>
#include <span>
#include <thread>
#include <unordered_map>

#include "QuillData/ado/ConnectionString.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "ado/Deadline.h"
#include "ado/Detail.h"

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC must use 16-bit SQLWCHAR");

namespace QuillData::ado {

using detail::Raise;

namespace {

using WText = std::basic_string<SQLWCHAR>;

WText ToW(std::wstring_view text) {
  const std::u16string u = ToUtf16(text);
  return WText(u.begin(), u.end());
}

std::wstring FromW(const SQLWCHAR* units, size_t count) {
  return FromUtf16(std::u16string(units, units + count));
}

bool Ok(SQLRETURN rc) {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

std::wstring SourceFor(const std::wstring& driver) {
  return driver.empty() ? std::wstring(detail::kSource)
                        : std::wstring(detail::kSource) + L" (" + driver + L")";
}

// Every diagnostic record of the handle: "message (SQLSTATE xxxxx, native error n)"; the
// SQLSTATEs also go to states when given.
std::wstring Diagnostics(SQLSMALLINT type, SQLHANDLE handle,
                         std::vector<std::wstring>* states = nullptr,
                         SQLINTEGER* firstNative = nullptr) {
  std::wstring out;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> message(1024);
    SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.resize(static_cast<size_t>(length) + 1);
      rc = SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!Ok(rc)) break;
    std::wstring text = FromW(
        message.data(), std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)),
                                         message.size() - 1));
    while (!text.empty() && std::iswspace(static_cast<wint_t>(text.back()))) text.pop_back();
    if (!out.empty()) out += L"; ";
    out += text + L" (SQLSTATE " + FromW(state, 5) + L", native error " + std::to_wstring(native) +
           L")";
    if (states) states->push_back(FromW(state, 5));
    if (firstNative && record == 1) *firstNative = native;
  }
  return out.empty() ? L"The driver reported a failure without a message." : out;
}

// A failure the driver reported, with its SQLSTATEs, so that a session can tell a lost
// connection and a timeout from other failures.
class OdbcFailure : public QuillError {
 public:
  OdbcFailure(std::wstring source, std::wstring description, std::vector<std::wstring> states,
              int32_t nativeError)
      : QuillError(adErrDataSource, std::move(source), std::move(description)),
        states_(std::move(states)) {
    if (!states_.empty()) WithSqlState(states_.front(), nativeError);
  }
  bool Any(std::initializer_list<std::wstring_view> prefixes) const {
    return std::any_of(states_.begin(), states_.end(), [&](const std::wstring& state) {
      return std::any_of(prefixes.begin(), prefixes.end(),
                         [&](std::wstring_view p) { return state.starts_with(p); });
    });
  }

 private:
  std::vector<std::wstring> states_;
};

[[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle, const std::wstring& driver) {
  std::vector<std::wstring> states;
  SQLINTEGER native = 0;
  std::wstring text = Diagnostics(type, handle, &states, &native);
  throw OdbcFailure(SourceFor(driver), std::move(text), std::move(states), native);
}

// The driver's timeout states, the server's "statement cancelled" that a server-side
// statement timeout comes back as, and the driver's "cancelled" when the timeout's cancel
// (behind a pooler) came as the rows were read.
bool IsTimeout(const OdbcFailure& failure) {
  return failure.Any({L"HYT00", L"HYT01", L"57014", L"HY008"});
}

// A handle keeps its parent: a statement still held by a cancel under way on a thread of its
// own keeps its connection (and that its environment) until the statement is freed.
class Handle {
 public:
  Handle(SQLSMALLINT type, std::shared_ptr<Handle> parent)
      : type_(type), parent_(std::move(parent)) {
    if (!Ok(SQLAllocHandle(type, parent_ ? parent_->get() : SQL_NULL_HANDLE, &handle_)))
      handle_ = SQL_NULL_HANDLE;
  }
  ~Handle() {
    if (handle_ == SQL_NULL_HANDLE) return;
    if (type_ == SQL_HANDLE_DBC) SQLDisconnect(handle_);  // an error when it is not connected
    SQLFreeHandle(type_, handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  SQLHANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }

 private:
  SQLSMALLINT type_;
  std::shared_ptr<Handle> parent_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// Runs a function when the scope ends, however it ends.
template <class F>
class AtExit {
 public:
  explicit AtExit(F f) : f_(std::move(f)) {}
  ~AtExit() { f_(); }
  AtExit(const AtExit&) = delete;
  AtExit& operator=(const AtExit&) = delete;

 private:
  F f_;
};

std::shared_ptr<Handle> NewEnvironment() {
  auto env = std::make_shared<Handle>(SQL_HANDLE_ENV, nullptr);
  if (!*env) Raise(adErrDataSource, L"The ODBC driver manager could not allocate an environment.");
  if (!Ok(SQLSetEnvAttr(env->get(), SQL_ATTR_ODBC_VERSION,
                        reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)), 0))) {
    Fail(SQL_HANDLE_ENV, env->get(), L"");
  }
  return env;
}

// Dates ------------------------------------------------------------------------------------

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

const sys_days kDayZero = sys_days{std::chrono::year{1899} / 12 / 30};

// Days since 1899-12-30; before it, the fraction still counts forward from the day's start.
Date DateFrom(int y, unsigned m, unsigned d, unsigned hh, unsigned mi, unsigned ss,
              SQLUINTEGER nanoseconds) {
  const auto whole = (sys_days{std::chrono::year{y} / m / d} - kDayZero).count();
  const double time = (hh * 3600.0 + mi * 60.0 + ss + nanoseconds / 1e9) / 86400.0;
  return Date{whole >= 0 ? whole + time : whole - time};
}

SQL_TIMESTAMP_STRUCT TimestampOf(Date date) {
  if (!std::isfinite(date.value) || std::fabs(date.value) > 3e6) {
    Raise(adErrDataOverflow, L"The date value is out of range.");
  }
  const double whole = std::trunc(date.value);
  int64_t ms = std::llround(std::fabs(date.value - whole) * 86400000.0);
  sys_days day = kDayZero + days{static_cast<int64_t>(whole)};
  if (ms >= 86400000) {
    ms -= 86400000;
    day += days{1};
  }
  const year_month_day ymd{day};
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(static_cast<int>(ymd.year()));
  ts.month = static_cast<SQLUSMALLINT>(static_cast<unsigned>(ymd.month()));
  ts.day = static_cast<SQLUSMALLINT>(static_cast<unsigned>(ymd.day()));
  ts.hour = static_cast<SQLUSMALLINT>(ms / 3600000);
  ts.minute = static_cast<SQLUSMALLINT>(ms / 60000 % 60);
  ts.second = static_cast<SQLUSMALLINT>(ms / 1000 % 60);
  ts.fraction = static_cast<SQLUINTEGER>(ms % 1000 * 1000000);
  return ts;
}

// Types ------------------------------------------------------------------------------------

int32_t AdoTypeOf(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_SMALLINT:
      return adSmallInt;
    case SQL_INTEGER:
      return adInteger;
    case SQL_TINYINT:
      return adUnsignedTinyInt;
    case SQL_BIGINT:
      return adBigInt;
    case SQL_REAL:
      return adSingle;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return adDouble;
    case SQL_NUMERIC:
      return adNumeric;
    case SQL_DECIMAL:
      return adDecimal;
    case SQL_BIT:
      return adBoolean;
    case SQL_CHAR:
      return adChar;
    case SQL_VARCHAR:
      return adVarChar;
    case SQL_LONGVARCHAR:
      return adLongVarChar;
    case SQL_WCHAR:
      return adWChar;
    case SQL_WVARCHAR:
      return adVarWChar;
    case SQL_WLONGVARCHAR:
      return adLongVarWChar;
    case SQL_GUID:
      return adGUID;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return adDBDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return adDBTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return adDBTimeStamp;
    case SQL_BINARY:
      return adBinary;
    case SQL_VARBINARY:
      return adVarBinary;
    case SQL_LONGVARBINARY:
      return adLongVarBinary;
    default:
      return adVarWChar;  // anything else is read as text
  }
}

SQLSMALLINT SqlTypeOf(int32_t adoType) {
  switch (adoType) {
    case adSmallInt:
      return SQL_SMALLINT;
    case adInteger:
      return SQL_INTEGER;
    case adSingle:
      return SQL_REAL;
    case adDouble:
      return SQL_DOUBLE;
    case adBoolean:
      return SQL_BIT;
    case adDecimal:
      return SQL_DECIMAL;
    case adNumeric:
      return SQL_NUMERIC;
    case adDate:
    case adDBTimeStamp:
      return SQL_TYPE_TIMESTAMP;
    case adDBDate:
      return SQL_TYPE_DATE;
    case adDBTime:
      return SQL_TYPE_TIME;
    case adChar:
      return SQL_CHAR;
    case adVarChar:
      return SQL_VARCHAR;
    case adLongVarChar:
      return SQL_LONGVARCHAR;
    case adWChar:
      return SQL_WCHAR;
    case adVarWChar:
      return SQL_WVARCHAR;
    case adLongVarWChar:
      return SQL_WLONGVARCHAR;
    case adGUID:
      return SQL_GUID;
    case adBinary:
      return SQL_BINARY;
    case adVarBinary:
      return SQL_VARBINARY;
    case adLongVarBinary:
      return SQL_LONGVARBINARY;
    default:
      return SQL_UNKNOWN_TYPE;
  }
}

// Parameters -------------------------------------------------------------------------------

// The buffers of one bound parameter; they stay in place until the statement is done.
struct Bound {
  SQLSMALLINT cType = SQL_C_DEFAULT;
  SQLLEN indicator = 0;
  int16_t i16 = 0;
  int32_t i32 = 0;
  double dbl = 0;
  unsigned char bit = 0;
  SQL_TIMESTAMP_STRUCT timestamp{};
  SQL_DATE_STRUCT date{};
  SQL_TIME_STRUCT time{};
  std::vector<SQLWCHAR> text;
  std::vector<unsigned char> bytes;
  bool numericText = false;
};

constexpr SQLLEN kDefaultOutputChars = 4000;

void BindParameter(SQLHSTMT stmt, SQLUSMALLINT marker, const ParameterData& p, Bound& b,
                   const std::wstring& driver) {
  const bool input = p.direction == adParamInput || p.direction == adParamInputOutput;
  const bool output = p.direction != adParamInput;
  const SQLSMALLINT io = p.direction == adParamInput         ? SQL_PARAM_INPUT
                         : p.direction == adParamInputOutput ? SQL_PARAM_INPUT_OUTPUT
                                                             : SQL_PARAM_OUTPUT;
  const SQLSMALLINT sqlType = SqlTypeOf(p.type);
  if (sqlType == SQL_UNKNOWN_TYPE) {
    Raise(adErrInvalidParamInfo, L"Parameter \"" + p.name + L"\" has the unsupported type " +
                                     std::to_wstring(p.type) + L".");
  }
  const bool null = !input || p.wire.IsNull() || p.wire.IsEmpty();
  SQLULEN columnSize = 0;
  SQLSMALLINT digits = 0;
  SQLPOINTER buffer = nullptr;
  SQLLEN bufferLength = 0;

  switch (p.type) {
    case adSmallInt:
      b.cType = SQL_C_SSHORT;
      if (!null) b.i16 = *p.wire.Get<int16_t>();
      buffer = &b.i16;
      break;
    case adInteger:
      b.cType = SQL_C_SLONG;
      if (!null) b.i32 = *p.wire.Get<int32_t>();
      buffer = &b.i32;
      break;
    case adSingle:
    case adDouble:
      b.cType = SQL_C_DOUBLE;
      if (!null) b.dbl = *p.wire.Get<double>();
      buffer = &b.dbl;
      columnSize = p.type == adSingle ? 7 : 15;
      break;
    case adBoolean:
      b.cType = SQL_C_BIT;
      if (!null) b.bit = *p.wire.Get<bool>() ? 1 : 0;
      buffer = &b.bit;
      columnSize = 1;
      break;
    case adDecimal:
    case adNumeric: {
      // Sent as exact text; the driver converts it to the declared precision and scale.
      b.cType = SQL_C_WCHAR;
      b.numericText = true;
      const std::wstring text = null ? L"" : FromUtf8(p.wire.Get<Decimal>()->ToString());
      const WText w = ToW(text);
      b.text.assign(w.begin(), w.end());
      b.text.resize(std::max<size_t>(b.text.size(), 64) + 1, 0);
      b.indicator = static_cast<SQLLEN>(w.size() * sizeof(SQLWCHAR));
      buffer = b.text.data();
      bufferLength = static_cast<SQLLEN>(b.text.size() * sizeof(SQLWCHAR));
      columnSize = p.precision == 0 ? 38 : p.precision;
      digits = static_cast<SQLSMALLINT>(p.numericScale);
      break;
    }
    case adDate:
    case adDBTimeStamp:
      b.cType = SQL_C_TYPE_TIMESTAMP;
      if (!null) b.timestamp = TimestampOf(*p.wire.Get<Date>());
      buffer = &b.timestamp;
      bufferLength = sizeof b.timestamp;
      columnSize = 23;
      digits = 3;
      break;
    case adDBDate: {
      b.cType = SQL_C_TYPE_DATE;
      if (!null) {
        const auto ts = TimestampOf(*p.wire.Get<Date>());
        b.date = {ts.year, ts.month, ts.day};
      }
      buffer = &b.date;
      bufferLength = sizeof b.date;
      columnSize = 10;
      break;
    }
    case adDBTime: {
      b.cType = SQL_C_TYPE_TIME;
      if (!null) {
        const auto ts = TimestampOf(*p.wire.Get<Date>());
        b.time = {ts.hour, ts.minute, ts.second};
      }
      buffer = &b.time;
      bufferLength = sizeof b.time;
      columnSize = 8;
      break;
    }
    default:
      if (detail::IsTextType(p.type)) {
        b.cType = SQL_C_WCHAR;
        WText w = null ? WText() : ToW(*p.wire.Get<std::wstring>());
        const size_t units = w.size();
        b.text.assign(w.begin(), w.end());
        if (output) {
          const SQLLEN room = p.size > 0 ? p.size : kDefaultOutputChars;
          // Twice the characters: a character outside the BMP takes two UTF-16 units.
          b.text.resize(std::max<size_t>(b.text.size(), static_cast<size_t>(room) * 2));
        }
        b.text.push_back(0);
        b.indicator = static_cast<SQLLEN>(units * sizeof(SQLWCHAR));
        buffer = b.text.data();
        bufferLength = static_cast<SQLLEN>(b.text.size() * sizeof(SQLWCHAR));
        columnSize = std::max<SQLULEN>({static_cast<SQLULEN>(std::max(p.size, 0)), units, 1});
        if (p.type == adGUID) columnSize = 36;
      } else {  // binary
        b.cType = SQL_C_BINARY;
        if (!null) {
          const auto& bytes = *p.wire.Get<Variant::Bytes>();
          b.bytes.assign(bytes.begin(), bytes.end());
        }
        const size_t length = b.bytes.size();
        if (output) {
          b.bytes.resize(std::max<size_t>(length, p.size > 0 ? static_cast<size_t>(p.size) : 8000));
        }
        if (b.bytes.empty()) b.bytes.push_back(0);
        b.indicator = static_cast<SQLLEN>(length);
        buffer = b.bytes.data();
        bufferLength = static_cast<SQLLEN>(b.bytes.size());
        columnSize = std::max<SQLULEN>({static_cast<SQLULEN>(std::max(p.size, 0)), length, 1});
      }
      break;
  }
  if (null) b.indicator = SQL_NULL_DATA;
  const SQLRETURN rc = SQLBindParameter(stmt, marker, io, b.cType, sqlType, columnSize, digits,
                                        buffer, bufferLength, &b.indicator);
  if (!Ok(rc)) Fail(SQL_HANDLE_STMT, stmt, driver);
}

Variant ReadOutput(const Bound& b) {
  if (b.indicator == SQL_NULL_DATA) return Variant::Null();
  switch (b.cType) {
    case SQL_C_SSHORT:
      return Variant(b.i16);
    case SQL_C_SLONG:
      return Variant(b.i32);
    case SQL_C_DOUBLE:
      return Variant(b.dbl);
    case SQL_C_BIT:
      return Variant(b.bit != 0);
    case SQL_C_TYPE_TIMESTAMP: {
      const auto& t = b.timestamp;
      return Variant(DateFrom(t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction));
    }
    case SQL_C_TYPE_DATE:
      return Variant(DateFrom(b.date.year, b.date.month, b.date.day, 0, 0, 0, 0));
    case SQL_C_TYPE_TIME:
      return Variant(Date{(b.time.hour * 3600.0 + b.time.minute * 60.0 + b.time.second) / 86400.0});
    case SQL_C_BINARY: {
      const size_t n =
          std::min(static_cast<size_t>(std::max<SQLLEN>(b.indicator, 0)), b.bytes.size());
      return Variant(Variant::Bytes(b.bytes.begin(), b.bytes.begin() + static_cast<ptrdiff_t>(n)));
    }
    default: {
      const size_t capacity = b.text.empty() ? 0 : b.text.size() - 1;
      const size_t n = std::min(
          static_cast<size_t>(std::max<SQLLEN>(b.indicator, 0)) / sizeof(SQLWCHAR), capacity);
      std::wstring text = FromW(b.text.data(), n);
      if (b.numericText) return detail::NumberFromText(text);
      return Variant(std::move(text));
    }
  }
}

// Result sets ------------------------------------------------------------------------------

// Reads the current row's value of a column with SQLGetData into `out`, whose storage is
// reused from value to value; returns the units read. The value's length in bytes, when known
// (else SQL_NO_TOTAL), sizes the first read: a second one comes only for a longer value.
// `indicator` receives what the driver first said of the value (SQL_NULL_DATA for NULL).
template <class Unit>
size_t ReadValue(SQLHSTMT stmt, const std::wstring& driver, SQLUSMALLINT column, SQLSMALLINT cType,
                 std::vector<Unit>& out, SQLLEN known, SQLLEN& indicator) {
  const size_t terminator = cType == SQL_C_BINARY ? 0 : 1;
  const size_t room = known >= 0 ? static_cast<size_t>(known) / sizeof(Unit) : 1024;
  if (out.size() < room + terminator) out.resize(std::max<size_t>(room + terminator, 1));
  indicator = 0;
  size_t have = 0;
  for (bool first = true;; first = false) {
    SQLLEN piece = 0;
    const size_t free = out.size() - have;
    const SQLRETURN rc = SQLGetData(stmt, column, cType, out.data() + have,
                                    static_cast<SQLLEN>(free * sizeof(Unit)), &piece);
    if (rc == SQL_NO_DATA) return have;
    if (!Ok(rc)) Fail(SQL_HANDLE_STMT, stmt, driver);
    if (first) indicator = piece;
    if (piece == SQL_NULL_DATA) return 0;
    const size_t fits = free - terminator;
    if (piece != SQL_NO_TOTAL && static_cast<size_t>(piece) / sizeof(Unit) <= fits) {
      return have + static_cast<size_t>(piece) / sizeof(Unit);
    }
    have += fits;
    const size_t rest =
        piece == SQL_NO_TOTAL ? out.size() : static_cast<size_t>(piece) / sizeof(Unit) - fits;
    out.resize(have + rest + terminator);
  }
}

// A result column's name and ADO type; `type` and `size` receive its SQL type and size.
Column DescribeColumn(SQLHSTMT stmt, const std::wstring& driver, SQLUSMALLINT column,
                      SQLSMALLINT& type, SQLULEN& size) {
  std::vector<SQLWCHAR> name(256);
  SQLSMALLINT nameLength = 0, decimals = 0, nullable = 0;
  SQLRETURN rc = SQLDescribeColW(stmt, column, name.data(), static_cast<SQLSMALLINT>(name.size()),
                                 &nameLength, &type, &size, &decimals, &nullable);
  if (Ok(rc) && nameLength >= static_cast<SQLSMALLINT>(name.size())) {
    name.resize(static_cast<size_t>(nameLength) + 1);
    rc = SQLDescribeColW(stmt, column, name.data(), static_cast<SQLSMALLINT>(name.size()),
                         &nameLength, &type, &size, &decimals, &nullable);
  }
  if (!Ok(rc)) Fail(SQL_HANDLE_STMT, stmt, driver);
  return {FromW(name.data(), static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0))),
          AdoTypeOf(type)};
}

class Fetcher {
 public:
  Fetcher(SQLHSTMT stmt, const std::wstring& driver) : stmt_(stmt), driver_(driver) {}

  std::shared_ptr<RowSet> All(SQLSMALLINT columns) {
    auto result = std::make_shared<RowSet>();
    std::vector<SQLSMALLINT> types;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
      SQLSMALLINT type = 0;
      SQLULEN size = 0;
      result->columns.push_back(DescribeColumn(stmt_, driver_, c, type, size));
      types.push_back(type);
    }
    for (;;) {
      const SQLRETURN rc = SQLFetch(stmt_);
      if (rc == SQL_NO_DATA) break;
      if (!Ok(rc)) Fail(SQL_HANDLE_STMT, stmt_, driver_);
      std::vector<Variant> row;
      row.reserve(types.size());
      for (size_t c = 0; c < types.size(); ++c) {
        row.push_back(Value(static_cast<SQLUSMALLINT>(c + 1), types[c]));
      }
      result->rows.push_back(std::move(row));
    }
    return result;
  }

 private:
  // Fixed-size data; false for NULL.
  bool Get(SQLUSMALLINT column, SQLSMALLINT cType, void* target, SQLLEN size) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt_, column, cType, target, size, &indicator);
    if (!Ok(rc)) Fail(SQL_HANDLE_STMT, stmt_, driver_);
    return indicator != SQL_NULL_DATA;
  }

  Variant Value(SQLUSMALLINT column, SQLSMALLINT type) {
    switch (type) {
      case SQL_SMALLINT:
      case SQL_INTEGER:
      case SQL_TINYINT: {
        SQLINTEGER v = 0;
        return Get(column, SQL_C_SLONG, &v, 0) ? Variant(static_cast<int32_t>(v)) : Variant::Null();
      }
      case SQL_BIGINT: {
        SQLBIGINT v = 0;
        if (!Get(column, SQL_C_SBIGINT, &v, 0)) return Variant::Null();
        if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
        Decimal d;
        d.mantissa = v;
        return Variant(d);
      }
      case SQL_REAL:
      case SQL_FLOAT:
      case SQL_DOUBLE: {
        double v = 0;
        return Get(column, SQL_C_DOUBLE, &v, 0) ? Variant(v) : Variant::Null();
      }
      case SQL_BIT: {
        unsigned char v = 0;
        return Get(column, SQL_C_BIT, &v, 0) ? Variant(v != 0) : Variant::Null();
      }
      case SQL_TYPE_DATE:
      case SQL_DATE:
      case SQL_TYPE_TIMESTAMP:
      case SQL_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT t{};
        if (!Get(column, SQL_C_TYPE_TIMESTAMP, &t, sizeof t)) return Variant::Null();
        return Variant(DateFrom(t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction));
      }
      case SQL_TYPE_TIME:
      case SQL_TIME: {
        SQL_TIME_STRUCT t{};
        if (!Get(column, SQL_C_TYPE_TIME, &t, sizeof t)) return Variant::Null();
        return Variant(Date{(t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0});
      }
      case SQL_BINARY:
      case SQL_VARBINARY:
      case SQL_LONGVARBINARY: {
        SQLLEN indicator = 0;
        const size_t n =
            ReadValue(stmt_, driver_, column, SQL_C_BINARY, bytes_, SQL_NO_TOTAL, indicator);
        if (indicator == SQL_NULL_DATA) return Variant::Null();
        return Variant(Variant::Bytes(bytes_.begin(), bytes_.begin() + static_cast<ptrdiff_t>(n)));
      }
      default: {
        SQLLEN indicator = 0;
        const size_t n =
            ReadValue(stmt_, driver_, column, SQL_C_WCHAR, units_, SQL_NO_TOTAL, indicator);
        if (indicator == SQL_NULL_DATA) return Variant::Null();
        std::wstring text;
        AssignUtf16(text, std::u16string_view(units_.data(), n));
        if (type == SQL_NUMERIC || type == SQL_DECIMAL) return detail::NumberFromText(text);
        return Variant(std::move(text));
      }
    }
  }

  SQLHSTMT stmt_;
  const std::wstring& driver_;
  // Every long value of the result passes through these, one after the other.
  std::vector<char16_t> units_;
  std::vector<unsigned char> bytes_;
};

// Streamed result sets -----------------------------------------------------------------------

// Hands a result set's rows to a sink as they come. With block fetches, every column is bound
// to a buffer that holds a block of rows and one fetch brings the block; a value longer than
// its buffer is read whole with SQLGetData, positioned on its row. A driver that cannot read
// a bound value inside a block gets one row per fetch, each value read with SQLGetData. Text
// crosses into wchar_t once, into one buffer reused from cell to cell.
class RowStreamer final : public Row {
 public:
  RowStreamer(SQLHSTMT stmt, const std::wstring& driver, bool blocks)
      : stmt_(stmt), driver_(driver), blocks_(blocks) {}
  RowStreamer(const RowStreamer&) = delete;
  RowStreamer& operator=(const RowStreamer&) = delete;
  // Leaves the statement as it found it: nothing bound, one row per fetch.
  ~RowStreamer() {
    if (!bound_) return;
    SQLFreeStmt(stmt_, SQL_UNBIND);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
  }

  void Run(SQLSMALLINT count, RowSink& sink) {
    std::vector<Column> columns;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
      columns.push_back(Describe(c));
    }
    SQLLEN known = -1;
    if (!Ok(SQLRowCount(stmt_, &known))) known = -1;
    if (blocks_) blocks_ = Bind(known);
    sink.Begin(columns, known);
    for (;;) {
      const SQLRETURN rc = SQLFetch(stmt_);
      if (rc == SQL_NO_DATA) break;
      if (!Ok(rc)) Fail(SQL_HANDLE_STMT, stmt_, driver_);
      for (Buffer& b : buffers_) b.wholeRow = kNoRow;
      const SQLULEN rows = blocks_ ? fetched_ : 1;
      for (SQLULEN r = 0; r < rows; ++r) {
        if (blocks_ && status_[r] == SQL_ROW_ERROR) Fail(SQL_HANDLE_STMT, stmt_, driver_);
        if (blocks_ && status_[r] == SQL_ROW_NOROW) continue;
        row_ = r;
        if (!blocks_) Load();
        sink.Take(*this);
      }
    }
  }

  bool IsNull(size_t column) override { return Cell(column).length[row_] == SQL_NULL_DATA; }
  int64_t Integer(size_t column) override {
    const Buffer& b = Cell(column);
    if (b.cType == SQL_C_SBIGINT) return Fixed<SQLBIGINT>(b);
    return Fixed<SQLINTEGER>(b);
  }
  double Double(size_t column) override { return Fixed<double>(Cell(column)); }
  bool Boolean(size_t column) override { return Fixed<unsigned char>(Cell(column)) != 0; }
  Date When(size_t column) override {
    const Buffer& b = Cell(column);
    if (b.cType == SQL_C_TYPE_TIME) {
      const auto t = Fixed<SQL_TIME_STRUCT>(b);
      return Date{(t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0};
    }
    const auto t = Fixed<SQL_TIMESTAMP_STRUCT>(b);
    return DateFrom(t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction);
  }
  std::wstring_view Text(size_t column) override {
    AssignUtf16(text_, Units(column));
    return text_;
  }
  Variant Value(size_t column) override {
    const Buffer& b = Cell(column);
    if (b.length[row_] == SQL_NULL_DATA) return Variant::Null();
    switch (b.cType) {
      case SQL_C_SLONG:
        return Variant(static_cast<int32_t>(Fixed<SQLINTEGER>(b)));
      case SQL_C_SBIGINT: {
        const SQLBIGINT v = Fixed<SQLBIGINT>(b);
        if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
        Decimal d;
        d.mantissa = v;
        return Variant(d);
      }
      case SQL_C_DOUBLE:
        return Variant(Double(column));
      case SQL_C_BIT:
        return Variant(Boolean(column));
      case SQL_C_TYPE_TIMESTAMP:
      case SQL_C_TYPE_TIME:
        return Variant(When(column));
      case SQL_C_BINARY: {
        const std::span<const unsigned char> bytes = Bytes(column);
        return Variant(Variant::Bytes(bytes.begin(), bytes.end()));
      }
      default: {
        std::wstring text(Text(column));
        if (b.sqlType == SQL_NUMERIC || b.sqlType == SQL_DECIMAL) {
          return detail::NumberFromText(text);
        }
        return Variant(std::move(text));
      }
    }
  }

 private:
  // Rows per block at most, and the bytes a block's buffers may take together: a wide
  // result gets fewer rows per block.
  static constexpr SQLULEN kBlockRows = 1000;
  static constexpr size_t kBlockBytes = size_t{4} << 20;
  // The longest text or binary value a buffer holds in place (characters or bytes).
  static constexpr SQLULEN kBoundUnits = 255;

  struct Buffer {
    SQLSMALLINT sqlType = 0;
    SQLSMALLINT cType = 0;
    size_t width = 0;                  // bytes (fixed, binary) or UTF-16 units (text) per row
    std::vector<unsigned char> bytes;  // fixed-size values and binary, row after row
    std::vector<char16_t> units;       // text, row after row, each with its terminator
    std::vector<SQLLEN> length;        // per row: the value's length in bytes, or NULL
    // A value longer than its buffer, read whole for the row `wholeRow`.
    std::vector<unsigned char> wholeBytes;
    std::vector<char16_t> wholeUnits;
    size_t wholeSize = 0;
    SQLULEN wholeRow = kNoRow;
  };
  static constexpr SQLULEN kNoRow = static_cast<SQLULEN>(-1);

  // The column's description, and the buffer that takes its values.
  Column Describe(SQLUSMALLINT c) {
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    Column column = DescribeColumn(stmt_, driver_, c, type, size);
    Buffer& b = buffers_.emplace_back();
    b.sqlType = type;
    const SQLULEN room = size > 0 && size < kBoundUnits ? size : kBoundUnits;
    switch (type) {
      case SQL_SMALLINT:
      case SQL_INTEGER:
      case SQL_TINYINT:
        b.cType = SQL_C_SLONG;
        b.width = sizeof(SQLINTEGER);
        break;
      case SQL_BIGINT:
        b.cType = SQL_C_SBIGINT;
        b.width = sizeof(SQLBIGINT);
        break;
      case SQL_REAL:
      case SQL_FLOAT:
      case SQL_DOUBLE:
        b.cType = SQL_C_DOUBLE;
        b.width = sizeof(double);
        break;
      case SQL_BIT:
        b.cType = SQL_C_BIT;
        b.width = 1;
        break;
      case SQL_TYPE_DATE:
      case SQL_DATE:
      case SQL_TYPE_TIMESTAMP:
      case SQL_TIMESTAMP:
        b.cType = SQL_C_TYPE_TIMESTAMP;
        b.width = sizeof(SQL_TIMESTAMP_STRUCT);
        break;
      case SQL_TYPE_TIME:
      case SQL_TIME:
        b.cType = SQL_C_TYPE_TIME;
        b.width = sizeof(SQL_TIME_STRUCT);
        break;
      case SQL_BINARY:
      case SQL_VARBINARY:
      case SQL_LONGVARBINARY:
        b.cType = SQL_C_BINARY;
        b.width = room;
        break;
      default:  // text, and numbers read exactly as text
        b.cType = SQL_C_WCHAR;
        b.width = room + 1;
        break;
    }
    return column;
  }

  // Binds every column for blocks of rows; false (nothing bound) when the driver refuses.
  bool Bind(SQLLEN known) {
    size_t rowBytes = 0;
    for (const Buffer& b : buffers_) {
      rowBytes += sizeof(SQLLEN) + b.width * (b.cType == SQL_C_WCHAR ? sizeof(char16_t) : 1);
    }
    SQLULEN rows = std::clamp<SQLULEN>(kBlockBytes / std::max<size_t>(rowBytes, 1), 1, kBlockRows);
    if (known > 0) rows = std::min(rows, static_cast<SQLULEN>(known));
    if (!Ok(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows),
                           0)) ||
        !Ok(SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr)) || rows == 0) {
      SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0);
      return false;
    }
    bound_ = true;
    status_.resize(rows);
    if (!Ok(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE,
                           reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_BIND_BY_COLUMN}), 0)) ||
        !Ok(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0)) ||
        !Ok(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status_.data(), 0))) {
      Fail(SQL_HANDLE_STMT, stmt_, driver_);
    }
    for (size_t c = 0; c < buffers_.size(); ++c) {
      Buffer& b = buffers_[c];
      b.length.resize(rows);
      SQLPOINTER target;
      SQLLEN width;
      if (b.cType == SQL_C_WCHAR) {
        b.units.resize(b.width * rows);
        target = b.units.data();
        width = static_cast<SQLLEN>(b.width * sizeof(char16_t));
      } else {
        b.bytes.resize(b.width * rows);
        target = b.bytes.data();
        width = static_cast<SQLLEN>(b.width);
      }
      if (!Ok(SQLBindCol(stmt_, static_cast<SQLUSMALLINT>(c + 1), b.cType, target, width,
                         b.length.data()))) {
        Fail(SQL_HANDLE_STMT, stmt_, driver_);
      }
    }
    return true;
  }

  // One row without blocks: every value through SQLGetData, in column order.
  void Load() {
    for (size_t c = 0; c < buffers_.size(); ++c) {
      Buffer& b = buffers_[c];
      b.length.resize(1);
      if (b.cType == SQL_C_WCHAR || b.cType == SQL_C_BINARY) {
        ReadWhole(c, b, SQL_NO_TOTAL);
        continue;
      }
      b.bytes.resize(b.width);
      if (!Ok(SQLGetData(stmt_, static_cast<SQLUSMALLINT>(c + 1), b.cType, b.bytes.data(),
                         static_cast<SQLLEN>(b.width), &b.length[0]))) {
        Fail(SQL_HANDLE_STMT, stmt_, driver_);
      }
    }
  }

  const Buffer& Cell(size_t column) const { return buffers_.at(column); }

  template <class T>
  T Fixed(const Buffer& b) const {
    T value;
    std::memcpy(&value, b.bytes.data() + row_ * b.width, sizeof value);
    return value;
  }

  // A bound text or binary value that did not fit its buffer.
  bool Cut(const Buffer& b, size_t unit) const {
    const SQLLEN length = b.length[row_];
    if (length == SQL_NULL_DATA) return false;
    const size_t terminator = b.cType == SQL_C_WCHAR ? 1 : 0;
    return length == SQL_NO_TOTAL || static_cast<size_t>(length) > (b.width - terminator) * unit;
  }

  std::u16string_view Units(size_t column) {
    Buffer& b = buffers_.at(column);
    if (b.wholeRow != row_ && Cut(b, sizeof(char16_t))) ReadWhole(column, b, b.length[row_]);
    if (b.wholeRow == row_) return {b.wholeUnits.data(), b.wholeSize};
    if (b.length[row_] == SQL_NULL_DATA) return {};
    return {b.units.data() + row_ * b.width,
            static_cast<size_t>(b.length[row_]) / sizeof(char16_t)};
  }

  std::span<const unsigned char> Bytes(size_t column) {
    Buffer& b = buffers_.at(column);
    if (b.wholeRow != row_ && Cut(b, 1)) ReadWhole(column, b, b.length[row_]);
    if (b.wholeRow == row_) return {b.wholeBytes.data(), b.wholeSize};
    if (b.length[row_] == SQL_NULL_DATA) return {};
    return {b.bytes.data() + row_ * b.width, static_cast<size_t>(b.length[row_])};
  }

  // Reads the current row's value of a column whole, sized by its known length in bytes
  // (SQL_NO_TOTAL: unknown): a second read only when the value is longer than that.
  void ReadWhole(size_t column, Buffer& b, SQLLEN known) {
    if (blocks_ && !Ok(SQLSetPos(stmt_, static_cast<SQLSETPOSIROW>(row_ + 1), SQL_POSITION,
                                 SQL_LOCK_NO_CHANGE))) {
      Fail(SQL_HANDLE_STMT, stmt_, driver_);
    }
    const auto at = static_cast<SQLUSMALLINT>(column + 1);
    SQLLEN indicator = 0;
    if (b.cType == SQL_C_WCHAR) {
      b.wholeSize = ReadValue(stmt_, driver_, at, SQL_C_WCHAR, b.wholeUnits, known, indicator);
    } else {
      b.wholeSize = ReadValue(stmt_, driver_, at, SQL_C_BINARY, b.wholeBytes, known, indicator);
    }
    if (!blocks_) b.length[0] = indicator;
    b.wholeRow = row_;
  }

  SQLHSTMT stmt_;
  const std::wstring& driver_;
  bool blocks_;
  bool bound_ = false;
  std::vector<Buffer> buffers_;
  SQLULEN fetched_ = 0;
  std::vector<SQLUSMALLINT> status_;
  SQLULEN row_ = 0;
  std::wstring text_;
};

// Session ----------------------------------------------------------------------------------

class OdbcSession : public Session {
 public:
  OdbcSession(const std::wstring& connectionString, std::wstring driver,
              ConnectionTimeouts timeouts)
      : env_(NewEnvironment()), driver_(std::move(driver)), timeouts_(timeouts) {
    dbc_ = std::make_shared<Handle>(SQL_HANDLE_DBC, env_);
    if (!*dbc_) Fail(SQL_HANDLE_ENV, env_->get(), driver_);
    if (!Ok(SQLSetConnectAttr(dbc_->get(), SQL_ATTR_LOGIN_TIMEOUT, Seconds(timeouts_.connect),
                              0))) {
      Fail(SQL_HANDLE_DBC, dbc_->get(), driver_);
    }
    Connect(connectionString);
    {
      SQLWCHAR name[64] = {};
      SQLSMALLINT length = 0;
      if (Ok(SQLGetInfoW(dbc_->get(), SQL_DBMS_NAME, name, sizeof name, &length))) {
        postgres_ =
            FromW(name, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)) /
                                             sizeof(SQLWCHAR),
                                         63)) == L"PostgreSQL";
      }
    }
    // Behind a pooler, which lends server sessions out per transaction, the driver's named
    // server-side statements would meet other clients' sessions: the connection is made
    // again with them off, unless the string says how to prepare.
    pooled_ = postgres_ && BehindPooler();
    if (pooled_ &&
        ConnectionStringValue(ParseConnectionString(connectionString), L"UseServerSidePrepare")
            .empty()) {
      SQLDisconnect(dbc_->get());
      connected_ = false;
      const size_t end = connectionString.find_last_not_of(L" ;");
      Connect(connectionString.substr(0, end == std::wstring::npos ? 0 : end + 1) +
              L";UseServerSidePrepare=0");
    }
    // A driver that drops prepared statements at every commit or rollback gets each call
    // directly: a kept one would be gone at its next run.
    for (const SQLUSMALLINT info : {SQL_CURSOR_COMMIT_BEHAVIOR, SQL_CURSOR_ROLLBACK_BEHAVIOR}) {
      SQLUSMALLINT behavior = SQL_CB_CLOSE;
      if (Ok(SQLGetInfoW(dbc_->get(), info, &behavior, sizeof behavior, nullptr)) &&
          behavior == SQL_CB_DELETE) {
        keepCalls_ = false;
      }
    }
    if (driver_.empty()) {
      SQLWCHAR name[256] = {};
      SQLSMALLINT length = 0;
      if (Ok(SQLGetInfoW(dbc_->get(), SQL_DRIVER_NAME, name, sizeof name, &length))) {
        driver_ = FromW(
            name,
            std::min<size_t>(
                static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)) / sizeof(SQLWCHAR), 255));
      }
    }
  }

  ~OdbcSession() override { Close(); }

  void Close() noexcept override {
    kept_.clear();  // the statements go before the connection that owns them
    // A cancel still under way holds a statement, and so the connection: the last of them
    // disconnects it.
    if (connected_ && dbc_.use_count() == 1) SQLDisconnect(dbc_->get());
    connected_ = false;
    inTransaction_ = false;
  }

  bool Lost() const noexcept override { return lost_; }

  bool Dead() noexcept override {
    if (lost_ || !connected_) return lost_;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if ((Ok(SQLGetConnectAttr(dbc_->get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
         dead == SQL_CD_TRUE) ||
        (socket_ && detail::ClosedByServer(*socket_, postgres_))) {
      MarkLost();
    }
    return lost_;
  }

  void Begin() override {
    Check(SQLSetConnectAttr(dbc_->get(), SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_AUTOCOMMIT_OFF)),
                            0));
    inTransaction_ = true;
    if (!postgres_) return;
    // A mark that lives as long as the transaction: after a failure it tells whether the
    // driver kept the transaction (its statement-level rollback), rolled it back, or left it
    // aborted.
    mark_ = std::to_wstring(++marks_);
    try {
      Guarded(Text(L"SELECT set_config('quilldata.transaction', '" + mark_ + L"', true)"), nullptr);
    } catch (const QuillError& failure) {
      try {
        EndTransaction(SQL_ROLLBACK);
      } catch (const QuillError&) {
        // The failure to begin is the one to report.
      }
      // A pooler that lends server sessions per statement ends the connection at the
      // transaction's first statement with an error of its own (08P01).
      if (!pooled_ || !lost_ || failure.SqlState() != L"08P01") throw;
      throw QuillError(adErrFeatureNotAvailable, SourceFor(driver_),
                       L"The connection pooler in front of the server cannot hold a "
                       L"transaction (it lends server sessions per statement) and ended the "
                       L"connection at its start: " +
                           failure.Description() +
                           L" Transactions need a pool in transaction or session mode; nothing "
                           L"was written.")
          .WithKind(ErrorKind::Unsupported);
    }
  }

  void Commit() override { EndTransaction(SQL_COMMIT); }
  void Rollback() override { EndTransaction(SQL_ROLLBACK); }
  bool InTransaction() const noexcept override { return inTransaction_; }

  ExecuteResult Execute(const CommandData& command) override { return Guarded(command, nullptr); }

  ExecuteResult Stream(const CommandData& command, RowSink& sink) override {
    return Guarded(command, &sink);
  }

 private:
  void Connect(const std::wstring& connectionString) {
    WText text = ToW(connectionString);
    SQLWCHAR completed[1024];
    SQLSMALLINT completedLength = 0;
    const auto socketsBefore = detail::StreamSockets();
    const SQLRETURN rc =
        SQLDriverConnectW(dbc_->get(), nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()),
                          completed, 1024, &completedLength, SQL_DRIVER_NOPROMPT);
    if (!Ok(rc)) {
      try {
        Fail(SQL_HANDLE_DBC, dbc_->get(), driver_);
      } catch (OdbcFailure& failure) {
        if (IsTimeout(failure) && timeouts_.connect > 0) {
          detail::RaiseTimedOut(failure, L"Opening the connection", timeouts_.connect,
                                L"Connect Timeout");
        }
        // A driver over libpq says 08001 for every failed connection; the server's own answer
        // ("FATAL:  password authentication failed") is a refused login, which lasts, where a
        // server that did not answer may be back soon.
        if (failure.SqlState() == L"08001" &&
            failure.Description().find(L":  ") != std::wstring::npos) {
          failure.WithKind(ErrorKind::Login);
        }
        throw;
      }
    }
    connected_ = true;
    socket_ = detail::NewSocket(socketsBefore);
  }

  // Whether something stands between this connection and the server's session: the two ends
  // the server sees are not a socket of this process (a pooler's, or a proxy's), or it cannot
  // tell them (a local socket). Asked with nothing left in the session: until the answer, the
  // connection counts as pooled.
  bool BehindPooler() {
    pooled_ = true;
    auto rows = Run(Text(L"SELECT inet_client_port(), inet_server_port()")).rows;
    if (!rows || rows->rows.size() != 1) return true;
    const Variant& client = rows->rows[0].at(0);
    const Variant& server = rows->rows[0].at(1);
    return !client.Get<int32_t>() || !server.Get<int32_t>() ||
           !detail::OwnsConnection(*client.Get<int32_t>(), *server.Get<int32_t>());
  }

  static CommandData Text(const std::wstring& sql) {
    CommandData command;
    command.text = sql;
    return command;
  }

  void MarkLost() noexcept {
    lost_ = true;
    inTransaction_ = false;
  }

  void Check(SQLRETURN rc) {
    if (!Ok(rc)) Fail(SQL_HANDLE_DBC, dbc_->get(), driver_);
  }

  // Commits or rolls back and goes back to autocommit; the transaction is over whatever
  // happens. A connection lost meanwhile leaves the outcome of a commit unknown.
  void EndTransaction(SQLSMALLINT completion) {
    inTransaction_ = false;
    if (lost_) {
      throw QuillError(adErrDataSource, SourceFor(driver_),
                       L"The connection to the server is lost.")
          .WithKind(ErrorKind::ConnectionLost);
    }
    try {
      Check(SQLEndTran(SQL_HANDLE_DBC, dbc_->get(), completion));
    } catch (OdbcFailure& failure) {
      if (Gone(failure)) {
        MarkLost();
        if (completion == SQL_COMMIT) failure.WithKind(ErrorKind::OutcomeUnknown);
      }
      throw;
    }
    Check(SQLSetConnectAttr(dbc_->get(), SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_AUTOCOMMIT_ON)),
                            0));
  }

  // SQLSTATE class 08 is a connection failure, and 57P0x a server that ended the session
  // (shut down, crashed, starting up); the driver may also just know it is dead.
  bool Gone(const OdbcFailure& failure) {
    SQLUINTEGER dead = SQL_CD_FALSE;
    return failure.Any({L"08", L"57P0"}) ||
           (Ok(SQLGetConnectAttr(dbc_->get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
            dead == SQL_CD_TRUE);
  }

  // After a command of a transaction failed: whether the transaction is still there. On
  // PostgreSQL the transaction's mark says so; a serialization failure or deadlock ends it
  // (its snapshot cannot be trusted any more). Other servers keep a transaction across a
  // failed statement, as far as their driver tells.
  void CheckTransaction(const OdbcFailure& failure) {
    if (!inTransaction_ || !postgres_) return;
    bool kept = !failure.Any({L"40001", L"40P01"});
    if (kept) {
      try {
        auto rows = Run(Text(L"SELECT current_setting('quilldata.transaction', true)")).rows;
        kept = rows && !rows->rows.empty() && rows->rows[0].at(0) == Variant(mark_);
      } catch (const QuillError&) {
        kept = false;  // aborted, or gone
      }
    }
    if (kept) return;
    try {
      EndTransaction(SQL_ROLLBACK);
    } catch (const QuillError&) {
      // The command's own failure is the one to report; the transaction is over.
    }
  }

  ExecuteResult Guarded(const CommandData& command, RowSink* sink) {
    if (!connected_) Raise(adErrInvalidConnection, L"The connection is closed.");
    if (lost_) {
      throw QuillError(adErrDataSource, SourceFor(driver_),
                       L"The connection to the server is lost.")
          .WithKind(ErrorKind::ConnectionLost);
    }
    // A server that does not answer at all (a frozen process, a dead network) is given up
    // after the command timeout and a second for its own timeout to come first: the socket is
    // shut down under the waiting call.
    std::optional<detail::Deadline> deadline;
    if (timeouts_.command > 0 && socket_) {
      deadline.emplace(
          std::chrono::steady_clock::now() + std::chrono::seconds(timeouts_.command + 1),
          [socket = *socket_] { detail::ShutDown(socket); });
    }
    try {
      return Run(command, sink);
    } catch (OdbcFailure& failure) {
      if (deadline && deadline->Fired()) {
        MarkLost();
        throw QuillError(adErrDataSource, SourceFor(driver_),
                         L"The server gave no answer within the command timeout of " +
                             std::to_wstring(timeouts_.command) +
                             L" seconds (Command Timeout), so the connection was given up; "
                             L"whether the command took effect is unknown.")
            .WithKind(ErrorKind::Timeout);
      }
      if (Gone(failure)) {
        // Nothing here tells whether the server ran the command before the connection broke.
        MarkLost();
        failure.WithKind(ErrorKind::OutcomeUnknown);
        throw;
      }
      CheckTransaction(failure);
      if (IsTimeout(failure) && timeouts_.command > 0) {
        detail::RaiseTimedOut(failure, L"The command", timeouts_.command, L"Command Timeout");
      }
      throw;
    }
  }

  static SQLPOINTER Seconds(int32_t seconds) {
    return reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(seconds));
  }

  // Whether the driver can fetch blocks of rows and still read a long value of one of them
  // (SQLGetData on a bound column, inside a block, positioned by SQLSetPos); asked once.
  bool BlockFetches() {
    if (!blockFetches_) {
      SQLUINTEGER getData = 0;
      SQLUSMALLINT setPos = SQL_FALSE;
      blockFetches_ =
          Ok(SQLGetInfo(dbc_->get(), SQL_GETDATA_EXTENSIONS, &getData, sizeof getData, nullptr)) &&
          (getData & SQL_GD_BOUND) && (getData & SQL_GD_BLOCK) &&
          Ok(SQLGetFunctions(dbc_->get(), SQL_API_SQLSETPOS, &setPos)) && setPos == SQL_TRUE;
    }
    return *blockFetches_;
  }

  // Shared: a cancel under way keeps its statement.
  std::shared_ptr<Handle> NewStatement() {
    auto stmt = std::make_shared<Handle>(SQL_HANDLE_STMT, dbc_);
    if (!*stmt) Fail(SQL_HANDLE_DBC, dbc_->get(), driver_);
    // The driver keeps a query timeout as a setting of the server session; behind a pooler the
    // statement is cancelled from here instead (Run).
    if (!Ok(SQLSetStmtAttr(stmt->get(), SQL_ATTR_QUERY_TIMEOUT,
                           Seconds(pooled_ ? 0 : timeouts_.command), 0))) {
      Fail(SQL_HANDLE_STMT, stmt->get(), driver_);
    }
    return stmt;
  }

  // A procedure call's statement, prepared once, with the buffers its parameters are bound
  // to; no statement when the driver would not prepare the call. Proven once the call has
  // run without failing.
  struct Kept {
    std::shared_ptr<Handle> stmt;
    std::vector<Bound> bound;
    uint64_t lastUse = 0;
    bool proven = false;
  };

  // Calls kept per connection: the catalogue's procedures fit many times over; a host that
  // calls ever new ones only pushes the least recently used out.
  static constexpr size_t kMaxKept = 128;

  // A call is its text and the type and direction of each parameter: what the prepared
  // statement and its bindings depend on.
  static std::wstring KeyOf(const std::wstring& sql, const std::vector<ParameterData>& params) {
    std::wstring key = sql;
    key.reserve(sql.size() + 2 * params.size());
    for (const auto& p : params) {  // both are small numbers: one character each
      key += static_cast<wchar_t>(p.type);
      key += static_cast<wchar_t>(p.direction);
    }
    return key;
  }

  // The kept statement of a call, prepared now when the call is new; without a statement when
  // the driver refused to prepare it. Describing the prepared call's result makes a driver
  // that defers preparation do it now, so that a refusal shows here, before anything runs
  // (and one driver otherwise mis-binds a call's lone input parameter).
  Kept& Keep(const std::wstring& key, const std::wstring& sql) {
    auto it = kept_.find(key);
    if (it == kept_.end()) {
      if (kept_.size() >= kMaxKept) {
        kept_.erase(std::min_element(kept_.begin(), kept_.end(), [](const auto& a, const auto& b) {
          return a.second.lastUse < b.second.lastUse;
        }));
      }
      Kept entry;
      entry.stmt = NewStatement();
      WText text = ToW(sql);
      SQLSMALLINT columns = 0;
      if (!Ok(SQLPrepareW(entry.stmt->get(), text.data(), static_cast<SQLINTEGER>(text.size()))) ||
          !Ok(SQLNumResultCols(entry.stmt->get(), &columns))) {
        // The driver keeps what a failed describe left until the cursor is closed, even past
        // the statement's release.
        SQLFreeStmt(entry.stmt->get(), SQL_CLOSE);
        entry.stmt.reset();
      }
      it = kept_.emplace(key, std::move(entry)).first;
    }
    it->second.lastUse = ++uses_;
    return it->second;
  }

  ExecuteResult Run(const CommandData& command, RowSink* sink = nullptr) {
    const auto& params = command.parameters;
    std::vector<size_t> order;  // parameter index per marker
    std::wstring sql;
    if (command.commandType == adCmdStoredProc) {
      detail::CheckProcedureName(command.text);
      auto ret = std::find_if(params.begin(), params.end(), [](const ParameterData& p) {
        return p.direction == adParamReturnValue;
      });
      if (ret != params.end()) order.push_back(static_cast<size_t>(ret - params.begin()));
      std::wstring markers;
      for (size_t i = 0; i < params.size(); ++i) {
        if (params[i].direction == adParamReturnValue) continue;
        markers += markers.empty() ? L"?" : L", ?";
        order.push_back(i);
      }
      sql = std::wstring(ret != params.end() ? L"{? = call " : L"{call ") + command.text + L"(" +
            markers + L")}";
    } else {
      sql = command.commandType == adCmdTable ? L"SELECT * FROM " + command.text : command.text;
      for (size_t i = 0; i < params.size(); ++i) order.push_back(i);
    }

    // A procedure call runs on its kept statement, anything else on a statement of its own.
    const std::wstring key =
        keepCalls_ && command.commandType == adCmdStoredProc ? KeyOf(sql, params) : L"";
    Kept* kept = key.empty() ? nullptr : &Keep(key, sql);
    const bool prepared = kept && kept->stmt;
    const std::shared_ptr<Handle> handle = prepared ? kept->stmt : NewStatement();
    Handle& stmt = *handle;
    std::vector<Bound> fresh;
    std::vector<Bound>& bound = prepared ? kept->bound : fresh;
    bound.resize(params.size());
    bool succeeded = false;
    bool cancelled = false;  // a cancel may still reach the statement: it is not run again
    const AtExit settle([&] {
      if (!kept) return;
      if (succeeded && !cancelled) {
        kept->proven = true;
        if (prepared) SQLFreeStmt(stmt.get(), SQL_CLOSE);  // ready for the next run
      } else if (prepared || !kept->proven) {
        // A failure may have left the statement unusable; and a call that fails when run
        // directly as well says nothing of the driver's preparing: the next call starts afresh.
        kept_.erase(key);
      }
    });
    for (size_t m = 0; m < order.size(); ++m) {
      BindParameter(stmt.get(), static_cast<SQLUSMALLINT>(m + 1), params[order[m]], bound[order[m]],
                    driver_);
    }

    // Behind a pooler the command is cancelled from here at its timeout, from a thread of its
    // own: a pooler that does not answer must not hold the deadlines of the process.
    std::optional<detail::Deadline> cancel;
    const auto running = std::make_shared<std::atomic<bool>>(true);
    const AtExit ran([&] {
      *running = false;
      cancelled = cancel && cancel->Fired();
    });
    if (pooled_ && timeouts_.command > 0) {
      cancel.emplace(std::chrono::steady_clock::now() + std::chrono::seconds(timeouts_.command),
                     [handle, running] {
                       std::thread([handle, running] {
                         if (*running) SQLCancel(handle->get());
                       }).detach();
                     });
    }
    SQLRETURN rc;
    if (prepared) {
      rc = SQLExecute(stmt.get());
    } else {
      WText text = ToW(sql);
      rc = SQLExecDirectW(stmt.get(), text.data(), static_cast<SQLINTEGER>(text.size()));
    }
    if (rc != SQL_NO_DATA && !Ok(rc)) Fail(SQL_HANDLE_STMT, stmt.get(), driver_);

    ExecuteResult result;
    const bool wantsRows = detail::WantsRows(command.options);
    Fetcher fetcher(stmt.get(), driver_);
    bool streamed = false;
    while (rc != SQL_NO_DATA) {
      SQLSMALLINT columns = 0;
      if (!Ok(SQLNumResultCols(stmt.get(), &columns))) Fail(SQL_HANDLE_STMT, stmt.get(), driver_);
      if (columns > 0) {
        if (wantsRows && sink && !streamed) {
          RowStreamer(stmt.get(), driver_, BlockFetches()).Run(columns, *sink);
          streamed = true;
        } else if (wantsRows && !sink && !result.rows) {
          result.rows = fetcher.All(columns);
        }
      } else {
        SQLLEN count = -1;
        if (Ok(SQLRowCount(stmt.get(), &count)) && count >= 0) {
          result.recordsAffected =
              static_cast<int32_t>(std::max(result.recordsAffected, 0) + count);
        }
      }
      rc = SQLMoreResults(stmt.get());
      if (rc != SQL_NO_DATA && !Ok(rc)) Fail(SQL_HANDLE_STMT, stmt.get(), driver_);
    }

    result.outputs.resize(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
      if (params[i].direction != adParamInput) result.outputs[i] = ReadOutput(bound[i]);
    }
    succeeded = true;
    return result;
  }

  std::shared_ptr<Handle> env_;
  std::shared_ptr<Handle> dbc_;
  std::wstring driver_;
  ConnectionTimeouts timeouts_;
  bool connected_ = false;
  bool lost_ = false;
  bool postgres_ = false;                   // the server speaks PostgreSQL
  bool pooled_ = false;                     // a pooler stands between (PostgreSQL)
  std::optional<detail::SocketId> socket_;  // the connection's socket, when it could be told
  bool inTransaction_ = false;
  std::wstring mark_;  // the open transaction's mark (PostgreSQL)
  uint64_t marks_ = 0;
  bool keepCalls_ = true;
  std::unordered_map<std::wstring, Kept> kept_;
  uint64_t uses_ = 0;
  std::optional<bool> blockFetches_;
};

bool IsOdbcString(const std::wstring& text) {
  for (const auto& item : ParseConnectionString(text)) {
    if (detail::SameText(item.key, L"Driver") || detail::SameText(item.key, L"DSN") ||
        detail::SameText(item.key, L"FileDSN"))
      return true;
  }
  return false;
}

class OdbcProvider : public Provider {
 public:
  std::unique_ptr<Session> Open(const std::wstring& connectionString, const std::wstring& userId,
                                const std::wstring& password) override {
    if (connectionString.find_first_not_of(L" \t\r\n;") == std::wstring::npos) {
      Raise(adErrInvalidConnection, L"The connection string is empty.");
    }
    std::wstring odbc = IsOdbcString(connectionString)
                            ? connectionString
                            : TranslateConnectionString(connectionString, InstalledOdbcDrivers());
    if (!userId.empty()) odbc += L";" + OdbcPair(L"UID", userId);
    if (!password.empty()) odbc += L";" + OdbcPair(L"PWD", password);
    const std::wstring driver = ConnectionStringValue(ParseConnectionString(odbc), L"Driver");
    return std::make_unique<OdbcSession>(odbc, driver,
                                         TimeoutsOf(ParseConnectionString(connectionString)));
  }
};

}  // namespace

std::shared_ptr<Provider> MakeOdbcProvider() {
  return std::make_shared<OdbcProvider>();
}

std::vector<std::wstring> InstalledOdbcDrivers() {
  auto env = NewEnvironment();
  std::vector<std::wstring> drivers;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLWCHAR description[512];
    SQLWCHAR attributes[2048];
    SQLSMALLINT descriptionLength = 0, attributesLength = 0;
    const SQLRETURN rc = SQLDriversW(env->get(), direction, description, 512, &descriptionLength,
                                     attributes, 2048, &attributesLength);
    if (!Ok(rc)) break;
    drivers.push_back(FromW(
        description,
        std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(descriptionLength, 0)), 511)));
    direction = SQL_FETCH_NEXT;
  }
  return drivers;
}

}  // namespace QuillData::ado
