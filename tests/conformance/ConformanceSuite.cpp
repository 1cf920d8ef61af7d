#include "conformance/ConformanceSuite.h"

#include <algorithm>
#include <clocale>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "QuillData/contract/Coerce.h"
#include "QuillData/contract/Module.h"
#include "QuillData/contract/Records.h"
#include "QuillData/contract/Tessera.h"
#include "QuillData/contract/Text.h"
#include "QuillData/contract/Transaction.h"
#include "QuillData/locale/Locale.h"

namespace QuillData::conformance {

void ConformanceTest::SetUp() {
  errors = std::make_shared<PolicyErrorHandler>(PolicyErrorHandler::Policy::Leave);
  db = GetParam().open(errors);
  if (!db) GTEST_SKIP() << GetParam().skipReason();
}

void ConformanceTest::UseCommaLocale() {
  savedLocale_.emplace();
  testing::UseLocale("de_DE.UTF-8");
  // As a host that follows its user has it: the C library's own number text has a comma too.
  setlocale(LC_ALL, testing::kGermanCLocale);
  ReadDecimalSeparator();
}

void ConformanceTest::TearDown() {
  if (savedLocale_) {
    savedLocale_.reset();
    ReadDecimalSeparator();
  }
  if (!errors || errorsExpected_) return;
  for (const auto& r : errors->Reports()) {
    ADD_FAILURE() << "unexpected failure in " << ToUtf8(r.procedure) << ": "
                  << ToUtf8(r.description) << " (" << r.number << ")";
  }
}

namespace {

// The record under a key; fails the test when there is none.
template <class R>
std::shared_ptr<R> At(const CollectionPtr& rows, const std::wstring& key) {
  if (!rows) {
    ADD_FAILURE() << "no collection";
    return std::make_shared<R>();
  }
  if (!rows->Contains(key)) {
    ADD_FAILURE() << "no record under " << ToUtf8(key);
    return std::make_shared<R>();
  }
  return rows->ItemAs<R>(Variant(key));
}

int32_t CountOf(const CollectionPtr& rows) {
  return rows ? rows->Count() : -1;
}

std::wstring Str(int32_t n) {
  return std::to_wstring(n);
}

TEST_P(ConformanceTest, ConstructionScenarioIsFoundByItsTypeAndKeepsItsFirstDescription) {
  int32_t first = db->INSERTConstructionScenario(L"Kitchen", L"first words");
  int32_t again = db->INSERTConstructionScenario(L"Kitchen", L"other words");
  int32_t other = db->INSERTConstructionScenario(L"Bath", L"tiles");
  EXPECT_GT(first, 0);
  EXPECT_EQ(again, first);
  EXPECT_NE(other, first);

  int32_t count = -1;
  auto rows = db->GETTblConstructionScenarioTypes(count);
  EXPECT_EQ(count, 2);
  auto kitchen = At<tblConstruction_Scenario_Types>(rows, L"Kitchen");
  EXPECT_EQ(kitchen->fldConstScenarioID, first);
  EXPECT_EQ(kitchen->fldConstScenarioDesc, L"first words");
}

TEST_P(ConformanceTest, MachiningIsFoundByNameWithinItsLibrary) {
  int32_t saw = db->INSERTMachining(L"Saw", L"A", 1, 1.25, -2.5, 3);
  EXPECT_GT(saw, 0);
  EXPECT_EQ(db->INSERTMachining(L"Saw", L"B", 1, 9, 9, 9), saw);
  int32_t otherLibrary = db->INSERTMachining(L"Saw", L"A", 2, 0, 0, 0);
  EXPECT_NE(otherLibrary, saw);

  int32_t count = -1;
  auto rows = db->GETTblMachining(count);
  EXPECT_EQ(count, 2);
  auto m = At<tblMachining>(rows, Str(saw));
  EXPECT_EQ(m->MachName, L"Saw");
  EXPECT_EQ(m->MachGroup, L"A");  // the first call's values stay
  EXPECT_DOUBLE_EQ(m->X, 1.25);
  EXPECT_DOUBLE_EQ(m->Y, -2.5);
  EXPECT_DOUBLE_EQ(m->Z, 3);
  EXPECT_EQ(m->MachLibID, 1);
}

TEST_P(ConformanceTest, MachiningVariableIsFoundByNameAndKeepsItsValue) {
  int32_t id = db->INSERTMachVariable(L"Depth", L"12", 4, true);
  EXPECT_GT(id, 0);
  EXPECT_EQ(db->INSERTMachVariable(L"Depth", L"99", 4, false), id);
  auto rows = db->GETTblMachVariable();
  ASSERT_EQ(CountOf(rows), 1);
  auto v = At<tblMachVariable>(rows, L"Depth");  // keyed by name, not id
  EXPECT_EQ(v->MachVarID, id);
  EXPECT_EQ(v->Value, L"12");
  EXPECT_TRUE(v->Requested);
  EXPECT_EQ(v->MachLibID, 4);

  db->UPDATEMachVariable(L"Width", L"30", 4, id);
  v = At<tblMachVariable>(db->GETTblMachVariable(), L"Width");
  EXPECT_EQ(v->Value, L"30");
  db->UPDATEMachVariable(L"Other", L"1", 5, id);  // another library: nothing changes
  EXPECT_EQ(CountOf(db->GETTblMachVariable()), 1);
  EXPECT_TRUE(db->GETTblMachVariable()->Contains(L"Width"));
}

TEST_P(ConformanceTest, RoutingAndDrillingNeedTheirMachining) {
  EXPECT_EQ(db->INSERTMachRouting(L"R", 12345), 0);
  EXPECT_EQ(db->INSERTMachVertical(L"V", L"V", 12345), 0);
  EXPECT_EQ(CountOf(db->GETTblMachRouting()), 0);
  EXPECT_EQ(CountOf(db->GETTblMachVertical()), 0);

  int32_t mach = db->INSERTMachining(L"Drill", L"D", 1, 0, 0, 0);
  int32_t routing = db->INSERTMachRouting(L"Outline", mach, 1);
  EXPECT_GT(routing, 0);
  auto r = At<tblMachRouting>(db->GETTblMachRouting(), Str(routing));
  EXPECT_EQ(r->strName, L"Outline");
  EXPECT_EQ(r->MachID, mach);
  EXPECT_EQ(r->lngPocket, L"1");
  EXPECT_EQ(r->strToolRotation, L"right");
  EXPECT_EQ(r->lngToolRotationSpeed, L"18000");

  int32_t down = db->INSERTMachVertical(L"Down", L"V", mach);
  int32_t side = db->INSERTMachVertical(L"Side", L"v", mach);
  auto rows = db->GETTblMachVertical();
  ASSERT_EQ(CountOf(rows), 2);
  auto d = At<tblMachVertical>(rows, Str(down));
  EXPECT_EQ(d->strName, L"Down");
  EXPECT_EQ(d->Zstart, L"Z");
  EXPECT_EQ(d->NormalZ, L"-1");
  EXPECT_EQ(d->NormalY, L"0");
  auto s = At<tblMachVertical>(rows, Str(side));  // orientation compared with its case
  EXPECT_EQ(s->NormalY, L"1");
  EXPECT_EQ(s->NormalZ, L"0");
}

TEST_P(ConformanceTest, MachiningLinkIsFoundWithoutRegardToTheCaseOfItsExpression) {
  int32_t id = db->INSERTMachLink(3, 4, L"a;b", L"Len*2", true, false);
  EXPECT_GT(id, 0);
  EXPECT_EQ(db->INSERTMachLink(3, 4, L"other", L"LEN*2", true, false), id);
  EXPECT_NE(db->INSERTMachLink(3, 4, L"a;b", L"Len*2", false, false), id);
  auto link = At<tblMachLink>(db->GETTblMachLink(), Str(id));
  EXPECT_TRUE(link->MirrorX);
  EXPECT_FALSE(link->MirrorY);
  EXPECT_EQ(link->VarList, nullptr);

  db->UPDATEMachLink(id, 7, 8, L"x", L"y", false, true);
  link = At<tblMachLink>(db->GETTblMachLink(), Str(id));
  EXPECT_FALSE(link->MirrorX);
  EXPECT_TRUE(link->MirrorY);
  db->UPDATEMachLink(id + 1000, 1, 1, L"", L"", false, false);  // no such link: nothing
  EXPECT_EQ(CountOf(db->GETTblMachLink()), 2);

  db->DELMachLink(id);
  EXPECT_FALSE(db->GETTblMachLink()->Contains(Str(id)));
}

TEST_P(ConformanceTest, FilterRowsAreWrittenOnceAndSplitBySecondPartType) {
  db->INSERTFilter(1, 2, L"A", L"B");
  db->INSERTFilter(1, 2, L"A", L"B");
  db->INSERTFilter(3, 0, L"C", L"");
  int32_t count = -1;
  auto all = db->GETTblFilterScenarios(count);
  EXPECT_EQ(count, 2);
  auto pair = At<tblFilter_Scenarios>(all, L"1|A#2|B");
  EXPECT_EQ(pair->fldFltrScenarioID, L"0");

  count = -1;
  auto withSecond = db->GETFilterScenariosCol(true, count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(At<tblFilter_Scenarios>(withSecond, L"1|A#2|B")->fldSubType2, L"B");
  auto withoutSecond = db->GETFilterScenariosCol(false);
  ASSERT_EQ(CountOf(withoutSecond), 1);
  EXPECT_EQ(At<tblFilter_Scenarios>(withoutSecond, L"3|C")->fldPartType2, L"0");

  db->DELFilter(1, 2, L"A", L"X");  // not quite the row: nothing goes
  EXPECT_EQ(CountOf(db->GETFilterScenariosCol(true)), 1);
  db->DELFilter(1, 2, L"A", L"B");
  EXPECT_EQ(CountOf(db->GETFilterScenariosCol(true)), 0);
  EXPECT_EQ(CountOf(db->GETFilterScenariosCol(false)), 1);
}

TEST_P(ConformanceTest, DesignIsFoundByNameAndComputer) {
  int32_t id = db->INSERTSELDesignIDFromLocalDesigns(L"Cabinet", L"PC1");
  EXPECT_GT(id, 0);
  EXPECT_EQ(db->INSERTSELDesignIDFromLocalDesigns(L"Cabinet", L"PC1"), id);
  EXPECT_NE(db->INSERTSELDesignIDFromLocalDesigns(L"Cabinet", L"PC2"), id);
}

TEST_P(ConformanceTest, MachiningLinksAreFoundByAllTheirValues) {
  UseCommaLocale();  // the angle is looked up again as a number, not as the user's text
  int32_t global =
      db->INSERTSELLinkIDFromMachiningLinks(L"T", L"desc", L"name", 90.25, 1, 0, 1, L"vars", L"TL");
  EXPECT_GT(global, 0);
  EXPECT_EQ(
      db->INSERTSELLinkIDFromMachiningLinks(L"T", L"desc", L"name", 90.25, 1, 0, 1, L"vars", L"TL"),
      global);
  EXPECT_NE(
      db->INSERTSELLinkIDFromMachiningLinks(L"T", L"desc", L"name", 180, 1, 0, 1, L"vars", L"TL"),
      global);
  auto g = At<tblGlobal_Machining_Links>(db->GETTblGlobalMachiningLinks(), Str(global));
  EXPECT_NEAR(g->fldAngle, 90.25, 0.25);  // a server may keep whole degrees

  int32_t local = db->INSERTSELLinkIDFromLocalMachiningLinks(L"T", L"desc", L"name", 45, 0, 1, 0,
                                                             L"vars", L"BR", L"P", L"rel");
  EXPECT_EQ(db->INSERTSELLinkIDFromLocalMachiningLinks(L"T", L"desc", L"name", 45, 0, 1, 0, L"vars",
                                                       L"BR", L"P", L"rel"),
            local);
  EXPECT_NE(db->INSERTSELLinkIDFromLocalMachiningLinks(L"T", L"desc", L"name", 45, 0, 1, 0, L"vars",
                                                       L"BR", L"P", L"other"),
            local);

  db->DELLocalMachiningLinks(L"P", L"rel");
  auto left = db->GETTblLocalMachiningLinks();
  EXPECT_EQ(CountOf(left), 1);
  EXPECT_FALSE(left->Contains(Str(local)));
}

TEST_P(ConformanceTest, RelationAssignmentCreatesItsPatternThenSetsItsLinks) {
  db->INSERTUPDATEGlobalRelationAssignments(5, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 70,
                                            L"EF");
  auto assignments = db->GETTblGlobalRelationAssignments();
  ASSERT_EQ(CountOf(assignments), 1);
  auto a = assignments->ItemAs<tblGlobal_Relation_Assignments>(Variant(int32_t{1}));
  auto p = At<tblGlobal_Relationship_Patterns>(db->GETTblGlobalRelationshipPatterns(),
                                               Str(a->fldPatternID));
  EXPECT_EQ(p->fldLinkIDEE, 0);
  EXPECT_EQ(p->fldLinkIDEF, 70);
  EXPECT_EQ(p->fldLinkIDFF, 0);

  db->INSERTUPDATEGlobalRelationAssignments(5, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 80,
                                            L"FF");
  EXPECT_EQ(CountOf(db->GETTblGlobalRelationAssignments()), 1);
  auto patterns = db->GETTblGlobalRelationshipPatterns();
  ASSERT_EQ(CountOf(patterns), 1);
  p = At<tblGlobal_Relationship_Patterns>(patterns, Str(a->fldPatternID));
  EXPECT_EQ(p->fldLinkIDEF, 70);
  EXPECT_EQ(p->fldLinkIDFF, 80);

  db->UPDATEPropertyRelationshipPatterns(L"tblGlobal_Relationship_Patterns", L"fldLinkIDEE",
                                         a->fldPatternID, L"33");
  p = At<tblGlobal_Relationship_Patterns>(db->GETTblGlobalRelationshipPatterns(),
                                          Str(a->fldPatternID));
  EXPECT_EQ(p->fldLinkIDEE, 33);
}

TEST_P(ConformanceTest, LocalRelationAssignmentKeepsItsDesignAndPatternType) {
  db->INSERTUPDATELocalRelationAssignments(5, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 7,
                                           L"EE", L"P", L"rel", 9);
  db->INSERTUPDATELocalRelationAssignments(5, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 8,
                                           L"FE", L"P", L"rel", 9);
  auto assignments = db->GETTblLocalRelationAssignments();
  ASSERT_EQ(CountOf(assignments), 1);
  auto a = assignments->ItemAs<tblLocal_Relation_Assignments>(Variant(int32_t{1}));
  EXPECT_EQ(a->fldDesignID, 9);
  EXPECT_EQ(a->fldPattType, L"P");
  auto patterns = db->GETTblLocalRelationshipPatterns();
  ASSERT_EQ(CountOf(patterns), 1);
  auto p = At<tblLocal_Relationship_Patterns>(patterns, Str(a->fldPatternID));
  EXPECT_EQ(p->fldLinkIDEE, 7);
  EXPECT_EQ(p->fldLinkIDFE, 8);
  EXPECT_EQ(p->fldRelation, L"rel");

  // Another design is another assignment with a pattern of its own.
  db->INSERTUPDATELocalRelationAssignments(5, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 1,
                                           L"EE", L"P", L"rel", 10);
  EXPECT_EQ(CountOf(db->GETTblLocalRelationshipPatterns()), 2);
}

TEST_P(ConformanceTest, ImprintDefinitionIsWrittenThenOverwrittenSideBySide) {
  db->INSERTUPDATEGlobalImprintDefinitions(40, true, 1, 2, 3, true, 4, 5, 6, false, 7, 8, 9, true,
                                           10, 11, 12, false);
  db->INSERTUPDATEGlobalImprintDefinitions(40, false, 21, 22, 23, false, 24, 25, 26, true, 27, 28,
                                           29, false, 30, 31, 32, true);
  auto rows = db->GETTblGlobalImprintDefinitions();
  ASSERT_EQ(CountOf(rows), 1);
  auto d = At<tblGlobal_Imprint_Definitions>(rows, L"40");
  EXPECT_FALSE(d->fldMerge);
  EXPECT_EQ(d->fldLngBotPartType, 21);
  EXPECT_EQ(d->fldLngBotSide, 23);
  EXPECT_FALSE(d->fldblnBotUnion);
  EXPECT_EQ(d->fldLngRightOffset, 25);
  EXPECT_TRUE(d->fldblnRightUnion);
  EXPECT_EQ(d->fldLngTopSide, 29);
  EXPECT_EQ(d->fldLngLeftPartType, 30);
  EXPECT_TRUE(d->fldblnLeftUnion);
  EXPECT_EQ(d->fldstrName, L"");  // never written
}

TEST_P(ConformanceTest, ImprintAssignmentIsFoundByItsValues) {
  int32_t id = db->INSERTImprintAssignments(3, L"UDI", 1, 2, L"p1", L"p2", L"n1", L"n2", L"5", L"6",
                                            L"", L"", true);
  EXPECT_GT(id, 0);
  EXPECT_EQ(db->INSERTImprintAssignments(3, L"UDI", 1, 2, L"p1", L"p2", L"n1", L"n2", L"5", L"6",
                                         L"", L"", true),
            id);
  int32_t other = db->INSERTImprintAssignments(3, L"UDI", 1, 2, L"p1", L"p2", L"n1", L"n2", L"5",
                                               L"7", L"", L"", true);
  EXPECT_NE(other, id);
  auto a = At<tblGlobal_Imprint_Assignments>(db->GETTblGlobalImprintAssignments(), Str(id));
  EXPECT_TRUE(a->fldblnFront);

  db->DELImprintAssignments(id);
  auto rows = db->GETTblGlobalImprintAssignments();
  EXPECT_EQ(CountOf(rows), 1);
  EXPECT_TRUE(rows->Contains(Str(other)));
}

TEST_P(ConformanceTest, ContourFeatureListsAndPatterns) {
  Variant list = db->INSERTGlobalContrFeatrLists(7, L"S-E", L"name", L"desc", L"type", L"vars");
  ASSERT_NE(list.Get<int32_t>(), nullptr);
  int32_t listId = *list.Get<int32_t>();
  EXPECT_GT(listId, 0);
  // Found again without regard to the description.
  EXPECT_EQ(db->INSERTGlobalContrFeatrLists(7, L"S-E", L"name", L"other", L"type", L"vars"),
            Variant(listId));
  auto l = At<tblGlobal_Contr_Featr_Lists>(db->GETTblGlobalContrFeatrLists(), Str(listId) + L",7");
  EXPECT_EQ(l->fldLinkDescription, L"desc");

  db->INSERTGlobalContrFeatrPatterns(3, L"A", 11, listId);
  db->INSERTGlobalContrFeatrPatterns(3, L"A", 11, listId);
  db->INSERTGlobalContrFeatrPatterns(4, L"A", 11, listId);
  auto patterns = db->GETTblGlobalContrFeatrPatterns();
  EXPECT_EQ(CountOf(patterns), 2);
  EXPECT_EQ(At<tblGlobal_Contr_Featr_Patterns>(patterns, Str(listId) + L",3,A")->fldFeatureKey, 11);
  db->DELGlobalContrFeatrPatterns(3, L"A", 11, listId);
  patterns = db->GETTblGlobalContrFeatrPatterns();
  EXPECT_EQ(CountOf(patterns), 1);
  EXPECT_TRUE(patterns->Contains(Str(listId) + L",4,A"));
}

TEST_P(ConformanceTest, FaceContourLinkIsDeletedBySubtype) {
  db->INSERTGlobalFaceContourLinks(L"L", L"D", L"T", L"V", 3, L"A", 9);
  db->DELGlobalFaceContourLinks(9, 3, L"B");  // another subtype: stays
  EXPECT_EQ(CountOf(db->GETTblGlobalFaceContourLinks()), 1);
  db->DELGlobalFaceContourLinks(9, 3, L"A");
  EXPECT_EQ(CountOf(db->GETTblGlobalFaceContourLinks()), 0);
}

TEST_P(ConformanceTest, PartTypeIsWrittenWithItsManufacturingScenario) {
  db->INSERTMFGPartTypes(2, 14, L"S1", L"Door", L"Panel", L"Long", L"Sub one");
  db->INSERTMFGPartTypes(2, 14, L"S1", L"Other", L"Panel", L"Long", L"Sub one");
  db->INSERTMFGPartTypes(3, 14, L"S1", L"Door", L"Panel", L"Long", L"Sub one");
  auto parts = db->GETTblMFGPartTypes();
  ASSERT_EQ(CountOf(parts), 1);
  auto part = At<tblMFG_Part_Types>(parts, L"14|S1");
  EXPECT_EQ(part->fldPartDescription, L"Door");

  auto scenarios = db->GETTblMFGScenario();
  ASSERT_EQ(CountOf(scenarios), 2);
  auto s = At<tblMFG_Scenario>(scenarios, L"2,14,S1");
  EXPECT_EQ(s->fldMFGProcessID, 0);
  EXPECT_EQ(s->fldGrainDir, L"None");
  EXPECT_EQ(s->fldIsFlipped, L"No");
  EXPECT_TRUE(scenarios->Contains(L"3,14,S1"));
}

TEST_P(ConformanceTest, DeletingAMachiningTakesItsRoutingAndDrillingButNotItsLinks) {
  int32_t mach = db->INSERTMachining(L"Gone", L"G", 1, 0, 0, 0);
  int32_t kept = db->INSERTMachining(L"Kept", L"G", 1, 0, 0, 0);
  db->INSERTMachRouting(L"R", mach);
  db->INSERTMachVertical(L"V", L"V", mach);
  int32_t keptRouting = db->INSERTMachRouting(L"R", kept);
  db->INSERTMachLink(mach, 1, L"", L"x", false, false);
  db->INSERTMachVariable(L"Var", L"1", 1, false);

  db->DELMachining(mach);
  auto machining = db->GETTblMachining();
  EXPECT_EQ(CountOf(machining), 1);
  EXPECT_TRUE(machining->Contains(Str(kept)));
  auto routing = db->GETTblMachRouting();
  EXPECT_EQ(CountOf(routing), 1);
  EXPECT_TRUE(routing->Contains(Str(keptRouting)));
  EXPECT_EQ(CountOf(db->GETTblMachVertical()), 0);
  EXPECT_EQ(CountOf(db->GETTblMachLink()), 1);
  EXPECT_EQ(CountOf(db->GETTblMachVariable()), 1);
}

TEST_P(ConformanceTest, SingleRowDeletesTakeOnlyTheirRow) {
  int32_t mach = db->INSERTMachining(L"M", L"G", 1, 0, 0, 0);
  int32_t r1 = db->INSERTMachRouting(L"R1", mach);
  int32_t r2 = db->INSERTMachRouting(L"R2", mach);
  int32_t v1 = db->INSERTMachVertical(L"V1", L"V", mach);
  int32_t v2 = db->INSERTMachVertical(L"V2", L"V", mach);
  int32_t var1 = db->INSERTMachVariable(L"A", L"1", 1, false);
  int32_t var2 = db->INSERTMachVariable(L"B", L"2", 1, false);
  db->DELMachRouting(r1);
  db->DELMachVertical(v1);
  db->DELMachVariable(var1);
  // Ids that do not exist change nothing and are no failure.
  db->DELMachRouting(r2 + 100);
  db->DELMachVertical(v2 + 100);
  db->DELMachVariable(var2 + 100);
  db->DELMachining(mach + 100);
  db->DELMachLink(12345);
  db->DELMachiningScenario(12345);
  db->DELImprintAssignments(12345);

  auto routing = db->GETTblMachRouting();
  EXPECT_EQ(CountOf(routing), 1);
  EXPECT_TRUE(routing->Contains(Str(r2)));
  auto vertical = db->GETTblMachVertical();
  EXPECT_EQ(CountOf(vertical), 1);
  EXPECT_TRUE(vertical->Contains(Str(v2)));
  auto variables = db->GETTblMachVariable();
  EXPECT_EQ(CountOf(variables), 1);
  EXPECT_TRUE(variables->Contains(L"B"));
  EXPECT_EQ(CountOf(db->GETTblMachining()), 1);
}

TEST_P(ConformanceTest, DeletingAScenarioClearsItsRowsInEveryTable) {
  int32_t gone = db->INSERTConstructionScenario(L"Gone", L"");
  int32_t kept = db->INSERTConstructionScenario(L"Kept", L"");
  for (int32_t s : {gone, kept}) {
    db->INSERTUPDATEGlobalRelationAssignments(s, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 1,
                                              L"EE");
    db->INSERTUPDATELocalRelationAssignments(s, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 1, L"EE",
                                             L"P", L"R", 1);
    db->INSERTGlobalFaceContourLinks(L"L", L"D", L"T", L"V", 1, L"A", s);
    db->INSERTImprintAssignments(s, L"U", 1, 2, L"p", L"p", L"n", L"n", L"1", L"2", L"", L"",
                                 false);
  }
  db->DELMachiningScenario(gone);

  auto types = db->GETTblConstructionScenarioTypes();
  EXPECT_EQ(CountOf(types), 1);
  EXPECT_TRUE(types->Contains(L"Kept"));
  auto global = db->GETTblGlobalRelationAssignments();
  ASSERT_EQ(CountOf(global), 1);
  EXPECT_EQ(global->ItemAs<tblGlobal_Relation_Assignments>(Variant(int32_t{1}))->fldConstScenarioID,
            kept);
  auto local = db->GETTblLocalRelationAssignments();
  ASSERT_EQ(CountOf(local), 1);
  EXPECT_EQ(local->ItemAs<tblLocal_Relation_Assignments>(Variant(int32_t{1}))->fldConstScenarioID,
            kept);
  auto links = db->GETTblGlobalFaceContourLinks();
  EXPECT_EQ(CountOf(links), 1);
  EXPECT_TRUE(links->Contains(Str(kept) + L",1,A"));
  auto imprints = db->GETTblGlobalImprintAssignments();
  ASSERT_EQ(CountOf(imprints), 1);
  EXPECT_EQ(
      imprints->ItemAs<tblGlobal_Imprint_Assignments>(Variant(int32_t{1}))->fldlngConstScenarioID,
      kept);
  // The patterns the deleted assignments pointed to stay.
  EXPECT_EQ(CountOf(db->GETTblGlobalRelationshipPatterns()), 2);
}

// Every record of a scenario that a copy copies, as text in row order, without the ids a copy
// renumbers: its relation assignments with their patterns, its face contour links, and its
// imprint assignments with their definitions ("none" where a row names one that is not there).
std::vector<std::string> ScenarioRows(clsQuillData& db, int32_t scenario) {
  auto text = [](const std::shared_ptr<Record>& r, std::initializer_list<std::wstring_view> skip) {
    if (!r) return std::string("none");
    std::ostringstream out;
    const RecordType& type = r->Type();
    for (size_t f = 0; f < type.Fields().size(); ++f) {
      if (std::find(skip.begin(), skip.end(), type.Fields()[f].name) != skip.end()) continue;
      PrintTo(type.Get(*r, f), &out);
      out << ';';
    }
    return out.str();
  };
  struct Table {
    CollectionPtr rows;
    std::wstring_view scenario, link;  // the scenario's field, and the one naming a linked row
    CollectionPtr linked;              // the linked rows, under that id
  };
  const Table tables[] = {{db.GETTblGlobalRelationAssignments(), L"fldConstScenarioID",
                           L"fldPatternID", db.GETTblGlobalRelationshipPatterns()},
                          {db.GETTblLocalRelationAssignments(), L"fldConstScenarioID",
                           L"fldPatternID", db.GETTblLocalRelationshipPatterns()},
                          {db.GETTblGlobalFaceContourLinks(), L"fldConstScenarioID", L"", nullptr},
                          {db.GETTblLocalFaceContourLinks(), L"fldConstScenarioID", L"", nullptr},
                          {db.GETTblGlobalImprintAssignments(), L"fldlngConstScenarioID",
                           L"fldlngRelationPattern", db.GETTblGlobalImprintDefinitions()}};
  std::vector<std::string> rows;
  for (const Table& t : tables) {
    for (const Variant& item : *t.rows) {
      auto r = item.ObjectAs<Record>();
      const RecordType& type = r->Type();
      if (CLng(type.Get(*r, type.FieldIndex(t.scenario))) != scenario) continue;
      rows.push_back(text(r, {t.scenario, t.link, L"fldItemID"}));
      if (!t.linked) continue;
      const std::wstring id = CStr(type.Get(*r, type.FieldIndex(t.link)));
      rows.push_back(
          text(t.linked->Contains(id) ? t.linked->ItemAs<Record>(Variant(id)) : nullptr, {t.link}));
    }
  }
  return rows;
}

// The pattern ids of a scenario's relation assignments, in row order.
std::vector<int32_t> PatternsOf(const CollectionPtr& assignments, int32_t scenario) {
  std::vector<int32_t> ids;
  for (const Variant& item : *assignments) {
    auto r = item.ObjectAs<Record>();
    if (CLng(r->Type().Get(*r, r->Type().FieldIndex(L"fldConstScenarioID"))) == scenario)
      ids.push_back(CLng(r->Type().Get(*r, r->Type().FieldIndex(L"fldPatternID"))));
  }
  return ids;
}

TEST_P(ConformanceTest, CopyingAScenarioCopiesEveryRowOfItUnderANewType) {
  const int32_t old = db->INSERTConstructionScenario(L"Base", L"the base");
  const int32_t other = db->INSERTConstructionScenario(L"Other", L"");
  for (const wchar_t* subtype : {L"B", L"C", L"D"}) {
    db->INSERTUPDATEGlobalRelationAssignments(old, 1, 2, L"A", subtype, L"f1", L"f2", L"n1", L"n2",
                                              5, L"EF");
  }
  db->INSERTUPDATEGlobalRelationAssignments(other, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 9,
                                            L"EE");
  // Two assignments that share one pattern, and one whose pattern is gone.
  const std::string patternOf =
      "(SELECT \"fldPatternID\" FROM tblGlobal_Relation_Assignments WHERE \"fldConstScenarioID\" "
      "= " +
      std::to_string(old) + " AND \"fldSubType2\" = ";
  Sql("UPDATE tblGlobal_Relation_Assignments SET \"fldPatternID\" = " + patternOf +
      "'B') WHERE \"fldSubType2\" = 'C'");
  Sql("DELETE FROM tblGlobal_Relationship_Patterns WHERE \"fldPatternID\" = " + patternOf + "'D')");
  db->INSERTUPDATELocalRelationAssignments(old, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 7,
                                           L"FF", L"P", L"R", 3);
  db->INSERTGlobalFaceContourLinks(L"L", L"D", L"T", L"V", 1, L"A", old);
  db->INSERTGlobalFaceContourLinks(L"x", L"x", L"x", L"x", 2, L"B", other);
  Sql("INSERT INTO tblLocal_Face_Contour_Links (\"fldPartTypeID\", \"fldSubTypeID\", "
      "\"fldConstScenarioID\", \"fldLinkName\", \"fldPattType\", \"fldDesignID\") VALUES ('1', "
      "'A', " +
      std::to_string(old) + ", 'L', 'P', 3)");
  // Two imprints, the first with a definition.
  const int32_t defined = db->INSERTImprintAssignments(old, L"U", 1, 2, L"p1", L"p2", L"n1", L"n2",
                                                       L"5", L"6", L"o1", L"o2", true);
  db->INSERTImprintAssignments(old, L"W", 1, 2, L"p1", L"p2", L"n1", L"n2", L"5", L"6", L"", L"",
                               false);
  db->INSERTUPDATEGlobalImprintDefinitions(defined, true, 11, 12, 13, true, 21, 22, 23, false, 31,
                                           32, 33, true, 41, 42, 43, false);
  const auto rows = ScenarioRows(*db, old);
  ASSERT_EQ(rows.size(), 14u) << "3 and 1 assignments with their patterns, 2 links, 2 imprints";

  EXPECT_EQ(db->INSERTCopyMachiningScenario(old, L"Copy"), 0);
  auto copy = At<tblConstruction_Scenario_Types>(db->GETTblConstructionScenarioTypes(), L"Copy");
  EXPECT_EQ(copy->fldConstScenarioDesc, L"the base");
  EXPECT_EQ(ScenarioRows(*db, copy->fldConstScenarioID), rows) << "every row once more";
  EXPECT_EQ(ScenarioRows(*db, old), rows) << "the originals as they were";
  // Fresh patterns, the shared one still shared; only the missing one keeps its id.
  const auto was = PatternsOf(db->GETTblGlobalRelationAssignments(), old);
  const auto now = PatternsOf(db->GETTblGlobalRelationAssignments(), copy->fldConstScenarioID);
  ASSERT_EQ(now.size(), 3u);
  size_t kept = 0;
  for (size_t i = 0; i < now.size(); ++i) {
    kept += now[i] == was[i];
    for (size_t j = 0; j < now.size(); ++j) EXPECT_EQ(now[i] == now[j], was[i] == was[j]);
  }
  EXPECT_EQ(kept, 1u);
  EXPECT_NE(PatternsOf(db->GETTblLocalRelationAssignments(), copy->fldConstScenarioID),
            PatternsOf(db->GETTblLocalRelationAssignments(), old));
  EXPECT_EQ(CountOf(db->GETTblGlobalImprintDefinitions()), 2);
}

TEST_P(ConformanceTest, ACopyThatFailsHalfWayLeavesNothingBehind) {
  const int32_t old = db->INSERTConstructionScenario(L"Base", L"");
  db->INSERTUPDATEGlobalRelationAssignments(old, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 5,
                                            L"EF");
  db->INSERTGlobalFaceContourLinks(L"L", L"D", L"T", L"V", 1, L"A", old);
  db->INSERTImprintAssignments(old, L"U", 1, 2, L"p", L"p", L"n", L"n", L"1", L"2", L"", L"", true);
  Sql("DROP TABLE tblGlobal_Imprint_Definitions");  // copied last
  // Leaving the failure, or going on past it.
  for (auto policy : {PolicyErrorHandler::Policy::Leave, PolicyErrorHandler::Policy::Continue}) {
    auto handler = std::make_shared<PolicyErrorHandler>(policy);
    gE = handler;
    EXPECT_EQ(db->INSERTCopyMachiningScenario(old, L"Copy"), 0);
    EXPECT_EQ(handler->Reports().size(), 1u);
    EXPECT_EQ(CountOf(db->GETTblConstructionScenarioTypes()), 1);
    EXPECT_EQ(CountOf(db->GETTblGlobalRelationAssignments()), 1);
    EXPECT_EQ(CountOf(db->GETTblGlobalRelationshipPatterns()), 1);
    EXPECT_EQ(CountOf(db->GETTblGlobalFaceContourLinks()), 1);
    EXPECT_EQ(CountOf(db->GETTblGlobalImprintAssignments()), 1);
  }
  gE = errors;
  EXPECT_GT(db->INSERTConstructionScenario(L"After", L""), 0) << "no transaction was left open";
}

TEST_P(ConformanceTest, CommaLocaleRewritesOnlyTextThatIsOneNumber) {
  UseCommaLocale();
  // A name with a dot reads back as it was written, and finds its own row again.
  int32_t hinge = db->INSERTMachining(L"Hinge 3.5", L"G", 1, 0.5, 0, 0);
  auto m = At<tblMachining>(db->GETTblMachining(), Str(hinge));
  EXPECT_EQ(m->MachName, L"Hinge 3.5");
  EXPECT_EQ(db->INSERTMachining(m->MachName, L"G", 1, 0, 0, 0), hinge);
  EXPECT_EQ(CountOf(db->GETTblMachining()), 1);

  // Text that is one number in the user's form is stored with "."; other text as given.
  int32_t var = db->INSERTMachVariable(L"v", L"", 1, false);
  int32_t routing = db->INSERTMachRouting(L"R", hinge);
  int32_t vertical = db->INSERTMachVertical(L"V", L"V", hinge);
  const std::vector<std::pair<std::wstring, std::string>> values = {
      {L"x,y;1,5", "x,y;1,5"}, {L"0,5", "0.5"}, {L"-0,25", "-0.25"}, {L"1,2,3", "1,2,3"}};
  for (const auto& [given, stored] : values) {
    db->UPDATEMachVariable(L"v", given, 1, var);
    EXPECT_EQ(Sql("SELECT \"Value\" FROM MachVariable"), stored) << ToUtf8(given);
    db->UPDATEParaMachRouting(L"dblDepthValue", given, routing);
    EXPECT_EQ(Sql("SELECT \"dblDepthValue\" FROM MachRouting"), stored) << ToUtf8(given);
    db->UPDATEParaMachVertical(L"DrillDepth", given, vertical);
    EXPECT_EQ(Sql("SELECT \"DrillDepth\" FROM MachVertical"), stored) << ToUtf8(given);
  }
}

TEST_P(ConformanceTest, SubtypesAndPatternFieldsAreReadAsTheirMeaning) {
  UseCommaLocale();
  int32_t scenario = db->INSERTConstructionScenario(L"S", L"");
  // "7,0" is the whole number 7 here: found again, never a second row.
  int32_t first = db->INSERTImprintAssignments(scenario, L"U", 1, 2, L"p", L"p", L"n", L"n", L"7,0",
                                               L"2", L"", L"", false);
  EXPECT_NE(first, 0);
  EXPECT_EQ(db->INSERTImprintAssignments(scenario, L"U", 1, 2, L"p", L"p", L"n", L"n", L"7", L"2",
                                         L"", L"", false),
            first);
  EXPECT_EQ(CountOf(db->GETTblGlobalImprintAssignments()), 1);
  // A pattern field names a column, whose name ignores letter case.
  db->INSERTUPDATEGlobalRelationAssignments(scenario, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 9,
                                            L"ff");
  auto patterns = db->GETTblGlobalRelationshipPatterns();
  ASSERT_EQ(CountOf(patterns), 1);
  EXPECT_EQ(patterns->ItemAs<tblGlobal_Relationship_Patterns>(1)->fldLinkIDFF, 9);
}

TEST_P(ConformanceTest, NumbersTravelFromAnyThreadUnderACommaLocale) {
  UseCommaLocale();
  // The backend was made on this thread; it is used from another, whose locale state was
  // never read.
  int32_t id = 0;
  std::thread other([&] {
    try {
      id = db->INSERTMachining(L"M", L"G", 1, 7.25, -0.5, 12345.67);
      db->UPDATEVariableMachining(id, L"Z", 1.75);
    } catch (const QuillError& e) {
      ADD_FAILURE() << ToUtf8(e.Description());
    }
  });
  other.join();
  ASSERT_NE(id, 0);
  auto m = At<tblMachining>(db->GETTblMachining(), Str(id));
  EXPECT_EQ(m->X, 7.25);
  EXPECT_EQ(m->Y, -0.5);
  EXPECT_EQ(m->Z, 1.75);
  EXPECT_EQ(m->MachName, L"M");
}

TEST_P(ConformanceTest, AWriteThatFailedReturnsNoIdentifier) {
  ExpectErrors();
  int32_t mach = db->INSERTMachining(L"M", L"G", 1, 0, 0, 0);
  ASSERT_NE(mach, 0);
  Sql("DROP TABLE MachVariable");
  Sql("DROP TABLE tblLocal_Designs");
  Sql("DROP TABLE MachVertical");
  // Going on past the failure, or retrying it until the retries run out, returns 0.
  for (auto policy : {PolicyErrorHandler::Policy::Continue, PolicyErrorHandler::Policy::Retry}) {
    gE = std::make_shared<PolicyErrorHandler>(policy, 2);
    EXPECT_EQ(db->INSERTMachVariable(L"v", L"1", 1, true), 0);
    EXPECT_EQ(db->DELMachining(mach), 0);
    int32_t count = 7;
    int32_t design = -1;
    try {
      design = db->INSERTSELDesignIDFromLocalDesigns(L"D", L"PC", count);
    } catch (const QuillError&) {
      design = 0;  // a backend that reports this one to the caller
    }
    EXPECT_EQ(design, 0);
  }
  gE = errors;
}

TEST_P(ConformanceTest, RowsThatShareAKeyAreAllRead) {
  int32_t a = db->INSERTMachVariable(L"Same", L"a", 1, false);
  int32_t b = db->INSERTMachVariable(L"Same", L"b", 2, false);
  ASSERT_NE(a, b);
  int32_t count = -1;
  auto vars = db->GETTblMachVariable(count);
  ASSERT_EQ(CountOf(vars), 2);
  EXPECT_EQ(count, 2);
  // The first row keeps the key; the second is there in order, without one.
  EXPECT_EQ(At<tblMachVariable>(vars, L"Same")->Value, L"a");
  EXPECT_EQ(vars->ItemAs<tblMachVariable>(2)->Value, L"b");
  EXPECT_FALSE(vars->KeyAt(2).has_value());

  db->INSERTGlobalFaceContourLinks(L"L", L"D", L"T", L"V", 1, L"A", 3);
  db->INSERTGlobalFaceContourLinks(L"L", L"D", L"T", L"V", 1, L"A", 3);
  EXPECT_EQ(CountOf(db->GETTblGlobalFaceContourLinks()), 2);
}

TEST_P(ConformanceTest, CopyingAScenarioThatCannotBeCopiedWritesNothing) {
  ExpectErrors();
  int32_t old = db->INSERTConstructionScenario(L"Base", L"");
  db->INSERTConstructionScenario(L"Taken", L"");
  db->INSERTGlobalFaceContourLinks(L"L", L"D", L"T", L"V", 1, L"A", old);

  db->INSERTCopyMachiningScenario(old + 1000, L"New");  // no such scenario
  db->INSERTCopyMachiningScenario(old, L"Taken");       // type in use
  db->INSERTCopyMachiningScenario(old, L"");            // no type
  EXPECT_EQ(errors->Reports().size(), 3u);
  EXPECT_EQ(CountOf(db->GETTblConstructionScenarioTypes()), 2);
  EXPECT_EQ(CountOf(db->GETTblGlobalFaceContourLinks()), 1);
}

TEST_P(ConformanceTest, UpdatesByColumnNameChangeThatColumnOnly) {
  int32_t mach = db->INSERTMachining(L"M", L"G", 1, 1, 1, 1);
  int32_t routing = db->INSERTMachRouting(L"R", mach);
  int32_t vertical = db->INSERTMachVertical(L"V", L"V", mach);
  db->UPDATEParaMachRouting(L"strToolRotation", L"left", routing);
  db->UPDATEParaMachVertical(L"DrillDepth", L"18", vertical);
  db->UPDATEVariableMachining(mach, L"X", 2.25);

  auto r = At<tblMachRouting>(db->GETTblMachRouting(), Str(routing));
  EXPECT_EQ(r->strToolRotation, L"left");
  EXPECT_EQ(r->strActiveFlag, L"A");
  EXPECT_EQ(At<tblMachVertical>(db->GETTblMachVertical(), Str(vertical))->DrillDepth, L"18");
  auto m = At<tblMachining>(db->GETTblMachining(), Str(mach));
  EXPECT_DOUBLE_EQ(m->X, 2.25);
  EXPECT_DOUBLE_EQ(m->Y, 1);
}

TEST_P(ConformanceTest, ANameThatIsNoColumnIsRefusedAndChangesNothing) {
  ExpectErrors();
  int32_t mach = db->INSERTMachining(L"M", L"G", 1, 1, 1, 1);
  int32_t routing = db->INSERTMachRouting(L"R", mach);
  db->UPDATEParaMachRouting(L"NoSuchColumn", L"x", routing);
  db->UPDATEParaMachRouting(L"strName = 'x'; DROP TABLE Machining; --", L"x", routing);
  db->UPDATEVariableMachining(mach, L"X = 0 --", 5);
  db->UPDATEPropertyRelationshipPatterns(L"Machining", L"MachName", 1, L"x");
  // An assignment has a fldPatternID too, but is no pattern: it keeps its scenario.
  int32_t scenario = db->INSERTConstructionScenario(L"S", L"");
  db->INSERTUPDATEGlobalRelationAssignments(scenario, 1, 2, L"A", L"B", L"f", L"f", L"n", L"n", 5,
                                            L"EE");
  auto assignment =
      db->GETTblGlobalRelationAssignments()->ItemAs<tblGlobal_Relation_Assignments>(1);
  db->UPDATEPropertyRelationshipPatterns(L"tblGlobal_Relation_Assignments", L"fldConstScenarioID",
                                         assignment->fldPatternID, L"99");
  EXPECT_EQ(errors->Reports().size(), 5u);
  EXPECT_EQ(At<tblGlobal_Relation_Assignments>(db->GETTblGlobalRelationAssignments(),
                                               Str(assignment->fldPatternID))
                ->fldConstScenarioID,
            scenario);
  auto m = At<tblMachining>(db->GETTblMachining(), Str(mach));
  EXPECT_EQ(m->MachName, L"M");
  EXPECT_DOUBLE_EQ(m->X, 1);
  EXPECT_EQ(At<tblMachRouting>(db->GETTblMachRouting(), Str(routing))->strName, L"R");
}

TEST_P(ConformanceTest, ScenarioTypeUpdateRewritesOnlyTheDescriptionOfThatType) {
  int32_t id = db->INSERTConstructionScenario(L"Kitchen", L"old");
  db->UPDATEConstructionScenarioTypes(id, L"Renamed", L"changed");
  auto s = At<tblConstruction_Scenario_Types>(db->GETTblConstructionScenarioTypes(), L"Kitchen");
  EXPECT_EQ(s->fldConstScenarioDesc, L"old");
  db->UPDATEConstructionScenarioTypes(id, L"Kitchen", L"new");
  s = At<tblConstruction_Scenario_Types>(db->GETTblConstructionScenarioTypes(), L"Kitchen");
  EXPECT_EQ(s->fldConstScenarioDesc, L"new");
}

TEST_P(ConformanceTest, RenamingAMachiningKeepsNamesUniqueInItsLibrary) {
  int32_t a = db->INSERTMachining(L"A", L"G", 1, 0, 0, 0);
  db->INSERTMachining(L"B", L"G", 1, 0, 0, 0);
  int32_t c = db->INSERTMachining(L"C", L"G", 2, 0, 0, 0);
  db->UPDATEMachNameFromMachining(L"B", 1, a);  // taken in library 1
  db->UPDATEMachNameFromMachining(L"B", 2, c);  // free in library 2
  db->UPDATEMachNameFromMachining(L"Z", 2, a);  // a is not in library 2
  auto rows = db->GETTblMachining();
  EXPECT_EQ(At<tblMachining>(rows, Str(a))->MachName, L"A");
  EXPECT_EQ(At<tblMachining>(rows, Str(c))->MachName, L"B");
}

TEST_P(ConformanceTest, ANumberThatIsNoNumberIsRefusedAndNothingIsWritten) {
  ExpectErrors();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(db->INSERTMachining(L"Bad", L"G", 1, nan, 0, 0), 0);
  int32_t mach = db->INSERTMachining(L"Good", L"G", 1, 1, 1, 1);
  db->UPDATEVariableMachining(mach, L"Y", std::numeric_limits<double>::infinity());
  EXPECT_EQ(errors->Reports().size(), 2u);
  auto rows = db->GETTblMachining();
  ASSERT_EQ(CountOf(rows), 1);
  EXPECT_DOUBLE_EQ(At<tblMachining>(rows, Str(mach))->Y, 1);
}

// A deleted row's id is never handed out again: a deleted machining keeps its links, which must
// never point at a new machining, and an imprint definition a deleted assignment left behind
// must never become a new assignment's, not even a copy's.
TEST_P(ConformanceTest, IdentifiersAreNeverHandedOutTwice) {
  const int32_t last = db->INSERTMachining(L"last", L"G", 1, 0, 0, 0);
  db->DELMachining(last);
  EXPECT_GT(db->INSERTMachining(L"new", L"G", 1, 0, 0, 0), last);

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
  EXPECT_EQ(Sql("SELECT count(*) FROM tblGlobal_Imprint_Assignments a JOIN "
                "tblGlobal_Imprint_Definitions d USING (\"fldlngRelationPattern\")"),
            "2")
      << "only the kept assignment and its copy have a definition";
}

TEST_P(ConformanceTest, ReadersCountTheirRecordsInRowOrder) {
  std::vector<int32_t> ids;
  for (const wchar_t* name : {L"one", L"two", L"three"}) {
    ids.push_back(db->INSERTMachining(name, L"G", 1, 0, 0, 0));
  }
  int32_t count = -1;
  auto rows = db->GETTblMachining(count);
  EXPECT_EQ(count, 3);
  std::vector<int32_t> seen;
  for (const Variant& item : *rows) seen.push_back(item.ObjectAs<tblMachining>()->MachID);
  EXPECT_EQ(seen, ids);
  // A second reader call gives a new collection, independent of the first.
  auto again = db->GETTblMachining();
  EXPECT_NE(again, rows);
  db->DELMachining(ids[0]);
  EXPECT_EQ(rows->Count(), 3);
}

// Where each argument of a writer lands: every text argument its own text, with quotes single
// and doubled, and every number its own value, so that a swapped or lost argument or a quote
// that is not doubled shows in the columns.
struct Lands {
  const char* table;
  const char* column;
  int arg;  // texts[arg], or for a negative value the whole number -arg
};
struct WriterCase {
  const char* writer;
  std::function<void(clsQuillData&, const std::vector<std::wstring>&)> call;
  std::vector<Lands> lands;
  bool foundAgain = false;  // a second call finds the row and writes no other
};

// clang-format off
const std::vector<WriterCase> kWriterCases = {
  {"INSERTConstructionScenario", [](auto& db, const auto& t) { db.INSERTConstructionScenario(t[0], t[1]); },
   {{"tblConstruction_Scenario_Types", "fldConstScenarioType", 0}, {"tblConstruction_Scenario_Types", "fldConstScenarioDesc", 1}}, true},
  {"INSERTGlobalContrFeatrLists", [](auto& db, const auto& t) { db.INSERTGlobalContrFeatrLists(5, t[0], t[1], t[2], t[3], t[4]); },
   {{"tblGlobal_Contr_Featr_Lists", "fldNewFtrSandEPoints", 0}, {"tblGlobal_Contr_Featr_Lists", "fldLinkName", 1},
    {"tblGlobal_Contr_Featr_Lists", "fldLinkDescription", 2}, {"tblGlobal_Contr_Featr_Lists", "fldLinkType", 3},
    {"tblGlobal_Contr_Featr_Lists", "fldLinkVarSet", 4}, {"tblGlobal_Contr_Featr_Lists", "fldFeatureID", -5}}, true},
  {"INSERTGlobalContrFeatrPatterns", [](auto& db, const auto& t) { db.INSERTGlobalContrFeatrPatterns(6, t[0], 7, 8); },
   {{"tblGlobal_Contr_Featr_Patterns", "fldSubTypeID", 0}, {"tblGlobal_Contr_Featr_Patterns", "fldPartTypeID", -6},
    {"tblGlobal_Contr_Featr_Patterns", "fldFeatureKey", -7}, {"tblGlobal_Contr_Featr_Patterns", "fldFeatureListID", -8}}, true},
  {"INSERTFilter", [](auto& db, const auto& t) { db.INSERTFilter(3, 4, t[0], t[1]); },
   {{"tblFilter_Scenarios", "fldSubType1", 0}, {"tblFilter_Scenarios", "fldSubType2", 1},
    {"tblFilter_Scenarios", "fldPartType1", -3}, {"tblFilter_Scenarios", "fldPartType2", -4}}, true},
  {"INSERTGlobalFaceContourLinks", [](auto& db, const auto& t) { db.INSERTGlobalFaceContourLinks(t[0], t[1], t[2], t[3], 3, t[4], 7); },
   {{"tblGlobal_Face_Contour_Links", "fldLinkName", 0}, {"tblGlobal_Face_Contour_Links", "fldLinkDescription", 1},
    {"tblGlobal_Face_Contour_Links", "fldLinkType", 2}, {"tblGlobal_Face_Contour_Links", "fldLinkVarSet", 3},
    {"tblGlobal_Face_Contour_Links", "fldSubTypeID", 4}, {"tblGlobal_Face_Contour_Links", "fldPartTypeID", -3},
    {"tblGlobal_Face_Contour_Links", "fldConstScenarioID", -7}}},
  {"UPDATEGlobalFaceContourLinks", [](auto& db, const auto& t) {
     db.INSERTGlobalFaceContourLinks(L"a", L"b", L"c", L"d", 3, t[4], 7);
     db.UPDATEGlobalFaceContourLinks(t[0], t[1], t[2], t[3], 3, t[4], 7); },
   {{"tblGlobal_Face_Contour_Links", "fldLinkName", 0}, {"tblGlobal_Face_Contour_Links", "fldLinkDescription", 1},
    {"tblGlobal_Face_Contour_Links", "fldLinkType", 2}, {"tblGlobal_Face_Contour_Links", "fldLinkVarSet", 3}}},
  {"INSERTImprintAssignments", [](auto& db, const auto& t) {
     db.INSERTImprintAssignments(7, t[0], 3, 4, t[1], t[2], t[3], t[4], L"5", L"6", t[5], t[6], true); },
   {{"tblGlobal_Imprint_Assignments", "fldstrUDI_Type", 0}, {"tblGlobal_Imprint_Assignments", "fldstrFeaturePattern1", 1},
    {"tblGlobal_Imprint_Assignments", "fldstrFeaturePattern2", 2}, {"tblGlobal_Imprint_Assignments", "fldstrFaceNormal1", 3},
    {"tblGlobal_Imprint_Assignments", "fldstrFaceNormal2", 4}, {"tblGlobal_Imprint_Assignments", "fldstrPart1FacesTypeOrient", 5},
    {"tblGlobal_Imprint_Assignments", "fldstrPart2FacesTypeOrient", 6}, {"tblGlobal_Imprint_Assignments", "fldlngConstScenarioID", -7},
    {"tblGlobal_Imprint_Assignments", "fldstrPartType1", -3}, {"tblGlobal_Imprint_Assignments", "fldstrPartType2", -4},
    {"tblGlobal_Imprint_Assignments", "fldSubType1", -5}, {"tblGlobal_Imprint_Assignments", "fldSubType2", -6}}, true},
  {"INSERTMachining", [](auto& db, const auto& t) { db.INSERTMachining(t[0], t[8], 3, 0, 0, 0); },
   {{"Machining", "MachName", 0}, {"Machining", "MachGroup", 8}, {"Machining", "MachLibID", -3}}, true},
  {"UPDATEMachNameFromMachining", [](auto& db, const auto& t) {
     db.UPDATEMachNameFromMachining(t[0], 3, db.INSERTMachining(L"old", L"g", 3, 0, 0, 0)); },
   {{"Machining", "MachName", 0}}},
  {"INSERTMachLink", [](auto& db, const auto& t) { db.INSERTMachLink(5, 6, t[0], t[1], true, false); },
   {{"MachLink", "MachListVar", 0}, {"MachLink", "MachExprVar", 1}, {"MachLink", "MachID", -5}, {"MachLink", "MachRuleID", -6}}, true},
  {"UPDATEMachLink", [](auto& db, const auto& t) {
     db.UPDATEMachLink(db.INSERTMachLink(1, 2, L"l", L"e", false, false), 5, 6, t[0], t[1], true, true); },
   {{"MachLink", "MachListVar", 0}, {"MachLink", "MachExprVar", 1}, {"MachLink", "MachID", -5}, {"MachLink", "MachRuleID", -6}}},
  {"INSERTMachRouting", [](auto& db, const auto& t) { db.INSERTMachRouting(t[0], db.INSERTMachining(L"m", L"g", 1, 0, 0, 0), 7); },
   {{"MachRouting", "strName", 0}, {"MachRouting", "MachDescription", 0}, {"MachRouting", "lngPocket", -7}}},
  {"UPDATEParaMachRouting", [](auto& db, const auto& t) {
     db.UPDATEParaMachRouting(L"strToolRotation", t[0], db.INSERTMachRouting(L"r", db.INSERTMachining(L"m", L"g", 1, 0, 0, 0))); },
   {{"MachRouting", "strToolRotation", 0}}},
  {"INSERTMachVariable", [](auto& db, const auto& t) { db.INSERTMachVariable(t[0], t[1], 4, true); },
   {{"MachVariable", "Name", 0}, {"MachVariable", "Value", 1}, {"MachVariable", "MachLibID", -4}}, true},
  {"UPDATEMachVariable", [](auto& db, const auto& t) {
     db.UPDATEMachVariable(t[0], t[1], 4, db.INSERTMachVariable(L"n", L"v", 4, false)); },
   {{"MachVariable", "Name", 0}, {"MachVariable", "Value", 1}}},
  {"INSERTMachVertical", [](auto& db, const auto& t) { db.INSERTMachVertical(t[0], t[8], db.INSERTMachining(L"m", L"g", 1, 0, 0, 0)); },
   {{"MachVertical", "MachDescription", 0}, {"MachVertical", "strName", 0}, {"MachVertical", "strMachOrientation", 8}}},
  {"UPDATEParaMachVertical", [](auto& db, const auto& t) {
     db.UPDATEParaMachVertical(L"strName", t[0], db.INSERTMachVertical(L"v", L"V", db.INSERTMachining(L"m", L"g", 1, 0, 0, 0))); },
   {{"MachVertical", "strName", 0}}},
  {"INSERTMFGPartTypes", [](auto& db, const auto& t) { db.INSERTMFGPartTypes(3, 4, t[0], t[1], t[2], t[3], t[4]); },
   {{"tblMFG_Part_Types", "fldSubTypeID", 0}, {"tblMFG_Part_Types", "fldPartDescription", 1},
    {"tblMFG_Part_Types", "fldPartKind", 2}, {"tblMFG_Part_Types", "fldPartGrain", 3},
    {"tblMFG_Part_Types", "fldSubTypeDesc", 4}, {"tblMFG_Part_Types", "fldPartID", -4},
    {"tblMFG_Scenario", "fldSubTypeID", 0}, {"tblMFG_Scenario", "fldMFGScenarioID", -3}, {"tblMFG_Scenario", "fldPartID", -4}}, true},
  {"INSERTSELDesignIDFromLocalDesigns", [](auto& db, const auto& t) { db.INSERTSELDesignIDFromLocalDesigns(t[0], t[1]); },
   {{"tblLocal_Designs", "fldDesignName", 0}, {"tblLocal_Designs", "fldComputerName", 1}}, true},
  {"INSERTSELLinkIDFromLocalMachiningLinks", [](auto& db, const auto& t) {
     db.INSERTSELLinkIDFromLocalMachiningLinks(t[0], t[1], t[2], 0, 3, 4, 5, t[3], t[9], t[5], t[6]); },
   {{"tblLocal_Machining_Links", "fldType", 0}, {"tblLocal_Machining_Links", "fldDescription", 1},
    {"tblLocal_Machining_Links", "fldName", 2}, {"tblLocal_Machining_Links", "fldVarSet", 3},
    {"tblLocal_Machining_Links", "fldRefCorner", 9}, {"tblLocal_Machining_Links", "fldPattType", 5},
    {"tblLocal_Machining_Links", "fldRelation", 6}, {"tblLocal_Machining_Links", "fldMirrorX", -3},
    {"tblLocal_Machining_Links", "fldMirrorY", -4}, {"tblLocal_Machining_Links", "fldIsPrimary", -5}}, true},
  {"INSERTSELLinkIDFromMachiningLinks", [](auto& db, const auto& t) {
     db.INSERTSELLinkIDFromMachiningLinks(t[0], t[1], t[2], 0, 3, 4, 5, t[3], t[9]); },
   {{"tblGlobal_Machining_Links", "fldType", 0}, {"tblGlobal_Machining_Links", "fldDescription", 1},
    {"tblGlobal_Machining_Links", "fldName", 2}, {"tblGlobal_Machining_Links", "fldVarSet", 3},
    {"tblGlobal_Machining_Links", "fldRefCorner", 9}, {"tblGlobal_Machining_Links", "fldMirrorX", -3},
    {"tblGlobal_Machining_Links", "fldMirrorY", -4}, {"tblGlobal_Machining_Links", "fldIsPrimary", -5}}, true},
  {"INSERTUPDATEGlobalRelationAssignments", [](auto& db, const auto& t) {
     db.INSERTUPDATEGlobalRelationAssignments(7, 3, 4, t[0], t[1], t[2], t[3], t[4], t[5], 9, L"EF"); },
   {{"tblGlobal_Relation_Assignments", "fldSubType1", 0}, {"tblGlobal_Relation_Assignments", "fldSubType2", 1},
    {"tblGlobal_Relation_Assignments", "fldFeaturePattern1", 2}, {"tblGlobal_Relation_Assignments", "fldFeaturePattern2", 3},
    {"tblGlobal_Relation_Assignments", "fldFaceNormal1", 4}, {"tblGlobal_Relation_Assignments", "fldFaceNormal2", 5},
    {"tblGlobal_Relation_Assignments", "fldConstScenarioID", -7}, {"tblGlobal_Relation_Assignments", "fldPartType1", -3},
    {"tblGlobal_Relation_Assignments", "fldPartType2", -4}, {"tblGlobal_Relationship_Patterns", "fldLinkIDEF", -9}}, true},
  {"INSERTUPDATELocalRelationAssignments", [](auto& db, const auto& t) {
     db.INSERTUPDATELocalRelationAssignments(7, 3, 4, t[0], t[1], t[2], t[3], t[4], t[5], 9, L"FE", t[6], t[7], 5); },
   {{"tblLocal_Relation_Assignments", "fldSubType1", 0}, {"tblLocal_Relation_Assignments", "fldSubType2", 1},
    {"tblLocal_Relation_Assignments", "fldFeaturePattern1", 2}, {"tblLocal_Relation_Assignments", "fldFeaturePattern2", 3},
    {"tblLocal_Relation_Assignments", "fldFaceNormal1", 4}, {"tblLocal_Relation_Assignments", "fldFaceNormal2", 5},
    {"tblLocal_Relation_Assignments", "fldPattType", 6}, {"tblLocal_Relation_Assignments", "fldRelation", 7},
    {"tblLocal_Relation_Assignments", "fldDesignID", -5}, {"tblLocal_Relationship_Patterns", "fldPattType", 6},
    {"tblLocal_Relationship_Patterns", "fldRelation", 7}, {"tblLocal_Relationship_Patterns", "fldLinkIDFE", -9}}, true},
  {"UPDATEConstructionScenarioTypes", [](auto& db, const auto& t) {
     db.UPDATEConstructionScenarioTypes(db.INSERTConstructionScenario(t[0], L"old"), t[0], t[1]); },
   {{"tblConstruction_Scenario_Types", "fldConstScenarioDesc", 1}}},
};
// clang-format on

TEST_P(ConformanceTest, EveryWriterPutsEachArgumentInItsOwnColumn) {
  // Short enough for the narrowest parameter a server declares (10 characters).
  const std::wstring payload = L"'O''\u00c4\";";
  std::vector<std::wstring> texts;
  for (int i = 0; i < 8; ++i) texts.push_back(payload + std::to_wstring(i));
  texts.push_back(L"'");        // for parameters of one character
  texts.push_back(L"'\u00c4");  // and of two
  for (const WriterCase& c : kWriterCases) {
    SCOPED_TRACE(c.writer);
    for (const Lands& l : c.lands) Sql(std::string("DELETE FROM ") + l.table);
    c.call(*db, texts);
    for (const Lands& l : c.lands) {
      const std::string expected = l.arg >= 0 ? ToUtf8(texts[l.arg]) : std::to_string(-l.arg);
      EXPECT_EQ(Sql(std::string("SELECT \"") + l.column + "\" FROM " + l.table), expected)
          << l.table << "." << l.column;
    }
    if (c.foundAgain) {
      c.call(*db, texts);
      for (const Lands& l : c.lands) {
        EXPECT_EQ(Sql(std::string("SELECT count(*) FROM ") + l.table), "1") << l.table;
      }
    }
  }
  EXPECT_NO_THROW(Sql("SELECT count(*) FROM Machining")) << "the machining table is gone";
}

TEST_P(ConformanceTest, ATransactionCommitsItsWritesTogetherOrNotAtAll) {
  auto has = [&](int32_t id) { return db->GETTblMachining()->Contains(Str(id)); };
  ASSERT_EQ(db->BeginTrans(), 1);
  EXPECT_TRUE(db->InTransaction());
  const int32_t undone = db->INSERTMachining(L"Undone", L"D", 1, 1.0, 2.0, 0.0);
  ASSERT_GT(undone, 0);
  EXPECT_TRUE(has(undone)) << "a reader sees the transaction's own writes";
  db->RollbackTrans();
  EXPECT_FALSE(db->InTransaction());
  EXPECT_FALSE(has(undone));

  int32_t kept = 0;
  {
    Transaction work(*db);
    ASSERT_TRUE(work.Active());
    ExpectErrors();
    EXPECT_EQ(db->BeginTrans(), 0) << "transactions do not nest";
    ASSERT_EQ(errors->Reports().size(), 1u);
    EXPECT_EQ(errors->Reports()[0].kind, ErrorKind::RefusedArgument);
    EXPECT_TRUE(db->InTransaction()) << "the refusal leaves the open one as it was";
    kept = db->INSERTMachining(L"Kept", L"D", 1, 1.0, 2.0, 0.0);
    EXPECT_EQ(db->INSERTMachining(L"Kept", L"D", 1, 1.0, 2.0, 0.0), kept);
    EXPECT_TRUE(work.Commit());
  }
  EXPECT_TRUE(has(kept));
  int32_t dropped = 0;
  {
    Transaction work(*db);
    dropped = db->INSERTMachining(L"Dropped", L"D", 1, 1.0, 2.0, 0.0);
  }  // left without Commit
  EXPECT_FALSE(db->InTransaction());
  EXPECT_FALSE(has(dropped));
  EXPECT_EQ(CountOf(db->GETTblMachining()), 1);
}

}  // namespace

}  // namespace QuillData::conformance
