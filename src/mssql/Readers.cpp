#include "Readers.h"

#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/Error.h"
#include "contract/Trap.h"

namespace QuillData::mssql {

RowFiller::RowFiller(ado::Recordset& rows, const readers::TableReader& reader)
    : rows_(rows), reader_(reader), type_(reader.recordType()) {
  const auto fields = type_.Fields();
  columns_.resize(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == reader.unreadOnServer) continue;
    try {
      columns_[i] = rows.Fields()->Item(std::wstring(fields[i].name));
    } catch (const QuillError&) {
      // No such column: each row reports it (FillField asks again, for the same error).
    }
  }
}

void RowFiller::FillField(Record& record, size_t field) const {
  const ado::FieldPtr& column =
      columns_[field] ? columns_[field]
                      : rows_.Fields()->Item(std::wstring(type_.Fields()[field].name));
  const Variant& value = column->Value();
  if (!value.IsNull()) type_.Set(record, field, value);
}

void RowFiller::Fill(Record& record, const std::function<std::wstring()>& keyOf) const {
  const auto fields = type_.Fields();
  std::vector<size_t> failed;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == reader_.unreadOnServer) continue;
    try {
      FillField(record, i);
    } catch (const QuillError&) {
      failed.push_back(i);
    }
  }
  if (failed.empty()) return;
  const std::wstring key = keyOf();
  const std::wstring table(reader_.table);
  Trap(L"clsQuillData", reader_.operation).Run([&](Trap& t) {
    for (size_t i : failed) {
      t.Step([&] {
        try {
          FillField(record, i);
        } catch (const QuillError& e) {
          throw e.Described(e.Description() + L" (" + table + L"." + std::wstring(fields[i].name) +
                            L", row with key '" + key + L"')");
        }
      });
    }
  });
}

}  // namespace QuillData::mssql
