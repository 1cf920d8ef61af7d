#pragma once
// What many tests share: readable variants in failure messages, the expected-error check, a
// scratch folder that goes with its test, a file's bytes, and a child process with a pipe.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/Variant.h"
#include "platform/Files.h"

#ifdef _WIN32
// Windows has no fork, and no setenv: the environment is changed with _putenv_s.
#define QUILLDATA_POSIX_ONLY(why) GTEST_SKIP() << "POSIX only: " << why
// A child process takes the user's locale, whatever its environment says.
#define QUILLDATA_ENVIRONMENT_CHOOSES_LOCALE 0
// A file name with quotes in it (Windows refuses a double quote in one).
#define QUILLDATA_QUOTED_NAME "it's 'here'"
inline int setenv(const char* name, const char* value, int) {
  return _putenv_s(name, value);
}
inline int unsetenv(const char* name) {
  return _putenv_s(name, "");
}
namespace QuillData::test {
// No small file system of a test's own on Windows.
inline bool MountSmallDisk(const std::filesystem::path&, const char*, const char*) {
  return false;
}
inline void UnmountSmallDisk(const std::filesystem::path&) {}
}  // namespace QuillData::test
#else
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
// Skips the rest of a test on a system without POSIX processes and environment, saying why.
#define QUILLDATA_POSIX_ONLY(why) (void)0
#define QUILLDATA_ENVIRONMENT_CHOOSES_LOCALE 1
#define QUILLDATA_QUOTED_NAME "it's \"here\""
#define QUILLDATA_HAS_FORK 1
namespace QuillData::test {
// A tmpfs of `size` on `dir`, handed to the user `owner` when one is named, where the process
// may mount one (root); false where it cannot.
inline bool MountSmallDisk(const std::filesystem::path& dir, const char* size, const char* owner) {
  if (mount("quilldata-test", dir.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) != 0)
    return false;
  const passwd* pw = owner ? getpwnam(owner) : nullptr;
  if (!owner || (pw && chown(dir.c_str(), pw->pw_uid, pw->pw_gid) == 0)) return true;
  umount2(dir.c_str(), MNT_DETACH);
  return false;
}
inline void UnmountSmallDisk(const std::filesystem::path& dir) {
  umount2(dir.c_str(), MNT_DETACH);
}
}  // namespace QuillData::test
#endif

namespace QuillData {

inline void PrintTo(const Variant& v, std::ostream* os) {
  *os << ToUtf8(TypeName(v.Type()));
  if (const auto* s = v.Get<std::wstring>()) *os << " \"" << ToUtf8(*s) << "\"";
  if (const auto* i = v.Get<int32_t>()) *os << " " << *i;
  if (const auto* i = v.Get<int16_t>()) *os << " " << *i;
  if (const auto* d = v.Get<double>()) *os << " " << *d;
  if (const auto* b = v.Get<bool>()) *os << (*b ? " True" : " False");
  if (const auto* m = v.Get<Decimal>()) *os << " " << m->ToString();
  if (const auto* d = v.Get<Date>()) *os << " " << d->value;
}

namespace test {

// Why a test that runs part of itself in a forked child (QUILLDATA_HAS_FORK) is skipped.
inline constexpr const char* kNeedsFork =
    "needs fork(): part of the test runs in a child process that is a copy of this one";
inline constexpr const char* kQuotedName = QUILLDATA_QUOTED_NAME;

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ostringstream out;
  out << std::ifstream(path, std::ios::binary).rdbuf();
  return out.str();
}

// Text as one shell word.
inline std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// A new empty folder under the temporary folder, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir() {
    if (auto error = platform::MakeTemporaryFolder(L"quilldata-", path_))
      ADD_FAILURE() << "no temporary folder: " << ToUtf8(error.message);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A small file system of `size` ("2m") on a folder of its own, handed to the user `owner` when
// one is named: a disk that fills up, where the process may mount one (Mounted() says).
class SmallDisk {
 public:
  explicit SmallDisk(const char* size, const char* owner = nullptr)
      : mounted_(MountSmallDisk(dir_.path(), size, owner)) {}
  ~SmallDisk() {
    if (mounted_) UnmountSmallDisk(dir_.path());
  }
  bool Mounted() const { return mounted_; }
  const std::filesystem::path& path() const { return dir_.path(); }

 private:
  ScratchDir dir_;
  bool mounted_;
};

#if QUILLDATA_HAS_FORK
// A child process that runs `body` and exits with the status it returns (99 if it throws).
// The body writes what it reports to the descriptor it is given; the parent reads it from
// Out(). No connection of the parent's may cross the fork. A child still running when its
// Child goes is killed.
class Child {
 public:
  explicit Child(const std::function<int(int report)>& body) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      close(fds[0]);
      int status = 99;
      try {
        status = body(fds[1]);
      } catch (...) {
      }
      _exit(status);
    }
    close(fds[1]);
    out_ = fds[0];
  }
  ~Child() {
    if (pid_ > 0) {
      Kill();
      Wait();
    }
    close(out_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  int Out() const { return out_; }
  // Everything the child writes until its end of the pipe closes.
  std::string ReadAll() {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(out_, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    return text;
  }
  void Kill() { kill(pid_, SIGKILL); }
  // The child's status as waitpid reports it.
  int Wait() {
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) ADD_FAILURE() << "waitpid " << pid_;
    pid_ = -1;
    return status;
  }

  // Writes all of `size` bytes (a report's write is small enough to go at once).
  static bool Write(int fd, const void* data, size_t size) {
    return write(fd, data, size) == static_cast<ssize_t>(size);
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

#endif

}  // namespace test
}  // namespace QuillData

// Runs stmt, expecting a QuillError with the given number; yields the error for more checks.
#define EXPECT_QUILL_ERROR(stmt, number)                                       \
  [&]() -> ::QuillData::QuillError {                                           \
    try {                                                                      \
      stmt;                                                                    \
    } catch (const ::QuillData::QuillError& e) {                               \
      EXPECT_EQ(e.Number(), (number)) << ::QuillData::ToUtf8(e.Description()); \
      return e;                                                                \
    }                                                                          \
    ADD_FAILURE() << "expected error " << (number) << " from: " #stmt;         \
    return ::QuillData::QuillError(0, L"", L"");                               \
  }()
