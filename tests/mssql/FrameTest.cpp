// The frame (OpenDB, teardown, the two connections, failures) and the table readers (keys,
// fields, null guards) against scripted recordsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "QuillData/ado/Connection.h"
#include "QuillData/ado/Enums.h"
#include "QuillData/contract/Error.h"
#include "QuillData/contract/Factory.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Text.h"
#include "mssql/MssqlTestSupport.h"

namespace QuillData::test {
namespace {

using Row = std::vector<std::pair<std::wstring, Variant>>;

ado::RowSet Rows(const std::vector<Row>& rows) {
  ado::RowSet set;
  if (rows.empty()) return set;
  for (const auto& [name, value] : rows.front()) set.columns.push_back({name, ado::adVariant});
  for (const auto& row : rows) {
    std::vector<Variant> values;
    for (const auto& cell : row) values.push_back(cell.second);
    set.rows.push_back(values);
  }
  return set;
}

// Frame ------------------------------------------------------------------------------------

using FrameTest = RecordingBackendTest;

TEST_F(FrameTest, OpenDBOpensItsOwnConnectionAndLeavesTheInterfaceConnAlone) {
  auto db = std::make_shared<clsQuillData_MSSQL>();
  clsQuillData& q = *db;
  ASSERT_TRUE(q.OpenDB(trace, errors, {L"Provider=Recording;Data Source=x", L"0"}));
  EXPECT_EQ(gTraceFlag, L"0");
  ASSERT_NE(db->OwnConn(), nullptr);
  EXPECT_GT(db->OwnConn()->State(), 0);
  EXPECT_EQ(db->OwnConn()->ConnectionString(), L"Provider=Recording;Data Source=x");
  EXPECT_EQ(q.Conn(), nullptr);

  auto other = std::make_shared<ado::Connection>();
  q.Conn(other);
  EXPECT_EQ(q.Conn(), other);
  EXPECT_NE(db->OwnConn(), other);       // the interface's Conn is only held for the host
  EXPECT_TRUE(trace->Events().empty());  // OpenDB is not traced
}

TEST_F(FrameTest, OpenDBTakesTheArrayWrappedAsItsFirstArgumentToo) {
  auto db = std::make_shared<clsQuillData_MSSQL>();
  Variant::Array inner{Variant(L"Provider=Recording"), Variant(L"1")};
  EXPECT_TRUE(db->OpenDB(trace, errors, {Variant(inner)}));
  EXPECT_EQ(gTraceFlag, L"1");
  EXPECT_TRUE(errors->Reports().empty());
}

TEST_F(FrameTest, ARefusedOpenIsReportedWithFlagTwoAndKeepsTheTraceSwitch) {
  recorder->FailOpen(QuillError(-2147467259, L"driver", L"password authentication failed"));
  auto db = std::make_shared<clsQuillData_MSSQL>();
  EXPECT_FALSE(db->OpenDB(trace, errors, {L"Provider=Recording", L"0"}));
  EXPECT_EQ(gTraceFlag, L"1");  // from the fixture's OpenDB
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].flag, 2);
  EXPECT_EQ(reports[0].module, L"clsQuillData");
  EXPECT_EQ(reports[0].procedure, L"OpenDB");
  EXPECT_NE(reports[0].description.find(L"password authentication failed"), std::wstring::npos);
}

TEST_F(FrameTest, ReleasingTheBackendClosesItsConnectionOnceAndTracesIt) {
  backend.reset();
  int closes = 0;
  for (const auto& call : recorder->Calls()) {
    closes += call.kind == ado::RecordedCall::Kind::Close;
  }
  EXPECT_EQ(closes, 1);
  auto events = trace->Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].procedure, L"Class_Terminate");
  EXPECT_EQ(events[0].module, L"clsQuillData");
  EXPECT_FALSE(events[1].enter);

  // A backend that never opened, or whose connection was closed by the host, goes quietly.
  auto never = std::make_shared<clsQuillData_MSSQL>();
  never.reset();
  auto closed = std::make_shared<clsQuillData_MSSQL>();
  ASSERT_TRUE(closed->OpenDB(trace, errors, {L"Provider=Recording", L"0"}));
  closed->OwnConn()->Close();
  closed.reset();
  EXPECT_TRUE(errors->Reports().empty());
}

