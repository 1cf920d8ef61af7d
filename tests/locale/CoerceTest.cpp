// The variant conversion rules, under a comma locale and under the C locale.
#include <clocale>
#include <cmath>
#include <limits>
#include <locale>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Text.h"
#include "locale/LocaleFixture.h"

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
      {3.5, 4},
      {-2.5, -2},
      {-3.5, -4},
      {0.5, 0},
      {2.4999999, 2},
      {-0.5, 0},
      {2147483647.4, 2147483647},
      {-2147483648.5, INT32_MIN},
      {L"2.5", 2},
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
  for (const auto& v : longOverflows) ExpectError(ErrNo::Overflow, "CLng", [&] { CLng(v); });

  const Variant intOverflows[] = {32767.5, -32768.6, int32_t{40000}, L"32768", Decimal{-327690, 1}};
  for (const auto& v : intOverflows) ExpectError(ErrNo::Overflow, "CInt", [&] { CInt(v); });
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
      {-2.5, L"-2.5"},
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
                {L"1.5", 15}};  // "." groups thousands here
  for (const auto& c : parsed) EXPECT_EQ(CDbl(c.in), c.expected) << ToUtf8(c.in);
  for (const wchar_t* bad : {L"1,2,3", L".5", L"1,5.0", L"1 ,5"})
    ExpectError(ErrNo::TypeMismatch, ToUtf8(bad), [&] { CDbl(bad); });

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
  ASSERT_NE(setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  EXPECT_EQ(CStr(2.25), L"2.25");
  EXPECT_EQ(CDbl(L"2.25"), 2.25);
  ExpectError(ErrNo::TypeMismatch, "2,25 under C", [] { CDbl(L"2,25"); });
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
    ExpectError(ErrNo::Overflow, "FromDouble", [&] { Decimal::FromDouble(bad); });
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
    ExpectError(ErrNo::Overflow, ToUtf8(big), [&] { CDec(big); });
  EXPECT_EQ(CLng(CDec(L"2147483646.5")), 2147483646);
  ExpectError(ErrNo::Overflow, "rounds to 2147483648", [] { CLng(CDec(L"2147483647.5")); });
}

}  // namespace
}  // namespace QuillData::testing
