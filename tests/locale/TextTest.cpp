// UTF-8 and UTF-16 at the library's edges: round trips, and damaged input that must not throw.
#include <gtest/gtest.h>

#include <string>

#include "QuillData/contract/Text.h"

namespace QuillData {
namespace {

const std::wstring kReplacement(1, L'\uFFFD');

TEST(Utf, InvalidUtf8BecomesReplacementCharacters) {
  const struct {
    std::string bytes;
    std::wstring expected;
  } cases[] = {
      {"\xFF", kReplacement},
      {"a\xC3", L"a" + kReplacement},  // cut short at the end
      {"a\x80"
       "b",
       L"a" + kReplacement + L"b"},        // stray continuation byte
      {"\xC0\xAF", kReplacement},          // overlong "/"
      {"\xED\xA0\x80", kReplacement},      // an encoded surrogate
      {"\xF4\x90\x80\x80", kReplacement},  // beyond U+10FFFF
      {"\xC3\xA4\xFF\xC3\xA4", L"\u00e4" + kReplacement + L"\u00e4"},
  };
  for (const auto& c : cases) EXPECT_EQ(FromUtf8(c.bytes), c.expected);
}

TEST(Utf, LoneSurrogatesInUtf16BecomeReplacementCharacters) {
  const struct {
    std::u16string units;
    std::wstring expected;
  } cases[] = {
      {{u'a', static_cast<char16_t>(0xD83D)}, L"a" + kReplacement},
      {{static_cast<char16_t>(0xDE00), u'b'}, kReplacement + L"b"},
      {{static_cast<char16_t>(0xDE00), static_cast<char16_t>(0xD83D)}, kReplacement + kReplacement},
      {{static_cast<char16_t>(0xD83D), static_cast<char16_t>(0xD83D),
        static_cast<char16_t>(0xDE00)},
       kReplacement + L"\U0001F600"},
  };
  for (const auto& c : cases) EXPECT_EQ(FromUtf16(c.units), c.expected);
}

}  // namespace
}  // namespace QuillData
