// What the SQLite writers write beyond what every backend promises: the rows' exact values,
// numbers under a comma locale, refused arguments, and how failures are reported.
#include <cfloat>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Records.h"
#include "sqlite/WritersFixture.h"

namespace QuillData::testing {
namespace {

const std::string kMachining =
    "INSERT INTO Machining (MachID, MachName, MachLibID) VALUES (1, 'm', 1);";

TEST_F(WritersTest, NewRoutingCarriesTheValuesOfANewRecord) {
  Raw(kMachining);
  const int32_t id = db->INSERTMachRouting(L"Pocket 20", 1, 1);
  ASSERT_GT(id, 0);
  auto rows = db->GETTblMachRouting();
  ASSERT_EQ(rows->Count(), 1);
  auto written = rows->ItemAs<tblMachRouting>(Variant(int32_t{1}));
  const RecordType& type = tblMachRouting::Descriptor();
  auto fresh = type.Create();
  for (size_t i = 0; i < type.Fields().size(); ++i) {
    const std::wstring name(type.Fields()[i].name);
    if (name == L"lngMachRoutingID" || name == L"strName" || name == L"MachDescription" ||
        name == L"lngPocket" || name == L"MachID") {
      continue;
    }
    EXPECT_EQ(CStr(type.Get(*written, i)), CStr(type.Get(*fresh, i))) << ToUtf8(name);
  }
  EXPECT_EQ(written->lngMachRoutingID, id);
  EXPECT_EQ(written->strName, L"Pocket 20");
  EXPECT_EQ(written->MachDescription, L"Pocket 20");
  EXPECT_EQ(written->lngPocket, L"1");
  EXPECT_EQ(written->MachID, 1);
  // Every value but the machining is text, as the host reads and writes them.
  EXPECT_EQ(
      One("SELECT typeof(dblDepthValue) || typeof(lngGrain) || typeof(MachID) FROM MachRouting"),
      "texttextinteger");
}

TEST_F(WritersTest, VerticalDrillingFollowsTheOrientationsLetterCase) {
  Raw(kMachining);
  const int32_t down = db->INSERTMachVertical(L"Down", L"V", 1);
  const int32_t side = db->INSERTMachVertical(L"Side", L"v", 1);
  const std::string columns =
      "strName, strMachOrientation, Condition, Xstart, Ystart, Zstart, NormalX, NormalY, NormalZ, "
      "DrillDepth, ToolDiameter, NumberOfHoles, OffsetDistancealongXaxis, OffsetDistancealongYaxis";
  EXPECT_EQ(Query("SELECT " + columns +
                  " FROM MachVertical WHERE MachVerticalID = " + std::to_string(down)),
            (std::vector<Row>{
                {"Down", "V", "0", "0", "0", "Z", "0", "0", "-1", "0", "0", "0", "0", "0"}}));
  EXPECT_EQ(Query("SELECT " + columns +
                  " FROM MachVertical WHERE MachVerticalID = " + std::to_string(side)),
            (std::vector<Row>{
                {"Side", "v", "0", "0", "0", "0", "0", "1", "0", "0", "0", "0", "0", "0"}}));
}

TEST_F(WritersTest, NumbersUnderACommaLocaleTravelWithADecimalPoint) {
  UseLocale("de_DE.UTF-8");
  db = Open(file);  // the separator is read when the backend is made
  Raw(kMachining +
      "INSERT INTO MachRouting (lngMachRoutingID, MachID) VALUES (1, 1);"
      "INSERT INTO MachVariable VALUES (1, 'v', '0', 0, 1);");
  const int32_t mach = db->INSERTMachining(L"Comma", L"G", 1, 1.5, -0.25, 1e-7);
  const int32_t link =
      db->INSERTSELLinkIDFromMachiningLinks(L"t", L"d", L"n", 22.5, 0, 0, 0, L"", L"");
  EXPECT_EQ(db->INSERTSELLinkIDFromMachiningLinks(L"t", L"d", L"n", 22.5, 0, 0, 0, L"", L""), link);
  db->UPDATEParaMachRouting(L"dblDepthValue", L"0,5", 1);
  db->UPDATEMachVariable(L"v", L"1,25", 1, 1);
  db->UPDATEVariableMachining(1, L"Y", 2.25);
  EXPECT_TRUE(Reported().empty());
  EXPECT_EQ(
      Query("SELECT X, Y, Z, typeof(X) FROM Machining WHERE MachID = " + std::to_string(mach)),
      (std::vector<Row>{{"1.5", "-0.25", "1.0e-07", "real"}}));
  EXPECT_EQ(One("SELECT fldAngle FROM tblGlobal_Machining_Links"), "22.5");
  EXPECT_EQ(One("SELECT dblDepthValue FROM MachRouting"), "0.5");
  EXPECT_EQ(One("SELECT Value FROM MachVariable"), "1.25");
  EXPECT_EQ(One("SELECT Y FROM Machining WHERE MachID = 1"), "2.25");
}

TEST_F(WritersTest, SubtypesThatAreNoWholeNumbersAreRefusedBeforeAnyStatement) {
  for (auto policy : {Policy::Leave, Policy::Continue}) {
    db = Open(file, policy);
    for (const wchar_t* bad : {L"x", L"2.5", L"", L"1 2"}) {
      EXPECT_EQ(db->INSERTImprintAssignments(1, L"U", 1, 2, L"p", L"p", L"n", L"n", bad, L"1", L"",
                                             L"", true),
                0);
    }
    EXPECT_EQ(Count("tblGlobal_Imprint_Assignments"), 0);
    auto reports = errors->Reports();
    ASSERT_EQ(reports.size(), 4u);
    for (const auto& r : reports) {
      EXPECT_EQ(r.number, ErrNo::TypeMismatch);
      EXPECT_EQ(r.procedure, L"clsQuillData_INSERTImprintAssignments");
    }
    EXPECT_EQ(reports[1].description, L"Type mismatch: strSubType1 '2.5' is not a whole number");
  }
  // Whole numbers are found again whatever way they are written.
  const int32_t id = db->INSERTImprintAssignments(1, L"U", 1, 2, L"p", L"p", L"n", L"n", L"7",
                                                  L"-3", L"", L"", true);
  EXPECT_GT(id, 0);
  EXPECT_EQ(db->INSERTImprintAssignments(1, L"U", 1, 2, L"p", L"p", L"n", L"n", L"7.0", L"-3", L"",
                                         L"", true),
            id);
}

TEST_F(WritersTest, PatternFieldMustNameOneOfTheFourLinks) {
  db->INSERTUPDATEGlobalRelationAssignments(1, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 5, L"EE");
  Snapshot before = Dump();
  for (const wchar_t* bad : {L"EX", L"XX", L"", L"EE = 0, fldLinkIDFF"}) {
    // Both for the existing assignment and for a new one.
    db->INSERTUPDATEGlobalRelationAssignments(1, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 6, bad);
    db->INSERTUPDATELocalRelationAssignments(2, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 6, bad,
                                             L"P", L"R", 1);
  }
  EXPECT_TRUE(Diff(before, Dump()).empty());
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 8u);
  EXPECT_EQ(reports[0].number, ErrNo::InvalidProcedureCall);
  EXPECT_EQ(reports[0].description, L"strPatternField must be EE, EF, FE or FF, not 'EX'");
  EXPECT_EQ(reports[1].procedure, L"clsQuillData_INSERTUPDATELocalRelationAssignments");
}

TEST_F(WritersTest, PatternWritersReportUnderTheirOwnNamesAndNoAssignmentIsLeftWithout) {
  Raw("DROP TABLE tblGlobal_Relationship_Patterns; DROP TABLE tblLocal_Relationship_Patterns");
  db->INSERTUPDATEGlobalRelationAssignments(1, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 5, L"EF");
  db->INSERTUPDATELocalRelationAssignments(1, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 5, L"EF",
                                           L"P", L"R", 1);
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].module, L"clsQuillData_SqlLite");
  EXPECT_EQ(reports[0].procedure, L"INSERTGlobalRelationShipPattern");
  EXPECT_EQ(reports[0].source, L"INSERTGlobalRelationShipPattern");
  EXPECT_EQ(reports[0].description, L"no such table: tblGlobal_Relationship_Patterns");
  EXPECT_EQ(reports[1].procedure, L"INSERTLocalRelationShipPattern");
  EXPECT_EQ(reports[1].source, L"INSERTLocalRelationShipPattern");
  EXPECT_EQ(Count("tblGlobal_Relation_Assignments"), 0);
  EXPECT_EQ(Count("tblLocal_Relation_Assignments"), 0);
}

