#include "QuillData/contract/Factory.h"

#include <algorithm>
#include <map>

#include "QuillData/QuillData.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/RecordType.h"

namespace QuillData {

namespace {

constexpr std::wstring_view kPrefix = L"QuillData.";

using Create = ObjectPtr (*)();

template <class C>
std::pair<std::wstring_view, Create> Entry(std::wstring_view name) {
  return {name, [] { return ObjectPtr(std::make_shared<C>()); }};
}

// The creatable classes of this build, listed here rather than registered by static
// initializers of their own files, which a static link may leave out.
const std::map<std::wstring_view, Create>& Classes() {
  static const std::map<std::wstring_view, Create> classes = {
    Entry<clsQuillData>(L"QuillData.clsQuillData"),
#if QUILLDATA_WITH_SQLITE
    Entry<clsSqlLite>(L"QuillData.clsSqlLite"),
    Entry<clsQuillData_SqlLite>(L"QuillData.clsQuillData_SqlLite"),
#endif
#if QUILLDATA_WITH_MSSQL
    Entry<clsQuillData_MSSQL>(L"QuillData.clsQuillData_MSSQL"),
#endif
#if QUILLDATA_WITH_MAINTENANCE
    Entry<clsLumenData>(L"QuillData.clsLumenData"),
#endif
  };
  return classes;
}

}  // namespace

ObjectPtr CreateObject(std::wstring_view className) {
  if (className.starts_with(kPrefix)) {
    if (const RecordType* type = RecordType::Find(className.substr(kPrefix.size()))) {
      return type->Create();
    }
  }
  const auto found = Classes().find(className);
  if (found == Classes().end()) {
    throw QuillError(
        ErrNo::CannotCreateObject, L"QuillData",
        L"ActiveX component can't create object: unknown class '" + std::wstring(className) + L"'");
  }
  return found->second();
}

std::vector<std::wstring> CreatableClasses() {
  std::vector<std::wstring> names;
  for (const auto& [name, create] : Classes()) names.emplace_back(name);
  for (const RecordType* type : RecordType::All()) {
    names.push_back(std::wstring(kPrefix) + std::wstring(type->Name()));
  }
  return names;
}

}  // namespace QuillData
