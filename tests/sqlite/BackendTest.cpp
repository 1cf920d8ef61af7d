// The SQLite backend: the binding over the library (loading, calling exports by name, text in
// and out); the frame (opening, failing to open, statement errors, teardown, the schema the
// database is made from); and the readers (which rows come back, under which keys, with which
// values, and what happens with rows that do not fit).

#include <cstring>
#include <fstream>
#include <tuple>

#include "QuillData/locale/Locale.h"
#include "sqlite/SqliteFixture.h"
#include "support/TestSupport.h"

namespace QuillData::testing {
namespace {

constexpr int kRow = 100;
// A library of the system without the engine's exports.
#ifdef _WIN32
constexpr const wchar_t* kOtherLibrary = L"msvcrt.dll";
#else
constexpr const wchar_t* kOtherLibrary = L"libm.so.6";
#endif

// A binding with the library loaded from the system and an in-memory database open.
class BindingTest : public SqliteTest {
 protected:
  void SetUp() override {
    SqliteTest::SetUp();
    ASSERT_EQ(sqlite.sqlite3_initialize(), 0);
    ASSERT_TRUE(sqlite.Initialized());
    ASSERT_EQ(sqlite.OpenDB(L":memory:", db), 0);
  }
  void TearDown() override {
    if (sqlite.Initialized()) {
      sqlite.sqlite3_finalize(stmt);
      sqlite.sqlite3_close(db);
      sqlite.sqlite3_shutdown();
    }
    SqliteTest::TearDown();
  }
  // The first column of the query's first row, as text.
  std::wstring QueryText(const std::wstring& sql) {
    intptr_t tail = 0;
    EXPECT_EQ(sqlite.sqlite3_prepare_v2(db, sql, 0, stmt, tail), 0) << ToUtf8(sql);
    EXPECT_EQ(sqlite.sqlite3_step(stmt), kRow);
    std::wstring text = sqlite.sqlite3_column_text(stmt, 0);
    sqlite.sqlite3_finalize(stmt);
    stmt = 0;
    return text;
  }

