#include "QuillData/contract/Coerce.h"

#include <cmath>
#include <string_view>

#include "QuillData/contract/Error.h"
#include "QuillData/locale/Locale.h"
#include "locale/NumberText.h"

namespace QuillData {

namespace {

constexpr __int128 kMaxMantissa = (static_cast<__int128>(1) << 96) - 1;
constexpr int kMaxScale = 28;
constexpr int kMaxDecimalDigits = 29;

[[noreturn]] void Mismatch() {
  throw QuillError(ErrNo::TypeMismatch);
}
[[noreturn]] void Overflow() {
  throw QuillError(ErrNo::Overflow);
}
[[noreturn]] void NullUse() {
  throw QuillError(ErrNo::InvalidUseOfNull);
}

double RoundHalfEven(double value) {
  if (std::isnan(value)) Overflow();
  const double floor = std::floor(value);
  const double diff = value - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

int64_t RoundToRange(double value, int64_t lo, int64_t hi) {
  const double r = RoundHalfEven(value);
  if (!(r >= static_cast<double>(lo) && r <= static_cast<double>(hi))) Overflow();
  return static_cast<int64_t>(r);
}

double CheckedDate(double days) {
  if (!detail::InDateRange(days)) Overflow();
  return days;
}

double TextToDouble(const std::wstring& text) {
  const auto canonical = detail::CanonicalNumber(text, UserLocale::Current());
  if (!canonical) Mismatch();
  const auto value = detail::CanonicalToDouble(*canonical);
  if (!value) Overflow();
  return *value;
}

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
    if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
    if (x != y) return false;
  }
  return true;
}

bool TextToBool(const std::wstring& text) {
  std::wstring_view s = text;
  while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.remove_suffix(1);
  if (EqualsIgnoreCase(s, L"true")) return true;
  if (EqualsIgnoreCase(s, L"false")) return false;
  return TextToDouble(text) != 0;
}

// The first `keep` digits of `digits` as a whole number, rounded half to even by the rest.
__int128 LeadingDigitsRounded(const std::string& digits, long keep) {
  __int128 value = 0;
  const long n = static_cast<long>(digits.size());
  for (long i = 0; i < keep && i < n; ++i) value = value * 10 + (digits[i] - '0');
  for (long i = n; i < keep; ++i) value *= 10;
  if (keep < 0 || keep >= n) return value;
  const char next = digits[keep];
  bool sticky = false;
  for (long i = keep + 1; i < n && !sticky; ++i) sticky = digits[i] != '0';
  if (next > '5' || (next == '5' && (sticky || (value & 1) != 0))) ++value;
  return value;
}

// Exact text to decimal: as many fraction digits as the decimal holds, the rest rounded.
Decimal TextToDecimal(const std::wstring& text) {
  const auto canonical = detail::CanonicalNumber(text, UserLocale::Current());
  if (!canonical) Mismatch();
  const std::string& c = *canonical;
  size_t i = 0;
  const bool negative = c[i] == '-';
  if (negative) ++i;
  std::string digits;
  long fractionDigits = 0;
  bool inFraction = false;
  for (; c[i] != 'E'; ++i) {
    if (c[i] == '.') {
      inFraction = true;
    } else {
      digits.push_back(c[i]);
      if (inFraction) ++fractionDigits;
    }
  }
  ++i;  // 'E'
  const bool negativeExponent = c[i] == '-';
  if (negativeExponent) ++i;
  long exponent = 0;
  for (; i < c.size(); ++i) {
    if (exponent < 1000000) exponent = exponent * 10 + (c[i] - '0');
  }
  if (negativeExponent) exponent = -exponent;

  const size_t firstNonZero = digits.find_first_not_of('0');
  if (firstNonZero == std::string::npos) return {};
  digits.erase(0, firstNonZero);
  const long n = static_cast<long>(digits.size());
  const long power = exponent - fractionDigits;  // value = digits * 10^power
  Decimal d;
  if (power >= 0) {
    if (n + power > kMaxDecimalDigits) Overflow();
    d.mantissa = LeadingDigitsRounded(digits, n + power);
    if (d.mantissa > kMaxMantissa) Overflow();
  } else {
    long scale = -power;
    long drop = std::max<long>(0, scale - kMaxScale);
    if (n - drop > kMaxDecimalDigits) drop = n - kMaxDecimalDigits;
    for (;;) {
      if (drop > scale) Overflow();  // the whole part alone does not fit
      d.mantissa = LeadingDigitsRounded(digits, n - drop);
      if (d.mantissa <= kMaxMantissa) break;
      ++drop;
    }
    d.scale = static_cast<uint8_t>(d.mantissa == 0 ? 0 : scale - drop);
  }
  if (negative) d.mantissa = -d.mantissa;
  return d;
}

int64_t DecimalToWhole(const Decimal& d, int64_t lo, int64_t hi) {
  const __int128 r = detail::DivRoundHalfEven(d.mantissa, d.scale);
  if (r < lo || r > hi) Overflow();
  return static_cast<int64_t>(r);
}

// The decimal's value as text under the locale: no trailing fraction zeros, as numbers print.
std::wstring DecimalToText(const Decimal& d) {
  std::string text = d.ToString();
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  const std::wstring& sep = UserLocale::Current().DecimalSeparator();
  std::wstring out;
  out.reserve(text.size() + sep.size());
  for (char ch : text) {
    if (ch == '.') {
      out += sep;
    } else {
      out.push_back(static_cast<wchar_t>(ch));
    }
  }
  return out;
}

template <int64_t Lo, int64_t Hi>
int64_t ToWhole(const Variant& value) {
  switch (value.Type()) {
    case VarType::Empty:
      return 0;
    case VarType::Null:
      NullUse();
    case VarType::Integer:
      return *value.Get<int16_t>();
    case VarType::Long: {
      const int32_t v = *value.Get<int32_t>();
      if (v < Lo || v > Hi) Overflow();
      return v;
    }
    case VarType::Double:
      return RoundToRange(*value.Get<double>(), Lo, Hi);
    case VarType::Date:
      return RoundToRange(value.Get<Date>()->value, Lo, Hi);
    case VarType::Boolean:
      return *value.Get<bool>() ? -1 : 0;
    case VarType::String:
      return RoundToRange(TextToDouble(*value.Get<std::wstring>()), Lo, Hi);
    case VarType::Decimal:
      return DecimalToWhole(*value.Get<Decimal>(), Lo, Hi);
    default:
      Mismatch();
  }
}

}  // namespace

