// Copies of an embedded database while another process writes to it, and the refusals; and
// ad-hoc SQL on an embedded database file.
// The test reads and writes with the system library directly, so that what it checks does
// not depend on the code under test; its own connections are closed before that code runs
// (which shuts the shared library down when it is done).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "QuillData/ado/Enums.h"
#include "QuillData/maintenance/SqliteCopy.h"
#include "QuillData/maintenance/SqliteQuery.h"
#include "support/TestSupport.h"

#if QUILLDATA_HAS_FORK
#include <poll.h>
#endif

namespace QuillData {
namespace {

namespace fs = std::filesystem;

// Runs SQL on a short-lived connection; returns the first column of the last row as a number
// ("ok" as 1, other text as -1).
long Sql(const fs::path& db, const std::string& sql) {
  sqlite3* h = nullptr;
  std::string last = "0";
  char* error = nullptr;
  auto keep = [](void* out, int, char** values, char**) {
    *static_cast<std::string*>(out) = values[0] ? values[0] : "0";
    return 0;
  };
  if (sqlite3_open(reinterpret_cast<const char*>(db.u8string().c_str()), &h) != SQLITE_OK ||
      sqlite3_busy_timeout(h, 20000) != SQLITE_OK ||
      sqlite3_exec(h, sql.c_str(), keep, &last, &error) != SQLITE_OK) {
    ADD_FAILURE() << db << ": " << sql << ": " << (error ? error : sqlite3_errmsg(h));
  }
  sqlite3_free(error);
  sqlite3_close(h);
  if (last == "ok") return 1;
  char* end = nullptr;
  const long value = std::strtol(last.c_str(), &end, 10);
  return *end == '\0' ? value : -1;
}

int32_t Refusal(const fs::path& src, const fs::path& dst) {
  try {
    CopySqliteDatabase(src, dst);
  } catch (const QuillError& e) {
    EXPECT_TRUE(IsCopyRefusal(e)) << e.what();
    return e.Number();
  }
  ADD_FAILURE() << "copied " << src << " to " << dst;
  return 0;
}

class SqliteCopyTest : public ::testing::Test {
 protected:
  // entries 1..rows and tally.last = rows: every committed transaction keeps
  // count(entries) == max(id) == tally.last.
  fs::path MakeDatabase(const std::string& name, long rows, const std::string& journal) {
    const fs::path db = dir / name;
    const std::string n = std::to_string(rows);
    Sql(db, "PRAGMA journal_mode=" + journal +
                "; CREATE TABLE entries (id INTEGER PRIMARY KEY, payload BLOB NOT NULL);"
                "CREATE TABLE tally (last INTEGER NOT NULL); BEGIN;"
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                n + ") INSERT INTO entries SELECT i, randomblob(1000) FROM n;" +
                "INSERT INTO tally VALUES (" + n + "); COMMIT;");
    return db;
  }

  // The copy passes the library's check and holds whole transactions; returns its tally.
  static long ConsistentTally(const fs::path& copy) {
    EXPECT_EQ(Sql(copy, "PRAGMA integrity_check"), 1);
    const long last = Sql(copy, "SELECT last FROM tally");
    EXPECT_EQ(Sql(copy, "SELECT count(*) FROM entries"), last);
    EXPECT_EQ(Sql(copy, "SELECT max(id) FROM entries"), last);
    return last;
  }

  test::ScratchDir scratch;
  const fs::path dir = scratch.path();
};

#if QUILLDATA_HAS_FORK
// A writer process. It commits one entry and the tally per transaction; on 'H' it opens a
// transaction with an uncommitted entry, answers 'h' and commits on 'C'; it ends when its
// control pipe closes. Exit status 0 when every statement succeeded.
class Writer {
 public:
  static constexpr long kHeldId = 1000000000;

  Writer(const fs::path& db, long next)
      : control_(Pipe()), child_([&](int status) {
          close(control_[1]);  // else the control pipe never reads as closed
          return Run(db, next, control_[0], status);
        }) {
    close(control_[0]);
  }
  void Hold() {
    char answer = 0;
    ASSERT_TRUE(write(control_[1], "H", 1) == 1 && read(child_.Out(), &answer, 1) == 1 &&
                answer == 'h');
  }
  void Commit() { ASSERT_EQ(write(control_[1], "C", 1), 1); }
  int Stop() {
    close(control_[1]);
    const int status = child_.Wait();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
  }

