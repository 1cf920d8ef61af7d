#pragma once
// The layer beneath the object model: the objects describe a command, a provider carries it
// to the data source and brings back what came of it. Two providers ship: ODBC
// (MakeOdbcProvider) and PostgreSQL's own client library (MakeLibpqProvider); the tests add a
// recording one.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData::ado {

// One parameter as the command sends it.
struct QUILLDATA_API ParameterData {
  std::wstring name;
  int32_t type = adEmpty;
  int32_t direction = adParamInput;
  int32_t size = 0;
  uint8_t precision = 0;
  uint8_t numericScale = 0;
  // The value as the caller set it on the Parameter.
  Variant value;
  // What goes to the data source: the value converted to the parameter's type (Long,
  // Boolean, String, Decimal rounded to the scale, ...), Null for an Empty or Null value,
  // and Empty for a return value or output parameter, whose value is never sent.
  Variant wire;
};

struct QUILLDATA_API CommandData {
  std::wstring text;                // SQL text, procedure or table name
  int32_t commandType = adCmdText;  // adCmdText, adCmdStoredProc or adCmdTable
  std::vector<ParameterData> parameters;
  int32_t options = adOptionUnspecified;  // as passed to Execute
};

struct QUILLDATA_API Column {
  std::wstring name;
  int32_t type = adVariant;  // the ADO type of the column
};

// A whole result set, fetched at once.
struct QUILLDATA_API RowSet {
  std::vector<Column> columns;
  std::vector<std::vector<Variant>> rows;
};

struct QUILLDATA_API ExecuteResult {
  // The first result set that has columns; none for a command that returns no rows.
  std::shared_ptr<RowSet> rows;
  // One value per parameter, in order: what came back for return-value, output and
  // input-output parameters; Empty for input parameters.
  std::vector<Variant> outputs;
  int32_t recordsAffected = -1;
};

// How a streamed row's cell of a column of this ADO type is read: through the typed
// accessor of its kind, or (Other) as a Value.
enum class CellKind { Integer, Double, Boolean, Text, Date, Other };
QUILLDATA_API CellKind CellKindOf(int32_t adoType);

// The current row of a streamed result (Session::Stream), read by zero-based column index. A
// typed accessor serves the columns whose CellKindOf names it, and only cells that are not
// null; Value serves every cell. The row is valid only during the RowSink::Take call that
// hands it over, and a cell may be read any number of times during it.
class QUILLDATA_API Row {
 public:
  virtual bool IsNull(size_t column) = 0;
  virtual int64_t Integer(size_t column) = 0;
  virtual double Double(size_t column) = 0;
  virtual bool Boolean(size_t column) = 0;
  // The text in a buffer the row reuses: valid until the next Text call.
  virtual std::wstring_view Text(size_t column) = 0;
  virtual Date When(size_t column) = 0;
  // The cell as a recordset's field gives it (Null for a database NULL).
  virtual Variant Value(size_t column) = 0;

 protected:
  ~Row() = default;
};

// Takes the rows of a streamed result as they arrive.
class QUILLDATA_API RowSink {
 public:
  // Before the first row of the result: its columns, and how many rows follow when the
  // provider knows it (else -1). A command sent again (after a lost connection) begins again.
  virtual void Begin(std::span<const Column> columns, int64_t rows) = 0;
  virtual void Take(Row& row) = 0;

 protected:
  ~RowSink() = default;
};

// A session's bulk load and unload of rows (Session::Bulk), for a server and provider that
// have one. Rows travel in the copy text format: a line per row ending in a newline, a tab
// between values, \N for NULL, a backslash before a backslash and \t, \n, \r for tab,
// newline and carriage return; each value in the server's text form of its type.
class QUILLDATA_API BulkCopy {
 public:
  // Starts loading rows into the named columns of `table` (as it is written in SQL); the
  // load is one statement until EndLoad.
  virtual void BeginLoad(std::string_view table, std::span<const std::string> columns) = 0;
  virtual bool Loading() const noexcept = 0;
  // Whole lines.
  virtual void Load(std::string_view lines) = 0;
  // Completes the load; the server's refusal of any row comes here at the latest.
  virtual void EndLoad() = 0;
  // Ends a load under way, if any, keeping none of it; `why` goes to the server.
  virtual void AbandonLoad(const char* why) noexcept = 0;
  // The rows of a query, one line at a time (valid during the call).
  virtual void Unload(std::string_view select,
                      const std::function<void(std::string_view line)>& take) = 0;

