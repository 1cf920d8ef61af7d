#pragma once
// A command parameter and the ordered collection of them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/contract/Object.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData::ado {

class QUILLDATA_API Parameter : public Object {
 public:
  Parameter() = default;

  const std::wstring& Name() const { return name_; }
  void Name(const std::wstring& value) { name_ = value; }
  int32_t Type() const { return type_; }
  // One of the supported DataTypeEnum values, else adErrInvalidArgument.
  void Type(int32_t value);
  int32_t Direction() const { return direction_; }
  // adParamInput, adParamOutput, adParamInputOutput or adParamReturnValue.
  void Direction(int32_t value);
  // Characters of a text, bytes of a binary value; 0 or -1 means no limit. Ignored for
  // fixed-size types.
  int32_t Size() const { return size_; }
  void Size(int32_t value);
  uint8_t Precision() const { return precision_; }
  void Precision(uint8_t value) { precision_ = value; }
  uint8_t NumericScale() const { return numericScale_; }
  void NumericScale(uint8_t value) { numericScale_ = value; }
  // Checked against the type only when the command is executed.
  const Variant& Value() const { return value_; }
  void Value(const Variant& value) { value_ = value; }

 private:
  std::wstring name_;
  int32_t type_ = adEmpty;
  int32_t direction_ = adParamInput;
  int32_t size_ = 0;
  uint8_t precision_ = 0;
  uint8_t numericScale_ = 0;
  Variant value_;
};

using ParameterPtr = std::shared_ptr<Parameter>;

class QUILLDATA_API Parameters : public Object {
 public:
  // Adds at the end. An empty pointer fails with error 91; a name that is already in the
  // collection (compared without regard to case) with adErrInvalidArgument.
  void Append(const ParameterPtr& parameter);
  // By name without regard to case, or by zero-based index; adErrItemNotFound when absent.
  ParameterPtr Item(const std::wstring& name) const;
  ParameterPtr Item(int32_t index) const;
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Removes by name or index; adErrItemNotFound when absent.
  void Delete(const std::wstring& name);
  void Delete(int32_t index);

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  int32_t IndexOf(const std::wstring& name) const;  // -1 when absent
  std::vector<ParameterPtr> items_;
};

using ParametersPtr = std::shared_ptr<Parameters>;

}  // namespace QuillData::ado

QUILLDATA_API_END
