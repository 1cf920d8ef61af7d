// What the SQLite writers write beyond what every backend promises: the rows' exact values,
// refused arguments and how failures are reported; and the writers when the database cannot
// take a write (locked by another connection, a file the process may only read, a table
// missing half-way through a delete).

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <random>

#include "QuillData/contract/Records.h"
#include "QuillData/sqlite/modMain.h"
#include "sqlite/Operation.h"
#include "sqlite/SqlText.h"
#include "sqlite/SqliteFixture.h"

namespace QuillData::testing {
namespace {

TEST_F(WritersTest, PatternWritersFailAsTheirOwnSourceAndNoAssignmentIsLeftWithout) {
  Raw("DROP TABLE tblGlobal_Relationship_Patterns; DROP TABLE tblLocal_Relationship_Patterns");
  db->INSERTUPDATEGlobalRelationAssignments(1, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 5, L"EF");
  db->INSERTUPDATELocalRelationAssignments(1, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 5, L"EF",
                                           L"P", L"R", 1);
  // The pattern writers are part of their writer's unit, which reports their failure.
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].procedure, L"clsQuillData_INSERTUPDATEGlobalRelationAssignments");
  EXPECT_EQ(reports[0].source, L"INSERTGlobalRelationShipPattern");
  EXPECT_EQ(reports[0].description, L"no such table: tblGlobal_Relationship_Patterns");
  EXPECT_EQ(reports[1].source, L"INSERTLocalRelationShipPattern");
  EXPECT_EQ(Count("tblGlobal_Relation_Assignments"), 0);
  EXPECT_EQ(Count("tblLocal_Relation_Assignments"), 0);
}

TEST_F(WritersTest, LeavingReturnsWhatTheResultHeldAtThatMoment) {
  Raw("INSERT INTO tblGlobal_Imprint_Definitions (fldlngRelationPattern) VALUES (40);"
      "CREATE TRIGGER keep BEFORE UPDATE ON tblGlobal_Imprint_Definitions"
      " BEGIN SELECT RAISE(ABORT, 'kept as it is'); END;"
      "DROP TABLE tblGlobal_Contr_Featr_Lists");
  // Found, then the update failed: the found id.
  EXPECT_EQ(db->INSERTUPDATEGlobalImprintDefinitions(40, true, 1, 2, 3, true, 4, 5, 6, false, 7, 8,
                                                     9, true, 10, 11, 12, false),
            40);
  // Not found, and the insert failed: an empty variant.
  EXPECT_TRUE(db->INSERTGlobalContrFeatrLists(1, L"s", L"n", L"d", L"t", L"v").IsEmpty());
  EXPECT_EQ(Reported(), (std::vector<std::wstring>{L"kept as it is",
                                                   L"no such table: tblGlobal_Contr_Featr_Lists"}));
}

uint64_t Bits(double value) {
  return std::bit_cast<uint64_t>(value);
}

TEST_F(WritersTest, AFiniteDoubleIsStoredAsTheSameDouble) {
  // The library reads some shortest texts a unit in the last place off (0.4801493776737982 as
  // ...817), and fifteen digits would round the largest double up to infinity: bound, each
  // double is stored bit for bit. A zero keeps no sign in a number column.
  const double third = 1.0 / 3, offByOne = 0.4801493776737982;
  int32_t id = db->INSERTMachining(L"M", L"G", 1, DBL_MAX, offByOne, -0.0);
  ASSERT_GT(id, 0);
  auto m = db->GETTblMachining()->ItemAs<tblMachining>(std::to_wstring(id));
  EXPECT_EQ(Bits(m->X), Bits(DBL_MAX));
  EXPECT_EQ(Bits(m->Y), Bits(offByOne));
  EXPECT_EQ(Bits(m->Z), Bits(0.0));
  int32_t link = db->INSERTSELLinkIDFromMachiningLinks(L"T", L"D", L"N", third, 0, 0, 1, L"", L"");
  EXPECT_EQ(db->INSERTSELLinkIDFromMachiningLinks(L"T", L"D", L"N", third, 0, 0, 1, L"", L""),
            link);
  EXPECT_EQ(db->GETTblGlobalMachiningLinks()
                ->ItemAs<tblGlobal_Machining_Links>(std::to_wstring(link))
                ->fldAngle,
            third);
  // A number column named by an argument holds the double itself, a text column its text.
  db->UPDATEVariableMachining(id, L"Z", offByOne);
  db->UPDATEVariableMachining(id, L"MachGroup", offByOne);
  m = db->GETTblMachining()->ItemAs<tblMachining>(std::to_wstring(id));
  EXPECT_EQ(Bits(m->Z), Bits(offByOne));
  EXPECT_EQ(m->MachGroup, L"0.4801493776737982");
  EXPECT_TRUE(Reported().empty());
}

