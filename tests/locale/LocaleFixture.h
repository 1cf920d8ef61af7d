#pragma once
// Runs a test under a real locale chosen through the environment, and puts the environment
// back afterwards.
#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "QuillData/locale/Locale.h"

namespace QuillData::testing {

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
    UserLocale::Reload();
  }

 private:
  std::string cLocale_;
  static constexpr std::array<const char*, 3> kVars = {"LC_ALL", "LC_NUMERIC", "LANG"};
  std::array<std::optional<std::string>, 3> saved_;
};

// Makes `name` the user's locale; fails (never skips) when the machine lacks it.
inline void UseLocale(const char* name) {
  setenv("LC_ALL", name, 1);
  UserLocale::Reload();
  ASSERT_EQ(UserLocale::Current().Name(), name)
      << "locale " << name << " is not installed (see `locale -a`); "
      << "scripts/bootstrap.sh generates de_DE.UTF-8";
}

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
