// What a parameter sends: its value converted to its type and checked against its declared
// size, precision and scale, before anything reaches a provider.
#include <cmath>

#include "QuillData/ado/Enums.h"
#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "ado/Detail.h"

namespace QuillData::ado::detail {

namespace {

using Int128 = __int128;

constexpr int kMaxDecimalScale = 28;
// The largest mantissa a Decimal holds: 96 bits.
constexpr Int128 kMaxMantissa = (static_cast<Int128>(1) << 96) - 1;

Int128 Pow10(int n) {
  Int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

int Digits(Int128 m) {
  if (m < 0) m = -m;
  int n = 0;
  while (m != 0) {
    m /= 10;
    ++n;
  }
  return n;
}

std::wstring Describe(const ParameterData& p) {
  return p.name.empty() ? std::wstring(L"An unnamed parameter") : L"Parameter \"" + p.name + L"\"";
}

// Conversion errors keep their number and gain the parameter's name.
template <class Fn>
auto Converted(const ParameterData& p, Fn&& fn) {
  try {
    return fn();
  } catch (const QuillError& e) {
    throw e.Described(e.Description() + L" (" + Describe(p) + L", value not sent)");
  }
}

Variant DecimalWire(const ParameterData& p) {
  const std::wstring what = Describe(p);
  if (const double* d = p.value.Get<double>(); d && !std::isfinite(*d)) {
    Raise(adErrDataConversion, what + L": " + (std::isnan(*d) ? L"NaN" : L"infinity") +
                                   L" is not a decimal number; nothing was sent.");
  }
  if (p.precision == 0 || p.precision > 38 || p.numericScale > p.precision ||
      p.numericScale > kMaxDecimalScale) {
    Raise(adErrInvalidParamInfo,
          what + L" has precision " + std::to_wstring(p.precision) + L" and scale " +
              std::to_wstring(p.numericScale) +
              L"; a decimal parameter needs a precision from 1 to 38 and a scale of at most "
              L"28 and at most the precision.");
  }
  Decimal d = Converted(p, [&] { return CDec(p.value); });
  return Variant(RoundDecimal(d, p.precision, p.numericScale, what));
}

}  // namespace

Decimal RoundDecimal(const Decimal& value, uint8_t precision, uint8_t scale,
                     const std::wstring& what) {
  Int128 m = value.mantissa;
  int from = value.scale;
  if (from > scale) {
    // Half away from zero, as the server itself rounds a numeric value to a column's scale.
    const Int128 p = Pow10(from - scale);
    Int128 q = m / p;
    Int128 r = m % p;
    if (r < 0) r = -r;
    if (2 * r >= p) q += m < 0 ? -1 : 1;
    m = q;
    from = scale;
  }
  const int digits = Digits(m) + (scale - from);
  if (digits > precision) {
    Raise(adErrDataOverflow, what + L": the value " + FromUtf8(value.ToString()) +
                                 L" does not fit precision " + std::to_wstring(precision) +
                                 L" with scale " + std::to_wstring(scale) + L"; nothing was sent.");
  }
  m *= Pow10(scale - from);
  if (m > kMaxMantissa || -m > kMaxMantissa) {
    Raise(adErrDataOverflow, what + L": the value " + FromUtf8(value.ToString()) +
                                 L" has more digits than a decimal holds; nothing was sent.");
  }
  Decimal result;
  result.mantissa = m;
  result.scale = scale;
  return result;
}

Variant ToWire(const ParameterData& p) {
  if (p.direction == adParamReturnValue || p.direction == adParamOutput) return Variant();
  if (p.value.IsEmpty() || p.value.IsNull()) return Variant::Null();
  switch (p.type) {
    case adSmallInt:
      return Variant(Converted(p, [&] { return CInt(p.value); }));
    case adInteger:
      return Variant(Converted(p, [&] { return CLng(p.value); }));
    case adSingle:
    case adDouble:
      return Variant(Converted(p, [&] { return CDbl(p.value); }));
    case adBoolean:
      return Variant(Converted(p, [&] { return CBool(p.value); }));
    case adDecimal:
    case adNumeric:
      return DecimalWire(p);
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
      return Variant(Converted(p, [&] { return CDate(p.value); }));
    default:
      break;
  }
  if (IsTextType(p.type)) {
    std::wstring text = Converted(p, [&] { return CStr(p.value); });
    RequireValidText(text, Describe(p));
    if (p.size > 0 && text.size() > static_cast<size_t>(p.size)) {
      Raise(adErrDataOverflow, Describe(p) + L": the text is " + std::to_wstring(text.size()) +
                                   L" characters long, longer than its size " +
                                   std::to_wstring(p.size) + L"; nothing was sent.");
    }
    return Variant(std::move(text));
  }
  if (IsBinaryType(p.type)) {
    const auto* bytes = p.value.Get<Variant::Bytes>();
    if (!bytes) {
      throw QuillError(ErrNo::TypeMismatch, kSource,
                       StandardDescription(ErrNo::TypeMismatch) + L" (" + Describe(p) +
                           L" takes bytes, value not sent)");
    }
    if (p.size > 0 && bytes->size() > static_cast<size_t>(p.size)) {
      Raise(adErrDataOverflow, Describe(p) + L": the value is " + std::to_wstring(bytes->size()) +
                                   L" bytes long, longer than its size " + std::to_wstring(p.size) +
                                   L"; nothing was sent.");
    }
    return p.value;
  }
  Raise(adErrInvalidParamInfo, Describe(p) + L" has the unsupported type " +
                                   std::to_wstring(p.type) + L"; nothing was sent.");
}

}  // namespace QuillData::ado::detail
