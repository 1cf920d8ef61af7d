#pragma once
// The table readers of the interface as data, for every backend: which table each reads,
// into which record class, and under which key each record enters the collection. The rows
// come from QuillData/contract/Operations.inc; each backend turns them into its own
// mechanics (a statement, a recordset).
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/contract/RecordType.h"

namespace QuillData::readers {

struct TableReader {
  std::wstring_view operation;  // the interface member, "GETTblMachining"
  std::wstring_view table;
  const RecordType& (*recordType)();
  // Field names joined by the characters that stand between them in the key text ('|', '#'
  // or ','): "fldPartID|fldSubTypeID" of 3 and "A" is "3|A".
  std::wstring_view key;
  std::wstring_view unreadOnServer;  // a field the server leaves as a new record has it
};

// Every table reader, in the interface's order.
std::span<const TableReader> All();
// The reader of an operation; an unknown name is a defect of the caller (error 51).
const TableReader& Find(std::wstring_view operation);

// The key of a row that has no second part: the pattern up to its '#', if it has one
// ("fldPartType1|fldSubType1#fldPartType2|fldSubType2" -> "fldPartType1|fldSubType1").
std::wstring_view FirstPart(std::wstring_view key);

// One piece of a key: a field's value, or the separator that follows it.
struct KeyPart {
  int field = -1;  // -1: the piece is `separator`
  FieldType type = FieldType::Variant;
  void* (*address)(Record&) = nullptr;
  wchar_t separator = 0;
};
using KeyPlan = std::vector<KeyPart>;

// The pieces of a key pattern over a record class, found once per read; a name that is no
// field of the class is a defect of the table (error 51).
KeyPlan PlanKey(const RecordType& type, std::wstring_view key);

// The key of a filled record: whole numbers as decimal text, text as it is, anything else as
// CStr gives it. BuildKey writes it into `key`, whose storage a reader reuses row after row.
void BuildKey(Record& record, const KeyPlan& plan, std::wstring& key);
std::wstring KeyOf(Record& record, const KeyPlan& plan);

}  // namespace QuillData::readers
