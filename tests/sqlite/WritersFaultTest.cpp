// The writers when the database cannot take a write: locked by another connection, a file
// the process may only read, a table missing half-way through a multi-table delete.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sqlite/WritersFixture.h"

namespace QuillData::testing {
namespace {

class WritersLockTest : public WritersTest {
 protected:
  void SetUp() override {
    WritersTest::SetUp();
    Raw("INSERT INTO tblConstruction_Scenario_Types VALUES (1, 'Base', 'd');"
        "INSERT INTO tblGlobal_Face_Contour_Links (fldPartTypeID, fldConstScenarioID) VALUES ('1', "
        "1);"
        "INSERT INTO Machining (MachID, MachName, MachLibID) VALUES (1, 'm', 1);"
        "INSERT INTO MachRouting (lngMachRoutingID, MachID) VALUES (1, 1);");
    locker = std::make_unique<RawDb>(file);
    // An open write transaction elsewhere, with a change of its own that will be undone.
    ASSERT_EQ(locker->Exec("BEGIN IMMEDIATE; INSERT INTO MachLink (MachLinkID) VALUES (99)"),
              SQLITE_OK);
  }
  void TearDown() override {
    locker.reset();
    WritersTest::TearDown();
  }
  void Release() { EXPECT_EQ(locker->Exec("ROLLBACK"), SQLITE_OK) << locker->Error(); }

  // The writers below, each of a different shape, on a backend whose companion is `handler`.
  void RunWriters(const std::shared_ptr<cE>& handler) {
    auto backend = std::make_shared<clsQuillData_SqlLite>();
    ASSERT_TRUE(backend->OpenDB(nullptr, handler, {L"", file.wstring(), L"0"}));
    // The lock outlasts any wait: a short one keeps the test fast.
    sqlite3_busy_timeout(reinterpret_cast<sqlite3*>(backend->DatabaseHandle()), 50);
    ids.push_back(backend->INSERTMachining(L"new", L"g", 1, 0, 0, 0));
    backend->DELMachining(1);
    backend->INSERTCopyMachiningScenario(1, L"Copy");
  }

  std::unique_ptr<RawDb> locker;
  std::vector<int32_t> ids;
};

TEST_F(WritersLockTest, ALockedDatabaseIsReportedAndRetriedOnceTheLockIsGone) {
  auto handler = std::make_shared<RetryAfter>([this] { Release(); });
  RunWriters(handler);
  EXPECT_EQ(handler->seen, std::vector<std::wstring>{L"database is locked"});
  EXPECT_EQ(handler->procedures, std::vector<std::wstring>{L"clsQuillData_INSERTMachining"});
  EXPECT_GT(ids[0], 0);
  EXPECT_EQ(One("SELECT MachName FROM Machining"), "new");
  EXPECT_EQ(Count("MachRouting"), 0);
  EXPECT_EQ(Count("tblGlobal_Face_Contour_Links"), 2);
  EXPECT_EQ(Count("MachLink"), 0) << "the other connection's change was undone";
}

TEST_F(WritersLockTest, LeavingALockedWriteWritesNothing) {
  Snapshot before = Dump();
  auto handler = std::make_shared<PolicyErrorHandler>(Policy::Leave);
  RunWriters(handler);
  EXPECT_EQ(ids[0], 0);
  auto reports = handler->Reports();
  ASSERT_EQ(reports.size(), 3u);
  for (const auto& r : reports) EXPECT_EQ(r.description, L"database is locked");
  EXPECT_EQ(reports[2].procedure, L"clsQuillData_INSERTCopyMachiningScenario");
  Release();
  EXPECT_TRUE(Diff(before, Dump()).empty());
}

TEST_F(WritersLockTest, AFoundRowIsReturnedWithoutWaitingForTheLock) {
  auto handler = std::make_shared<PolicyErrorHandler>(Policy::Leave);
  auto backend = std::make_shared<clsQuillData_SqlLite>();
  ASSERT_TRUE(backend->OpenDB(nullptr, handler, {L"", file.wstring(), L"0"}));
  // No wait at all: a look-up that took the write lock would fail at once.
  sqlite3_busy_timeout(reinterpret_cast<sqlite3*>(backend->DatabaseHandle()), 0);
  EXPECT_EQ(backend->INSERTMachining(L"m", L"g", 1, 0, 0, 0), 1);
  EXPECT_EQ(backend->INSERTConstructionScenario(L"Base", L"other"), 1);
  EXPECT_TRUE(handler->Reports().empty());
  // A row that is not there must be written, and that needs the lock.
  EXPECT_EQ(backend->INSERTMachining(L"new", L"g", 1, 0, 0, 0), 0);
  ASSERT_EQ(handler->Reports().size(), 1u);
  EXPECT_EQ(handler->Reports()[0].description, L"database is locked");
  EXPECT_EQ(handler->Reports()[0].sqliteCode, SQLITE_BUSY);
}

TEST_F(WritersTest, AnInsertThatWroteNoRowReturnsNoIdentifier) {
  Raw("CREATE TRIGGER refuse BEFORE INSERT ON MachVariable WHEN NEW.Name = 'abort' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END;"
      "CREATE TRIGGER skip BEFORE INSERT ON MachVariable WHEN NEW.Name = 'ignore' "
      "BEGIN SELECT RAISE(IGNORE); END;");
  db = Open(file, Policy::Continue);
  ASSERT_GT(db->INSERTMachining(L"m", L"g", 1, 0, 0, 0), 0);  // the connection's last rowid
  EXPECT_EQ(db->INSERTMachVariable(L"abort", L"1", 1, false), 0);
  EXPECT_EQ(db->INSERTMachVariable(L"ignore", L"1", 1, false), 0);
  EXPECT_EQ(Reported(), std::vector<std::wstring>{L"refused"});
  EXPECT_EQ(errors->Reports()[0].sqliteCode, SQLITE_CONSTRAINT_TRIGGER);
  EXPECT_EQ(Count("MachVariable"), 0);
}

TEST_F(WritersTest, AReadOnlyFileIsReportedAndLeftAsItWas) {
  Raw("INSERT INTO tblConstruction_Scenario_Types VALUES (1, 'Base', 'd');"
      "INSERT INTO Machining (MachID, MachName, MachLibID) VALUES (1, 'm', 1);"
      "INSERT INTO MachRouting (lngMachRoutingID, MachID) VALUES (1, 1);");
  Snapshot before = Dump();
  db.reset();  // no connection crosses the fork
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);