 private:
  static std::array<int, 2> Pipe() {
    std::array<int, 2> fds;
    if (pipe(fds.data()) != 0) throw std::runtime_error("pipe");
    return fds;
  }
  static int Run(const fs::path& db, long next, int control, int status) {
    sqlite3* h = nullptr;
    auto exec = [&](const std::string& sql) {
      return sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    };
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 2;
    sqlite3_busy_timeout(h, 30000);
    // Commits without waiting for the disk: many of them, whatever the machine.
    if (!exec("PRAGMA synchronous=OFF")) return 2;
    for (;;) {
      pollfd p{control, POLLIN, 0};
      char c = 0;
      if (poll(&p, 1, 0) > 0) {
        if (read(control, &c, 1) != 1) break;  // closed: done
        if (!exec("BEGIN IMMEDIATE; INSERT INTO entries VALUES (" + std::to_string(kHeldId) +
                  ", x'00'); UPDATE tally SET last = -1;")) {
          return 3;
        }
        if (write(status, "h", 1) != 1 || read(control, &c, 1) != 1 || !exec("COMMIT")) return 4;
      }
      const std::string id = std::to_string(next++);
      if (!exec("BEGIN IMMEDIATE; INSERT INTO entries VALUES (" + id +
                ", randomblob(1000)); UPDATE tally SET last = " + id + "; COMMIT;")) {
        return 5;
      }
    }
    return sqlite3_close(h) == SQLITE_OK ? 0 : 6;
  }

