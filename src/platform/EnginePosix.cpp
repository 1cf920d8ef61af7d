#include "platform/Engine.h"

#include <dlfcn.h>
#include <ffi.h>

#include <array>
#include <cerrno>
#include <filesystem>

#include "QuillData/contract/Text.h"

namespace QuillData::platform {

void* OpenLibrary(const std::wstring& path, std::wstring& error) {
  dlerror();
  void* handle = dlopen(ToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* e = dlerror();
    error = e ? FromUtf8(e) : std::wstring();
  }
  return handle;
}

void* FindExport(void* library, const char* name) {
  return dlsym(library, name);
}

bool CloseLibrary(void* library) {
  return dlclose(library) == 0;
}

std::wstring OwnFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  std::filesystem::path file(info.dli_fname);
  return file.parent_path().wstring();
}

bool CallWithIntegers(void* function, const int64_t* args, size_t count, intptr_t& result,
                      int32_t& lastError) {
  constexpr size_t kMax = 16;
  std::array<int64_t, kMax> values{};
  std::array<void*, kMax> pointers{};
  std::array<ffi_type*, kMax> types{};
  for (size_t i = 0; i < count && i < kMax; ++i) {
    values[i] = args[i];
    pointers[i] = &values[i];
    types[i] = &ffi_type_sint64;
  }
  ffi_cif cif;
  if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, static_cast<unsigned>(count), &ffi_type_sint64,
                   types.data()) != FFI_OK) {
    return false;
  }
  ffi_arg value = 0;
  errno = 0;
  ffi_call(&cif, reinterpret_cast<void (*)()>(function), &value, pointers.data());
  lastError = errno;
  result = static_cast<intptr_t>(value);
  return true;
}

}  // namespace QuillData::platform
