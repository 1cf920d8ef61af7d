// The readers: one table reader driven by each reader's statement, record type and key (made
// from the table readers' common description), the row copier TypeSelect, and
// GETTblLocalDesigns' own row copy.
#include <charconv>
#include <cmath>
#include <string_view>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "QuillData/locale/Locale.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "locale/NumberText.h"
#include "sqlite/Operation.h"
#include "sqlite/Reader.h"

namespace QuillData {

using sqlite_detail::ColumnPlan;
using sqlite_detail::Operation;
using sqlite_detail::ReaderInfo;
using sqlite_detail::RowPlan;

namespace {

constexpr int kInteger = 1;
constexpr int kFloat = 2;
constexpr int kText = 3;
constexpr int32_t kNoSuchProperty = 438;

ReaderInfo Info(std::wstring_view operation, std::wstring sql, const RecordType& (*type)(),
                std::wstring_view key) {
  return {L"clsQuillData_" + std::wstring(operation), std::move(sql), type, key,
          type == &tblLocal_Designs::Descriptor};
}

// The statements of the table readers, made once from their common description.
const ReaderInfo& TableReader(std::wstring_view operation) {
  static const std::vector<ReaderInfo> readers = [] {
    std::vector<ReaderInfo> all;
    for (const readers::TableReader& r : readers::All()) {
      all.push_back(
          Info(r.operation, L"SELECT * FROM " + std::wstring(r.table), r.recordType, r.key));
    }
    return all;
  }();
  return readers[static_cast<size_t>(&readers::Find(operation) - readers::All().data())];
}

// GETFilterScenariosCol: the filter scenarios with or without a second part type.
const ReaderInfo& FilterScenarios(bool withPartType2) {
  static const ReaderInfo with = [] {
    const readers::TableReader& r = readers::Find(L"GETTblFilterScenarios");
    return Info(L"GETFilterScenariosCol",
                L"SELECT * FROM tblFilter_Scenarios WHERE fldPartType2 <> '0'", r.recordType,
                r.key);
  }();
  static const ReaderInfo without = [] {
    const readers::TableReader& r = readers::Find(L"GETTblFilterScenarios");
    return Info(L"GETFilterScenariosCol",
                L"SELECT * FROM tblFilter_Scenarios WHERE fldPartType2 = '0'", r.recordType,
                readers::FirstPart(r.key));
  }();
  return withPartType2 ? with : without;
}

// Text from the library's UTF-8 into `out`, reusing its storage; plain ASCII (the common
// case) is widened in place, anything else goes through the converter.
void AssignUtf8(std::wstring& out, std::string_view bytes) {
  const size_t n = bytes.size();
  out.resize(n);
  wchar_t* d = out.data();
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      out = FromUtf8(bytes);
      return;
    }
    d[i] = static_cast<wchar_t>(c);
  }
}

// Under a comma locale, a text that is one decimal number reads with the local separator
// ("12.5" -> "12,5"); any other text reads byte for byte.
void LocalNumberText(std::wstring& text, wchar_t separator) {
  if (separator == 0 || !detail::IsDecimalText(text, L'.')) return;
  for (auto& c : text) {
    if (c == L'.') c = separator;
  }
}

// A whole-number column as the variant the record's Set converts from; values beyond 32 bits
// travel exactly (as Decimal), so that a Long field reports an overflow instead of taking the
// low bits.
Variant IntegerValue(int64_t value) {
  if (value >= INT32_MIN && value <= INT32_MAX) return Variant(static_cast<int32_t>(value));
  return Variant(Decimal{value, 0});
}

[[noreturn]] void RaiseNoField(const ColumnPlan& column) {
  throw QuillError(kNoSuchProperty, L"QuillData",
                   L"Object doesn't support this property or method: " + column.name);
}

