// The interface's promises, checked on the SQLite backend: a new database file per test.
#include <filesystem>
#include <string>

#include "QuillData/sqlite/Schema.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "conformance/ConformanceSuite.h"
#include "sqlite/SqliteFixture.h"
#include "support/TestSupport.h"

namespace QuillData::conformance {
namespace {

std::filesystem::path gLastFile;

std::shared_ptr<clsQuillData> OpenOnNewFile(const std::shared_ptr<cE>& errors) {
  static test::ScratchDir scratch;  // removed when the program ends
  static int count = 0;
  gLastFile = scratch / ("db" + std::to_string(++count) + ".sqlite");
  CreateDatabase(gLastFile, false);
  auto db = std::make_shared<clsQuillData_SqlLite>();
  EXPECT_TRUE(db->OpenDB(nullptr, errors, {L"", gLastFile.wstring(), L"0"})) << gLastFile;
  return db;
}

// A connection of its own to the last file: the first value of a query, as text.
std::string RunSql(const std::string& sql) {
  auto rows = testing::RawDb(gLastFile).Query(sql);
  return rows.empty() ? std::string() : rows[0][0];
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sqlite, ConformanceTest,
                         ::testing::Values(Backend{"Sqlite", OpenOnNewFile, RunSql,
                                                   [] { return std::string(); }}),
                         BackendName);

}  // namespace QuillData::conformance
