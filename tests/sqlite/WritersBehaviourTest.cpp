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

}  // namespace
}  // namespace QuillData::testing
