#include "QuillData/contract/Factory.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/RecordType.h"
#include "QuillData/contract/clsQuillData.h"
#include "contract/Registry.h"

namespace QuillData {

namespace {

constexpr std::wstring_view kPrefix = L"QuillData.";

struct Registry {
  std::mutex mutex;
  std::map<std::wstring, std::function<ObjectPtr()>> classes;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

namespace detail {

bool RegisterClass(std::wstring className, std::function<ObjectPtr()> create) {
  auto& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.classes[std::move(className)] = std::move(create);
  return true;
}

}  // namespace detail

QUILLDATA_REGISTER_CLASS(clsQuillData);

ObjectPtr CreateObject(std::wstring_view className) {
  if (className.starts_with(kPrefix)) {
    if (const RecordType* type = RecordType::Find(className.substr(kPrefix.size()))) {
      return type->Create();
    }
  }
  auto& r = TheRegistry();
  std::function<ObjectPtr()> create;
  {
    std::lock_guard lock(r.mutex);
    auto found = r.classes.find(std::wstring(className));
    if (found != r.classes.end()) create = found->second;
  }
  if (!create) {
    throw QuillError(
        ErrNo::CannotCreateObject, L"QuillData",
        L"ActiveX component can't create object: unknown class '" + std::wstring(className) + L"'");
  }
  return create();
}

std::vector<std::wstring> CreatableClasses() {
  std::vector<std::wstring> names;
  {
    auto& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    for (const auto& [name, create] : r.classes) names.push_back(name);
  }
  for (const RecordType* type : RecordType::All()) {
    names.push_back(std::wstring(kPrefix) + std::wstring(type->Name()));
  }
  return names;
}

}  // namespace QuillData
