#include "QuillData/maintenance/ServerAdmin.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <mutex>
#include <utility>

#include "QuillData/ado/Enums.h"
#include "QuillData/contract/Error.h"

namespace QuillData {

namespace {

// Identifiers compare without regard to case, as the platform's programmatic names do.
std::wstring Folded(std::wstring_view id) {
  std::wstring out(id);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return out;
}

struct Registry {
  Registry() {
    factories[Folded(kSqlServerAdminId)] = [] { return MakeSqlServerAdmin(); };
  }
  std::mutex mutex;
  std::map<std::wstring, ServerAdminFactory> factories;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

std::shared_ptr<ServerAdmin> CreateServerAdmin(std::wstring_view id) {
  ServerAdminFactory factory;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.factories.find(Folded(id));
    if (it != registry.factories.end()) factory = it->second;
  }
  std::shared_ptr<ServerAdmin> server = factory ? factory() : nullptr;
  if (!server) {
    throw QuillError(ErrNo::CannotCreateObject, L"CreateServerAdmin",
                     L"ActiveX component can't create object: " + std::wstring(id));
  }
  return server;
}

ServerAdminFactory RegisterServerAdmin(std::wstring_view id, ServerAdminFactory factory) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const std::wstring key = Folded(id);
  ServerAdminFactory previous;
  auto it = registry.factories.find(key);
  if (it != registry.factories.end()) {
    previous = std::move(it->second);
    registry.factories.erase(it);
  }
  if (factory) registry.factories[key] = std::move(factory);
  return previous;
}

std::wstring AttachFileList(const std::vector<std::wstring>& files) {
  std::wstring out;
  for (const auto& file : files) {
    if (!out.empty()) out += L',';
    out += L'[';
    for (wchar_t c : file) {
      out += c;
      if (c == L']') out += L']';
    }
    out += L']';
  }
  return out;
}

std::vector<std::wstring> ParseAttachFileList(std::wstring_view files) {
  auto bad = [&](const std::wstring& why) {
    throw QuillError(ado::adErrInvalidArgument, L"AttachDB",
                     L"The file list \"" + std::wstring(files) + L"\" " + why);
  };
  std::vector<std::wstring> out;
  size_t i = 0;
  const size_t n = files.size();
  while (i < n) {
    if (files[i] != L'[') bad(L"must be names in brackets separated by commas: [data],[log].");
    std::wstring name;
    for (++i;; ++i) {
      if (i >= n) bad(L"has an unclosed bracket.");
      if (files[i] == L']') {
        if (i + 1 < n && files[i + 1] == L']') {
          name += L']';
          ++i;
          continue;
        }
        ++i;
        break;
      }
      name += files[i];
    }
    if (name.empty()) bad(L"has an empty file name.");
    out.push_back(std::move(name));
    if (i < n) {
      if (files[i] != L',') bad(L"must separate the names with commas.");
      if (++i == n) bad(L"ends with a comma.");
    }
  }
  if (out.empty()) bad(L"names no file.");
  return out;
}

}  // namespace QuillData
