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

using sqlite_detail::Database;
using sqlite_detail::kSqliteFloat;
using sqlite_detail::kSqliteInteger;
using sqlite_detail::kSqliteNull;
using sqlite_detail::Statement;

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
  Database memory(libraryFolder, ":memory:", kSource);
  memory.Exec(FromUtf8(SqliteSchemaSql()));
  std::vector<TableSpec> tables;
  {
    Statement stmt = memory.Prepare(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
        "ORDER BY rowid");
    while (stmt.Step()) tables.push_back({std::string(stmt.Utf8(0)), {}, -1});
  }
  for (TableSpec& table : tables) {
    Statement stmt = memory.Prepare("SELECT name, upper(type), pk FROM pragma_table_info('" +
                                    table.name + "') ORDER BY cid");
    while (stmt.Step()) {
      const std::string_view type = stmt.Utf8(1);
      const Kind kind = type == "INTEGER" ? Kind::Integer
                        : type == "REAL"  ? Kind::Real
                        : type == "BLOB"  ? Kind::Blob
                                          : Kind::Text;
      if (stmt.Int64(2) == 1 && kind == Kind::Integer)
        table.key = static_cast<int>(table.columns.size());
      ColumnSpec column;
      column.name = std::string(stmt.Utf8(0));
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
    Statement stmt = file_.Prepare("SELECT name FROM pragma_table_info('" + table.name + "')");
    std::vector<std::string> have;
    while (stmt.Step()) have.emplace_back(stmt.Utf8(0));
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
  Statement stmt = file_.Prepare("SELECT count(*) FROM " + Quoted(table.name));
  if (!stmt.Step()) file_.Raise();
  return stmt.Int64(0);
}

std::vector<std::pair<std::string, int64_t>> FileSide::OtherRows(
    const std::vector<TableSpec>& tables) {
  std::vector<std::string> names;
  {
    Statement stmt = file_.Prepare(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'");
    while (stmt.Step()) names.emplace_back(stmt.Utf8(0));
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
  Statement stmt = file_.Prepare("SELECT " + ColumnList(table) + " FROM " + Quoted(table.name) +
                                 " ORDER BY rowid");
  Batch batch;
  batch.width = table.columns.size();
  int64_t row = 0;
  while (stmt.Step()) {
    ++row;
    for (size_t c = 0; c < batch.width; ++c)
      batch.cells.push_back(Read(stmt, static_cast<int32_t>(c), table, c, row));
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
    Statement stmt =
        file_.Prepare("SELECT rowid FROM " + Quoted(table.name) + where + " ORDER BY rowid");
    while (stmt.Step()) rowids.push_back(stmt.Int64(0));
  }
  if (rowids.empty()) return;
  Statement order = file_.Prepare("SELECT rowid FROM " + Quoted(table.name) + " ORDER BY rowid");
  Statement one = file_.Prepare("SELECT " + ColumnList(table) + " FROM " + Quoted(table.name) +
                                " WHERE rowid = ?");
  std::vector<Cell> cells;
  int64_t row = 0;
  for (const int64_t rowid : rowids) {
    do {
      if (!order.Step()) file_.Raise();
      ++row;
    } while (order.Int64(0) != rowid);
    one.BindInt64(1, rowid);
    if (!one.Step()) file_.Raise();
    cells.clear();
    for (size_t c = 0; c < table.columns.size(); ++c)
      cells.push_back(Read(one, static_cast<int32_t>(c), table, c, row));
    one.Reset();
    take(row, cells.data());
  }
}

void FileSide::BeginWrite() {
  if (writing_) return;  // begun for the upgrade
  file_.Exec(L"BEGIN IMMEDIATE");
  writing_ = true;
}

void FileSide::Insert(const TableSpec& table, const Batch& rows) {
  Statement& stmt = inserts_[table.name];
  if (!stmt) {
    std::string marks;
    for (size_t c = 0; c < table.columns.size(); ++c) marks += c == 0 ? "?" : ", ?";
    stmt = file_.Prepare("INSERT INTO " + Quoted(table.name) + " (" + ColumnList(table) +
                         ") VALUES (" + marks + ")");
  }
  for (size_t r = 0; r < rows.Rows(); ++r) {
    const Cell* row = rows.Row(r);
    for (size_t c = 0; c < rows.width; ++c) {
      const Cell& cell = row[c];
      const int32_t at = static_cast<int32_t>(c + 1);
      if (cell.null) {
        stmt.BindNull(at);
        continue;
      }
      switch (table.columns[c].kind) {
        case Kind::Integer:
        case Kind::Bool:
          stmt.BindInt64(at, cell.i);
          break;
        case Kind::Real:
          stmt.BindReal(at, cell.d);
          break;
        case Kind::Blob:
          stmt.BindBytes(at, cell.s);
          break;
        default:
          stmt.BindText(at, cell.s);
      }
    }
    stmt.Run();
    stmt.Reset();
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
  file_.Rollback();
}

// Only AUTOINCREMENT tables keep a mark, in sqlite_sequence (which exists once one does).
int64_t FileSide::IdsUsed(const TableSpec& table) {
  if (!file_.Prepare("SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'").Step()) return 0;
  Statement seq = file_.Prepare("SELECT seq FROM sqlite_sequence WHERE name = '" + table.name +
                                "' COLLATE NOCASE");
  return seq.Step() ? seq.Int64(0) : 0;
}

void FileSide::Finish(const TableSpec& table, int64_t idsUsed) {
  if (idsUsed <= IdsUsed(table)) return;
  if (!file_
           .Prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '" + table.name +
                    "' COLLATE NOCASE AND sql LIKE '%AUTOINCREMENT%'")
           .Step())
    return;
  const std::wstring name = FromUtf8(table.name);
  file_.Exec(L"DELETE FROM sqlite_sequence WHERE name = '" + name + L"' COLLATE NOCASE");
  file_.Exec(L"INSERT INTO sqlite_sequence (name, seq) VALUES ('" + name + L"', " +
             std::to_wstring(idsUsed) + L")");
}

Cell FileSide::Read(const Statement& stmt, int32_t c, const TableSpec& table, size_t column,
                    int64_t row) {
  Cell cell;
  const int32_t type = stmt.Type(c);
  if (type == kSqliteNull) return cell;
  cell.null = false;
  const ColumnSpec& col = table.columns[column];
  switch (col.kind) {
    case Kind::Integer:
    case Kind::Bool: {
      if (type == kSqliteInteger) {
        cell.i = stmt.Int64(c);
      } else if (type == kSqliteFloat && std::trunc(stmt.Real(c)) == stmt.Real(c)) {
        cell.i = static_cast<int64_t>(stmt.Real(c));
      } else {
        Unreadable(table, col, row,
                   L" holds \"" + FromUtf8(stmt.Utf8(c)) + L"\", which is not a whole number.");
      }
      if (col.kind == Kind::Bool) cell.i = cell.i != 0 ? 1 : 0;
      break;
    }
    case Kind::Real:
      if (type != kSqliteInteger && type != kSqliteFloat)
        Unreadable(table, col, row,
                   L" holds \"" + FromUtf8(stmt.Utf8(c)) + L"\", which is not a number.");
      cell.d = stmt.Real(c);
      break;
    case Kind::Date: {
      auto date = ReadDate(stmt.Utf8(c));
      if (!date)
        Unreadable(table, col, row,
                   L" holds \"" + FromUtf8(stmt.Utf8(c)) +
                       L"\", which is not a date (YYYY-MM-DD HH:MM:SS).");
      cell.s = std::move(date->text);
      break;
    }
    default:  // text, and a blob's bytes as they are
      cell.s = std::string(stmt.Utf8(c));
  }
  return cell;
}

}  // namespace QuillData::transfer