TEST_F(FrameTest, AnOperationBeforeOpenDBFailsInsideItsTrap) {
  auto db = std::make_shared<clsQuillData_MSSQL>();
  EXPECT_EQ(db->DELMachining(5), 0);
  ASSERT_EQ(errors->Reports().size(), 1u);
  EXPECT_EQ(errors->Reports()[0].procedure, L"DelMachining");
  EXPECT_EQ(errors->Reports()[0].flag, 0);

  // Without any error companion the failure reaches the caller.
  gE.reset();
  EXPECT_THROW(db->DELMachining(5), QuillError);
}

TEST_F(FrameTest, AFailedCallIsRetriedWhenTheCompanionSaysSo) {
  auto retrying = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Retry, 3);
  gE = retrying;
  recorder->Answer(ado::RecordingProvider::Fails(QuillError(-2147467259, L"driver", L"gone")));
  recorder->Answer(ado::RecordingProvider::Returns(Variant(int32_t{5})));
  EXPECT_EQ(Db().DELMachining(9), 5);
  EXPECT_EQ(retrying->Reports().size(), 1u);
  EXPECT_EQ(recorder->Commands().size(), 2u);
  // The exit trace follows the successful retry.
  ASSERT_EQ(trace->Events().size(), 2u);
}

// What reached the provider: "Open", "Close" and the command texts, in order.
std::vector<std::wstring> Sent(const ado::RecordingProvider& recorder) {
  std::vector<std::wstring> out;
  for (const auto& call : recorder.Calls()) {
    using K = ado::RecordedCall::Kind;
    out.push_back(call.kind == K::Open    ? L"Open"
                  : call.kind == K::Close ? L"Close"
                                          : call.command.text);
  }
  return out;
}

TEST_F(FrameTest, ALostConnectionIsOpenedAgainBeforeARetryWhenResendingIsSafe) {
  auto retrying = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Retry, 3);
  gE = retrying;
  const QuillError gone(-2147467259, L"driver", L"connection lost (SQLSTATE 08S01)");
  // A look-up-then-insert and a table read: both sent again on a new connection.
  recorder->Answer(ado::RecordingProvider::LosesConnection(gone));
  recorder->Answer(ado::RecordingProvider::Returns(Variant(int32_t{12})));
  EXPECT_EQ(Db().INSERTMachining(L"Saw", L"A", 1, 0, 0, 0), 12);
  EXPECT_EQ(Sent(*recorder),
            (std::vector<std::wstring>{L"P_I_Machining", L"Open", L"Close", L"P_I_Machining"}));
  recorder->Clear();
  recorder->Answer(ado::RecordingProvider::LosesConnection(gone));
  recorder->Answer(ado::RecordingProvider::Rows({{{L"MachID", ado::adInteger}}, {}}));
  ASSERT_NE(Db().GETTblMachining(), nullptr);
  EXPECT_EQ(Sent(*recorder), (std::vector<std::wstring>{L"SELECT * FROM Machining;", L"Open",
                                                        L"Close", L"SELECT * FROM Machining;"}));
  EXPECT_EQ(retrying->Reports().size(), 2u);
  EXPECT_EQ(backend->OwnConn()->State(), ado::adStateOpen);
}

TEST_F(FrameTest, AWriteWhoseOutcomeIsUnknownIsNotSentAgainUnlessItLooksUpFirst) {
  auto retrying = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Retry, 2);
  gE = retrying;
  recorder->Answer(ado::RecordingProvider::LosesConnection(
      QuillError(-2147467259, L"driver", L"connection lost (SQLSTATE 08S01)")));
  // A plain insert: it may have been written, so it is reported, never sent twice.
  EXPECT_EQ(Db().INSERTMachRouting(L"R", 1, 0), 0);
  EXPECT_EQ(Sent(*recorder), (std::vector<std::wstring>{L"P_I_MachRouting"}));
  auto reports = retrying->Reports();
  ASSERT_EQ(reports.size(), 3u);  // the loss, then the refusal at each retry
  EXPECT_NE(reports[1].description.find(L"not sent again"), std::wstring::npos);
  EXPECT_EQ(reports[2].action, kLeave);
  // The next call finds the connection lost: nothing was sent yet, so it reconnects and runs.
  recorder->Answer(ado::RecordingProvider::Returns(Variant(int32_t{4})));
  EXPECT_EQ(Db().INSERTMachRouting(L"R", 1, 0), 4);
  EXPECT_EQ(Sent(*recorder),
            (std::vector<std::wstring>{L"P_I_MachRouting", L"Open", L"Close", L"P_I_MachRouting"}));
}

