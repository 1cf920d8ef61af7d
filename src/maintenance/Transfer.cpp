#include "QuillData/maintenance/Transfer.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <tuple>
#include <utility>

#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Text.h"
#include "QuillData/sqlite/Schema.h"
#include "ado/Libpq.h"
#include "sqlite/SqliteFile.h"

namespace QuillData {

namespace {

namespace fs = std::filesystem;
using sqlite_detail::SqliteFile;
using sqlite_detail::SqliteStatement;

constexpr wchar_t kSource[] = L"TransferDatabase";
// Rows per batch: one statement on a server, one progress report.
constexpr size_t kBatchRows = 2000;

using sqlite_detail::kSqliteFloat;
using sqlite_detail::kSqliteInteger;
using sqlite_detail::kSqliteNull;

[[noreturn]] void Refuse(int32_t number, const std::wstring& why) {
  throw QuillError(number, kSource, why);
}

[[noreturn]] void Fail(const std::wstring& why) {
  throw QuillError(ErrNo::StatementError, kSource, why);
}

// What a column carries, the same on both sides.
enum class Kind { Integer, Real, Text, Blob, Bool, Date };

struct Cell;

struct ColumnSpec {
  std::string name;
  Kind kind = Kind::Text;
  // What an empty (NULL) value becomes: the server's default for a column that refuses NULL,
  // which is what the readers of either backend show for an empty value.
  std::shared_ptr<const Cell> nullAs;
  std::wstring serverType;  // the server's type name ("integer", "text", ...)
  bool identity = false;    // the server numbers new rows through it
};

struct TableSpec {
  std::string name;
  std::vector<ColumnSpec> columns;
  int key = -1;  // the integer primary key (the id) among the columns, -1 when none
};

// One value in its carried form: Bool as 0/1 in i, Date as canonical text in s, Text as
// UTF-8 and Blob as bytes in s.
struct Cell {
  bool null = true;
  int64_t i = 0;
  double d = 0;
  std::string s;
};

// A batch of rows, row after row, `width` cells each.
struct Batch {
  size_t width = 0;
  std::vector<Cell> cells;
  size_t Rows() const { return width == 0 ? 0 : cells.size() / width; }
  const Cell* Row(size_t r) const { return cells.data() + r * width; }
};

// "YYYY-MM-DD HH:MM:SS" with a fraction only when it is not zero; "T" between date and time
// and a date without time are read as well. nullopt for anything else.
std::optional<std::string> CanonicalDate(std::string_view text) {
  auto digits = [&](size_t at, size_t n) {
    if (at + n > text.size()) return false;
    for (size_t k = at; k < at + n; ++k)
      if (text[k] < '0' || text[k] > '9') return false;
    return true;
  };
  if (!digits(0, 4) || text.size() < 10 || text[4] != '-' || !digits(5, 2) || text[7] != '-' ||
      !digits(8, 2))
    return std::nullopt;
  std::string out(text.substr(0, 10));
  if (text.size() == 10) return out + " 00:00:00";
  if ((text[10] != ' ' && text[10] != 'T') || !digits(11, 2) || text.size() < 19 ||
      text[13] != ':' || !digits(14, 2) || text[16] != ':' || !digits(17, 2))
    return std::nullopt;
  out += ' ';
  out += text.substr(11, 8);
  if (text.size() == 19) return out;
  if (text[19] != '.' || !digits(20, text.size() - 20) || text.size() == 20) return std::nullopt;
  std::string_view fraction = text.substr(20);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  if (!fraction.empty()) out += "." + std::string(fraction);
  return out;
}

// The order-independent checksum of a table: per row, the first 8 bytes of the MD5 of the
// row's text (below), read as a big-endian signed 64-bit number; summed modulo 2^64. The
// row's text has one piece per column, NULL as "N;", else a letter for the kind and the
// value: "i<decimal>;", "b<0|1>;", "r<16 hex digits of the IEEE bits, big-endian>;" (-0 as
// 0), "t<bytes>:<UTF-8>;", "d<YYYY-MM-DD HH:MM:SS[.fraction]>;", "x<lower-case hex>;". Over
// ODBC a server computes the same sum in SQL (ServerSide::Verify), so its rows need not
// travel; through libpq they come back through COPY, which is faster still.
class Checksum {
 public:
  Checksum() : context_(EVP_MD_CTX_new()) {
    if (!context_) throw std::bad_alloc();
  }
  ~Checksum() { EVP_MD_CTX_free(context_); }
  Checksum(const Checksum&) = delete;
  Checksum& operator=(const Checksum&) = delete;

