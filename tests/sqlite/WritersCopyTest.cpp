// Copying a construction scenario: every row of the old scenario once more under the new
// one, with fresh relationship patterns and imprint definitions, all or nothing.
#include "sqlite/WritersFixture.h"

namespace QuillData::testing {
namespace {

class WritersCopyTest : public WritersTest {
 protected:
  void SetUp() override {
    WritersTest::SetUp();
    Raw("INSERT INTO tblConstruction_Scenario_Types VALUES (1, 'Base', 'the base'), (2, 'Other', "
        "'');"
        // Two global assignments sharing pattern 10, one with no pattern row (77).
        "INSERT INTO tblGlobal_Relationship_Patterns VALUES (10, 1, 2, 3, 4), (11, 9, 9, 9, 9);"
        "INSERT INTO tblGlobal_Relation_Assignments VALUES"
        " (10, 1, '1', '2', 'f1', 'f2', 'n1', 'n2', 'A', 'B'),"
        " (10, 1, '1', '3', 'f1', 'f2', 'n1', 'n2', 'A', 'C'),"
        " (77, 1, '4', '5', 'f', 'f', 'n', 'n', 'A', 'A'),"
        " (11, 2, '1', '2', 'f1', 'f2', 'n1', 'n2', 'A', 'B');"
        "INSERT INTO tblLocal_Relationship_Patterns VALUES (20, 'P', 'R', 5, 6, 7, 8);"
        "INSERT INTO tblLocal_Relation_Assignments VALUES"
        " (1, 20, 3, 'P', 'R', 1, '1', '2', 'f1', 'f2', 'n1', 'n2', 'A', 'B');"
        "INSERT INTO tblGlobal_Face_Contour_Links VALUES ('1', 'A', 1, 'L', 'D', 'T', 'V'), ('2', "
        "'B', 2, 'x', 'x', 'x', 'x');"
        "INSERT INTO tblLocal_Face_Contour_Links VALUES ('1', 'A', 1, 'L', 'D', 'T', 'V', 'P', "
        "'R', 3);"
        "INSERT INTO tblGlobal_Imprint_Assignments VALUES"
        " (30, 1, 'U', 1, 2, 'p1', 'p2', 'n1', 'n2', 5, 6, 'o1', 'o2', 1),"
        " (31, 1, 'W', 1, 2, 'p1', 'p2', 'n1', 'n2', 5, 6, '', '', 0);"
        "INSERT INTO tblGlobal_Imprint_Definitions VALUES"
        " (30, 'name', 'desc', 1, 11, 12, 13, 14, 1, 21, 22, 23, 24, 0, 31, 32, 33, 34, 1, 41, 42, "
        "43, 44, 0);");
  }