TEST_F(FrameTest, AReconnectTheServerRefusesIsTriedUntilTheConnectTimeoutThenReported) {
  ASSERT_TRUE(Db().OpenDB(trace, errors, {L"Provider=Recording;Connect Timeout=1", L"0"}));
  auto retrying = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Retry, 2);
  gE = retrying;
  recorder->Clear();
  recorder->Answer(ado::RecordingProvider::LosesConnection(QuillError(-2147467259, L"d", L"lost")));
  recorder->FailOpen(QuillError(-2147467259, L"d", L"refused"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Db().INSERTMachining(L"Saw", L"A", 1, 0, 0, 0), 0);
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GT(waited, 1.5);  // two reconnects of about a second each
  EXPECT_LT(waited, 4.0);
  auto reports = retrying->Reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[1].description, L"refused");
  EXPECT_EQ(reports[2].action, kLeave);
  const auto sent = Sent(*recorder);
  EXPECT_GE(std::count(sent.begin(), sent.end(), L"Open"), 4);

  // The server is back: the next call reconnects at once.
  recorder->FailOpen(std::nullopt);
  recorder->Answer(ado::RecordingProvider::Returns(Variant(int32_t{8})));
  EXPECT_EQ(Db().INSERTMachining(L"Saw", L"A", 1, 0, 0, 0), 8);
}

TEST_F(FrameTest, AFailedCallThatIsLeftReturnsItsEmptyResultWithoutExitTrace) {
  recorder->Answer(ado::RecordingProvider::Fails(QuillError(-2147467259, L"driver", L"no such")));
  int32_t affected = 7;
  EXPECT_EQ(Db().INSERTMachRouting(L"R", 1, 0, affected), 0);
  EXPECT_EQ(affected, 7);
  ASSERT_EQ(errors->Reports().size(), 1u);
  EXPECT_EQ(errors->Reports()[0].description, L"no such");
  auto events = trace->Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].enter);
}

TEST_F(FrameTest, TheFactoryCreatesTheBackendByName) {
  auto db = CreateObjectAs<clsQuillData>(L"QuillData.clsQuillData_MSSQL");
  ASSERT_NE(db, nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<clsQuillData_MSSQL>(db), nullptr);
}

// Readers ----------------------------------------------------------------------------------

// A value per field, told apart by the field's position.
Variant Sample(const FieldInfo& field, size_t i) {
  switch (field.type) {
    case FieldType::Long:
      return static_cast<int32_t>(10 + i);
    case FieldType::String:
      return L"s" + std::to_wstring(i);
    case FieldType::Double:
      return static_cast<double>(i) + 0.5;
    case FieldType::Bool:
      return true;
    case FieldType::Date:
      return Date{45000.5};
    case FieldType::Variant:
      return Variant::Bytes{1, 2, 3};
    default:
      return {};
  }
}

struct ReaderCase {
  const char* operation;
  std::function<CollectionPtr(clsQuillData&, int32_t&)> read;
  std::wstring table;
  const RecordType& (*type)();
  std::wstring key;  // of the sample row
  std::vector<std::wstring_view> unfilled;
};

template <class R>
const RecordType& TypeOf() {
  return R::Descriptor();
}

#define READER(op) [](clsQuillData& q, int32_t& ra) { return q.op(ra); }

