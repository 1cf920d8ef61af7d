#include <cwctype>
#include <mutex>
#include <unordered_map>

#include "QuillData/ado/Enums.h"
#include "QuillData/ado/Provider.h"
#include "QuillData/contract/Error.h"
#include "ado/Detail.h"

namespace QuillData::ado {

namespace detail {

void Raise(int32_t number, const std::wstring& description) {
  throw QuillError(number, kSource, description);
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] &&
        std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
      return false;
  }
  return true;
}

bool IsTextType(int32_t type) {
  switch (type) {
    case adChar:
    case adWChar:
    case adVarChar:
    case adVarWChar:
    case adLongVarChar:
    case adLongVarWChar:
    case adGUID:
      return true;
    default:
      return false;
  }
}

bool IsBinaryType(int32_t type) {
  return type == adBinary || type == adVarBinary || type == adLongVarBinary;
}

bool IsSupportedType(int32_t type) {
  switch (type) {
    case adSmallInt:
    case adInteger:
    case adSingle:
    case adDouble:
    case adDate:
    case adBoolean:
    case adDecimal:
    case adNumeric:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
      return true;
    default:
      return IsTextType(type) || IsBinaryType(type);
  }
}

}  // namespace detail

namespace {

std::wstring Folded(std::wstring_view name) {
  std::wstring key(name);
  for (auto& c : key) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return key;
}

struct Registry {
  std::mutex mutex;
  std::unordered_map<std::wstring, std::shared_ptr<Provider>> providers;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterProvider(const std::wstring& name, std::shared_ptr<Provider> provider) {
  auto& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  if (provider) {
    r.providers[Folded(name)] = std::move(provider);
  } else {
    r.providers.erase(Folded(name));
  }
}

std::shared_ptr<Provider> FindProvider(const std::wstring& name) {
  auto& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.providers.find(Folded(name));
  return it == r.providers.end() ? nullptr : it->second;
}

}  // namespace QuillData::ado

namespace QuillData::ado::detail {

int32_t CommandTypeFromOptions(int32_t options, int32_t fallback) {
  int32_t type = fallback;
  if (options != adOptionUnspecified) {
    const int32_t named = options & (adCmdText | adCmdTable | adCmdStoredProc | adCmdUnknown);
    if (named != 0) type = named;
  }
  if (type == adCmdUnknown || type == adCmdUnspecified) return adCmdText;
  if (type != adCmdText && type != adCmdTable && type != adCmdStoredProc) {
    Raise(adErrInvalidArgument,
          L"The options name no single command type (" + std::to_wstring(options) + L").");
  }
  return type;
}

bool WantsRows(int32_t options) {
  return options == adOptionUnspecified || (options & adExecuteNoRecords) == 0;
}

}  // namespace QuillData::ado::detail
