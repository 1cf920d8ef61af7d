#pragma once
// Direct access to the storage of a record's fields, for the row copier's hot loop: the
// address of field i of a record of a given type, whose C++ type follows the field's
// declared type (int32_t, std::wstring, double, bool, Date, Variant, collection pointer).
// Built from the same declarative field lists as the record classes themselves.
#include <span>

#include "QuillData/contract/RecordType.h"

namespace QuillData::sqlite_detail {

using FieldAddress = void* (*)(Record&);

// One entry per field of `type`, in field order; empty for a type without a field list.
std::span<const FieldAddress> FieldAddresses(const RecordType& type);

}  // namespace QuillData::sqlite_detail