  void Add(const Cell* row, const std::vector<ColumnSpec>& columns) {
    static constexpr char kHex[] = "0123456789abcdef";
    text_.clear();
    for (size_t c = 0; c < columns.size(); ++c) {
      const Cell& cell = row[c];
      if (cell.null) {
        text_ += "N;";
        continue;
      }
      switch (columns[c].kind) {
        case Kind::Integer:
          text_ += 'i';
          text_ += std::to_string(cell.i);
          break;
        case Kind::Bool:
          text_ += cell.i != 0 ? "b1" : "b0";
          break;
        case Kind::Real: {
          const uint64_t bits = std::bit_cast<uint64_t>(cell.d == 0 ? 0.0 : cell.d);
          text_ += 'r';
          for (int shift = 60; shift >= 0; shift -= 4) text_ += kHex[(bits >> shift) & 15];
          break;
        }
        case Kind::Blob:
          text_ += 'x';
          for (unsigned char b : cell.s) {
            text_ += kHex[b >> 4];
            text_ += kHex[b & 15];
          }
          break;
        case Kind::Date:
          text_ += 'd';
          text_ += cell.s;
          break;
        default:
          text_ += 't';
          text_ += std::to_string(cell.s.size());
          text_ += ':';
          text_ += cell.s;
      }
      text_ += ';';
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestInit_ex(context_, EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(context_, text_.data(), text_.size()) != 1 ||
        EVP_DigestFinal_ex(context_, digest, &length) != 1)
      Fail(L"The checksum cannot be computed (MD5 is not available).");
    uint64_t prefix = 0;
    for (int k = 0; k < 8; ++k) prefix = (prefix << 8) | digest[k];
    sum_ += prefix;
    ++rows_;
  }
  uint64_t Value() const { return sum_; }
  int64_t Rows() const { return rows_; }

 private:
  EVP_MD_CTX* context_;
  std::string text_;
  uint64_t sum_ = 0;
  int64_t rows_ = 0;
};

std::wstring Where(const TableSpec& table, const ColumnSpec& column, int64_t row) {
  return FromUtf8(table.name) + L"." + FromUtf8(column.name) + L" (row " + std::to_wstring(row) +
         L")";
}

// One side of the transfer.
class Side {
 public:
  virtual ~Side() = default;
  // The server's column kinds refine the schema's (boolean and timestamp columns); a side
  // lacking a table or column of the schema refuses.
  virtual void Refine(std::vector<TableSpec>& tables) = 0;
  // A consistent view for every read that follows.
  virtual void BeginRead() = 0;
  virtual int64_t Count(const TableSpec& table) = 0;
  // Tables outside `tables` that hold rows, with their counts.
  virtual std::vector<std::pair<std::string, int64_t>> OtherRows(
      const std::vector<TableSpec>& tables) = 0;
  // The rows in key order, batch by batch.
  virtual void Scan(const TableSpec& table, const std::function<void(Batch&)>& take) = 0;
  virtual void BeginWrite() = 0;
  virtual void Insert(const TableSpec& table, const Batch& rows) = 0;
  // The highest id the table has handed out, deleted rows' included, where the side keeps
  // such a mark (a server's identity, an AUTOINCREMENT table); else 0.
  virtual int64_t IdsUsed(const TableSpec& table) = 0;
  // After a table's rows are in: new ids start past the rows' and past `idsUsed`, the
  // source's mark, so that no id the source ever handed out is handed out again.
  virtual void Finish(const TableSpec& table, int64_t idsUsed) = 0;
  // The table's row count and checksum (Checksum) as this side holds them now.
  virtual std::pair<int64_t, uint64_t> Verify(const TableSpec& table) = 0;
  virtual void Commit() = 0;
  virtual void Rollback() noexcept = 0;
};

// The schema's tables and columns, from the embedded schema loaded into a database in memory.
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
      table.columns.push_back({std::string(lib.ColumnUtf8(stmt.handle, 0)), kind, nullptr, {}});
    }
  }
  return tables;
}

// The embedded database file ----------------------------------------------------------------

class FileSide : public Side {
 public:
  FileSide(const std::wstring& libraryFolder, const fs::path& file)
      : file_(libraryFolder, file, kSource) {}

  void Refine(std::vector<TableSpec>& tables) override {
    std::vector<std::wstring> missing;
    for (const TableSpec& table : tables) {
      SqliteStatement stmt(file_);
      intptr_t tail = 0;
      if (Lib().sqlite3_prepare_v2(
              file_.Db(), L"SELECT name FROM pragma_table_info('" + FromUtf8(table.name) + L"')", 0,
              stmt.handle, tail) != 0)
        file_.Fail();
      std::vector<std::string> have;
      while (Lib().sqlite3_step(stmt.handle) == sqlite_detail::kSqliteRow)
        have.emplace_back(Lib().ColumnUtf8(stmt.handle, 0));
      for (const ColumnSpec& column : table.columns) {
        if (std::find(have.begin(), have.end(), column.name) == have.end())
          missing.push_back(FromUtf8(table.name + "." + column.name));
      }
    }
    if (!missing.empty()) {
      std::wstring list;
      for (const auto& m : missing) list += (list.empty() ? L"" : L", ") + m;
      Refuse(TransferRefusal::NotASchema,
             L"The database file lacks columns of the schema: " + list + L".");
    }
  }

  void BeginRead() override { file_.Exec(L"BEGIN"); }

  int64_t Count(const TableSpec& table) override {
    SqliteStatement stmt(file_);
    Prepare(stmt, "SELECT count(*) FROM \"" + table.name + "\"");
    if (Lib().sqlite3_step(stmt.handle) != sqlite_detail::kSqliteRow) file_.Fail();
    return Lib().ColumnInt64(stmt.handle, 0);
  }

