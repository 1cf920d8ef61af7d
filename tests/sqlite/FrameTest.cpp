// The backend's frame: opening, failing to open, statement errors, teardown, the number text
// of statements and the schema the database is made from.
#include <cfloat>
#include <fstream>
#include <map>
#include <random>

#include "QuillData/contract/Factory.h"
#include "QuillData/sqlite/modMain.h"
#include "sqlite/Operation.h"
#include "sqlite/SqliteFixture.h"

namespace QuillData::testing {
namespace {

using sqlite_detail::Operation;
using sqlite_detail::SqlText;

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

TEST_F(FrameTest, OpensAFileAndStoresTheCompanionsAndTraceSwitch) {
  auto path = NewDatabase(true);
  auto trace = std::make_shared<StreamTrace>();
  errors = std::make_shared<PolicyErrorHandler>();
  backend = std::make_shared<clsQuillData_SqlLite>();
  ASSERT_TRUE(backend->OpenDB(trace, errors, {L"", path.wstring(), L"2"}));
  EXPECT_EQ(gSP, trace);
  EXPECT_EQ(gE, errors);
  EXPECT_EQ(gTraceFlag, L"2");
  EXPECT_EQ(backend->GETTblMachining()->Count(), 5);
  EXPECT_TRUE(errors->Reports().empty());

  // Opening again on the same object switches to the other file.
  auto other = NewDatabase(false, "other.db");
  ASSERT_TRUE(backend->OpenDB(trace, errors, {L"", other.wstring(), L"0"}));
  EXPECT_EQ(backend->GETTblMachining()->Count(), 0);
  EXPECT_TRUE(errors->Reports().empty());
}

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

TEST_F(FrameTest, ADatabaseInAMissingFolderFailsToOpen) {
  EXPECT_FALSE(OpenFrom(L"", Path("missing") / "x.db"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], L"unable to open database file");

  EXPECT_EQ(backend->GETTblMachVertical()->Count(), 0);
  auto reports = StatementErrors();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].description, L"unable to open database file");
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

TEST_F(FrameTest, TeardownIsTracedAndShutsTheLibraryDown) {
  auto path = NewDatabase();
  auto trace = std::make_shared<StreamTrace>();
  backend = std::make_shared<clsQuillData_SqlLite>();
  ASSERT_TRUE(backend->OpenDB(trace, nullptr, {L"", path.wstring(), L"1"}));
  std::shared_ptr<clsSqlLite> binding = backend->Sqlite();
  backend.reset();
  std::vector<std::wstring> seen;
  for (const auto& e : trace->Events()) seen.push_back((e.enter ? L">" : L"<") + e.procedure);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L">Class_Terminate", L">sqlite3_shutdown",
                                             L"<sqlite3_shutdown", L"<Class_Terminate"}));
  EXPECT_EQ(trace->Events()[0].module, L"clsQuillData");
  EXPECT_FALSE(binding->Loaded());
}

TEST_F(FrameTest, DefaultMessageHookAndFactory) {
  std::vector<std::wstring> seen;
  clsQuillData_SqlLite::SetDefaultMessageHook([&](const std::wstring& t) { seen.push_back(t); });
  auto created = CreateObjectAs<clsQuillData_SqlLite>(L"QuillData.clsQuillData_SqlLite");
  ASSERT_NE(created, nullptr);
  EXPECT_FALSE(created->OpenDB(nullptr, std::make_shared<PolicyErrorHandler>(),
                               {L"", Path("missing/x.db").wstring(), L"0"}));
  EXPECT_EQ(seen, std::vector<std::wstring>{L"unable to open database file"});
  EXPECT_NE(CreateObjectAs<clsSqlLite>(L"QuillData.clsSqlLite"), nullptr);
}

