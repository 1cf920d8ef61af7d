// What callers cannot do through the writers' arguments: end a text literal, add a
// statement, name a column or table the schema lacks, or write a number that is no number.
#include <cmath>
#include <functional>
#include <limits>

#include "sqlite/WritersFixture.h"

namespace QuillData::testing {
namespace {

using Texts = std::vector<std::wstring>;

// A table the writer changes: rows added and removed, and the text argument each named
// column must hold in the added row (or, for a delete, the removed row).
struct Change {
  std::string table;
  int added;
  int removed;
  std::vector<std::pair<std::string, int>> holds;
};

struct TextCase {
  const char* writer;
  std::function<std::string(const Texts&)> seed;  // SQL run before, "" for none
  std::function<void(clsQuillData_SqlLite&, const Texts&)> call;
  std::vector<Change> changes;
  bool foundAgain = false;  // a second call finds the row and changes nothing
};

void PrintTo(const TextCase& c, std::ostream* os) {
  *os << c.writer;
}

std::string Seed(const std::string& table, const std::string& columns,
                 const std::vector<std::string>& values) {
  std::string sql = "INSERT INTO " + table + " (" + columns + ") VALUES (";
  for (size_t i = 0; i < values.size(); ++i) sql += (i ? "," : "") + values[i];
  return sql + ")";
}
const std::string kMachining =
    "INSERT OR REPLACE INTO Machining (MachID, MachName, MachLibID) VALUES (1, 'm', 1);";

// clang-format off
const std::vector<TextCase> kTextCases = {
  {"INSERTConstructionScenario", nullptr,
   [](auto& db, const Texts& t) { db.INSERTConstructionScenario(t[0], t[1]); },
   {{"tblConstruction_Scenario_Types", 1, 0, {{"fldConstScenarioType", 0}, {"fldConstScenarioDesc", 1}}}}, true},
  {"INSERTGlobalContrFeatrLists", nullptr,
   [](auto& db, const Texts& t) { db.INSERTGlobalContrFeatrLists(5, t[0], t[1], t[2], t[3], t[4]); },
   {{"tblGlobal_Contr_Featr_Lists", 1, 0, {{"fldNewFtrSandEPoints", 0}, {"fldLinkName", 1},
     {"fldLinkDescription", 2}, {"fldLinkType", 3}, {"fldLinkVarSet", 4}}}}, true},
  {"INSERTGlobalContrFeatrPatterns", nullptr,
   [](auto& db, const Texts& t) { db.INSERTGlobalContrFeatrPatterns(1, t[0], 2, 3); },
   {{"tblGlobal_Contr_Featr_Patterns", 1, 0, {{"fldSubTypeID", 0}}}}, true},
  {"INSERTCopyMachiningScenario",
   [](const Texts&) { return std::string("INSERT INTO tblConstruction_Scenario_Types VALUES (1, 'Base', 'd')"); },
   [](auto& db, const Texts& t) { db.INSERTCopyMachiningScenario(1, t[0]); },
   {{"tblConstruction_Scenario_Types", 1, 0, {{"fldConstScenarioType", 0}}}}},
  {"INSERTFilter", nullptr,
   [](auto& db, const Texts& t) { db.INSERTFilter(1, 2, t[0], t[1]); },
   {{"tblFilter_Scenarios", 1, 0, {{"fldSubType1", 0}, {"fldSubType2", 1}}}}, true},
  {"INSERTGlobalFaceContourLinks", nullptr,
   [](auto& db, const Texts& t) { db.INSERTGlobalFaceContourLinks(t[0], t[1], t[2], t[3], 1, t[4], 7); },
   {{"tblGlobal_Face_Contour_Links", 1, 0, {{"fldLinkName", 0}, {"fldLinkDescription", 1},
     {"fldLinkType", 2}, {"fldLinkVarSet", 3}, {"fldSubTypeID", 4}}}}},
  {"INSERTImprintAssignments", nullptr,
   [](auto& db, const Texts& t) {
     db.INSERTImprintAssignments(7, t[0], 1, 2, t[1], t[2], t[3], t[4], L"3", L"4", t[5], t[6], true);
   },
   {{"tblGlobal_Imprint_Assignments", 1, 0, {{"fldstrUDI_Type", 0}, {"fldstrFeaturePattern1", 1},
     {"fldstrFeaturePattern2", 2}, {"fldstrFaceNormal1", 3}, {"fldstrFaceNormal2", 4},
     {"fldstrPart1FacesTypeOrient", 5}, {"fldstrPart2FacesTypeOrient", 6}}}}, true},
  {"INSERTMachining", nullptr,
   [](auto& db, const Texts& t) { db.INSERTMachining(t[0], t[1], 1, 1.5, 2, 3); },
   {{"Machining", 1, 0, {{"MachName", 0}, {"MachGroup", 1}}}}, true},
  {"INSERTMachLink", nullptr,
   [](auto& db, const Texts& t) { db.INSERTMachLink(1, 2, t[0], t[1], true, false); },
   {{"MachLink", 1, 0, {{"MachListVar", 0}, {"MachExprVar", 1}}}}, true},
  {"INSERTMachRouting", [](const Texts&) { return kMachining; },
   [](auto& db, const Texts& t) { db.INSERTMachRouting(t[0], 1); },
   {{"MachRouting", 1, 0, {{"strName", 0}, {"MachDescription", 0}}}}},
  {"INSERTMachVariable", nullptr,
   [](auto& db, const Texts& t) { db.INSERTMachVariable(t[0], t[1], 1, true); },
   {{"MachVariable", 1, 0, {{"Name", 0}, {"Value", 1}}}}, true},
  {"INSERTMachVertical", [](const Texts&) { return kMachining; },
   [](auto& db, const Texts& t) { db.INSERTMachVertical(t[0], t[1], 1); },
   {{"MachVertical", 1, 0, {{"MachDescription", 0}, {"strName", 0}, {"strMachOrientation", 1}}}}},
  {"INSERTMFGPartTypes", nullptr,
   [](auto& db, const Texts& t) { db.INSERTMFGPartTypes(3, 1, t[0], t[1], t[2], t[3], t[4]); },
   {{"tblMFG_Part_Types", 1, 0, {{"fldSubTypeID", 0}, {"fldPartDescription", 1}, {"fldPartKind", 2},
     {"fldPartGrain", 3}, {"fldSubTypeDesc", 4}}},
    {"tblMFG_Scenario", 1, 0, {{"fldSubTypeID", 0}}}}, true},
  {"INSERTSELDesignIDFromLocalDesigns", nullptr,
   [](auto& db, const Texts& t) { db.INSERTSELDesignIDFromLocalDesigns(t[0], t[1]); },
   {{"tblLocal_Designs", 1, 0, {{"fldDesignName", 0}, {"fldComputerName", 1}}}}, true},
  {"INSERTSELLinkIDFromLocalMachiningLinks", nullptr,
   [](auto& db, const Texts& t) {
     db.INSERTSELLinkIDFromLocalMachiningLinks(t[0], t[1], t[2], 22.5, 1, 0, 1, t[3], t[4], t[5], t[6]);
   },
   {{"tblLocal_Machining_Links", 1, 0, {{"fldType", 0}, {"fldDescription", 1}, {"fldName", 2},
     {"fldVarSet", 3}, {"fldRefCorner", 4}, {"fldPattType", 5}, {"fldRelation", 6}}}}, true},
  {"INSERTSELLinkIDFromMachiningLinks", nullptr,
   [](auto& db, const Texts& t) {
     db.INSERTSELLinkIDFromMachiningLinks(t[0], t[1], t[2], 22.5, 1, 0, 1, t[3], t[4]);
   },
   {{"tblGlobal_Machining_Links", 1, 0, {{"fldType", 0}, {"fldDescription", 1}, {"fldName", 2},
     {"fldVarSet", 3}, {"fldRefCorner", 4}}}}, true},
  {"INSERTUPDATEGlobalRelationAssignments", nullptr,
   [](auto& db, const Texts& t) {
     db.INSERTUPDATEGlobalRelationAssignments(7, 1, 2, t[0], t[1], t[2], t[3], t[4], t[5], 9, L"EF");
   },
   {{"tblGlobal_Relation_Assignments", 1, 0, {{"fldSubType1", 0}, {"fldSubType2", 1},
     {"fldFeaturePattern1", 2}, {"fldFeaturePattern2", 3}, {"fldFaceNormal1", 4}, {"fldFaceNormal2", 5}}},
    {"tblGlobal_Relationship_Patterns", 1, 0, {}}}, true},
  {"INSERTUPDATELocalRelationAssignments", nullptr,
   [](auto& db, const Texts& t) {
     db.INSERTUPDATELocalRelationAssignments(7, 1, 2, t[0], t[1], t[2], t[3], t[4], t[5], 9, L"EF",
                                             t[6], t[7], 4);
   },
   {{"tblLocal_Relation_Assignments", 1, 0, {{"fldSubType1", 0}, {"fldSubType2", 1},
     {"fldFeaturePattern1", 2}, {"fldFeaturePattern2", 3}, {"fldFaceNormal1", 4},
     {"fldFaceNormal2", 5}, {"fldPattType", 6}, {"fldRelation", 7}}},
    {"tblLocal_Relationship_Patterns", 1, 0, {{"fldPattType", 6}, {"fldRelation", 7}}}}, true},
  {"DELFilter",
   [](const Texts& t) {
     return Seed("tblFilter_Scenarios", "fldFltrScenarioID, fldPartType1, fldPartType2, fldSubType1, fldSubType2",
                 {"'0'", "'1'", "'2'", Lit(t[0]), Lit(t[1])}) + ";" +
            Seed("tblFilter_Scenarios", "fldFltrScenarioID, fldPartType1, fldPartType2, fldSubType1, fldSubType2",
                 {"'0'", "'1'", "'2'", Lit(t[0]), Lit(t[1] + L"x")});
   },
   [](auto& db, const Texts& t) { db.DELFilter(1, 2, t[0], t[1]); },
   {{"tblFilter_Scenarios", 0, 1, {{"fldSubType1", 0}, {"fldSubType2", 1}}}}},
  {"DELGlobalContrFeatrPatterns",
   [](const Texts& t) {
     return Seed("tblGlobal_Contr_Featr_Patterns", "fldPartTypeID, fldSubTypeID, fldFeatureKey, fldFeatureListID",
                 {"'1'", Lit(t[0]), "2", "3"});
   },
   [](auto& db, const Texts& t) { db.DELGlobalContrFeatrPatterns(1, t[0], 2, 3); },
   {{"tblGlobal_Contr_Featr_Patterns", 0, 1, {{"fldSubTypeID", 0}}}}},
  {"DELGlobalFaceContourLinks",
   [](const Texts& t) {
     return Seed("tblGlobal_Face_Contour_Links", "fldPartTypeID, fldSubTypeID, fldConstScenarioID",
                 {"'1'", Lit(t[0]), "7"});
   },
   [](auto& db, const Texts& t) { db.DELGlobalFaceContourLinks(7, 1, t[0]); },
   {{"tblGlobal_Face_Contour_Links", 0, 1, {{"fldSubTypeID", 0}}}}},
  {"DELLocalContrFeatrPatterns",
   [](const Texts& t) {
     return Seed("tblLocal_Contr_Featr_Patterns", "fldPartTypeID, fldSubTypeID, fldFeatureKey, fldFeatureListID",
                 {"'1'", Lit(t[0]), "2", "3"});
   },
   [](auto& db, const Texts& t) { db.DELLocalContrFeatrPatterns(1, t[0], 2); },
   {{"tblLocal_Contr_Featr_Patterns", 0, 1, {{"fldSubTypeID", 0}}}}},
  {"DELLocalFaceContourLinks",
   [](const Texts& t) {
     return Seed("tblLocal_Face_Contour_Links",
                 "fldPartTypeID, fldSubTypeID, fldConstScenarioID, fldRelation, fldPattType, fldDesignID",
                 {"'1'", Lit(t[0]), "7", Lit(t[1]), Lit(t[2]), "4"});
   },
   [](auto& db, const Texts& t) { db.DELLocalFaceContourLinks(7, 1, t[0], t[1], t[2], 4); },
   {{"tblLocal_Face_Contour_Links", 0, 1, {{"fldSubTypeID", 0}, {"fldRelation", 1}, {"fldPattType", 2}}}}},
  {"DELLocalMachiningLinks",
   [](const Texts& t) {
     return Seed("tblLocal_Machining_Links", "fldPattType, fldRelation", {Lit(t[0]), Lit(t[1])});
   },
   [](auto& db, const Texts& t) { db.DELLocalMachiningLinks(t[0], t[1]); },
   {{"tblLocal_Machining_Links", 0, 1, {{"fldPattType", 0}, {"fldRelation", 1}}}}},
  {"UPDATEConstructionScenarioTypes",
   [](const Texts& t) {
     return Seed("tblConstruction_Scenario_Types", "fldConstScenarioID, fldConstScenarioType, fldConstScenarioDesc",
                 {"1", Lit(t[0]), "'old'"});
   },
   [](auto& db, const Texts& t) { db.UPDATEConstructionScenarioTypes(1, t[0], t[1]); },
   {{"tblConstruction_Scenario_Types", 1, 1, {{"fldConstScenarioType", 0}, {"fldConstScenarioDesc", 1}}}}},
  {"UPDATEGlobalFaceContourLinks",
   [](const Texts& t) {
     return Seed("tblGlobal_Face_Contour_Links", "fldPartTypeID, fldSubTypeID, fldConstScenarioID, fldLinkName",
                 {"'1'", Lit(t[4]), "7", "'old'"});
   },
   [](auto& db, const Texts& t) { db.UPDATEGlobalFaceContourLinks(t[0], t[1], t[2], t[3], 1, t[4], 7); },
   {{"tblGlobal_Face_Contour_Links", 1, 1, {{"fldLinkName", 0}, {"fldLinkDescription", 1},
     {"fldLinkType", 2}, {"fldLinkVarSet", 3}, {"fldSubTypeID", 4}}}}},
  {"UPDATEMachNameFromMachining", [](const Texts&) { return kMachining; },
   [](auto& db, const Texts& t) { db.UPDATEMachNameFromMachining(t[0], 1, 1); },
   {{"Machining", 1, 1, {{"MachName", 0}}}}},
  {"UPDATEMachVariable",
   [](const Texts&) { return std::string("INSERT INTO MachVariable VALUES (1, 'n', 'v', 0, 1)"); },
   [](auto& db, const Texts& t) { db.UPDATEMachVariable(t[0], t[1], 1, 1); },
   {{"MachVariable", 1, 1, {{"Name", 0}, {"Value", 1}}}}},
  {"UPDATEMachLink",
   [](const Texts&) { return std::string("INSERT INTO MachLink VALUES (1, 1, 2, 'l', 'e', 0, 0)"); },
   [](auto& db, const Texts& t) { db.UPDATEMachLink(1, 1, 2, t[0], t[1], true, true); },
   {{"MachLink", 1, 1, {{"MachListVar", 0}, {"MachExprVar", 1}}}}},
  {"UPDATEParaMachRouting",
   [](const Texts&) { return std::string("INSERT INTO MachRouting (lngMachRoutingID, MachID) VALUES (1, 1)"); },
   [](auto& db, const Texts& t) { db.UPDATEParaMachRouting(L"strToolRotation", t[0], 1); },
   {{"MachRouting", 1, 1, {{"strToolRotation", 0}}}}},
  {"UPDATEParaMachVertical",
   [](const Texts&) { return std::string("INSERT INTO MachVertical (MachVerticalID, MachID) VALUES (1, 1)"); },
   [](auto& db, const Texts& t) { db.UPDATEParaMachVertical(L"strName", t[0], 1); },
   {{"MachVertical", 1, 1, {{"strName", 0}}}}},
  {"UPDATEPropertyRelationshipPatterns",
   [](const Texts&) { return std::string("INSERT INTO tblLocal_Relationship_Patterns (fldPatternID) VALUES (1)"); },
   [](auto& db, const Texts& t) {
     db.UPDATEPropertyRelationshipPatterns(L"tblLocal_Relationship_Patterns", L"fldRelation", 1, t[0]);
   },
   {{"tblLocal_Relationship_Patterns", 1, 1, {{"fldRelation", 0}}}}},
};
// clang-format on

// Texts that a literal must carry unchanged: quotes, a statement of its own, letters outside
// ASCII (and outside the 16-bit range), and a megabyte.
std::vector<std::pair<std::string, std::wstring>> Payloads() {
  std::wstring big;
  const std::wstring unit = L"a'b''c\"\u00c4\U0001F600; --";
  while (big.size() < 1000000) big += unit;
  return {{"quotes", L"O'Brien's ''x'' \"y\" '"},
          {"statement", L"'; DROP TABLE Machining; --"},
          {"letters", L"Gr\u00f6\u00dfe \u00c4\u00d6\u00dc \u00e9 \u65e5\u672c \U0001F600"},
          {"megabyte", big}};
}

class WritersTextTest : public WritersTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(WritersTextTest, TextArgumentsAreStoredAsGivenAndNothingElseChanges) {
  const TextCase& c = GetParam();
  for (const auto& [label, payload] : Payloads()) {
    SCOPED_TRACE(label);
    // Each argument its own text, so that a swapped argument shows.
    Texts texts;
    for (int i = 0; i < 8; ++i) texts.push_back(payload + L"#" + std::to_wstring(i));
    if (c.seed) Raw(c.seed(texts));
    Snapshot before = Dump();
    c.call(*db, texts);
    EXPECT_TRUE(Reported().empty()) << ToUtf8(Reported().front());
    Snapshot after = Dump();
    auto diff = Diff(before, after);

    for (const Change& change : c.changes) {
      auto found = diff.find(change.table);
      ASSERT_NE(found, diff.end()) << change.table << " unchanged";
      const TableDiff& d = found->second;
      ASSERT_EQ(d.added.size(), size_t(change.added)) << change.table;
      ASSERT_EQ(d.removed.size(), size_t(change.removed)) << change.table;
      const Row& row = change.added ? d.added[0] : d.removed[0];
      const Row& names = after.columns.at(change.table);
      for (const auto& [column, arg] : change.holds) {
        auto at = std::find(names.begin(), names.end(), column) - names.begin();
        ASSERT_LT(size_t(at), names.size()) << column;
        EXPECT_TRUE(row[at] == ToUtf8(texts[arg])) << change.table << "." << column;
      }
      diff.erase(found);
    }
    for (const auto& [table, d] : diff) ADD_FAILURE() << "unexpected change in " << table;

    if (c.foundAgain) {
      c.call(*db, texts);
      EXPECT_TRUE(Diff(after, Dump()).empty()) << "the look-up missed the row it wrote";
    }
    // The next payload starts from a clean slate in the tables this writer touches.
    for (const Change& change : c.changes) Raw("DELETE FROM " + change.table);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, WritersTextTest, ::testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.writer); });

// Names taken from arguments ----------------------------------------------------------------

class WritersNameTest : public WritersTest {
 protected:
  void SetUp() override {
    WritersTest::SetUp();
    Raw(kMachining +
        "INSERT INTO MachRouting (lngMachRoutingID, strName, MachID) VALUES (1, 'r', 1);"
        "INSERT INTO MachVertical (MachVerticalID, strName, MachID) VALUES (1, 'v', 1);"
        "INSERT INTO tblGlobal_Relationship_Patterns VALUES (1, 0, 0, 0, 0);");
  }