  // File permissions do not bind the superuser: the writes run in a child that has given up
  // its privileges (an unprivileged run needs no such step).
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(out[0]);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    auto handler = std::make_shared<PolicyErrorHandler>(Policy::Continue);
    {
      clsQuillData_SqlLite backend;
      if (!backend.OpenDB(nullptr, handler, {L"", file.wstring(), L"0"})) _exit(4);
      backend.INSERTMachining(L"new", L"g", 1, 0, 0, 0);
      backend.UPDATEParaMachRouting(L"strName", L"changed", 1);
      backend.DELMachining(1);
      backend.INSERTCopyMachiningScenario(1, L"Copy");
    }
    std::string text;
    for (const auto& r : handler->Reports())
      text += ToUtf8(r.procedure + L": " + r.description) + "\n";
    const bool written = write(out[1], text.data(), text.size()) == ssize_t(text.size());
    _exit(written ? 0 : 5);
  }
  close(out[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
  close(out[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << "3: could not give up privileges, 4: could not open";

  const std::string readOnly = "attempt to write a readonly database";
  EXPECT_EQ(text, "clsQuillData_INSERTMachining: " + readOnly + "\n" +
                      "clsQuillData_UPDATEParaMachRouting: " + readOnly + "\n" +
                      "clsQuillData_DELMachining: " + readOnly + "\n" +
                      "clsQuillData_DELMachining: " + readOnly + "\n" +
                      "clsQuillData_DELMachining: " + readOnly + "\n" +
                      "clsQuillData_INSERTCopyMachiningScenario: " + readOnly + "\n");
  EXPECT_TRUE(Diff(before, Dump()).empty());
}

// Six deletes of one scenario, of which the fourth fails: leaving keeps the deletes before it,
// continuing runs the rest; the other scenario is untouched either way.
TEST_F(WritersTest, AFailedDeleteOfAScenarioLeavesOrGoesOnAsTheCompanionSays) {
  const char* tables[][2] = {{"tblConstruction_Scenario_Types", "fldConstScenarioID"},
                             {"tblGlobal_Relation_Assignments", "fldConstScenarioID"},
                             {"tblLocal_Relation_Assignments", "fldConstScenarioID"},
                             {"tblGlobal_Face_Contour_Links", "fldConstScenarioID"},
                             {"tblGlobal_Imprint_Assignments", "fldlngConstScenarioID"}};
  for (auto policy : {Policy::Leave, Policy::Continue}) {
    for (const char* s : {"1", "2"}) {
      for (const auto& t : tables)
        Raw(std::string("INSERT INTO ") + t[0] + " (" + t[1] + ") VALUES (" + s + ")");
    }
    Raw("DROP TABLE IF EXISTS tblLocal_Face_Contour_Links");
    db = Open(file, policy);
    EXPECT_EQ(db->DELMachiningScenario(1), 0);
    ASSERT_EQ(Reported(), std::vector<std::wstring>{L"no such table: tblLocal_Face_Contour_Links"});
    std::string left, kept;
    for (const auto& t : tables) {
      left += One(std::string("SELECT count(*) FROM ") + t[0] + " WHERE " + t[1] + " = 1");
      kept += One(std::string("SELECT count(*) FROM ") + t[0] + " WHERE " + t[1] + " = 2");
      Raw(std::string("DELETE FROM ") + t[0]);
    }
    EXPECT_EQ(left, policy == Policy::Leave ? "10001" : "00000");
    EXPECT_EQ(kept, "11111");
  }
}

}  // namespace
}  // namespace QuillData::testing
