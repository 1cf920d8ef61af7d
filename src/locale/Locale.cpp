#include "QuillData/locale/Locale.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "locale/NumberText.h"
#include "platform/Locale.h"

namespace QuillData {

namespace {

constexpr int64_t kUnixEpochSerial = 25569;  // 1970-01-01 counted from 1899-12-30

// Every locale ever loaded stays alive: Current() hands out references without a lock, and a
// Reload() on another thread must not pull the object from under a reader. Reloads are rare.
std::mutex& LocaleMutex() {
  static std::mutex m;
  return m;
}
std::vector<std::unique_ptr<UserLocale>>& LoadedLocales() {
  static auto* all = new std::vector<std::unique_ptr<UserLocale>>();
  return *all;
}
std::atomic<const UserLocale*> g_current{nullptr};

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}
bool IsDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Days since 1970-01-01 of a proleptic Gregorian date, counted in 400-year eras.
int64_t DaysSinceUnixEpoch(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct Civil {
  int year, month, day, hour, minute, second;
};

Civil CivilFromUnixDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
  return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d), 0, 0, 0};
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// A date value split the platform's way: the whole part (toward zero) is the day, the
// fraction's magnitude the time of day, whatever the sign. Seconds are rounded to the nearest.
struct SplitDate {
  int64_t serial;       // day counted from 1899-12-30
  int64_t secondOfDay;  // 0 .. 86399
};

SplitDate Split(double days) {
  if (!detail::InDateRange(days))
    throw std::out_of_range("date beyond the year 9999 or before 100");
  const bool negative = days < 0;
  const double magnitude = std::fabs(days);
  double whole = std::floor(magnitude);
  auto seconds = static_cast<int64_t>(std::llround((magnitude - whole) * 86400.0));
  if (seconds >= 86400) {
    // Rounding up past the last day of the range would leave the range: the day ends at
    // 23:59:59 instead.
    if (whole + 1 >= (negative ? -detail::kDateLowerBound : detail::kDateUpperBound)) {
      seconds = 86399;
    } else {
      whole += 1;
      seconds -= 86400;
    }
  }
  const auto serial = static_cast<int64_t>(whole);
  return {negative ? -serial : serial, seconds};
}

Civil ToCivil(double days) {
  const SplitDate s = Split(days);
  Civil c = CivilFromUnixDays(s.serial - kUnixEpochSerial);
  c.hour = static_cast<int>(s.secondOfDay / 3600);
  c.minute = static_cast<int>(s.secondOfDay / 60 % 60);
  c.second = static_cast<int>(s.secondOfDay % 60);
  return c;
}

