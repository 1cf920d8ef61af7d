#pragma once
// Readable failure messages for the ADO tests.
#include <gtest/gtest.h>

#include <ostream>

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
