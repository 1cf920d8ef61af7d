// The statements each writer sends, character for character, as the library's statement
// trace sees them (the schema look-ups that check a name taken from an argument left out), and
// that none of them has to scan a table.
#include <algorithm>
#include <cstring>
#include <functional>

#include "sqlite/WritersFixture.h"

namespace QuillData::testing {
namespace {

struct StatementCase {
  const char* name;
  const char* seed;  // SQL run first, or nullptr
  std::function<void(clsQuillData_SqlLite&)> call;
  std::vector<std::string> statements;
};

void PrintTo(const StatementCase& c, std::ostream* os) {
  *os << c.name;
}

const char* const kNewId = " select last_insert_rowid() ";
const char* const kMachining =
    "INSERT INTO Machining (MachID, MachName, MachLibID) VALUES (1, 'm', 1)";

// clang-format off
const std::vector<StatementCase> kCases = {
  {"INSERTConstructionScenario", nullptr,
   [](auto& db) { db.INSERTConstructionScenario(L"T'", L"D"); },
   {" SELECT fldConstScenarioID FROM tblConstruction_Scenario_Types  WHERE fldConstScenarioType = 'T'''",
    " INSERT INTO tblConstruction_Scenario_Types (fldConstScenarioType, fldConstScenarioDesc)  VALUES('T''','D')",
    kNewId}},
  {"INSERTGlobalContrFeatrLists", nullptr,
   [](auto& db) { db.INSERTGlobalContrFeatrLists(5, L"S", L"N", L"D", L"T", L"V"); },
   {" SELECT fldFeatureListID FROM tblGlobal_Contr_Featr_Lists  WHERE fldFeatureID = 5 AND fldNewFtrSandEPoints = 'S' AND fldLinkName = 'N' AND fldLinkType = 'T' AND fldLinkVarSet = 'V'",
    " INSERT INTO tblGlobal_Contr_Featr_Lists (fldFeatureID, fldNewFtrSandEPoints,fldLinkName,fldLinkDescription,fldLinkType,fldLinkVarSet)  VALUES(5,'S','N','D','T','V')",
    kNewId}},
  {"INSERTGlobalContrFeatrPatterns", nullptr,
   [](auto& db) { db.INSERTGlobalContrFeatrPatterns(1, L"A", 2, -3); },
   {" SELECT * FROM tblGlobal_Contr_Featr_Patterns  WHERE fldPartTypeID = 1 AND fldSubTypeID = 'A' AND fldFeatureKey = 2 AND fldFeatureListID = -3",
    " INSERT INTO tblGlobal_Contr_Featr_Patterns (fldPartTypeID,fldSubTypeID,fldFeatureKey,fldFeatureListID)  VALUES(1,'A',2,-3)",
    kNewId}},
  {"INSERTFilter", nullptr,
   [](auto& db) { db.INSERTFilter(1, 2, L"A", L"B"); },
   {" SELECT * FROM tblFilter_Scenarios  WHERE fldPartType1 = '1' AND fldPartType2 = '2' AND fldSubType1 = 'A' AND fldSubType2 = 'B'",
    " INSERT INTO tblFilter_Scenarios (fldFltrScenarioID,fldPartType1,fldPartType2,fldSubType1,fldSubType2)  VALUES(0,1,2,'A','B')"}},
  {"INSERTGlobalFaceContourLinks", nullptr,
   [](auto& db) { db.INSERTGlobalFaceContourLinks(L"N", L"D", L"T", L"V", 1, L"A", 7); },
   {" INSERT INTO tblGlobal_Face_Contour_Links (fldLinkName, fldLinkDescription, fldLinkType,fldLinkVarSet,fldConstScenarioID,fldPartTypeID,fldSubTypeID)  VALUES ('N','D','T','V',7,1,'A')"}},
  {"INSERTImprintAssignments", nullptr,
   [](auto& db) {
     db.INSERTImprintAssignments(7, L"U", 1, 2, L"p1", L"p2", L"n1", L"n2", L"3", L"4", L"o1", L"o2", true);
   },
   {" SELECT fldlngRelationPattern FROM tblGlobal_Imprint_Assignments  WHERE fldlngConstScenarioID = 7 AND fldstrUDI_Type = 'U' AND fldstrPartType1 = 1 AND fldstrPartType2 = 2 AND fldstrFeaturePattern1 = 'p1' AND fldstrFeaturePattern2 = 'p2' AND fldstrFaceNormal1 = 'n1' AND fldstrFaceNormal2 = 'n2' AND fldSubType1 = 3 AND fldSubType2 = 4 AND fldblnFront = 1 AND fldstrPart1FacesTypeOrient = 'o1' AND fldstrPart2FacesTypeOrient = 'o2'",
    " INSERT INTO tblGlobal_Imprint_Assignments (fldlngConstScenarioID,fldstrUDI_Type,fldstrPartType1,fldstrPartType2,fldstrFeaturePattern1,fldstrFeaturePattern2,fldstrFaceNormal1,fldstrFaceNormal2,fldSubType1,fldSubType2,fldstrPart1FacesTypeOrient,fldstrPart2FacesTypeOrient,fldblnFront)  VALUES(7,'U',1,2,'p1','p2','n1','n2','3','4','o1','o2',1)",
    kNewId}},
  {"INSERTImprintAssignmentsWithoutOrientation", nullptr,
   [](auto& db) {
     db.INSERTImprintAssignments(7, L"U", 1, 2, L"p1", L"p2", L"n1", L"n2", L"3", L"4", L"", L"o2", false);
   },
   {" SELECT fldlngRelationPattern FROM tblGlobal_Imprint_Assignments  WHERE fldlngConstScenarioID = 7 AND fldstrUDI_Type = 'U' AND fldstrPartType1 = 1 AND fldstrPartType2 = 2 AND fldstrFeaturePattern1 = 'p1' AND fldstrFeaturePattern2 = 'p2' AND fldstrFaceNormal1 = 'n1' AND fldstrFaceNormal2 = 'n2' AND fldSubType1 = 3 AND fldSubType2 = 4 AND fldblnFront = 0",
    " INSERT INTO tblGlobal_Imprint_Assignments (fldlngConstScenarioID,fldstrUDI_Type,fldstrPartType1,fldstrPartType2,fldstrFeaturePattern1,fldstrFeaturePattern2,fldstrFaceNormal1,fldstrFaceNormal2,fldSubType1,fldSubType2,fldstrPart1FacesTypeOrient,fldstrPart2FacesTypeOrient,fldblnFront)  VALUES(7,'U',1,2,'p1','p2','n1','n2','3','4','','o2',0)",
    kNewId}},
  {"INSERTMachining", nullptr,
   [](auto& db) { db.INSERTMachining(L"M", L"G", 1, 1.5, 2, -3); },
   {" SELECT MachID FROM Machining  WHERE [MachName] = 'M' AND MachLibID = 1",
    " INSERT INTO Machining ([MachName], X, Y, Z, MachGroup, MachLibID)  VALUES('M',1.5,2,-3,'G',1)",
    kNewId}},
  {"INSERTMachLink", nullptr,
   [](auto& db) { db.INSERTMachLink(1, 2, L"L", L"ExPr\u00c4", true, false); },
   {" SELECT MachLinkID FROM MachLink  WHERE MachID = 1 AND MachRuleID = 2 AND lower(MachExprVar) = 'expr\u00c4' AND MirrorX = 1 AND MirrorY = 0",
    " INSERT INTO MachLink (MachID, MachRuleID, MachListVar, MachExprVar, MirrorX, MirrorY)  VALUES(1,2,'L','ExPr\u00c4',1,0)",
    kNewId}},
  {"INSERTMachRouting", kMachining,
   [](auto& db) { db.INSERTMachRouting(L"R", 1, 1); },
   {" SELECT MachID FROM Machining WHERE MachID = 1",
    " INSERT INTO MachRouting ([strName],[MachDescription],[strActiveFlag] ,[strDepthOption],[dblDepthValue],[dblDefaultToolDiameter],[lngToolType],[strToolRotation],[lngToolRotationSpeed],[lngToolPlungeFeedRate],[lngToolMiniFeedRate],[lngToolMaxiFeedRate],[lngToolDefaultFeedRate],[strOption],[lngOscillation],[lngGrain],[ToolCompensation],[lngLeadInEgalLeadout],[lngLeadInL],[strLeadInType],[lngLeadInRamp],[lngLeadInLength],[lngLeadInAngle],[strLeadOutType],[lngLeadOutRamp],[lngLeadOutLength],[lngLeadOutAngle],[dblXYOffsetDistance],[strOffsetDirection],[ZOffsetDistance],[lngPocket],[strOptionValue],[dblToolLength],[dblToolCutLength],[ToolName],[FeatLength],[FeatWidth],[FeatDepth],[FeatCornerRadius],[FeatCenterX],[FeatCenterY],[FeatCenterZ],[NormalX],[NormalY],[NormalZ],[MachID]) VALUES('R','R','A','dep_per_no','0','12','1','right','18000','100','50','90','90','nil','0','','0','1','0','lead_in_no','0','100','90','lead_out_no','0','100','90','0','cont_offset_right','0','1','0','0','0','0','0','0','0','0','0','0','0','0','0','0',1)",
    kNewId}},
  {"INSERTMachRoutingWithoutMachining", nullptr,
   [](auto& db) { db.INSERTMachRouting(L"R", 1); },
   {" SELECT MachID FROM Machining WHERE MachID = 1"}},
  {"INSERTMachVariable", nullptr,
   [](auto& db) { db.INSERTMachVariable(L"N", L"V", 1, true); },
   {" SELECT MachVarID FROM MachVariable  WHERE [Name] = 'N' AND MachLibID = 1",
    " INSERT INTO MachVariable ([Name], [Value], MachLibID, Requested)  VALUES('N','V',1,1)",
    kNewId}},
  {"INSERTMachVertical", kMachining,
   [](auto& db) { db.INSERTMachVertical(L"D", L"V", 1); db.INSERTMachVertical(L"D", L"H", 1); },
   {" SELECT MachID FROM Machining WHERE MachID = 1",
    " INSERT INTO MachVertical (MachDescription ,strName ,strMachOrientation,Condition,Xstart,Ystart,Zstart,NormalX,NormalY,NormalZ,DrillDepth,ToolDiameter,NumberOfHoles,OffsetDistancealongXaxis,OffsetDistancealongYaxis,MachID)  VALUES('D','D','V','0','0','0','Z', '0','0','-1','0','0','0','0','0',1)",
    kNewId,
    " SELECT MachID FROM Machining WHERE MachID = 1",
    " INSERT INTO MachVertical (MachDescription ,strName ,strMachOrientation,Condition,Xstart,Ystart,Zstart,NormalX,NormalY,NormalZ,DrillDepth,ToolDiameter,NumberOfHoles,OffsetDistancealongXaxis,OffsetDistancealongYaxis,MachID)  VALUES('D','D','H','0','0','0','0', '0','1','0','0','0','0','0','0',1)",
    kNewId}},
  {"INSERTMFGPartTypes", nullptr,
   [](auto& db) { db.INSERTMFGPartTypes(3, 1, L"S", L"D", L"K", L"G", L"SD"); },
   {" SELECT fldPartID FROM tblMFG_Part_Types  WHERE fldSubTypeID = 'S' AND fldPartID = 1",
    " INSERT INTO tblMFG_Part_Types (fldPartID,fldSubTypeID,fldPartDescription, fldPartKind, fldPartGrain,fldSubTypeDesc)  VALUES(1,'S','D','K','G','SD')",
    " SELECT fldPartID,fldSubTypeID,fldMFGScenarioID FROM tblMFG_Scenario  WHERE fldSubTypeID = 'S' AND fldPartID = 1 AND fldMFGScenarioID = 3",
    " INSERT INTO tblMFG_Scenario (fldMFGScenarioID, fldMFGProcessID, fldPartID, fldSubTypeID, fldMachOrientAngle, fldVenLam, fldGrainDir, fldVLFrGrainDir, fldVLBkGrainDir, fldIsFlipped)  VALUES(3,0,1,'S','0',0,'None','None','None','No')"}},
  {"INSERTSELDesignIDFromLocalDesigns", nullptr,
   [](auto& db) { db.INSERTSELDesignIDFromLocalDesigns(L"D", L"C"); },
   {" SELECT fldDesignID FROM tblLocal_Designs  WHERE fldDesignName = 'D' AND fldComputerName = 'C'",
    " INSERT INTO tblLocal_Designs  (fldDesignName, fldComputerName)  VALUES ( 'D','C')",
    kNewId}},
  {"INSERTSELLinkIDFromLocalMachiningLinks", nullptr,
   [](auto& db) {
     db.INSERTSELLinkIDFromLocalMachiningLinks(L"T", L"D", L"N", 22.5, 1, 0, 1, L"V", L"C", L"P", L"R");
   },
   {" SELECT fldLinkID FROM tblLocal_Machining_Links  WHERE fldType = 'T' AND fldDescription = 'D' AND fldName = 'N' AND fldMirrorX = 1 AND fldMirrorY = 0 AND fldAngle = 22.5 AND fldVarSet = 'V' AND fldIsPrimary = 1 AND fldRefCorner = 'C' AND fldPattType = 'P' AND fldRelation = 'R'",
    " INSERT INTO tblLocal_Machining_Links  (fldPattType,fldRelation,fldType, fldDescription, fldName, fldMirrorX, fldMirrorY, fldAngle, fldVarSet, fldIsPrimary, fldRefCorner)  VALUES ( 'P','R','T','D','N',1,0,22.5,'V',1,'C')",
    kNewId}},
  {"INSERTSELLinkIDFromMachiningLinks", nullptr,
   [](auto& db) { db.INSERTSELLinkIDFromMachiningLinks(L"T", L"D", L"N", -90, 1, 0, 1, L"V", L"C"); },
   {" SELECT fldLinkID FROM tblGlobal_Machining_Links  WHERE fldType = 'T' AND fldDescription = 'D' AND fldName = 'N' AND fldMirrorX = 1 AND fldMirrorY = 0 AND fldAngle = -90 AND fldVarSet = 'V' AND fldIsPrimary = 1 AND fldRefCorner = 'C'",
    " INSERT INTO tblGlobal_Machining_Links  (fldType, fldDescription, fldName, fldMirrorX, fldMirrorY, fldAngle, fldVarSet, fldIsPrimary, fldRefCorner)  VALUES ( 'T','D','N',1,0,-90,'V',1,'C')",
    kNewId}},
  {"INSERTUPDATEGlobalImprintDefinitions", nullptr,
   [](auto& db) {
     for (int i = 0; i < 2; ++i) {
       db.INSERTUPDATEGlobalImprintDefinitions(40, true, 1, 2, 3, true, 4, 5, 6, false, 7, 8, 9, true, 10, 11, 12, false);
     }
   },
   {" SELECT fldlngRelationPattern FROM tblGlobal_Imprint_Definitions  WHERE fldlngRelationPattern = 40",
    " INSERT INTO tblGlobal_Imprint_Definitions (fldlngRelationPattern, fldLngBotPartType, fldLngBotOffset, fldLngBotSide, fldblnBotUnion, fldLngRightPartType, fldLngRightOffset, fldLngRightSide, fldblnRightUnion, fldLngTopPartType, fldLngTopOffset, fldLngTopSide, fldblnTopUnion, fldLngLeftPartType, fldLngLeftOffset, fldLngLeftSide, fldblnLeftUnion,fldMerge)  VALUES(40,1,2,3,1,4,5,6,0,7,8,9,1,10,11,12,0,1)",
    kNewId,
    " SELECT fldlngRelationPattern FROM tblGlobal_Imprint_Definitions  WHERE fldlngRelationPattern = 40",
    " UPDATE tblGlobal_Imprint_Definitions SET fldLngBotPartType = 1, fldLngBotOffset = 2, fldLngBotSide = 3, fldblnBotUnion = 1, fldLngRightPartType = 4, fldLngRightOffset = 5, fldLngRightSide = 6, fldblnRightUnion = 0, fldLngTopPartType = 7, fldLngTopOffset = 8, fldLngTopSide = 9, fldblnTopUnion = 1, fldLngLeftPartType = 10, fldLngLeftOffset = 11, fldLngLeftSide = 12, fldblnLeftUnion = 0,fldMerge = 1 WHERE fldlngRelationPattern = 40"}},
  {"INSERTUPDATEGlobalRelationAssignments", nullptr,
   [](auto& db) {
     db.INSERTUPDATEGlobalRelationAssignments(7, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 9, L"EF");
     db.INSERTUPDATEGlobalRelationAssignments(7, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 8, L"FF");
   },
   {" SELECT fldPatternID FROM tblGlobal_Relation_Assignments  WHERE fldConstScenarioID = 7 AND fldPartType1 = 1 AND fldPartType2 = 2 AND fldSubType1 = 'A' AND fldSubType2 = 'B' AND fldFeaturePattern1 = 'f1' AND fldFeaturePattern2 = 'f2' AND fldFaceNormal1 = 'n1' AND fldFaceNormal2 = 'n2'",
    " INSERT INTO tblGlobal_Relationship_Patterns (fldLinkIDEE,fldLinkIDEF,fldLinkIDFE,fldLinkIDFF)  VALUES(0,9,0,0)",
    kNewId,
    " INSERT INTO tblGlobal_Relation_Assignments (fldPatternID, fldConstScenarioID, fldPartType1, fldPartType2, fldFeaturePattern1, fldFeaturePattern2, fldFaceNormal1, fldFaceNormal2, fldSubType1, fldSubType2)  VALUES(1,7,1,2,'f1','f2','n1','n2','A','B')",
    " SELECT fldPatternID FROM tblGlobal_Relation_Assignments  WHERE fldConstScenarioID = 7 AND fldPartType1 = 1 AND fldPartType2 = 2 AND fldSubType1 = 'A' AND fldSubType2 = 'B' AND fldFeaturePattern1 = 'f1' AND fldFeaturePattern2 = 'f2' AND fldFaceNormal1 = 'n1' AND fldFaceNormal2 = 'n2'",
    " UPDATE tblGlobal_Relationship_Patterns  SET fldLinkIDFF = 8 WHERE fldPatternID = 1"}},
  {"INSERTUPDATELocalRelationAssignments", nullptr,
   [](auto& db) {
     db.INSERTUPDATELocalRelationAssignments(7, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 9, L"EE", L"P", L"R", 4);
     db.INSERTUPDATELocalRelationAssignments(7, 1, 2, L"A", L"B", L"f1", L"f2", L"n1", L"n2", 8, L"FE", L"P", L"R", 4);
   },
   {" SELECT fldPatternID FROM tblLocal_Relation_Assignments  WHERE fldConstScenarioID = 7 AND fldPartType1 = 1 AND fldPartType2 = 2 AND fldSubType1 = 'A' AND fldSubType2 = 'B' AND fldFeaturePattern1 = 'f1' AND fldFeaturePattern2 = 'f2' AND fldFaceNormal1 = 'n1' AND fldFaceNormal2 = 'n2' AND fldDesignID = 4 AND fldPattType = 'P' AND fldRelation = 'R'",
    " INSERT INTO tblLocal_Relationship_Patterns (fldLinkIDEE,fldLinkIDEF,fldLinkIDFE,fldLinkIDFF,fldPattType,fldRelation)  VALUES(9,0,0,0,'P','R')",
    kNewId,
    " INSERT INTO tblLocal_Relation_Assignments (fldDesignID, fldPattType, fldRelation, fldPatternID, fldConstScenarioID, fldPartType1, fldPartType2, fldFeaturePattern1, fldFeaturePattern2, fldFaceNormal1, fldFaceNormal2, fldSubType1, fldSubType2)  VALUES(4,'P','R',1,7,1,2,'f1','f2','n1','n2','A','B')",
    " SELECT fldPatternID FROM tblLocal_Relation_Assignments  WHERE fldConstScenarioID = 7 AND fldPartType1 = 1 AND fldPartType2 = 2 AND fldSubType1 = 'A' AND fldSubType2 = 'B' AND fldFeaturePattern1 = 'f1' AND fldFeaturePattern2 = 'f2' AND fldFaceNormal1 = 'n1' AND fldFaceNormal2 = 'n2' AND fldDesignID = 4 AND fldPattType = 'P' AND fldRelation = 'R'",
    " UPDATE tblLocal_Relationship_Patterns  SET fldLinkIDFE = 8 WHERE fldPatternID = 1"}},
  {"DELFilter", nullptr, [](auto& db) { db.DELFilter(1, 2, L"A", L"B"); },
   {" DELETE FROM tblFilter_Scenarios  WHERE fldPartType1 = 1 AND fldPartType2 =2 AND fldSubType1 = 'A' AND fldSubType2 ='B'"}},
  {"DELGlobalContrFeatrPatterns", nullptr, [](auto& db) { db.DELGlobalContrFeatrPatterns(1, L"A", 2, 3); },
   {" DELETE FROM tblGlobal_Contr_Featr_Patterns  WHERE fldPartTypeID = 1 AND fldSubTypeID = 'A' AND fldFeatureKey =2 AND fldFeatureListID =3"}},
  {"DELGlobalFaceContourLinks", nullptr, [](auto& db) { db.DELGlobalFaceContourLinks(7, 1, L"A"); },
   {" DELETE FROM tblGlobal_Face_Contour_Links  WHERE fldPartTypeID = 1 AND fldSubTypeID = 'A' AND fldConstScenarioID =7"}},
  {"DELImprintAssignments", nullptr, [](auto& db) { db.DELImprintAssignments(5); },
   {" DELETE FROM tblGlobal_Imprint_Assignments  WHERE fldlngRelationPattern = 5"}},
  {"DELLocalContrFeatrPatterns", nullptr, [](auto& db) { db.DELLocalContrFeatrPatterns(1, L"A", 2); },
   {" DELETE FROM tblLocal_Contr_Featr_Patterns  WHERE fldPartTypeID = 1 AND fldSubTypeID = 'A' AND fldFeatureKey =2"}},
  {"DELLocalFaceContourLinks", nullptr, [](auto& db) { db.DELLocalFaceContourLinks(7, 1, L"A", L"R", L"P", 4); },
   {" DELETE FROM tblLocal_Face_Contour_Links  WHERE fldPartTypeID = 1 AND fldSubTypeID = 'A' AND fldConstScenarioID =7 AND fldRelation = 'R' AND fldPattType = 'P' AND fldDesignID =4"}},
  {"DELLocalMachiningLinks", nullptr, [](auto& db) { db.DELLocalMachiningLinks(L"P", L"R"); },
   {" DELETE FROM tblLocal_Machining_Links  WHERE fldRelation = 'R' AND fldPattType = 'P'"}},
  {"DELMachining", nullptr, [](auto& db) { db.DELMachining(3); },
   {" DELETE FROM Machining WHERE MachID = 3", " DELETE FROM MachVertical WHERE MachID = 3",
    " DELETE FROM MachRouting WHERE MachID = 3"}},
  {"DELMachLink", nullptr, [](auto& db) { db.DELMachLink(3); }, {" DELETE FROM MachLink WHERE MachLinkID = 3"}},
  {"DELMachiningScenario", nullptr, [](auto& db) { db.DELMachiningScenario(3); },
   {" DELETE FROM tblGlobal_Relation_Assignments WHERE fldConstScenarioID = 3",
    " DELETE FROM tblLocal_Relation_Assignments WHERE fldConstScenarioID = 3",
    " DELETE FROM tblGlobal_Face_Contour_Links WHERE fldConstScenarioID = 3",
    " DELETE FROM tblLocal_Face_Contour_Links WHERE fldConstScenarioID = 3",
    " DELETE FROM tblGlobal_Imprint_Assignments  WHERE fldlngConstScenarioID = 3",
    " DELETE FROM tblConstruction_Scenario_Types WHERE fldConstScenarioID = 3"}},
  {"DELMachRouting", nullptr, [](auto& db) { db.DELMachRouting(3); },
   {" DELETE FROM MachRouting WHERE lngMachRoutingID = 3"}},
  {"DELMachVariable", nullptr, [](auto& db) { db.DELMachVariable(3); }, {" DELETE FROM MachVariable WHERE MachVarID = 3"}},
  {"DELMachVertical", nullptr, [](auto& db) { db.DELMachVertical(3); },
   {" DELETE FROM MachVertical WHERE MachVerticalID = 3"}},
  {"UPDATEConstructionScenarioTypes", "INSERT INTO tblConstruction_Scenario_Types VALUES (1, 'T', '')",
   [](auto& db) { db.UPDATEConstructionScenarioTypes(1, L"T", L"D"); },
   {" SELECT fldConstScenarioType FROM tblConstruction_Scenario_Types  WHERE fldConstScenarioType = 'T' AND fldConstScenarioID = 1",
    " UPDATE tblConstruction_Scenario_Types  SET fldConstScenarioType = 'T',fldConstScenarioDesc = 'D' WHERE fldConstScenarioID = 1"}},
  {"UPDATEGlobalFaceContourLinks", nullptr,
   [](auto& db) { db.UPDATEGlobalFaceContourLinks(L"N", L"D", L"T", L"V", 1, L"A", 7); },
   {" UPDATE tblGlobal_Face_Contour_Links  SET fldLinkName = 'N', fldLinkDescription = 'D', fldLinkType = 'T', fldLinkVarSet = 'V' WHERE fldPartTypeID = 1 AND fldSubTypeID = 'A' AND fldConstScenarioID =7"}},
  {"UPDATEMachNameFromMachining", kMachining,
   [](auto& db) { db.UPDATEMachNameFromMachining(L"New", 1, 1); },
   {" SELECT MachID FROM Machining  WHERE MachName = 'New' AND MachLibID = 1",
    " UPDATE Machining  SET MachName = 'New' WHERE MachLibID = 1 AND MachID = 1"}},
  {"UPDATEMachVariable", "INSERT INTO MachVariable VALUES (1, 'n', 'v', 0, 1)",
   [](auto& db) { db.UPDATEMachVariable(L"N", L"V", 1, 1); },
   {" SELECT MachVarID FROM MachVariable  WHERE MachVarID = 1 AND MachLibID = 1",
    " UPDATE MachVariable  SET Name = 'N', Value = 'V' WHERE MachLibID = 1 AND MachVarID = 1"}},
  {"UPDATEMachLink", "INSERT INTO MachLink VALUES (1, 1, 2, 'l', 'e', 0, 0)",
   [](auto& db) { db.UPDATEMachLink(1, 1, 2, L"L", L"E", true, false); },
   {" SELECT MachLinkID FROM MachLink  WHERE MachLinkID = 1",
    " UPDATE MachLink  SET MachID = 1, MachRuleID = 2, MachListVar = 'L', MachExprVar = 'E', MirrorX = 1, MirrorY = 0 WHERE MachLinkID = 1"}},
  // Checked names enter quoted, in the schema's spelling.
  {"UPDATEParaMachRouting", nullptr, [](auto& db) { db.UPDATEParaMachRouting(L"strtoolrotation", L"left", 1); },
   {" UPDATE MachRouting  SET \"strToolRotation\" = 'left' WHERE lngMachRoutingID = 1"}},
  {"UPDATEParaMachVertical", nullptr, [](auto& db) { db.UPDATEParaMachVertical(L"DrillDepth", L"18", 1); },
   {" UPDATE MachVertical  SET \"DrillDepth\" = '18' WHERE MachVerticalID = 1"}},
  {"UPDATEPropertyRelationshipPatterns", nullptr,
   [](auto& db) { db.UPDATEPropertyRelationshipPatterns(L"tblGlobal_Relationship_Patterns", L"fldLinkIDEE", 1, L"5"); },
   {" UPDATE \"tblGlobal_Relationship_Patterns\" SET \"fldLinkIDEE\" = '5' WHERE fldPatternID = 1"}},
  {"UPDATEVariableMachining", nullptr, [](auto& db) { db.UPDATEVariableMachining(1, L"X", 2.25); },
   {" UPDATE Machining  SET \"X\" = '2.25' WHERE MachID = 1"}},
};
// clang-format on

int Collect(unsigned, void* context, void* statement, void*) {
  const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement));
  // The checks of names against the schema (and the pragma the library runs for them) and the
  // transaction around a look-up and its write are the frame's own statements.
  if (std::strstr(sql, "pragma_table_info") == nullptr &&
      std::strstr(sql, "sqlite_schema") == nullptr && std::strncmp(sql, "PRAGMA ", 7) != 0 &&
      std::strcmp(sql, "BEGIN IMMEDIATE") != 0 && std::strcmp(sql, "COMMIT") != 0 &&
      std::strcmp(sql, "ROLLBACK") != 0) {
    static_cast<std::vector<std::string>*>(context)->push_back(sql);
  }
  return 0;
}

