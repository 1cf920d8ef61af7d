#pragma once
// What `quilldata records` and `quilldata operations` print.
#include "QuillData/contract/RecordType.h"
#include "cli/Json.h"
#include "cli/Operations.h"

namespace QuillData::cli {

// {"name": "tblMachRouting", "fields": [{"name", "type", "default"}, ...]}: the default is
// the field's value on a freshly created record.
Json RecordTypeToJson(const RecordType& type);
Json RecordTypesToJson();  // every record type, in declaration order

// {"name", "slot", "arguments": [{"name", "type", "optional", "default", "byRef"}],
//  "result", "signature"}
Json OperationToJson(const OperationEntry& op);
Json OperationsToJson();

}  // namespace QuillData::cli