  clsSqlLite sqlite;
  intptr_t db = 0;
  intptr_t stmt = 0;
};

TEST_F(BindingTest, CallFuncPassesArgumentsInOrderAndAddressesExactly) {
  const intptr_t block = sqlite.CallFunc(L"sqlite3_malloc", {int32_t{16}});
  ASSERT_NE(block, 0);
  const Variant address = Decimal{block, 0};
  std::memcpy(reinterpret_cast<void*>(block), "abcX\0ABCY", 10);
  const Variant second = Decimal{block + 5, 0};
  // sqlite3_strnicmp(a, b, n): the same in three characters, "X" before "Y" in four.
  auto compare = [&](const Variant& a, const Variant& b, int32_t n) {
    return static_cast<int32_t>(sqlite.CallFunc(L"sqlite3_strnicmp", {a, b, n}));
  };
  EXPECT_EQ(compare(address, second, 3), 0);
  EXPECT_LT(compare(address, second, 4), 0);
  EXPECT_GT(compare(second, address, 4), 0);
  auto bytes = sqlite.BytesFromPtr(block + 5, 4);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "ABCY");
  EXPECT_EQ(sqlite.CallFunc(L"sqlite3_free", {address}), sqlite.CallFunc(L"sqlite3_free", {0}))
      << "freeing works with the address as passed";
}

TEST_F(BindingTest, DllLoadMakesTheNextCallResolveAgain) {
  EXPECT_GT(sqlite.CallFunc(L"sqlite3_libversion_number", {}), 0);
  // The database goes before its library is replaced; TearDown cannot close it after.
  ASSERT_EQ(sqlite.sqlite3_close(db), 0);
  // The same name in a library without that export: a cached address would be called.
  ASSERT_TRUE(sqlite.DllLoad(kOtherLibrary));
  auto e = EXPECT_QUILL_ERROR(sqlite.CallFunc(L"sqlite3_libversion_number", {}),
                              ErrNo::FunctionNotFound);
  EXPECT_EQ(e.Source(), L"cCDECL");
  EXPECT_EQ(e.Description(), L"Failed to locate function: sqlite3_libversion_number");
  ASSERT_TRUE(sqlite.DllLoad(clsSqlLite::kLibraryFile));
  EXPECT_GT(sqlite.CallFunc(L"sqlite3_libversion_number", {}), 0);
  EXPECT_FALSE(sqlite.Initialized()) << "a replaced library is no longer initialized";
  EXPECT_TRUE(sqlite.DllUnload());
  EXPECT_FALSE(sqlite.DllUnload());
}

TEST_F(BindingTest, TextComesBackWithZeroBytesNamesAndInUtf16) {
  EXPECT_EQ(QueryText(L"SELECT CAST(X'610062' AS TEXT)"), std::wstring(L"a\0b", 3));
  intptr_t tail = 0;
  ASSERT_EQ(sqlite.sqlite3_prepare_v2(db, L"SELECT 2.5 AS Größe", 0, stmt, tail), 0);
  ASSERT_EQ(sqlite.sqlite3_step(stmt), kRow);
  EXPECT_EQ(sqlite.sqlite3_column_name(stmt, 0), L"Größe");
  EXPECT_EQ(sqlite.sqlite3_column_type(stmt, 0), 2);
  sqlite.sqlite3_finalize(stmt);
  ASSERT_EQ(sqlite.sqlite3_prepare16_v2(db, L"SELECT 'ü日'", 0, stmt, tail), 0);
  ASSERT_EQ(sqlite.sqlite3_step(stmt), kRow);
  EXPECT_EQ(sqlite.sqlite3_column_text(stmt, 0), L"ü日");
  EXPECT_EQ(sqlite.sqlite3_libversion().substr(0, 2), L"3.");
}

TEST_F(BindingTest, ColumnDoubleReadsTheNumberUnderEveryLocale) {
  // The library's text of a number has "." and at most 15 digits; a number is read as the
  // library holds it, and number text in either form.
  for (const char* locale : {"C.UTF-8", "de_DE.UTF-8"}) {
    UseLocale(locale);
    ReadDecimalSeparator();  // as a backend made now reads it
    intptr_t tail = 0;
    ASSERT_EQ(
        sqlite.sqlite3_prepare_v2(db, L"SELECT 1.234, 0.1 + 0.2, 7, ' 2.5', '2,5'", 0, stmt, tail),
        0);
    ASSERT_EQ(sqlite.sqlite3_step(stmt), kRow);
    EXPECT_EQ(sqlite.sqlite3_column_double(stmt, 0), 1.234) << locale;
    EXPECT_EQ(sqlite.sqlite3_column_double(stmt, 1), 0.1 + 0.2) << locale;
    EXPECT_EQ(sqlite.sqlite3_column_double(stmt, 2), 7) << locale;
    EXPECT_EQ(sqlite.sqlite3_column_double(stmt, 3), 2.5) << locale;
    if (std::string(locale) == "de_DE.UTF-8") {
      EXPECT_EQ(sqlite.sqlite3_column_double(stmt, 4), 2.5);
    }
    sqlite.sqlite3_finalize(stmt);
    stmt = 0;
  }
}

TEST_F(BindingTest, ShutdownOfOneBindingLeavesAnotherWorking) {
  {
    clsSqlLite second;
    ASSERT_EQ(second.sqlite3_initialize(), 0);
    EXPECT_EQ(second.sqlite3_shutdown(), 0);
  }
  // The library is still initialized for the first binding: configuring it is refused
  // (SQLITE_MISUSE), as it is only while the library is shut down.
  constexpr int32_t kConfigSingleThread = 1, kMisuse = 21;
  EXPECT_EQ(static_cast<int32_t>(sqlite.CallFunc(L"sqlite3_config", {kConfigSingleThread})),
            kMisuse);
  EXPECT_EQ(sqlite.sqlite3_exec(db, L"CREATE TABLE t (a); INSERT INTO t VALUES ('still here')"), 0);
  EXPECT_EQ(QueryText(L"SELECT a FROM t"), L"still here");
}

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
}

TEST_F(FrameTest, AFolderWithoutTheLibraryFailsToOpen) {
  std::filesystem::create_directories(Path("nolib"));
  EXPECT_FALSE(OpenFrom(Path("nolib").wstring(), Path("x.db")));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(clsSqlLite::kLibraryFile), std::wstring::npos) << ToUtf8(messages[0]);
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

