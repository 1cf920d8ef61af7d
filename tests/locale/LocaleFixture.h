#pragma once
// Runs a test under a real locale, chosen through the environment (on Windows, where the
// user's locale is the process's, by putting the named one in its place), and puts the
// environment back afterwards.
#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "QuillData/contract/Text.h"
#include "QuillData/locale/Locale.h"
#include "platform/Locale.h"
#include "support/TestSupport.h"

namespace QuillData::testing {

#ifdef _WIN32
// The C library's name of a comma locale, for a host that sets it globally.
constexpr const char* kGermanCLocale = "German_Germany.1252";

// Makes the Windows locale that stands for `name` ("de_DE.UTF-8": de-DE; "C.UTF-8": en-US)
// the user's: the user's own when it is that one (a run under LANG=de_DE.UTF-8), else in its
// place.
inline void UseLocale(const char* name) {
  const std::wstring windowsName = std::string(name).starts_with("de_DE") ? L"de-DE" : L"en-US";
  platform::UseLocaleInsteadOfTheUsers(L"");
  UserLocale::Reload();
  if (UserLocale::Current().Name() != ToUtf8(windowsName)) {
    platform::UseLocaleInsteadOfTheUsers(windowsName);
    UserLocale::Reload();
  }
  ASSERT_EQ(UserLocale::Current().Name(), ToUtf8(windowsName));
}
inline void ForgetStandInLocale() {
  platform::UseLocaleInsteadOfTheUsers(L"");
}
#else
constexpr const char* kGermanCLocale = "de_DE.UTF-8";

// Makes `name` the user's locale; fails (never skips) when the machine lacks it.
inline void UseLocale(const char* name) {
  setenv("LC_ALL", name, 1);
  UserLocale::Reload();
  ASSERT_EQ(UserLocale::Current().Name(), name)
      << "locale " << name << " is not installed (see `locale -a`); "
      << "scripts/bootstrap.sh generates de_DE.UTF-8";
}
inline void ForgetStandInLocale() {}  // the environment, put back, chooses
#endif

// Saves the environment's locale variables and the global C locale, and puts them back, with
// the user's locale, when it goes.
class SavedLocaleEnvironment {
 public:
  SavedLocaleEnvironment() : cLocale_(setlocale(LC_ALL, nullptr)) {
    for (size_t i = 0; i < kVars.size(); ++i) {
      const char* v = std::getenv(kVars[i]);
      saved_[i] = v ? std::optional<std::string>(v) : std::nullopt;
    }
  }
  ~SavedLocaleEnvironment() {
    for (size_t i = 0; i < kVars.size(); ++i) {
      if (saved_[i]) {
        setenv(kVars[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kVars[i]);
      }
    }
    setlocale(LC_ALL, cLocale_.c_str());
    ForgetStandInLocale();
    UserLocale::Reload();
  }

 private:
  std::string cLocale_;
  static constexpr std::array<const char*, 3> kVars = {"LC_ALL", "LC_NUMERIC", "LANG"};
  std::array<std::optional<std::string>, 3> saved_;
};

class LocaleFixture : public ::testing::Test {
 protected:
  SavedLocaleEnvironment savedLocale_;
};

class GermanLocale : public LocaleFixture {
 protected:
  void SetUp() override {
    UseLocale("de_DE.UTF-8");
    ASSERT_EQ(UserLocale::Current().DecimalSeparator(), L",");
  }
};

class CLocale : public LocaleFixture {
 protected:
  void SetUp() override { UseLocale("C.UTF-8"); }
};

}  // namespace QuillData::testing