void CopyColumn(Record& rec, const RowPlan& plan, int32_t i) {
  clsSqlLite& sqlite = plan.sqlite;
  const int type = sqlite.sqlite3_column_type(plan.stmt, i);
  if (type != kInteger && type != kFloat && type != kText) return;  // NULL, blob: keep
  const ColumnPlan& column = plan.columns[static_cast<size_t>(i)];
  if (column.field < 0) RaiseNoField(column);
  const auto field = static_cast<size_t>(column.field);

  switch (type) {
    case kInteger: {
      const int64_t value = sqlite.ColumnInt64(plan.stmt, i);
      if (column.address && column.type == FieldType::Long && value >= INT32_MIN &&
          value <= INT32_MAX) {
        *static_cast<int32_t*>(column.address(rec)) = static_cast<int32_t>(value);
      } else {
        rec.Type().Set(rec, field, IntegerValue(value));
      }
      break;
    }
    case kFloat: {
      const double value = sqlite.ColumnReal(plan.stmt, i);
      if (column.address && column.type == FieldType::Double) {
        *static_cast<double*>(column.address(rec)) = value;
      } else {
        rec.Type().Set(rec, field, Variant(value));
      }
      break;
    }
    default: {
      const std::string_view bytes = sqlite.ColumnUtf8(plan.stmt, i);
      if (column.address && column.type == FieldType::String) {
        auto& target = *static_cast<std::wstring*>(column.address(rec));
        AssignUtf8(target, bytes);
        LocalNumberText(target, plan.localSeparator);
      } else {
        std::wstring text;
        AssignUtf8(text, bytes);
        LocalNumberText(text, plan.localSeparator);
        rec.Type().Set(rec, field, Variant(std::move(text)));
      }
      break;
    }
  }
}

// GETTblLocalDesigns' own copy of a column: every column but the last two as the library
// types it, text unchanged; column 4 (fldCreated) only when its text is a date; column 5
// (fldData) never.
void CopyDesignColumn(Record& rec, const RowPlan& plan, int32_t i) {
  constexpr int32_t kCreated = 4;
  clsSqlLite& sqlite = plan.sqlite;
  const RecordType& type = rec.Type();
  const auto n = static_cast<int32_t>(plan.columns.size());
  const ColumnPlan& column = plan.columns[static_cast<size_t>(i)];
  if (i == kCreated) {
    std::wstring text = sqlite.sqlite3_column_text(plan.stmt, kCreated);
    if (auto days = UserLocale::Current().ParseDate(text)) {
      if (column.field < 0) RaiseNoField(column);
      type.Set(rec, static_cast<size_t>(column.field), Variant(Date{*days}));
    }
    return;
  }
  if (i + 2 >= n) return;
  const int t = sqlite.sqlite3_column_type(plan.stmt, i);
  if (t != kInteger && t != kFloat && t != kText) return;
  if (column.field < 0) RaiseNoField(column);
  const auto field = static_cast<size_t>(column.field);
  if (t == kInteger) {
    type.Set(rec, field, IntegerValue(sqlite.ColumnInt64(plan.stmt, i)));
  } else if (t == kFloat) {
    type.Set(rec, field, Variant(sqlite.ColumnReal(plan.stmt, i)));
  } else {
    type.Set(rec, field, Variant(sqlite.sqlite3_column_text(plan.stmt, i)));
  }
}

void CopyCell(Record& rec, const RowPlan& plan, int32_t i) {
  if (plan.ownRowCopy) {
    CopyDesignColumn(rec, plan, i);
  } else {
    CopyColumn(rec, plan, i);
  }
}

// The table a reader's statement reads ("SELECT * FROM Machining ..." -> "Machining").
std::wstring TableOf(std::wstring_view sql) {
  constexpr std::wstring_view kFrom = L" FROM ";
  const size_t at = sql.find(kFrom);
  if (at == std::wstring_view::npos) return {};
  std::wstring_view rest = sql.substr(at + kFrom.size());
  return std::wstring(rest.substr(0, rest.find(L' ')));
}

