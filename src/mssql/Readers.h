#pragma once
// Filling records from a recordset, as the table readers describe them.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "QuillData/ado/Recordset.h"
#include "QuillData/contract/RecordType.h"
#include "QuillData/contract/Tessera.h"
#include "contract/TableReaders.h"

namespace QuillData::mssql {

// Fills records of the reader's class from the current row of a recordset, each field from
// the column of its name, found once per recordset.
class RowFiller {
 public:
  RowFiller(ado::Recordset& rows, const readers::TableReader& reader);

  // A null leaves its field as a new record has it (the server's tables are nullable); a
  // cell that cannot be converted, or a column the recordset lacks, leaves its field so too
  // and is reported to the error companion, naming the table, the column and the row's key
  // (`keyOf`); the other fields are filled all the same. The unread field is never read.
  void Fill(Record& record, const std::function<std::wstring()>& keyOf) const;

 private:
  void FillField(Record& record, size_t field) const;

  ado::Recordset& rows_;
  const readers::TableReader& reader_;
  const RecordType& type_;
  std::vector<ado::FieldPtr> columns_;  // per record field; null: unread or no such column
};

// Creates, fills and adds one record per row from the current position to the end, with the
// key that `keyFor` gives each filled record. A row whose key another row holds already goes
// in without a key.
template <class KeyFor>
void AddRows(ado::Recordset& rows, const readers::TableReader& reader,
             Tessera::Collection& collection, KeyFor&& keyFor) {
  const RecordType& type = reader.recordType();
  const RowFiller filler(rows, reader);
  while (!rows.Eof()) {
    auto record = type.Create();
    filler.Fill(*record, [&] { return keyFor(*record); });
    std::wstring key = keyFor(*record);
    collection.Append(Variant(std::move(record)), std::move(key));
    rows.MoveNext();
  }
}

}  // namespace QuillData::mssql
