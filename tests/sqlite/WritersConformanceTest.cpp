// The interface's promises, checked on the SQLite backend: a new database file per test.
#include <stdlib.h>

#include <filesystem>

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

std::shared_ptr<clsQuillData> OpenOnNewFile(const std::shared_ptr<cE>& errors) {
  auto file = ScratchFolder::NewFile();
  if (file.empty()) return nullptr;
  CreateDatabase(file, false);
  auto db = std::make_shared<clsQuillData_SqlLite>();
  if (!db->OpenDB(nullptr, errors, {L"", file.wstring(), L"0"})) return nullptr;
  return db;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sqlite, ConformanceTest,
                         ::testing::Values(Backend{
                             "Sqlite", OpenOnNewFile,
                             [] { return std::string("no scratch folder"); }}),
                         BackendName);

}  // namespace QuillData::conformance
