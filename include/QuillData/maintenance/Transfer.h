#pragma once
// Moving a shop's data between an embedded database file and a PostgreSQL server (either way,
// or file to file, server to server): every table of the schema, ids kept, in one
// transaction on the target, verified before it commits.
//
//   QuillData::TransferOptions options;
//   options.progress = [](const QuillData::TransferProgress& p) { ... };
//   auto tables = QuillData::TransferDatabase({.file = "shop.db"}, {.server = conn}, options);
//
// The tables and their columns are those of the embedded schema (schema/sqlite.sql); the
// server's column types decide how values are carried (integer, double precision, text,
// boolean, timestamp, bytea). Rows are read in key order (SQLite: rowid; server: the integer
// primary key, else the rows' physical order) and written in that order, so the readers list
// them alike on both sides.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/Error.h"

QUILLDATA_API_BEGIN

namespace QuillData {

// One side of a transfer: an embedded database file, or a server's connection string (ODBC,
// or libpq's: Provider=libpq or a postgresql:// URI, whose rows then move through the
// server's bulk load and unload, COPY).
struct QUILLDATA_API TransferSide {
  std::filesystem::path file;
  std::wstring server;
};

// What the verification found for one table. The checksum is over the rows' contents,
// independent of row order: a 64-bit hash per row (type, length and value of each column),
// summed.
struct QUILLDATA_API TableTransfer {
  std::wstring table;
  int64_t sourceRows = 0;
  int64_t targetRows = 0;
  uint64_t sourceChecksum = 0;
  uint64_t targetChecksum = 0;
  // Empty (NULL) values of the source written as the target's column default, because the
  // target's column refuses NULL (a server column with a default): the value the readers of
  // both backends show for them. Counted in both checksums as the default.
  int64_t nullsAsDefault = 0;
};

struct QUILLDATA_API TransferProgress {
  enum class Phase { Copy, Verify };
  Phase phase = Phase::Copy;
  std::wstring_view table;
  int64_t rowsDone = 0;  // in this phase, over all tables
  int64_t rowsTotal = 0;
};

// A value of the source that the target cannot hold as it is: longer than a server's
// column, outside its range or scale, a text with a zero character for a server, or a date
// the file's readers cannot read. Before
// anything is written, the transfer looks at every value such a limit applies to, and
// refuses (ValuesDoNotFit) when it finds any.
struct QUILLDATA_API TransferMisfit {
  std::wstring table;
  std::wstring column;
  int64_t row = 0;            // among the table's rows in key order, from 1
  std::optional<int64_t> id;  // the row's id, in a table that has one
  std::wstring value;         // as the source holds it, a long one cut short
  std::wstring reason;        // "is 25 characters long; the column holds 20"
};

struct QUILLDATA_API TransferOptions {
  std::wstring sqliteLib;  // folder holding libsqlite3.so.0; empty: the library's default
  std::function<void(const TransferProgress&)> progress;  // after every batch
  std::function<void(const TransferMisfit&)> misfit;      // each one found, before the refusal
};

// Why TransferDatabase refused (source "TransferDatabase"): nothing was written.
namespace TransferRefusal {
constexpr int32_t SourceMissing = ErrNo::FileNotFound;        // the source file does not exist
constexpr int32_t TargetNotEmpty = ErrNo::FileAlreadyExists;  // a table of the target holds rows
// A side lacks a table or column of the schema, or holds a newer version of the schema than
// this library knows.
constexpr int32_t NotASchema = ErrNo::InvalidFileFormat;
// The source holds rows in tables outside the schema.
constexpr int32_t RowsLeftBehind = ErrNo::InvalidPropertyValue;
// A side names neither or both of file and server.
constexpr int32_t BadArgument = ErrNo::InvalidProcedureCall;
constexpr int32_t ValuesDoNotFit =
    ErrNo::Overflow;  // values the target cannot hold (TransferMisfit)
}  // namespace TransferRefusal

QUILLDATA_API bool IsTransferRefusal(const QuillError& error);

// Copies every table of `from` into `to` and returns the verification, table by table.
// A file target that does not exist is created with the schema (and removed again when the
// transfer fails). A server target must hold the schema (quilldata server-init). Every
// table of the target must be empty: else TargetNotEmpty, naming the tables. All writing
// happens in one transaction that commits only when every table's row count and checksum
// read back from the target equal the source's; a failure or an interruption leaves the
// target as it was. On a server, each identity sequence is moved past the highest id.
// Verification compares the values themselves: a value the target would change fails it.
// Errors: the refusals above; StatementError (source "TransferDatabase") for a value that is
// not readable as its column's type, naming table, column and row, and for a failed
// verification; the drivers' and the library's errors as they come.
QUILLDATA_API std::vector<TableTransfer> TransferDatabase(const TransferSide& from,
                                                          const TransferSide& to,
                                                          const TransferOptions& options = {});

}  // namespace QuillData

QUILLDATA_API_END
