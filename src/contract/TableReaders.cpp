#include "contract/TableReaders.h"

#include <charconv>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/clsQuillData.h"

namespace QuillData::readers {

std::span<const TableReader> All() {
  static const TableReader table[] = {
#define QUILLDATA_OPERATION(Result, Name, Params, Args)
#define QUILLDATA_TABLE_READER(Name, Record, Table, Key, Unread) \
  {L## #Name, Table, &Record::Descriptor, Key, Unread},
#include "QuillData/contract/Operations.inc"
  };
  return table;
}

const TableReader& Find(std::wstring_view operation) {
  for (const TableReader& reader : All()) {
    if (reader.operation == operation) return reader;
  }
  throw QuillError(ErrNo::InternalError, L"QuillData",
                   L"No table reader is defined for " + std::wstring(operation));
}

std::wstring_view FirstPart(std::wstring_view key) {
  return key.substr(0, key.find(L'#'));
}

KeyPlan PlanKey(const RecordType& type, std::wstring_view key) {
  KeyPlan parts;
  auto addField = [&](std::wstring_view name) {
    const int field = type.FieldIndex(name);
    if (field < 0) {
      throw QuillError(
          ErrNo::InternalError, L"QuillData",
          L"The key names no field of " + std::wstring(type.Name()) + L": " + std::wstring(name));
    }
    const FieldInfo& info = type.Fields()[static_cast<size_t>(field)];
    parts.push_back({field, info.type, info.address, 0});
  };
  size_t start = 0;
  for (size_t i = 0; i < key.size(); ++i) {
    if (key[i] == L'|' || key[i] == L'#' || key[i] == L',') {
      addField(key.substr(start, i - start));
      parts.push_back({-1, FieldType::Variant, nullptr, key[i]});
      start = i + 1;
    }
  }
  addField(key.substr(start));
  return parts;
}

namespace {

void AppendDecimal(std::wstring& out, int32_t value) {
  char digits[16];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (const char* p = digits; p != end; ++p) out += static_cast<wchar_t>(*p);
}

}  // namespace

void BuildKey(Record& record, const KeyPlan& plan, std::wstring& key) {
  key.clear();
  for (const KeyPart& part : plan) {
    if (part.field < 0) {
      key += part.separator;
    } else if (part.address && part.type == FieldType::Long) {
      AppendDecimal(key, *static_cast<const int32_t*>(part.address(record)));
    } else if (part.address && part.type == FieldType::String) {
      key += *static_cast<const std::wstring*>(part.address(record));
    } else {
      key += CStr(record.Type().Get(record, static_cast<size_t>(part.field)));
    }
  }
}

std::wstring KeyOf(Record& record, const KeyPlan& plan) {
  std::wstring key;
  BuildKey(record, plan, key);
  return key;
}

}  // namespace QuillData::readers
