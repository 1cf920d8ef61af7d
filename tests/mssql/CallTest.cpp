// Every writer and the procedure reader, against one table of the exact calls they must send:
// procedure, parameters in order (name, ADO type, direction, size, precision, scale, value),
// execute options, what is read back, and the trace name.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "QuillData/ado/Enums.h"
#include "QuillData/contract/Text.h"
#include "mssql/MssqlTestSupport.h"

namespace QuillData::test {
namespace {

struct Sent {
  std::wstring name;
  int32_t type;
  int32_t direction;
  int32_t size;
  Variant value;
  uint8_t precision = 0;
  uint8_t scale = 0;
};

// The caller's lngRecordsAffected in every call below; it must come back unchanged.
constexpr int32_t kAffected = 7;
// What the recording provider answers in @Return_Value.
constexpr int32_t kAnswer = 42;

Sent Ret(int32_t size, Variant seed) {
  return {L"@Return_Value", 3, 4, size, seed, 0, 0};
}
Sent Int(const wchar_t* name, int32_t size, int32_t value) {
  return {name, 3, 1, size, Variant(value), 0, 0};
}
// A text carried by an integer parameter (the provider converts it).
Sent IntText(const wchar_t* name, int32_t size, const wchar_t* value) {
  return {name, 3, 1, size, Variant(value), 0, 0};
}
Sent Chr(const wchar_t* name, int32_t size, std::wstring value) {
  return {name, 200, 1, size, Variant(std::move(value)), 0, 0};
}
Sent Bool(const wchar_t* name, int32_t size, bool value) {
  return {name, 11, 1, size, Variant(value), 0, 0};
}
Sent Bit16(const wchar_t* name, int32_t size, int16_t value) {
  return {name, 11, 1, size, Variant(value), 0, 0};
}
Sent Long(const wchar_t* name, const wchar_t* value) {
  return {name, 203, 1, -1, Variant(value), 0, 0};
}
Sent Num(const wchar_t* name, double value) {
  return {name, 131, 1, 0, Variant(Decimal::FromDouble(value)), 7, 2};
}

struct ExpectedCall {
  const char* operation;
  std::function<Variant(clsQuillData&, int32_t&)> invoke;
  std::wstring procedure;
  std::wstring trace;
  int32_t options;
  std::vector<Sent> params;
  Variant result;  // what the operation hands back when the procedure answers kAnswer
};

const Variant kNone;
const Variant kAnswered(kAnswer);
const Variant kZero(int32_t{0});
const std::wstring k60(60, L'n');

std::vector<ExpectedCall> Calls() {
  using Q = clsQuillData;
  using V = Variant;
  return {
      {"DELFilter",
       [](Q& q, int32_t& ra) { return q.DELFilter(11, 12, L"S1", L"S2", ra), V(); },
       L"P_D_Filter",
       L"DelFilter",
       128,
       {Ret(8, kAffected), Int(L"@PartType1", 10, 11), Int(L"@PartType2", 10, 12),
        Chr(L"@SubType1", 10, L"S1"), Chr(L"@SubType2", 10, L"S2")},
       kNone},
      {"DELGlobalContrFeatrPatterns",
       [](Q& q, int32_t& ra) { return V(q.DELGlobalContrFeatrPatterns(3, L"A", 5, 6, ra)); },
       L"P_D_Global_Contr_Featr_Patterns",
       L"DelGlobalContrFeatrPatterns",
       128,
       {Ret(0, kAffected), Int(L"@PartType", 8, 3), Chr(L"@SubType", 50, L"A"),
        Int(L"@FeatureKey", 8, 5), Int(L"@FeatureListID", 8, 6)},
       kAnswered},
      {"DELGlobalFaceContourLinks",
       [](Q& q, int32_t& ra) { return V(q.DELGlobalFaceContourLinks(9, 3, L"A", ra)); },
       L"P_D_Global_Face_Contour_Links",
       L"DelGlobalFaceContourLinks",
       -1,
       {Ret(0, kAffected), Int(L"@PartType", 8, 3), Chr(L"@SubType", 50, L"A"),
        Int(L"@ConstScenarioID", 8, 9)},
       kAnswered},
      {"DELImprintAssignments",
       [](Q& q, int32_t& ra) { return V(q.DELImprintAssignments(31, ra)); },
       L"P_D_ImprintAssignments",
       L"DelImprintAssignments",
       128,
       {Ret(8, kAffected), Int(L"@RelationPattern", 10, 31)},
       kAnswered},
      {"DELLocalContrFeatrPatterns",
       [](Q& q, int32_t& ra) { return V(q.DELLocalContrFeatrPatterns(3, L"B", 4, ra)); },
       L"P_D_Local_Contr_Featr_Patterns",
       L"DELLocalContrFeatrPatterns",
       128,
       {Ret(0, kAffected), Int(L"@PartType", 8, 3), Chr(L"@SubType", 50, L"B"),
        Int(L"@FeatureKey", 8, 4)},
       kAnswered},
      {"DELLocalFaceContourLinks",
       [](Q& q, int32_t& ra) {
         return V(q.DELLocalFaceContourLinks(9, 3, L"A", L"rel", L"PT", 17, ra));
       },
       L"P_D_Local_Face_Contour_Links",
       L"DelLocalFaceContourLinks",
       -1,
       {Int(L"@PartType", 8, 3), Chr(L"@SubType", 50, L"A"), Int(L"@ConstScenarioID", 8, 9),
        Chr(L"@Relation", 150, L"rel"), Chr(L"@PattType", 10, L"PT"), Int(L"@DesignID", 8, 17)},
       kZero},
      {"DELLocalMachiningLinks",
       [](Q& q, int32_t& ra) { return V(q.DELLocalMachiningLinks(L"PT", L"rel", ra)); },
       L"P_D_Local_Machining_Links",
       L"DelLocalMachiningLinks",
       128,
       {Ret(8, kAffected), Chr(L"@PattType", 10, L"PT"), Chr(L"@Relation", 255, L"rel")},
       kAnswered},
      {"DELMachining",
       [](Q& q, int32_t& ra) { return V(q.DELMachining(5, ra)); },
       L"P_D_Machining",
       L"DelMachining",
       128,
       {Ret(8, kAffected), Int(L"@MachID", 8, 5)},
       kAnswered},
      {"DELMachLink",
       [](Q& q, int32_t& ra) { return V(q.DELMachLink(6, ra)); },
       L"P_D_MachLink",
       L"DELMachLink",
       128,
       {Ret(8, kAffected), Int(L"@MachLinkID", 8, 6)},
       kAnswered},
      {"DELMachiningScenario",
       [](Q& q, int32_t& ra) { return V(q.DELMachiningScenario(8, ra)); },
       L"P_D_Machining_Scenario",
       L"DelMachiningScenario",
       128,
       {Ret(8, kAffected), Int(L"@MatScenarioID", 8, 8)},
       kAnswered},
      {"DELMachRouting",
       [](Q& q, int32_t& ra) { return V(q.DELMachRouting(13, ra)); },
       L"P_D_MachRouting",
       L"DelMachRouting",
       128,
       {Ret(8, kAffected), Int(L"@MachRoutingID", 8, 13)},
       kAnswered},
      {"DELMachVariable",
       [](Q& q, int32_t& ra) { return V(q.DELMachVariable(14, ra)); },
       L"P_D_MachVariable",
       L"DelMachVariable",
       128,
       {Ret(8, kAffected), Int(L"@MachVarID", 8, 14)},
       kAnswered},
      {"DELMachVertical",
       [](Q& q, int32_t& ra) { return V(q.DELMachVertical(15, ra)); },
       L"P_D_MachVertical",
       L"DelMachVertical",
       128,
       {Ret(8, kAffected), Int(L"@MachVerticalID", 8, 15)},
       kAnswered},

      {"GETFilterScenariosCol",
       [](Q& q, int32_t& ra) {
         auto rows = q.GETFilterScenariosCol(true, ra);
         return rows ? V(rows->Count()) : V();
       },
       L"P_Filter_Scenarios_Set",
       L"GetFilterScenariosCol",
       -1,
       {Bit16(L"@WithPartType2", 8, 1)},
       V(int32_t{0})},

      {"INSERTConstructionScenario",
       [](Q& q, int32_t& ra) { return V(q.INSERTConstructionScenario(L"Type", L"Desc", ra)); },
       L"P_I_ConstructionScenario",
       L"InsertConstructionScenario",
       128,
       {Ret(8, kAffected), Chr(L"@ConstScenarioType", 50, L"Type"),
        Chr(L"@ConstScenarioDesc", 100, L"Desc")},
       kAnswered},
      {"INSERTGlobalContrFeatrLists (interface)",
       [](Q& q, int32_t&) {
         return q.INSERTGlobalContrFeatrLists(4, L"SE", L"LN", L"LD", L"LT", L"LV");
       },
       L"P_IS_Global_Contr_Featr_Lists",
       L"INSERTGlobalContrFeatrLists",
       128,
       {Ret(8, -1), Int(L"@FeatureID", 8, 4), Chr(L"@NewFtrSandEPoints", 50, L"SE"),
        Chr(L"@LinkName", 50, L"LN"), Chr(L"@LinkDescription", 254, L"LD"),
        Chr(L"@LinkType", 50, L"LT"), Chr(L"@LinkVarSet", 254, L"LV")},
       kAnswered},
      {"INSERTGlobalContrFeatrLists (own)",
       [](Q& q, int32_t& ra) {
         return dynamic_cast<clsQuillData_MSSQL&>(q).INSERTGlobalContrFeatrLists(
             4, L"SE", L"LN", L"LD", L"LT", L"LV", ra);
       },
       L"P_IS_Global_Contr_Featr_Lists",
       L"INSERTGlobalContrFeatrLists",
       128,
       {Ret(8, kAffected), Int(L"@FeatureID", 8, 4), Chr(L"@NewFtrSandEPoints", 50, L"SE"),
        Chr(L"@LinkName", 50, L"LN"), Chr(L"@LinkDescription", 254, L"LD"),
        Chr(L"@LinkType", 50, L"LT"), Chr(L"@LinkVarSet", 254, L"LV")},
       kAnswered},
      {"INSERTGlobalContrFeatrPatterns",
       [](Q& q, int32_t&) { return q.INSERTGlobalContrFeatrPatterns(3, L"A", 5, 6); },
       L"P_I_Global_Contr_Featr_Patterns",
       L"INSERTGlobalContrFeatrPatterns",
       128,
       {Int(L"@PartType", 8, 3), Chr(L"@SubType", 50, L"A"), Int(L"@FeatureKey", 8, 5),
        Int(L"@FeatureListID", 8, 6)},
       kNone},
      {"INSERTCopyMachiningScenario",
       [](Q& q, int32_t& ra) { return V(q.INSERTCopyMachiningScenario(21, L"New", ra)); },
       L"P_I_CopyMachiningScenario",
       L"INSERTCopyMachiningScenario",
       128,
       {Int(L"@OldMachiningScenarioID", 8, 21), Chr(L"@NewMachiningScenarioType", 100, L"New")},
       kZero},
      {"INSERTFilter",
       [](Q& q, int32_t& ra) { return q.INSERTFilter(11, 12, L"S1", L"S2", ra), V(); },
       L"P_I_Filter",
       L"INSERTFilter",
       128,
       {Ret(8, kAffected), Int(L"@PartType1", 10, 11), Int(L"@PartType2", 10, 12),
        Chr(L"@SubType1", 10, L"S1"), Chr(L"@SubType2", 10, L"S2")},
       kNone},
      {"INSERTGlobalFaceContourLinks",
       [](Q& q, int32_t&) {
         return q.INSERTGlobalFaceContourLinks(L"LN", L"LD", L"LT", L"LV", 3, L"A", 9), V();
       },
       L"P_I_Global_Face_Contour_Links",
       L"INSERTGlobalFaceContourLinks",
       128,
       {Chr(L"@LinkName", 50, L"LN"), Chr(L"@LinkDescription", 254, L"LD"),
        Chr(L"@LinkType", 50, L"LT"), Chr(L"@LinkVarSet", 254, L"LV"), Int(L"@PartType", 8, 3),
        Chr(L"@SubType", 50, L"A"), Int(L"@ConstScenarioID", 8, 9)},
       kNone},
      {"INSERTImprintAssignments",
       [](Q& q, int32_t&) {
         return V(q.INSERTImprintAssignments(9, L"UDI", 1, 2, L"FP1", L"FP2", L"FN1", L"FN2", L"5",
                                             L"6", L"O1", L"O2", true));
       },
       L"P_I_ImprintAssignments",
       L"INSERTImprintAssignments",
       128,
       {Ret(0, kNone), Int(L"@ConstScenarioID", 8, 9), Chr(L"@ImprintType", 10, L"UDI"),
        Int(L"@PartType1", 8, 1), Int(L"@PartType2", 8, 2), Chr(L"@FeaturePattern1", 50, L"FP1"),
        Chr(L"@FeaturePattern2", 50, L"FP2"), Chr(L"@FaceNormal1", 15, L"FN1"),
        Chr(L"@FaceNormal2", 15, L"FN2"), IntText(L"@SubType1", 8, L"5"),
        IntText(L"@SubType2", 8, L"6"), Chr(L"@Part1FacesTypeOrient", 800, L"O1"),
        Chr(L"@Part2FacesTypeOrient", 800, L"O2"), Bool(L"@OnFront", 1, true)},
       kAnswered},
      {"INSERTMachining",
       [](Q& q, int32_t& ra) {
         return V(q.INSERTMachining(L"Saw", L"G", 4, 12.345, -1.5, 0.25, ra));
       },
       L"P_I_Machining",
       L"INSERTMachining",
       128,
       {Ret(0, kNone), Chr(L"@MachName", 20, L"Saw"), Chr(L"@MachGroup", 1, L"G"),
        Num(L"@X", 12.345), Num(L"@Y", -1.5), Num(L"@Z", 0.25), Int(L"@MachLibID", 8, 4)},
       kAnswered},
      {"INSERTMachLink",
       [](Q& q, int32_t& ra) {
         return V(q.INSERTMachLink(5, 6, L"list", L"expr", true, false, ra));
       },
       L"P_I_MachLink",
       L"INSERTMachLink",
       128,
       {Ret(0, kNone), Int(L"@MachID", 8, 5), Int(L"@MachRuleID", 8, 6),
        Long(L"@MachListVar", L"list"), Long(L"@MachExprVar", L"expr"), Bool(L"@MirrorX", 1, true),
        Bool(L"@MirrorY", 1, false)},
       kAnswered},
      {"INSERTMachRouting",
       [](Q& q, int32_t& ra) { return V(q.INSERTMachRouting(L"Route", 5, 1, ra)); },
       L"P_I_MachRouting",
       L"INSERTMachRouting",
       128,
       {Ret(0, kNone), Chr(L"@Name", 50, L"Route"), Int(L"@MachID", 8, 5), Int(L"@Pocket", 8, 1)},
       kAnswered},
      {"INSERTMachRouting (pocket left out)",
       [](Q& q, int32_t&) { return V(q.INSERTMachRouting(L"Route", 5)); },
       L"P_I_MachRouting",
       L"INSERTMachRouting",
       128,
       {Ret(0, kNone), Chr(L"@Name", 50, L"Route"), Int(L"@MachID", 8, 5), Int(L"@Pocket", 8, 0)},
       kAnswered},
      {"INSERTMachVariable",
       [](Q& q, int32_t& ra) { return V(q.INSERTMachVariable(k60, L"val", 4, true, ra)); },
       L"P_I_MachVariable",
       L"INSERTMachVariable",
       128,
       {Ret(0, kNone), Chr(L"@Name", 50, std::wstring(50, L'n')), Chr(L"@Value", 100, L"val"),
        Bit16(L"@Requested", 1, 1), Int(L"@MachLibID", 8, 4)},
       kAnswered},
      {"INSERTMachVertical",
       [](Q& q, int32_t& ra) { return V(q.INSERTMachVertical(L"Drill", L"V", 5, ra)); },
       L"P_I_MachVertical",
       L"INSERTMachVertical",
       128,
       {Ret(0, kNone), Chr(L"@Name", 50, L"Drill"), Chr(L"@Orientation", 1, L"V"),
        Int(L"@MachID", 8, 5)},
       kAnswered},
      {"INSERTMFGPartTypes",
       [](Q& q, int32_t& ra) {
         return q.INSERTMFGPartTypes(2, 14, L"S", L"PD", L"PK", L"PG", L"SD", true, ra), V();
       },
       L"P_I_MFG_Part_Types",
       L"INSERTMFGPartTypes",
       128,
       {Int(L"@MFGScenarioID", 8, 2), Int(L"@PartType", 8, 14), Chr(L"@SubTypeID", 50, L"S"),
        Chr(L"@PartDesc", 30, L"PD"), Chr(L"@PartKind", 30, L"PK"), Chr(L"@PartGrain", 10, L"PG"),
        Chr(L"@SubTypeDesc", 50, L"SD")},
       kNone},
      {"INSERTSELDesignIDFromLocalDesigns",
       [](Q& q, int32_t& ra) {
         return V(q.INSERTSELDesignIDFromLocalDesigns(L"Design", L"PC", ra));
       },
       L"P_IS_DesignIDFromLocal_Designs",
       L"INSERTSELDesignIDFromLocalDesigns",
       128,
       {Ret(0, kAffected), Chr(L"@DesignName", 254, L"Design"), Chr(L"@ComputerName", 254, L"PC")},
       kAnswered},
      {"INSERTSELLinkIDFromLocalMachiningLinks",
       [](Q& q, int32_t& ra) {
         return V(q.INSERTSELLinkIDFromLocalMachiningLinks(L"T", L"D", L"N", 91.5, 1, 0, 1, L"VS",
                                                           L"TL", L"PT", L"rel", ra));
       },
       L"P_IS_LinkIDFromLocalMachiningLinks",
       L"INSERTSELLinkIDFromLocalMachiningLinks",
       128,
       {Ret(0, kAffected), Chr(L"@LinkType", 50, L"T"), Chr(L"@LinkDesc", 254, L"D"),
        Chr(L"@LinkName", 50, L"N"), Int(L"@MirrorX", 8, 1), Int(L"@MirrorY", 8, 0),
        Int(L"@Angle", 50, 92), Chr(L"@Varset", 255, L"VS"), Int(L"@Primary", 8, 1),
        Chr(L"@RefCorner", 2, L"TL"), Chr(L"@PattType", 10, L"PT"), Chr(L"@Relation", 255, L"rel")},
       kAnswered},
      {"INSERTSELLinkIDFromMachiningLinks",
       [](Q& q, int32_t& ra) {
         return V(q.INSERTSELLinkIDFromMachiningLinks(L"T", L"D", L"N", 90.5, 0, 1, 2, L"VS", L"BR",
                                                      ra));
       },
       L"P_IS_LinkIDFromMachiningLinks",
       L"INSERTSELLinkIDFromMachiningLinks",
       128,
       {Ret(0, kAffected), Chr(L"@LinkType", 50, L"T"), Chr(L"@LinkDesc", 254, L"D"),
        Chr(L"@LinkName", 50, L"N"), Int(L"@MirrorX", 8, 0), Int(L"@MirrorY", 8, 1),
        Int(L"@Angle", 50, 90), Chr(L"@Varset", 255, L"VS"), Int(L"@Primary", 8, 2),
        Chr(L"@RefCorner", 2, L"BR")},
       kAnswered},
      {"INSERTUPDATEGlobalImprintDefinitions",
       [](Q& q, int32_t& ra) {
         return V(q.INSERTUPDATEGlobalImprintDefinitions(40, true, 1, 2, 3, false, 4, 5, 6, true, 7,
                                                         8, 9, false, 10, 11, 12, true, ra));
       },
       L"P_UI_GlobalImprintDefinitions",
       L"INSERTUPDATEGlobalImprintDefinitions",
       -1,
       {Int(L"@RelationPattern", 8, 40), Bool(L"@Merge", 1, true), Int(L"@BotPartType", 8, 1),
        Int(L"@BotOffset", 8, 2), Int(L"@BotSide", 8, 3), Bool(L"@BotUnion", 1, false),
        Int(L"@RightPartType", 8, 4), Int(L"@RightOffset", 8, 5), Int(L"@RightSide", 8, 6),
        Bool(L"@RightUnion", 1, true), Int(L"@TopPartType", 8, 7), Int(L"@TopOffset", 8, 8),
        Int(L"@TopSide", 8, 9), Bool(L"@TopUnion", 1, false), Int(L"@LeftPartType", 8, 10),
        Int(L"@LeftOffset", 8, 11), Int(L"@LeftSide", 8, 12), Bool(L"@LeftUnion", 1, true)},
       kZero},
      {"INSERTUPDATEGlobalRelationAssignments",
       [](Q& q, int32_t& ra) {
         return q.INSERTUPDATEGlobalRelationAssignments(3, 1, 2, L"A", L"B", L"F1", L"F2", L"N1",
                                                        L"N2", 70, L"EF", ra),
                V();
       },
       L"P_UI_GlobalRelationAssignments",
       L"INSERTUPDATEGlobalRelationAssignments",
       128,
       {Int(L"@MachScenarioID", 8, 3), Int(L"@PartType1", 8, 1), Int(L"@PartType2", 8, 2),
        Chr(L"@SubType1", 10, L"A"), Chr(L"@SubType2", 10, L"B"),
        Chr(L"@FeaturePattern1", 50, L"F1"), Chr(L"@FeaturePattern2", 50, L"F2"),
        Chr(L"@FaceNormal1", 20, L"N1"), Chr(L"@FaceNormal2", 20, L"N2"), Int(L"@LinkID", 8, 70),
        Chr(L"@PatternField", 20, L"EF")},
       kNone},
      {"INSERTUPDATELocalRelationAssignments",
       [](Q& q, int32_t& ra) {
         return q.INSERTUPDATELocalRelationAssignments(3, 1, 2, L"A", L"B", L"F1", L"F2", L"N1",
                                                       L"N2", 70, L"FF", L"PT", L"rel", 17, ra),
                V();
       },
       L"P_UI_LocalRelationAssignments",
       L"INSERTUPDATELocalRelationAssignments",
       128,
       {Int(L"@MachScenarioID", 8, 3), Int(L"@PartType1", 8, 1), Int(L"@PartType2", 8, 2),
        Chr(L"@SubType1", 10, L"A"), Chr(L"@SubType2", 10, L"B"),
        Chr(L"@FeaturePattern1", 50, L"F1"), Chr(L"@FeaturePattern2", 50, L"F2"),
        Chr(L"@FaceNormal1", 20, L"N1"), Chr(L"@FaceNormal2", 20, L"N2"), Int(L"@LinkID", 8, 70),
        Chr(L"@PatternField", 20, L"FF"), Chr(L"@PattType", 10, L"PT"),
        Chr(L"@Relation", 255, L"rel"), Int(L"@DesignID", 8, 17)},
       kNone},

      {"UPDATEConstructionScenarioTypes",
       [](Q& q, int32_t& ra) {
         return V(q.UPDATEConstructionScenarioTypes(21, L"Type", L"Desc", ra));
       },
       L"P_U_Construction_Scenario_Types",
       L"UPDATEConstructionScenarioTypes",
       128,
       {Ret(8, kAffected), Int(L"@ConstScenarioID", 8, 21), Chr(L"@ConstScenarioType", 30, L"Type"),
        Chr(L"@ConstScenarioDesc", 50, L"Desc")},
       kAnswered},
      {"UPDATEGlobalFaceContourLinks",
       [](Q& q, int32_t&) {
         return q.UPDATEGlobalFaceContourLinks(L"LN", L"LD", L"LT", L"LV", 3, L"A", 9), V();
       },
       L"P_U_Global_Face_Contour_Links",
       L"UPDATEGlobalFaceContourLinks",
       128,
       {Chr(L"@LinkName", 50, L"LN"), Chr(L"@LinkDescription", 254, L"LD"),
        Chr(L"@LinkType", 50, L"LT"), Chr(L"@LinkVarSet", 254, L"LV"), Int(L"@PartType", 8, 3),
        Chr(L"@SubType", 50, L"A"), Int(L"@ConstScenarioID", 8, 9)},
       kNone},
      {"UPDATEMachNameFromMachining",
       [](Q& q, int32_t& ra) { return q.UPDATEMachNameFromMachining(L"New", 4, 5, ra), V(); },
       L"P_U_MachNameFromMachining",
       L"UPDATEMachNameFromMachining",
       128,
       {Int(L"@MachID", 8, 5), Chr(L"@MachNewName", 20, L"New"), Int(L"@MachLibID", 8, 4)},
       kNone},
      {"UPDATEMachVariable",
       [](Q& q, int32_t& ra) { return q.UPDATEMachVariable(L"Var", L"1.5", 4, 14, ra), V(); },
       L"P_U_MachVariable",
       L"UPDATEMachVariable",
       128,
       {Int(L"@MachVarID", 8, 14), Chr(L"@Name", 20, L"Var"), Chr(L"@Value", 100, L"1.5"),
        Int(L"@MachLibID", 8, 4)},
       kNone},
      {"UPDATEMachLink",
       [](Q& q, int32_t& ra) {
         return q.UPDATEMachLink(6, 5, 3, L"list", L"expr", true, false, ra), V();
       },
       L"P_U_MachLink",
       L"UPDATEMachLink",
       128,
       {Int(L"@MachLinkID", 8, 6), Int(L"@MachID", 8, 5), Int(L"@MachRuleID", 8, 3),
        Long(L"@MachListVar", L"list"), Long(L"@MachExprVar", L"expr"), Bit16(L"@MirrorX", 1, 1),
        Bit16(L"@MirrorY", 1, 0)},
       kNone},
      {"UPDATEParaMachRouting",
       [](Q& q, int32_t& ra) {
         return q.UPDATEParaMachRouting(L"strToolRotation", L"left", 13, ra), V();
       },
       L"P_U_ParaMachRouting",
       L"UPDATEParaMachRouting",
       128,
       {Ret(0, kNone), Int(L"@MachRoutingID", 8, 13), Chr(L"@ParaToUpdate", 50, L"strToolRotation"),
        Chr(L"@NewValue", 100, L"left")},
       kNone},
      {"UPDATEParaMachVertical",
       [](Q& q, int32_t& ra) {
         return q.UPDATEParaMachVertical(L"DrillDepth", L"18", 15, ra), V();
       },
       L"P_U_ParaMachVertical",
       L"UPDATEParaMachVertical",
       128,
       {Ret(0, kNone), Int(L"@MachVerticalID", 8, 15), Chr(L"@ParaToUpdate", 50, L"DrillDepth"),
        Chr(L"@NewValue", 100, L"18")},
       kNone},
      {"UPDATEPropertyRelationshipPatterns",
       [](Q& q, int32_t& ra) {
         return q.UPDATEPropertyRelationshipPatterns(L"tblTable", L"fldCol", 33, L"val", ra), V();
       },
       L"P_U_PropertyRelationship_Patterns",
       L"UPDATEPropertyRelationshipPatterns",
       128,
       {Chr(L"@TableToUpdate", 40, L"tblTable"), Chr(L"@PropertyToUpdate", 30, L"fldCol"),
        Chr(L"@NewValue", 50, L"val"), Int(L"@PatternID", 8, 33)},
       kNone},
      {"UPDATEVariableMachining",
       [](Q& q, int32_t& ra) { return q.UPDATEVariableMachining(5, L"X", 2.5, ra), V(); },
       L"P_U_VariableMachining",
       L"UPDATEVariableMachining",
       128,
       {Int(L"@MachID", 8, 5), Chr(L"@VariableToUpdate", 10, L"X"), Num(L"@NewValue", 2.5)},
       kNone},
  };
}

void PrintTo(const ExpectedCall& call, std::ostream* os) {
  *os << call.operation;
}

class CallTest : public RecordingBackendTest, public ::testing::WithParamInterface<ExpectedCall> {};

TEST_P(CallTest, SendsExactlyTheCataloguedCallAndReadsBackWhatItSays) {
  const ExpectedCall& expected = GetParam();
  ado::ScriptedAnswer answer = ado::RecordingProvider::Returns(Variant(kAnswer));
  answer.rows = std::make_shared<ado::RowSet>();  // a result without rows, for the reader
  recorder->Answer(answer);

  int32_t affected = kAffected;
  Variant result = expected.invoke(Db(), affected);

  EXPECT_TRUE(errors->Reports().empty()) << ToUtf8(errors->Reports().front().description);
  EXPECT_EQ(result, expected.result);
  EXPECT_EQ(affected, expected.operation == std::string("GETFilterScenariosCol") ? 0 : kAffected);

  auto commands = recorder->Commands();
  ASSERT_EQ(commands.size(), 1u);
  const ado::CommandData& sent = commands.front();
  EXPECT_EQ(sent.text, expected.procedure);
  EXPECT_EQ(sent.commandType, ado::adCmdStoredProc);
  EXPECT_EQ(sent.options, expected.options);
  ASSERT_EQ(sent.parameters.size(), expected.params.size());
  for (size_t i = 0; i < expected.params.size(); ++i) {
    const Sent& want = expected.params[i];
    const ado::ParameterData& got = sent.parameters[i];
    SCOPED_TRACE("parameter " + std::to_string(i + 1) + " " + ToUtf8(want.name));
    EXPECT_EQ(got.name, want.name);
    EXPECT_EQ(got.type, want.type);
    EXPECT_EQ(got.direction, want.direction);
    EXPECT_EQ(got.size, want.size);
    EXPECT_EQ(got.precision, want.precision);
    EXPECT_EQ(got.numericScale, want.scale);
    EXPECT_EQ(got.value, want.value);
  }

  auto events = trace->Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(events[0].enter);
  EXPECT_EQ(events[0].procedure, expected.trace);
  EXPECT_EQ(events[0].module, L"clsQuillData");
  EXPECT_FALSE(events[1].enter);
  EXPECT_EQ(events[1].procedure, expected.trace);
}

std::string CallName(const ::testing::TestParamInfo<ExpectedCall>& info) {
  std::string name;
  for (char c : std::string(info.param.operation)) {
    if (std::isalnum(static_cast<unsigned char>(c))) name += c;
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryProcedure, CallTest, ::testing::ValuesIn(Calls()), CallName);

// What reaches the provider after the parameters' own conversion.
using SentValuesTest = RecordingBackendTest;

TEST_F(SentValuesTest, DecimalsAreSentRoundedToTheirScale) {
  Db().INSERTMachining(L"Saw", L"G", 1, 12.345, 0, -0.125);
  ASSERT_EQ(recorder->Commands().size(), 1u);
  const auto& params = recorder->LastCommand().parameters;
  const Decimal* x = params[3].wire.Get<Decimal>();
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->ToString(), "12.35");
  const Decimal* z = params[5].wire.Get<Decimal>();
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->ToString(), "-0.13");
}

TEST_F(SentValuesTest, ABooleanSentAsOneOrZeroTravelsAsABit) {
  Db().UPDATEMachLink(1, 2, 3, L"", L"", true, false);
  const auto& params = recorder->LastCommand().parameters;
  EXPECT_EQ(params[5].wire, Variant(true));
  EXPECT_EQ(params[6].wire, Variant(false));
}

TEST_F(SentValuesTest, ATextForAnIntegerParameterIsConvertedOrRefusedBeforeSending) {
  recorder->AnswerFor(L"P_I_ImprintAssignments", ado::RecordingProvider::Returns(Variant(1)));
  Db().INSERTImprintAssignments(1, L"U", 1, 2, L"", L"", L"", L"", L"5", L"6", L"", L"", false);
  EXPECT_EQ(recorder->LastCommand().parameters[9].wire, Variant(int32_t{5}));

  recorder->Clear();
  EXPECT_EQ(Db().INSERTImprintAssignments(1, L"U", 1, 2, L"", L"", L"", L"", L"five", L"6", L"",
                                          L"", false),
            0);
  EXPECT_TRUE(recorder->Commands().empty());
  ASSERT_EQ(errors->Reports().size(), 1u);
  EXPECT_EQ(errors->Reports()[0].procedure, L"INSERTImprintAssignments");
}

TEST_F(SentValuesTest, ATextOverItsDeclaredSizeIsRefusedAndNothingIsSent) {
  EXPECT_EQ(Db().INSERTMachining(std::wstring(21, L'm'), L"G", 1, 0, 0, 0), 0);
  Db().UPDATEMachVariable(std::wstring(21, L'v'), L"1", 1, 1);  // the update sends names whole
  EXPECT_TRUE(recorder->Commands().empty());
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].procedure, L"INSERTMachining");
  EXPECT_EQ(reports[0].flag, 0);
  EXPECT_NE(reports[0].description.find(L"@MachName"), std::wstring::npos)
      << ToUtf8(reports[0].description);
  EXPECT_EQ(reports[1].procedure, L"UPDATEMachVariable");
}

TEST_F(SentValuesTest, ANumberThatIsNoNumberIsRefusedNamingItsParameter) {
  EXPECT_EQ(Db().INSERTMachining(L"M", L"G", 1, std::numeric_limits<double>::quiet_NaN(), 0, 0), 0);
  Db().INSERTSELLinkIDFromMachiningLinks(L"T", L"D", L"N", 1e12, 0, 0, 0, L"", L"");
  EXPECT_TRUE(recorder->Commands().empty());
  auto reports = errors->Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_NE(reports[0].description.find(L"@X"), std::wstring::npos)
      << ToUtf8(reports[0].description);
  EXPECT_NE(reports[1].description.find(L"@Angle"), std::wstring::npos)
      << ToUtf8(reports[1].description);
}

}  // namespace
}  // namespace QuillData::test
