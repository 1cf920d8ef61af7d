#include "Widen.h"

namespace bench {

void Widen(std::wstring& out, const unsigned char* text, int bytes) {
  const auto n = static_cast<size_t>(bytes > 0 ? bytes : 0);
  bool ascii = true;
  for (size_t i = 0; i < n; ++i) ascii &= text[i] < 0x80;
  if (ascii) {
    out.assign(text, text + n);
    return;
  }
  out.clear();
  for (size_t i = 0; i < n;) {
    unsigned c = text[i];
    const int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
    if (extra > 0) c &= extra == 3 ? 0x07 : extra == 2 ? 0x0F : 0x1F;
    for (int k = 1; k <= extra && i + size_t(k) < n; ++k) c = (c << 6) | (text[i + k] & 0x3F);
    out += wchar_t(c);
    i += size_t(extra) + 1;
  }
}

void Widen16(std::wstring& out, const char16_t* units, size_t count) {
  out.resize(count);
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) {
    const char32_t u = units[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      out[n++] = wchar_t(0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00));
    } else {
      out[n++] = wchar_t(u);
    }
  }
  out.resize(n);
}

}  // namespace bench