std::vector<ReaderCase> Readers() {
  return {
      {"GETTblConstructionScenarioTypes",
       READER(GETTblConstructionScenarioTypes),
       L"tblConstruction_Scenario_Types",
       TypeOf<tblConstruction_Scenario_Types>,
       L"s1",
       {}},
      {"GETTblFilterScenarios",
       READER(GETTblFilterScenarios),
       L"tblFilter_Scenarios",
       TypeOf<tblFilter_Scenarios>,
       L"s1|s3#s2|s4",
       {}},
      {"GETTblGlobalContrFeatrLists",
       READER(GETTblGlobalContrFeatrLists),
       L"tblGlobal_Contr_Featr_Lists",
       TypeOf<tblGlobal_Contr_Featr_Lists>,
       L"10,11",
       {}},
      {"GETTblGlobalContrFeatrPatterns",
       READER(GETTblGlobalContrFeatrPatterns),
       L"tblGlobal_Contr_Featr_Patterns",
       TypeOf<tblGlobal_Contr_Featr_Patterns>,
       L"13,s0,s1",
       {}},
      {"GETTblGlobalFaceContourLinks",
       READER(GETTblGlobalFaceContourLinks),
       L"tblGlobal_Face_Contour_Links",
       TypeOf<tblGlobal_Face_Contour_Links>,
       L"12,s0,s1",
       {}},
      {"GETTblGlobalImprintAssignments",
       READER(GETTblGlobalImprintAssignments),
       L"tblGlobal_Imprint_Assignments",
       TypeOf<tblGlobal_Imprint_Assignments>,
       L"10",
       {}},
      {"GETTblGlobalImprintDefinitions",
       READER(GETTblGlobalImprintDefinitions),
       L"tblGlobal_Imprint_Definitions",
       TypeOf<tblGlobal_Imprint_Definitions>,
       L"10",
       {}},
      {"GETTblGlobalMachiningLinks",
       READER(GETTblGlobalMachiningLinks),
       L"tblGlobal_Machining_Links",
       TypeOf<tblGlobal_Machining_Links>,
       L"10",
       {}},
      {"GETTblGlobalRelationAssignments",
       READER(GETTblGlobalRelationAssignments),
       L"tblGlobal_Relation_Assignments",
       TypeOf<tblGlobal_Relation_Assignments>,
       L"10",
       {}},
      {"GETTblGlobalRelationshipPatterns",
       READER(GETTblGlobalRelationshipPatterns),
       L"tblGlobal_Relationship_Patterns",
       TypeOf<tblGlobal_Relationship_Patterns>,
       L"10",
       {}},
      {"GETTblLocalContrFeatrLists",
       READER(GETTblLocalContrFeatrLists),
       L"tblLocal_Contr_Featr_Lists",
       TypeOf<tblLocal_Contr_Featr_Lists>,
       L"10",
       {}},
      {"GETTblLocalDesigns",
       READER(GETTblLocalDesigns),
       L"tblLocal_Designs",
       TypeOf<tblLocal_Designs>,
       L"10",
       {}},
      {"GETTblLocalFaceContourLinks",
       READER(GETTblLocalFaceContourLinks),
       L"tblLocal_Face_Contour_Links",
       TypeOf<tblLocal_Face_Contour_Links>,
       L"s0|s1|12|19",
       {}},
      {"GETTblLocalMachiningLinks",
       READER(GETTblLocalMachiningLinks),
       L"tblLocal_Machining_Links",
       TypeOf<tblLocal_Machining_Links>,
       L"10",
       {}},
      {"GETTblLocalRelationAssignments",
       READER(GETTblLocalRelationAssignments),
       L"tblLocal_Relation_Assignments",
       TypeOf<tblLocal_Relation_Assignments>,
       L"11",
       {L"fldItemID"}},
      {"GETTblLocalRelationshipPatterns",
       READER(GETTblLocalRelationshipPatterns),
       L"tblLocal_Relationship_Patterns",
       TypeOf<tblLocal_Relationship_Patterns>,
       L"10",
       {}},
      {"GETTblMachining", READER(GETTblMachining), L"Machining", TypeOf<tblMachining>, L"10", {}},
      {"GETTblMachRouting",
       READER(GETTblMachRouting),
       L"MachRouting",
       TypeOf<tblMachRouting>,
       L"10",
       {L"MachDescription"}},
      {"GETTblMachLink",
       READER(GETTblMachLink),
       L"MachLink",
       TypeOf<tblMachLink>,
       L"10",
       {L"VarList"}},
      {"GETTblMachVariable",
       READER(GETTblMachVariable),
       L"MachVariable",
       TypeOf<tblMachVariable>,
       L"s1",
       {}},
      {"GETTblMachVertical",
       READER(GETTblMachVertical),
       L"MachVertical",
       TypeOf<tblMachVertical>,
       L"10",
       {}},
      {"GETTblMFGPartTypes",
       READER(GETTblMFGPartTypes),
       L"tblMFG_Part_Types",
       TypeOf<tblMFG_Part_Types>,
       L"s0|s2",
       {}},
      {"GETTblMFGScenario",
       READER(GETTblMFGScenario),
       L"tblMFG_Scenario",
       TypeOf<tblMFG_Scenario>,
       L"10,12,s3",
       {}},
  };
}

void PrintTo(const ReaderCase& reader, std::ostream* os) {
  *os << reader.operation;
}

