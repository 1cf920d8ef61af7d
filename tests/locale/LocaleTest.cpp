// The variant conversion rules under a comma locale and under the C locale; the user's locale
// from the environment; dates (recognition, printing, calendar); and UTF-8 and UTF-16 at the
// library's edges.
#include <clocale>
#include <cmath>
#include <limits>
#include <locale>
#include <stdexcept>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Text.h"
#include "locale/LocaleFixture.h"
#include "locale/NumberText.h"
#include "support/TestSupport.h"

namespace QuillData::testing {
namespace {

using Bytes = Variant::Bytes;

struct WholeCase {
  Variant in;
  int32_t expected;
};

TEST_F(CLocale, WholeNumbersRoundHalfToEven) {
  const WholeCase cases[] = {
      {2.5, 2},
      {-2.5, -2},
      {-3.5, -4},
      {2.4999999, 2},
      {-0.5, 0},
      {2147483647.4, 2147483647},
      {-2147483648.5, INT32_MIN},
      {L" 42 ", 42},
      {L"1e3", 1000},
      {L"-7.5", -8},
      {true, -1},
      {false, 0},
      {Variant(), 0},
      {Date{1.5}, 2},
      {Decimal{25, 1}, 2},
      {Decimal{35, 1}, 4},
      {Decimal{-25, 1}, -2},
      {int16_t{-7}, -7},
  };
  for (const auto& c : cases) EXPECT_EQ(CLng(c.in), c.expected) << CStr(c.in);
  EXPECT_EQ(RoundToLong(-2.5), -2);
  EXPECT_EQ(RoundToLong(4.5), 4);
}

TEST_F(CLocale, WholeNumbersOutsideTheirRangeOverflow) {
  const Variant longOverflows[] = {2147483647.5,
                                   -2147483649.0,
                                   L"3000000000",
                                   Decimal{static_cast<__int128>(1) << 40, 0},
                                   std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::infinity()};
  for (const auto& v : longOverflows) EXPECT_QUILL_ERROR(CLng(v), ErrNo::Overflow);

  const Variant intOverflows[] = {32767.5, -32768.6, int32_t{40000}, L"32768", Decimal{-327690, 1}};
  for (const auto& v : intOverflows) EXPECT_QUILL_ERROR(CInt(v), ErrNo::Overflow);
  EXPECT_EQ(CInt(32767.4), 32767);
  EXPECT_EQ(CInt(-32768.5), -32768);
  EXPECT_EQ(CInt(int32_t{-32768}), -32768);
}

TEST_F(CLocale, DoublesPrintWithFifteenDigits) {
  const struct {
    double in;
    const wchar_t* expected;
  } cases[] = {
      {1.5, L"1.5"},
      {0.1 + 0.2, L"0.3"},
      {1e20, L"1E+20"},
      {1.5e-7, L"1.5E-07"},
      {100, L"100"},
      {-0.0, L"0"},
      {1e15, L"1E+15"},
      {123456789012345.0, L"123456789012345"},
      {1.0 / 3, L"0.333333333333333"},
      {0.0001, L"0.0001"},
      {1e-5, L"1E-05"},
      {1e100, L"1E+100"},
      {2.0 / 3 * 1e-10, L"6.66666666666667E-11"},
  };
  for (const auto& c : cases) EXPECT_EQ(CStr(c.in), c.expected) << c.in;
  EXPECT_EQ(CStr(int16_t{-5}), L"-5");
  EXPECT_EQ(CStr(int32_t{INT32_MIN}), L"-2147483648");
}

TEST_F(GermanLocale, TextAndNumbersUseTheCommaLocale) {
  const struct {
    const wchar_t* in;
    double expected;
  } parsed[] = {{L"1,5", 1.5},
                {L" 1.234,5 ", 1234.5},
                {L"-1.234.567", -1234567},
                {L"1,5E-07", 1.5e-7},
                {L"+2", 2},
                {L",5", 0.5},
                {L"1e3", 1000},
                {L"12.345.678,5", 12345678.5}};
  for (const auto& c : parsed) EXPECT_EQ(CDbl(c.in), c.expected) << ToUtf8(c.in);
  // "." groups thousands only between groups of three digits: "2.5" is no number, never 25.
  for (const wchar_t* bad : {L"1,2,3", L".5", L"1,5.0", L"1 ,5", L"1.5", L" 2.5", L"2.5 ",
                             L"1.23.456", L"1234.567", L"1.2345", L"1.5E3"}) {
    SCOPED_TRACE(ToUtf8(bad));
    EXPECT_QUILL_ERROR(CDbl(bad), ErrNo::TypeMismatch);
  }
  EXPECT_QUILL_ERROR(CLng(L"2.5"), ErrNo::TypeMismatch);
  // Number text with "." reads as its value where the backends translate it: blanks around
  // a number do not make it another text.
  for (const wchar_t* decimal : {L"2.5", L" 2.5", L"2.5 ", L"\t-0.25E3 "})
    EXPECT_TRUE(detail::IsDecimalText(decimal, L'.')) << ToUtf8(decimal);
  for (const wchar_t* other : {L"2 .5", L"Hinge 3.5", L"1.234.5", L" ", L"."})
    EXPECT_FALSE(detail::IsDecimalText(other, L'.')) << ToUtf8(other);

  EXPECT_EQ(CStr(1.5), L"1,5");
  EXPECT_EQ(CStr(-1234.5), L"-1234,5");
  EXPECT_EQ(CStr(1.5e-7), L"1,5E-07");
  EXPECT_EQ(CStr(Decimal{-1250, 2}), L"-12,5");
  EXPECT_EQ(CLng(L"2,5"), 2);
  EXPECT_EQ(CInt(L"3,5"), 4);
  EXPECT_TRUE(CBool(L"0,5"));
  EXPECT_EQ(CDec(L"12,345"), (Decimal{12345, 3}));
  EXPECT_EQ(CDbl(CStr(0.1 + 0.2)), 0.3);
}

TEST_F(GermanLocale, TheGlobalCLocaleOfTheHostIsIgnored) {
  // A host that switched the C and C++ global locales must not change what we parse or print.
  setlocale(LC_ALL, "C");
  std::locale::global(std::locale::classic());
  EXPECT_EQ(CStr(2.25), L"2,25");
  EXPECT_EQ(CDbl(L"2,25"), 2.25);

  UseLocale("C.UTF-8");
  ASSERT_NE(setlocale(LC_ALL, kGermanCLocale), nullptr);
  EXPECT_EQ(CStr(2.25), L"2.25");
  EXPECT_EQ(CDbl(L"2.25"), 2.25);
  // A comma is no decimal separator here: C refuses it, and so does en-US (Windows), where it
  // groups thousands only before three digits.
  EXPECT_QUILL_ERROR(CDbl(L"2,25"), ErrNo::TypeMismatch);
  EXPECT_EQ((Decimal{225, 2}).ToDouble(), 2.25);
  EXPECT_EQ(Decimal::FromDouble(2.25).ToString(), "2.25");
  setlocale(LC_ALL, "C");
}

TEST_F(CLocale, DecimalsFromDoublesKeepFifteenDigits) {
  const struct {
    double in;
    Decimal expected;
    const char* text;
  } cases[] = {
      {12.345, {12345, 3}, "12.345"},
      {0.1 + 0.2, {3, 1}, "0.3"},
      {-0.0, {0, 0}, "0"},
      {1e20, {static_cast<__int128>(100000000000) * 1000000000, 0}, "100000000000000000000"},
      {-1.0 / 3, {-333333333333333, 15}, "-0.333333333333333"},
      {1e-30, {0, 0}, "0"},
      {1.5e-28, {2, 28}, "0.0000000000000000000000000002"},
  };
  for (const auto& c : cases) {
    const Decimal d = Decimal::FromDouble(c.in);
    EXPECT_EQ(d, c.expected) << c.in;
    EXPECT_EQ(d.ToString(), c.text);
  }
  for (double bad : {std::nan(""), 1e29, -HUGE_VAL})
    EXPECT_QUILL_ERROR(Decimal::FromDouble(bad), ErrNo::Overflow);
  // The shortest digits that read back as the same double.
  EXPECT_EQ(Decimal::FromShortestDouble(0.1 + 0.2).ToString(), "0.30000000000000004");
  EXPECT_EQ(Decimal::FromShortestDouble(-1.0 / 3).ToString(), "-0.3333333333333333");
  EXPECT_EQ(Decimal::FromShortestDouble(12.345).ToString(), "12.345");
  EXPECT_EQ(Decimal::FromShortestDouble(1e20).ToString(), "100000000000000000000");
  EXPECT_EQ(Decimal::FromShortestDouble(1.0 / 3).ToDouble(), 1.0 / 3);
  EXPECT_EQ((Decimal{-1250, 2}).ToString(), "-12.50");
  EXPECT_EQ((Decimal{-5, 3}).ToString(), "-0.005");
  EXPECT_EQ((Decimal{12345, 3}).ToDouble(), 12.345);
}

TEST_F(CLocale, DecimalsFromTextAreExact) {
  const struct {
    const wchar_t* in;
    const char* expected;
  } cases[] = {
      {L"79228162514264337593543950335", "79228162514264337593543950335"},
      {L"-1234567890.123456789012345678", "-1234567890.123456789012345678"},
      {L"0.12345678901234567890123456785", "0.1234567890123456789012345678"},  // half to even
      {L"0.12345678901234567890123456775", "0.1234567890123456789012345678"},
      {L"1e-30", "0"},
      {L"1.5E3", "1500"},
      {L"7922816251426433759354395033.46", "7922816251426433759354395033.5"},
      {L"7922816251426433759354395033.56", "7922816251426433759354395034"},  // .6 exceeds 96 bits
      {L"0.00", "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(CDec(c.in).ToString(), c.expected) << ToUtf8(c.in);
  for (const wchar_t* big : {L"79228162514264337593543950336", L"1e29", L"1e999999999999"})
    EXPECT_QUILL_ERROR(CDec(big), ErrNo::Overflow);
  EXPECT_EQ(CLng(CDec(L"2147483646.5")), 2147483646);
  EXPECT_QUILL_ERROR(CLng(CDec(L"2147483647.5")), ErrNo::Overflow);
}

constexpr double kChristmas2026 = 46380;  // 2026-12-24
constexpr double kHour = 1.0 / 24;

TEST_F(LocaleFixture, TheEnvironmentChoosesTheLocale) {
  QUILLDATA_POSIX_ONLY("Windows takes the user's locale, not the environment's");
  setenv("LC_ALL", "", 1);
  setenv("LC_NUMERIC", "de_DE.UTF-8", 1);
  setenv("LANG", "C.UTF-8", 1);
  UserLocale::Reload();
  EXPECT_EQ(UserLocale::Current().Name(), "de_DE.UTF-8") << "LC_NUMERIC before LANG";
  EXPECT_EQ(UserLocale::Current().DecimalSeparator(), L",");
  EXPECT_EQ(UserLocale::Current().ThousandsSeparator(), L".");
  const UserLocale& german = UserLocale::Current();

  setenv("LC_ALL", "C.UTF-8", 1);
  UserLocale::Reload();
  EXPECT_EQ(UserLocale::Current().Name(), "C.UTF-8") << "LC_ALL first";
  EXPECT_EQ(UserLocale::Current().DecimalSeparator(), L".");
  EXPECT_EQ(german.DecimalSeparator(), L",") << "a reference stays valid across a reload";

  unsetenv("LC_ALL");
  unsetenv("LC_NUMERIC");
  setenv("LANG", "de_DE.UTF-8", 1);
  UserLocale::Reload();
  EXPECT_EQ(UserLocale::Current().Name(), "de_DE.UTF-8") << "LANG last";

  setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
  UserLocale::Reload();
  EXPECT_EQ(UserLocale::Current().Name(), "C") << "an unknown locale falls back to C";
  EXPECT_EQ(UserLocale::Current().FormatDouble(0.5), L"0.5");
}

TEST(Calendar, IsoTextReadsBackToTheSameDay) {
  EXPECT_EQ(IsoText(0), L"1899-12-30");
  EXPECT_EQ(IsoText(2.5), L"1900-01-01 12:00:00");
  EXPECT_EQ(IsoText(-1.25), L"1899-12-29 06:00:00");
  EXPECT_EQ(IsoText(-0.25), L"1899-12-30 06:00:00");
  EXPECT_EQ(IsoText(kChristmas2026 + 13 * kHour + 45.5 / 1440), L"2026-12-24 13:45:30");
  EXPECT_EQ(IsoText(kChristmas2026 + 0.99999999), L"2026-12-25") << "rounds to the second";
  for (double day = -657434; day <= 2958465; day += 997.25) {
    const auto back = UserLocale::Current().ParseDate(IsoText(day));
    ASSERT_TRUE(back.has_value()) << ToUtf8(IsoText(day));
    ASSERT_DOUBLE_EQ(*back, day) << ToUtf8(IsoText(day));
  }
  EXPECT_THROW(IsoText(2958466), std::out_of_range);  // year 10000
  EXPECT_THROW(IsoText(-657435), std::out_of_range);  // year 99
}

struct DateCase {
  const wchar_t* text;
  double expected;
};

void ExpectDates(const DateCase* first, const DateCase* last) {
  for (; first != last; ++first) {
    const auto days = UserLocale::Current().ParseDate(first->text);
    ASSERT_TRUE(days.has_value()) << ToUtf8(first->text);
    EXPECT_NEAR(*days, first->expected, 1e-9) << ToUtf8(first->text);
    EXPECT_EQ(CDate(first->text).value, *days);
  }
}

void ExpectNoDates(std::initializer_list<const wchar_t*> texts) {
  for (const wchar_t* text : texts) {
    EXPECT_FALSE(UserLocale::Current().ParseDate(text)) << ToUtf8(text);
    EXPECT_QUILL_ERROR(CDate(text), ErrNo::TypeMismatch);
  }
}

TEST_F(GermanLocale, DatesInIsoAndInTheGermanFormat) {
  const DateCase cases[] = {
      {L"24.12.2026", kChristmas2026},
      {L"24.12.26", kChristmas2026},
      {L"1.2.2026", 46054},
      {L" 24.12.2026 13:45 ", kChristmas2026 + 13 * kHour + 45.0 / 1440},
      {L"24.12.2026 13:45:30", kChristmas2026 + 13 * kHour + 45.5 / 1440},
      {L"2026-12-24", kChristmas2026},
      {L"2026-12-24 06:00", kChristmas2026 + 0.25},
      {L"2026-12-24T06:00:00", kChristmas2026 + 0.25},
      {L"12:00", 0.5},
  };
  ExpectDates(std::begin(cases), std::end(cases));
  ExpectNoDates({L"2026-02-30", L"30.02.2026", L"12/24/2026", L"24.12.2026 25:00", L"2026-12-24T",
                 L"24.12.2026x", L"1,5", L"", L"24.12", L"24.12.202", L"2026-12-24 6", L"abc"});

  EXPECT_EQ(CStr(Date{kChristmas2026}), L"24.12.2026");
  EXPECT_EQ(CStr(Date{kChristmas2026 + 13 * kHour + 45.5 / 1440}), L"24.12.2026 13:45:30");
  EXPECT_EQ(CStr(Date{0.5}), L"12:00:00");
  EXPECT_EQ(CStr(Date{0}), L"00:00:00");
  EXPECT_EQ(CDate(CStr(Date{kChristmas2026 + 0.75})).value, kChristmas2026 + 0.75);
}

TEST_F(CLocale, DatesAndNumbersConvertByValue) {
  EXPECT_EQ(CDate(int32_t{45000}), Date{45000});
  EXPECT_EQ(CDbl(Date{kChristmas2026 + 0.25}), kChristmas2026 + 0.25);
  EXPECT_EQ(CLng(Date{kChristmas2026 + 0.5}), 46380) << "half to even";
  EXPECT_EQ(CDec(Date{0.25}), (Decimal{25, 2}));
  for (double out : {3e6, -7e5, std::nan("")}) EXPECT_QUILL_ERROR(CDate(out), ErrNo::Overflow);
  EXPECT_QUILL_ERROR(CStr(Date{3e6}), ErrNo::Overflow);
}

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

// What would become U+FFFD on the way into a store is refused there instead, so that two
// different texts never become one.
TEST(Utf, TextThatNoStoreHoldsAsItIsIsRefused) {
  const std::wstring refused[] = {std::wstring(L"a\0b", 3),
                                  std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x",
                                  L"x" + std::wstring(1, static_cast<wchar_t>(0xDC00)),
                                  std::wstring(1, static_cast<wchar_t>(0x110000))};
  for (const std::wstring& text : refused) {
    auto e =
        EXPECT_QUILL_ERROR(RequireValidText(text, L"strMachName"), ErrNo::InvalidProcedureCall);
    EXPECT_EQ(e.Kind(), ErrorKind::RefusedArgument);
    EXPECT_TRUE(e.Description().starts_with(L"strMachName holds")) << ToUtf8(e.Description());
  }
  EXPECT_NE(EXPECT_QUILL_ERROR(RequireValidText(L"ab" + refused[1]), 5)
                .Description()
                .find(L"U+D800 at character 3"),
            std::wstring::npos);
  RequireValidText(L"Ma\u00dfe \U0001F600");
  RequireValidText(std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)});
}

}  // namespace
}  // namespace QuillData::testing