  std::vector<std::pair<std::string, int64_t>> OtherRows(
      const std::vector<TableSpec>& tables) override {
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

  void Scan(const TableSpec& table, const std::function<void(Batch&)>& take) override {
    SqliteStatement stmt(file_);
    Prepare(stmt, "SELECT " + ColumnList(table) + " FROM \"" + table.name + "\" ORDER BY rowid");
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

  void BeginWrite() override {
    file_.Exec(L"BEGIN IMMEDIATE");
    writing_ = true;
  }

  void Insert(const TableSpec& table, const Batch& rows) override {
    auto& stmt = inserts_[table.name];
    if (!stmt) {
      stmt = std::make_unique<SqliteStatement>(file_);
      std::string marks;
      for (size_t c = 0; c < table.columns.size(); ++c) marks += c == 0 ? "?" : ", ?";
      Prepare(*stmt, "INSERT INTO \"" + table.name + "\" (" + ColumnList(table) + ") VALUES (" +
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

  // Only AUTOINCREMENT tables keep a mark, in sqlite_sequence (which exists once one does).
  int64_t IdsUsed(const TableSpec& table) override {
    SqliteStatement stmt(file_);
    Prepare(stmt, "SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'");
    if (Lib().sqlite3_step(stmt.handle) != sqlite_detail::kSqliteRow) return 0;
    SqliteStatement seq(file_);
    Prepare(seq,
            "SELECT seq FROM sqlite_sequence WHERE name = '" + table.name + "' COLLATE NOCASE");
    return Lib().sqlite3_step(seq.handle) == sqlite_detail::kSqliteRow
               ? Lib().ColumnInt64(seq.handle, 0)
               : 0;
  }

  void Finish(const TableSpec& table, int64_t idsUsed) override {
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

  std::pair<int64_t, uint64_t> Verify(const TableSpec& table) override {
    Checksum sum;
    Scan(table, [&](Batch& batch) {
      for (size_t r = 0; r < batch.Rows(); ++r) sum.Add(batch.Row(r), table.columns);
    });
    return {sum.Rows(), sum.Value()};
  }

  void Commit() override {
    inserts_.clear();
    file_.Exec(L"COMMIT");
    writing_ = false;
  }

  void Rollback() noexcept override {
    inserts_.clear();
    if (!writing_) return;
    writing_ = false;
    Lib().sqlite3_exec(file_.Db(), L"ROLLBACK");
  }

 private:
  clsSqlLite& Lib() { return file_.Lib(); }

  void Prepare(SqliteStatement& stmt, const std::string& sql) {
    intptr_t tail = 0;
    if (Lib().sqlite3_prepare_v2(file_.Db(), FromUtf8(sql), 0, stmt.handle, tail) != 0)
      file_.Fail();
  }

  static std::string ColumnList(const TableSpec& table) {
    std::string out;
    for (const auto& column : table.columns)
      out += (out.empty() ? "\"" : ", \"") + column.name + "\"";
    return out;
  }

  // The value of column `c` as the column's kind carries it.
  Cell Read(intptr_t stmt, int32_t c, const TableSpec& table, size_t column, int64_t row) {
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
          Fail(Where(table, col, row) + L" holds \"" + FromUtf8(lib.ColumnUtf8(stmt, c)) +
               L"\", which is not a whole number.");
        }
        if (col.kind == Kind::Bool) cell.i = cell.i != 0 ? 1 : 0;
        break;
      }
      case Kind::Real:
        if (type != kSqliteInteger && type != kSqliteFloat)
          Fail(Where(table, col, row) + L" holds \"" + FromUtf8(lib.ColumnUtf8(stmt, c)) +
               L"\", which is not a number.");
        cell.d = lib.ColumnReal(stmt, c);
        break;
      case Kind::Date: {
        auto date = CanonicalDate(lib.ColumnUtf8(stmt, c));
        if (!date)
          Fail(Where(table, col, row) + L" holds \"" + FromUtf8(lib.ColumnUtf8(stmt, c)) +
               L"\", which is not a date (YYYY-MM-DD HH:MM:SS).");
        cell.s = std::move(*date);
        break;
      }
      default:  // text, and a blob's bytes as they are
        cell.s = std::string(lib.ColumnUtf8(stmt, c));
    }
    return cell;
  }

  SqliteFile file_;
  std::map<std::string, std::unique_ptr<SqliteStatement>> inserts_;
  bool writing_ = false;
};

// The server (PostgreSQL) over libpq or ODBC
// ----------------------------------------------------------

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// A text as an element of an array literal inside an SQL string: in double quotes, with
// the array's backslash escapes and the string's doubled single quote. The server's strings
// cannot hold a zero character.
void AppendElement(std::wstring& sql, std::string_view utf8, const TableSpec& table,
                   const ColumnSpec& column, int64_t row) {
  if (utf8.find('\0') != std::string_view::npos)
    Fail(Where(table, column, row) + L" holds a zero character, which the server cannot store.");
  sql += L'"';
  for (wchar_t ch : FromUtf8(utf8)) {
    if (ch == L'"' || ch == L'\\') sql += L'\\';
    if (ch == L'\'') sql += L'\'';
    sql += ch;
  }
  sql += L'"';
}

// The shortest text that reads back as the same double, as an array element.
void AppendReal(std::wstring& sql, double value) {
  if (std::isnan(value)) {
    sql += L"NaN";
  } else if (std::isinf(value)) {
    sql += value > 0 ? L"Infinity" : L"-Infinity";
  } else {
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    sql.append(text, end);
  }
}

// A row of COPY's text format: tab between values, \N for NULL, backslash escapes.
void AppendCopyRow(std::string& data, const Cell* row, const TableSpec& table, int64_t at) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (c > 0) data += '\t';
    const Cell& cell = row[c];
    const ColumnSpec& column = table.columns[c];
    if (cell.null) {
      data += "\\N";
      continue;
    }
    switch (column.kind) {
      case Kind::Integer:
        data += std::to_string(cell.i);
        break;
      case Kind::Bool:
        data += cell.i != 0 ? 't' : 'f';
        break;
      case Kind::Real:
        if (std::isnan(cell.d)) {
          data += "NaN";
        } else if (std::isinf(cell.d)) {
          data += cell.d > 0 ? "Infinity" : "-Infinity";
        } else {
          char text[32];
          data.append(text, std::to_chars(text, text + sizeof text, cell.d).ptr);
        }
        break;
      case Kind::Blob:
        data += "\\\\x";  // the bytea's own "\x", its backslash escaped for COPY
        for (unsigned char b : cell.s) {
          data += kHex[b >> 4];
          data += kHex[b & 15];
        }
        break;
      default:
        if (cell.s.find('\0') != std::string::npos)
          Fail(Where(table, column, at) +
               L" holds a zero character, which the server cannot store.");
        for (char ch : cell.s) {
          switch (ch) {
            case '\\':
              data += "\\\\";
              break;
            case '\t':
              data += "\\t";
              break;
            case '\n':
              data += "\\n";
              break;
            case '\r':
              data += "\\r";
              break;
            default:
              data += ch;
          }
        }
    }
  }
  data += '\n';
}

class ServerSide : public Side {
 public:
  explicit ServerSide(const std::wstring& connection)
      : session_(ado::ProviderFor(connection)->Open(connection, L"", L"")),
        pg_(ado::libpq::Raw(*session_)) {}
  ~ServerSide() override { Rollback(); }