TEST_F(FrameTest, NumbersEnterStatementsWithAPoint) {
  {
    backend = std::make_shared<clsQuillData_SqlLite>();
    EXPECT_EQ(gDecSep, L".");
    EXPECT_FALSE(gDecSepDiffers);
    EXPECT_EQ(NumberToSql(1.5), L"1.5");
    EXPECT_EQ(TextToSql(L"1,25"), L"1,25");
  }
  UseLocale("de_DE.UTF-8");
  backend = std::make_shared<clsQuillData_SqlLite>();
  EXPECT_EQ(gDecSep, L",");
  EXPECT_TRUE(gDecSepDiffers);
  EXPECT_EQ(NumberToSql(1.5), L"1.5");
  EXPECT_EQ(NumberToSql(-1234567.25), L"-1234567.25");
  EXPECT_EQ(NumberToSql(3.0), L"3");
  // The shortest text that reads back as the same double.
  EXPECT_EQ(NumberToSql(0.1), L"0.1");
  EXPECT_EQ(NumberToSql(1.0 / 3), L"0.3333333333333333");
  EXPECT_EQ(NumberToSql(DBL_MAX), L"1.7976931348623157e+308");
  EXPECT_EQ(NumberToSql(5e-324), L"5e-324");
  // Only text that is one number changes.
  EXPECT_EQ(TextToSql(L"1,25"), L"1.25");
  EXPECT_EQ(TextToSql(L"-0,25"), L"-0.25");
  EXPECT_EQ(TextToSql(L"a,b,c"), L"a,b,c");
  EXPECT_EQ(TextToSql(L"x,y;1,5"), L"x,y;1,5");
  EXPECT_EQ(TextToSql(L"1,2,3"), L"1,2,3");
  EXPECT_EQ(TextToSql(L"1.234,5"), L"1.234,5");
}

TEST_F(FrameTest, StatementTextDoublesQuotesAndWritesValuesByType) {
  SqlText sql(L" INSERT INTO Machining (MachName, MachGroup, X, MachLibID) VALUES('");
  sql << std::wstring(L"O'Brien's") << L"','" << std::wstring(L"''") << L"'," << 2.25 << L","
      << int32_t{-7} << L")";
  EXPECT_EQ(sql.str(),
            L" INSERT INTO Machining (MachName, MachGroup, X, MachLibID) "
            L"VALUES('O''Brien''s','''''',2.25,-7)");
  EXPECT_EQ((SqlText(L"") << true << false).str(), L"10");

  auto path = NewDatabase();
  Exec(path, sql);
  backend = Open(path);
  auto rows = backend->GETTblMachining();
  ASSERT_EQ(rows->Count(), 1);
  auto rec = rows->ItemAs<tblMachining>(1);
  EXPECT_EQ(rec->MachName, L"O'Brien's");
  EXPECT_EQ(rec->MachGroup, L"''");
  EXPECT_EQ(rec->X, 2.25);
  EXPECT_EQ(rec->MachLibID, -7);
}

TEST_F(FrameTest, NamesFromArgumentsAreCheckedAgainstTheSchema) {
  auto path = NewDatabase();
  backend = Open(path, Policy::Continue);
  Operation op(*backend, L"clsQuillData_UPDATEParaMachRouting");
  EXPECT_EQ(op.CheckedColumn(L"MachRouting", L"strtoolrotation").text, L"\"strToolRotation\"");
  EXPECT_EQ(op.CheckedTable(L"tblLocal_Relationship_Patterns").text,
            L"\"tblLocal_Relationship_Patterns\"");
  try {
    op.CheckedColumn(L"MachRouting", L"strName = 'x'; DROP TABLE Machining; --");
    ADD_FAILURE() << "not a column";
  } catch (const QuillError& e) {
    EXPECT_EQ(e.Number(), kStatementError);
    EXPECT_EQ(e.Source(), L"clsQuillData_UPDATEParaMachRouting");
    EXPECT_EQ(e.Description().rfind(L"no such column: ", 0), 0u);
  }
  EXPECT_THROW(op.CheckedTable(L"Machining x"), QuillError);
  EXPECT_EQ(op.QueryInt(L"SELECT count(*) FROM Machining"), 0);
  EXPECT_EQ(op.QueryInt(L"SELECT 1 WHERE 0"), std::nullopt);
  op.Exec(L"INSERT INTO Machining (MachName) VALUES ('x')");
  EXPECT_EQ(op.NewId(), 1);
}

