// Fuzz target: the UTF-8 / UTF-16 conversions of QuillData/contract/Text.h.
// The first byte picks what the rest of the input is read as:
//  - bytes: FromUtf8 accepts anything and yields only Unicode scalar values; an ASCII byte
//    splits the text into pieces that decode alone (the ASCII fast path); valid UTF-8
//    comes back byte for byte through ToUtf8; ToUtf8(FromUtf8(x)) is a fixed point after
//    one round; FromUtf16(ToUtf16(w)) == w; the lengths agree with the code points;
//  - raw 32-bit wide units (lone surrogates, values past U+10FFFF, negative values):
//    ToUtf8/ToUtf16 always give well-formed text, equal to the units with every unit that is
//    not a scalar value replaced by U+FFFD (a high/low surrogate pair counts as one character);
//  - raw 16-bit units: FromUtf16 replaces exactly the lone surrogates by U+FFFD.
#include <string>
#include <string_view>

#include "QuillData/contract/Text.h"
#include "fuzz/FuzzCheck.h"

namespace QuillData::fuzz {

namespace {

bool IsScalar(uint32_t u) {
  return u <= 0x10FFFF && !(u >= 0xD800 && u <= 0xDFFF);
}
bool IsHigh(uint32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(uint32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Well-formed UTF-8 by the table of RFC 3629: no overlong forms, no surrogates, nothing past
// U+10FFFF. Written out here so the check does not lean on the converter it checks.
bool IsWellFormedUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 < 0x80) {
      n = 0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      n = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      n = 2;
      if (b0 == 0xE0) lo = 0xA0;
      if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      n = 3;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (i + n >= s.size()) return false;  // the sequence is cut off
    for (size_t k = 1; k <= n; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return false;
    }
    i += n + 1;
  }
  return true;
}

bool IsWellFormedUtf16(std::u16string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (IsHigh(s[i]) && i + 1 < s.size() && IsLow(s[i + 1])) {
      ++i;
    } else if (IsHigh(s[i]) || IsLow(s[i])) {
      return false;
    }
  }
  return true;
}

bool AllScalar(std::wstring_view w) {
  for (size_t i = 0; i < w.size(); ++i) {
    const auto u = static_cast<uint32_t>(w[i]);
    // A 16-bit wchar_t holds a character above U+FFFF as a surrogate pair.
    if (sizeof(wchar_t) == 2 && IsHigh(u) && i + 1 < w.size() &&
        IsLow(static_cast<uint32_t>(w[i + 1]))) {
      ++i;
    } else if (!IsScalar(u)) {
      return false;
    }
  }
  return true;
}

size_t Utf16Length(std::wstring_view scalars) {
  size_t n = 0;
  for (wchar_t c : scalars) {
    const uint32_t u = static_cast<uint32_t>(c);  // a 16-bit wchar_t holds no such value
    n += u > 0xFFFF ? 2 : 1;
  }
  return n;
}

// What wide text means once it leaves the library: surrogate pairs joined, every other unit
// that is not a scalar value replaced.
std::wstring Cleaned(std::wstring_view w) {
  std::wstring out;
  for (size_t i = 0; i < w.size(); ++i) {
    const auto u = static_cast<uint32_t>(w[i]);
    if (IsHigh(u) && i + 1 < w.size() && IsLow(static_cast<uint32_t>(w[i + 1]))) {
      const auto low = static_cast<uint32_t>(w[++i]);
      if constexpr (sizeof(wchar_t) == 2) {
        out.append({static_cast<wchar_t>(u), static_cast<wchar_t>(low)});  // UTF-16 keeps it
      } else {
        out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
      }
    } else {
      out.push_back(IsScalar(u) ? w[i] : L'\uFFFD');
    }
  }
  return out;
}

void CheckBytes(std::string_view bytes) {
  const std::wstring w = FromUtf8(bytes);
  QD_FUZZ_CHECK(AllScalar(w), "FromUtf8 produced a non-scalar unit from " + Show(bytes));
  QD_FUZZ_CHECK(w.size() <= bytes.size(), "FromUtf8 grew " + Show(bytes));
  const std::string u8 = ToUtf8(w);
  QD_FUZZ_CHECK(IsWellFormedUtf8(u8), "ToUtf8 made ill-formed text of " + Show(bytes));
  if (IsWellFormedUtf8(bytes)) {
    QD_FUZZ_CHECK(u8 == bytes, "valid UTF-8 changed: " + Show(bytes) + " -> " + Show(u8));
    size_t starts = 0;  // one unit per character, two above U+FFFF in UTF-16
    for (char c : bytes) {
      const auto b = static_cast<unsigned char>(c);
      starts += ((b & 0xC0) != 0x80) + (sizeof(wchar_t) == 2 && b >= 0xF0);
    }
    QD_FUZZ_CHECK(w.size() == starts, "character count of " + Show(bytes));
  } else {
    QD_FUZZ_CHECK(w.find(L'\uFFFD') != std::wstring::npos,
                  "ill-formed input without a replacement: " + Show(bytes));
  }
  // One round makes it a fixed point.
  QD_FUZZ_CHECK(FromUtf8(u8) == w, "FromUtf8(ToUtf8(w)) != w for " + Show(bytes));

  // ASCII runs are copied without the decoder: an ASCII byte between two pieces of text
  // decodes as itself and leaves both pieces as they decode alone, wherever it falls (inside
  // a sequence as well). Into a string holding text already, the result is the same.
  const size_t cut = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]) % (bytes.size() + 1);
  const std::string_view head = bytes.substr(0, cut), tail = bytes.substr(cut);
  const std::string joined = std::string(head) + "Z" + std::string(tail);
  QD_FUZZ_CHECK(FromUtf8(joined) == FromUtf8(head) + L"Z" + FromUtf8(tail),
                "an ASCII byte changed its neighbours in " + Show(joined));
  std::wstring reused(bytes.size() % 40, L'x');
  AssignUtf8(reused, bytes);
  QD_FUZZ_CHECK(reused == w, "AssignUtf8 into used storage differs for " + Show(bytes));

  const std::u16string u16 = ToUtf16(w);
  QD_FUZZ_CHECK(u16.size() == Utf16Length(w), "UTF-16 length of " + Show(bytes));
  QD_FUZZ_CHECK(FromUtf16(u16) == w, "FromUtf16(ToUtf16(w)) != w for " + Show(bytes));
}

