#pragma once
// Loading the SQLite engine at run time and calling its exports: the system's loader and its
// calling convention.
#include <cstddef>
#include <cstdint>
#include <string>

namespace QuillData::platform {

// Loads the library file at `path` (a bare name: the system's own search for libraries).
// nullptr on failure, with the loader's reason in `error`.
void* OpenLibrary(const std::wstring& path, std::wstring& error);
// The address of an export; nullptr when the library has none of that name.
void* FindExport(void* library, const char* name);
bool CloseLibrary(void* library);
// The folder of the file that holds this code (the DLL, the shared library or the program);
// empty when the system cannot say.
std::wstring OwnFolder();

// Calls `function` in the platform's C convention with `count` (at most 16) integer
// arguments; `result` receives its whole integer result register and `lastError` the
// system's last error right after the call (errno, or GetLastError). False when the call
// cannot be prepared.
bool CallWithIntegers(void* function, const int64_t* args, size_t count, intptr_t& result,
                      int32_t& lastError);

}  // namespace QuillData::platform
