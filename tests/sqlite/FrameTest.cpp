// The backend's frame: opening, failing to open, statement errors, teardown, and the schema
// the database is made from.
#include <fstream>
#include <random>

#include "sqlite/SqliteFixture.h"

namespace QuillData::testing {
namespace {

constexpr int32_t kStatementError = -2147221502;

class FrameTest : public SqliteTest {
 protected:
  // Opens `db` from the library folder `folder`; the result of OpenDB.
  bool OpenFrom(const std::wstring& folder, const std::filesystem::path& db,
                Policy policy = Policy::Leave) {
    errors = std::make_shared<PolicyErrorHandler>(policy);
    backend = std::make_shared<clsQuillData_SqlLite>();
    backend->SetMessageHook([this](const std::wstring& text) { messages.push_back(text); });
    return backend->OpenDB(nullptr, errors, {folder, db.wstring(), L"1"});
  }
  // The reports of statement errors, in order.
  std::vector<PolicyErrorHandler::Report> StatementErrors() const {
    std::vector<PolicyErrorHandler::Report> out;
    for (const auto& r : errors->Reports()) {
      if (r.number == kStatementError && r.source.rfind(L"clsQuillData_", 0) == 0) out.push_back(r);
    }
    return out;
  }

  std::shared_ptr<clsQuillData_SqlLite> backend;
};

TEST_F(FrameTest, OnlyAnExistingDatabaseOpens) {
  // A missing file is not created: a mistyped path fails here, not at every later call.
  EXPECT_FALSE(OpenFrom(L"", Path("new.db")));
  EXPECT_FALSE(std::filesystem::exists(Path("new.db")));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], L"unable to open database file");

  // Random bytes, and a text file, are not databases.
  auto noise = Path("noise.db");
  {
    std::ofstream out(noise, std::ios::binary);
    std::mt19937 random(7);
    for (int i = 0; i < 8192; ++i) out.put(static_cast<char>(random()));
  }
  std::ofstream(Path("notes.txt")) << "not a database, only a few words of text\n";
  for (const auto& path : {noise, Path("notes.txt")}) {
    messages.clear();
    EXPECT_FALSE(OpenFrom(L"", path)) << path;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], L"file is not a database");
  }

  // An empty file is an empty database; a reader there fails on its table and, under
  // "continue", still hands back a collection.
  std::ofstream(Path("empty.db")).close();
  ASSERT_TRUE(OpenFrom(L"", Path("empty.db"), Policy::Continue));
  int32_t count = 42;
  auto rows = backend->GETTblMFGScenario(count);
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->Count(), 0);
  EXPECT_EQ(count, 0);
  auto reports = StatementErrors();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].source, L"clsQuillData_GETTblMFGScenario");
  EXPECT_EQ(reports[0].description, L"no such table: tblMFG_Scenario");
  EXPECT_EQ(reports[0].module, L"clsQuillData_SqlLite");
  EXPECT_EQ(reports[0].procedure, L"clsQuillData_GETTblMFGScenario");
  EXPECT_EQ(reports[0].flag, 0);
}

TEST_F(FrameTest, AFolderWithoutTheLibraryFailsToOpen) {
  std::filesystem::create_directories(Path("nolib"));
  EXPECT_FALSE(OpenFrom(Path("nolib").wstring(), Path("x.db")));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(L"libsqlite3.so.0"), std::wstring::npos) << ToUtf8(messages[0]);
  EXPECT_EQ(gTraceFlag, L"") << "the trace switch is stored only on success";
  EXPECT_FALSE(std::filesystem::exists(Path("x.db")));

  // Later operations answer through the error companion; a reader with an empty collection.
  auto links = backend->GETTblMachLink();
  ASSERT_NE(links, nullptr);
  EXPECT_EQ(links->Count(), 0);
  auto reports = StatementErrors();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].procedure, L"clsQuillData_GETTblMachLink");
  EXPECT_NE(reports[0].description.find(L"SQLite library"), std::wstring::npos);
  backend.reset();  // teardown after a failed open does not crash
}

TEST_F(FrameTest, MissingConnectionArgumentsAreReportedWithFlagTwo) {
  errors = std::make_shared<PolicyErrorHandler>(Policy::Continue);
  backend = std::make_shared<clsQuillData_SqlLite>();
  EXPECT_FALSE(backend->OpenDB(nullptr, errors, {L""}));
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].number, ErrNo::SubscriptOutOfRange);
  EXPECT_EQ(reports[0].module, L"clsQuillData");
  EXPECT_EQ(reports[0].procedure, L"OpenDB");
  EXPECT_EQ(reports[0].flag, 2);
}

TEST_F(FrameTest, WithoutAnErrorCompanionFailuresReachTheCaller) {
  backend = std::make_shared<clsQuillData_SqlLite>();
  try {
    backend->GETTblMachining();
    ADD_FAILURE() << "an operation before OpenDB has no binding";
  } catch (const QuillError& e) {
    EXPECT_EQ(e.Number(), ErrNo::ObjectNotSet);
  }
  std::ofstream(Path("new.db")).close();
  ASSERT_TRUE(backend->OpenDB(nullptr, nullptr, {L"", Path("new.db").wstring(), L""}));
  try {
    backend->GETTblMachining();
    ADD_FAILURE() << "no such table";
  } catch (const QuillError& e) {
    EXPECT_EQ(e.Number(), kStatementError);
    EXPECT_EQ(e.Source(), L"clsQuillData_GETTblMachining");
  }
}

TEST_F(FrameTest, CreateDatabaseLeavesNothingHalfDone) {
  auto path = Path("clash.db");
  // A name the schema's last statement needs is taken by a table of the host's own.
  Exec(path, L"CREATE TABLE Notes (x); CREATE INDEX ixMFG_Scenario_Part ON Notes (x)");
  try {
    CreateDatabase(path, true);
    ADD_FAILURE() << "the last index already exists";
  } catch (const QuillError& e) {
    EXPECT_EQ(e.Number(), kStatementError);
    EXPECT_EQ(e.Source(), L"CreateDatabase");
    EXPECT_EQ(e.Description(), L"index ixMFG_Scenario_Part already exists");
  }
  backend = Open(path, Policy::Continue);
  EXPECT_EQ(backend->GETTblMachining()->Count(), 0);
  ASSERT_EQ(StatementErrors().size(), 1u) << "no table of the schema was left behind";
  EXPECT_EQ(StatementErrors()[0].description, L"no such table: Machining");
}

}  // namespace
}  // namespace QuillData::testing
