#pragma once
// Creates the public classes by name, as a host that binds late does:
//   auto db = QuillData::CreateObject(L"QuillData.clsQuillData_SqlLite");
// Record classes are created as "QuillData.tblMachRouting". The server backend answers to
// "QuillData.clsQuillData_MSSQL" and to "QuillData.clsQuillData_PostgreSQL": one class serves
// both servers. An unknown name raises error 429 (ErrorKind::NotFound) naming the class and
// listing the classes of this build.
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/Object.h"
#include "QuillData/contract/Variant.h"

QUILLDATA_API_BEGIN

namespace QuillData {

QUILLDATA_API ObjectPtr CreateObject(std::wstring_view className);
template <class T>
std::shared_ptr<T> CreateObjectAs(std::wstring_view className) {
  return std::dynamic_pointer_cast<T>(CreateObject(className));
}
// Every name CreateObject accepts.
QUILLDATA_API std::vector<std::wstring> CreatableClasses();

// A backend's OpenDB refuses connection values of another number than its layout with a
// sentence that names the layout (QuillError, ErrorKind::RefusedArgument):
// clsQuillData_SqlLite takes {library folder, database file, trace switch},
// clsQuillData_MSSQL {connection string, trace switch}.
void RequireConnArgs(std::wstring_view backend, const std::vector<Variant>& values);

}  // namespace QuillData

QUILLDATA_API_END
