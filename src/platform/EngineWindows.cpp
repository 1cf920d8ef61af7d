#include "platform/Engine.h"

#include <windows.h>

#include "platform/Files.h"

namespace QuillData::platform {

void* OpenLibrary(const std::wstring& path, std::wstring& error) {
  // A full path loads that file, and the libraries it needs from its own folder. A bare name
  // is looked for in the program's folder and the system's, never in the current folder or
  // along PATH, where anybody may have put a file of that name.
  const bool bare = path.find_first_of(L"\\/") == std::wstring::npos;
  HMODULE module =
      LoadLibraryExW(path.c_str(), nullptr,
                     bare ? LOAD_LIBRARY_SEARCH_DEFAULT_DIRS : LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) error = path + L": " + SystemMessage(static_cast<int>(GetLastError()));
  return reinterpret_cast<void*>(module);
}

void* FindExport(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

bool CloseLibrary(void* library) {
  return FreeLibrary(static_cast<HMODULE>(library)) != 0;
}

std::wstring OwnFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&OwnFolder), &self)) {
    return {};
  }
  std::wstring file(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(self, file.data(), static_cast<DWORD>(file.size()));
    if (n == 0) return {};
    if (n < file.size()) {
      file.resize(n);
      break;
    }
    file.resize(file.size() * 2);
  }
  const size_t slash = file.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : file.substr(0, slash);
}

bool CallWithIntegers(void* function, const int64_t* args, size_t count, intptr_t& result,
                      int32_t& lastError) {
  // There is no libffi here. On x64 Windows every integer argument takes one 64-bit slot and
  // the caller removes them: a callee that takes fewer arguments ignores the rest, so one
  // signature with all sixteen serves every export.
  using Sixteen =
      intptr_t (*)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                   intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);
  intptr_t a[16] = {};
  if (count > 16) return false;
  for (size_t i = 0; i < count; ++i) a[i] = static_cast<intptr_t>(args[i]);
  auto fn = reinterpret_cast<Sixteen>(function);
  SetLastError(0);
  result = fn(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11], a[12],
              a[13], a[14], a[15]);
  lastError = static_cast<int32_t>(GetLastError());
  return true;
}

}  // namespace QuillData::platform
