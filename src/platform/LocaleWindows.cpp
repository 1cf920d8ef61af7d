#include "platform/Locale.h"

#include <locale.h>
#include <stdlib.h>
#include <windows.h>

#include <cerrno>
#include <cfloat>
#include <cmath>

#include "QuillData/contract/Text.h"

namespace QuillData::platform {

namespace {

// One item of the locale's information; empty when the system has none.
std::wstring LocaleText(LCID locale, LCTYPE item) {
  const int n = GetLocaleInfoW(locale, item, nullptr, 0);
  if (n <= 0) return {};
  std::wstring text(static_cast<size_t>(n), L'\0');
  if (GetLocaleInfoW(locale, item, text.data(), n) <= 0) return {};
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

std::wstring& StandIn() {
  static std::wstring name;
  return name;
}

}  // namespace

void UseLocaleInsteadOfTheUsers(const std::wstring& name) {
  StandIn() = name;
}

LocaleFacts UserLocaleFacts() {
  LocaleFacts facts;
  const std::wstring& standIn = StandIn();
  const LCID locale = standIn.empty() ? GetUserDefaultLCID() : LocaleNameToLCID(standIn.c_str(), 0);
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (!standIn.empty()) {
    facts.name = ToUtf8(standIn);
  } else {
    facts.name = GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0 ? ToUtf8(name) : "C";
  }
  if (locale == 0) return facts;
  facts.decimal = LocaleText(locale, LOCALE_SDECIMAL);
  if (facts.decimal.empty()) return facts;
  facts.known = true;
  facts.thousands = LocaleText(locale, LOCALE_STHOUSAND);

  // The order of day, month and year in the short date format ("dd.MM.yyyy": letters are
  // fields, quoted text is literal), and its first separator.
  const std::wstring format = LocaleText(locale, LOCALE_SSHORTDATE);
  wchar_t last = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    const wchar_t c = format[i];
    if (c == L'\'') {
      const size_t end = format.find(L'\'', i + 1);
      if (end == std::wstring::npos) break;
      if (!facts.dateOrder.empty() && facts.dateSeparator == 0 && end > i + 1)
        facts.dateSeparator = format[i + 1];
      i = end;
      continue;
    }
    const char part = c == L'd' ? 'D' : c == L'M' ? 'M' : c == L'y' ? 'Y' : 0;
    if (part != 0) {
      if (c != last) facts.dateOrder += part;
    } else if (c != L'g' && !facts.dateOrder.empty() && facts.dateSeparator == 0) {
      facts.dateSeparator = c;
    }
    last = c;
  }
  return facts;
}

std::optional<double> CanonicalToDouble(const std::string& canonical) {
  // _strtod_l with the C locale: the text is ASCII with "." whatever the process's locale.
  static const _locale_t cLocale = _create_locale(LC_ALL, "C");
  errno = 0;
  const double value = _strtod_l(canonical.c_str(), nullptr, cLocale);
  if (errno == ERANGE && std::isinf(value)) {
    // 15 significant digits round the largest doubles up past the largest double: such a
    // text still means that double. The exponent one lower reads within range, and is
    // compared with the largest double's 15 digits one lower.
    const size_t e = canonical.find('E');
    if (e == std::string::npos) return std::nullopt;
    const long exponent = std::strtol(canonical.c_str() + e + 1, nullptr, 10);
    const std::string lower = canonical.substr(0, e + 1) + std::to_string(exponent - 1);
    errno = 0;
    const double tenth = _strtod_l(lower.c_str(), nullptr, cLocale);
    static const double limit = _strtod_l("1.79769313486232E307", nullptr, cLocale);
    if (errno == ERANGE || std::fabs(tenth) > limit) return std::nullopt;
    return tenth < 0 ? -DBL_MAX : DBL_MAX;
  }
  return value;
}

}  // namespace QuillData::platform