RowPlan PlanRows(clsSqlLite& sqlite, intptr_t stmt, const ReaderInfo& reader) {
  const RecordType& type = reader.recordType();
  RowPlan plan{sqlite,
               stmt,
               LocalDecimalPoint(),
               reader.ownRowCopy,
               TableOf(reader.sql),
               readers::PlanKey(type, reader.key),
               {}};
  const int32_t n = sqlite.sqlite3_column_count(stmt);
  plan.columns.resize(static_cast<size_t>(n > 0 ? n : 0));
  for (int32_t i = 0; i < n; ++i) {
    ColumnPlan& column = plan.columns[static_cast<size_t>(i)];
    column.name = sqlite.sqlite3_column_name(stmt, i);
    column.field = type.FieldIndex(column.name);
    if (column.field >= 0) {
      column.type = type.Fields()[static_cast<size_t>(column.field)].type;
      column.address = type.Fields()[static_cast<size_t>(column.field)].address;
    }
  }
  return plan;
}

}  // namespace

void clsQuillData_SqlLite::TypeSelect(Record& rec, const RowPlan& plan) {
  // Every cell first; the ones that fail are reported once the row's key can name the row.
  thread_local std::vector<int32_t> failed;
  failed.clear();
  const auto n = static_cast<int32_t>(plan.columns.size());
  for (int32_t i = 0; i < n; ++i) {
    try {
      CopyCell(rec, plan, i);
    } catch (const QuillError&) {
      failed.push_back(i);
    }
  }
  if (failed.empty()) return;
  const std::vector<int32_t> cells = failed;
  const std::wstring key = readers::KeyOf(rec, plan.key);
  Trap(L"clsQuillData_SqlLite", L"TypeSelect").Run([&](Trap& t) {
    for (int32_t i : cells) {
      t.Step([&] {
        try {
          CopyCell(rec, plan, i);
        } catch (const QuillError& e) {
          throw e.Described(e.Description() + L" (" + plan.table + L"." +
                            plan.columns[static_cast<size_t>(i)].name + L", row with key '" + key +
                            L"')");
        }
      });
    }
  });
}

CollectionPtr clsQuillData_SqlLite::ReadTable(const ReaderInfo& reader, RecordsAffected& count) {
  // Whatever happens below, the caller gets a collection: the rows read before a failure.
  auto collection = std::make_shared<Tessera::Collection>();
  Operation op(*this, reader.procedure);
  op.Run([&](Trap& t) {
    t.Step([&] { op.Prepare(reader.sql); });
    if (op.Statement() == 0) return;  // did not prepare: no rows
    const RowPlan plan = PlanRows(Binding(), op.Statement(), reader);
    const RecordType& type = reader.recordType();
    for (;;) {
      bool row = false, stepped = false;
      t.Step([&] {
        row = op.Step();
        stepped = true;
      });
      // A failed step that the companion went on from ends the rows: stepping again would
      // start the statement over.
      if (!stepped || !row) break;
      t.Step([&] {
        std::shared_ptr<Record> rec = type.Create();
        TypeSelect(*rec, plan);
        std::wstring key = readers::KeyOf(*rec, plan.key);
        collection->Append(Variant(std::move(rec)), std::move(key));
      });
    }
    op.Finalize();
  });
  count = collection->Count();
  return collection;
}

CollectionPtr clsQuillData_SqlLite::GETFilterScenariosCol(const bool& blnWithPartType2,
                                                          RecordsAffected n) {
  return ReadTable(FilterScenarios(blnWithPartType2), n);
}

#define QUILLDATA_OPERATION(Result, Name, Params, Args)
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread) \
  CollectionPtr clsQuillData_SqlLite::Name(RecordsAffected n) {  \
    static const ReaderInfo& reader = TableReader(L## #Name);    \
    return ReadTable(reader, n);                                 \
  }
#include "QuillData/contract/Operations.inc"

}  // namespace QuillData
