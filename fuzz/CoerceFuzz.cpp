// Fuzz target: the variant conversion (QuillData/contract/Coerce.h) under the C locale and
// under de_DE.UTF-8 (bit 0 of the first byte; bits 1-3 pick the kind of value, the rest of the
// input is its payload). The value is changed to every VarType:
//  - the only failures are QuillError 6 (overflow), 13 (type mismatch) and 94 (Null);
//  - a success has the type asked for; Null reaches nothing but Null and Empty (94);
//  - round trips: CStr of a finite double reads back with CDbl to the same 15 significant
//    digits; whole numbers are their own CLng and read back from CStr; a double rounds half
//    to even into Integer/Long or overflows exactly outside their range; a date's text reads
//    back as the same text and the same time to the second; a decimal's text reads back as
//    the same number; text that is a number reads as Double and as Decimal alike, and as a
//    Long it normalises to decimal digits that read back to the same Long.
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Text.h"
#include "QuillData/locale/Locale.h"
#include "fuzz/FuzzCheck.h"
#include "platform/Locale.h"

namespace QuillData::fuzz {

namespace {

constexpr VarType kAllTypes[] = {VarType::Empty,   VarType::Null,   VarType::Integer,
                                 VarType::Long,    VarType::Double, VarType::Date,
                                 VarType::String,  VarType::Object, VarType::Boolean,
                                 VarType::Decimal, VarType::Array,  VarType::Bytes};

// The locale changes only when an input asks for the other one: a reload keeps the old
// object alive by design, so reloading on every input would only pile them up.
void UseLocale(bool comma) {
  static int current = -1;
  if (current == static_cast<int>(comma)) return;
#ifdef _WIN32
  // The user's locale is the process's there: the named one takes its place.
  platform::UseLocaleInsteadOfTheUsers(comma ? L"de-DE" : L"en-US");
#else
  setenv("LC_ALL", comma ? "de_DE.UTF-8" : "C", 1);
#endif
  UserLocale::Reload();
  current = comma;
  QD_FUZZ_CHECK(UserLocale::Current().DecimalSeparator() == (comma ? L"," : L"."),
                std::string("locale ") +
                    (comma ? "de_DE.UTF-8 is missing (scripts/bootstrap.sh)" : "C did not load"));
}

struct Outcome {
  std::optional<Variant> value;
  int32_t error = 0;
  std::string other;  // an exception that is not a QuillError
  bool Ok() const { return value.has_value(); }
};

Outcome Try(const std::function<Variant()>& f) {
  Outcome out;
  try {
    out.value = f();
  } catch (const QuillError& e) {
    out.error = e.Number();
  } catch (const std::exception& e) {
    out.other = e.what();
  }
  return out;
}

std::string Describe(const Variant& v) {
  std::string s = ToUtf8(TypeName(v.Type()));
  if (const auto* t = v.Get<std::wstring>()) return s + " " + Show(*t);
  if (const auto* d = v.Get<double>()) return s + " " + std::to_string(*d);
  if (const auto* d = v.Get<Date>()) return s + " " + std::to_string(d->value);
  if (const auto* d = v.Get<Decimal>()) return s + " " + d->ToString();
  if (const auto* i = v.Get<int32_t>()) return s + " " + std::to_string(*i);
  if (const auto* i = v.Get<int16_t>()) return s + " " + std::to_string(*i);
  if (const auto* b = v.Get<bool>()) return s + (*b ? " true" : " false");
  return s;
}

// A conversion that may fail only in the ways the rules allow; its result when it did not.
std::optional<Variant> Allowed(const Variant& from, VarType to, const char* locale) {
  const Outcome r = Try([&] { return ChangeType(from, to); });
  const std::string what = Describe(from) + " to " + ToUtf8(TypeName(to)) + " under " + locale;
  QD_FUZZ_CHECK(r.other.empty(), what + " threw " + r.other);
  if (!r.Ok()) {
    QD_FUZZ_CHECK(r.error == ErrNo::Overflow || r.error == ErrNo::TypeMismatch ||
                      r.error == ErrNo::InvalidUseOfNull,
                  what + " failed with error " + std::to_string(r.error));
    QD_FUZZ_CHECK(!from.IsNull() || r.error == ErrNo::InvalidUseOfNull,
                  what + " failed with " + std::to_string(r.error) + ", not 94");
    return std::nullopt;
  }
  QD_FUZZ_CHECK(r.value->Type() == to, what + " gave " + Describe(*r.value));
  QD_FUZZ_CHECK(!from.IsNull() || to == VarType::Null || to == VarType::Empty, what + " succeeded");
  return r.value;
}

// A double as 15 significant digits, locale-free: what "the same value" compares.
std::string Digits15(double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", d);
  return buf;
}

// A double exactly, for messages.
std::string Exact(double d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

// Rounding half to even, by the floating-point unit's own default mode.
std::optional<int64_t> ExpectedWhole(double d, int64_t lo, int64_t hi) {
  if (!std::isfinite(d)) return std::nullopt;
  const double r = std::nearbyint(d);
  if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return std::nullopt;
  return static_cast<int64_t>(r);
}

// A decimal with trailing fraction zeros removed, so equal numbers compare equal.
Decimal Normalized(Decimal d) {
  while (d.scale > 0 && d.mantissa % 10 == 0) {
    d.mantissa /= 10;
    --d.scale;
  }
  if (d.mantissa == 0) d.scale = 0;
  return d;
}

void CheckDouble(double d, const std::string& where) {
  const auto s = Allowed(d, VarType::String, where.c_str());
  QD_FUZZ_CHECK(s.has_value(), "CStr of a double failed: " + Digits15(d));
  if (std::isfinite(d)) {
    const std::wstring& text = *s->Get<std::wstring>();
    const Outcome back = Try([&] { return Variant(CDbl(text)); });
    QD_FUZZ_CHECK(back.Ok(), "CStr(" + Digits15(d) + ") = " + Show(text) +
                                 " does not read back with CDbl: error " +
                                 std::to_string(back.error) + " " + back.other + " " + where);
    const double b = *back.value->Get<double>();
    QD_FUZZ_CHECK(b == d || Digits15(b) == Digits15(d),  // b == d: -0 reads back as 0
                  Show(text) + " reads back as " + Digits15(b) + ", not " + Digits15(d));
  }
  for (const auto& [type, lo, hi] :
       {std::tuple{VarType::Long, int64_t{INT32_MIN}, int64_t{INT32_MAX}},
        std::tuple{VarType::Integer, int64_t{INT16_MIN}, int64_t{INT16_MAX}}}) {
    const auto expected = ExpectedWhole(d, lo, hi);
    const auto got = Allowed(d, type, where.c_str());
    QD_FUZZ_CHECK(got.has_value() == expected.has_value(),
                  Digits15(d) + " to " + ToUtf8(TypeName(type)) +
                      (got ? " did not overflow" : " overflowed"));
    if (got) {
      const int64_t v = type == VarType::Long ? *got->Get<int32_t>() : *got->Get<int16_t>();
      QD_FUZZ_CHECK(v == *expected, Digits15(d) + " rounds to " + std::to_string(v) + ", not " +
                                        std::to_string(*expected));
    }
  }
  if (const auto dec = Allowed(d, VarType::Decimal, where.c_str())) {
    const double back = dec->Get<Decimal>()->ToDouble();
    QD_FUZZ_CHECK(std::fabs(back - d) <= std::fabs(d) * 1e-14 + 1e-28,
                  Digits15(d) + " as Decimal is " + dec->Get<Decimal>()->ToString());
  } else {
    QD_FUZZ_CHECK(!std::isfinite(d) || std::fabs(d) >= 7.9e28,
                  Digits15(d) + " does not fit a Decimal?");
  }
  const auto date = Allowed(d, VarType::Date, where.c_str());
  QD_FUZZ_CHECK(date.has_value() == (d > -657435.0 && d < 2958466.0),
                Exact(d) + (date ? " is a date" : " is no date"));
  if (date) {
    const Outcome text = Try([&] { return Variant(CStr(*date)); });
    QD_FUZZ_CHECK(text.Ok(), "the date " + Exact(d) + " (from a Double) has no text: error " +
                                 std::to_string(text.error) + " " + where);
  }
}

void CheckDateText(double days, const std::string& where) {
  const Outcome s = Try([&] { return Variant(CStr(Date{days})); });
  if (!s.Ok()) {
    QD_FUZZ_CHECK(s.other.empty() && s.error == ErrNo::Overflow,
                  "CStr of date " + Exact(days) + ": " + s.other);
    // Only a value that is no date as a Double either.
    QD_FUZZ_CHECK(!Try([&] { return Variant(CDate(days)); }).Ok(),
                  "CStr of date " + Exact(days) + " overflowed, but CDate takes it");
    return;
  }
  const std::wstring& text = *s.value->Get<std::wstring>();
  const Outcome back = Try([&] { return Variant(CDate(text)); });
  QD_FUZZ_CHECK(back.Ok(), "date text " + Show(text) + " of " + Exact(days) +
                               " does not read back: error " + std::to_string(back.error) + " " +
                               where);
  const double b = back.value->Get<Date>()->value;
  QD_FUZZ_CHECK(CStr(Date{b}) == text,
                "date text " + Show(text) + " reads back as " + Show(CStr(Date{b})) + " " + where);
  // The text holds whole seconds; a time before the zero date prints as the same time after it.
  QD_FUZZ_CHECK(std::fabs(std::fabs(b) - std::fabs(days)) <= 1.0 / 86400 + 1e-9,
                Show(text) + " reads back as " + Exact(b) + ", not " + Exact(days));
}

void CheckDecimalText(const Decimal& d, const std::string& where) {
  const std::wstring text = CStr(d);
  const Outcome back = Try([&] { return Variant(CDec(text)); });
  QD_FUZZ_CHECK(back.Ok(), "decimal text " + Show(text) + " does not read back: error " +
                               std::to_string(back.error) + " " + where);
  QD_FUZZ_CHECK(Normalized(*back.value->Get<Decimal>()) == Normalized(d),
                "decimal " + d.ToString() + " -> " + Show(text) + " -> " +
                    back.value->Get<Decimal>()->ToString());
}

void CheckText(const std::wstring& text, const std::string& where) {
  const Outcome dbl = Try([&] { return Variant(CDbl(text)); });
  const Outcome dec = Try([&] { return Variant(CDec(text)); });
  QD_FUZZ_CHECK((dbl.error == ErrNo::TypeMismatch) == (dec.error == ErrNo::TypeMismatch),
                Show(text) + " is a number to one of CDbl/CDec only " + where);
  if (dbl.Ok()) {
    const double d = *dbl.value->Get<double>();
    CheckDouble(d, where);
    if (dec.Ok()) {
      const double viaDecimal = dec.value->Get<Decimal>()->ToDouble();
      QD_FUZZ_CHECK(std::fabs(viaDecimal - d) <= std::fabs(d) * 1e-14 + 1e-28,
                    Show(text) + " is " + Digits15(d) + " as Double but " +
                        dec.value->Get<Decimal>()->ToString() + " as Decimal");
    }
  }
  const Outcome lng = Try([&] { return Variant(CLng(text)); });
  if (lng.Ok()) {
    const int32_t v = *lng.value->Get<int32_t>();
    QD_FUZZ_CHECK(dbl.Ok() && ExpectedWhole(*dbl.value->Get<double>(), INT32_MIN, INT32_MAX) == v,
                  Show(text) + " is Long " + std::to_string(v) + " but not that as Double");
    const std::wstring normal = CStr(v);
    QD_FUZZ_CHECK(normal == std::to_wstring(v), "CStr(" + std::to_string(v) + ")");
    QD_FUZZ_CHECK(CLng(normal) == v, Show(normal) + " does not read back as " + std::to_string(v));
  }
  const Outcome date = Try([&] { return Variant(CDate(text)); });
  if (date.Ok()) CheckDateText(date.value->Get<Date>()->value, where);
}

void CheckWhole(int32_t v, bool isInteger, const std::string& where) {
  const Variant value = isInteger ? Variant(static_cast<int16_t>(v)) : Variant(v);
  QD_FUZZ_CHECK(CLng(value) == v, "CLng(" + std::to_string(v) + ")");
  QD_FUZZ_CHECK(CDbl(value) == static_cast<double>(v), "CDbl(" + std::to_string(v) + ")");
  QD_FUZZ_CHECK(CBool(value) == (v != 0), "CBool(" + std::to_string(v) + ")");
  QD_FUZZ_CHECK(Normalized(CDec(value)) == Normalized(Decimal{v, 0}),
                "CDec(" + std::to_string(v) + ")");
  const std::wstring text = CStr(value);
  QD_FUZZ_CHECK(text == std::to_wstring(v), "CStr(" + std::to_string(v) + ") " + Show(text));
  QD_FUZZ_CHECK(CLng(text) == v, Show(text) + " does not read back " + where);
  const auto asInteger = Allowed(value, VarType::Integer, where.c_str());
  QD_FUZZ_CHECK(asInteger.has_value() == (v >= INT16_MIN && v <= INT16_MAX),
                std::to_string(v) + " as Integer");
  if (asInteger) QD_FUZZ_CHECK(*asInteger->Get<int16_t>() == v, std::to_string(v) + " as Integer");
}

}  // namespace

void CheckCoerce(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t head = in.Byte();
  const bool comma = (head & 1) != 0;
  UseLocale(comma);
  const std::string where = comma ? "de_DE.UTF-8" : "C";

  Variant value;
  switch ((head >> 1) & 7) {
    case 0: {
      const std::wstring text = FromUtf8(in.Rest());
      CheckText(text, where);
      value = text;
      break;
    }
    case 1: {
      const auto v = in.Raw<int16_t>();
      CheckWhole(v, true, where);
      value = v;
      break;
    }
    case 2: {
      const auto v = in.Raw<int32_t>();
      CheckWhole(v, false, where);
      value = v;
      break;
    }
    case 3: {
      const auto d = in.Raw<double>();
      CheckDouble(d, where);
      value = d;
      break;
    }
    case 4: {
      const bool b = (in.Byte() & 1) != 0;
      QD_FUZZ_CHECK(CBool(Variant(CStr(b))) == b && CLng(b) == (b ? -1 : 0), "boolean " + where);
      value = b;
      break;
    }
    case 5: {
      const auto days = in.Raw<double>();
      CheckDateText(days, where);
      value = Date{days};
      break;
    }
    case 6: {
      // 96-bit magnitude, a sign and a scale of 0..28: every decimal the type can hold.
      const auto low = in.Raw<uint64_t>();
      const auto high = in.Raw<uint32_t>();
      const uint8_t signScale = in.Byte();
      Decimal d;
      d.mantissa = (static_cast<__int128>(high) << 64) | low;
      if (signScale & 0x80) d.mantissa = -d.mantissa;
      d.scale = static_cast<uint8_t>((signScale & 0x7F) % 29);
      CheckDecimalText(d, where);
      value = d;
      break;
    }
    default:
      value = (in.Byte() & 1) != 0 ? Variant::Null() : Variant();
      break;
  }
  for (VarType to : kAllTypes) Allowed(value, to, where.c_str());
}

}  // namespace QuillData::fuzz

QD_FUZZ_ENTRY(CheckCoerce)