TEST_F(WritersTest, RandomDoublesComeBackBitForBit) {
  // As every writer writes a double: through the one builder and a kept statement, here in one
  // transaction, 300 to a statement. A third of them are uniform in [0, 1), where the library's
  // own reading of shortest texts misses most often; the others have any exponent.
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> unit(0, 1);
  const double edges[] = {5e-324, -DBL_MAX, DBL_MIN, 9007199254740993.0, 1e20, -0x1p63};
  auto next = [&](int i) {
    if (i < static_cast<int>(std::size(edges))) return edges[i];
    if (i % 3 == 0) return unit(random);
    for (;;) {
      const double d = std::bit_cast<double>(random());
      if (std::isfinite(d) && d != 0) return d;
    }
  };
  constexpr int kDoubles = 1'000'000, kRows = 100;
  std::vector<double> sent;
  sent.reserve(kDoubles);
  ASSERT_EQ(db->BeginTrans(), 1);
  {
    sqlite_detail::Operation op(*db, L"test");
    while (sent.size() < kDoubles) {
      sqlite_detail::SqlText sql(L"INSERT INTO Machining (X, Y, Z) VALUES ");
      for (int r = 0; r < kRows; ++r) {
        sql << (r == 0 ? L"(" : L", (");
        for (int c = 0; c < 3; ++c) {
          sent.push_back(next(static_cast<int>(sent.size())));
          sql << (c == 0 ? L"" : L", ") << sent.back();
        }
        sql << L")";
      }
      op.Exec(sql);
    }
  }
  ASSERT_TRUE(db->CommitTrans());
  // Read back by the reader, under a locale whose decimal separator is a comma.
  UseLocale("de_DE.UTF-8");
  auto rows = Open(file)->GETTblMachining();
  ASSERT_EQ(static_cast<size_t>(rows->Count()) * 3, sent.size());
  size_t differ = 0;
  for (int32_t i = 1; i <= rows->Count(); ++i) {
    auto m = rows->ItemAs<tblMachining>(i);
    const double got[] = {m->X, m->Y, m->Z};
    for (size_t c = 0; c < 3; ++c) {
      const double wrote = sent[static_cast<size_t>(m->MachID - 1) * 3 + c];
      if (Bits(got[c]) != Bits(wrote) && differ++ < 5) {
        ADD_FAILURE() << std::setprecision(17) << wrote << " came back as " << got[c];
      }
    }
  }
  EXPECT_EQ(differ, 0u);
}

TEST_F(WritersTest, EachValueIsStoredAsItsLiteralStoredIt) {
  // In a column of any declared type, as a file of another tool may have: a double whose
  // shortest text is digits is a whole number ("12" in a text column), any other a double, as
  // a twin table written with the literals shows.
  Raw("DROP TABLE Machining;"
      "CREATE TABLE Machining (MachID INTEGER PRIMARY KEY, MachName TEXT, MachGroup TEXT,"
      " X TEXT, Y NUMERIC, Z, MachLibID INTEGER);"
      "CREATE TABLE Twin (X TEXT, Y NUMERIC, Z)");
  const double values[] = {12,     -0.0,    0.5,      0.1,    1e15, 1e20, 123456789012345680.0,
                           0x1p63, -0x1p63, 2.5e-300, DBL_MAX};
  const std::string columns = "typeof(X), quote(X), typeof(Y), quote(Y), typeof(Z), quote(Z)";
  for (size_t i = 0; i < std::size(values); ++i) {
    const std::string literal = ToUtf8(NumberToSql(values[i]));
    Raw("INSERT INTO Twin VALUES (" + literal + ", " + literal + ", " + literal + ")");
    const int32_t id =
        db->INSERTMachining(L"m" + std::to_wstring(i), L"g", 1, values[i], values[i], values[i]);
    EXPECT_EQ(Query("SELECT " + columns + " FROM Machining WHERE MachID = " + std::to_string(id)),
              Query("SELECT " + columns + " FROM Twin WHERE rowid = " + std::to_string(i + 1)))
        << literal;
  }
  EXPECT_TRUE(Reported().empty());
}

