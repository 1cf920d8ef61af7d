#pragma once
// Runs a test under a real locale chosen through the environment, and puts the environment
// back afterwards.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "QuillData/contract/Error.h"
#include "QuillData/locale/Locale.h"

namespace QuillData::testing {

// Expects `f` to throw a QuillError with `number`.
template <class F>
void ExpectError(int32_t number, const std::string& what, F&& f) {
  try {
    f();
    ADD_FAILURE() << what << ": no error, expected " << number;
  } catch (const QuillError& e) {
    EXPECT_EQ(e.Number(), number) << what;
  }
}

class LocaleFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    for (size_t i = 0; i < kVars.size(); ++i) {
      const char* v = std::getenv(kVars[i]);
      saved_[i] = v ? std::optional<std::string>(v) : std::nullopt;
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < kVars.size(); ++i) {
      if (saved_[i]) {
        setenv(kVars[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kVars[i]);
      }
    }
    UserLocale::Reload();
  }

  // Makes `name` the user's locale; fails (never skips) when the machine lacks it.
  void UseLocale(const char* name) {
    setenv("LC_ALL", name, 1);
    UserLocale::Reload();
    ASSERT_EQ(UserLocale::Current().Name(), name)
        << "locale " << name << " is not installed (see `locale -a`); "
        << "scripts/bootstrap.sh generates de_DE.UTF-8";
  }

  static constexpr std::array<const char*, 3> kVars = {"LC_ALL", "LC_NUMERIC", "LANG"};
  std::array<std::optional<std::string>, 3> saved_;
};

class GermanLocale : public LocaleFixture {
 protected:
  void SetUp() override {
    LocaleFixture::SetUp();
    UseLocale("de_DE.UTF-8");
    ASSERT_EQ(UserLocale::Current().DecimalSeparator(), L",");
  }
};

class CLocale : public LocaleFixture {
 protected:
  void SetUp() override {
    LocaleFixture::SetUp();
    UseLocale("C.UTF-8");
  }
};

}  // namespace QuillData::testing
