#pragma once
// What the system says of the user's locale, and locale-free number text.
#include <optional>
#include <string>

namespace QuillData::platform {

struct LocaleFacts {
  std::string name;  // the system's name of the locale ("de_DE.UTF-8", "de-DE")
  // Empty when the system could not say; the caller then keeps its defaults.
  std::wstring decimal;
  std::wstring thousands;
  std::string dateOrder;  // the order of day, month and year in the short date ("DMY")
  wchar_t dateSeparator = 0;
  bool known = false;  // false: the system has no such locale, nothing but the name is set
};

// The user's locale as the system keeps it: the environment (LC_ALL, LC_NUMERIC, LANG) on
// POSIX, the user's default locale on Windows. Never the C library's global locale, which a
// host may have set.
LocaleFacts UserLocaleFacts();

// Windows only, for tests: the locale of that name ("de-DE") stands in for the user's
// default from now on (empty: the user's again). On POSIX the environment chooses.
void UseLocaleInsteadOfTheUsers(const std::wstring& name);

// Canonical number text ("-12.5E3": ASCII digits, "." and an exponent) to a double, whatever
// the process's locale. A text that rounds past the largest double only in its last digit
// (the largest double in 15 significant digits) is that double; a larger one has no value.
std::optional<double> CanonicalToDouble(const std::string& canonical);

}  // namespace QuillData::platform
