// PostgreSQL: its catalog is information_schema and the system columns (ctid); an unquoted
// name is stored in lower case; an identity restart is an ALTER TABLE, and so part of the
// transaction; md5, float8send and bit(64) give the transfer's checksum in SQL.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "QuillData/contract/Text.h"
#include "QuillData/maintenance/ServerSchema.h"
#include "maintenance/dialect/Dialect.h"
#include "maintenance/transfer/Checksum.h"

namespace QuillData::dialect {

namespace {

using transfer::Cell;
using transfer::Checksum;

std::wstring Quoted(const std::string& name) {
  return L"\"" + FromUtf8(name) + L"\"";
}

std::wstring KeyName(const TableSpec& table) {
  return Quoted(table.columns.at(static_cast<size_t>(table.key)).name);
}

// A text as an element of an array literal inside an SQL string: in double quotes, with
// the array's backslash escapes and the string's doubled single quote. The server's strings
// cannot hold a zero character.
void AppendElement(std::wstring& sql, std::string_view utf8, const TableSpec& table,
                   const ColumnSpec& column, int64_t row) {
  if (utf8.find('\0') != std::string_view::npos)
    transfer::Unreadable(table, column, row,
                         L" holds a zero character, which the server cannot store.");
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

class PostgresDialect final : public Dialect {
 public:
  const SchemaScripts& Schema() const override { return PostgresSchema(); }
  std::string_view VersionTable() const override { return "tblSchema_Version"; }
  std::wstring VersionSql() const override {
    return L"SELECT max(\"fldVersion\") FROM tblSchema_Version";
  }
  std::wstring LockVersionSql() const override {
    return L"LOCK TABLE tblSchema_Version IN SHARE ROW EXCLUSIVE MODE";
  }
  std::wstring RecordVersionSql(int32_t version) const override {
    return L"INSERT INTO tblSchema_Version (\"fldVersion\") VALUES (" + std::to_wstring(version) +
           L")";
  }

  std::string CatalogName(std::string_view name) const override {
    std::string out(name);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
  }

  std::wstring TablesSql(bool tablesOnly) const override {
    return tablesOnly ? L"SELECT table_name FROM information_schema.tables WHERE table_schema = "
                        L"current_schema() AND table_type = 'BASE TABLE' ORDER BY table_name"
                      : L"SELECT table_name FROM information_schema.tables "
                        L"WHERE table_schema = current_schema() ORDER BY table_name";
  }

  std::wstring ColumnsSql() const override {
    return L"SELECT lower(table_name), column_name, data_type, "
           L"CASE WHEN is_nullable = 'NO' THEN column_default END, is_identity, "
           L"character_maximum_length, numeric_precision, numeric_scale, datetime_precision "
           L"FROM information_schema.columns WHERE table_schema = current_schema()";
  }

  Kind KindOf(std::wstring_view type, Kind schemaKind) const override {
    if (type == L"boolean") return Kind::Bool;
    if (type.starts_with(L"timestamp")) return Kind::Date;
    return schemaKind;
  }

  Limit LimitOf(std::wstring_view type, int64_t length, int64_t precision, int64_t scale,
                int64_t secondDigits) const override {
    Limit limit;
    if (type == L"smallint" || type == L"integer") {
      const bool small = type == L"smallint";
      limit.minInteger =
          small ? std::numeric_limits<int16_t>::min() : std::numeric_limits<int32_t>::min();
      limit.maxInteger =
          small ? std::numeric_limits<int16_t>::max() : std::numeric_limits<int32_t>::max();
    } else if (type == L"text" || type == L"character varying" || type == L"character") {
      limit.zeroChar = false;
      if (length >= 0) limit.maxChars = static_cast<int32_t>(length);
    } else if (type == L"numeric" && precision > 0) {
      limit.precision = static_cast<int32_t>(precision);
      limit.scale = static_cast<int32_t>(std::max<int64_t>(scale, 0));
    } else if (type.starts_with(L"timestamp") && secondDigits >= 0) {
      limit.secondDigits = static_cast<int32_t>(secondDigits);  // more would be rounded
    }
    return limit;
  }

  std::wstring BeginReadSql() const override {
    return L"START TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY";
  }
  std::wstring BeginWriteSql() const override {
    return L"START TRANSACTION ISOLATION LEVEL READ COMMITTED";
  }
  std::wstring NoStatementTimeoutSql() const override { return L"SET LOCAL statement_timeout = 0"; }

  // Dates as their own text, which keeps an era, a year past 9999 and the infinities.
  std::wstring SelectSql(const TableSpec& table, const int64_t* after,
                         size_t limit) const override {
    std::wstring select = L"SELECT ";
    for (size_t c = 0; c < table.columns.size(); ++c) {
      const std::wstring name = Quoted(table.columns[c].name);
      if (c > 0) select += L", ";
      select += table.columns[c].kind == Kind::Date ? name + L"::text" : name;
    }
    select += L" FROM " + FromUtf8(table.name);
    // Without an id the rows' physical order is the order the readers see.
    if (table.key < 0) return select + L" ORDER BY ctid";
    const std::wstring key = KeyName(table);
    if (after) select += L" WHERE " + key + L" > " + std::to_wstring(*after);
    select += L" ORDER BY " + key;
    if (limit > 0) select += L" LIMIT " + std::to_wstring(limit);
    return select;
  }

  std::wstring CountSql(std::string_view table) const override {
    return L"SELECT count(*) FROM " + FromUtf8(table);
  }

  // An array per column, unnested into rows side by side (in the arrays' order): the server
  // reads one array far faster than a list of row expressions.
  std::wstring InsertSql(const TableSpec& table, const Batch& rows,
                         int64_t firstRow) const override {
    std::wstring sql = L"INSERT INTO " + FromUtf8(table.name) + L" (";
    for (size_t c = 0; c < table.columns.size(); ++c)
      sql += (c == 0 ? L"" : L", ") + Quoted(table.columns[c].name);
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
            AppendElement(sql, cell.s, table, column, firstRow + static_cast<int64_t>(r));
        }
      }
      sql += L"}'::" + column.serverType + L"[])";
    }
    return sql;
  }