TEST_F(WritersTest, NumberTextInANumberColumnIsTheNearestDouble) {
  // Columns named by an argument may have any declared type: text that the column makes a
  // number becomes the number the library makes of it, as a twin row written with the
  // literal shows, but its double is the nearest; any other text stays text.
  Raw("DROP TABLE MachVertical;"
      "CREATE TABLE MachVertical (MachVerticalID INTEGER PRIMARY KEY, Xstart REAL,"
      " Ystart NUMERIC, DrillDepth INTEGER, Condition TEXT, MachID INTEGER);"
      "INSERT INTO MachVertical (MachVerticalID) VALUES (1), (2)");
  for (const char* text : {" 2.5", "0.4801493776737982", "12", "1e5", "1e", ".5", "5.", "+.5e-3",
                           "9223372036854775808", "abc", "\t3.25\n", "0x10", "1e999", "-"}) {
    for (const char* column : {"Xstart", "Ystart", "DrillDepth", "Condition"}) {
      db->UPDATEParaMachVertical(FromUtf8(column), FromUtf8(text), 1);
      Raw(std::string("UPDATE MachVertical SET ") + column + " = '" + text +
          "' WHERE MachVerticalID = 2");
      auto rows = Query(std::string("SELECT typeof(") + column + "), quote(" + column +
                        ") FROM MachVertical ORDER BY MachVerticalID");
      ASSERT_EQ(rows.size(), 2u);
      EXPECT_EQ(rows[0][0], rows[1][0]) << text << " in " << column;
      if (rows[0][0] == "real") {
        EXPECT_EQ(Bits(std::strtod(rows[0][1].c_str(), nullptr)), Bits(std::strtod(text, nullptr)))
            << text << " in " << column;
      } else {
        EXPECT_EQ(rows[0][1], rows[1][1]) << text << " in " << column;
      }
    }
  }
  EXPECT_TRUE(Reported().empty());
}

TEST_F(WritersTest, KeptStatementsFollowTheSchemaAndCloseWithTheFile) {
  ASSERT_EQ(db->INSERTMachining(L"a", L"g", 1, 1.5, 0, 0), 1);
  // Another program rebuilds the table with its columns in another order.
  Raw("ALTER TABLE Machining RENAME TO Old;"
      "CREATE TABLE Machining (Z REAL, MachLibID INTEGER, X REAL, MachGroup TEXT, Y REAL,"
      " MachName TEXT, MachID INTEGER PRIMARY KEY AUTOINCREMENT);"
      "INSERT INTO Machining (MachID, MachName, MachGroup, X, Y, Z, MachLibID)"
      " SELECT MachID, MachName, MachGroup, X, Y, Z, MachLibID FROM Old;"
      "DROP TABLE Old; PRAGMA journal_mode = WAL");
  EXPECT_EQ(db->INSERTMachining(L"a", L"g", 1, 9, 9, 9), 1);
  const int32_t b = db->INSERTMachining(L"b", L"h", 2, 2.5, 3.5, 4.5);
  EXPECT_EQ(Query("SELECT MachName, MachGroup, MachLibID, X, Y, Z FROM Machining WHERE MachID = " +
                  std::to_string(b)),
            (std::vector<Row>{{"b", "h", "2", "2.5", "3.5", "4.5"}}));
  Raw("DROP TABLE Machining");
  EXPECT_EQ(db->INSERTMachining(L"c", L"g", 1, 0, 0, 0), 0);
  EXPECT_EQ(Reported(), std::vector<std::wstring>{L"no such table: Machining"});
  // The last connection to close a file in WAL mode removes its log; a statement never
  // finalized would keep the connection, and the log, open.
  ASSERT_TRUE(std::filesystem::exists(file.string() + "-wal"));
  db.reset();
  EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal"));
}

