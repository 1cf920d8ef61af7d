#include "platform/Locale.h"

#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace QuillData::platform {

namespace {

std::string EnvironmentLocaleName() {
  for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

// Text the locale gives (separators, date format) in that locale's own character set. A
// sequence it cannot decode ends the text: the caller then keeps its defaults.
std::wstring Decoded(const char* bytes, locale_t loc) {
  const locale_t previous = uselocale(loc);
  std::mbstate_t state{};
  std::wstring out(std::strlen(bytes), L'\0');
  const size_t n = std::mbsrtowcs(out.data(), &bytes, out.size(), &state);
  uselocale(previous);
  out.resize(n == static_cast<size_t>(-1) ? 0 : n);
  return out;
}

}  // namespace

LocaleFacts UserLocaleFacts() {
  LocaleFacts facts;
  facts.name = EnvironmentLocaleName();
  locale_t loc = newlocale(LC_ALL_MASK, facts.name.c_str(), static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) {
    // Short literals are assigned by character throughout: g++ 12 at -O2 takes a literal
    // assignment to a std::string here for an overlapping copy (a false -Wrestrict).
    facts.name.assign(1, 'C');
    loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  }
  if (loc == static_cast<locale_t>(nullptr)) return facts;
  facts.known = true;
  facts.decimal = Decoded(nl_langinfo_l(RADIXCHAR, loc), loc);
  facts.thousands = Decoded(nl_langinfo_l(THOUSEP, loc), loc);
  const std::wstring format = Decoded(nl_langinfo_l(D_FMT, loc), loc);
  freelocale(loc);

  // The order of day, month and year in the short date format (strftime's notation), and its
  // first separator.
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != L'%') {
      if (!facts.dateOrder.empty() && facts.dateSeparator == 0) facts.dateSeparator = format[i];
      continue;
    }
    if (++i >= format.size()) break;
    if (format[i] == L'E' || format[i] == L'O') {
      if (++i >= format.size()) break;
    }
    switch (format[i]) {
      case L'd':
      case L'e':
        facts.dateOrder += 'D';
        break;
      case L'm':
      case L'b':
      case L'B':
      case L'h':
        facts.dateOrder += 'M';
        break;
      case L'y':
      case L'Y':
        facts.dateOrder += 'Y';
        break;
      case L'D':
        for (char part : {'M', 'D', 'Y'}) facts.dateOrder.push_back(part);
        if (facts.dateSeparator == 0) facts.dateSeparator = L'/';
        break;
      case L'F':
        for (char part : {'Y', 'M', 'D'}) facts.dateOrder.push_back(part);
        if (facts.dateSeparator == 0) facts.dateSeparator = L'-';
        break;
      default:
        break;
    }
  }
  return facts;
}

std::optional<double> CanonicalToDouble(const std::string& canonical) {
  // strtod_l with the C locale: the text is ASCII with "." whatever the process's locale.
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  errno = 0;
  const double value = strtod_l(canonical.c_str(), nullptr, cLocale);
  if (errno == ERANGE && std::isinf(value)) {
    // 15 significant digits round the largest doubles up past the largest double: such a
    // text still means that double, or the largest double could not be read back.
    errno = 0;
    const long double wide = strtold_l(canonical.c_str(), nullptr, cLocale);
    if (std::fabs(wide) > 1.79769313486232e308L) return std::nullopt;
    return wide < 0 ? -DBL_MAX : DBL_MAX;
  }
  return value;
}

}  // namespace QuillData::platform
