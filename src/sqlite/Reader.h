#pragma once
// What the one table reader needs to know of each GET operation, and the column-to-field
// plan it makes once per statement.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "QuillData/contract/RecordType.h"
#include "contract/TableReaders.h"
#include "sqlite/Database.h"

namespace QuillData::sqlite_detail {

// A table reader as this backend runs it.
struct ReaderInfo {
  std::wstring procedure;  // "clsQuillData_" + the operation's name
  std::wstring sql;        // the whole statement
  const RecordType& (*recordType)();
  std::wstring_view key;    // as the table readers write it
  bool ownRowCopy = false;  // GETTblLocalDesigns copies its rows itself
};

// The record field that receives one result column.
struct ColumnPlan {
  int field = -1;  // -1: the record has no field of the column's name
  FieldType type = FieldType::Variant;
  void* (*address)(Record&) = nullptr;  // the field's storage (RecordType's FieldInfo)
  std::wstring name;                    // the column's name
};

// Everything a row copy needs, fixed once per statement.
struct RowPlan {
  const Statement& stmt;
  // Under a locale whose decimal separator is not ".", the separator that replaces "." in
  // text columns that hold one decimal number (0: leave every text as the library gives it).
  wchar_t localSeparator;
  bool ownRowCopy;     // GETTblLocalDesigns copies its rows itself
  std::wstring table;  // for messages
  readers::KeyPlan key;
  std::vector<ColumnPlan> columns;
};

// A reader's statement on one connection: prepared once, reset after each call, with the row
// plan made for it. The library prepares the statement again by itself after a schema change
// (its columns may then differ): the plan is made again when its count of those says so.
struct ReaderStatement {
  const wchar_t* sql = nullptr;  // the reader's statement text, which names the reader
  Statement stmt;                // empty once the connection's statements are finalized
  bool kept = true;              // false: a nested call's own statement, finalized after it
  bool busy = false;             // a call is stepping it
  int32_t reprepares = -1;       // the library's count when the plan was made
  size_t lastRows = 0;           // what the last call read: the next one reserves as much
  std::optional<RowPlan> plan;
};

}  // namespace QuillData::sqlite_detail
