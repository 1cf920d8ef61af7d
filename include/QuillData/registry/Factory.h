#pragma once
// The one place that knows every class of the build. It creates the public classes by name,
// as a host that binds late does:
//   auto db = QuillData::CreateObject(L"QuillData.clsQuillData_SqlLite");
// Record classes are created as "QuillData.tblMachRouting". The server backend answers to
// "QuillData.clsQuillData_MSSQL" and to "QuillData.clsQuillData_PostgreSQL": one class serves
// both servers. An unknown name raises error 429 (ErrorKind::NotFound) naming the class and
// listing the classes of this build.
#include <string>
#include <string_view>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/ConnLayout.h"
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

// The backends of this build, each with the layout of its ConnArgs: the command line opens
// a file or a server with the first backend that takes one.
QUILLDATA_API const std::vector<ConnLayout>& Backends();

}  // namespace QuillData

QUILLDATA_API_END