  // `call` is refused with the statement error naming `identifier`, and nothing changes.
  void ExpectRefused(const char* procedure, const std::wstring& identifier,
                     const std::function<void()>& call) {
    SCOPED_TRACE(ToUtf8(identifier));
    errors->Clear();
    Snapshot before = Dump();
    call();
    EXPECT_TRUE(Diff(before, Dump()).empty());
    auto reports = errors->Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].number, ErrNo::StatementError);
    EXPECT_EQ(ToUtf8(reports[0].source), std::string("clsQuillData_") + procedure);
    EXPECT_NE(reports[0].description.find(identifier), std::wstring::npos)
        << ToUtf8(reports[0].description);
  }
};

TEST_F(WritersNameTest, ColumnsOutsideTheSchemaAreRefusedBeforeAnythingRuns) {
  for (auto policy : {Policy::Leave, Policy::Continue}) {
    db = Open(file, policy);
    for (const std::wstring& bad :
         {std::wstring(L"strName = 'x', strToolRotation"),
          std::wstring(L"strName; DROP TABLE Machining; --"), std::wstring(L"\"strName\""),
          std::wstring(L"NoSuchColumn"), std::wstring(L"")}) {
      ExpectRefused("UPDATEParaMachRouting", bad, [&] { db->UPDATEParaMachRouting(bad, L"x", 1); });
      ExpectRefused("UPDATEParaMachVertical", bad,
                    [&] { db->UPDATEParaMachVertical(bad, L"x", 1); });
      ExpectRefused("UPDATEVariableMachining", bad,
                    [&] { db->UPDATEVariableMachining(1, bad, 2); });
      ExpectRefused("UPDATEPropertyRelationshipPatterns", bad, [&] {
        db->UPDATEPropertyRelationshipPatterns(L"tblGlobal_Relationship_Patterns", bad, 1, L"5");
      });
    }
    // A column of another table is no column of this one.
    ExpectRefused("UPDATEParaMachVertical", L"strToolRotation",
                  [&] { db->UPDATEParaMachVertical(L"strToolRotation", L"x", 1); });
  }
}

