#pragma once
// A scratch folder per test, databases made from the shipped schema, and a backend opened
// with a recording error companion. The module-wide companions and the locale are put back
// after each test.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "QuillData/contract/Companions.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "QuillData/sqlite/Schema.h"
#include "QuillData/sqlite/clsQuillData_SqlLite.h"
#include "QuillData/sqlite/clsSqlLite.h"
#include "locale/LocaleFixture.h"

namespace QuillData::testing {

using Policy = PolicyErrorHandler::Policy;

class SqliteTest : public LocaleFixture {
 protected:
  void SetUp() override {
    LocaleFixture::SetUp();
    std::string pattern = (std::filesystem::temp_directory_path() / "quilldata-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    ResetModule();
  }
  void TearDown() override {
    ResetModule();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    LocaleFixture::TearDown();
  }
  static void ResetModule() {
    gE.reset();
    gSP.reset();
    gTraceFlag.clear();
    clsQuillData_SqlLite::SetDefaultMessageHook(nullptr);
  }

  std::filesystem::path Path(const std::string& name) const { return dir_ / name; }

  // A database with the whole schema (and the sample rows).
  std::filesystem::path NewDatabase(bool withSample = false, const std::string& name = "test.db") {
    auto path = Path(name);
    CreateDatabase(path, withSample);
    return path;
  }

  // Runs SQL on the file through a binding of its own; fails the test on an error.
  static void Exec(const std::filesystem::path& db, const std::wstring& sql) {
    clsSqlLite sqlite;
    ASSERT_EQ(sqlite.sqlite3_initialize(), 0);
    intptr_t handle = 0;
    ASSERT_EQ(sqlite.OpenDB(db.wstring(), handle), 0);
    EXPECT_EQ(sqlite.sqlite3_exec(handle, sql), 0) << ToUtf8(sqlite.sqlite3_errmsg(handle));
    sqlite.sqlite3_close(handle);
    sqlite.sqlite3_shutdown();
  }

  // A backend opened on `db` whose failures go to `errors` (kept for inspection).
  std::shared_ptr<clsQuillData_SqlLite> Open(const std::filesystem::path& db,
                                             Policy policy = Policy::Leave, int retries = 0) {
    errors = std::make_shared<PolicyErrorHandler>(policy, retries);
    auto backend = std::make_shared<clsQuillData_SqlLite>();
    backend->SetMessageHook([this](const std::wstring& text) { messages.push_back(text); });
    bool opened = backend->OpenDB(nullptr, errors, {L"", db.wstring(), L"0"});
    EXPECT_TRUE(opened) << "open " << db;
    return backend;
  }

  std::filesystem::path dir_;
  std::shared_ptr<PolicyErrorHandler> errors;
  std::vector<std::wstring> messages;
};

// The keys of a collection, in order.
inline std::vector<std::wstring> Keys(const Tessera::Collection& c) {
  std::vector<std::wstring> keys;
  for (int32_t i = 1; i <= c.Count(); ++i) keys.push_back(c.KeyAt(i).value_or(L"<none>"));
  return keys;
}

}  // namespace QuillData::testing
