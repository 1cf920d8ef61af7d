#pragma once
// Filling records from a recordset, as the table readers describe them.
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/RecordType.h"
#include "QuillData/contract/Tessera.h"
#include "contract/TableReaders.h"

namespace QuillData::mssql {

// Fills one record from the current row. A null leaves its field as a new record has it (the
// server's tables are nullable); a cell that cannot be converted leaves its field so too and
// is reported to the error companion, naming the table, the column and the row's key; the
// other fields are filled all the same. `keyOf` gives the key of the filled record; the
// reader's unread field is never read.
void Fill(ado::Recordset& rows, const readers::TableReader& reader, Record& record,
          const std::function<std::wstring()>& keyOf);

// Creates, fills and adds one record per row from the current position to the end, with the
// key that `keyFor` gives each filled record. A row whose key another row holds already goes
// in without a key.
template <class KeyFor>
void AddRows(ado::Recordset& rows, const readers::TableReader& reader,
             Tessera::Collection& collection, KeyFor&& keyFor) {
  const RecordType& type = reader.recordType();
  while (!rows.Eof()) {
    auto record = type.Create();
    Fill(rows, reader, *record, [&] { return keyFor(*record); });
    std::wstring key = keyFor(*record);
    collection.Append(Variant(std::move(record)), std::move(key));
    rows.MoveNext();
  }
}

}  // namespace QuillData::mssql