class TableReaderTest : public RecordingBackendTest,
                        public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(TableReaderTest, ReadsTheWholeTableIntoKeyedRecords) {
  const ReaderCase& c = GetParam();
  const RecordType& type = c.type();
  Row row;
  for (size_t i = 0; i < type.Fields().size(); ++i) {
    const FieldInfo& f = type.Fields()[i];
    if (f.type != FieldType::Collection) row.push_back({std::wstring(f.name), Sample(f, i)});
  }
  recorder->Answer(ado::RecordingProvider::Rows(Rows({row})));

  int32_t affected = 7;
  CollectionPtr rows = c.read(Db(), affected);
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(affected, 1);
  ASSERT_EQ(rows->Count(), 1);
  EXPECT_EQ(rows->KeyAt(1), c.key);

  auto sent = recorder->LastCommand();
  EXPECT_EQ(sent.text, L"SELECT * FROM " + c.table + L";");
  EXPECT_EQ(sent.commandType, ado::adCmdText);

  auto record = rows->Item(Variant(int32_t{1})).ObjectAs<Record>();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(&record->Type(), &type);
  auto fresh = type.Create();
  for (size_t i = 0; i < type.Fields().size(); ++i) {
    const FieldInfo& f = type.Fields()[i];
    SCOPED_TRACE(ToUtf8(f.name));
    bool unfilled = std::find(c.unfilled.begin(), c.unfilled.end(), f.name) != c.unfilled.end();
    EXPECT_EQ(type.Get(*record, i), unfilled ? type.Get(*fresh, i) : Sample(f, i));
  }
  // GetTable is traced; the reader itself is not.
  auto events = trace->Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].procedure, L"GetTable");
}

INSTANTIATE_TEST_SUITE_P(EveryTable, TableReaderTest, ::testing::ValuesIn(Readers()),
                         [](const auto& info) { return std::string(info.param.operation); });

using ReaderTest = RecordingBackendTest;

TEST_F(ReaderTest, AnEmptyTableGivesAnEmptyCollectionAndLeavesTheCountAlone) {
  recorder->Answer(ado::RecordingProvider::Rows({{{L"MachID", ado::adInteger}}, {}}));
  int32_t affected = 7;
  auto rows = Db().GETTblMachining(affected);
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->Count(), 0);
  EXPECT_EQ(affected, 7);
}

TEST_F(ReaderTest, FilterScenariosWithoutASecondPartTypeAreKeyedByTheFirstOnly) {
  Row zero{{L"fldFltrScenarioID", L"0"},
           {L"fldPartType1", L"3"},
           {L"fldPartType2", L"0"},
           {L"fldSubType1", L"A"},
           {L"fldSubType2", L""}};
  Row pair{{L"fldFltrScenarioID", L"0"},
           {L"fldPartType1", L"3"},
           {L"fldPartType2", L"5"},
           {L"fldSubType1", L"A"},
           {L"fldSubType2", L"B"}};
  recorder->Answer(ado::RecordingProvider::Rows(Rows({zero, pair})));
  auto rows = Db().GETTblFilterScenarios();
  ASSERT_EQ(rows->Count(), 2);
  EXPECT_EQ(rows->KeyAt(1), L"3|A");
  EXPECT_EQ(rows->KeyAt(2), L"3|A#5|B");
}

TEST_F(ReaderTest, ANullReadsAsTheFieldsDefaultAndABadCellSpoilsOnlyItsField) {
  Row row;
  const RecordType& type = tblGlobal_Imprint_Definitions::Descriptor();
  for (size_t i = 0; i < type.Fields().size(); ++i) {
    row.push_back({std::wstring(type.Fields()[i].name), Sample(type.Fields()[i], i)});
  }
  for (auto& [name, value] : row) {
    if (name == L"fldstrName" || name == L"fldLngBotPartType") value = Variant::Null();
  }
  recorder->Answer(ado::RecordingProvider::Rows(Rows({row})));
  auto d =
      Db().GETTblGlobalImprintDefinitions()->ItemAs<tblGlobal_Imprint_Definitions>(Variant(L"10"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->fldstrName, L"");
  EXPECT_EQ(d->fldLngBotPartType, 0);
  EXPECT_EQ(d->fldstrDescription, L"s2");

  // Text in a number column, and a column that is missing: those fields keep their
  // defaults, the others are read, and each is reported with the table and the row's key.
  Row machining{{L"MachID", int32_t{1}}, {L"MachName", L"M"}, {L"MachGroup", L"G"},
                {L"X", L"abc"},          {L"Y", 2.5},         {L"Z", 0.0}};
  recorder->Answer(ado::RecordingProvider::Rows(Rows({machining})));
  auto m = Db().GETTblMachining()->ItemAs<tblMachining>(Variant(L"1"));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->X, 0.0);
  EXPECT_EQ(m->Y, 2.5);
  EXPECT_EQ(m->MachName, L"M");
  ASSERT_EQ(errors->Reports().size(), 1u) << "left after the first bad cell";
  EXPECT_EQ(errors->Reports()[0].procedure, L"GETTblMachining");
  EXPECT_NE(errors->Reports()[0].description.find(L"(Machining.X, row with key '1')"),
            std::wstring::npos)
      << ToUtf8(errors->Reports()[0].description);
}

