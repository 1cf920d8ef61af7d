// Writers under concurrency, faults and crashes: processes racing the same look-up-then-insert,
// the unit a look-up and its write run in (what each answer of the error companion leaves
// behind, a failing COMMIT, a full disk), the host's transactions (a writer failing inside
// one, two processes' transactions on one file), and a writer process killed in the middle of
// its writes, which must leave a whole database holding every write that had returned.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <thread>

#include "sqlite/SqliteFixture.h"
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

TEST_F(HardeningUnitTest, AFailedUnitIsUndoneBeforeTheCompanionIsAskedAndRetriedWhole) {
  // A cause that stays: the unit is undone before each report, so the companion finds no
  // transaction open, and a writer it calls commits on its own: its id stays valid after the
  // failing writer is left.
  Snapshot before = Dump();
  bool inUnit = true;
  int32_t fromCompanion = 0;
  auto handler = std::make_shared<RetryAfter>([&] {
    inUnit = InTransaction(*db);
    fromCompanion = db->INSERTMachining(L"logged", L"G", 1, 0, 0, 0);
  });
  gE = handler;
  Assign();
  EXPECT_EQ(handler->seen.size(), 5u);
  EXPECT_FALSE(inUnit);
  EXPECT_FALSE(InTransaction(*db));
  auto diff = Diff(before, Dump());
  EXPECT_EQ(diff.size(), 2u) << "only the companion's machining (and its counter) was written";
  ASSERT_GT(fromCompanion, 0);
  EXPECT_EQ(One("SELECT MachName FROM Machining WHERE MachID = " + std::to_string(fromCompanion)),
            "logged");

  // The cause removed by another program: the retry runs the whole unit again, once.
  handler = std::make_shared<RetryAfter>([&] { Raw("DROP TRIGGER refuse"); });
  gE = handler;
  Assign();
  EXPECT_EQ(handler->seen, std::vector<std::wstring>{L"refused"});
  EXPECT_EQ(Count("tblGlobal_Relationship_Patterns"), 1);
  EXPECT_EQ(Query("SELECT fldPatternID, fldConstScenarioID FROM tblGlobal_Relation_Assignments"),
            (std::vector<Row>{{"1", "7"}}));
}