class WritersStatementTest : public WritersTest,
                             public ::testing::WithParamInterface<StatementCase> {};

TEST_P(WritersStatementTest, SendsExactlyTheseStatements) {
  const StatementCase& c = GetParam();
  if (c.seed) Raw(c.seed);
  std::vector<std::string> sent;
  auto* handle = reinterpret_cast<sqlite3*>(db->DatabaseHandle());
  ASSERT_EQ(sqlite3_trace_v2(handle, SQLITE_TRACE_STMT, &Collect, &sent), SQLITE_OK);
  c.call(*db);
  sqlite3_trace_v2(handle, 0, nullptr, nullptr);
  EXPECT_TRUE(Reported().empty()) << ToUtf8(Reported().front());
  // A writer that has to write looks its row up twice: once without the write lock, then
  // again under it.
  sent.erase(std::unique(sent.begin(), sent.end()), sent.end());
  EXPECT_EQ(sent, c.statements);

  // Every row a statement looks for is found through an index, whatever the table's size.
  RawDb raw(file);
  for (const std::string& sql : sent) {
    for (const Row& step : raw.Query("EXPLAIN QUERY PLAN " + sql)) {
      const std::string& detail = step.back();
      EXPECT_TRUE(detail.rfind("SCAN ", 0) != 0 || detail == "SCAN CONSTANT ROW")
          << detail << " in" << sql;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, WritersStatementTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace QuillData::testing
