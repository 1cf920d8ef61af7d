#pragma once
// The table readers as data: the readers differ only in the table, the record type, the key
// each record enters the collection under, and which fields are left unfilled.
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/RecordType.h"
#include "QuillData/contract/Tessera.h"

namespace QuillData::mssql {

struct Reader {
  Reader(std::wstring_view operation, std::wstring_view table, const RecordType& (*type)(),
         std::wstring_view key, std::wstring_view keyWithPartType2 = {},
         std::vector<std::wstring_view> unfilled = {})
      : operation(operation),
        table(table),
        type(type),
        key(key),
        keyWithPartType2(keyWithPartType2),
        unfilled(std::move(unfilled)) {}

  std::wstring_view operation;
  std::wstring_view table;
  const RecordType& (*type)();
  // The key: field names in braces, anything else literal ("{fldFeatureListID},{fldFeatureID}").
  std::wstring_view key;
  // When not empty, the key of a row whose fldPartType2 is not the text "0".
  std::wstring_view keyWithPartType2;
  std::vector<std::wstring_view> unfilled;  // never read from the row
};

// The reader of an operation; an unknown name is a defect of the caller (error 51).
const Reader& TableReader(std::wstring_view operation);

// The filter-scenario rows of the procedure behind GETFilterScenariosCol.
const Reader& FilterScenarioRows();

// The key of a filled record by a key pattern.
std::wstring KeyOf(const RecordType& type, const Record& record, std::wstring_view pattern);

// Fills one record from the current row. A null leaves its field as a new record has it (the
// server's tables are nullable); a cell that cannot be converted leaves its field so too and
// is reported to the error companion, naming the table, the column and the row's key; the
// other fields are filled all the same. `keyOf` gives the key of the filled record.
void Fill(ado::Recordset& rows, const Reader& reader, const RecordType& type, Record& record,
          const std::function<std::wstring()>& keyOf);

// Creates, fills and adds one record per row from the current position to the end, with the
// key that `keyFor` picks for each record. A row whose key another row holds already goes in
// without a key.
template <class KeyFor>
void AddRows(ado::Recordset& rows, const Reader& reader, Tessera::Collection& collection,
             KeyFor&& keyFor) {
  const RecordType& type = reader.type();
  while (!rows.Eof()) {
    auto record = type.Create();
    Fill(rows, reader, type, *record, [&] { return keyFor(type, *record); });
    std::wstring key = keyFor(type, *record);
    collection.Append(Variant(std::move(record)), std::move(key));
    rows.MoveNext();
  }
}

}  // namespace QuillData::mssql
