#pragma once
// What many tests share: readable variants in failure messages, the expected-error check, a
// scratch folder that goes with its test, and a file's bytes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/Variant.h"

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
    std::string pattern = (std::filesystem::temp_directory_path() / "quilldata-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp " << pattern;
    path_ = pattern;
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
