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
#include "contract/ModuleText.h"
#include "locale/NumberText.h"
#include "sqlite/Backend.h"
#include "sqlite/Operation.h"
#include "sqlite/Reader.h"

namespace QuillData {

using sqlite_detail::ColumnPlan;
using sqlite_detail::kSqliteFloat;
using sqlite_detail::kSqliteInteger;
using sqlite_detail::kSqliteText;
using sqlite_detail::Operation;
using sqlite_detail::ReaderInfo;
using sqlite_detail::ReaderStatement;
using sqlite_detail::RowPlan;
using sqlite_detail::Statement;

namespace {

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
  throw QuillError(ErrNo::ObjectDoesNotSupport, L"QuillData",
                   L"Object doesn't support this property or method: " + column.name);
}

void CopyColumn(Record& rec, const RowPlan& plan, int32_t i) {
  const Statement& stmt = plan.stmt;
  const int type = stmt.Type(i);
  if (type != kSqliteInteger && type != kSqliteFloat && type != kSqliteText)
    return;  // NULL, blob: keep
  const ColumnPlan& column = plan.columns[static_cast<size_t>(i)];
  if (column.field < 0) RaiseNoField(column);
  const auto field = static_cast<size_t>(column.field);

  switch (type) {
    case kSqliteInteger: {
      const int64_t value = stmt.Int64(i);
      if (column.address && column.type == FieldType::Long && value >= INT32_MIN &&
          value <= INT32_MAX) {
        *static_cast<int32_t*>(column.address(rec)) = static_cast<int32_t>(value);
      } else {
        rec.Type().Set(rec, field, IntegerValue(value));
      }
      break;
    }
    case kSqliteFloat: {
      const double value = stmt.Real(i);
      if (column.address && column.type == FieldType::Double) {
        *static_cast<double*>(column.address(rec)) = value;
      } else {
        rec.Type().Set(rec, field, Variant(value));
      }
      break;
    }
    default: {
      const std::string_view bytes = stmt.Utf8(i);
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
  const Statement& stmt = plan.stmt;
  const RecordType& type = rec.Type();
  const auto n = static_cast<int32_t>(plan.columns.size());
  const ColumnPlan& column = plan.columns[static_cast<size_t>(i)];
  if (i == kCreated) {
    std::wstring text = stmt.Text(kCreated);
    if (auto days = UserLocale::Current().ParseDate(text)) {
      if (column.field < 0) RaiseNoField(column);
      type.Set(rec, static_cast<size_t>(column.field), Variant(Date{*days}));
    }
    return;
  }
  if (i + 2 >= n) return;
  const int t = stmt.Type(i);
  if (t != kSqliteInteger && t != kSqliteFloat && t != kSqliteText) return;
  if (column.field < 0) RaiseNoField(column);
  const auto field = static_cast<size_t>(column.field);
  if (t == kSqliteInteger) {
    type.Set(rec, field, IntegerValue(stmt.Int64(i)));
  } else if (t == kSqliteFloat) {
    type.Set(rec, field, Variant(stmt.Real(i)));
  } else {
    type.Set(rec, field, Variant(stmt.Text(i)));
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

RowPlan PlanRows(const Statement& stmt, const ReaderInfo& reader) {
  const RecordType& type = reader.recordType();
  RowPlan plan{stmt,
               LocalDecimalPoint(),
               reader.ownRowCopy,
               TableOf(reader.sql),
               readers::PlanKey(type, reader.key),
               {}};
  const int32_t n = stmt.Columns();
  plan.columns.resize(static_cast<size_t>(n > 0 ? n : 0));
  for (int32_t i = 0; i < n; ++i) {
    ColumnPlan& column = plan.columns[static_cast<size_t>(i)];
    column.name = stmt.Name(i);
    column.field = type.FieldIndex(column.name);
    if (column.field >= 0) {
      column.type = type.Fields()[static_cast<size_t>(column.field)].type;
      column.address = type.Fields()[static_cast<size_t>(column.field)].address;
    }
  }
  return plan;
}

// Copies the current row into `rec`, column by column through `plan` (the record field of
// each column, found once per statement). A cell that cannot be copied keeps its field's
// default and is reported, trapped as "TypeSelect", with its table, column and row key; the
// other fields are copied all the same.
void TypeSelect(Record& rec, const RowPlan& plan) {
  // Every cell first; the ones that fail are reported once the row's key can name the row.
  // (An empty vector costs nothing: only a row with a failed cell allocates.)
  std::vector<int32_t> failed;
  const auto n = static_cast<int32_t>(plan.columns.size());
  for (int32_t i = 0; i < n; ++i) {
    try {
      CopyCell(rec, plan, i);
    } catch (const QuillError&) {
      failed.push_back(i);
    }
  }
  if (failed.empty()) return;
  const std::wstring key = readers::KeyOf(rec, plan.key);
  // Each bad cell is reported on its own: leaving one must not hide the next.
  for (int32_t i : failed) {
    Trap(L"clsQuillData_SqlLite", L"TypeSelect").Run([&](Trap& t) {
      t.Step([&] {
        try {
          CopyCell(rec, plan, i);
        } catch (const QuillError& e) {
          throw e.Described(e.Description() + L" (" + plan.table + L"." +
                            plan.columns[static_cast<size_t>(i)].name + L", row with key '" + key +
                            L"')");
        }
      });
    });
  }
}

}  // namespace

std::shared_ptr<ReaderStatement> clsQuillData_SqlLite::Impl::TakeReaderStatement(
    Operation& op, const wchar_t* sql) {
  op.CheckUnit();  // a kept statement is not prepared again, which would check it
  std::shared_ptr<ReaderStatement> kept;
  for (const auto& s : readerStatements) {
    if (s->sql == sql && s->kept) kept = s;
  }
  if (kept && !kept->busy) {
    kept->busy = true;
    return kept;
  }
  auto made = std::make_shared<ReaderStatement>();
  made->sql = sql;
  made->kept = !kept;
  readerStatements.push_back(made);
  try {
    made->stmt = op.PrepareOwn(sql);
  } catch (...) {
    readerStatements.pop_back();
    throw;
  }
  made->busy = true;
  return made;
}

void clsQuillData_SqlLite::Impl::ReleaseReaderStatement(ReaderStatement& statement) noexcept {
  statement.busy = false;
  if (!statement.stmt) return;  // finalized with the connection meanwhile
  if (statement.kept) {
    // A statement left unreset would keep its read transaction open.
    statement.stmt.Reset();
    return;
  }
  statement.stmt.Finalize();
  std::erase_if(readerStatements, [&](const auto& s) { return s.get() == &statement; });
}

void clsQuillData_SqlLite::Impl::FinalizeReaderStatements() noexcept {
  for (const auto& s : readerStatements) s->stmt.Finalize();
  readerStatements.clear();
}

namespace {

// Reads every row of the reader's statement; whatever happens, the caller gets a collection:
// the rows read before a failure.
CollectionPtr ReadTable(clsQuillData_SqlLite& backend, const ReaderInfo& reader,
                        RecordsAffected& count) {
  using Impl = clsQuillData_SqlLite::Impl;
  Impl& impl = Impl::Of(backend);
  auto collection = std::make_shared<Tessera::Collection>();
  bool finished = false;  // false: the error companion left, and the caller's count stays
  Operation op(backend, reader.procedure);
  op.Run([&](Trap& t) {
    // Given back (reset) however the rows end: a failed step, a failed copy, an error that
    // reaches the caller.
    struct Lease {
      Impl& db;
      std::shared_ptr<ReaderStatement> statement;
      ~Lease() {
        if (statement) db.ReleaseReaderStatement(*statement);
      }
    } lease{impl, nullptr};
    t.Step([&] { lease.statement = impl.TakeReaderStatement(op, reader.sql.c_str()); });
    if (!lease.statement) {  // did not prepare: no rows
      finished = true;
      return;
    }
    ReaderStatement& statement = *lease.statement;
    // A table is read again and again at about the same size: no growing as the rows come.
    collection->Reserve(statement.lastRows);
    const RecordType& type = reader.recordType();
    std::wstring key;
    bool first = true;
    for (;;) {
      bool row = false, stepped = false, failed = false;
      t.Step([&] {
        // Retried after a failed step: the read starts again from the first row, into an empty
        // collection, so that no row is there twice.
        if (failed && statement.stmt) {
          statement.stmt.Reset();
          collection = std::make_shared<Tessera::Collection>();
          collection->Reserve(statement.lastRows);
          first = true;
        }
        failed = true;
        row = statement.stmt.Step();
        failed = false;
        stepped = true;
      });
      // A failed step that the companion went on from ends the rows: stepping again would
      // start the statement over.
      if (!stepped || !row || !statement.stmt) break;
      if (first) {
        // Once stepped, the statement shows the columns of the schema it now runs against.
        const int32_t reprepares = statement.stmt.Reprepares();
        if (!statement.plan || reprepares < 0 || reprepares != statement.reprepares) {
          statement.plan.emplace(PlanRows(statement.stmt, reader));
          statement.reprepares = reprepares;
        }
        statement.plan->localSeparator = LocalDecimalPoint();
        first = false;
      }
      const RowPlan& plan = *statement.plan;
      t.Step([&] {
        Record& rec = collection->NewRecord(type);
        TypeSelect(rec, plan);
        readers::BuildKey(rec, plan.key, key);
        collection->AppendNew(key);
      });
    }
    statement.lastRows = collection->size();
    finished = true;
  });
  collection->ShrinkToFit();
  if (finished) count = collection->Count();
  return collection;
}

}  // namespace

CollectionPtr clsQuillData_SqlLite::GETFilterScenariosCol(const bool& blnWithPartType2,
                                                          RecordsAffected n) {
  return ReadTable(*this, FilterScenarios(blnWithPartType2), n);
}

#define QUILLDATA_OPERATION(Result, Name, Params, Args)
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread) \
  CollectionPtr clsQuillData_SqlLite::Name(RecordsAffected n) {  \
    static const ReaderInfo& reader = TableReader(L## #Name);    \
    return ReadTable(*this, reader, n);                          \
  }
#include "QuillData/contract/Operations.inc"

}  // namespace QuillData