TEST_F(WritersNameTest, TablesMustExistAndHoldThePatternId) {
  for (const std::wstring& bad :
       {std::wstring(L"NoSuchTable"),
        std::wstring(L"tblGlobal_Relationship_Patterns; DROP TABLE Machining"),
        std::wstring(L"sqlite_schema")}) {
    ExpectRefused("UPDATEPropertyRelationshipPatterns", bad,
                  [&] { db->UPDATEPropertyRelationshipPatterns(bad, L"fldLinkIDEE", 1, L"5"); });
  }
  // Machining exists and has MachName, but no fldPatternID to choose the row by.
  ExpectRefused("UPDATEPropertyRelationshipPatterns", L"Machining", [&] {
    db->UPDATEPropertyRelationshipPatterns(L"Machining", L"MachName", 1, L"x");
  });
}

TEST_F(WritersNameTest, SchemaNamesAreFoundWithoutRegardToLetterCase) {
  db->UPDATEParaMachRouting(L"STRNAME", L"routing", 1);
  db->UPDATEParaMachVertical(L"drilldepth", L"18", 1);
  db->UPDATEVariableMachining(1, L"x", 2.25);
  db->UPDATEPropertyRelationshipPatterns(L"TBLGLOBAL_RELATIONSHIP_PATTERNS", L"fldlinkidff", 1,
                                         L"42");
  EXPECT_TRUE(Reported().empty());
  EXPECT_EQ(One("SELECT strName FROM MachRouting"), "routing");
  EXPECT_EQ(One("SELECT DrillDepth FROM MachVertical"), "18");
  EXPECT_EQ(One("SELECT X FROM Machining"), "2.25");
  EXPECT_EQ(One("SELECT typeof(X) FROM Machining"), "real");
  EXPECT_EQ(One("SELECT fldLinkIDFF FROM tblGlobal_Relationship_Patterns"), "42");
}