TEST_F(WritersTest, StatementErrorsCarryTheOperationAndTheLibrarysMessage) {
  Raw("DROP TABLE MachVertical; DROP TABLE MachLink");
  db->UPDATEParaMachVertical(L"strName", L"x", 1);  // refused: the table is gone
  EXPECT_EQ(db->INSERTMachLink(1, 2, L"l", L"e", false, false), 0);
  EXPECT_EQ(db->DELMachLink(1), 0);
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].source, L"clsQuillData_UPDATEParaMachVertical");
  EXPECT_EQ(reports[0].procedure, L"clsQuillData_UPDATEParaMachVertical");
  EXPECT_EQ(reports[0].description, L"no such column: strName");
  EXPECT_EQ(reports[1].number, ErrNo::StatementError);
  EXPECT_EQ(reports[1].source, L"clsQuillData_INSERTMachLink");
  EXPECT_EQ(reports[1].description, L"no such table: MachLink");
  EXPECT_EQ(reports[2].source, L"clsQuillData_DELMachLink");
}

TEST_F(WritersTest, LeavingReturnsWhatTheResultHeldAtThatMoment) {
  Raw("INSERT INTO tblGlobal_Imprint_Definitions (fldlngRelationPattern) VALUES (40);"
      "CREATE TRIGGER keep BEFORE UPDATE ON tblGlobal_Imprint_Definitions"
      " BEGIN SELECT RAISE(ABORT, 'kept as it is'); END;"
      "CREATE TRIGGER refuse BEFORE INSERT ON Machining BEGIN SELECT RAISE(ABORT, 'refused'); END;"
      "DROP TABLE tblGlobal_Contr_Featr_Lists");
  // Found, then the update failed: the found id.
  EXPECT_EQ(db->INSERTUPDATEGlobalImprintDefinitions(40, true, 1, 2, 3, true, 4, 5, 6, false, 7, 8,
                                                     9, true, 10, 11, 12, false),
            40);
  // Not found, and the insert failed: 0, or an empty variant.
  EXPECT_EQ(db->INSERTMachining(L"m", L"g", 1, 0, 0, 0), 0);
  EXPECT_TRUE(db->INSERTGlobalContrFeatrLists(1, L"s", L"n", L"d", L"t", L"v").IsEmpty());
  EXPECT_EQ(Reported(), (std::vector<std::wstring>{L"kept as it is", L"refused",
                                                   L"no such table: tblGlobal_Contr_Featr_Lists"}));
}