  void Refine(std::vector<TableSpec>& tables) override {
    struct ServerColumn {
      std::wstring type;
      std::wstring defaultExpression;  // empty: none, or the column takes NULL
      bool identity = false;
    };
    std::map<std::string, std::map<std::string, ServerColumn>> columns;  // by table, column
    auto rows = Query(
        L"SELECT lower(table_name), column_name, data_type, "
        L"CASE WHEN is_nullable = 'NO' THEN column_default END, is_identity "
        L"FROM information_schema.columns WHERE table_schema = current_schema()");
    for (const auto& row : rows->rows) {
      columns[ToUtf8(Text(row[0]))][ToUtf8(Text(row[1]))] = {Text(row[2]), Text(row[3]),
                                                             Text(row[4]) == L"YES"};
    }
    std::wstring missing;
    for (TableSpec& table : tables) {
      auto it = columns.find(Lower(table.name));
      std::vector<size_t> defaulted;
      std::wstring defaults;
      for (size_t c = 0; c < table.columns.size(); ++c) {
        ColumnSpec& column = table.columns[c];
        const ServerColumn* server = nullptr;
        if (it != columns.end()) {
          auto found = it->second.find(column.name);
          if (found != it->second.end()) server = &found->second;
        }
        if (!server) {
          missing += (missing.empty() ? L"" : L", ") + FromUtf8(table.name + "." + column.name);
          continue;
        }
        column.serverType = server->type;
        column.identity = server->identity;
        if (server->type == L"boolean") column.kind = Kind::Bool;
        if (server->type.starts_with(L"timestamp")) column.kind = Kind::Date;
        if (!server->defaultExpression.empty()) {
          defaulted.push_back(c);
          defaults += (defaults.empty() ? L"SELECT " : L", ") + server->defaultExpression;
        }
      }
      // The defaults as the server computes them, in the column's carried form.
      if (!defaulted.empty()) {
        auto values = Query(defaults);
        for (size_t k = 0; k < defaulted.size(); ++k) {
          ColumnSpec& column = table.columns[defaulted[k]];
          column.nullAs =
              std::make_shared<const Cell>(ToCell(values->rows.at(0).at(k), table, column, 0));
        }
      }
    }
    if (!missing.empty()) {
      Refuse(TransferRefusal::NotASchema,
             L"The server's database lacks tables or columns of the schema (run quilldata "
             L"server-init on an empty database): " +
                 missing + L".");
    }
  }