// Numbers that have no number text ----------------------------------------------------------

TEST_F(WritersTest, NonFiniteDoublesAreRefusedAndNothingIsWritten) {
  Raw(kMachining);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  // Going on after the refusal must not write either.
  for (auto policy : {Policy::Leave, Policy::Continue}) {
    db = Open(file, policy);
    Snapshot before = Dump();
    EXPECT_EQ(db->INSERTMachining(L"a", L"g", 1, nan, 0, 0), 0);
    EXPECT_EQ(db->INSERTMachining(L"b", L"g", 1, 0, inf, 0), 0);
    EXPECT_EQ(db->INSERTMachining(L"c", L"g", 1, 0, 0, -inf), 0);
    EXPECT_EQ(db->INSERTSELLinkIDFromMachiningLinks(L"t", L"d", L"n", nan, 0, 0, 0, L"v", L"c"), 0);
    EXPECT_EQ(db->INSERTSELLinkIDFromLocalMachiningLinks(L"t", L"d", L"n", inf, 0, 0, 0, L"v", L"c",
                                                         L"p", L"r"),
              0);
    db->UPDATEVariableMachining(1, L"X", nan);
    EXPECT_TRUE(Diff(before, Dump()).empty());
    auto reports = errors->Reports();
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[0].number, ErrNo::InvalidProcedureCall);
    EXPECT_EQ(reports[0].procedure, L"clsQuillData_INSERTMachining");
    EXPECT_EQ(reports[0].description, L"X cannot be written: it is not a finite number (NaN)");
    EXPECT_EQ(reports[1].description, L"Y cannot be written: it is not a finite number (infinity)");
    EXPECT_EQ(reports[2].description,
              L"Z cannot be written: it is not a finite number (-infinity)");
    EXPECT_EQ(reports[3].description.substr(0, 8), L"dblAngle");
    EXPECT_EQ(reports[5].procedure, L"clsQuillData_UPDATEVariableMachining");
  }
}

}  // namespace
}  // namespace QuillData::testing