TEST_F(WritersTest, DesignLookUpArmsNoTrap) {
  Raw("DROP TABLE tblLocal_Designs");
  try {
    db->INSERTSELDesignIDFromLocalDesigns(L"Cabinet", L"PC1");
    ADD_FAILURE() << "no error reached the caller";
  } catch (const QuillError& e) {
    EXPECT_EQ(e.Number(), ErrNo::StatementError);
    EXPECT_EQ(e.Source(), L"clsQuillData_INSERTSELDesignIDFromLocalDesigns");
    EXPECT_EQ(e.Description(), L"no such table: tblLocal_Designs");
  }
  EXPECT_TRUE(errors->Reports().empty());
}

TEST_F(WritersTest, AFiniteDoubleIsStoredAsTheSameDouble) {
  // Fifteen digits would round the largest double up to infinity, and a third to another
  // double; the shortest text that reads back keeps each exactly.
  const double third = 1.0 / 3;
  int32_t id = db->INSERTMachining(L"M", L"G", 1, DBL_MAX, third, 0.1 + 0.2);
  ASSERT_GT(id, 0);
  EXPECT_EQ(One("SELECT typeof(X) || ' ' || (X = 1.7976931348623157e308) FROM Machining"),
            "real 1");
  auto m = db->GETTblMachining()->ItemAs<tblMachining>(std::to_wstring(id));
  EXPECT_EQ(m->X, DBL_MAX);
  EXPECT_EQ(m->Y, third);
  EXPECT_EQ(m->Z, 0.1 + 0.2);
  int32_t link = db->INSERTSELLinkIDFromMachiningLinks(L"T", L"D", L"N", third, 0, 0, 1, L"", L"");
  EXPECT_EQ(db->INSERTSELLinkIDFromMachiningLinks(L"T", L"D", L"N", third, 0, 0, 1, L"", L""),
            link);
  EXPECT_EQ(db->GETTblGlobalMachiningLinks()
                ->ItemAs<tblGlobal_Machining_Links>(std::to_wstring(link))
                ->fldAngle,
            third);
  EXPECT_TRUE(Reported().empty());
}

}  // namespace
}  // namespace QuillData::testing