  void BeginRead() override {
    Run(L"START TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    open_ = true;
  }

  int64_t Count(const TableSpec& table) override {
    auto rows = Query(L"SELECT count(*) FROM " + FromUtf8(table.name));
    return Integer(rows->rows.at(0).at(0));
  }

  std::vector<std::pair<std::string, int64_t>> OtherRows(
      const std::vector<TableSpec>& tables) override {
    auto rows = Query(
        L"SELECT table_name FROM information_schema.tables WHERE table_schema = "
        L"current_schema() AND table_type = 'BASE TABLE' ORDER BY table_name");
    std::vector<std::pair<std::string, int64_t>> out;
    for (const auto& row : rows->rows) {
      const std::string name = ToUtf8(Text(row[0]));
      const bool known = std::any_of(tables.begin(), tables.end(),
                                     [&](const TableSpec& t) { return Lower(t.name) == name; });
      if (known || name == "tblschema_version") continue;
      const int64_t count = Count(TableSpec{"\"" + name + "\"", {}, -1});
      if (count > 0) out.emplace_back(name, count);
    }
    return out;
  }

  void Scan(const TableSpec& table, const std::function<void(Batch&)>& take) override {
    std::wstring select = L"SELECT ";
    for (size_t c = 0; c < table.columns.size(); ++c) {
      const std::wstring name = L"\"" + FromUtf8(table.columns[c].name) + L"\"";
      if (c > 0) select += L", ";
      select += table.columns[c].kind == Kind::Date
                    ? L"to_char(" + name + L", 'YYYY-MM-DD HH24:MI:SS.US')"
                    : name;
    }
    select += L" FROM " + FromUtf8(table.name);
    int64_t row = 0;
    if (pg_) {
      // Through libpq the whole table comes in one bulk unload, in key order.
      const std::wstring order =
          table.key < 0
              ? L"ctid"
              : L"\"" + FromUtf8(table.columns[static_cast<size_t>(table.key)].name) + L"\"";
      ScanCopy(table, select + L" ORDER BY " + order, take);
      return;
    }
    if (table.key < 0) {
      // Without an id the rows' physical order is the order the readers see.
      Convert(table, *Query(select + L" ORDER BY ctid"), row, take);
      return;
    }
    // By id, a page at a time, so that a large table is never held whole.
    const std::wstring key =
        L"\"" + FromUtf8(table.columns[static_cast<size_t>(table.key)].name) + L"\"";
    std::optional<int64_t> last;
    for (;;) {
      auto rows = Query(select + (last ? L" WHERE " + key + L" > " + std::to_wstring(*last) : L"") +
                        L" ORDER BY " + key + L" LIMIT " + std::to_wstring(kPageRows));
      if (rows->rows.empty()) break;
      last = Integer(rows->rows.back()[static_cast<size_t>(table.key)]);
      const bool more = rows->rows.size() == kPageRows;
      Convert(table, *rows, row, take);
      if (!more) break;
    }
  }

  void BeginWrite() override {
    Run(L"START TRANSACTION ISOLATION LEVEL READ COMMITTED");
    open_ = true;
    // A table's bulk load is one statement that lasts as long as the table is long: the
    // command timeout, meant for one call, does not limit it.
    if (pg_) Run(L"SET LOCAL statement_timeout = 0");
  }

  // Through libpq, the rows stream into the server's bulk load (COPY ... FROM STDIN), one
  // COPY per table, a batch a message. Over ODBC, one statement per batch: an array per
  // column, unnested into rows side by side (in the arrays' order); the server reads one
  // array far faster than a list of row expressions.
  void Insert(const TableSpec& table, const Batch& rows) override {
    if (pg_) {
      std::string data;
      for (size_t r = 0; r < rows.Rows(); ++r)
        AppendCopyRow(data, rows.Row(r), table, rowsWritten_ + static_cast<int64_t>(r) + 1);
      rowsWritten_ += static_cast<int64_t>(rows.Rows());
      Await();
      if (!copying_) StartCopy(table);
      inFlight_ = std::async(std::launch::async, [this, data = std::move(data)] {
        if (PQputCopyData(pg_, data.data(), static_cast<int>(data.size())) != 1)
          ado::libpq::Fail(*session_, nullptr);
      });
      return;
    }
    std::wstring sql = L"INSERT INTO " + FromUtf8(table.name) + L" (";
    for (size_t c = 0; c < table.columns.size(); ++c)
      sql += (c == 0 ? L"\"" : L", \"") + FromUtf8(table.columns[c].name) + L"\"";
    sql += L") SELECT ";
    for (size_t c = 0; c < rows.width; ++c) {
      const ColumnSpec& column = table.columns[c];
      sql += c == 0 ? L"unnest('{" : L", unnest('{";
      for (size_t r = 0; r < rows.Rows(); ++r) {
        if (r > 0) sql += L',';
        const Cell& cell = rows.Row(r)[c];
        if (cell.null) {
          sql += L"NULL";
          continue;
        }
        switch (column.kind) {
          case Kind::Integer:
            sql += std::to_wstring(cell.i);
            break;
          case Kind::Bool:
            sql += cell.i != 0 ? L't' : L'f';
            break;
          case Kind::Real:
            AppendReal(sql, cell.d);
            break;
          case Kind::Blob: {
            static constexpr char kHex[] = "0123456789abcdef";
            sql += L"\"\\\\x";  // "\\x...": the array's escape keeps one backslash
            for (unsigned char b : cell.s) {
              sql += static_cast<wchar_t>(kHex[b >> 4]);
              sql += static_cast<wchar_t>(kHex[b & 15]);
            }
            sql += L'"';
            break;
          }
          default:
            AppendElement(sql, cell.s, table, column, rowsWritten_ + static_cast<int64_t>(r) + 1);
        }
      }
      sql += L"}'::" + column.serverType + L"[])";
    }
    rowsWritten_ += static_cast<int64_t>(rows.Rows());
    // The server stores this batch while the next one is read and built.
    Await();
    inFlight_ = std::async(std::launch::async, [this, text = std::move(sql)] { Execute(text); });
  }

  // The identity's sequence: a sequence restarted at n has handed out n - 1.
  int64_t IdsUsed(const TableSpec& table) override {
    if (table.key < 0 || !table.columns[static_cast<size_t>(table.key)].identity) return 0;
    auto sequence = Query(L"SELECT pg_get_serial_sequence('" + FromUtf8(table.name) + L"', '" +
                          FromUtf8(table.columns[static_cast<size_t>(table.key)].name) + L"')");
    const std::wstring name = Text(sequence->rows.at(0).at(0));
    if (name.empty()) return 0;
    return Integer(Query(L"SELECT (CASE WHEN is_called THEN last_value ELSE last_value - 1 END)"
                         L"::integer FROM " +
                         name)
                       ->rows.at(0)
                       .at(0));
  }

  // The identity restarts past the highest id, the source's mark and its own, so it never
  // goes back. Unlike setval, ALTER TABLE is part of the transaction: a transfer that does
  // not commit leaves the numbering as it was.
  void Finish(const TableSpec& table, int64_t idsUsed) override {
    Await();
    EndCopy(nullptr);
    rowsWritten_ = 0;
    if (table.key < 0 || !table.columns[static_cast<size_t>(table.key)].identity) return;
    const std::wstring key =
        L"\"" + FromUtf8(table.columns[static_cast<size_t>(table.key)].name) + L"\"";
    auto next = Query(L"SELECT GREATEST(COALESCE(MAX(" + key + L"), 0), " +
                      std::to_wstring(std::max(idsUsed, IdsUsed(table))) + L") + 1 FROM " +
                      FromUtf8(table.name));
    Run(L"ALTER TABLE " + FromUtf8(table.name) + L" ALTER COLUMN " + key + L" RESTART WITH " +
        std::to_wstring(Integer(next->rows.at(0).at(0))));
  }

  std::pair<int64_t, uint64_t> Verify(const TableSpec& table) override {
    if (pg_) {
      // The rows as the server hands them out again, through its bulk unload: faster than
      // the server's own checksum in SQL below, and the same sum.
      Checksum sum;
      Scan(table, [&](Batch& batch) {
        for (size_t r = 0; r < batch.Rows(); ++r) sum.Add(batch.Row(r), table.columns);
      });
      return {sum.Rows(), sum.Value()};
    }
    std::wstring text;
    for (const ColumnSpec& column : table.columns) {
      const std::wstring c = L"\"" + FromUtf8(column.name) + L"\"";
      std::wstring piece;
      switch (column.kind) {
        case Kind::Integer:
          piece = L"'i' || " + c;
          break;
        case Kind::Bool:
          piece = L"'b' || " + c + L"::int";
          break;
        case Kind::Real:
          piece = L"'r' || encode(float8send(" + c + L" + 0::float8), 'hex')";
          break;
        case Kind::Blob:
          piece = L"'x' || encode(" + c + L", 'hex')";
          break;
        case Kind::Date:
          piece = L"'d' || to_char(" + c +
                  L", 'YYYY-MM-DD HH24:MI:SS') || coalesce('.' || nullif(rtrim(to_char(" + c +
                  L", 'US'), '0'), ''), '')";
          break;
        default:
          piece = L"'t' || octet_length(" + c + L") || ':' || " + c;
      }
      text += std::wstring(text.empty() ? L"" : L" || ") + L"coalesce(" + piece + L" || ';', 'N;')";
    }
    auto rows = Query(L"SELECT count(*)::text, coalesce(sum(('x' || substr(md5(" + text +
                      L"), 1, 16))::bit(64)::bigint), 0)::text FROM " + FromUtf8(table.name));
    const auto& row = rows->rows.at(0);
    __int128 sum = 0;
    const std::string digits = ToUtf8(Text(row.at(1)));
    const bool negative = digits.starts_with('-');
    for (char d : std::string_view(digits).substr(negative ? 1 : 0)) sum = sum * 10 + (d - '0');
    if (negative) sum = -sum;
    return {std::stoll(ToUtf8(Text(row.at(0)))), static_cast<uint64_t>(sum)};
  }

  void Commit() override {
    Run(L"COMMIT");
    open_ = false;
  }

  void Rollback() noexcept override {
    try {
      Await();
    } catch (...) {
      // Its failure is what brought us here, or comes second to it.
    }
    try {
      EndCopy("the transfer was abandoned");
    } catch (...) {
      // The COPY failed, which is what ends it here.
    }
    if (!open_) return;
    open_ = false;
    try {
      Run(L"ROLLBACK");
    } catch (...) {
      // The connection is gone: the server rolls the transaction back itself.
    }
  }

 private:
  static constexpr size_t kPageRows = 20000;

  // The batch on its way, if any; its failure surfaces here.
  void Await() {
    if (inFlight_.valid()) inFlight_.get();
  }

  struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
  };
  using Result = std::unique_ptr<PGresult, ResultDeleter>;

