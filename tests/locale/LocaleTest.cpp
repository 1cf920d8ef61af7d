// The user's locale from the environment, and dates: recognition, printing, calendar.
#include <cmath>
#include <stdexcept>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Text.h"
#include "locale/LocaleFixture.h"

namespace QuillData::testing {
namespace {

constexpr double kChristmas2026 = 46380;  // 2026-12-24
constexpr double kHour = 1.0 / 24;

TEST_F(LocaleFixture, TheEnvironmentChoosesTheLocale) {
  setenv("LC_ALL", "", 1);
  setenv("LC_NUMERIC", "de_DE.UTF-8", 1);
  setenv("LANG", "C.UTF-8", 1);
  UserLocale::Reload();
  EXPECT_EQ(UserLocale::Current().Name(), "de_DE.UTF-8") << "LC_NUMERIC before LANG";
  EXPECT_EQ(UserLocale::Current().DecimalSeparator(), L",");
  EXPECT_EQ(UserLocale::Current().ThousandsSeparator(), L".");

  setenv("LC_ALL", "C.UTF-8", 1);
  UserLocale::Reload();
  EXPECT_EQ(UserLocale::Current().Name(), "C.UTF-8") << "LC_ALL first";
  EXPECT_EQ(UserLocale::Current().DecimalSeparator(), L".");

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

TEST_F(LocaleFixture, ReferencesStayValidAcrossReloads) {
  UseLocale("de_DE.UTF-8");
  const UserLocale& before = UserLocale::Current();
  UseLocale("C.UTF-8");
  EXPECT_EQ(before.DecimalSeparator(), L",");
  EXPECT_EQ(UserLocale::Current().DecimalSeparator(), L".");
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
    ExpectError(ErrNo::TypeMismatch, ToUtf8(text), [&] { CDate(text); });
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
  for (double out : {3e6, -7e5, std::nan("")})
    ExpectError(ErrNo::Overflow, "date out of range", [&] { CDate(out); });
  ExpectError(ErrNo::Overflow, "printing a date out of range", [] { CStr(Date{3e6}); });
}

}  // namespace
}  // namespace QuillData::testing
