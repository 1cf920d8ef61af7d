// The interface's promises, checked on the SQLite backend: a new database file per test.
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "QuillData/contract/Text.h"
#include "QuillData/sqlite/Schema.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "conformance/ConformanceSuite.h"

namespace QuillData::conformance {
namespace {

// One scratch folder for the program's databases, removed when the tests end.
class ScratchFolder : public ::testing::Environment {
 public:
  static std::filesystem::path NewFile() {
    static int count = 0;
    if (folder_.empty()) {
      std::string pattern =
          (std::filesystem::temp_directory_path() / "quilldata-conf-XXXXXX").string();
      if (mkdtemp(pattern.data()) == nullptr) return {};
      folder_ = pattern;
    }
    return folder_ / ("db" + std::to_string(++count) + ".sqlite");
  }
  void TearDown() override {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }

 private:
  static inline std::filesystem::path folder_;
};

const auto* const kScratch = ::testing::AddGlobalTestEnvironment(new ScratchFolder);

std::filesystem::path gLastFile;

std::shared_ptr<clsQuillData> OpenOnNewFile(const std::shared_ptr<cE>& errors) {
  auto file = ScratchFolder::NewFile();
  if (file.empty()) return nullptr;
  gLastFile = file;
  CreateDatabase(file, false);
  auto db = std::make_shared<clsQuillData_SqlLite>();
  if (!db->OpenDB(nullptr, errors, {L"", file.wstring(), L"0"})) return nullptr;
  return db;
}

// A connection of its own to the last file: the first value of a query, as text.
std::string RunSql(const std::string& sql) {
  clsSqlLite sqlite;
  intptr_t db = 0, stmt = 0, tail = 0;
  std::string value;
  if (sqlite.sqlite3_initialize() != 0 || sqlite.OpenDB(gLastFile.wstring(), db) != 0) {
    throw std::runtime_error("cannot open " + gLastFile.string());
  }
  if (sqlite.sqlite3_prepare_v2(db, FromUtf8(sql), 0, stmt, tail) != 0) {
    throw std::runtime_error(ToUtf8(sqlite.sqlite3_errmsg(db)) + ": " + sql);
  }
  if (sqlite.sqlite3_step(stmt) == 100) value = ToUtf8(sqlite.sqlite3_column_text(stmt, 0));
  sqlite.sqlite3_finalize(stmt);
  sqlite.sqlite3_close(db);
  return value;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sqlite, ConformanceTest,
                         ::testing::Values(Backend{
                             "Sqlite", OpenOnNewFile, RunSql,
                             [] { return std::string("no scratch folder"); }}),
                         BackendName);

}  // namespace QuillData::conformance
