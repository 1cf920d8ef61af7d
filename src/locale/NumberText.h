#pragma once
// Helpers shared by the locale and the conversions. Number text of the user's locale is
// reduced to one ASCII form, so that the double parse and the exact decimal parse accept
// exactly the same texts.
#include <optional>
#include <string>
#include <string_view>

#include "QuillData/locale/Locale.h"

namespace QuillData::detail {

// The date range of the platform, 0100-01-01 to 9999-12-31 23:59:59: a date value lies
// strictly between these two (-657434.5 is 0100-01-01 12:00, the fraction being the time).
constexpr double kDateLowerBound = -657435.0;
constexpr double kDateUpperBound = 2958466.0;
inline bool InDateRange(double days) {
  return days > kDateLowerBound && days < kDateUpperBound;
}

// mantissa / 10^drop rounded half to even (a decimal losing its last digits).
__int128 DivRoundHalfEven(__int128 mantissa, int drop);

// "[-]digits.digitsE[-]digits" for locale number text (blanks around, a sign, thousands
// separators between groups of three digits in the whole part, the locale's decimal
// separator, an exponent); nullopt when the text is not a number. The whole and fraction
// parts may be empty, but not both.
std::optional<std::string> CanonicalNumber(std::wstring_view text, const UserLocale& locale);

// The double nearest to a canonical number text; nullopt when it is beyond the double range.
std::optional<double> CanonicalToDouble(const std::string& canonical);

// True when `text` is, as a whole, one decimal number written with `point` as its decimal
// point: an optional sign, digits with at most one `point` among them, an optional exponent
// ("12.5", "-0.25", ".5", "1.5E-05"), blanks around it at most (" 2.5"). No thousands
// separators.
bool IsDecimalText(std::wstring_view text, wchar_t point);

// The shortest text, with "." as decimal point, that reads back as exactly `value`
// ("0.1", "0.3333333333333333", "1.7976931348623157e+308"); whole numbers have no point.
std::string ShortestDoubleText(double value);

}  // namespace QuillData::detail