  void StartCopy(const TableSpec& table) {
    std::string sql = "COPY " + table.name + " (";
    for (size_t c = 0; c < table.columns.size(); ++c)
      sql += (c == 0 ? "\"" : ", \"") + table.columns[c].name + "\"";
    sql += ") FROM STDIN";
    Result started(PQexec(pg_, sql.c_str()));
    if (PQresultStatus(started.get()) != PGRES_COPY_IN) ado::libpq::Fail(*session_, started.get());
    copying_ = true;
  }

  // The rows of a query through COPY ... TO STDOUT, in COPY's text format.
  void ScanCopy(const TableSpec& table, const std::wstring& select,
                const std::function<void(Batch&)>& take) {
    Await();
    Result started(PQexec(pg_, ("COPY (" + ToUtf8(select) + ") TO STDOUT").c_str()));
    if (PQresultStatus(started.get()) != PGRES_COPY_OUT) ado::libpq::Fail(*session_, started.get());
    Batch batch;
    batch.width = table.columns.size();
    int64_t row = 0;
    std::string value;
    char* line = nullptr;
    int length;
    while ((length = PQgetCopyData(pg_, &line, 0)) > 0) {
      const std::unique_ptr<char, void (*)(void*)> hold(line, PQfreemem);
      ++row;
      size_t at = 0;
      const std::string_view text(line, static_cast<size_t>(length));
      for (size_t c = 0; c < batch.width; ++c) {
        const size_t end = std::min(text.find_first_of("\t\n", at), text.size());
        batch.cells.push_back(
            FromCopy(text.substr(at, end - at), table, table.columns[c], row, value));
        at = end + 1;
      }
      if (batch.Rows() == kBatchRows) {
        take(batch);
        batch.cells.clear();
      }
    }
    if (length == -2) ado::libpq::Fail(*session_, nullptr);
    Result failed;
    while (Result result{PQgetResult(pg_)}) {
      if (PQresultStatus(result.get()) != PGRES_COMMAND_OK && !failed) failed = std::move(result);
    }
    if (failed) ado::libpq::Fail(*session_, failed.get());
    if (batch.Rows() > 0) take(batch);
  }

  // One value of COPY's text format in its carried form; `value` is scratch space.
  static Cell FromCopy(std::string_view field, const TableSpec& table, const ColumnSpec& column,
                       int64_t row, std::string& value) {
    Cell cell;
    if (field == "\\N") return cell;
    cell.null = false;
    value.clear();
    for (size_t i = 0; i < field.size(); ++i) {
      if (field[i] != '\\' || i + 1 == field.size()) {
        value += field[i];
        continue;
      }
      switch (const char e = field[++i]) {
        case 'b':
          value += '\b';
          break;
        case 'f':
          value += '\f';
          break;
        case 'n':
          value += '\n';
          break;
        case 'r':
          value += '\r';
          break;
        case 't':
          value += '\t';
          break;
        case 'v':
          value += '\v';
          break;
        default:
          value += e;
      }
    }
    auto unreadable = [&] {
      Fail(Where(table, column, row) + L" holds \"" + FromUtf8(value.substr(0, 40)) +
           L"\", which is not readable as its type.");
    };
    const char* first = value.data();
    const char* last = value.data() + value.size();
    switch (column.kind) {
      case Kind::Integer:
        if (std::from_chars(first, last, cell.i).ptr != last) unreadable();
        break;
      case Kind::Bool:
        cell.i = value == "t" ? 1 : 0;
        break;
      case Kind::Real:
        if (std::from_chars(first, last, cell.d).ptr != last) unreadable();
        break;
      case Kind::Blob:
        // bytea's hex output, "\x0a1b..."
        if (!value.starts_with("\\x") || value.size() % 2 != 0) unreadable();
        cell.s.resize((value.size() - 2) / 2);
        for (size_t k = 0; k < cell.s.size(); ++k) {
          unsigned byte = 0;
          if (std::from_chars(first + 2 + 2 * k, first + 4 + 2 * k, byte, 16).ptr !=
              first + 4 + 2 * k)
            unreadable();
          cell.s[k] = static_cast<char>(byte);
        }
        break;
      case Kind::Date: {
        auto date = CanonicalDate(value);
        if (!date) unreadable();
        cell.s = std::move(*date);
        break;
      }
      default:
        cell.s = value;
    }
    return cell;
  }

