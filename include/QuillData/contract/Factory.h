#pragma once
// Creates the public classes by name, as a host that binds late does:
//   auto db = QuillData::CreateObject(L"QuillData.clsQuillData_SqlLite");
// Record classes are created as "QuillData.tblMachRouting". An unknown name raises error
// 429 "ActiveX component can't create object" naming the class.
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/Object.h"

QUILLDATA_API_BEGIN

namespace QuillData {

QUILLDATA_API ObjectPtr CreateObject(std::wstring_view className);
template <class T>
std::shared_ptr<T> CreateObjectAs(std::wstring_view className) {
  return std::dynamic_pointer_cast<T>(CreateObject(className));
}
// Every name CreateObject accepts.
QUILLDATA_API std::vector<std::wstring> CreatableClasses();

}  // namespace QuillData

QUILLDATA_API_END
