#include "QuillData/registry/Factory.h"

#include <algorithm>
#include <map>

#include "QuillData/QuillData.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/RecordType.h"
#if QUILLDATA_WITH_SQLITE
#include "sqlite/ConnLayout.h"
#endif
#if QUILLDATA_WITH_MSSQL
#include "mssql/ConnLayout.h"
#endif

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
    // One server backend serves SQL Server and PostgreSQL alike: the connection string
    // chooses the server. The second name is for hosts that name the server they use.
    Entry<clsQuillData_MSSQL>(L"QuillData.clsQuillData_MSSQL"),
    Entry<clsQuillData_MSSQL>(L"QuillData.clsQuillData_PostgreSQL"),
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
    // The backends and the maintenance class; the record classes are named by their tables.
    std::wstring names;
    for (const auto& [name, create] : Classes())
      names += (names.empty() ? L"" : L", ") + std::wstring(name);
    throw QuillError(ErrNo::CannotCreateObject, L"QuillData",
                     L"Cannot create an object of the unknown class '" + std::wstring(className) +
                         L"'. The classes of this build are " + names +
                         L", and a record class as QuillData.tblMachining.");
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

const std::vector<ConnLayout>& Backends() {
  static const std::vector<ConnLayout> backends = {
#if QUILLDATA_WITH_SQLITE
    sqlite_detail::kConnLayout,
#endif
#if QUILLDATA_WITH_MSSQL
    mssql::kConnLayout,
#endif
  };
  return backends;
}

}  // namespace QuillData
