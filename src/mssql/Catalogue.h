#pragma once
// The server database's stored procedures, as data. One entry per operation says what the
// operation sends (procedure, parameters in order with name, ADO type, direction, size,
// precision and scale, and where each value comes from) and what it reads back. Every writer
// binds its arguments to its entry and calls Call(); no writer spells out the call itself.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "QuillData/ado/Command.h"
#include "QuillData/ado/Connection.h"
#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/Variant.h"
#include "QuillData/contract/clsQuillData.h"
#include "contract/Trap.h"

namespace QuillData::mssql {

// The operations that call a stored procedure (all but the whole-table readers), in the
// list's order: the catalogue's keys.
enum class Op : uint8_t {
#define QUILLDATA_OPERATION(Result, Name, Params, Args) Name,
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread)
#include "QuillData/contract/Operations.inc"
};
// The interface member an Op stands for, "DELFilter".
std::wstring_view OperationName(Op op);

// Where a parameter's value comes from and how the argument is converted on the way.
enum class From : uint8_t {
  LeftOut,          // no value: a return value that only the procedure sets
  RecordsAffected,  // the caller's lngRecordsAffected, as a 32-bit integer
  Text,             // a string argument as a wide string (the provider converts it for an
                    // integer-typed parameter)
  First50,          // the first 50 characters of a string argument
  DecimalText,      // a string argument, "." its decimal point when it is one decimal number
                    // in the user's form ("12,5" under a comma locale goes as "12.5")
  Long,             // an int32 argument as a 32-bit integer
  Boolean,          // a bool argument as a 16-bit boolean
  OneOrZero,        // a bool argument as the 16-bit integer 1 (true) or 0 (false)
  Decimal,          // a double argument converted to a decimal
  WholeNumber,      // a double argument rounded half to even to a 32-bit integer
};

// What an operation hands back.
enum class Result : uint8_t {
  None,     // nothing (a procedure without result)
  Long,     // @Return_Value as a 32-bit integer
  Variant,  // @Return_Value as it came back
  Zero,     // nothing is read back; the result is 0
  Empty,    // nothing is read back; the result is the empty variant
  Rows,     // the recordset that Execute returns
};

struct Param {
  std::wstring_view name;
  int32_t type;
  int32_t direction;
  int32_t size;
  From from;
  int arg = -1;  // the argument's position in the operation's arguments
  uint8_t precision = 0;
  uint8_t scale = 0;
};

// When a call whose outcome is unknown (sent, the answer lost) may be sent again.
enum class Resend : uint8_t {
  Never,         // a write that may not run twice
  ReadsOnly,     // it only reads: always
  LooksUpFirst,  // it looks its row up before it writes, so a second run finds what the first
                 // one wrote: when the database is known to hold such procedures
};

struct Procedure {
  Op op;                    // the interface member
  std::wstring_view name;   // the stored procedure
  std::wstring_view trace;  // the procedure name for trace and trap
  int32_t options;          // Execute's options: adExecuteNoRecords or -1
  Result result;
  std::vector<Param> params;
  Resend resend = Resend::Never;
};

// Every entry, in the interface's order of the operations: the one of an Op at its index.
std::span<const Procedure> Catalogue();
// The entry of an operation; one missing is a defect of the catalogue (error 51).
const Procedure& Entry(Op op);

// An operation's arguments as its entry reads them: each as a variant, in the interface's
// order, but lngRecordsAffected, which is kept apart (-1 for an operation without one).
struct Arguments {
  std::vector<Variant> values;
  int32_t recordsAffected = -1;
};
template <class... A>
Arguments Bind(const A&... arguments) {
  Arguments bound;
  bound.values.reserve(sizeof...(A));
  (
      [&] {
        if constexpr (std::is_same_v<A, RecordsAffected>) {
          bound.recordsAffected = arguments;
        } else {
          bound.values.emplace_back(arguments);
        }
      }(),
      ...);
  return bound;
}

// The value a parameter is created with, from the operation's arguments. A conversion
// that fails names the parameter and the procedure in its description.
Variant ParameterValue(const Procedure& procedure, const Param& param,
                       std::span<const Variant> args, int32_t recordsAffected);

// Runs one entry on the connection as steps of the operation's trap: Command with
// CommandType adCmdStoredProc, every parameter created and appended in order (precision and
// scale set right after an adNumeric one is appended), Execute with the entry's options
// (a lost connection is opened again before Execute runs again; a call whose outcome is
// unknown runs again only when resendSafe says so: see ado::ResendGuard), and the read-back
// the entry names into `result`. Result::Rows streams the rows to `rows` as they arrive;
// with -1 any other recordset is held until the call ends and never read. False when the
// procedure did not run.
bool Call(Trap& trap, const ado::ConnectionPtr& connection, const Procedure& procedure,
          std::span<const Variant> args, int32_t recordsAffected, Variant& result,
          std::function<bool()> resendSafe, ado::RowSink* rows = nullptr);

// The zero value of an entry's result: 0 for the 32-bit results, else the empty variant.
Variant InitialResult(const Procedure& procedure);

}  // namespace QuillData::mssql