TEST_F(ReaderTest, RowsThatShareAKeyAreAllReturned) {
  Row a{{L"MachVarID", int32_t{1}},
        {L"Name", L"Depth"},
        {L"Value", L"1"},
        {L"Requested", false},
        {L"MachLibID", int32_t{1}}};
  Row b = a;
  b[0].second = int32_t{2};
  recorder->Answer(ado::RecordingProvider::Rows(Rows({a, b})));
  int32_t affected = -1;
  auto rows = Db().GETTblMachVariable(affected);
  ASSERT_EQ(rows->Count(), 2);
  EXPECT_EQ(affected, 2);
  EXPECT_EQ(rows->KeyAt(1), L"Depth");
  EXPECT_FALSE(rows->KeyAt(2).has_value());
  EXPECT_EQ(rows->ItemAs<tblMachVariable>(Variant(int32_t{2}))->MachVarID, 2);
  EXPECT_TRUE(errors->Reports().empty());
}

TEST_F(ReaderTest, AFailedQueryIsReportedAndGivesAnEmptyCollection) {
  recorder->Answer(ado::RecordingProvider::Fails(QuillError(-2147467259, L"driver", L"no table")));
  int32_t affected = 5;
  auto rows = Db().GETTblMachLink(affected);
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->Count(), 0);
  EXPECT_EQ(affected, 5);
  ASSERT_EQ(errors->Reports().size(), 1u);
  EXPECT_EQ(errors->Reports()[0].procedure, L"GetTable");
  EXPECT_EQ(errors->Reports()[0].description, L"no table");

  recorder->Answer(ado::RecordingProvider::Fails(QuillError(-2147467259, L"driver", L"gone")));
  rows = Db().GETFilterScenariosCol(true, affected);
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->Count(), 0);
  EXPECT_EQ(affected, 5);
  ASSERT_EQ(errors->Reports().size(), 2u);
  EXPECT_EQ(errors->Reports()[1].procedure, L"GetFilterScenariosCol");
}

TEST_F(ReaderTest, DesignDataIsTakenAsTheProviderGivesIt) {
  Row row{{L"fldDesignID", int32_t{4}},          {L"fldDesignName", L"D"},
          {L"fldComputerName", Variant::Null()}, {L"fldCheckSum", Variant::Null()},
          {L"fldCreated", Variant::Null()},      {L"fldData", Variant::Bytes{9, 8}}};
  recorder->Answer(ado::RecordingProvider::Rows(Rows({row})));
  auto d = Db().GETTblLocalDesigns()->ItemAs<tblLocal_Designs>(Variant(L"4"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->fldComputerName, L"");
  EXPECT_EQ(d->fldCreated, Date{});
  EXPECT_EQ(d->fldData, Variant(Variant::Bytes{9, 8}));
}

TEST_F(ReaderTest, FilterScenarioProcedureRowsAreKeyedByTheFlag) {
  Row row{{L"fldFltrScenarioID", L"0"},
          {L"fldPartType1", L"1"},
          {L"fldPartType2", L"2"},
          {L"fldSubType1", L"A"},
          {L"fldSubType2", L"B"}};
  recorder->Answer(ado::RecordingProvider::Rows(Rows({row})));
  recorder->Answer(ado::RecordingProvider::Rows(Rows({row})));
  int32_t affected = -1;
  EXPECT_EQ(Db().GETFilterScenariosCol(true, affected)->KeyAt(1), L"1|A#2|B");
  EXPECT_EQ(affected, 1);
  auto rows = Db().GETFilterScenariosCol(false);
  EXPECT_EQ(rows->KeyAt(1), L"1|A");
  EXPECT_EQ(recorder->LastCommand().parameters[0].value, Variant(int16_t{0}));
}

}  // namespace
}  // namespace QuillData::test