void AppendNumber(std::wstring& out, int value, int width) {
  wchar_t buf[16];
  int n = 0;
  do {
    buf[n++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int i = n; i < width; ++i) out.push_back(L'0');
  while (n > 0) out.push_back(buf[--n]);
}

void AppendTime(std::wstring& out, const Civil& c) {
  AppendNumber(out, c.hour, 2);
  out.push_back(L':');
  AppendNumber(out, c.minute, 2);
  out.push_back(L':');
  AppendNumber(out, c.second, 2);
}

// A scanner over date text: unsigned numbers of bounded length and literal characters.
struct Scanner {
  std::wstring_view s;
  size_t pos = 0;

  bool AtEnd() const { return pos == s.size(); }
  // Reads 1..maxDigits digits; reports how many were read.
  bool Number(int& value, int& digits, int maxDigits) {
    value = 0;
    digits = 0;
    while (pos < s.size() && IsDigit(s[pos]) && digits < maxDigits) {
      value = value * 10 + (s[pos++] - L'0');
      ++digits;
    }
    return digits > 0 && (pos == s.size() || !IsDigit(s[pos]));
  }
  bool Literal(wchar_t c) {
    if (pos < s.size() && s[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  bool Blanks() {
    const size_t start = pos;
    while (pos < s.size() && IsBlank(s[pos])) ++pos;
    return pos > start;
  }
};

// HH:MM[:SS] to the end of the text.
bool ScanTime(Scanner& sc, int& h, int& m, int& s) {
  int digits = 0;
  s = 0;
  if (!sc.Number(h, digits, 2) || !sc.Literal(L':') || !sc.Number(m, digits, 2)) return false;
  if (sc.Literal(L':') && !sc.Number(s, digits, 2)) return false;
  return sc.AtEnd() && h < 24 && m < 60 && s < 60;
}

// The time, if any, after a date: nothing, or blanks (or "T" in ISO text) and a time.
bool ScanTimeAfterDate(Scanner& sc, bool allowT, int& h, int& m, int& s) {
  h = m = s = 0;
  if (sc.AtEnd()) return true;
  if (!(sc.Blanks() || (allowT && sc.Literal(L'T')))) return false;
  return ScanTime(sc, h, m, s);
}

int WindowYear(int year, int digits) {
  if (digits > 2) return year;
  return year < 30 ? 2000 + year : 1900 + year;
}

}  // namespace

namespace detail {

std::optional<std::string> CanonicalNumber(std::wstring_view text, const UserLocale& locale) {
  const std::wstring_view s = Trim(text);
  const std::wstring& dec = locale.DecimalSeparator();
  const std::wstring& thou = locale.ThousandsSeparator();
  std::string out;
  out.reserve(s.size() + 4);
  size_t i = 0;
  if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) {
    if (s[i] == L'-') out.push_back('-');
    ++i;
  }
  int digits = 0;
  bool point = false;
  // Thousands separators only between groups of three digits: "2.5" under a locale that groups
  // with "." is no number at all, never 25.
  int group = 0;
  bool grouped = false;
  while (i < s.size()) {
    if (IsDigit(s[i])) {
      out.push_back(static_cast<char>(s[i++]));
      ++digits;
      ++group;
    } else if (!dec.empty() && s.substr(i).starts_with(dec)) {
      i += dec.size();
      point = true;
      break;
    } else if (!thou.empty() && digits > 0 && s.substr(i).starts_with(thou)) {
      if (grouped ? group != 3 : group > 3) return std::nullopt;
      i += thou.size();
      grouped = true;
      group = 0;
    } else {
      break;
    }
  }
  if (grouped && group != 3) return std::nullopt;
  out.push_back('.');
  if (point) {
    while (i < s.size() && IsDigit(s[i])) {
      out.push_back(static_cast<char>(s[i++]));
      ++digits;
    }
  }
  if (digits == 0) return std::nullopt;
  out.push_back('E');
  if (i < s.size() && (s[i] == L'E' || s[i] == L'e')) {
    ++i;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) {
      if (s[i] == L'-') out.push_back('-');
      ++i;
    }
    const size_t start = i;
    while (i < s.size() && IsDigit(s[i])) out.push_back(static_cast<char>(s[i++]));
    if (i == start) return std::nullopt;
  } else {
    out.push_back('0');
  }
  if (i != s.size()) return std::nullopt;
  return out;
}

bool IsDecimalText(std::wstring_view text, wchar_t point) {
  text = Trim(text);
  size_t i = 0;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) ++i;
  bool digits = false, seenPoint = false;
  for (; i < text.size(); ++i) {
    if (IsDigit(text[i])) {
      digits = true;
    } else if (text[i] == point && !seenPoint) {
      seenPoint = true;
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i < text.size() && (text[i] == L'E' || text[i] == L'e')) {
    ++i;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) ++i;
    const size_t exponent = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == exponent) return false;
  }
  return i == text.size();
}

std::string ShortestDoubleText(double value) {
  char text[32];
  // to_chars without a precision writes the shortest text that round-trips, locale-free.
  auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::optional<double> CanonicalToDouble(const std::string& canonical) {
  return platform::CanonicalToDouble(canonical);
}

}  // namespace detail

UserLocale::UserLocale() {
  platform::LocaleFacts facts = platform::UserLocaleFacts();
  name_ = std::move(facts.name);
  if (!facts.known) return;  // keeps "." and month/day/year
  decimal_ = std::move(facts.decimal);
  thousands_ = std::move(facts.thousands);
  const std::string& order = facts.dateOrder;
  const wchar_t separator = facts.dateSeparator;
  if (order.size() == 3 && order.find('D') != std::string::npos &&
      order.find('M') != std::string::npos && order.find('Y') != std::string::npos &&
      separator != 0 && !IsDigit(separator) && !IsBlank(separator)) {
    dateOrder_ = order;
    dateSeparator_ = separator;
  }
}

const UserLocale& UserLocale::Current() {
  if (const UserLocale* p = g_current.load(std::memory_order_acquire)) return *p;
  std::lock_guard lock(LocaleMutex());
  if (const UserLocale* p = g_current.load(std::memory_order_acquire)) return *p;
  auto& all = LoadedLocales();
  all.emplace_back(new UserLocale());
  g_current.store(all.back().get(), std::memory_order_release);
  return *all.back();
}

void UserLocale::Reload() {
  std::lock_guard lock(LocaleMutex());
  auto& all = LoadedLocales();
  all.emplace_back(new UserLocale());
  g_current.store(all.back().get(), std::memory_order_release);
}