TEST_F(WritersTest, SchemaNamesAreFoundWithoutRegardToLetterCase) {
  Raw("INSERT INTO Machining (MachID, MachName, MachLibID) VALUES (1, 'm', 1);"
      "INSERT INTO MachRouting (lngMachRoutingID, strName, MachID) VALUES (1, 'r', 1);"
      "INSERT INTO MachVertical (MachVerticalID, strName, MachID) VALUES (1, 'v', 1);"
      "INSERT INTO tblGlobal_Relationship_Patterns VALUES (1, 0, 0, 0, 0);");
  db->UPDATEParaMachRouting(L"STRNAME", L"routing", 1);
  db->UPDATEParaMachVertical(L"drilldepth", L"18", 1);
  db->UPDATEVariableMachining(1, L"x", 2.25);
  db->UPDATEPropertyRelationshipPatterns(L"TBLGLOBAL_RELATIONSHIP_PATTERNS", L"fldlinkidff", 1,
                                         L"42");
  EXPECT_TRUE(Reported().empty());
  EXPECT_EQ(One("SELECT strName FROM MachRouting"), "routing");
  EXPECT_EQ(One("SELECT DrillDepth FROM MachVertical"), "18");
  EXPECT_EQ(One("SELECT X || typeof(X) FROM Machining"), "2.25real");
  EXPECT_EQ(One("SELECT fldLinkIDFF FROM tblGlobal_Relationship_Patterns"), "42");
}

