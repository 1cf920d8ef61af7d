// The 24 readers: one table reader driven by each operation's SQL text, record type and key,
// the row copier TypeSelect, and GETTblLocalDesigns' own row copy.
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
using sqlite_detail::KeyPart;
using sqlite_detail::Operation;
using sqlite_detail::ReaderInfo;
using sqlite_detail::ReaderStatement;
using sqlite_detail::RowPlan;

namespace {

constexpr int kInteger = 1;
constexpr int kFloat = 2;
constexpr int kText = 3;
constexpr int32_t kNoSuchProperty = 438;

template <class R>
const RecordType& TypeOf() {
  return R::Descriptor();
}

// clang-format off
const ReaderInfo kFilterScenariosWithPartType2{L"clsQuillData_GETFilterScenariosCol",
    L"SELECT * FROM tblFilter_Scenarios WHERE fldPartType2 <> '0'", &TypeOf<tblFilter_Scenarios>,
    L"fldPartType1|fldSubType1#fldPartType2|fldSubType2"};
const ReaderInfo kFilterScenariosWithoutPartType2{L"clsQuillData_GETFilterScenariosCol",
    L"SELECT * FROM tblFilter_Scenarios WHERE fldPartType2 = '0'", &TypeOf<tblFilter_Scenarios>,
    L"fldPartType1|fldSubType1"};
const ReaderInfo kConstructionScenarioTypes{L"clsQuillData_GETTblConstructionScenarioTypes",
    L"SELECT * FROM tblConstruction_Scenario_Types", &TypeOf<tblConstruction_Scenario_Types>,
    L"fldConstScenarioType"};
const ReaderInfo kFilterScenarios{L"clsQuillData_GETTblFilterScenarios",
    L"SELECT * FROM tblFilter_Scenarios", &TypeOf<tblFilter_Scenarios>,
    L"fldPartType1|fldSubType1#fldPartType2|fldSubType2"};
const ReaderInfo kGlobalContrFeatrLists{L"clsQuillData_GETTblGlobalContrFeatrLists",
    L"SELECT * FROM tblGlobal_Contr_Featr_Lists", &TypeOf<tblGlobal_Contr_Featr_Lists>,
    L"fldFeatureListID,fldFeatureID"};
const ReaderInfo kGlobalContrFeatrPatterns{L"clsQuillData_GETTblGlobalContrFeatrPatterns",
    L"SELECT * FROM tblGlobal_Contr_Featr_Patterns", &TypeOf<tblGlobal_Contr_Featr_Patterns>,
    L"fldFeatureListID,fldPartTypeID,fldSubTypeID"};
const ReaderInfo kGlobalFaceContourLinks{L"clsQuillData_GETTblGlobalFaceContourLinks",
    L"SELECT * FROM tblGlobal_Face_Contour_Links", &TypeOf<tblGlobal_Face_Contour_Links>,
    L"fldConstScenarioID,fldPartTypeID,fldSubTypeID"};
const ReaderInfo kGlobalImprintAssignments{L"clsQuillData_GETTblGlobalImprintAssignments",
    L"SELECT * FROM tblGlobal_Imprint_Assignments", &TypeOf<tblGlobal_Imprint_Assignments>,
    L"fldlngRelationPattern"};
const ReaderInfo kGlobalImprintDefinitions{L"clsQuillData_GETTblGlobalImprintDefinitions",
    L"SELECT * FROM tblGlobal_Imprint_Definitions", &TypeOf<tblGlobal_Imprint_Definitions>,
    L"fldlngRelationPattern"};
const ReaderInfo kGlobalMachiningLinks{L"clsQuillData_GETTblGlobalMachiningLinks",
    L"SELECT * FROM tblGlobal_Machining_Links", &TypeOf<tblGlobal_Machining_Links>,
    L"fldLinkID"};
const ReaderInfo kGlobalRelationAssignments{L"clsQuillData_GETTblGlobalRelationAssignments",
    L"SELECT * FROM tblGlobal_Relation_Assignments", &TypeOf<tblGlobal_Relation_Assignments>,
    L"fldPatternID"};
const ReaderInfo kGlobalRelationshipPatterns{L"clsQuillData_GETTblGlobalRelationshipPatterns",
    L"SELECT * FROM tblGlobal_Relationship_Patterns", &TypeOf<tblGlobal_Relationship_Patterns>,
    L"fldPatternID"};
const ReaderInfo kLocalContrFeatrLists{L"clsQuillData_GETTblLocalContrFeatrLists",
    L"SELECT * FROM tblLocal_Contr_Featr_Lists", &TypeOf<tblLocal_Contr_Featr_Lists>,
    L"fldFeatureListID"};
const ReaderInfo kLocalDesigns{L"clsQuillData_GETTblLocalDesigns",
    L"SELECT * FROM tblLocal_Designs", &TypeOf<tblLocal_Designs>,
    L"fldDesignID", true};
const ReaderInfo kLocalFaceContourLinks{L"clsQuillData_GETTblLocalFaceContourLinks",
    L"SELECT * FROM tblLocal_Face_Contour_Links", &TypeOf<tblLocal_Face_Contour_Links>,
    L"fldPartTypeID|fldSubTypeID|fldConstScenarioID|fldDesignID"};
const ReaderInfo kLocalMachiningLinks{L"clsQuillData_GETTblLocalMachiningLinks",
    L"SELECT * FROM tblLocal_Machining_Links", &TypeOf<tblLocal_Machining_Links>,
    L"fldLinkID"};
const ReaderInfo kLocalRelationAssignments{L"clsQuillData_GETTblLocalRelationAssignments",
    L"SELECT * FROM tblLocal_Relation_Assignments", &TypeOf<tblLocal_Relation_Assignments>,
    L"fldPatternID"};
const ReaderInfo kLocalRelationshipPatterns{L"clsQuillData_GETTblLocalRelationshipPatterns",
    L"SELECT * FROM tblLocal_Relationship_Patterns", &TypeOf<tblLocal_Relationship_Patterns>,
    L"fldPatternID"};
const ReaderInfo kMachining{L"clsQuillData_GETTblMachining",
    L"SELECT * FROM Machining", &TypeOf<tblMachining>, L"MachID"};
const ReaderInfo kMachRouting{L"clsQuillData_GETTblMachRouting",
    L"SELECT * FROM MachRouting", &TypeOf<tblMachRouting>, L"lngMachRoutingID"};
const ReaderInfo kMachLink{L"clsQuillData_GETTblMachLink",
    L"SELECT * FROM MachLink", &TypeOf<tblMachLink>, L"MachLinkID"};
const ReaderInfo kMachVariable{L"clsQuillData_GETTblMachVariable",
    L"SELECT * FROM MachVariable", &TypeOf<tblMachVariable>, L"Name"};
const ReaderInfo kMachVertical{L"clsQuillData_GETTblMachVertical",
    L"SELECT * FROM MachVertical", &TypeOf<tblMachVertical>, L"MachVerticalID"};
const ReaderInfo kMFGPartTypes{L"clsQuillData_GETTblMFGPartTypes",
    L"SELECT * FROM tblMFG_Part_Types", &TypeOf<tblMFG_Part_Types>, L"fldPartID|fldSubTypeID"};
const ReaderInfo kMFGScenario{L"clsQuillData_GETTblMFGScenario",
    L"SELECT * FROM tblMFG_Scenario", &TypeOf<tblMFG_Scenario>,
    L"fldMFGScenarioID,fldPartID,fldSubTypeID"};
// clang-format on

std::vector<KeyPart> PlanKey(const RecordType& type, std::wstring_view key) {
  std::vector<KeyPart> parts;
  auto addField = [&](std::wstring_view name) {
    int field = type.FieldIndex(name);
    if (field < 0) {
      throw QuillError(
          ErrNo::InternalError, L"QuillData",
          L"The key names no field of " + std::wstring(type.Name()) + L": " + std::wstring(name));
    }
    KeyPart part;
    part.field = field;
    part.type = type.Fields()[field].type;
    part.address = type.Fields()[field].address;
    parts.push_back(part);
  };
  size_t start = 0;
  for (size_t i = 0; i < key.size(); ++i) {
    if (key[i] == L'|' || key[i] == L'#' || key[i] == L',') {
      addField(key.substr(start, i - start));
      KeyPart sep;
      sep.separator = key[i];
      parts.push_back(sep);
      start = i + 1;
    }
  }
  addField(key.substr(start));
  return parts;
}

void AppendDecimal(std::wstring& out, int32_t value) {
  char digits[16];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (const char* p = digits; p != end; ++p) out += static_cast<wchar_t>(*p);
}

// The row's key into `key` (its storage reused from row to row).
void BuildKey(Record& rec, const std::vector<KeyPart>& parts, std::wstring& key) {
  key.clear();
  for (const KeyPart& part : parts) {
    if (part.field < 0) {
      key += part.separator;
    } else if (part.address && part.type == FieldType::Long) {
      AppendDecimal(key, *static_cast<const int32_t*>(part.address(rec)));
    } else if (part.address && part.type == FieldType::String) {
      key += *static_cast<const std::wstring*>(part.address(rec));
    } else {
      key += CStr(rec.Type().Get(rec, static_cast<size_t>(part.field)));
    }
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
               PlanKey(type, reader.key),
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
  std::wstring key;
  BuildKey(rec, plan.key, key);
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

std::shared_ptr<ReaderStatement> clsQuillData_SqlLite::TakeReaderStatement(Operation& op,
                                                                           const wchar_t* sql) {
  std::shared_ptr<ReaderStatement> kept;
  for (const auto& s : m_readerStatements) {
    if (s->sql == sql && s->kept) kept = s;
  }
  if (kept && !kept->busy) {
    kept->busy = true;
    return kept;
  }
  auto made = std::make_shared<ReaderStatement>();
  made->sql = sql;
  made->kept = !kept;
  m_readerStatements.push_back(made);
  try {
    made->stmt = op.PrepareOwn(sql);
  } catch (...) {
    m_readerStatements.pop_back();
    throw;
  }
  made->busy = true;
  return made;
}

void clsQuillData_SqlLite::ReleaseReaderStatement(ReaderStatement& statement) noexcept {
  statement.busy = false;
  if (statement.stmt == 0 || !m_oSqlite) return;  // finalized with the connection meanwhile
  if (statement.kept) {
    // A statement left unreset would keep its read transaction open.
    m_oSqlite->sqlite3_reset(statement.stmt);
    return;
  }
  m_oSqlite->sqlite3_finalize(statement.stmt);
  statement.stmt = 0;
  std::erase_if(m_readerStatements, [&](const auto& s) { return s.get() == &statement; });
}

void clsQuillData_SqlLite::FinalizeReaderStatements() noexcept {
  for (const auto& s : m_readerStatements) {
    if (s->stmt != 0 && m_oSqlite) m_oSqlite->sqlite3_finalize(s->stmt);
    s->stmt = 0;
  }
  m_readerStatements.clear();
}

CollectionPtr clsQuillData_SqlLite::ReadTable(const ReaderInfo& reader, RecordsAffected& count) {
  // Whatever happens below, the caller gets a collection: the rows read before a failure.
  auto collection = std::make_shared<Tessera::Collection>();
  Operation op(*this, reader.procedure);
  op.Run([&](Trap& t) {
    // Given back (reset) however the rows end: a failed step, a failed copy, an error that
    // reaches the caller.
    struct Lease {
      clsQuillData_SqlLite& db;
      std::shared_ptr<ReaderStatement> statement;
      ~Lease() {
        if (statement) db.ReleaseReaderStatement(*statement);
      }
    } lease{*this, nullptr};
    t.Step([&] { lease.statement = TakeReaderStatement(op, reader.sql); });
    if (!lease.statement) return;  // did not prepare: no rows
    ReaderStatement& statement = *lease.statement;
    const RecordType& type = reader.recordType();
    std::wstring key;
    for (bool first = true;; first = false) {
      bool row = false, stepped = false;
      t.Step([&] {
        row = op.Step(statement.stmt);
        stepped = true;
      });
      // A failed step that the companion went on from ends the rows: stepping again would
      // start the statement over.
      if (!stepped || !row || statement.stmt == 0) break;
      if (first) {
        // Once stepped, the statement shows the columns of the schema it now runs against.
        const int32_t reprepares = Binding().Reprepares(statement.stmt);
        if (!statement.plan || reprepares < 0 || reprepares != statement.reprepares) {
          statement.plan.emplace(PlanRows(Binding(), statement.stmt, reader));
          statement.reprepares = reprepares;
        }
        statement.plan->localSeparator = LocalDecimalPoint();
      }
      const RowPlan& plan = *statement.plan;
      t.Step([&] {
        Record& rec = collection->NewRecord(type);
        TypeSelect(rec, plan);
        BuildKey(rec, plan.key, key);
        collection->AppendNew(key);
      });
    }
  });
  collection->ShrinkToFit();
  count = collection->Count();
  return collection;
}

// clang-format off
CollectionPtr clsQuillData_SqlLite::GETFilterScenariosCol(const bool& blnWithPartType2, RecordsAffected n) {
  return ReadTable(blnWithPartType2 ? kFilterScenariosWithPartType2 : kFilterScenariosWithoutPartType2, n);
}
CollectionPtr clsQuillData_SqlLite::GETTblConstructionScenarioTypes(RecordsAffected n) { return ReadTable(kConstructionScenarioTypes, n); }
CollectionPtr clsQuillData_SqlLite::GETTblFilterScenarios(RecordsAffected n) { return ReadTable(kFilterScenarios, n); }
CollectionPtr clsQuillData_SqlLite::GETTblGlobalContrFeatrLists(RecordsAffected n) { return ReadTable(kGlobalContrFeatrLists, n); }
CollectionPtr clsQuillData_SqlLite::GETTblGlobalContrFeatrPatterns(RecordsAffected n) { return ReadTable(kGlobalContrFeatrPatterns, n); }
CollectionPtr clsQuillData_SqlLite::GETTblGlobalFaceContourLinks(RecordsAffected n) { return ReadTable(kGlobalFaceContourLinks, n); }
CollectionPtr clsQuillData_SqlLite::GETTblGlobalImprintAssignments(RecordsAffected n) { return ReadTable(kGlobalImprintAssignments, n); }
CollectionPtr clsQuillData_SqlLite::GETTblGlobalImprintDefinitions(RecordsAffected n) { return ReadTable(kGlobalImprintDefinitions, n); }
CollectionPtr clsQuillData_SqlLite::GETTblGlobalMachiningLinks(RecordsAffected n) { return ReadTable(kGlobalMachiningLinks, n); }
CollectionPtr clsQuillData_SqlLite::GETTblGlobalRelationAssignments(RecordsAffected n) { return ReadTable(kGlobalRelationAssignments, n); }
CollectionPtr clsQuillData_SqlLite::GETTblGlobalRelationshipPatterns(RecordsAffected n) { return ReadTable(kGlobalRelationshipPatterns, n); }
CollectionPtr clsQuillData_SqlLite::GETTblLocalContrFeatrLists(RecordsAffected n) { return ReadTable(kLocalContrFeatrLists, n); }
CollectionPtr clsQuillData_SqlLite::GETTblLocalDesigns(RecordsAffected n) { return ReadTable(kLocalDesigns, n); }
CollectionPtr clsQuillData_SqlLite::GETTblLocalFaceContourLinks(RecordsAffected n) { return ReadTable(kLocalFaceContourLinks, n); }
CollectionPtr clsQuillData_SqlLite::GETTblLocalMachiningLinks(RecordsAffected n) { return ReadTable(kLocalMachiningLinks, n); }
CollectionPtr clsQuillData_SqlLite::GETTblLocalRelationAssignments(RecordsAffected n) { return ReadTable(kLocalRelationAssignments, n); }
CollectionPtr clsQuillData_SqlLite::GETTblLocalRelationshipPatterns(RecordsAffected n) { return ReadTable(kLocalRelationshipPatterns, n); }
CollectionPtr clsQuillData_SqlLite::GETTblMachining(RecordsAffected n) { return ReadTable(kMachining, n); }
CollectionPtr clsQuillData_SqlLite::GETTblMachRouting(RecordsAffected n) { return ReadTable(kMachRouting, n); }
CollectionPtr clsQuillData_SqlLite::GETTblMachLink(RecordsAffected n) { return ReadTable(kMachLink, n); }
CollectionPtr clsQuillData_SqlLite::GETTblMachVariable(RecordsAffected n) { return ReadTable(kMachVariable, n); }
CollectionPtr clsQuillData_SqlLite::GETTblMachVertical(RecordsAffected n) { return ReadTable(kMachVertical, n); }
CollectionPtr clsQuillData_SqlLite::GETTblMFGPartTypes(RecordsAffected n) { return ReadTable(kMFGPartTypes, n); }
CollectionPtr clsQuillData_SqlLite::GETTblMFGScenario(RecordsAffected n) { return ReadTable(kMFGScenario, n); }
// clang-format on

}  // namespace QuillData
