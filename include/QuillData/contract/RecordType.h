#pragma once
// What every generic piece (the row copiers, the server readers, the JSON printer, the
// tests) knows of a record class: its name and its fields, with declared types, in order.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/Object.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData {

namespace Tessera {
class Collection;
}

enum class FieldType { Long, String, Double, Bool, Date, Variant, Collection };
QUILLDATA_API const wchar_t* FieldTypeName(
    FieldType type);  // "int32", "string", "double", "bool", ...

class RecordType;

class QUILLDATA_API Record : public Object {
 public:
  virtual const RecordType& Type() const = 0;
};

struct QUILLDATA_API FieldInfo {
  std::wstring_view name;
  FieldType type;
  // The field's storage in a record of this type, for copiers on a hot path: an int32_t,
  // std::wstring, double, bool, Date, Variant or collection pointer as `type` says.
  void* (*address)(Record&);
};

class QUILLDATA_API RecordType {
 public:
  virtual ~RecordType() = default;
  std::wstring_view Name() const { return name_; }
  std::span<const FieldInfo> Fields() const { return fields_; }
  // Index of the field with this name, compared without regard to letter case; -1 if none.
  int FieldIndex(std::wstring_view name) const;

  virtual std::shared_ptr<Record> Create() const = 0;
  // A new record built in `storage` (Size() bytes, aligned for any record), for containers
  // that keep many records in one block; the caller destroys it through its destructor.
  virtual Record* Construct(void* storage) const = 0;
  virtual size_t Size() const = 0;
  virtual Variant Get(const Record& record, size_t field) const = 0;
  // Assigns the value, converted to the field's declared type (Coerce.h). A Variant field
  // takes the value as it is; a collection field takes a collection object or nothing.
  virtual void Set(Record& record, size_t field, Variant value) const = 0;

  // Every record class, in declaration order.
  static std::span<const RecordType* const> All();
  static const RecordType* Find(std::wstring_view name);  // exact name; nullptr if none

 protected:
  RecordType(std::wstring_view name, std::vector<FieldInfo> fields);

 private:
  std::wstring_view name_;
  std::vector<FieldInfo> fields_;
  std::vector<std::wstring> lowerNames_;
};

}  // namespace QuillData

QUILLDATA_API_END