TEST_F(FrameTest, SchemaHasAColumnOfTheRightAffinityForEveryField) {
  auto path = NewDatabase();
  clsSqlLite sqlite;
  ASSERT_EQ(sqlite.sqlite3_initialize(), 0);
  intptr_t db = 0, stmt = 0, tail = 0;
  ASSERT_EQ(sqlite.OpenDB(path.wstring(), db), 0);
  const std::map<std::wstring, std::wstring> tables = {{L"tblMachining", L"Machining"},
                                                       {L"tblMachLink", L"MachLink"},
                                                       {L"tblMachRouting", L"MachRouting"},
                                                       {L"tblMachVariable", L"MachVariable"},
                                                       {L"tblMachVertical", L"MachVertical"}};
  int checked = 0;
  for (const RecordType* type : RecordType::All()) {
    std::wstring name(type->Name());
    if (name == L"tblMaterial_Board_Assignments" || name == L"tblScenario") continue;
    std::wstring table = tables.count(name) ? tables.at(name) : name;
    ASSERT_EQ(sqlite.sqlite3_prepare_v2(
                  db, L"SELECT name, type FROM pragma_table_info('" + table + L"') ORDER BY cid", 0,
                  stmt, tail),
              0);
    std::vector<std::pair<std::wstring, std::wstring>> columns;
    while (sqlite.sqlite3_step(stmt) == 100) {
      columns.emplace_back(sqlite.sqlite3_column_text(stmt, 0),
                           sqlite.sqlite3_column_text(stmt, 1));
    }
    sqlite.sqlite3_finalize(stmt);
    size_t c = 0;
    for (const FieldInfo& field : type->Fields()) {
      if (field.type == FieldType::Collection) continue;  // held by the host, not stored
      ASSERT_LT(c, columns.size()) << ToUtf8(table);
      EXPECT_EQ(columns[c].first, field.name) << ToUtf8(table);
      const wchar_t* affinity = field.type == FieldType::Long || field.type == FieldType::Bool
                                    ? L"INTEGER"
                                : field.type == FieldType::Double  ? L"REAL"
                                : field.type == FieldType::Variant ? L"BLOB"
                                                                   : L"TEXT";
      EXPECT_EQ(columns[c].second, affinity) << ToUtf8(table + L"." + columns[c].first);
      ++c;
    }
    EXPECT_EQ(c, columns.size()) << ToUtf8(table) << " has columns without a field";
    ++checked;
  }
  EXPECT_EQ(checked, 23);
  sqlite.sqlite3_close(db);
  sqlite.sqlite3_shutdown();
}