TEST_F(FrameTest, AFileWithATableWithoutRowidIsRefused) {
  // An insert into it would leave the connection's last rowid as it was: another row's id.
  auto path = NewDatabase();
  Exec(path,
       L"DROP TABLE MachVariable; CREATE TABLE MachVariable (MachVarID INTEGER, Name TEXT, "
       L"Value TEXT, Requested INTEGER, MachLibID INTEGER, PRIMARY KEY (Name, MachLibID)) "
       L"WITHOUT ROWID");
  EXPECT_FALSE(OpenFrom(L"", path));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(L"MachVariable is declared WITHOUT ROWID"), std::wstring::npos)
      << ToUtf8(messages[0]);
  ASSERT_EQ(errors->Reports().size(), 1u) << "OpenDB's reason reaches the error companion";
  EXPECT_EQ(errors->Reports()[0].kind, ErrorKind::Unsupported);
  EXPECT_EQ(backend->INSERTMachVariable(L"v", L"1", 1, false), 0);
  ASSERT_EQ(errors->Reports().size(), 2u);
  EXPECT_EQ(errors->Reports()[1].description.rfind(L"The database is not open: its table", 0), 0u);
}

TEST_F(FrameTest, WithoutAnErrorCompanionFailuresReachTheCaller) {
  backend = std::make_shared<clsQuillData_SqlLite>();
  EXPECT_QUILL_ERROR(backend->GETTblMachining(), ErrNo::ObjectNotSet);  // no binding yet
  // An empty file is an empty database, without tables.
  std::ofstream(Path("new.db")).close();
  ASSERT_TRUE(backend->OpenDB(nullptr, nullptr, {L"", Path("new.db").wstring(), L""}));
  auto e = EXPECT_QUILL_ERROR(backend->GETTblMachining(), kStatementError);
  EXPECT_EQ(e.Source(), L"clsQuillData_GETTblMachining");
}

TEST_F(FrameTest, CreateDatabaseLeavesNothingHalfDone) {
  auto path = Path("clash.db");
  // A name the schema's last statement needs is taken by a table of the host's own.
  Exec(path, L"CREATE TABLE Notes (x); CREATE INDEX ixMFG_Scenario_Part ON Notes (x)");
  auto e = EXPECT_QUILL_ERROR(CreateDatabase(path, true), kStatementError);
  EXPECT_EQ(e.Source(), L"CreateDatabase");
  EXPECT_EQ(e.Description(), L"index ixMFG_Scenario_Part already exists");
  backend = Open(path, Policy::Continue);
  EXPECT_EQ(backend->GETTblMachining()->Count(), 0);
  ASSERT_EQ(StatementErrors().size(), 1u) << "no table of the schema was left behind";
  EXPECT_EQ(StatementErrors()[0].description, L"no such table: Machining");
}

class ReadersTest : public WritersTest {
 protected:
  std::vector<PolicyErrorHandler::Report> Reports() const { return errors->Reports(); }
};

TEST_F(ReadersTest, KeysJoinTheirFieldsExactly) {
  Raw(R"(
    INSERT INTO tblFilter_Scenarios VALUES ('0', '3', '0', 'A', ''), ('0', '3', '5', 'A', 'B');
    INSERT INTO tblGlobal_Contr_Featr_Lists (fldFeatureListID, fldFeatureID) VALUES (12, 7);
    INSERT INTO tblLocal_Face_Contour_Links (fldPartTypeID, fldSubTypeID, fldConstScenarioID,
      fldDesignID) VALUES ('3', 'A', 4, 9);
    INSERT INTO Machining (MachID, MachName, Y) VALUES (-5, 'negative', 1.5);
    INSERT INTO MachVariable (MachVarID, Name) VALUES (40, 'Width'), (41, 'Höhe');
    INSERT INTO tblMFG_Part_Types (fldPartID, fldSubTypeID) VALUES ('3', 'A|B');
  )");
  const auto& backend = db;
  EXPECT_EQ(Keys(*backend->GETTblFilterScenarios()),
            (std::vector<std::wstring>{L"3|A#0|", L"3|A#5|B"}));
  EXPECT_EQ(Keys(*backend->GETFilterScenariosCol(false)), std::vector<std::wstring>{L"3|A"});
  EXPECT_EQ(Keys(*backend->GETFilterScenariosCol(true)), std::vector<std::wstring>{L"3|A#5|B"});
  EXPECT_EQ(Keys(*backend->GETTblGlobalContrFeatrLists()), std::vector<std::wstring>{L"12,7"});
  EXPECT_EQ(Keys(*backend->GETTblLocalFaceContourLinks()), std::vector<std::wstring>{L"3|A|4|9"});
  EXPECT_EQ(Keys(*backend->GETTblMachining()), std::vector<std::wstring>{L"-5"});
  EXPECT_EQ(Keys(*backend->GETTblMachVariable()), (std::vector<std::wstring>{L"Width", L"Höhe"}));
  EXPECT_EQ(Keys(*backend->GETTblMFGPartTypes()), std::vector<std::wstring>{L"3|A|B"});
  // NULL columns read as empty values; the others as stored.
  auto m = backend->GETTblMachining()->ItemAs<tblMachining>(L"-5");
  EXPECT_EQ(m->MachGroup, L"");
  EXPECT_EQ(m->X, 0.0);
  EXPECT_EQ(m->Y, 1.5);
  EXPECT_EQ(m->MachLibID, 0);
  EXPECT_TRUE(Reports().empty());
}

