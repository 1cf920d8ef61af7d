#pragma once
// What the data-access interface promises, whatever the store behind it: identifiers found
// instead of duplicated, keys and counts of the readers, rows written and changed by the
// writers, deletes across tables, and failures reported through the error companion with
// nothing written.
//
// A backend's test program instantiates the suite with a factory that opens the backend on an
// empty store of its own for every test:
//
//   INSTANTIATE_TEST_SUITE_P(Postgres, ConformanceTest,
//                            ::testing::Values(conformance::Backend{"Postgres", OpenOnNewDb}),
//                            conformance::BackendName);
//
// and compiles tests/conformance/ConformanceSuite.cpp into the same program.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "QuillData/contract/Companions.h"
#include "QuillData/contract/clsQuillData.h"
#include "locale/LocaleFixture.h"

namespace QuillData::conformance {

struct Backend {
  std::string name;
  // A backend opened (OpenDB done, tracing off) on an empty store of its own, with `errors` as
  // its error companion. An empty pointer skips the test (skipReason says why).
  std::function<std::shared_ptr<clsQuillData>(const std::shared_ptr<cE>& errors)> open;
  // Runs SQL text on the store that `open` made last, beside the backend: a statement, or a
  // query whose first value comes back as text ("" when there is none). Written with quoted
  // column names ("MachID"), the same text works on every store.
  std::function<std::string(const std::string& sql)> sql;
  std::function<std::string()> skipReason;
};

inline void PrintTo(const Backend& backend, std::ostream* os) {
  *os << backend.name;
}

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param.name;
}

class ConformanceTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The test expects failures to be reported; TearDown then does not insist on none.
  void ExpectErrors() { errorsExpected_ = true; }
  // SQL text on the backend's store (Backend::sql).
  std::string Sql(const std::string& sql) { return GetParam().sql(sql); }
  // Runs the rest of the test under a comma locale (de_DE.UTF-8), as the user's locale and
  // the global C locale; TearDown puts both back.
  void UseCommaLocale();

  std::shared_ptr<clsQuillData> db;
  std::shared_ptr<PolicyErrorHandler> errors;

 private:
  bool errorsExpected_ = false;
  std::optional<testing::SavedLocaleEnvironment> savedLocale_;
};

}  // namespace QuillData::conformance