  // Ends the COPY under way, if any: complete, or abandoned with the reason given.
  void EndCopy(const char* abandoned) {
    if (!copying_) return;
    copying_ = false;
    if (PQputCopyEnd(pg_, abandoned) != 1) ado::libpq::Fail(*session_, nullptr);
    Result failed;
    while (Result result{PQgetResult(pg_)}) {
      if (PQresultStatus(result.get()) != PGRES_COMMAND_OK && !failed) failed = std::move(result);
    }
    if (failed && !abandoned) ado::libpq::Fail(*session_, failed.get());
  }

  void Execute(const std::wstring& sql) {
    ado::CommandData command;
    command.text = sql;
    command.options = ado::adExecuteNoRecords;
    session_->Execute(command);
  }

  std::shared_ptr<ado::RowSet> Query(const std::wstring& sql) {
    Await();
    ado::CommandData command;
    command.text = sql;
    auto result = session_->Execute(command);
    if (!result.rows) result.rows = std::make_shared<ado::RowSet>();
    return result.rows;
  }

  void Run(const std::wstring& sql) {
    Await();
    Execute(sql);
  }

  static std::wstring Text(const Variant& value) {
    const auto* text = value.Get<std::wstring>();
    return text ? *text : std::wstring();
  }

  static int64_t Integer(const Variant& value) {
    if (const auto* v = value.Get<int32_t>()) return *v;
    if (const auto* v = value.Get<int16_t>()) return *v;
    if (const auto* v = value.Get<Decimal>()) return static_cast<int64_t>(v->mantissa);
    if (const auto* v = value.Get<std::wstring>()) return std::stoll(*v);
    return 0;
  }

  void Convert(const TableSpec& table, const ado::RowSet& rows, int64_t& row,
               const std::function<void(Batch&)>& take) {
    Batch batch;
    batch.width = table.columns.size();
    for (const auto& values : rows.rows) {
      ++row;
      for (size_t c = 0; c < batch.width; ++c)
        batch.cells.push_back(ToCell(values[c], table, table.columns[c], row));
      if (batch.Rows() == kBatchRows) {
        take(batch);
        batch.cells.clear();
      }
    }
    if (batch.Rows() > 0) take(batch);
  }

  static Cell ToCell(const Variant& value, const TableSpec& table, const ColumnSpec& column,
                     int64_t row) {
    Cell cell;
    if (value.IsNull() || value.IsEmpty()) return cell;
    cell.null = false;
    switch (column.kind) {
      case Kind::Integer:
        cell.i = Integer(value);
        break;
      case Kind::Bool:
        if (const auto* b = value.Get<bool>()) {
          cell.i = *b ? 1 : 0;
        } else {  // a driver that hands booleans out as text ("1"/"0")
          const std::wstring text = Text(value);
          cell.i = text == L"1" || text == L"t" || text == L"true" ? 1 : 0;
        }
        break;
      case Kind::Real:
        if (const auto* d = value.Get<double>()) cell.d = *d;
        break;
      case Kind::Blob:
        if (const auto* bytes = value.Get<Variant::Bytes>())
          cell.s.assign(bytes->begin(), bytes->end());
        break;
      case Kind::Date: {
        auto date = CanonicalDate(ToUtf8(Text(value)));
        if (!date) Fail(Where(table, column, row) + L" holds no readable date.");
        cell.s = std::move(*date);
        break;
      }
      default:
        cell.s = ToUtf8(Text(value));
    }
    return cell;
  }

