#include "maintenance/transfer/FileSide.h"

#include <algorithm>
#include <cmath>

#include "QuillData/contract/Text.h"
#include "QuillData/maintenance/Transfer.h"
#include "QuillData/sqlite/Schema.h"
#include "maintenance/transfer/Checksum.h"
#include "sqlite/SchemaTables.h"

namespace QuillData::transfer {

namespace {

using sqlite_detail::kSqliteFloat;
using sqlite_detail::kSqliteInteger;
using sqlite_detail::kSqliteNull;
using sqlite_detail::SqliteFile;
using sqlite_detail::SqliteStatement;

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

std::string ColumnList(const TableSpec& table) {
  std::string out;
  for (const auto& column : table.columns) out += (out.empty() ? "" : ", ") + Quoted(column.name);
  return out;
}

// An SQL condition true for every value of the column that may not fit what it takes (and
// perhaps for some that do: each suspect is checked exactly); nullopt when there is none
// short of reading every value.
std::optional<std::string> SuspectCondition(const ColumnSpec& column) {
  const std::string c = Quoted(column.name);
  const Limit& limit = column.takes;
  std::vector<std::string> tests;
  switch (column.kind) {
    case Kind::Integer:
    case Kind::Bool:
      if (limit.minInteger == Limit{}.minInteger && limit.maxInteger == Limit{}.maxInteger) break;
      // A text or blob compares above every number; an id's range is a look-up of its own.
      tests.push_back(c + " < " + std::to_string(limit.minInteger) + " OR " + c + " > " +
                      std::to_string(limit.maxInteger));
      break;
    case Kind::Text:
      if (!limit.zeroChar) tests.push_back("instr(" + c + ", char(0)) > 0");
      if (limit.maxChars >= 0)
        tests.push_back("length(" + c + ") > " + std::to_string(limit.maxChars));
      break;
    case Kind::Date:
      // More digits after the point than the column keeps (trailing zeros too).
      if (limit.secondDigits < 0) break;
      tests.push_back("instr(" + c + ", '.') > 0 AND length(" + c + ") - instr(" + c + ", '.') > " +
                      std::to_string(limit.secondDigits));
      break;
    case Kind::Real:
      if (limit.precision == 0) break;
      tests.push_back(c + " IS NOT NULL AND NOT (typeof(" + c +
                      ") IN ('integer', 'real') AND round(" + c + ", " +
                      std::to_string(limit.scale) + ") = " + c + " AND abs(" + c + ") < 1e" +
                      std::to_string(limit.precision - limit.scale) + ")");
      break;
    default:
      return std::nullopt;
  }
  std::string out;
  for (const auto& test : tests) out += (out.empty() ? "(" : " OR (") + test + ")";
  return out;
}

}  // namespace

std::vector<TableSpec> SchemaTables(const std::wstring& libraryFolder) {
  SqliteFile memory(libraryFolder, ":memory:", kSource);
  memory.Exec(FromUtf8(SqliteSchemaSql()));
  clsSqlLite& lib = memory.Lib();
  std::vector<TableSpec> tables;
  {
    SqliteStatement stmt(memory);
    intptr_t tail = 0;
    if (lib.sqlite3_prepare_v2(
            memory.Db(),
            L"SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
            L"ORDER BY rowid",
            0, stmt.handle, tail) != 0)
      memory.Fail();
    while (lib.sqlite3_step(stmt.handle) == sqlite_detail::kSqliteRow)
      tables.push_back({std::string(lib.ColumnUtf8(stmt.handle, 0)), {}, -1});
  }
  for (TableSpec& table : tables) {
    SqliteStatement stmt(memory);
    intptr_t tail = 0;
    if (lib.sqlite3_prepare_v2(memory.Db(),
                               L"SELECT name, upper(type), pk FROM pragma_table_info('" +
                                   FromUtf8(table.name) + L"') ORDER BY cid",
                               0, stmt.handle, tail) != 0)
      memory.Fail();
    while (lib.sqlite3_step(stmt.handle) == sqlite_detail::kSqliteRow) {
      const std::string_view type = lib.ColumnUtf8(stmt.handle, 1);
      const Kind kind = type == "INTEGER" ? Kind::Integer
                        : type == "REAL"  ? Kind::Real
                        : type == "BLOB"  ? Kind::Blob
                                          : Kind::Text;
      if (lib.ColumnInt64(stmt.handle, 2) == 1 && kind == Kind::Integer)
        table.key = static_cast<int>(table.columns.size());
      ColumnSpec column;
      column.name = std::string(lib.ColumnUtf8(stmt.handle, 0));
      column.kind = kind;
      table.columns.push_back(std::move(column));
    }
  }
  return tables;
}

FileSide::FileSide(const std::wstring& libraryFolder, const std::filesystem::path& file)
    : file_(libraryFolder, file, kSource) {}

void FileSide::Refine(std::vector<TableSpec>& tables, bool target) {
  // A newer schema may hold what this library would not carry; an older target takes the
  // upgrade inside the transaction that writes it, so that a refusal leaves it as it was.
  const int32_t version = sqlite_detail::FileVersion(file_);
  if (version > kSqliteSchemaVersion)
    Refuse(TransferRefusal::NotASchema,
           NewerSchema(version, kSqliteSchemaVersion) + L", so nothing was written.");
  if (target && version != 0 && version < kSqliteSchemaVersion) {
    BeginWrite();
    sqlite_detail::BringToVersion(file_);
  }
  std::vector<std::wstring> missing;
  for (TableSpec& table : tables) {
    SqliteStatement stmt(file_);
    Prepare(stmt, "SELECT name FROM pragma_table_info('" + table.name + "')");
    std::vector<std::string> have;
    while (Lib().sqlite3_step(stmt.handle) == sqlite_detail::kSqliteRow)
      have.emplace_back(Lib().ColumnUtf8(stmt.handle, 0));
    for (ColumnSpec& column : table.columns) {
      if (std::find(have.begin(), have.end(), column.name) == have.end())
        missing.push_back(FromUtf8(table.name + "." + column.name));
      // The file holds any text, but its readers read only dates of four-digit AD years.
      if (target && column.kind == Kind::Date) column.takes.fileDates = true;
    }
  }
  if (!missing.empty()) {
    std::wstring list;
    for (const auto& m : missing) list += (list.empty() ? L"" : L", ") + m;
    Refuse(TransferRefusal::NotASchema,
           L"The database file lacks columns of the schema: " + list + L".");
  }
}

void FileSide::BeginRead() {
  file_.Exec(L"BEGIN");
}

int64_t FileSide::Count(const TableSpec& table) {
  SqliteStatement stmt(file_);
  Prepare(stmt, "SELECT count(*) FROM " + Quoted(table.name));
  if (Lib().sqlite3_step(stmt.handle) != sqlite_detail::kSqliteRow) file_.Fail();
  return Lib().ColumnInt64(stmt.handle, 0);
}

std::vector<std::pair<std::string, int64_t>> FileSide::OtherRows(
    const std::vector<TableSpec>& tables) {
  std::vector<std::string> names;
  {
    SqliteStatement stmt(file_);
    Prepare(stmt,
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'");
    while (Lib().sqlite3_step(stmt.handle) == sqlite_detail::kSqliteRow)
      names.emplace_back(Lib().ColumnUtf8(stmt.handle, 0));
  }
  std::vector<std::pair<std::string, int64_t>> out;
  for (const auto& name : names) {
    const bool known = std::any_of(tables.begin(), tables.end(),
                                   [&](const TableSpec& t) { return t.name == name; });
    if (known) continue;
    const int64_t rows = Count(TableSpec{name, {}, -1});
    if (rows > 0) out.emplace_back(name, rows);
  }
  return out;
}

void FileSide::Scan(const TableSpec& table, const std::function<void(Batch&)>& take) {
  SqliteStatement stmt(file_);
  Prepare(stmt, "SELECT " + ColumnList(table) + " FROM " + Quoted(table.name) + " ORDER BY rowid");
  clsSqlLite& lib = Lib();
  Batch batch;
  batch.width = table.columns.size();
  int64_t row = 0;
  for (;;) {
    const int32_t rc = lib.sqlite3_step(stmt.handle);
    if (rc == sqlite_detail::kSqliteDone) break;
    if (rc != sqlite_detail::kSqliteRow) file_.Fail();
    ++row;
    for (size_t c = 0; c < batch.width; ++c)
      batch.cells.push_back(Read(stmt.handle, static_cast<int32_t>(c), table, c, row));
    if (batch.Rows() == kBatchRows) {
      take(batch);
      batch.cells.clear();
    }
  }
  if (batch.Rows() > 0) take(batch);
}

// The file picks the suspects itself, without handing every value over; a row's number is
// then counted for the suspects only.
void FileSide::Suspects(const TableSpec& table,
                        const std::function<void(int64_t row, const Cell* cells)>& take) {
  std::string where;
  for (const ColumnSpec& column : table.columns) {
    if (Within(column.holds, column.takes)) continue;
    auto condition = SuspectCondition(column);
    if (!condition) return Side::Suspects(table, take);
    if (!condition->empty()) where += (where.empty() ? " WHERE " : " OR ") + *condition;
  }
  if (where.empty()) return;
  std::vector<int64_t> rowids;
  {
    SqliteStatement stmt(file_);
    Prepare(stmt, "SELECT rowid FROM " + Quoted(table.name) + where + " ORDER BY rowid");
    while (Lib().sqlite3_step(stmt.handle) == sqlite_detail::kSqliteRow)
      rowids.push_back(Lib().ColumnInt64(stmt.handle, 0));
  }
  if (rowids.empty()) return;
  SqliteStatement order(file_);
  Prepare(order, "SELECT rowid FROM " + Quoted(table.name) + " ORDER BY rowid");
  SqliteStatement one(file_);
  Prepare(one, "SELECT " + ColumnList(table) + " FROM " + Quoted(table.name) + " WHERE rowid = ?");
  std::vector<Cell> cells;
  int64_t row = 0;
  for (const int64_t rowid : rowids) {
    do {
      if (Lib().sqlite3_step(order.handle) != sqlite_detail::kSqliteRow) file_.Fail();
      ++row;
    } while (Lib().ColumnInt64(order.handle, 0) != rowid);
    if (Lib().BindInt64(one.handle, 1, rowid) != 0 ||
        Lib().sqlite3_step(one.handle) != sqlite_detail::kSqliteRow)
      file_.Fail();
    cells.clear();
    for (size_t c = 0; c < table.columns.size(); ++c)
      cells.push_back(Read(one.handle, static_cast<int32_t>(c), table, c, row));
    Lib().sqlite3_reset(one.handle);
    take(row, cells.data());
  }
}

void FileSide::BeginWrite() {
  if (writing_) return;  // begun for the upgrade
  file_.Exec(L"BEGIN IMMEDIATE");
  writing_ = true;
}

void FileSide::Insert(const TableSpec& table, const Batch& rows) {
  auto& stmt = inserts_[table.name];
  if (!stmt) {
    stmt = std::make_unique<SqliteStatement>(file_);
    std::string marks;
    for (size_t c = 0; c < table.columns.size(); ++c) marks += c == 0 ? "?" : ", ?";
    Prepare(*stmt, "INSERT INTO " + Quoted(table.name) + " (" + ColumnList(table) + ") VALUES (" +
                       marks + ")");
  }
  clsSqlLite& lib = Lib();
  const intptr_t h = stmt->handle;
  for (size_t r = 0; r < rows.Rows(); ++r) {
    const Cell* row = rows.Row(r);
    for (size_t c = 0; c < rows.width; ++c) {
      const Cell& cell = row[c];
      const int32_t at = static_cast<int32_t>(c + 1);
      int32_t rc;
      if (cell.null) {
        rc = lib.BindNull(h, at);
      } else {
        switch (table.columns[c].kind) {
          case Kind::Integer:
          case Kind::Bool:
            rc = lib.BindInt64(h, at, cell.i);
            break;
          case Kind::Real:
            rc = lib.BindReal(h, at, cell.d);
            break;
          case Kind::Blob:
            rc = lib.BindBytes(h, at, cell.s);
            break;
          default:
            rc = lib.BindUtf8(h, at, cell.s);
        }
      }
      if (rc != 0) file_.Fail();
    }
    if (lib.sqlite3_step(h) != sqlite_detail::kSqliteDone) file_.Fail();
    lib.sqlite3_reset(h);
  }
}

std::pair<int64_t, uint64_t> FileSide::Verify(const TableSpec& table) {
  Checksum sum;
  Scan(table, [&](Batch& batch) {
    for (size_t r = 0; r < batch.Rows(); ++r) sum.Add(batch.Row(r), table.columns);
  });
  return {sum.Rows(), sum.Value()};
}

void FileSide::Commit() {
  inserts_.clear();
  file_.Exec(L"COMMIT");
  writing_ = false;
}

void FileSide::Rollback() noexcept {
  inserts_.clear();
  if (!writing_) return;
  writing_ = false;
  Lib().sqlite3_exec(file_.Db(), L"ROLLBACK");
}

// Only AUTOINCREMENT tables keep a mark, in sqlite_sequence (which exists once one does).
int64_t FileSide::IdsUsed(const TableSpec& table) {
  SqliteStatement stmt(file_);
  Prepare(stmt, "SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'");
  if (Lib().sqlite3_step(stmt.handle) != sqlite_detail::kSqliteRow) return 0;
  SqliteStatement seq(file_);
  Prepare(seq, "SELECT seq FROM sqlite_sequence WHERE name = '" + table.name + "' COLLATE NOCASE");
  return Lib().sqlite3_step(seq.handle) == sqlite_detail::kSqliteRow
             ? Lib().ColumnInt64(seq.handle, 0)
             : 0;
}

void FileSide::Finish(const TableSpec& table, int64_t idsUsed) {
  if (idsUsed <= IdsUsed(table)) return;
  SqliteStatement stmt(file_);
  Prepare(stmt, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '" + table.name +
                    "' COLLATE NOCASE AND sql LIKE '%AUTOINCREMENT%'");
  if (Lib().sqlite3_step(stmt.handle) != sqlite_detail::kSqliteRow) return;
  const std::wstring name = FromUtf8(table.name);
  file_.Exec(L"DELETE FROM sqlite_sequence WHERE name = '" + name + L"' COLLATE NOCASE");
  file_.Exec(L"INSERT INTO sqlite_sequence (name, seq) VALUES ('" + name + L"', " +
             std::to_wstring(idsUsed) + L")");
}

void FileSide::Prepare(SqliteStatement& stmt, const std::string& sql) {
  intptr_t tail = 0;
  if (Lib().sqlite3_prepare_v2(file_.Db(), FromUtf8(sql), 0, stmt.handle, tail) != 0) file_.Fail();
}

Cell FileSide::Read(intptr_t stmt, int32_t c, const TableSpec& table, size_t column, int64_t row) {
  clsSqlLite& lib = Lib();
  Cell cell;
  const int32_t type = lib.sqlite3_column_type(stmt, c);
  if (type == kSqliteNull) return cell;
  cell.null = false;
  const ColumnSpec& col = table.columns[column];
  switch (col.kind) {
    case Kind::Integer:
    case Kind::Bool: {
      if (type == kSqliteInteger) {
        cell.i = lib.ColumnInt64(stmt, c);
      } else if (type == kSqliteFloat &&
                 std::trunc(lib.ColumnReal(stmt, c)) == lib.ColumnReal(stmt, c)) {
        cell.i = static_cast<int64_t>(lib.ColumnReal(stmt, c));
      } else {
        Unreadable(
            table, col, row,
            L" holds \"" + FromUtf8(lib.ColumnUtf8(stmt, c)) + L"\", which is not a whole number.");
      }
      if (col.kind == Kind::Bool) cell.i = cell.i != 0 ? 1 : 0;
      break;
    }
    case Kind::Real:
      if (type != kSqliteInteger && type != kSqliteFloat)
        Unreadable(
            table, col, row,
            L" holds \"" + FromUtf8(lib.ColumnUtf8(stmt, c)) + L"\", which is not a number.");
      cell.d = lib.ColumnReal(stmt, c);
      break;
    case Kind::Date: {
      auto date = ReadDate(lib.ColumnUtf8(stmt, c));
      if (!date)
        Unreadable(table, col, row,
                   L" holds \"" + FromUtf8(lib.ColumnUtf8(stmt, c)) +
                       L"\", which is not a date (YYYY-MM-DD HH:MM:SS).");
      cell.s = std::move(date->text);
      break;
    }
    default:  // text, and a blob's bytes as they are
      cell.s = std::string(lib.ColumnUtf8(stmt, c));
  }
  return cell;
}

}  // namespace QuillData::transfer
