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

TEST_F(CLocale, WrongKindsFailWithTheirErrors) {
  const Variant nothingNumeric[] = {L"abc", L"", L"  ", L"1 2", L"1e", L"--1", L"1,5", L"0x10"};
  for (const auto& v : nothingNumeric) {
    ExpectError(ErrNo::TypeMismatch, ToUtf8(*v.Get<std::wstring>()), [&] { CDbl(v); });
    ExpectError(ErrNo::TypeMismatch, "CDec", [&] { CDec(v); });
  }
  ExpectError(ErrNo::Overflow, "1e400", [] { CDbl(L"1e400"); });
  EXPECT_EQ(CDbl(L"1e-400"), 0.0);

  // Null reaches no scalar type; objects and arrays have no scalar value.
  const std::pair<const char*, void (*)(const Variant&)> conversions[] = {
      {"CInt", [](const Variant& v) { CInt(v); }}, {"CLng", [](const Variant& v) { CLng(v); }},
      {"CDbl", [](const Variant& v) { CDbl(v); }}, {"CBool", [](const Variant& v) { CBool(v); }},
      {"CStr", [](const Variant& v) { CStr(v); }}, {"CDate", [](const Variant& v) { CDate(v); }},
      {"CDec", [](const Variant& v) { CDec(v); }}};
  const Variant object = std::make_shared<Object>();
  const Variant array = Variant::Array{Variant(1), Variant(2)};
  const Variant bytes = Bytes{1, 2};
  for (const auto& c : conversions) {
    ExpectError(ErrNo::InvalidUseOfNull, c.first, [&] { c.second(Variant::Null()); });
    for (const Variant* v : {&object, &array, &bytes})
      ExpectError(ErrNo::TypeMismatch, c.first, [&] { c.second(*v); });
  }
  EXPECT_TRUE(ChangeType(Variant::Null(), VarType::Null).IsNull());
  ExpectError(ErrNo::TypeMismatch, "to Object", [] { ChangeType(Variant(5), VarType::Object); });
}

TEST_F(CLocale, EmptyIsZeroOfEveryType) {
  const Variant empty;
  EXPECT_EQ(CLng(empty), 0);
  EXPECT_EQ(CDbl(empty), 0.0);
  EXPECT_EQ(CStr(empty), L"");
  EXPECT_FALSE(CBool(empty));
  EXPECT_EQ(CDate(empty), Date{0});
  EXPECT_EQ(CDec(empty), Decimal{});
  EXPECT_TRUE(ChangeType(empty, VarType::Object).IsObject());
}

TEST_F(CLocale, BooleansAreMinusOneAndZero) {
  EXPECT_EQ(CStr(true), L"True");
  EXPECT_EQ(CStr(false), L"False");
  EXPECT_EQ(CDbl(true), -1.0);
  EXPECT_EQ(CDec(true), (Decimal{-1, 0}));
  EXPECT_EQ(CDate(true), Date{-1});
  struct {
    Variant in;
    bool expected;
  } const cases[] = {{L"True", true},    {L"FALSE", false}, {L" true ", true},
                     {L"fAlSe", false},  {L"0", false},     {L"-1", true},
                     {L"0.0", false},    {L"2.5", true},    {int32_t{0}, false},
                     {0.1, true},        {Date{0}, false},  {Decimal{1, 28}, true},
                     {int16_t{0}, false}};
  for (const auto& c : cases) EXPECT_EQ(CBool(c.in), c.expected) << CStr(c.in);
  ExpectError(ErrNo::TypeMismatch, "yes", [] { CBool(L"yes"); });
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

TEST_F(CLocale, ChangeTypeReachesEveryScalarType) {
  const Variant value = 2.5;
  EXPECT_EQ(ChangeType(value, VarType::Long), Variant(int32_t{2}));
  EXPECT_EQ(ChangeType(value, VarType::Integer), Variant(int16_t{2}));
  EXPECT_EQ(ChangeType(value, VarType::String), Variant(L"2.5"));
  EXPECT_EQ(ChangeType(value, VarType::Boolean), Variant(true));
  EXPECT_EQ(ChangeType(value, VarType::Date), Variant(Date{2.5}));
  EXPECT_EQ(ChangeType(value, VarType::Decimal), Variant(Decimal{25, 1}));
  EXPECT_EQ(ChangeType(value, VarType::Double), value);
  EXPECT_TRUE(ChangeType(value, VarType::Empty).IsEmpty());
  EXPECT_EQ(ChangeType(L"42", VarType::Long).Type(), VarType::Long);
  EXPECT_EQ(ChangeType(Decimal{123, 1}, VarType::Double), Variant(12.3));
}

}  // namespace
}  // namespace QuillData::testing
