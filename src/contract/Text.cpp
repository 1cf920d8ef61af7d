#include "QuillData/contract/Text.h"

#include <utf8.h>

#include <iterator>

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

}  // namespace

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  auto sink = std::back_inserter(out);
  for (size_t i = 0; i < text.size(); ++i) {
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
  out.reserve(bytes.size());
  if (utf8::is_valid(bytes.begin(), bytes.end())) {
    utf8::unchecked::utf8to32(bytes.begin(), bytes.end(), std::back_inserter(out));
  } else {
    std::string clean;
    clean.reserve(bytes.size() + 8);
    utf8::replace_invalid(bytes.begin(), bytes.end(), std::back_inserter(clean),
                          static_cast<uint32_t>(kReplacement));
    utf8::unchecked::utf8to32(clean.begin(), clean.end(), std::back_inserter(out));
  }
  return out;
}

std::u16string ToUtf16(std::wstring_view text) {
  const std::string utf8 = ToUtf8(text);  // already free of invalid code points
  std::u16string out;
  out.reserve(text.size());
  utf8::unchecked::utf8to16(utf8.begin(), utf8.end(), std::back_inserter(out));
  return out;
}

std::wstring FromUtf16(std::u16string_view units) {
  // Lone surrogates become U+FFFD before the (then well-formed) text is converted.
  std::u16string clean;
  bool needsClean = false;
  for (size_t i = 0; i < units.size(); ++i) {
    if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i])) {
      needsClean = true;
      break;
    }
  }
  if (needsClean) {
    clean.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
      if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
        clean.push_back(units[i]);
        clean.push_back(units[++i]);
      } else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i])) {
        clean.push_back(static_cast<char16_t>(kReplacement));
      } else {
        clean.push_back(units[i]);
      }
    }
    units = clean;
  }
  std::string utf8;
  utf8.reserve(units.size());
  utf8::unchecked::utf16to8(units.begin(), units.end(), std::back_inserter(utf8));
  std::wstring out;
  out.reserve(units.size());
  utf8::unchecked::utf8to32(utf8.begin(), utf8.end(), std::back_inserter(out));
  return out;
}

}  // namespace QuillData