  std::unique_ptr<ado::Session> session_;
  PGconn* pg_;  // the session's connection when it is libpq's, for COPY
  std::future<void> inFlight_;
  bool copying_ = false;  // a COPY ... FROM STDIN is under way
  bool open_ = false;
  int64_t rowsWritten_ = 0;
};

// The sides and their setting up ---------------------------------------------------------------

void CheckSide(const TransferSide& side, const wchar_t* which) {
  if (side.file.empty() == side.server.empty())
    Refuse(TransferRefusal::BadArgument,
           std::wstring(L"The ") + which + L" must be a database file or a server, one of them.");
}

std::wstring Label(const TransferSide& side) {
  return side.file.empty() ? L"database on the server" : L"\"" + side.file.wstring() + L"\"";
}

std::wstring CountList(const std::vector<std::pair<std::string, int64_t>>& tables) {
  std::wstring out;
  for (const auto& [name, rows] : tables)
    out += (out.empty() ? L"" : L", ") + FromUtf8(name) + L" (" + std::to_wstring(rows) +
           (rows == 1 ? L" row)" : L" rows)");
  return out;
}

std::wstring Hex(uint64_t value) {
  wchar_t text[17];
  std::swprintf(text, 17, L"%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::vector<TableTransfer> Run(Side& source, Side& target, std::vector<TableSpec>& tables,
                               const TransferSide& to, const TransferOptions& options) {
  source.Refine(tables);
  target.Refine(tables);

  source.BeginRead();
  std::vector<TableTransfer> report;
  int64_t total = 0;
  for (const TableSpec& table : tables) {
    report.push_back({FromUtf8(table.name), source.Count(table), 0, 0, 0, 0});
    total += report.back().sourceRows;
  }
  // Rows the target's schema has no place for would be lost.
  if (auto others = source.OtherRows(tables); !others.empty()) {
    Refuse(TransferRefusal::RowsLeftBehind,
           L"The source holds rows in tables that the transfer does not carry: " +
               CountList(others) + L".");
  }

  target.BeginWrite();
  // Checked inside the writing transaction, so that nobody fills the target in between.
  std::vector<std::pair<std::string, int64_t>> filled;
  for (const TableSpec& table : tables) {
    if (const int64_t rows = target.Count(table); rows > 0) filled.emplace_back(table.name, rows);
  }
  if (!filled.empty()) {
    Refuse(TransferRefusal::TargetNotEmpty, L"The target " + Label(to) +
                                                L" already holds rows, so nothing was written: " +
                                                CountList(filled) + L".");
  }

  TransferProgress progress;
  progress.rowsTotal = total;
  for (size_t t = 0; t < tables.size(); ++t) {
    progress.table = report[t].table;
    Checksum sum;
    const auto& columns = tables[t].columns;
    source.Scan(tables[t], [&](Batch& batch) {
      for (size_t k = 0; k < batch.cells.size(); ++k) {
        const auto& nullAs = columns[k % batch.width].nullAs;
        if (batch.cells[k].null && nullAs) {
          batch.cells[k] = *nullAs;
          ++report[t].nullsAsDefault;
        }
      }
      for (size_t r = 0; r < batch.Rows(); ++r) sum.Add(batch.Row(r), columns);
      target.Insert(tables[t], batch);
      progress.rowsDone += static_cast<int64_t>(batch.Rows());
      if (options.progress) options.progress(progress);
    });
    target.Finish(tables[t], source.IdsUsed(tables[t]));
    // The source was read in one snapshot: what it counted is what it sent.
    report[t].sourceRows = sum.Rows();
    report[t].sourceChecksum = sum.Value();
  }

  progress = {TransferProgress::Phase::Verify, {}, 0, total};
  std::wstring mismatched;
  for (size_t t = 0; t < tables.size(); ++t) {
    progress.table = report[t].table;
    std::tie(report[t].targetRows, report[t].targetChecksum) = target.Verify(tables[t]);
    progress.rowsDone += report[t].sourceRows;
    if (options.progress) options.progress(progress);
    if (report[t].targetRows != report[t].sourceRows ||
        report[t].targetChecksum != report[t].sourceChecksum) {
      mismatched += (mismatched.empty() ? L"" : L"; ") + report[t].table + L": source " +
                    std::to_wstring(report[t].sourceRows) + L" rows " +
                    Hex(report[t].sourceChecksum) + L", target " +
                    std::to_wstring(report[t].targetRows) + L" rows " +
                    Hex(report[t].targetChecksum);
    }
  }
  if (!mismatched.empty())
    Fail(L"The target does not read back what was sent, so nothing was written: " + mismatched +
         L".");
  target.Commit();
  source.Rollback();  // the read transaction: nothing to keep
  return report;
}

std::unique_ptr<Side> Open(const TransferSide& side, const TransferOptions& options) {
  if (!side.server.empty()) return std::make_unique<ServerSide>(side.server);
  return std::make_unique<FileSide>(options.sqliteLib, side.file);
}

}  // namespace

bool IsTransferRefusal(const QuillError& error) {
  if (error.Source() != kSource) return false;
  switch (error.Number()) {
    case TransferRefusal::SourceMissing:
    case TransferRefusal::TargetNotEmpty:
    case TransferRefusal::NotASchema:
    case TransferRefusal::RowsLeftBehind:
    case TransferRefusal::BadArgument:
      return true;
    default:
      return false;
  }
}

std::vector<TableTransfer> TransferDatabase(const TransferSide& from, const TransferSide& to,
                                            const TransferOptions& options) {
  CheckSide(from, L"source");
  CheckSide(to, L"target");
  std::error_code ec;
  if (!from.file.empty() && !fs::is_regular_file(from.file, ec))
    Refuse(TransferRefusal::SourceMissing,
           L"The database file \"" + from.file.wstring() + L"\" does not exist.");
  if (!from.file.empty() && !to.file.empty() && fs::equivalent(from.file, to.file, ec))
    Refuse(TransferRefusal::BadArgument, L"The source and the target are the same file.");

  std::vector<TableSpec> tables = SchemaTables(options.sqliteLib);
  // A file target that is not there yet is built under a temporary name beside it and gets
  // its name only once complete: an interrupted transfer leaves no target behind.
  TransferSide target = to;
  const bool created = !to.file.empty() && !fs::exists(to.file, ec);
  if (created) {
    target.file += L".transfer-" + std::to_wstring(::getpid());
    fs::remove(target.file, ec);  // left by an interrupted transfer of a process with our id
    CreateDatabase(target.file, false, options.sqliteLib);
  }
  std::vector<TableTransfer> report;
  try {
    auto source = Open(from, options);
    auto writer = Open(target, options);
    try {
      report = Run(*source, *writer, tables, to, options);
    } catch (...) {
      writer->Rollback();
      source->Rollback();
      throw;
    }
  } catch (...) {
    if (created) fs::remove(target.file, ec);
    throw;
  }
  if (created) {
    // link() never replaces: a file that appeared under the name meanwhile is kept.
    if (::link(target.file.c_str(), to.file.c_str()) != 0) {
      const int error = errno;
      Fail(L"The transfer is complete in \"" + target.file.wstring() +
           L"\", but it cannot be named \"" + to.file.wstring() + L"\": " +
           FromUtf8(std::strerror(error)) + L".");
    }
    fs::remove(target.file, ec);
  }
  return report;
}

}  // namespace QuillData