 protected:
  ~BulkCopy() = default;
};

// One open connection of a provider.
class QUILLDATA_API Session {
 public:
  virtual ~Session() = default;
  // Runs the command; every failure is a QuillError. The parameters' wire values are
  // already checked and converted, so a provider only carries them. A failure that leaves
  // the session lost has the kind ConnectionLost only when the command surely took no effect
  // (it never left, or the server ended the session before it ran), else OutcomeUnknown; a
  // command that got no answer in the command timeout is given up with its connection (kind
  // Timeout, the session lost).
  virtual ExecuteResult Execute(const CommandData& command) = 0;
  // Runs the command as Execute does, but hands the rows of its first result set to `sink`
  // one at a time instead of gathering them (the result's rows stay empty); a command that
  // returns no rows never calls the sink. The default runs Execute and hands over the rows
  // it gathered, each cell as a Variant (every column is described as adVariant).
  virtual ExecuteResult Stream(const CommandData& command, RowSink& sink);
  // Ends the connection; must not throw.
  virtual void Close() noexcept = 0;
  // True once a failure showed that the connection is gone (the server went away or
  // dropped it): nothing more can be sent on it.
  virtual bool Lost() const noexcept = 0;

  // Looks, without sending anything, for a sign that the server has closed the connection
  // since its last command (a server restarted while the connection was idle); such a
  // session counts as lost from then on. The default knows only Lost().
  virtual bool Dead() noexcept { return Lost(); }

  // A transaction: Begin starts one, Commit and Rollback end it. While it is open, each
  // command is a unit of its own: one that fails undoes only its own effects, and the
  // transaction goes on. A failure that ends the transaction (the connection lost, the
  // server's serialization failure or deadlock) leaves InTransaction() false; nothing of the
  // transaction is committed then. The defaults refuse (ErrorKind::Unsupported).
  virtual void Begin();
  virtual void Commit();
  virtual void Rollback();
  virtual bool InTransaction() const noexcept { return false; }

  // The session's bulk copy, living as long as the session; nullptr when it has none (the
  // default), and the caller inserts and selects with statements instead.
  virtual BulkCopy* Bulk() { return nullptr; }
};

class QUILLDATA_API Provider {
 public:
  virtual ~Provider() = default;
  // Opens a connection; userId and password are the arguments of Connection::Open (empty
  // when not given). Throws a QuillError when the data source cannot be reached.
  virtual std::unique_ptr<Session> Open(const std::wstring& connectionString,
                                        const std::wstring& userId,
                                        const std::wstring& password) = 0;
};

// The ODBC provider (unixODBC, Unicode API).
QUILLDATA_API std::shared_ptr<Provider> MakeOdbcProvider();

// PostgreSQL through libpq, registered as "libpq". It takes "Provider=libpq;Host=...;
// Port=...;Database=...;User=...;Password=..." (also Server, Data Source, Initial Catalog,
// User ID, UID, PWD, SSLMode and the timeouts of TimeoutsOf) or a postgresql:// URI.
QUILLDATA_API std::shared_ptr<Provider> MakeLibpqProvider();

// The provider a connection string chooses: a postgresql:// (or postgres://) URI goes to
// libpq, Provider= names a registered provider, anything else goes to ODBC.
QUILLDATA_API std::shared_ptr<Provider> ProviderFor(const std::wstring& connectionString);

// A connection string whose Provider= names a registered provider (case-insensitive) opens
// on that provider instead of ODBC, so a backend that builds its own Connection can run on
// a test provider: RegisterProvider(L"Recording", recorder) and "Provider=Recording;...".
// Passing an empty pointer removes the name.
QUILLDATA_API void RegisterProvider(const std::wstring& name, std::shared_ptr<Provider> provider);
QUILLDATA_API std::shared_ptr<Provider> FindProvider(const std::wstring& name);

}  // namespace QuillData::ado

QUILLDATA_API_END