  std::wstring IdentitySequenceSql(const TableSpec& table) const override {
    return L"SELECT pg_get_serial_sequence('" + FromUtf8(table.name) + L"', '" +
           FromUtf8(table.columns[static_cast<size_t>(table.key)].name) + L"')";
  }
  // A sequence restarted at n has handed out n - 1.
  std::wstring IdsUsedSql(const std::wstring& sequence) const override {
    return L"SELECT (CASE WHEN is_called THEN last_value ELSE last_value - 1 END)::integer FROM " +
           sequence;
  }
  std::wstring NextIdSql(const TableSpec& table, int64_t idsUsed) const override {
    return L"SELECT GREATEST(COALESCE(MAX(" + KeyName(table) + L"), 0), " +
           std::to_wstring(idsUsed) + L") + 1 FROM " + FromUtf8(table.name);
  }
  std::wstring RestartIdSql(const TableSpec& table, int64_t next) const override {
    return L"ALTER TABLE " + FromUtf8(table.name) + L" ALTER COLUMN " + KeyName(table) +
           L" RESTART WITH " + std::to_wstring(next);
  }

  // Each kind's value as Checksum::RowText writes it, the pieces and the sum as it defines.
  std::wstring ChecksumSql(const TableSpec& table) const override {
    std::wstring text;
    for (const ColumnSpec& column : table.columns) {
      const std::wstring c = Quoted(column.name);
      std::wstring value;
      switch (column.kind) {
        case Kind::Integer:
          value = c;
          break;
        case Kind::Bool:
          value = c + L"::int";
          break;
        case Kind::Real:
          value = L"encode(float8send(" + c + L" + 0::float8), 'hex')";
          break;
        case Kind::Blob:
          value = L"encode(" + c + L", 'hex')";
          break;
        case Kind::Date:
          value = c + L"::text";
          break;
        case Kind::Text:
          value = L"octet_length(" + c + L") || ':' || " + c;
      }
      text += std::wstring(text.empty() ? L"" : L" || ") + L"coalesce('" +
              static_cast<wchar_t>(Checksum::Tag(column.kind)) + L"' || " + value + L" || '" +
              static_cast<wchar_t>(Checksum::kEnd) + L"', '" + FromUtf8(Checksum::kNull) + L"')";
    }
    const std::wstring bits = std::to_wstring(Checksum::kHashBytes * 8);
    return L"SELECT count(*)::text, coalesce(sum(('x' || substr(md5(" + text + L"), 1, " +
           std::to_wstring(Checksum::kHashBytes * 2) + L"))::bit(" + bits +
           L")::bigint), 0)::text FROM " + FromUtf8(table.name);
  }
};

}  // namespace

const Dialect& Postgres() {
  static const PostgresDialect dialect;
  return dialect;
}

}  // namespace QuillData::dialect
