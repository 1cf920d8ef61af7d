#pragma once
// The user's locale as the system keeps it (POSIX: the process environment, LC_ALL, LC_NUMERIC
// and LANG; Windows: the user's default locale): never the global C locale a host may have set.
#include <optional>
#include <string>
#include <string_view>

#include "QuillData/Export.h"

QUILLDATA_API_BEGIN

namespace QuillData {

class QUILLDATA_API UserLocale {
 public:
  // The locale of this process's environment, read once; Reload() reads it again.
  static const UserLocale& Current();
  static void Reload();

  const std::wstring& DecimalSeparator() const { return decimal_; }
  const std::wstring& ThousandsSeparator() const { return thousands_; }
  const std::string& Name() const { return name_; }

  // A double as text: at most 15 significant digits, the locale's decimal separator, no
  // thousands separators; whole numbers without a decimal part; exponent form ("1E+20")
  // where the platform uses it.
  std::wstring FormatDouble(double value) const;
  // Text to double: blanks around, an optional sign, digits with optional thousands
  // separators (only between groups of three digits: "2.5" under a locale that groups with
  // "." is no number), the locale's decimal separator, an optional exponent. Nothing else.
  std::optional<double> ParseDouble(std::wstring_view text) const;
  // Dates: ISO text (YYYY-MM-DD, YYYY-MM-DD HH:MM[:SS], YYYY-MM-DDTHH:MM:SS) or the locale's
  // numeric date format (day, month and year order and separator), with an optional time.
  // The result counts days since 1899-12-30.
  std::optional<double> ParseDate(std::wstring_view text) const;
  // A date as the platform writes it under this locale (date only when the time is 0,
  // time only when the date is the zero date). A date outside the platform's range (years
  // 100 to 9999) is std::out_of_range: callers range-check values from outside first.
  std::wstring FormatDate(double days) const;

 private:
  UserLocale();
  std::string name_;
  std::wstring decimal_ = L".";
  std::wstring thousands_;
  std::string dateOrder_ = "MDY";  // order of day, month, year in the numeric date format
  wchar_t dateSeparator_ = L'/';
};

// Days since 1899-12-30 from a calendar date and time, and back; ISO text of a date
// ("YYYY-MM-DD HH:MM:SS", or "YYYY-MM-DD" at midnight; std::out_of_range like FormatDate).
QUILLDATA_API std::optional<double> DaysFromCivil(int year, int month, int day, int hour = 0,
                                                  int minute = 0, int second = 0);
QUILLDATA_API std::wstring IsoText(double days);

}  // namespace QuillData

QUILLDATA_API_END
