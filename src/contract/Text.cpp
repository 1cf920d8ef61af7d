#include "QuillData/contract/Text.h"

#include <utf8.h>

#include <cstdint>
#include <cstring>
#include <iterator>

#include "QuillData/contract/Error.h"

namespace QuillData {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}
bool IsScalarValue(uint32_t u) {
  return u <= 0x10FFFF && !(u >= 0xD800 && u <= 0xDFFF);
}

std::wstring Hex(uint32_t u) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring out;
  int shift = 12;  // at least four digits, as U+ notation writes them
  while (shift < 28 && (u >> (shift + 4)) != 0) shift += 4;
  for (; shift >= 0; shift -= 4) out += kDigits[(u >> shift) & 0xF];
  return out;
}

// Valid UTF-8 into wide characters: one per code point where wchar_t has 32 bits, UTF-16 (a
// surrogate pair above U+FFFF) where it has 16, as on Windows.
template <class It>
wchar_t* Utf8ToWide(It begin, It end, wchar_t* out) {
  if constexpr (sizeof(wchar_t) == 2) {
    return utf8::unchecked::utf8to16(begin, end, out);
  } else {
    return utf8::unchecked::utf8to32(begin, end, out);
  }
}

}  // namespace

void RequireValidText(std::wstring_view text, std::wstring_view what) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto u = static_cast<uint32_t>(text[i]);
    if (u != 0 && IsScalarValue(u)) continue;
    if (IsHighSurrogate(u) && i + 1 < text.size() &&
        IsLowSurrogate(static_cast<uint32_t>(text[i + 1]))) {
      ++i;
      continue;
    }
    const std::wstring where = L" at character " + std::to_wstring(i + 1);
    std::wstring why = u == 0 ? std::wstring(L" holds a NUL character") + where +
                                    L": a text with NUL characters cannot be stored as it is"
                       : u <= 0x10FFFF
                           ? L" holds U+" + Hex(u) + where +
                                 L", a lone surrogate, which is no character: it cannot be stored"
                           : L" holds the value " + Hex(u) + where +
                                 L", which is no character: it cannot be stored";
    throw QuillError(ErrNo::InvalidProcedureCall, L"QuillData", std::wstring(what) + why);
  }
}

std::string ToUtf8(std::wstring_view text) {
  // ASCII, the common case, in one tight loop first.
  size_t ascii = 0;
  while (ascii < text.size() && static_cast<uint32_t>(text[ascii]) < 0x80) ++ascii;
  std::string out(ascii, '\0');
  for (size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(text[i]);
  if (ascii == text.size()) return out;
  out.reserve(text.size());
  auto sink = std::back_inserter(out);
  for (size_t i = ascii; i < text.size(); ++i) {
    const auto cp = static_cast<uint32_t>(text[i]);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (IsHighSurrogate(cp) && i + 1 < text.size() &&
               IsLowSurrogate(static_cast<uint32_t>(text[i + 1]))) {
      // A UTF-16 pair that reached a wide string unjoined: keep the character it stands for.
      const char16_t pair[2] = {static_cast<char16_t>(cp), static_cast<char16_t>(text[i + 1])};
      utf8::unchecked::utf16to8(pair, pair + 2, sink);
      ++i;
    } else if (IsScalarValue(cp)) {
      utf8::unchecked::append(cp, sink);
    } else {
      utf8::unchecked::append(kReplacement, sink);
    }
  }
  return out;
}

std::wstring FromUtf8(std::string_view bytes) {
  std::wstring out;
  AssignUtf8(out, bytes);
  return out;
}

void AssignUtf8(std::wstring& out, std::string_view bytes) {
  // Every byte gives at most one character, an invalid one as well (U+FFFD for one or more).
  out.resize(bytes.size());
  wchar_t* d = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    // An ASCII run is copied as it is, eight bytes at a time while none has the high bit.
    for (uint64_t word = 0; i + 8 <= n; i += 8) {
      std::memcpy(&word, p + i, 8);
      if ((word & 0x8080808080808080ULL) != 0) break;
      for (size_t k = 0; k < 8; ++k) *d++ = static_cast<wchar_t>(p[i + k]);
    }
    while (i < n && p[i] < 0x80) *d++ = static_cast<wchar_t>(p[i++]);
    if (i == n) break;
    // The bytes up to the next ASCII one go through the full decoder: an ASCII byte never
    // continues a sequence, so cutting there decodes as the whole text would.
    const size_t start = i;
    while (i < n && p[i] >= 0x80) ++i;
    const std::string_view run = bytes.substr(start, i - start);
    if (utf8::is_valid(run.begin(), run.end())) {
      d = Utf8ToWide(run.begin(), run.end(), d);
    } else {
      std::string clean;
      clean.reserve(run.size() * 3);
      utf8::replace_invalid(run.begin(), run.end(), std::back_inserter(clean),
                            static_cast<uint32_t>(kReplacement));
      d = Utf8ToWide(clean.begin(), clean.end(), d);
    }
  }
  out.resize(static_cast<size_t>(d - out.data()));
}

std::u16string ToUtf16(std::wstring_view text) {
  const std::string utf8 = ToUtf8(text);  // already free of invalid code points
  std::u16string out;
  out.reserve(text.size());
  utf8::unchecked::utf8to16(utf8.begin(), utf8.end(), std::back_inserter(out));
  return out;
}

std::wstring FromUtf16(std::u16string_view units) {
  std::wstring out;
  AssignUtf16(out, units);
  return out;
}

void AssignUtf16(std::wstring& out, std::u16string_view units) {
  // Every unit gives at most one character: a pair gives one (its two units where wchar_t has
  // 16 bits), a lone surrogate U+FFFD.
  out.resize(units.size());
  wchar_t* d = out.data();
  const size_t n = units.size();
  // Text without surrogates, the usual case, widens unit by unit in one tight loop.
  bool surrogates = false;
  for (char16_t u : units) surrogates |= (u & 0xF800) == 0xD800;
  if (!surrogates) {
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<wchar_t>(units[i]);
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    const uint32_t u = units[i];
    if (!IsHighSurrogate(u) && !IsLowSurrogate(u)) {
      *d++ = static_cast<wchar_t>(u);
    } else if (IsHighSurrogate(u) && i + 1 < n && IsLowSurrogate(units[i + 1])) {
      if constexpr (sizeof(wchar_t) == 2) {
        *d++ = static_cast<wchar_t>(u);  // a 16-bit wchar_t keeps the pair
        *d++ = static_cast<wchar_t>(units[i + 1]);
      } else {
        char bytes[4];
        d = Utf8ToWide(bytes, utf8::unchecked::utf16to8(&units[i], &units[i] + 2, bytes), d);
      }
      ++i;
    } else {
      *d++ = static_cast<wchar_t>(kReplacement);
    }
  }
  out.resize(static_cast<size_t>(d - out.data()));
}

}  // namespace QuillData