// Under a comma locale a double column reads a float as its number, and number text (as
// files of other tools hold it) as its value in either form, with blanks or without, or
// reports it: never as another number. Text columns show number text with a comma.
TEST_F(ReadersTest, CommaLocaleReadsFloatsAsNumbersAndNumberTextWithACommaOnly) {
  Raw(R"(
    DROP TABLE Machining;
    CREATE TABLE Machining (MachID INTEGER PRIMARY KEY, MachName, MachGroup, X, Y, Z, MachLibID);
    INSERT INTO Machining VALUES (1, 'A.B', 'Hinge 3.5', 2.5, 1234.125, NULL, 3),
      (2, 'a', 'D', ' 2.5', '2.5 ', '1.234', 1), (3, 'b', 'D', '2,5', '1.2.3', ' 7 ', 1);
    INSERT INTO MachRouting (lngMachRoutingID, strName, dblDepthValue) VALUES (1, 'R', '12.5');
    INSERT INTO MachVariable (MachVarID, Name, Value) VALUES (1, '-0.25', 'x.y;1.5');
    INSERT INTO tblLocal_Designs (fldDesignID, fldDesignName, fldCheckSum) VALUES (1, 'v1.2', 2.5);
  )");
  UseLocale("de_DE.UTF-8");
  auto backend = Open(file);  // the separator is read when the backend is made
  auto rec = backend->GETTblMachining()->ItemAs<tblMachining>(L"1");
  EXPECT_EQ(rec->X, 2.5);
  EXPECT_EQ(rec->Y, 1234.125);
  EXPECT_EQ(rec->MachName, L"A.B");
  EXPECT_EQ(rec->MachGroup, L"Hinge 3.5");
  EXPECT_EQ(rec->MachLibID, 3);
  auto texts = backend->GETTblMachining();
  for (const auto& [id, x, y, z] : {std::tuple{L"2", 2.5, 2.5, 1.234}, {L"3", 2.5, 0.0, 7.0}}) {
    auto m = texts->ItemAs<tblMachining>(id);
    EXPECT_EQ(std::tuple(m->X, m->Y, m->Z), std::tuple(x, y, z)) << ToUtf8(id);
  }
  ASSERT_EQ(Reports().size(), 2u) << "'1.2.3' is no number, read twice";
  EXPECT_NE(Reports()[0].description.find(L"Machining.Y"), std::wstring::npos);
  EXPECT_EQ(backend->GETTblMachRouting()->ItemAs<tblMachRouting>(L"1")->dblDepthValue, L"12,5");
  // Keys are made of the fields as read.
  auto variables = backend->GETTblMachVariable();
  EXPECT_EQ(Keys(*variables), std::vector<std::wstring>{L"-0,25"});
  EXPECT_EQ(variables->ItemAs<tblMachVariable>(1)->Value, L"x.y;1.5");
  // The designs copy text unchanged, and read a float as the number it is.
  auto design = backend->GETTblLocalDesigns()->ItemAs<tblLocal_Designs>(L"1");
  EXPECT_EQ(design->fldDesignName, L"v1.2");
  EXPECT_EQ(design->fldCheckSum, 2) << "2.5 rounds half to even";
  EXPECT_EQ(Reports().size(), 2u);
}

TEST_F(ReadersTest, AReadThatFailsReturnsWhatItRead) {
  Raw("DROP TABLE MachVariable");
  for (auto policy : {Policy::Leave, Policy::Continue}) {
    auto backend = Open(file, policy);
    int32_t count = 77;
    auto rows = backend->GETTblMachVariable(count);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows->Count(), 0);
    EXPECT_EQ(count, policy == Policy::Leave ? 77 : 0) << "left, a read does not say it found none";
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].number, kStatementError);
    EXPECT_EQ(Reports()[0].description, L"no such table: MachVariable");
    EXPECT_EQ(Reports()[0].procedure, L"clsQuillData_GETTblMachVariable");
  }
  // The statement was finalized on leaving: a writer is not locked out.
  Raw("CREATE TABLE MachVariable (MachVarID INTEGER PRIMARY KEY)");
}

