#include "Readers.h"

#include "QuillData/ado/Enums.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "ado/Detail.h"
#include "contract/ModuleText.h"
#include "contract/Trap.h"

namespace QuillData::mssql {

KeyRule KeyRuleOf(const readers::TableReader& reader) {
  const RecordType& type = reader.recordType();
  KeyRule rule{readers::PlanKey(type, reader.key), {}, -1};
  const std::wstring_view first = readers::FirstPart(reader.key);
  // Only a key with a second part has a row that may lack it: fldPartType2 "0".
  if (first.size() != reader.key.size()) {
    rule.shortPlan = readers::PlanKey(type, first);
    rule.shortWhen = type.FieldIndex(L"fldPartType2");
  }
  return rule;
}

RecordFiller::RecordFiller(const readers::TableReader& reader, KeyRule key)
    : reader_(reader), type_(reader.recordType()), key_(std::move(key)) {}

void RecordFiller::Begin(std::span<const ado::Column> columns, int64_t rows) {
  collection_ = std::make_shared<Tessera::Collection>();
  counted_ = rows >= 0;
  if (rows > 0) collection_->Reserve(static_cast<size_t>(rows));
  plan_.clear();
  const auto fields = type_.Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldInfo& field = fields[i];
    if (field.name == reader_.unreadOnServer) continue;
    FieldPlan plan{i, -1, Path::Value, field.address};
    for (size_t c = 0; c < columns.size(); ++c) {
      if (!ado::detail::SameText(columns[c].name, field.name)) continue;
      plan.column = static_cast<long>(c);
      const ado::CellKind kind = ado::CellKindOf(columns[c].type);
      using ado::CellKind;
      if (!field.address) break;
      if (kind == CellKind::Integer && field.type == FieldType::Long) plan.path = Path::Long;
      if (kind == CellKind::Double && field.type == FieldType::Double) plan.path = Path::Double;
      if (kind == CellKind::Boolean && field.type == FieldType::Bool) plan.path = Path::Bool;
      if (kind == CellKind::Text && field.type == FieldType::String) plan.path = Path::Text;
      if (kind == CellKind::Date && field.type == FieldType::Date) plan.path = Path::Date;
      break;
    }
    plan_.push_back(plan);
  }
}

void RecordFiller::Fill(ado::Row& row, Record& record, const FieldPlan& plan) const {
  if (plan.column < 0) {
    ado::detail::Raise(ado::adErrItemNotFound, L"The recordset has no field named \"" +
                                                   std::wstring(type_.Fields()[plan.field].name) +
                                                   L"\".");
  }
  const auto column = static_cast<size_t>(plan.column);
  if (row.IsNull(column)) return;
  switch (plan.path) {
    case Path::Long: {
      const int64_t value = row.Integer(column);
      if (value < INT32_MIN || value > INT32_MAX) break;  // the conversion reports the overflow
      *static_cast<int32_t*>(plan.address(record)) = static_cast<int32_t>(value);
      return;
    }
    case Path::Double:
      *static_cast<double*>(plan.address(record)) = row.Double(column);
      return;
    case Path::Bool:
      *static_cast<bool*>(plan.address(record)) = row.Boolean(column);
      return;
    case Path::Text: {
      auto& text = *static_cast<std::wstring*>(plan.address(record));
      text.assign(row.Text(column));
      // Under a comma locale a stored "12.5" reads as "12,5", as on the embedded backend.
      DecimalTextToLocal(text);
      return;
    }
    case Path::Date:
      *static_cast<Date*>(plan.address(record)) = row.When(column);
      return;
    case Path::Value:
      break;
  }
  type_.Set(record, plan.field, row.Value(column));
}

const readers::KeyPlan& RecordFiller::KeyFor(Record& record) const {
  if (key_.shortWhen < 0) return key_.plan;
  const FieldInfo& field = type_.Fields()[static_cast<size_t>(key_.shortWhen)];
  const bool isShort = field.address && field.type == FieldType::String
                           ? *static_cast<const std::wstring*>(field.address(record)) == L"0"
                           : CStr(type_.Get(record, static_cast<size_t>(key_.shortWhen))) == L"0";
  return isShort ? key_.shortPlan : key_.plan;
}

void RecordFiller::Take(ado::Row& row) {
  Record& record = collection_->NewRecord(type_);
  failed_.clear();
  for (size_t i = 0; i < plan_.size(); ++i) {
    try {
      Fill(row, record, plan_[i]);
    } catch (const QuillError&) {
      failed_.push_back(i);
    }
  }
  if (!failed_.empty()) Report(row, record);
  readers::BuildKey(record, KeyFor(record), keyText_);
  collection_->AppendNew(keyText_);
}

void RecordFiller::Report(ado::Row& row, Record& record) {
  const std::vector<size_t> failed = failed_;
  const std::wstring key = readers::KeyOf(record, KeyFor(record));
  const std::wstring table(reader_.table);
  Trap(L"clsQuillData", reader_.operation).Run([&](Trap& t) {
    for (size_t i : failed) {
      t.Step([&] {
        try {
          Fill(row, record, plan_[i]);
        } catch (const QuillError& e) {
          throw e.Described(e.Description() + L" (" + table + L"." +
                            std::wstring(type_.Fields()[plan_[i].field].name) +
                            L", row with key '" + key + L"')");
        }
      });
    }
  });
}

Tessera::CollectionPtr RecordFiller::Result() {
  if (!collection_) return std::make_shared<Tessera::Collection>();
  if (!counted_) collection_->ShrinkToFit();
  return collection_;
}

}  // namespace QuillData::mssql
