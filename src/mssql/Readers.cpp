#include "Readers.h"

#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Trap.h"

namespace QuillData::mssql {

void Fill(ado::Recordset& rows, const readers::TableReader& reader, Record& record,
          const std::function<std::wstring()>& keyOf) {
  const RecordType& type = record.Type();
  const auto& fields = type.Fields();
  auto fill = [&](size_t i) {
    auto column = rows.Fields()->Item(std::wstring(fields[i].name));
    const Variant& value = column->Value();
    if (!value.IsNull()) type.Set(record, i, value);
  };
  std::vector<size_t> failed;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == reader.unreadOnServer) continue;
    try {
      fill(i);
    } catch (const QuillError&) {
      failed.push_back(i);
    }
  }
  if (failed.empty()) return;
  const std::wstring key = keyOf();
  const std::wstring table(reader.table);
  Trap(L"clsQuillData", reader.operation).Run([&](Trap& t) {
    for (size_t i : failed) {
      t.Step([&] {
        try {
          fill(i);
        } catch (const QuillError& e) {
          throw e.Described(e.Description() + L" (" + table + L"." + std::wstring(fields[i].name) +
                            L", row with key '" + key + L"')");
        }
      });
    }
  });
}

}  // namespace QuillData::mssql