TEST_F(ReadersTest, ARetriedReadStartsAgainFromItsFirstRow) {
  constexpr int kRows = 3000;
  Raw("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
      "INSERT INTO Machining (MachID, MachName, MachLibID) SELECT i, 'machining ' || i, 1 FROM n");
  // A leaf page in the middle of the table is damaged: its header no longer says what it is.
  RawDb raw(file);
  const auto leaves = raw.Query(
      "SELECT pageno FROM dbstat WHERE name = 'Machining' AND pagetype = 'leaf' ORDER BY pageno");
  ASSERT_GT(leaves.size(), 4u);
  const std::streamoff at = (std::stoll(leaves[leaves.size() / 2][0]) - 1) *
                            std::stoll(raw.Query("PRAGMA page_size")[0][0]);
  std::fstream disk(file, std::ios::in | std::ios::out | std::ios::binary);
  char good[8], header[4];
  disk.seekg(at).read(good, sizeof good);
  disk.seekp(at).write("\xff\xff\xff\xff\xff\xff\xff\xff", 8).flush();
  // The repair, as another program's write would be seen: the page as it was, and the file's
  // change counter moved on, which makes every connection read the file again.
  auto repair = [&] {
    disk.seekp(at).write(good, sizeof good);
    disk.seekg(24).read(header, sizeof header);
    header[3] = static_cast<char>(header[3] + 1);
    disk.seekp(24).write(header, sizeof header).flush();
  };

  auto backend = Open(file);
  int32_t count = 77;
  auto rows = backend->GETTblMachining(count);
  EXPECT_GT(rows->Count(), 0);
  EXPECT_LT(rows->Count(), kRows);
  EXPECT_EQ(count, 77) << "left part-way, a read does not say how many rows there are";
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Reports()[0].kind, ErrorKind::Corrupt);

  auto handler = std::make_shared<RetryAfter>(repair);
  gE = handler;
  rows = backend->GETTblMachining(count);
  EXPECT_EQ(handler->kinds, std::vector<ErrorKind>{ErrorKind::Corrupt});
  EXPECT_EQ(rows->Count(), kRows) << "no row twice, none missing";
  EXPECT_EQ(count, kRows);
  EXPECT_EQ(rows->ItemAs<tblMachining>(kRows)->MachName, L"machining 3000");
}

TEST_F(ReadersTest, LocalDesignsReadTheirDateAndNeverTheirData) {
  auto path = NewDatabase(true, "sample.db");
  Exec(path,
       L"INSERT INTO tblLocal_Designs (fldDesignID, fldDesignName, fldCreated, fldData) "
       L"VALUES (3, 'Undated', 'next tuesday', 'some text');"
       L"INSERT INTO tblLocal_Designs (fldDesignID, fldDesignName, fldData) "
       L"VALUES (4, 'Now', X'00')");
  auto backend = Open(path);
  auto designs = backend->GETTblLocalDesigns();
  ASSERT_EQ(designs->Count(), 4);
  auto first = designs->ItemAs<tblLocal_Designs>(L"1");
  EXPECT_EQ(first->fldDesignName, L"Kitchen wall unit 600");
  EXPECT_EQ(first->fldCreated.value, DaysFromCivil(2024, 3, 18, 9, 41, 0).value());
  EXPECT_EQ(designs->ItemAs<tblLocal_Designs>(L"3")->fldCreated, Date{});
  EXPECT_GT(designs->ItemAs<tblLocal_Designs>(L"4")->fldCreated.value,
            DaysFromCivil(2024, 1, 1).value())
      << "a new design is stamped with the current time";
  for (const Variant& item : *designs) {
    EXPECT_TRUE(item.ObjectAs<tblLocal_Designs>()->fldData.IsEmpty());
  }
}