std::wstring UserLocale::FormatDouble(double value) const {
  if (value == 0) return L"0";  // also -0
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  std::wstring out;
  out.reserve(static_cast<size_t>(res.ptr - buf) + decimal_.size());
  for (const char* p = buf; p < res.ptr; ++p) {
    if (*p == '.') {
      out += decimal_;
    } else {
      out.push_back(static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(*p))));
    }
  }
  return out;
}

std::optional<double> UserLocale::ParseDouble(std::wstring_view text) const {
  const auto canonical = detail::CanonicalNumber(text, *this);
  if (!canonical) return std::nullopt;
  return detail::CanonicalToDouble(*canonical);
}

std::optional<double> UserLocale::ParseDate(std::wstring_view text) const {
  const std::wstring_view s = Trim(text);
  int h = 0, mi = 0, se = 0, digits = 0;

  // ISO: YYYY-MM-DD with an optional " HH:MM[:SS]" or "THH:MM:SS".
  {
    Scanner sc{s};
    int y = 0, m = 0, d = 0;
    if (sc.Number(y, digits, 4) && digits == 4 && sc.Literal(L'-') && sc.Number(m, digits, 2) &&
        sc.Literal(L'-') && sc.Number(d, digits, 2) && ScanTimeAfterDate(sc, true, h, mi, se)) {
      return DaysFromCivil(y, m, d, h, mi, se);
    }
  }
  // The locale's numeric short date, in its order and with its separator.
  {
    Scanner sc{s};
    int parts[3] = {0, 0, 0};
    int yearDigits = 0;
    bool ok = true;
    for (size_t k = 0; k < 3 && ok; ++k) {
      if (k > 0) ok = sc.Literal(dateSeparator_);
      const bool isYear = dateOrder_[k] == 'Y';
      ok = ok && sc.Number(parts[k], digits, isYear ? 4 : 2);
      if (ok && isYear) {
        yearDigits = digits;
        ok = digits == 1 || digits == 2 || digits == 4;
      }
    }
    if (ok && ScanTimeAfterDate(sc, false, h, mi, se)) {
      int y = 0, m = 0, d = 0;
      for (size_t k = 0; k < 3; ++k) {
        if (dateOrder_[k] == 'Y') y = WindowYear(parts[k], yearDigits);
        if (dateOrder_[k] == 'M') m = parts[k];
        if (dateOrder_[k] == 'D') d = parts[k];
      }
      return DaysFromCivil(y, m, d, h, mi, se);
    }
  }
  // A time alone is a time on the zero date.
  {
    Scanner sc{s};
    if (ScanTime(sc, h, mi, se)) return DaysFromCivil(1899, 12, 30, h, mi, se);
  }
  return std::nullopt;
}

std::wstring UserLocale::FormatDate(double days) const {
  const Civil c = ToCivil(days);
  const bool hasTime = c.hour != 0 || c.minute != 0 || c.second != 0;
  const bool zeroDate = c.year == 1899 && c.month == 12 && c.day == 30;
  std::wstring out;
  if (zeroDate) {
    AppendTime(out, c);  // the zero date shows as its time, "00:00:00" included
    return out;
  }
  for (size_t k = 0; k < 3; ++k) {
    if (k > 0) out.push_back(dateSeparator_);
    // Four-digit years always: a two-digit year would not read back the same for every date.
    if (dateOrder_[k] == 'Y') AppendNumber(out, c.year, 4);
    if (dateOrder_[k] == 'M') AppendNumber(out, c.month, 2);
    if (dateOrder_[k] == 'D') AppendNumber(out, c.day, 2);
  }
  if (hasTime) {
    out.push_back(L' ');
    AppendTime(out, c);
  }
  return out;
}

std::optional<double> DaysFromCivil(int year, int month, int day, int hour, int minute,
                                    int second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59) {
    return std::nullopt;
  }
  const auto serial = static_cast<double>(
      DaysSinceUnixEpoch(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
      kUnixEpochSerial);
  const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
  // Before the zero date the time still counts forward from midnight, so it is subtracted.
  return serial < 0 ? serial - time : serial + time;
}

std::wstring IsoText(double days) {
  const Civil c = ToCivil(days);
  std::wstring out;
  out.reserve(19);
  AppendNumber(out, c.year, 4);
  out.push_back(L'-');
  AppendNumber(out, c.month, 2);
  out.push_back(L'-');
  AppendNumber(out, c.day, 2);
  if (c.hour != 0 || c.minute != 0 || c.second != 0) {
    out.push_back(L' ');
    AppendTime(out, c);
  }
  return out;
}

}  // namespace QuillData
