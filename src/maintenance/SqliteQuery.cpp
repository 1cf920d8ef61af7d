#include "QuillData/maintenance/SqliteQuery.h"

#include <limits>
#include <string_view>
#include <system_error>

#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "sqlite/Database.h"

namespace QuillData {

namespace {

namespace fs = std::filesystem;
using sqlite_detail::Database;
using sqlite_detail::Statement;

constexpr wchar_t kSource[] = L"QuerySqliteDatabase";

using sqlite_detail::kSqliteBlob;
using sqlite_detail::kSqliteFloat;
using sqlite_detail::kSqliteInteger;
using sqlite_detail::kSqliteText;

// One value of the current row, and the ADO type it stands for (adEmpty for NULL).
Variant ReadValue(const Statement& stmt, int32_t column, int32_t& type) {
  switch (stmt.Type(column)) {
    case kSqliteInteger: {
      const int64_t value = stmt.Int64(column);
      if (value >= std::numeric_limits<int32_t>::min() &&
          value <= std::numeric_limits<int32_t>::max()) {
        type = ado::adInteger;
        return Variant(static_cast<int32_t>(value));
      }
      type = ado::adBigInt;
      Decimal wide;
      wide.mantissa = value;
      return Variant(wide);
    }
    case kSqliteFloat:
      type = ado::adDouble;
      return Variant(stmt.Real(column));
    case kSqliteText:
      type = ado::adVarWChar;
      return Variant(FromUtf8(stmt.Utf8(column)));
    case kSqliteBlob: {
      // The text reader hands out a blob's bytes as they are.
      const std::string_view bytes = stmt.Utf8(column);
      type = ado::adLongVarBinary;
      return Variant(Variant::Bytes(bytes.begin(), bytes.end()));
    }
    default:
      type = ado::adEmpty;
      return Variant::Null();
  }
}

// The column's type so far, given one more value's type.
int32_t Merged(int32_t column, int32_t value) {
  if (value == ado::adEmpty || value == column) return column;
  if (column == ado::adEmpty) return value;
  const bool whole = (column == ado::adInteger || column == ado::adBigInt) &&
                     (value == ado::adInteger || value == ado::adBigInt);
  return whole ? ado::adBigInt : ado::adVariant;
}

}  // namespace

std::shared_ptr<ado::Recordset> QuerySqliteDatabase(const fs::path& db, const std::wstring& sql,
                                                    const std::wstring& libraryFolder) {
  std::error_code ec;
  const fs::path file = fs::absolute(db, ec);  // a name beginning with "file:" is no URI
  if (ec || !fs::is_regular_file(file, ec)) {
    throw QuillError(ErrNo::FileNotFound, kSource,
                     L"The database file \"" + db.wstring() + L"\" does not exist.");
  }
  Database database(libraryFolder, file, kSource);

  // Statements one after the other; the wide text comes back unchanged from its UTF-8 form.
  const std::string text = ToUtf8(sql);
  size_t offset = 0;
  bool ranOne = false;
  std::shared_ptr<ado::RowSet> result;
  std::vector<int32_t> types;
  while (offset < text.size()) {
    size_t used = 0;
    Statement stmt = database.Prepare(std::string_view(text).substr(offset), &used);
    if (!stmt) break;  // only blanks or comments were left
    ranOne = true;
    offset = used > 0 ? offset + used : text.size();

    const int32_t columns = stmt.Columns();
    const bool keep = !result && columns > 0;
    if (keep) {
      result = std::make_shared<ado::RowSet>();
      for (int32_t c = 0; c < columns; ++c) {
        result->columns.push_back({stmt.Name(c), ado::adVariant});
      }
      types.assign(static_cast<size_t>(columns), ado::adEmpty);
    }
    while (stmt.Step()) {
      if (!keep) continue;
      std::vector<Variant> row;
      row.reserve(static_cast<size_t>(columns));
      for (int32_t c = 0; c < columns; ++c) {
        int32_t type = ado::adEmpty;
        row.push_back(ReadValue(stmt, c, type));
        types[static_cast<size_t>(c)] = Merged(types[static_cast<size_t>(c)], type);
      }
      result->rows.push_back(std::move(row));
    }
  }
  if (!ranOne) {
    throw QuillError(ErrNo::InvalidProcedureCall, kSource, L"The SQL text holds no statement.");
  }
  if (!result) result = std::make_shared<ado::RowSet>();
  for (size_t c = 0; c < types.size(); ++c) {
    result->columns[c].type = types[c] == ado::adEmpty ? ado::adVariant : types[c];
  }
  return ado::Recordset::FromRows(result);
}

}  // namespace QuillData