class WritersLockTest : public WritersTest {
 protected:
  void SetUp() override {
    WritersTest::SetUp();
    db->INSERTUPDATEGlobalRelationAssignments(1, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 5,
                                              L"EE");
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
  EXPECT_EQ(handler->Reports()[0].kind, ErrorKind::Busy);
}

TEST_F(WritersLockTest, ABadArgumentIsRefusedBeforeAnyStatement) {
  // Had any of them waited for the write lock, it would say "database is locked"; had going on
  // past the refusal run the writer, so would that.
  auto handler = std::make_shared<PolicyErrorHandler>(Policy::Continue);
  auto backend = std::make_shared<clsQuillData_SqlLite>();
  ASSERT_TRUE(backend->OpenDB(nullptr, handler, {L"", file.wstring(), L"0"}));
  EXPECT_EQ(backend->INSERTMachining(L"nan", L"g", 1, std::nan(""), 0, 0), 0);
  for (const wchar_t* subtype : {L"x", L"2.5", L"", L"1 2"}) {
    EXPECT_EQ(backend->INSERTImprintAssignments(1, L"U", 1, 2, L"p", L"p", L"n", L"n", subtype,
                                                L"1", L"", L"", true),
              0);
  }
  EXPECT_EQ(backend->INSERTMachining(std::wstring(L"a\0b", 3), L"g", 1, 0, 0, 0), 0);
  // A pattern field that names none of the four links, for an assignment there and a new one.
  for (const wchar_t* field : {L"EX", L"XX", L"", L"EE = 0, fldLinkIDFF"}) {
    backend->INSERTUPDATEGlobalRelationAssignments(1, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 6,
                                                   field);
    backend->INSERTUPDATELocalRelationAssignments(2, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 6,
                                                  field, L"P", L"R", 1);
  }
  EXPECT_EQ(backend->INSERTMachVariable(L"\xD800", L"1", 1, false), 0);
  backend->DELFilter(1, 2, L"A", std::wstring(L"\0", 1));
  EXPECT_EQ(EXPECT_QUILL_ERROR(backend->INSERTSELDesignIDFromLocalDesigns(L"\xDC00", L"C"),
                               ErrNo::InvalidProcedureCall)
                .Kind(),
            ErrorKind::RefusedArgument);
  auto reports = handler->Reports();
  ASSERT_EQ(reports.size(), 16u);
  for (const auto& r : reports)
    EXPECT_EQ(r.kind, ErrorKind::RefusedArgument) << ToUtf8(r.description);
  for (size_t i = 1; i <= 4; ++i) EXPECT_EQ(reports[i].number, ErrNo::TypeMismatch);
  EXPECT_EQ(reports[2].description, L"Type mismatch: strSubType1 '2.5' is not a whole number");
  EXPECT_EQ(reports[6].number, ErrNo::InvalidProcedureCall);
  EXPECT_EQ(reports[6].description, L"strPatternField must be EE, EF, FE or FF, not 'EX'");
  EXPECT_EQ(reports[7].procedure, L"clsQuillData_INSERTUPDATELocalRelationAssignments");
  EXPECT_EQ(reports[5].description,
            L"A text argument holds a NUL character at character 2: a text with NUL characters "
            L"cannot be stored as it is");
  EXPECT_EQ(reports[14].description,
            L"A text argument holds U+D800 at character 1, a lone surrogate, which is no "
            L"character: it cannot be stored");
}

// A file of version 1, whose machining ids may come again: an imprint definition its deleted
// assignment left behind still never becomes a new assignment's, not even a copy's.
TEST_F(WritersTest, AVersionOneFileHandsNoDefinitionOnToANewAssignment) {
  file = Path("old.db");
  ASSERT_EQ(RawDb(file).Exec(VersionOneSchema()), SQLITE_OK);
  db = Open(file);
  const int32_t scenario = db->INSERTConstructionScenario(L"Base", L"");
  auto imprint = [&](const wchar_t* type) {
    return db->INSERTImprintAssignments(scenario, type, 1, 2, L"p", L"p", L"n", L"n", L"1", L"1",
                                        L"", L"", true);
  };
  auto define = [&](int32_t id) {
    db->INSERTUPDATEGlobalImprintDefinitions(id, true, 1, 2, 3, true, 4, 5, 6, false, 7, 8, 9, true,
                                             10, 11, 12, false);
    return id;
  };
  define(imprint(L"kept"));
  const int32_t gone = define(imprint(L"gone"));
  db->DELImprintAssignments(gone);
  EXPECT_GT(imprint(L"again"), gone);
  EXPECT_EQ(db->INSERTCopyMachiningScenario(scenario, L"Copy"), 0);
  EXPECT_TRUE(Reported().empty()) << ToUtf8(Reported().front());
  EXPECT_EQ(One("SELECT count(*) FROM tblGlobal_Imprint_Assignments a JOIN "
                "tblGlobal_Imprint_Definitions d USING (fldlngRelationPattern)"),
            "2")
      << "only the kept assignment and its copy have a definition";
}

TEST_F(WritersTest, AnInsertThatWroteNoRowReturnsNoIdentifier) {
  // A trigger that drops the row without an error: the connection's last rowid is not the id.
  Raw("CREATE TRIGGER skip BEFORE INSERT ON MachVariable BEGIN SELECT RAISE(IGNORE); END;");
  ASSERT_GT(db->INSERTMachining(L"m", L"g", 1, 0, 0, 0), 0);
  EXPECT_EQ(db->INSERTMachVariable(L"ignore", L"1", 1, false), 0);
  EXPECT_TRUE(Reported().empty());
  EXPECT_EQ(Count("MachVariable"), 0);
}

#if QUILLDATA_HAS_FORK
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
  test::Child child([&](int report) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 3;
    auto handler = std::make_shared<PolicyErrorHandler>(Policy::Continue);
    {
      clsQuillData_SqlLite backend;
      if (!backend.OpenDB(nullptr, handler, {L"", file.wstring(), L"0"})) return 4;
      backend.INSERTMachining(L"new", L"g", 1, 0, 0, 0);
      backend.UPDATEParaMachRouting(L"strName", L"changed", 1);
      backend.DELMachining(1);
      backend.INSERTCopyMachiningScenario(1, L"Copy");
    }
    std::string text;
    for (const auto& r : handler->Reports())
      text += ToUtf8(r.procedure + L": " + r.description) + "\n";
    return test::Child::Write(report, text.data(), text.size()) ? 0 : 5;
  });
  const std::string text = child.ReadAll();
  const int status = child.Wait();
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
#else
TEST_F(WritersTest, AReadOnlyFileIsReportedAndLeftAsItWas) {
  GTEST_SKIP() << test::kNeedsFork;
}
#endif

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
