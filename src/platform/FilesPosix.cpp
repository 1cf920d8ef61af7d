#include "platform/Files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "QuillData/contract/Text.h"

namespace QuillData::platform {

namespace {

FileError Failure(int code) {
  return {code, code == EEXIST, SystemMessage(code)};
}

}  // namespace

std::wstring SystemMessage(int code) {
  return FromUtf8(std::strerror(code));
}

FileError FlushToDisk(const std::filesystem::path& path, bool folder) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
  if (fd < 0) {
    FileError error = Failure(errno);
    error.atOpen = true;
    return error;
  }
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  return rc == 0 ? FileError{} : Failure(error);
}

FileError RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  int error = errno;
  if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
    // A file system without the no-replace rename: a hard link fails on an existing name too.
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
      return {};
    }
    error = errno;
  }
  return Failure(error);
}

FileError CreateNewFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return Failure(errno);
  ::close(fd);
  return {};
}

FileError ReadFirstByte(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  char byte = 0;
  const bool readable = fd >= 0 && ::read(fd, &byte, 1) >= 0;
  const int error = errno;
  if (fd >= 0) ::close(fd);
  return readable ? FileError{} : Failure(error);
}

FileError ProbeWritable(const std::filesystem::path& folder) {
  std::string probe = (folder / ".quilldata-probe-XXXXXX").string();
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return Failure(errno);
  ::close(fd);
  ::unlink(probe.c_str());
  return {};
}

FileError MakeTemporaryFolder(const std::wstring& prefix, std::filesystem::path& folder) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / (ToUtf8(prefix) + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return Failure(errno);
  folder = pattern;
  return {};
}

int ProcessId() {
  return static_cast<int>(::getpid());
}

}  // namespace QuillData::platform
