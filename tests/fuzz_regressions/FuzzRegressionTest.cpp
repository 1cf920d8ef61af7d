// Every saved fuzz input -- the seed corpora and the inputs that once made a target fail --
// goes through the check its fuzz target runs, so a fault a fuzzer found stays found without
// a fuzzer. A failed property is reported at the line of the check, with the input's path.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"

namespace QuillData::fuzz {
namespace {

namespace fs = std::filesystem;

struct Target {
  const char* name;  // the folder under fuzz/corpus/ and here
  void (*check)(const uint8_t*, size_t);
};
void PrintTo(const Target& target, std::ostream* os) {
  *os << target.name;
}

std::vector<fs::path> SavedInputs(const std::string& target) {
  std::vector<fs::path> files;
  for (const fs::path& dir :
       {fs::path(QUILLDATA_SOURCE_DIR) / "fuzz" / "corpus" / target,
        fs::path(QUILLDATA_SOURCE_DIR) / "tests" / "fuzz_regressions" / target}) {
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

class SavedFuzzInputs : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    Sink() = [](const char* file, int line, const std::string& what) {
      ADD_FAILURE_AT(file, line) << what;
    };
  }
  void TearDown() override { Sink() = nullptr; }
};

TEST_P(SavedFuzzInputs, PassTheirTargetsChecks) {
  const auto files = SavedInputs(GetParam().name);
  ASSERT_FALSE(files.empty()) << "no saved inputs for " << GetParam().name;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    try {
      GetParam().check(bytes.data(), bytes.size());
    } catch (const CheckFailed&) {
      // Already reported; the next input is checked on its own.
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, SavedFuzzInputs,
                         ::testing::Values(Target{"text", CheckText},
                                           Target{"sql_text", CheckSqlText},
                                           Target{"coerce", CheckCoerce}, Target{"cli", CheckCli}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace QuillData::fuzz
