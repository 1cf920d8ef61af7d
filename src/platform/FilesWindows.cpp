#include "platform/Files.h"

#include <windows.h>

#include <atomic>
#include <random>

#include "QuillData/contract/Text.h"

namespace QuillData::platform {

namespace {

FileError Failure(DWORD code) {
  return {static_cast<int>(code), code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS,
          SystemMessage(static_cast<int>(code))};
}

// A name part that no other process and no earlier call of this one has used.
std::wstring UniqueTail() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  return std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L"-" +
         std::to_wstring(random());
}

}  // namespace

std::wstring SystemMessage(int code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n > 0 ? std::wstring(text, n) : L"error " + std::to_wstring(code);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.')) {
    message.pop_back();
  }
  return message;
}

FileError FlushToDisk(const std::filesystem::path& path, bool folder) {
  // A folder's entry is on the disk once RenameNoReplace returns (MOVEFILE_WRITE_THROUGH):
  // nothing is left to flush there.
  if (folder) return {};
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    FileError error = Failure(GetLastError());
    error.atOpen = true;
    return error;
  }
  const bool ok = FlushFileBuffers(file) != 0;
  const DWORD error = GetLastError();
  CloseHandle(file);
  return ok ? FileError{} : Failure(error);
}

FileError RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing name.
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return {};
  return Failure(GetLastError());
}

FileError CreateNewFile(const std::filesystem::path& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failure(GetLastError());
  CloseHandle(file);
  return {};
}

FileError ReadFirstByte(const std::filesystem::path& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failure(GetLastError());
  char byte = 0;
  DWORD read = 0;
  const bool ok = ReadFile(file, &byte, 1, &read, nullptr) != 0;
  const DWORD error = GetLastError();
  CloseHandle(file);
  return ok ? FileError{} : Failure(error);
}

FileError ProbeWritable(const std::filesystem::path& folder) {
  for (;;) {
    const std::filesystem::path probe = folder / (L".quilldata-probe-" + UniqueTail());
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return {};
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS) return Failure(error);
  }
}

FileError MakeTemporaryFolder(const std::wstring& prefix, std::filesystem::path& folder) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) return {ec.value(), false, FromUtf8(ec.message())};
  for (;;) {
    const std::filesystem::path candidate = base / (prefix + UniqueTail());
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      folder = candidate;
      return {};
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) return Failure(error);
  }
}

int ProcessId() {
  return static_cast<int>(GetCurrentProcessId());
}

}  // namespace QuillData::platform
