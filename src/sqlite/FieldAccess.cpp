#include "sqlite/FieldAccess.h"

#include <unordered_map>
#include <vector>

#include "QuillData/contract/Records.h"

namespace QuillData::sqlite_detail {

namespace {

#define QUILLDATA_FIELD_ADDRESS_(type, name, ...) \
  +[](Record& r) -> void* { return &static_cast<C&>(r).name; },
#define QUILLDATA_FIELD_TABLE_(cls, FIELDS)                             \
  table.emplace(&cls::Descriptor(), [] {                                \
    using C = cls;                                                      \
    return std::vector<FieldAddress>{FIELDS(QUILLDATA_FIELD_ADDRESS_)}; \
  }());

const std::unordered_map<const RecordType*, std::vector<FieldAddress>>& Tables() {
  static const auto tables = [] {
    std::unordered_map<const RecordType*, std::vector<FieldAddress>> table;
    QUILLDATA_RECORDS(QUILLDATA_FIELD_TABLE_)
    // A list that disagrees with the record type's own would hand out wrong addresses.
    for (auto it = table.begin(); it != table.end();) {
      it = it->second.size() == it->first->Fields().size() ? std::next(it) : table.erase(it);
    }
    return table;
  }();
  return tables;
}

#undef QUILLDATA_FIELD_TABLE_
#undef QUILLDATA_FIELD_ADDRESS_

}  // namespace

std::span<const FieldAddress> FieldAddresses(const RecordType& type) {
  const auto& tables = Tables();
  auto it = tables.find(&type);
  if (it == tables.end()) return {};
  return it->second;
}

}  // namespace QuillData::sqlite_detail