int32_t RoundToLong(double value) {
  return static_cast<int32_t>(RoundToRange(value, INT32_MIN, INT32_MAX));
}

int16_t CInt(const Variant& value) {
  if (const auto* v = value.Get<int16_t>()) return *v;
  return static_cast<int16_t>(ToWhole<INT16_MIN, INT16_MAX>(value));
}

int32_t CLng(const Variant& value) {
  if (const auto* v = value.Get<int32_t>()) return *v;
  return static_cast<int32_t>(ToWhole<INT32_MIN, INT32_MAX>(value));
}

double CDbl(const Variant& value) {
  switch (value.Type()) {
    case VarType::Double:
      return *value.Get<double>();
    case VarType::Empty:
      return 0;
    case VarType::Null:
      NullUse();
    case VarType::Integer:
      return *value.Get<int16_t>();
    case VarType::Long:
      return *value.Get<int32_t>();
    case VarType::Date:
      return value.Get<Date>()->value;
    case VarType::Boolean:
      return *value.Get<bool>() ? -1 : 0;
    case VarType::String:
      return TextToDouble(*value.Get<std::wstring>());
    case VarType::Decimal:
      return value.Get<Decimal>()->ToDouble();
    default:
      Mismatch();
  }
}

bool CBool(const Variant& value) {
  switch (value.Type()) {
    case VarType::Boolean:
      return *value.Get<bool>();
    case VarType::Empty:
      return false;
    case VarType::Null:
      NullUse();
    case VarType::Integer:
      return *value.Get<int16_t>() != 0;
    case VarType::Long:
      return *value.Get<int32_t>() != 0;
    case VarType::Double:
      return *value.Get<double>() != 0;
    case VarType::Date:
      return value.Get<Date>()->value != 0;
    case VarType::String:
      return TextToBool(*value.Get<std::wstring>());
    case VarType::Decimal:
      return value.Get<Decimal>()->mantissa != 0;
    default:
      Mismatch();
  }
}

