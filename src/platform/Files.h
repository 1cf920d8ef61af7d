#pragma once
// File calls whose form differs between systems: flushing to disk, a rename that never
// replaces, an exclusive create, temporary names and folders, and the system's messages.
#include <filesystem>
#include <string>
#include <string_view>

namespace QuillData::platform {

// A failed file call: the system's error number (0: none), whether it failed because the
// name is taken, the system's text for it, and whether the file could not even be opened.
struct FileError {
  int code = 0;
  bool exists = false;
  std::wstring message;
  bool atOpen = false;
  explicit operator bool() const { return code != 0; }
};

// The system's text for one of its error numbers (errno, or GetLastError).
std::wstring SystemMessage(int code);

// Writes what the system holds of a file, or of a folder's entries, to the disk.
FileError FlushToDisk(const std::filesystem::path& path, bool folder);
// Renames `from` to `to` unless `to` exists (FileError::exists then).
FileError RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
// Creates an empty file under a name nothing uses yet (FileError::exists when it is taken).
FileError CreateNewFile(const std::filesystem::path& path);
// Opens the file and reads its first byte (an empty file reads too).
FileError ReadFirstByte(const std::filesystem::path& path);
// Creates and removes a new file in `folder`: whether this process may write there.
FileError ProbeWritable(const std::filesystem::path& folder);
// A new folder under the system's temporary folder, named `prefix` and a unique tail.
FileError MakeTemporaryFolder(const std::wstring& prefix, std::filesystem::path& folder);

// This process's number, for names that several processes must not share.
int ProcessId();

// A path from UTF-8 text on every system: the standard library takes a std::string for the
// ANSI code page on Windows (and for bytes, as they are, on POSIX).
inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

}  // namespace QuillData::platform