void CheckWideUnits(std::wstring_view w) {
  const std::wstring expected = Cleaned(w);
  const std::string u8 = ToUtf8(w);
  QD_FUZZ_CHECK(IsWellFormedUtf8(u8), "ToUtf8 made ill-formed text of " + Show(w));
  QD_FUZZ_CHECK(FromUtf8(u8) == expected,
                "ToUtf8 of " + Show(w) + " reads back as " + Show(FromUtf8(u8)));
  const std::u16string u16 = ToUtf16(w);
  QD_FUZZ_CHECK(IsWellFormedUtf16(u16), "ToUtf16 made ill-formed text of " + Show(w));
  QD_FUZZ_CHECK(FromUtf16(u16) == expected,
                "ToUtf16 of " + Show(w) + " reads back as " + Show(FromUtf16(u16)));
}

void CheckUtf16Units(std::u16string_view units) {
  const std::wstring w = FromUtf16(units);
  QD_FUZZ_CHECK(AllScalar(w), "FromUtf16 produced a non-scalar unit from " + Show(units));
  std::u16string expected;
  for (size_t i = 0; i < units.size(); ++i) {
    if (IsHigh(units[i]) && i + 1 < units.size() && IsLow(units[i + 1])) {
      expected.push_back(units[i]);
      expected.push_back(units[++i]);
    } else {
      expected.push_back(IsHigh(units[i]) || IsLow(units[i]) ? u'\uFFFD' : units[i]);
    }
  }
  QD_FUZZ_CHECK(ToUtf16(w) == expected,
                "FromUtf16 of " + Show(units) + " converts back as " + Show(ToUtf16(w)));
}

}  // namespace

void CheckText(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t mode = in.Byte() % 3;
  const std::string_view rest = in.Rest();
  if (mode == 0) {
    CheckBytes(rest);
  } else if (mode == 1) {
    std::wstring w(rest.size() / sizeof(wchar_t), L'\0');
    std::memcpy(w.data(), rest.data(), w.size() * sizeof(wchar_t));
    CheckWideUnits(w);
  } else {
    std::u16string u(rest.size() / sizeof(char16_t), u'\0');
    std::memcpy(u.data(), rest.data(), u.size() * sizeof(char16_t));
    CheckUtf16Units(u);
  }
}

}  // namespace QuillData::fuzz

QD_FUZZ_ENTRY(CheckText)