TEST_F(ReadersTest, ColumnsThatDoNotFitAreReportedByTypeSelect) {
  Raw(R"(
    ALTER TABLE Machining ADD COLUMN Extra TEXT;
    INSERT INTO Machining (MachID, MachName, MachLibID, Extra) VALUES (1, 'with extra', 3000000000, 'x');
    INSERT INTO Machining (MachID, MachName, MachLibID, Extra) VALUES (2, 'plain', 2.5, NULL);
    INSERT INTO MachLink (MachLinkID, MachID, MirrorX, MirrorY) VALUES (1, 4, 'maybe', 1);
  )");
  // Left, each bad cell is still reported: leaving one cell does not hide the next.
  auto rows = db->GETTblMachining();
  ASSERT_EQ(rows->Count(), 2);
  EXPECT_EQ(rows->ItemAs<tblMachining>(L"1")->MachName, L"with extra");
  EXPECT_EQ(rows->ItemAs<tblMachining>(L"1")->MachLibID, 0) << "values past 32 bits are not cut";
  EXPECT_EQ(rows->ItemAs<tblMachining>(L"2")->MachLibID, 2) << "2.5 rounds half to even";
  auto link = db->GETTblMachLink()->ItemAs<tblMachLink>(L"1");
  EXPECT_EQ(link->MachID, 4);
  EXPECT_TRUE(link->MirrorY);

  auto reports = Reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].number, ErrNo::Overflow);
  EXPECT_NE(reports[0].description.find(L"(Machining.MachLibID, row with key '1')"),
            std::wstring::npos)
      << ToUtf8(reports[0].description);
  EXPECT_EQ(reports[1].number, 438);
  EXPECT_NE(reports[1].description.find(L"Extra"), std::wstring::npos);
  EXPECT_EQ(reports[2].number, ErrNo::TypeMismatch);
  EXPECT_NE(reports[2].description.find(L"MachLink.MirrorX"), std::wstring::npos);
  for (const auto& r : reports) {
    EXPECT_EQ(r.module, L"clsQuillData_SqlLite");
    EXPECT_EQ(r.procedure, L"TypeSelect");
  }
}

TEST_F(ReadersTest, AKeptStatementReadsTheSchemaOfNow) {
  Raw("INSERT INTO Machining (MachID, MachName, MachGroup, X) VALUES (1, 'a', 'g', 2.5)");
  EXPECT_EQ(db->GETTblMachining()->ItemAs<tblMachining>(L"1")->MachGroup, L"g");
  // Another connection moves the columns: the kept statement is prepared again by the library,
  // and its columns are matched to the fields again.
  Raw("DROP INDEX ixMachining_Name; ALTER TABLE Machining DROP COLUMN MachGroup");
  for (int round = 0; round < 2; ++round) {
    auto rows = db->GETTblMachining();
    ASSERT_EQ(rows->Count(), 1);
    auto m = rows->ItemAs<tblMachining>(L"1");
    EXPECT_EQ(m->MachGroup, L"");
    EXPECT_EQ(m->X, 2.5);
  }
  EXPECT_TRUE(Reports().empty());
}

// Answers the first report by reading Machining again on the same backend: the same reader,
// nested in the row copy of the outer call.
class ReadAgain : public cE {
 public:
  std::shared_ptr<clsQuillData_SqlLite> backend;
  int32_t nestedCount = -1;
  int16_t HandleError(QuillError&, ObjectPtr&, std::wstring&, std::wstring&, std::shared_ptr<cSP>&,
                      int32_t&) override {
    if (nestedCount < 0) {
      nestedCount = 0;
      backend->GETTblMachining(nestedCount);
    }
    return kContinue;
  }
};

TEST_F(ReadersTest, ANestedReadAndAReadLeftMidwayShareNoStatementAndHoldNoLock) {
  Raw("INSERT INTO Machining (MachID, MachName, MachLibID) VALUES (1, 'a', 1), (2, 'b', 'x'), "
      "(3, 'c', 3)");
  const auto& backend = db;
  auto handler = std::make_shared<ReadAgain>();
  handler->backend = backend;
  ASSERT_TRUE(backend->OpenDB(nullptr, handler, {L"", file.wstring(), L"0"}));
  int32_t count = 0;
  auto rows = backend->GETTblMachining(count);
  EXPECT_EQ(handler->nestedCount, 3) << "the nested read has a statement of its own";
  EXPECT_EQ(count, 3) << "and the outer read goes on where it was";

  // Without an error companion the bad cell reaches the caller in the middle of the rows; the
  // statement is reset all the same: another connection takes the write lock, and the next
  // read starts from the first row.
  ASSERT_TRUE(backend->OpenDB(nullptr, nullptr, {L"", file.wstring(), L"0"}));
  EXPECT_THROW(backend->GETTblMachining(), QuillError);
  Raw("BEGIN EXCLUSIVE; DELETE FROM Machining WHERE MachID = 2; COMMIT");
  rows = backend->GETTblMachining(count);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(rows->ItemAs<tblMachining>(1)->MachName, L"a");
}

}  // namespace
}  // namespace QuillData::testing
