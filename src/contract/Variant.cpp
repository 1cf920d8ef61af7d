#include "QuillData/contract/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "locale/NumberText.h"

namespace QuillData {

namespace {

// The largest decimal mantissa: 2^96 - 1.
constexpr __int128 kMaxMantissa = (static_cast<__int128>(1) << 96) - 1;
constexpr int kMaxScale = 28;

__int128 Pow10(int n) {
  __int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

}  // namespace

namespace detail {

__int128 DivRoundHalfEven(__int128 mantissa, int drop) {
  if (drop <= 0) return mantissa;
  if (drop > 38) return 0;
  const bool negative = mantissa < 0;
  unsigned __int128 m = negative ? -static_cast<unsigned __int128>(mantissa) : mantissa;
  const unsigned __int128 divisor = static_cast<unsigned __int128>(Pow10(drop));
  unsigned __int128 q = m / divisor;
  const unsigned __int128 r = m % divisor;
  const unsigned __int128 half = divisor / 2;
  if (r > half || (r == half && (q & 1) != 0)) ++q;
  const __int128 result = static_cast<__int128>(q);
  return negative ? -result : result;
}

}  // namespace detail

using detail::DivRoundHalfEven;

Variant::Variant(const char* utf8) : v_(FromUtf8(utf8)) {}
Variant::Variant(const std::string& utf8) : v_(FromUtf8(utf8)) {}
Variant::Variant(const char8_t* utf8)
    : v_(FromUtf8(std::string_view(reinterpret_cast<const char*>(utf8)))) {}

void Variant::Overflow() {
  throw QuillError(ErrNo::Overflow);
}

Variant Variant::Null() {
  Variant v;
  v.v_ = NullTag{};
  return v;
}

VarType Variant::Type() const noexcept {
  switch (v_.index()) {
    case 0:
      return VarType::Empty;
    case 1:
      return VarType::Null;
    case 2:
      return VarType::Integer;
    case 3:
      return VarType::Long;
    case 4:
      return VarType::Double;
    case 5:
      return VarType::Boolean;
    case 6:
      return VarType::String;
    case 7:
      return VarType::Date;
    case 8:
      return VarType::Decimal;
    case 9:
      return VarType::Object;
    case 10:
      return VarType::Array;
    default:
      return VarType::Bytes;
  }
}

const wchar_t* TypeName(VarType type) {
  switch (type) {
    case VarType::Empty:
      return L"Empty";
    case VarType::Null:
      return L"Null";
    case VarType::Integer:
      return L"Integer";
    case VarType::Long:
      return L"Long";
    case VarType::Double:
      return L"Double";
    case VarType::Date:
      return L"Date";
    case VarType::String:
      return L"String";
    case VarType::Object:
      return L"Object";
    case VarType::Boolean:
      return L"Boolean";
    case VarType::Decimal:
      return L"Decimal";
    case VarType::Array:
      return L"Variant()";
    case VarType::Bytes:
      return L"Byte()";
  }
  return L"Unknown";
}

Decimal Decimal::FromDouble(double value) {
  return FromDoubleDigits(value, 15);
}

Decimal Decimal::FromShortestDouble(double value) {
  return FromDoubleDigits(value, 0);
}

Decimal Decimal::FromDoubleDigits(double value, int significant) {
  if (!std::isfinite(value)) throw QuillError(ErrNo::Overflow);
  if (value == 0) return {};
  // The digits as the double prints them: d.ddde±x, with `significant` digits, or the fewest
  // that read back as the same double (0).
  char buf[64];
  const auto res = significant > 0
                       ? std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                                       significant - 1)
                       : std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  const char* p = buf;
  const bool negative = *p == '-';
  if (negative) ++p;
  __int128 digits = 0;
  int fraction = -1;  // digits after the point
  for (; p < res.ptr && *p != 'e'; ++p) {
    if (*p == '.') {
      fraction = 0;
    } else {
      digits = digits * 10 + (*p - '0');
      if (fraction >= 0) ++fraction;
    }
  }
  if (fraction < 0) fraction = 0;
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), res.ptr, exponent);
  // value = digits * 10^(exponent - fraction)
  if (exponent > kMaxScale) throw QuillError(ErrNo::Overflow);
  int scale = fraction - exponent;
  if (scale < 0) {
    digits *= Pow10(-scale);
    scale = 0;
    if (digits > kMaxMantissa) throw QuillError(ErrNo::Overflow);
  }
  while (scale > 0 && digits % 10 == 0) {
    digits /= 10;
    --scale;
  }
  if (scale > kMaxScale) {
    digits = DivRoundHalfEven(digits, scale - kMaxScale);
    scale = kMaxScale;
    while (scale > 0 && digits % 10 == 0 && digits != 0) {
      digits /= 10;
      --scale;
    }
    if (digits == 0) scale = 0;
  }
  Decimal d;
  d.mantissa = negative ? -digits : digits;
  d.scale = static_cast<uint8_t>(scale);
  return d;
}

std::string Decimal::ToString() const {
  const bool negative = mantissa < 0;
  unsigned __int128 m = negative ? -static_cast<unsigned __int128>(mantissa) : mantissa;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  if (scale > 0) {
    if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
    digits.insert(digits.size() - scale, 1, '.');
  }
  if (negative) digits.insert(0, 1, '-');
  return digits;
}

double Decimal::ToDouble() const {
  // The exact decimal text, rounded once to the nearest double.
  std::string text = ToString();
  double result = 0;
  const char* first = text.data();
  std::from_chars(first, first + text.size(), result);
  return result;
}

}  // namespace QuillData