TEST_F(FrameTest, EveryWriterLookUpUsesAnIndex) {
  auto path = NewDatabase();
  clsSqlLite sqlite;
  ASSERT_EQ(sqlite.sqlite3_initialize(), 0);
  intptr_t db = 0, stmt = 0, tail = 0;
  ASSERT_EQ(sqlite.OpenDB(path.wstring(), db), 0);
  // The WHERE clauses of the writers' look-ups, updates and deletes.
  const std::vector<std::wstring> lookUps = {
      L"tblConstruction_Scenario_Types WHERE fldConstScenarioType = 'x'",
      L"tblConstruction_Scenario_Types WHERE fldConstScenarioID = 1",
      L"tblGlobal_Contr_Featr_Lists WHERE fldFeatureID = 1 AND fldNewFtrSandEPoints = 'x' AND "
      L"fldLinkName = 'x' AND fldLinkType = 'x' AND fldLinkVarSet = 'x'",
      L"tblGlobal_Contr_Featr_Patterns WHERE fldPartTypeID = 1 AND fldSubTypeID = 'x' AND "
      L"fldFeatureKey = 1 AND fldFeatureListID = 1",
      L"tblLocal_Contr_Featr_Patterns WHERE fldPartTypeID = 1 AND fldSubTypeID = 'x' AND "
      L"fldFeatureKey = 1",
      L"tblGlobal_Imprint_Assignments WHERE fldlngConstScenarioID = 1 AND fldstrUDI_Type = 'x' "
      L"AND fldstrPartType1 = 1 AND fldstrPartType2 = 2",
      L"tblGlobal_Imprint_Assignments WHERE fldlngRelationPattern = 1",
      L"tblGlobal_Imprint_Assignments WHERE fldlngConstScenarioID = 1",
      L"tblGlobal_Imprint_Definitions WHERE fldlngRelationPattern = 1",
      L"Machining WHERE [MachName] = 'x' AND MachLibID = 1",
      L"Machining WHERE MachID = 1",
      L"MachLink WHERE MachID = 1 AND MachRuleID = 2 AND lower(MachExprVar) = 'x'",
      L"MachVariable WHERE [Name] = 'x' AND MachLibID = 1",
      L"MachVariable WHERE MachVarID = 1 AND MachLibID = 1",
      L"MachRouting WHERE MachID = 1",
      L"MachVertical WHERE MachID = 1",
      L"tblLocal_Designs WHERE fldDesignName = 'x' AND fldComputerName = 'y'",
      L"tblLocal_Machining_Links WHERE fldType = 'x' AND fldDescription = 'x' AND fldName = 'x' "
      L"AND fldPattType = 'x' AND fldRelation = 'x'",
      L"tblLocal_Machining_Links WHERE fldRelation = 'x' AND fldPattType = 'y'",
      L"tblGlobal_Machining_Links WHERE fldType = 'x' AND fldDescription = 'x' AND fldName = 'x'",
      L"tblFilter_Scenarios WHERE fldPartType1 = '1' AND fldPartType2 = '2' AND fldSubType1 = 'A' "
      L"AND fldSubType2 = 'B'",
      L"tblFilter_Scenarios WHERE fldPartType1 = 1 AND fldPartType2 = 2 AND fldSubType1 = 'A' AND "
      L"fldSubType2 = 'B'",
      L"tblMFG_Part_Types WHERE fldSubTypeID = 'A' AND fldPartID = 1",
      L"tblMFG_Scenario WHERE fldSubTypeID = 'A' AND fldPartID = 1 AND fldMFGScenarioID = 1",
      L"tblGlobal_Relation_Assignments WHERE fldConstScenarioID = 1 AND fldPartType1 = 1 AND "
      L"fldPartType2 = 2 AND fldSubType1 = 'A' AND fldSubType2 = 'B'",
      L"tblLocal_Relation_Assignments WHERE fldConstScenarioID = 1 AND fldPartType1 = 1 AND "
      L"fldPartType2 = 2 AND fldSubType1 = 'A' AND fldSubType2 = 'B' AND fldDesignID = 1",
      L"tblGlobal_Relationship_Patterns WHERE fldPatternID = 1",
      L"tblLocal_Relationship_Patterns WHERE fldPatternID = 1",
      L"tblGlobal_Face_Contour_Links WHERE fldPartTypeID = 1 AND fldSubTypeID = 'A' AND "
      L"fldConstScenarioID = 1",
      L"tblGlobal_Face_Contour_Links WHERE fldConstScenarioID = 1",
      L"tblLocal_Face_Contour_Links WHERE fldPartTypeID = 1 AND fldSubTypeID = 'A' AND "
      L"fldConstScenarioID = 1 AND fldRelation = 'r' AND fldPattType = 'p' AND fldDesignID = 1",
      L"tblLocal_Face_Contour_Links WHERE fldConstScenarioID = 1",
      L"tblGlobal_Relation_Assignments WHERE fldConstScenarioID = 1",
      L"tblLocal_Relation_Assignments WHERE fldConstScenarioID = 1",
  };
  for (const auto& where : lookUps) {
    ASSERT_EQ(
        sqlite.sqlite3_prepare_v2(db, L"EXPLAIN QUERY PLAN SELECT * FROM " + where, 0, stmt, tail),
        0)
        << ToUtf8(where);
    std::wstring plan;
    while (sqlite.sqlite3_step(stmt) == 100) plan += sqlite.sqlite3_column_text(stmt, 3) + L"; ";
    sqlite.sqlite3_finalize(stmt);
    EXPECT_EQ(plan.find(L"SCAN"), std::wstring::npos) << ToUtf8(where + L" -> " + plan);
  }
  sqlite.sqlite3_close(db);
  sqlite.sqlite3_shutdown();
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