TEST_F(HardeningUnitTest, ContinuingPastAFailedUnitWritesNothingOfIt) {
  db = Open(file, Policy::Continue);
  Raw("CREATE TRIGGER refuse_part BEFORE INSERT ON tblMFG_Part_Types "
      "BEGIN SELECT RAISE(ABORT, 'no part'); END");
  db->INSERTMFGPartTypes(3, 1, L"S", L"D", L"K", L"G", L"SD");
  Assign();
  EXPECT_EQ(Reported(), (std::vector<std::wstring>{L"no part", L"refused"}));
  EXPECT_FALSE(InTransaction(*db));
  EXPECT_EQ(Count("tblMFG_Part_Types") + Count("tblMFG_Scenario") +
                Count("tblGlobal_Relationship_Patterns"),
            0);
  EXPECT_GT(db->INSERTMachining(L"after", L"G", 1, 0, 0, 0), 0);
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
TEST_F(HardeningTest, AFailedCommitLeavesNothingCommitted) {
  Raw("CREATE TABLE parent (id INTEGER PRIMARY KEY);"
      "CREATE TABLE child (pid REFERENCES parent (id) DEFERRABLE INITIALLY DEFERRED);"
      "CREATE TRIGGER dangling AFTER INSERT ON Machining "
      "BEGIN INSERT INTO child VALUES (NEW.MachID + 1000); END");
  for (Policy policy : {Policy::Leave, Policy::Continue}) {
    db = Open(file, policy);
    OnConnection(*db, "PRAGMA foreign_keys = ON");
    EXPECT_EQ(db->INSERTMachining(L"m", L"G", 1, 0, 0, 0), 0) << int(policy);
    EXPECT_EQ(Reported(), std::vector<std::wstring>{L"FOREIGN KEY constraint failed"});
    EXPECT_FALSE(InTransaction(*db));
    EXPECT_EQ(Count("Machining"), 0);
    EXPECT_EQ(Count("child"), 0);
  }
  // The host's own commit refused: nothing of its transaction stays.
  ASSERT_EQ(db->BeginTrans(), 1);
  EXPECT_GT(db->INSERTMachining(L"t", L"G", 1, 0, 0, 0), 0);
  EXPECT_FALSE(db->CommitTrans());
  EXPECT_FALSE(db->InTransaction());
  EXPECT_EQ(Count("Machining") + Count("child"), 0);
}

TEST_F(HardeningTest, InATransactionAFailedWriterUndoesOnlyItself) {
  Raw("INSERT INTO tblGlobal_Relation_Assignments (fldConstScenarioID) VALUES (1);"
      "INSERT INTO tblGlobal_Face_Contour_Links (fldConstScenarioID) VALUES (1);"
      "DROP TABLE tblLocal_Face_Contour_Links;"
      "DROP TABLE MachVariable;"
      "CREATE TRIGGER refuse BEFORE INSERT ON tblGlobal_Relation_Assignments "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  auto assign = [&] {
    db->INSERTUPDATEGlobalRelationAssignments(7, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 9,
                                              L"EF");
  };
  for (Policy policy : {Policy::Leave, Policy::Continue}) {
    db = Open(file, policy);
    ASSERT_EQ(db->BeginTrans(), 1);
    const int32_t kept = db->INSERTMachining(L"kept", L"G", 1, 0, 0, 0);
    assign();
    // Six deletes, the fourth of which fails: inside a transaction the writer is one unit.
    db->DELMachiningScenario(1);
    // A look-up that fails before its writer changed anything.
    EXPECT_EQ(db->INSERTMachVariable(L"v", L"1", 1, false), 0);
    EXPECT_EQ(Reported(),
              (std::vector<std::wstring>{L"refused", L"no such table: tblLocal_Face_Contour_Links",
                                         L"no such table: MachVariable"}));
    EXPECT_TRUE(db->InTransaction());
    EXPECT_EQ(Count("Machining"), 0) << "nothing is committed before CommitTrans";
    EXPECT_TRUE(db->CommitTrans());
    EXPECT_EQ(One("SELECT MachID FROM Machining"), std::to_string(kept));
    EXPECT_EQ(Count("tblGlobal_Relationship_Patterns"), 0);
    EXPECT_EQ(Count("tblGlobal_Relation_Assignments") + Count("tblGlobal_Face_Contour_Links"), 2);
    Raw("DELETE FROM Machining");
  }

  // Retry runs the writer again; the companion's repair on the connection is part of the
  // transaction, not of the writer, and stays.
  gE = std::make_shared<RetryAfter>([&] { OnConnection(*db, "DROP TRIGGER refuse"); });
  ASSERT_EQ(db->BeginTrans(), 1);
  assign();
  EXPECT_TRUE(db->CommitTrans());
  EXPECT_EQ(Count("tblGlobal_Relationship_Patterns"), 1);
  EXPECT_EQ(Count("tblGlobal_Relation_Assignments"), 2);
}

// Room for the database that can run out: a small file system of the test's own where the
// process may mount one; else the connection's page limit, at which SQLite fails and rolls
// back as on a full disk (a write that needs a new page: a long name).
class FullDisk : public test::SmallDisk {
 public:
  FullDisk() : SmallDisk("2m") {}
  void Fill(clsQuillData_SqlLite& backend) {
    if (!Mounted()) return OnConnection(backend, "PRAGMA max_page_count = 1");
    std::ofstream filler(path() / "filler", std::ios::binary);
    const std::string block(4096, '\0');
    while (filler.write(block.data(), block.size()) && filler.flush()) {
    }
  }
  void Free(clsQuillData_SqlLite& backend) {
    if (!Mounted()) return OnConnection(backend, "PRAGMA max_page_count = 1000000000");
    std::filesystem::remove(path() / "filler");
  }
};

TEST_F(HardeningTest, AFullDiskEndsTheTransactionAndAWriterRetriedAfterItsCauseSucceeds) {
  FullDisk disk;
  RecordProperty("disk", disk.Mounted() ? "tmpfs" : "page limit");
  file = disk.path() / "full.db";
  CreateDatabase(file, false);
  db = Open(file);
  const std::wstring big(5000, L'x');

  // Outside a transaction the database has rolled the writer's unit back; the retry runs it
  // again from its start once there is room.
  disk.Fill(*db);
  auto handler = std::make_shared<RetryAfter>([&] { disk.Free(*db); });
  gE = handler;
  const int32_t id = db->INSERTMachining(big + L"1", L"G", 1, 0, 0, 0);
  EXPECT_EQ(handler->seen, std::vector<std::wstring>{L"database or disk is full"});
  EXPECT_EQ(handler->kinds, std::vector<ErrorKind>{ErrorKind::StoreFull});
  EXPECT_GT(id, 0);
  EXPECT_EQ(One("SELECT MachID FROM Machining"), std::to_string(id));

  // Inside one the database ends the whole transaction: the failing writer, every call after
  // it and CommitTrans say so, and nothing of it is committed.
  db = Open(file);
  ASSERT_EQ(db->BeginTrans(), 1);
  EXPECT_GT(db->INSERTMachining(L"a", L"G", 1, 0, 0, 0), 0);
  disk.Fill(*db);
  EXPECT_EQ(db->INSERTMachining(big + L"b", L"G", 1, 0, 0, 0), 0);
  disk.Free(*db);
  EXPECT_EQ(db->INSERTMachining(L"c", L"G", 1, 0, 0, 0), 0);
  EXPECT_EQ(db->GETTblMachining()->Count(), 0);
  EXPECT_FALSE(db->CommitTrans());
  EXPECT_FALSE(db->InTransaction());
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 4u);
  for (const auto& r : reports) EXPECT_EQ(r.kind, ErrorKind::TransactionAborted);
  EXPECT_EQ(reports[0].sqliteCode & 0xff, SQLITE_FULL);
  EXPECT_EQ(Count("Machining"), 1);

  ASSERT_EQ(db->BeginTrans(), 1);
  EXPECT_GT(db->INSERTMachining(L"d", L"G", 1, 0, 0, 0), 0);
  EXPECT_TRUE(db->CommitTrans());
  EXPECT_EQ(Count("Machining"), 2);
  db.reset();  // before its disk goes
}

#if QUILLDATA_HAS_FORK
TEST_F(HardeningTest, TwoProcessesTransactionsTakeTurnsAndFindEachOthersRows) {
  constexpr int kNames = 20;
  db.reset();  // no connection crosses the fork
  int release[2];
  ASSERT_EQ(pipe(release), 0);
  // The child holds a transaction with its rows until the parent closes `release`.
  test::Child child([&](int report) {
    close(release[1]);
    auto handler = std::make_shared<PolicyErrorHandler>(Policy::Leave);
    clsQuillData_SqlLite backend;
    if (!backend.OpenDB(nullptr, handler, {L"", file.wstring(), L"0"}) || !backend.BeginTrans())
      return 4;
    std::vector<int32_t> ids;
    for (int i = 0; i < kNames; ++i)
      ids.push_back(backend.INSERTMachining(L"Turn " + std::to_wstring(i), L"G", 1, 0, 0, 0));
    if (!test::Child::Write(report, ids.data(), ids.size() * sizeof(int32_t))) return 5;
    char byte;
    if (read(release[0], &byte, 1) != 0) return 6;
    return backend.CommitTrans() && handler->Reports().empty() ? 0 : 7;
  });
  close(release[0]);
  std::vector<int32_t> ids(kNames);
  ASSERT_EQ(read(child.Out(), ids.data(), kNames * sizeof(int32_t)),
            ssize_t(kNames * sizeof(int32_t)));

  // The parent's BeginTrans waits the busy timeout for the lock, then says it is locked.
  db = Open(file);
  EXPECT_EQ(db->BeginTrans(), 0);
  EXPECT_FALSE(db->InTransaction());
  ASSERT_EQ(errors->Reports().size(), 1u);
  EXPECT_EQ(errors->Reports()[0].kind, ErrorKind::Busy);
  EXPECT_EQ(errors->Reports()[0].description, L"database is locked");

  // Released within the timeout, the lock is the parent's once the child has committed, and
  // the parent finds every row the child wrote.
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    close(release[1]);
  });
  EXPECT_EQ(db->BeginTrans(), 1);
  late.join();
  for (int i = 0; i < kNames; ++i)
    EXPECT_EQ(db->INSERTMachining(L"Turn " + std::to_wstring(i), L"G", 1, 0, 0, 0), ids[i]);
  EXPECT_TRUE(db->CommitTrans());
  const int status = child.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(errors->Reports().size(), 1u);
  EXPECT_EQ(Count("Machining"), kNames);
}

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
TEST_F(HardeningTest, TwoProcessesTransactionsTakeTurnsAndFindEachOthersRows) {
  GTEST_SKIP() << test::kNeedsFork;
}
#endif

}  // namespace
}  // namespace QuillData::testing