  std::array<int, 2> control_;
  test::Child child_;
};

class SqliteCopyWhileWritingTest : public SqliteCopyTest,
                                   public ::testing::WithParamInterface<const char*> {};

TEST_P(SqliteCopyWhileWritingTest, HoldsEveryCommittedRowAndNothingUncommitted) {
  const long rows = 5000;
  const fs::path db = MakeDatabase("live.db", rows, GetParam());
  Writer writer(db, rows + 1);
  long before = rows;
  for (int i = 0; i < 1000 && before < rows + 20; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    before = Sql(db, "SELECT last FROM tally");
  }
  ASSERT_GE(before, rows + 20) << "the writer does not write";

  // While transactions commit one after the other.
  CopySqliteDatabase(db, dir / "busy.db");
  EXPECT_GE(ConsistentTally(dir / "busy.db"), before);

  // While a transaction is open.
  writer.Hold();
  const long committed = Sql(db, "SELECT last FROM tally");
  CopySqliteDatabase(db, dir / "held.db");
  EXPECT_EQ(ConsistentTally(dir / "held.db"), committed);
  writer.Commit();
  EXPECT_EQ(writer.Stop(), 0);
  const std::string held =
      "SELECT count(*) FROM entries WHERE id = " + std::to_string(Writer::kHeldId);
  EXPECT_EQ(Sql(dir / "held.db", held), 0);
  EXPECT_EQ(Sql(db, held), 1);  // the held transaction was real
}
#else
class SqliteCopyWhileWritingTest : public SqliteCopyTest,
                                   public ::testing::WithParamInterface<const char*> {};

TEST_P(SqliteCopyWhileWritingTest, HoldsEveryCommittedRowAndNothingUncommitted) {
  GTEST_SKIP() << test::kNeedsFork;
}
#endif

INSTANTIATE_TEST_SUITE_P(JournalModes, SqliteCopyWhileWritingTest,
                         ::testing::Values("wal", "delete"));

TEST_F(SqliteCopyTest, CopiesIntoAFolderWithQuotesAndLeavesNothingElseBehind) {
  const fs::path folder = dir / test::kQuotedName;
  fs::create_directories(folder);
  CopySqliteDatabase(MakeDatabase(std::string(test::kQuotedName) + "/a'b.db", 10, "delete"),
                     folder / "c'opy.db");
  EXPECT_EQ(ConsistentTally(folder / "c'opy.db"), 10);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a'b.db", "c'opy.db"}));
}

TEST_F(SqliteCopyTest, RefusesToOverwriteToReadANonDatabaseOrToWriteIntoAMissingFolder) {
  const fs::path db = MakeDatabase("a.db", 10, "delete");
  std::ofstream(dir / "taken.db") << "keep me";
  EXPECT_EQ(Refusal(db, dir / "taken.db"), CopyRefusal::DestinationExists);
  EXPECT_EQ(test::ReadFile(dir / "taken.db"), "keep me");
  EXPECT_EQ(Refusal(db, db), CopyRefusal::DestinationExists);
  EXPECT_EQ(Sql(db, "SELECT last FROM tally"), 10);

  std::string noise(4096, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 7919 % 251);
  std::ofstream(dir / "noise.db", std::ios::binary) << noise;
  // The right header over pages the library cannot read.
  std::ofstream(dir / "header.db", std::ios::binary) << std::string("SQLite format 3", 16) << noise;
  fs::create_directories(dir / "folder.db");
  for (const char* name : {"noise.db", "header.db", "folder.db"}) {
    EXPECT_EQ(Refusal(dir / name, dir / "copy.db"), CopyRefusal::NotADatabase) << name;
  }
  EXPECT_EQ(Refusal(dir / "missing.db", dir / "copy.db"), CopyRefusal::SourceMissing);
  EXPECT_FALSE(fs::exists(dir / "copy.db"));

  EXPECT_EQ(Refusal(db, dir / "no" / "copy.db"), CopyRefusal::FolderMissing);
  EXPECT_EQ(Refusal(db, db / "copy.db"), CopyRefusal::FolderMissing);  // a file, no folder
  EXPECT_FALSE(fs::exists(dir / "no"));
  // A refusal's number with a store's kind is a failure of the store, whatever the source.
  EXPECT_FALSE(
      IsCopyRefusal(QuillError(CopyRefusal::DestinationExists, L"CopySqliteDatabase", L"busy")
                        .WithSqliteCode(5)));
}

class SqliteQueryTest : public SqliteCopyTest {
 protected:
  void SetUp() override { std::ofstream(db).close(); }  // an empty file is an empty database
  const fs::path db = dir / "q.db";
};

TEST_F(SqliteQueryTest, ReturnsTheFirstResultWithColumnsAfterRunningEveryStatement) {
  auto rows = QuerySqliteDatabase(
      db,
      L"CREATE TABLE t (i, big, r, s, b, n);"
      L"INSERT INTO t VALUES (7, 5000000000, 2.5, 'Küche ✓', x'00ff10', NULL), (-8, 3, 0.5, "
      L"'', x'', NULL);"
      L"SELECT * FROM t ORDER BY i DESC; SELECT 'not this one';"
      L"UPDATE t SET n = 1;  -- and a comment at the end");
  ASSERT_EQ(rows->RecordCount(), 2);
  auto f = rows->Fields();
  ASSERT_EQ(f->Count(), 6);
  const int32_t types[] = {ado::adInteger,  ado::adBigInt,        ado::adDouble,
                           ado::adVarWChar, ado::adLongVarBinary, ado::adVariant};
  for (int32_t c = 0; c < 6; ++c) EXPECT_EQ(f->Item(c)->Type(), types[c]) << c;
  Decimal big;
  big.mantissa = 5000000000;
  EXPECT_EQ(f->Item(L"big")->Value(), Variant(big));
  EXPECT_EQ(f->Item(L"s")->Value(), Variant(L"Küche ✓"));
  EXPECT_EQ(f->Item(L"b")->Value(), Variant(Variant::Bytes{0x00, 0xff, 0x10}));
  EXPECT_TRUE(f->Item(L"n")->Value().IsNull());
  rows->MoveNext();
  EXPECT_EQ(f->Item(L"i")->Value(), Variant(int32_t{-8}));
  EXPECT_EQ(f->Item(L"big")->Value(), Variant(int32_t{3}));

  auto after = QuerySqliteDatabase(db, L"SELECT count(*) FROM t WHERE n = 1");
  EXPECT_EQ(after->Fields()->Item(0)->Value(), Variant(int32_t{2}));
}

TEST_F(SqliteQueryTest, FailuresCarryTheLibrarysMessageAndNothingIsCreated) {
  auto e = EXPECT_QUILL_ERROR(QuerySqliteDatabase(db, L"CREATE TABLE t (x); SELECT * FROM nowhere"),
                              ErrNo::StatementError);
  EXPECT_EQ(e.Description(), L"no such table: nowhere");
  EXPECT_EQ(QuerySqliteDatabase(db, L"SELECT * FROM t")->Fields()->Count(), 1);  // ran before
  // A step's failure too, with the library's extended code (SQLITE_CONSTRAINT_UNIQUE).
  e = EXPECT_QUILL_ERROR(QuerySqliteDatabase(db,
                                             L"CREATE TABLE u (x UNIQUE); INSERT INTO u "
                                             L"VALUES (1), (1)"),
                         ErrNo::StatementError);
  EXPECT_EQ(e.SqliteCode(), 2067);
  EXPECT_EQ(e.Kind(), ErrorKind::Constraint);
  EXPECT_QUILL_ERROR(QuerySqliteDatabase(db, L"  -- nothing\n"), ErrNo::InvalidProcedureCall);

  EXPECT_QUILL_ERROR(QuerySqliteDatabase(dir / "missing.db", L"SELECT 1"), ErrNo::FileNotFound);
  EXPECT_FALSE(fs::exists(dir / "missing.db"));
}

}  // namespace
}  // namespace QuillData