std::wstring CStr(const Variant& value) {
  switch (value.Type()) {
    case VarType::String:
      return *value.Get<std::wstring>();
    case VarType::Empty:
      return {};
    case VarType::Null:
      NullUse();
    case VarType::Integer:
      return std::to_wstring(*value.Get<int16_t>());
    case VarType::Long:
      return std::to_wstring(*value.Get<int32_t>());
    case VarType::Double:
      return UserLocale::Current().FormatDouble(*value.Get<double>());
    case VarType::Date:
      return UserLocale::Current().FormatDate(CheckedDate(value.Get<Date>()->value));
    case VarType::Boolean:
      return *value.Get<bool>() ? L"True" : L"False";
    case VarType::Decimal:
      return DecimalToText(*value.Get<Decimal>());
    default:
      Mismatch();
  }
}

Date CDate(const Variant& value) {
  switch (value.Type()) {
    case VarType::Date:
      return *value.Get<Date>();
    case VarType::Empty:
      return {};
    case VarType::Null:
      NullUse();
    case VarType::Integer:
      return {CheckedDate(*value.Get<int16_t>())};
    case VarType::Long:
      return {CheckedDate(*value.Get<int32_t>())};
    case VarType::Double:
      return {CheckedDate(*value.Get<double>())};
    case VarType::Boolean:
      return {*value.Get<bool>() ? -1.0 : 0.0};
    case VarType::String: {
      const auto days = UserLocale::Current().ParseDate(*value.Get<std::wstring>());
      if (!days) Mismatch();
      return {*days};
    }
    case VarType::Decimal:
      return {CheckedDate(value.Get<Decimal>()->ToDouble())};
    default:
      Mismatch();
  }
}

Decimal CDec(const Variant& value) {
  switch (value.Type()) {
    case VarType::Decimal:
      return *value.Get<Decimal>();
    case VarType::Empty:
      return {};
    case VarType::Null:
      NullUse();
    case VarType::Integer:
      return {*value.Get<int16_t>(), 0};
    case VarType::Long:
      return {*value.Get<int32_t>(), 0};
    case VarType::Double:
      return Decimal::FromDouble(*value.Get<double>());
    case VarType::Date:
      return Decimal::FromDouble(value.Get<Date>()->value);
    case VarType::Boolean:
      return {*value.Get<bool>() ? -1 : 0, 0};
    case VarType::String:
      return TextToDecimal(*value.Get<std::wstring>());
    default:
      Mismatch();
  }
}

Variant ChangeType(const Variant& value, VarType to) {
  if (value.Type() == to) return value;
  switch (to) {
    case VarType::Empty:
      return {};
    case VarType::Null:
      if (value.IsEmpty()) return Variant::Null();
      Mismatch();
    case VarType::Integer:
      return CInt(value);
    case VarType::Long:
      return CLng(value);
    case VarType::Double:
      return CDbl(value);
    case VarType::Date:
      return CDate(value);
    case VarType::String:
      return CStr(value);
    case VarType::Boolean:
      return CBool(value);
    case VarType::Decimal:
      return CDec(value);
    case VarType::Object:
      if (value.IsEmpty()) return Variant(ObjectPtr());  // Nothing
      if (value.IsNull()) NullUse();
      Mismatch();
    case VarType::Array:
    case VarType::Bytes:
      if (value.IsNull()) NullUse();
      Mismatch();
  }
  Mismatch();
}

}  // namespace QuillData