  // The rows of a scenario in one table, without the columns that a copy renumbers.
  std::vector<Row> RowsOf(const std::string& table, const std::string& columns,
                          const std::string& scenarioColumn, const std::string& scenario) {
    return Query("SELECT " + columns + " FROM " + table + " WHERE " + scenarioColumn + " = " +
                 scenario + " ORDER BY rowid");
  }
  std::string NewId() {
    return One(
        "SELECT fldConstScenarioID FROM tblConstruction_Scenario_Types WHERE fldConstScenarioType "
        "= 'Copy'");
  }
};

TEST_F(WritersCopyTest, EveryRowOfTheScenarioIsCopiedUnderTheNewType) {
  Snapshot before = Dump();
  EXPECT_EQ(db->INSERTCopyMachiningScenario(1, L"Copy"), 0);
  EXPECT_TRUE(Reported().empty());
  const std::string copy = NewId();
  ASSERT_FALSE(copy.empty());
  EXPECT_EQ(One("SELECT fldConstScenarioDesc FROM tblConstruction_Scenario_Types WHERE "
                "fldConstScenarioID = " +
                copy),
            "the base");

  const std::string global =
      "fldPartType1, fldPartType2, fldFeaturePattern1, fldFeaturePattern2, "
      "fldFaceNormal1, fldFaceNormal2, fldSubType1, fldSubType2";
  EXPECT_EQ(RowsOf("tblGlobal_Relation_Assignments", global, "fldConstScenarioID", copy),
            RowsOf("tblGlobal_Relation_Assignments", global, "fldConstScenarioID", "1"));
  // Fresh patterns with the same links; the shared one stays shared; the missing one is kept.
  auto patterns =
      RowsOf("tblGlobal_Relation_Assignments", "fldPatternID", "fldConstScenarioID", copy);
  ASSERT_EQ(patterns.size(), 3u);
  EXPECT_EQ(patterns[0], patterns[1]);
  EXPECT_NE(patterns[0][0], "10");
  EXPECT_EQ(patterns[2][0], "77");
  EXPECT_EQ(Query("SELECT fldLinkIDEE, fldLinkIDEF, fldLinkIDFE, fldLinkIDFF FROM "
                  "tblGlobal_Relationship_Patterns WHERE fldPatternID = " +
                  patterns[0][0]),
            (std::vector<Row>{{"1", "2", "3", "4"}}));

  const std::string local = "fldDesignID, fldPattType, fldRelation, " + global;
  EXPECT_EQ(RowsOf("tblLocal_Relation_Assignments", local, "fldConstScenarioID", copy),
            RowsOf("tblLocal_Relation_Assignments", local, "fldConstScenarioID", "1"));
  const std::string localPattern = One(
      "SELECT fldPatternID FROM tblLocal_Relation_Assignments WHERE fldConstScenarioID = " + copy);
  EXPECT_EQ(Query("SELECT fldPattType, fldRelation, fldLinkIDEE, fldLinkIDFF FROM "
                  "tblLocal_Relationship_Patterns WHERE fldPatternID = " +
                  localPattern),
            (std::vector<Row>{{"P", "R", "5", "8"}}));
  EXPECT_NE(localPattern, "20");

  const std::string links =
      "fldPartTypeID, fldSubTypeID, fldLinkName, fldLinkDescription, fldLinkType, fldLinkVarSet";
  EXPECT_EQ(RowsOf("tblGlobal_Face_Contour_Links", links, "fldConstScenarioID", copy),
            RowsOf("tblGlobal_Face_Contour_Links", links, "fldConstScenarioID", "1"));
  EXPECT_EQ(RowsOf("tblLocal_Face_Contour_Links", links + ", fldPattType, fldRelation, fldDesignID",
                   "fldConstScenarioID", copy),
            RowsOf("tblLocal_Face_Contour_Links", links + ", fldPattType, fldRelation, fldDesignID",
                   "fldConstScenarioID", "1"));

  const std::string imprint =
      "fldstrUDI_Type, fldstrPartType1, fldstrPartType2, fldstrFeaturePattern1, "
      "fldstrFeaturePattern2, fldstrFaceNormal1, fldstrFaceNormal2, fldSubType1, "
      "fldSubType2, fldstrPart1FacesTypeOrient, fldstrPart2FacesTypeOrient, fldblnFront";
  EXPECT_EQ(RowsOf("tblGlobal_Imprint_Assignments", imprint, "fldlngConstScenarioID", copy),
            RowsOf("tblGlobal_Imprint_Assignments", imprint, "fldlngConstScenarioID", "1"));
  // The definition of imprint 30 is copied under its copy's id; 31 had none.
  const std::string copied =
      One("SELECT fldlngRelationPattern FROM tblGlobal_Imprint_Assignments WHERE "
          "fldlngConstScenarioID = " +
          copy + " AND fldstrUDI_Type = 'U'");
  auto definition = [&](const std::string& id) {
    auto rows =
        Query("SELECT * FROM tblGlobal_Imprint_Definitions WHERE fldlngRelationPattern = " + id);
    if (!rows.empty()) rows[0].erase(rows[0].begin());
    return rows;
  };
  EXPECT_EQ(definition(copied), definition("30"));
  EXPECT_EQ(Count("tblGlobal_Imprint_Definitions"), 2);

  // The originals are untouched: only rows were added.
  for (const auto& [table, d] : Diff(before, Dump())) EXPECT_TRUE(d.removed.empty()) << table;
}

TEST_F(WritersCopyTest, AFailureHalfWayLeavesNothingBehind) {
  // The imprint definitions are copied last; without their table the copy fails at the end.
  Raw("DROP TABLE tblGlobal_Imprint_Definitions");
  for (auto policy : {Policy::Leave, Policy::Continue}) {
    db = Open(file, policy);
    Snapshot before = Dump();
    EXPECT_EQ(db->INSERTCopyMachiningScenario(1, L"Copy"), 0);
    EXPECT_EQ(Reported(),
              std::vector<std::wstring>{L"no such table: tblGlobal_Imprint_Definitions"});
    EXPECT_TRUE(Diff(before, Dump()).empty());
  }
  // The connection is usable afterwards: no transaction was left open.
  EXPECT_GT(db->INSERTConstructionScenario(L"After", L""), 0);
  EXPECT_EQ(One("SELECT count(*) FROM tblConstruction_Scenario_Types WHERE fldConstScenarioType = "
                "'After'"),
            "1");
}

}  // namespace
}  // namespace QuillData::testing
