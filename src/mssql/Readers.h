#pragma once
// The table readers as data: the readers differ only in the table, the record type, the key
// each record enters the collection under, and which fields are guarded against a database
// null or left unfilled.
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
         std::vector<std::wstring_view> guarded = {}, std::vector<std::wstring_view> unfilled = {})
      : operation(operation),
        table(table),
        type(type),
        key(key),
        keyWithPartType2(keyWithPartType2),
        guarded(std::move(guarded)),
        unfilled(std::move(unfilled)) {}

  std::wstring_view operation;
  std::wstring_view table;
  const RecordType& (*type)();
  // The key: field names in braces, anything else literal ("{fldFeatureListID},{fldFeatureID}").
  std::wstring_view key;
  // When not empty, the key of a row whose fldPartType2 is not the text "0".
  std::wstring_view keyWithPartType2;
  std::vector<std::wstring_view> guarded;   // a null leaves the field as a new record has it
  std::vector<std::wstring_view> unfilled;  // never read from the row
};

// The reader of an operation; an unknown name is a defect of the caller (error 51).
const Reader& TableReader(std::wstring_view operation);

// The filter-scenario rows of the procedure behind GETFilterScenariosCol.
const Reader& FilterScenarioRows();

// The key of a filled record by a key pattern.
std::wstring KeyOf(const RecordType& type, const Record& record, std::wstring_view pattern);

// Creates, fills and adds one record per row from the current position to the end, with the
// key that `keyFor` picks for each record.
template <class KeyFor>
void AddRows(ado::Recordset& rows, const Reader& reader, Tessera::Collection& collection,
             KeyFor&& keyFor);

// Fills one record from the current row.
void Fill(ado::Recordset& rows, const Reader& reader, const RecordType& type, Record& record);

template <class KeyFor>
void AddRows(ado::Recordset& rows, const Reader& reader, Tessera::Collection& collection,
             KeyFor&& keyFor) {
  const RecordType& type = reader.type();
  while (!rows.Eof()) {
    auto record = type.Create();
    Fill(rows, reader, type, *record);
    collection.Add(Variant(record), Variant(keyFor(type, *record)));
    rows.MoveNext();
  }
}

}  // namespace QuillData::mssql
