// UTF-8 and UTF-16 at the library's edges: round trips, and damaged input that must not throw.
#include <gtest/gtest.h>

#include <string>

#include "QuillData/contract/Text.h"

namespace QuillData {
namespace {

const std::wstring kReplacement(1, L'\uFFFD');

TEST(Utf, RoundTripsKeepEveryCharacter) {
  const struct {
    std::wstring text;
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {L"", "", u""},
      {L"abc", "abc", u"abc"},
      {L"\u00e4", "\xC3\xA4", u"\u00e4"},
      {L"\u00f8re", "\xC3\xB8re", u"\u00f8re"},
      {L"\u65e5\u672c", "\xE6\x97\xA5\xE6\x9C\xAC", u"\u65e5\u672c"},
      {L"a\U0001F600b",
       "a\xF0\x9F\x98\x80"
       "b",
       u"a\xD83D\xDE00"
       u"b"},
      {std::wstring(L"x\0y", 3), std::string("x\0y", 3), std::u16string(u"x\0y", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(c.text), c.utf8);
    EXPECT_EQ(FromUtf8(c.utf8), c.text);
    EXPECT_EQ(ToUtf16(c.text), c.utf16);
    EXPECT_EQ(FromUtf16(c.utf16), c.text);
  }
}

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

TEST(Utf, SurrogatesInWideTextDoNotBreakConversion) {
  const std::wstring pair = {L'a', static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  EXPECT_EQ(ToUtf8(pair), "a\xF0\x9F\x98\x80");

  const struct {
    std::wstring text;
    std::wstring cleaned;
  } cases[] = {
      {{L'a', static_cast<wchar_t>(0xD800), L'b'}, L"a" + kReplacement + L"b"},
      {{static_cast<wchar_t>(0xDC00)}, kReplacement},
      {{static_cast<wchar_t>(0xDE00), static_cast<wchar_t>(0xD83D)}, kReplacement + kReplacement},
      {{static_cast<wchar_t>(0x110000)}, kReplacement},
      {{static_cast<wchar_t>(-1)}, kReplacement},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FromUtf8(ToUtf8(c.text)), c.cleaned);
    EXPECT_EQ(FromUtf16(ToUtf16(c.text)), c.cleaned);
  }
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
