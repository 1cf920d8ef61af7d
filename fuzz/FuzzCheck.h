#pragma once
// Shared by the fuzz targets and by the regression test that replays saved inputs.
//
// QD_FUZZ_CHECK(cond, what) states a property of the code under test. Under libFuzzer a
// failed property prints `what` and aborts, so the input is saved as a crash. The regression
// test installs a sink instead: the failure goes to GoogleTest and the input stops there.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace QuillData::fuzz {

// One entry point per target: checks one input.
void CheckSqlText(const uint8_t* data, size_t size);
void CheckCoerce(const uint8_t* data, size_t size);
void CheckText(const uint8_t* data, size_t size);
void CheckCli(const uint8_t* data, size_t size);

// Thrown (with a sink installed) to stop checking an input. Deliberately not a
// std::exception: the targets' handlers for the library's exceptions never catch it.
struct CheckFailed {};

using FailureSink = void (*)(const char* file, int line, const std::string& what);
inline FailureSink& Sink() {
  static FailureSink sink = nullptr;
  return sink;
}

[[noreturn]] inline void Fail(const char* file, int line, const std::string& what) {
  if (Sink() != nullptr) {
    Sink()(file, line, what);
    throw CheckFailed{};
  }
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what.c_str());
  std::abort();
}

// Reads typed values from the front of an input; past the end everything reads as zero.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return size_ == 0; }
  size_t Size() const { return size_; }
  uint8_t Byte() { return Raw<uint8_t>(); }
  template <class T>
  T Raw() {
    T value{};
    const size_t n = size_ < sizeof(T) ? size_ : sizeof(T);
    if (n > 0) std::memcpy(&value, data_, n);
    data_ += n;
    size_ -= n;
    return value;
  }
  std::string_view Rest() {
    std::string_view rest(reinterpret_cast<const char*>(data_), size_);
    data_ += size_;
    size_ = 0;
    return rest;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

// Text of any kind made printable for a failure message: ASCII as is, the rest as \x{..}.
template <class S>
std::string Show(const S& text) {
  std::string out = "\"";
  for (auto c : text) {
    const auto u = static_cast<uint32_t>(static_cast<std::make_unsigned_t<decltype(c)>>(c));
    if (u >= 0x20 && u < 0x7F && u != '\\' && u != '"') {
      out.push_back(static_cast<char>(u));
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(u));
      out += buf;
    }
  }
  return out + "\"";
}

}  // namespace QuillData::fuzz

#define QD_FUZZ_CHECK(cond, what)                                                        \
  do {                                                                                   \
    if (!(cond))                                                                         \
      ::QuillData::fuzz::Fail(__FILE__, __LINE__, std::string(#cond) + " -- " + (what)); \
  } while (0)

// The libFuzzer entry point for a target file; left out when the file is compiled into the
// regression test, which calls the Check function itself.
#ifdef QUILLDATA_FUZZ_NO_ENTRY
#define QD_FUZZ_ENTRY(check)
#else
#define QD_FUZZ_ENTRY(check)                                                \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
    ::QuillData::fuzz::check(data, size);                                   \
    return 0;                                                               \
  }
#endif
