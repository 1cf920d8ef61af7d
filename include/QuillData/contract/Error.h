#pragma once
// The one error type of the library: number, source and description, as the error
// companion receives them.
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "QuillData/Export.h"

QUILLDATA_API_BEGIN

namespace QuillData {

// Every error number the library raises, declared here once; the kind a number tells is
// derived from it in one place (KindOfNumber).
namespace ErrNo {
constexpr int32_t InvalidProcedureCall = 5;
constexpr int32_t Overflow = 6;
constexpr int32_t OutOfMemory = 7;
constexpr int32_t SubscriptOutOfRange = 9;
constexpr int32_t TypeMismatch = 13;
constexpr int32_t InternalError = 51;
constexpr int32_t FileNotFound = 53;
constexpr int32_t FileAlreadyExists = 58;
constexpr int32_t DiskFull = 61;
constexpr int32_t FileAccessError = 75;
constexpr int32_t PathNotFound = 76;
constexpr int32_t ObjectNotSet = 91;
constexpr int32_t InvalidUseOfNull = 94;
constexpr int32_t InvalidFileFormat = 321;
constexpr int32_t InvalidPropertyValue = 380;
constexpr int32_t CannotCreateObject = 429;
constexpr int32_t ObjectDoesNotSupport = 438;
constexpr int32_t DuplicateKey = 457;
// The ADO-style object model's own errors (QuillData::ado's adErr... names).
constexpr int32_t AdoInvalidArgument = 3001;
constexpr int32_t AdoNoCurrentRecord = 3021;
constexpr int32_t AdoFeatureNotAvailable = 3251;
constexpr int32_t AdoItemNotFound = 3265;
constexpr int32_t AdoDataConversion = 3421;
constexpr int32_t AdoObjectClosed = 3704;
constexpr int32_t AdoObjectOpen = 3705;
constexpr int32_t AdoProviderNotFound = 3706;
constexpr int32_t AdoInvalidParamInfo = 3708;
constexpr int32_t AdoInvalidConnection = 3709;
constexpr int32_t AdoDataOverflow = 3721;
// A failure reported by the data source (the platform's generic "unspecified error"): its
// kind comes from the store's code.
constexpr int32_t AdoDataSource = -2147467259;
// The component's own errors: the error base 0x80040000 plus an offset.
constexpr int32_t ComponentBase = static_cast<int32_t>(0x80040000u);
constexpr int32_t DllNotLoaded = ComponentBase + 0;
constexpr int32_t FunctionNotFound = ComponentBase + 1;
constexpr int32_t TooManyParameters = ComponentBase + 2;
constexpr int32_t StatementError = ComponentBase + 2;  // same number, told apart by kind
}  // namespace ErrNo

// What kind of failure an error is, whatever its number or store: what a host (or the
// library itself) decides on, never the source or description text. The number gives it
// (KindOfNumber); a store's code sets it (WithSqliteCode, WithSqlState) unless the raiser set
// one (WithKind), which it does only where the number does not tell.
enum class ErrorKind : uint8_t {
  Other,
  RefusedArgument,     // an argument, or the state of the store it names, that the operation
                       // refuses before it writes anything
  Conversion,          // a value that cannot become the type it must (type mismatch, overflow)
  NotFound,            // no such file, table, column, procedure or object
  Constraint,          // the store refused the data (unique, not null, check, foreign key)
  Busy,                // another connection holds the lock past the busy timeout
  Timeout,             // the command ran past its timeout and was cancelled
  ConnectionLost,      // the connection is gone; the statement was not sent (or nothing came of it)
  OutcomeUnknown,      // the statement was sent and its answer lost: it may or may not have run
  TransactionAborted,  // the store ended the open transaction; the work since it began is gone
  Login,               // the server refused the login (credentials, database, string)
  Unsupported,         // the store or its driver cannot do what was asked
  StoreFull,           // no space left for the database
  Corrupt,             // the database file is damaged
};

class QUILLDATA_API QuillError : public std::exception {
 public:
  QuillError(int32_t number, std::wstring source, std::wstring description);
  // An error with the standard description of its number ("Overflow", "Type mismatch", ...).
  QuillError(int32_t number, std::wstring source = L"QuillData");

  int32_t Number() const noexcept { return number_; }
  const std::wstring& Source() const noexcept { return source_; }
  const std::wstring& Description() const noexcept { return description_; }
  const char* what() const noexcept override { return what_.c_str(); }

  // The store's own code for a failure it reported, so that a host can tell "locked" from
  // "constraint" without reading the text: SQLite's extended result code (5 SQLITE_BUSY,
  // 2067 SQLITE_CONSTRAINT_UNIQUE, ...), or the ODBC driver's SQLSTATE ("42P01", "08S01")
  // with its native error, from its first diagnostic record. 0 and empty otherwise.
  int32_t SqliteCode() const noexcept { return sqliteCode_; }
  ErrorKind Kind() const noexcept { return kind_; }
  QuillError& WithKind(ErrorKind kind) {
    kind_ = kind;
    kindSet_ = true;
    return *this;
  }
  const std::wstring& SqlState() const noexcept { return sqlState_; }
  int32_t NativeError() const noexcept { return nativeError_; }
  QuillError& WithSqliteCode(int32_t code);
  QuillError& WithSqlState(std::wstring state, int32_t nativeError);
  // The same failure, its native codes kept, with another description.
  QuillError Described(std::wstring description) const;

 private:
  int32_t number_;
  std::wstring source_;
  std::wstring description_;
  std::string what_;  // UTF-8 "description (number, source)"
  int32_t sqliteCode_ = 0;
  std::wstring sqlState_;
  int32_t nativeError_ = 0;
  ErrorKind kind_ = ErrorKind::Other;
  bool kindSet_ = false;  // by the raiser, so a store's code does not replace it
};

// The kind an error of this number has unless a store's code or its raiser says more.
QUILLDATA_API ErrorKind KindOfNumber(int32_t number);

// The kind's name as the command line and reports print it ("busy", "outcome unknown").
QUILLDATA_API const wchar_t* KindName(ErrorKind kind);

// The standard description of a runtime error number; "Application-defined or
// object-defined error" for numbers without one.
QUILLDATA_API std::wstring StandardDescription(int32_t number);

// Maps the exception in flight (inside a catch block) to a QuillError: a QuillError as it
// is, std::bad_alloc as "Out of memory", std::out_of_range as "Subscript out of range",
// any other exception as "Internal error" with its what() text.
QUILLDATA_API QuillError CurrentError();

}  // namespace QuillData

QUILLDATA_API_END
