// Writers under concurrency and crashes: processes racing the same look-up-then-insert, the
// wait for a short lock, the unit a look-up and its write run in (what each answer of the
// error companion leaves behind, a failing COMMIT, a transaction of the host's own), and a
// writer process killed in the middle of its writes, which must leave a whole database
// holding every write that had returned.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <thread>

#include "sqlite/WritersFixture.h"
#include "support/TestSupport.h"

namespace QuillData::testing {
namespace {

sqlite3* HandleOf(clsQuillData_SqlLite& backend) {
  return reinterpret_cast<sqlite3*>(backend.DatabaseHandle());
}

// A statement through the backend's own connection, inside whatever it has open.
void OnConnection(clsQuillData_SqlLite& backend, const char* sql) {
  ASSERT_EQ(sqlite3_exec(HandleOf(backend), sql, nullptr, nullptr, nullptr), SQLITE_OK)
      << sql << ": " << sqlite3_errmsg(HandleOf(backend));
}

bool InTransaction(clsQuillData_SqlLite& backend) {
  return sqlite3_get_autocommit(HandleOf(backend)) == 0;
}

class HardeningTest : public WritersTest {};

#if QUILLDATA_HAS_FORK
TEST_F(HardeningTest, ProcessesRacingTheSameInsertsLeaveOneRowEachAndAllGetItsId) {
  constexpr int kChildren = 4;
  constexpr int kCalls = 200;
  db.reset();  // no connection crosses the fork

  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::deque<test::Child> children;
  for (int c = 0; c < kChildren; ++c) {
    children.emplace_back([&](int report) {
      close(go[1]);
      auto handler = std::make_shared<PolicyErrorHandler>(Policy::Leave);
      std::vector<int32_t> ids;
      int32_t failures = 0;
      {
        clsQuillData_SqlLite backend;
        if (!backend.OpenDB(nullptr, handler, {L"", file.wstring(), L"0"})) return 4;
        char byte;
        if (read(go[0], &byte, 1) != 0) return 5;  // every child starts on the same close
        // The same 200 calls in the same order in every process: 200 races per writer.
        for (int i = 0; i < kCalls; ++i) {
          const std::wstring name = L"Shared " + std::to_wstring(i);
          ids.push_back(backend.INSERTMachining(name, L"G", 1, 1.5, 2, 3));
          try {
            ids.push_back(backend.INSERTSELDesignIDFromLocalDesigns(name, L"Host"));
          } catch (const QuillError& e) {
            std::fprintf(stderr, "design: %s\n", ToUtf8(e.Description()).c_str());
            ++failures;
            ids.push_back(0);
          }
        }
      }
      failures += int32_t(handler->Reports().size());
      for (const auto& r : handler->Reports()) {
        std::fprintf(stderr, "%s: %s\n", ToUtf8(r.procedure).c_str(),
                     ToUtf8(r.description).c_str());
      }
      ids.push_back(failures);
      return test::Child::Write(report, ids.data(), ids.size() * sizeof(int32_t)) ? 0 : 6;
    });
  }
  close(go[0]);
  close(go[1]);

  std::vector<std::vector<int32_t>> ids;
  for (int c = 0; c < kChildren; ++c) {
    std::string bytes = children[c].ReadAll();
    const int status = children[c].Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "child " << c << " status " << status << " (4: open, 5: start, 6: report)";
    ASSERT_EQ(bytes.size(), (2 * kCalls + 1) * sizeof(int32_t));
    ids.emplace_back(2 * kCalls + 1);
    std::memcpy(ids.back().data(), bytes.data(), bytes.size());
    EXPECT_EQ(ids.back().back(), 0) << "child " << c << " saw failures";
  }

  EXPECT_EQ(Count("Machining"), kCalls);
  EXPECT_EQ(Count("tblLocal_Designs"), kCalls);
  EXPECT_EQ(One("SELECT count(*) FROM (SELECT MachName FROM Machining GROUP BY MachName "
                "HAVING count(*) > 1)"),
            "0");
  for (int i = 0; i < kCalls; ++i) {
    const std::string name = "'Shared " + std::to_string(i) + "'";
    const int machId = std::stoi(One("SELECT MachID FROM Machining WHERE MachName = " + name));
    const int designId =
        std::stoi(One("SELECT fldDesignID FROM tblLocal_Designs WHERE fldDesignName = " + name));
    for (int c = 0; c < kChildren; ++c) {
      ASSERT_EQ(ids[c][2 * i], machId) << "child " << c << ", machining " << i;
      ASSERT_EQ(ids[c][2 * i + 1], designId) << "child " << c << ", design " << i;
    }
  }
}
#else
TEST_F(HardeningTest, ProcessesRacingTheSameInsertsLeaveOneRowEachAndAllGetItsId) {
  GTEST_SKIP() << test::kNeedsFork;
}
#endif

TEST_F(HardeningTest, AWriterWaitsOutAShortLock) {
  RawDb locker(file);
  ASSERT_EQ(locker.Exec("BEGIN IMMEDIATE; INSERT INTO MachVariable (Name) VALUES ('other')"),
            SQLITE_OK);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The waiting writer may hold the file for a moment as it tries again (Windows' file
    // locks): this connection has no busy handler, so it tries again too.
    while (locker.Exec("COMMIT") == SQLITE_BUSY) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  auto start = std::chrono::steady_clock::now();
  const int32_t id = db->INSERTMachining(L"waited", L"G", 1, 0, 0, 0);
  auto waited = std::chrono::steady_clock::now() - start;
  release.join();
  EXPECT_TRUE(Reported().empty()) << ToUtf8(Reported().front());
  EXPECT_GT(id, 0);
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_EQ(One("SELECT MachID FROM Machining WHERE MachName = 'waited'"), std::to_string(id));
  EXPECT_EQ(Count("MachVariable"), 1);
}

// A relation assignment whose insert is refused after its pattern was written.
class HardeningUnitTest : public HardeningTest {
 protected:
  void SetUp() override {
    HardeningTest::SetUp();
    Raw("CREATE TRIGGER refuse BEFORE INSERT ON tblGlobal_Relation_Assignments "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  }
  void Assign() {
    db->INSERTUPDATEGlobalRelationAssignments(7, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 9,
                                              L"EF");
  }
};

TEST_F(HardeningUnitTest, LeavingAfterAFailureUndoesTheWholeUnit) {
  Snapshot before = Dump();
  Assign();
  EXPECT_EQ(Reported(), std::vector<std::wstring>{L"refused"});
  EXPECT_FALSE(InTransaction(*db));
  EXPECT_TRUE(Diff(before, Dump()).empty()) << "the pattern written before the failure stayed";

  // The connection is usable and commits as before.
  EXPECT_GT(db->INSERTMachining(L"after", L"G", 1, 0, 0, 0), 0);
  EXPECT_EQ(Count("Machining"), 1);
}

TEST_F(HardeningUnitTest, RetryRunsOnlyTheFailedStepAgainInsideTheUnit) {
  // The companion lifts the refusal on the backend's own connection (another connection could
  // not: the unit holds the write lock), then answers retry.
  bool inUnit = false;
  auto handler = std::make_shared<RetryAfter>([&] {
    inUnit = InTransaction(*db);
    OnConnection(*db, "DROP TRIGGER refuse");
  });
  gE = handler;
  Assign();
  EXPECT_EQ(handler->seen, std::vector<std::wstring>{L"refused"});
  EXPECT_TRUE(inUnit);
  EXPECT_FALSE(InTransaction(*db));
  EXPECT_EQ(Count("tblGlobal_Relationship_Patterns"), 1) << "the pattern step ran once";
  EXPECT_EQ(Query("SELECT fldPatternID, fldConstScenarioID FROM tblGlobal_Relation_Assignments"),
            (std::vector<Row>{{"1", "7"}}));
}

TEST_F(HardeningUnitTest, ContinuingPastAFailedStepCommitsTheRest) {
  db = Open(file, Policy::Continue);
  Raw("CREATE TRIGGER refuse_part BEFORE INSERT ON tblMFG_Part_Types "
      "BEGIN SELECT RAISE(ABORT, 'no part'); END");
  db->INSERTMFGPartTypes(3, 1, L"S", L"D", L"K", L"G", L"SD");
  EXPECT_EQ(Reported(), std::vector<std::wstring>{L"no part"});
  EXPECT_FALSE(InTransaction(*db));
  EXPECT_EQ(Count("tblMFG_Part_Types"), 0);
  EXPECT_EQ(Query("SELECT fldMFGScenarioID, fldPartID, fldSubTypeID FROM tblMFG_Scenario"),
            (std::vector<Row>{{"3", "1", "S"}}));
}

TEST_F(HardeningUnitTest, WithoutACompanionTheFailureReachesTheCallerAfterTheRollback) {
  gE.reset();
  Raw("CREATE TRIGGER refuse_design BEFORE INSERT ON tblLocal_Designs "
      "BEGIN SELECT RAISE(ABORT, 'no design'); END");
  EXPECT_EQ(EXPECT_QUILL_ERROR(Assign(), ErrNo::StatementError).Description(), L"refused");
  EXPECT_FALSE(InTransaction(*db));
  EXPECT_EQ(Count("tblGlobal_Relationship_Patterns"), 0);

  EXPECT_EQ(
      EXPECT_QUILL_ERROR(db->INSERTSELDesignIDFromLocalDesigns(L"D", L"C"), ErrNo::StatementError)
          .Description(),
      L"no design");
  EXPECT_FALSE(InTransaction(*db));
}

// A COMMIT the database refuses: a row whose deferred foreign key has no parent yet.
class HardeningCommitTest : public HardeningTest {
 protected:
  void SetUp() override {
    HardeningTest::SetUp();
    Raw("CREATE TABLE parent (id INTEGER PRIMARY KEY);"
        "CREATE TABLE child (pid REFERENCES parent (id) DEFERRABLE INITIALLY DEFERRED);"
        "CREATE TRIGGER dangling AFTER INSERT ON Machining "
        "BEGIN INSERT INTO child VALUES (NEW.MachID + 1000); END");
  }
  void CheckForeignKeys(clsQuillData_SqlLite& backend) {
    OnConnection(backend, "PRAGMA foreign_keys = ON");
  }
};

TEST_F(HardeningCommitTest, AFailedCommitIsRolledBackOrRetriedUntilItCommits) {
  for (Policy policy : {Policy::Leave, Policy::Continue}) {
    db = Open(file, policy);
    CheckForeignKeys(*db);
    EXPECT_EQ(db->INSERTMachining(L"m", L"G", 1, 0, 0, 0), 0) << int(policy);
    EXPECT_EQ(Reported(), std::vector<std::wstring>{L"FOREIGN KEY constraint failed"});
    EXPECT_FALSE(InTransaction(*db));
    EXPECT_EQ(Count("Machining"), 0);
    EXPECT_EQ(Count("child"), 0);
  }

  // Retried once the cause is gone, it commits.
  auto handler = std::make_shared<RetryAfter>(
      [&] { OnConnection(*db, "INSERT INTO parent SELECT pid FROM child"); });
  gE = handler;
  CheckForeignKeys(*db);
  const int32_t id = db->INSERTMachining(L"m", L"G", 1, 0, 0, 0);
  EXPECT_EQ(handler->seen, std::vector<std::wstring>{L"FOREIGN KEY constraint failed"});
  EXPECT_FALSE(InTransaction(*db));
  EXPECT_GT(id, 0);
  EXPECT_EQ(One("SELECT MachID FROM Machining WHERE MachName = 'm'"), std::to_string(id));
  EXPECT_EQ(Count("child"), 1);
}

TEST_F(HardeningTest, InsideTheHostsTransactionAWriterUndoesOnlyItsOwnPart) {
  Raw("CREATE TRIGGER refuse BEFORE INSERT ON tblGlobal_Relation_Assignments "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  OnConnection(*db, "BEGIN");
  const int32_t kept = db->INSERTMachining(L"kept", L"G", 1, 0, 0, 0);
  db->INSERTUPDATEGlobalRelationAssignments(7, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 9,
                                            L"EF");
  EXPECT_EQ(Reported(), std::vector<std::wstring>{L"refused"});
  EXPECT_TRUE(InTransaction(*db)) << "the host's transaction was ended by a writer";
  EXPECT_EQ(Count("Machining"), 0) << "nothing is committed before the host commits";
  OnConnection(*db, "COMMIT");
  EXPECT_EQ(One("SELECT MachID FROM Machining WHERE MachName = 'kept'"), std::to_string(kept));
  EXPECT_EQ(Count("tblGlobal_Relationship_Patterns"), 0);

  // The host's rollback takes a writer's row with it.
  OnConnection(*db, "BEGIN");
  EXPECT_GT(db->INSERTMachining(L"dropped", L"G", 1, 0, 0, 0), 0);
  OnConnection(*db, "ROLLBACK");
  EXPECT_EQ(Count("Machining"), 1);
}

#if QUILLDATA_HAS_FORK
struct Written {
  int32_t n;
  int32_t id;
};

class HardeningCrashTest : public WritersTest {
 protected:
  // Starts a child that writes machinings "Crash <first>", "Crash <first + 1>", ... (each in
  // its own unit, with the link and variable writers in between) and reports each returned
  // id; kills it once `atLeast` have come back and returns every report it had sent.
  std::vector<Written> WriteUntilKilled(int first, size_t atLeast, int extraMicroseconds) {
    test::Child child([&](int report) {
      auto handler = std::make_shared<PolicyErrorHandler>(Policy::Leave);
      clsQuillData_SqlLite backend;
      if (!backend.OpenDB(nullptr, handler, {L"", file.wstring(), L"0"})) return 4;
      for (int32_t n = first;; ++n) {
        Written w{n, backend.INSERTMachining(L"Crash " + std::to_wstring(n), L"G", 1, 0, 0, 0)};
        if (w.id <= 0) return 5;
        backend.INSERTMachLink(w.id, 1, L"L", L"E", false, false);
        backend.INSERTMachVariable(L"V " + std::to_wstring(n), L"1", 1, false);
        if (!test::Child::Write(report, &w, sizeof w)) return 6;
      }
    });
    std::vector<Written> written;
    Written w;
    while (written.size() < atLeast && read(child.Out(), &w, sizeof w) == ssize_t(sizeof w)) {
      written.push_back(w);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(extraMicroseconds));
    child.Kill();
    // What the child sent before it died returned before the kill.
    while (read(child.Out(), &w, sizeof w) == ssize_t(sizeof w)) written.push_back(w);
    const int status = child.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the child ended by itself with status " << status << " (4: open, 5: no id)";
    return written;
  }
};

TEST_F(HardeningCrashTest, AKilledWriterLeavesAWholeDatabaseWithEveryReturnedWrite) {
  db.reset();  // no connection crosses the fork
  std::vector<Written> all;
  int next = 0;
  // Kills at different points of the stream; the next child finds what the last one left.
  for (int extra : {0, 700, 1900}) {
    std::vector<Written> written = WriteUntilKilled(next, 25, extra);
    ASSERT_GE(written.size(), 25u);
    next = written.back().n + 2;  // past any write the child may have made but not reported
    all.insert(all.end(), written.begin(), written.end());

    EXPECT_EQ(Query("PRAGMA integrity_check"), (std::vector<Row>{{"ok"}}));
    for (const Written& w : all) {
      ASSERT_EQ(One("SELECT MachName FROM Machining WHERE MachID = " + std::to_string(w.id)),
                "Crash " + std::to_string(w.n));
    }
    // A unit is all or nothing: never a name twice, never a link without its machining.
    EXPECT_EQ(One("SELECT count(*) - count(DISTINCT MachName) FROM Machining"), "0");
    EXPECT_EQ(One("SELECT count(*) FROM MachLink WHERE MachID NOT IN (SELECT MachID FROM "
                  "Machining)"),
              "0");
  }
  // The reopened database takes writes again.
  db = Open(file);
  EXPECT_GT(db->INSERTMachining(L"after", L"G", 1, 0, 0, 0), 0);
  EXPECT_TRUE(Reported().empty());
}
#else
TEST(HardeningCrashTest, AKilledWriterLeavesAWholeDatabaseWithEveryReturnedWrite) {
  GTEST_SKIP() << test::kNeedsFork;
}
#endif

}  // namespace
}  // namespace QuillData::testing
